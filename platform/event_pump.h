#pragma once

namespace tarnisk::platform {

// On the window thread, dispatches the window events pending now; on any other thread, or before
// the GUI exists, does nothing.
void PumpWindowEvents();

// Set once the user has asked the tool to end, so that a fetch in progress on the window thread
// gives up at once instead of keeping the closing tool alive.
void RequestShutdown();
bool ShutdownRequested();

}  // namespace tarnisk::platform
