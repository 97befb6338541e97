#include "shell/app_state.h"

#include <utility>

namespace tarnisk {

void InitAppState(AppState& state) { state = AppState{}; }

void ReleaseAppState(AppState& state) {
  // Swapping with empty values gives the memory back, which clear() alone would keep.
  AppState released;
  std::swap(state, released);
}

Text SearchUrlBase() { return TextConcat("http://", SearchHost(), "/s?ie=utf-8&wd="); }

Text StoredLinkPrefix() { return TextConcat("http://", SearchHost(), "/link\\?url="); }

Text LinkPrefix() { return TextReplaceAll(StoredLinkPrefix(), "\\", ""); }

}  // namespace tarnisk
