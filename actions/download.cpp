#include "actions/actions.h"
#include "http/fetch.h"
#include "platform/threads.h"

namespace tarnisk {

namespace {

// The markers of the two pages, byte for byte: the first href of the link page, and the direct
// link of the share page as its script escapes it (dlink\":\"...\").
constexpr std::string_view kTargetStart = "href=\"";
constexpr std::string_view kTargetEnd = "\"";
constexpr std::string_view kDirectLinkStart = "dlink\\\":\\\"";
constexpr std::string_view kDirectLinkEnd = "\\\"";
constexpr std::string_view kEscapedSchemeSlashes = "/\\\\/";
constexpr std::string_view kEscapedSlash = "\\\\/";

}  // namespace

const Text* SelectedLinkToken(const AppState& state, WindowControls& window) {
  const int row = window.SelectedRowIndex();
  if (row < 0 || static_cast<std::size_t>(row) >= state.ResultLinks.size()) return nullptr;
  return &state.ResultLinks[static_cast<std::size_t>(row)];
}

bool IsSafeBrowserAddress(std::string_view address) {
  for (const char byte : address) {
    const auto code = static_cast<unsigned char>(byte);
    if (code <= 0x20 || code == 0x7F) return false;
  }
  const int colon = TextFind(address, ":");
  if (colon == NotFound) return false;
  const Text scheme = TextToLowerAscii(TextLeft(address, colon - 1));
  return TextEquals(scheme, "http") || TextEquals(scheme, "https");
}

void ResolveDownloadLink(const Text& address, platform::Shell& shell) {
  const Text linkPage = FetchUrl(address, Text(), Text(), 0, false);
  const Text target =
      TextReplaceAll(ExtractBetween(linkPage, kTargetStart, kTargetEnd, false), "&amp;", "&");
  const Text sharePage = FetchUrl(target, Text(), Text(), 0, false);
  Text link = ExtractBetween(sharePage, kDirectLinkStart, kDirectLinkEnd, false);
  // Only the sequence itself goes: cutting at a position of -1 would eat the link's first bytes.
  const int escaped = TextFind(link, kEscapedSchemeSlashes);
  if (escaped != NotFound) link = TextRemoveSpan(link, escaped, TextLength(kEscapedSchemeSlashes));
  link = TextReplaceAll(link, kEscapedSlash, "/");
  // Two outside pages produced this text; the shell opens only a web address, never a local
  // program, a file or another scheme.
  if (IsSafeBrowserAddress(link)) shell.OpenAddress(link);
}

void DownloadSelected(AppState& state, WindowControls& window, platform::Shell& shell) {
  const Text* token = SelectedLinkToken(state, window);
  if (token == nullptr) return;
  state.WorkerHandles[0] = platform::StartWorker(
      [address = TextConcat(LinkPrefix(), *token), &shell] { ResolveDownloadLink(address, shell); });
}

}  // namespace tarnisk
