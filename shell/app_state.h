#pragma once
// The process-wide application state, the constants naming the two outside services, and the
// interface through which commands reach the window's controls.

#include <array>
#include <cstdint>

#include "shell/window_controls.h"
#include "text/text.h"

namespace tarnisk {

struct AppState {
  Text EncodedKeyword;
  Text CurrentPageHtml;
  TextList ResultNames;
  TextList ResultSizes;
  TextList ResultLinks;
  // Slot 1 ([0]) holds the identifier of the download worker started last; 2 and 3 stay 0.
  std::array<std::int32_t, 3> WorkerHandles{0, 0, 0};
  // Counts the page commands started; a command whose fetch returns after a newer one has started
  // leaves the page, the rows and the caption to the newer one.
  std::uint64_t PageCommandsStarted = 0;
};

void InitAppState(AppState& state);
void ReleaseAppState(AppState& state);

// Fixed at build time (see configuration.cpp).
const Text& SearchHost();
const Text& NetdiskDomain();
// "http://" + SearchHost + "/s?ie=utf-8&wd="
Text SearchUrlBase();
// "http://" + SearchHost + "/link\?url=": the form in which the link prefix opens the link pattern.
Text StoredLinkPrefix();
// StoredLinkPrefix without its backslash: "http://" + SearchHost + "/link?url=".
Text LinkPrefix();

}  // namespace tarnisk
