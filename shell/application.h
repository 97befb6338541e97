#pragma once

namespace tarnisk {

// Starts the tool: the program's folder becomes the current directory, AppState is created, the
// main window is shown and the message loop runs until the window closes. Returns the exit status.
int RunApplication();

}  // namespace tarnisk
