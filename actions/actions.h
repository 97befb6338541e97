#pragma once
// Copying the selected result's address and downloading it.

#include "platform/desktop.h"
#include "shell/app_state.h"
#include "shell/window_controls.h"
#include "text/text.h"

namespace tarnisk {

// The link token of the selected row, or null when no row is selected or the row has no token (the
// page gave fewer links than names). Valid until ResultLinks changes.
const Text* SelectedLinkToken(const AppState& state, WindowControls& window);

// Puts the selected row's address on the clipboard; the page label reads "已复制" once it is there.
void CopySelectedAddress(AppState& state, WindowControls& window, platform::Clipboard& clipboard);

// Starts a download worker on its own copy of the selected row's address; slot 1 of WorkerHandles
// records it (0 when no thread could be started). The shell must outlive every worker.
void DownloadSelected(AppState& state, WindowControls& window, platform::Shell& shell);

// The body of a download worker: resolves the address to the direct download address through two
// fetches and hands it to the shell, when it is an http or https address.
void ResolveDownloadLink(const Text& address, platform::Shell& shell);

// True for an address the shell may open: scheme "http" or "https" (any case), no control byte
// and no space.
bool IsSafeBrowserAddress(std::string_view address);

}  // namespace tarnisk
