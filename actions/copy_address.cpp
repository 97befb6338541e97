#include "actions/actions.h"

namespace tarnisk {

namespace {
constexpr std::string_view kCopiedCaption = "\xD2\xD1\xB8\xB4\xD6\xC6";  // 已复制
}  // namespace

void CopySelectedAddress(AppState& state, WindowControls& window, platform::Clipboard& clipboard) {
  const Text* token = SelectedLinkToken(state, window);
  if (token == nullptr) return;
  if (clipboard.PlaceText(TextConcat(LinkPrefix(), *token))) window.SetPageLabel(Text(kCopiedCaption));
}

}  // namespace tarnisk
