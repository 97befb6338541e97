#include "http/fetch.h"
#include "platform/event_pump.h"
#include "search/search.h"

namespace tarnisk {

namespace {

// GB18030 bytes of the texts the commands look for and write.
constexpr std::string_view kPreviousMarker = "\xC9\xCF\xD2\xBB\xD2\xB3";  // 上一页
constexpr std::string_view kNextMarker = "\xCF\xC2\xD2\xBB\xD2\xB3";      // 下一页
constexpr std::string_view kCaptionStart = "\xB5\xDA";                    // 第
constexpr std::string_view kCaptionEnd = "\xD2\xB3";                      // 页

Text QueryUrl(const AppState& state) {
  return TextConcat(SearchUrlBase(), state.EncodedKeyword, "+site%3A", NetdiskDomain());
}

Text PageUrl(const AppState& state, double page) {
  return TextConcat(QueryUrl(state), "&pn=", NumberToText((page - 1) * 10));
}

// The fetch dispatches window events, so a newer page command may have run to its end inside it;
// that command's page, rows and caption stand. A tool that is closing touches no control either.
bool StillCurrent(const AppState& state, std::uint64_t ticket) {
  return state.PageCommandsStarted == ticket && !platform::ShutdownRequested();
}

// Fetches url and, unless a newer command has taken over meanwhile, shows the page. The caption,
// when given, is written between the fetch and the parse.
void FetchAndShow(AppState& state, WindowControls& window, const Text& url, std::uint64_t ticket,
                  const Text* captionAfterFetch) {
  Text page = FetchUrl(url, Text(), Text(), 0, true);
  if (!StillCurrent(state, ticket)) return;
  state.CurrentPageHtml = std::move(page);
  if (captionAfterFetch != nullptr) window.SetPageLabel(*captionAfterFetch);
  ParseResultPage(state, window);
}

void StepPage(AppState& state, WindowControls& window, std::string_view marker, double step) {
  if (TextFind(state.CurrentPageHtml, marker) == NotFound) return;
  const std::uint64_t ticket = ++state.PageCommandsStarted;
  const double shown = TextToNumber(ExtractBetween(state.CurrentPageHtml, ">", "</span></strong>", true));
  const std::int32_t target = TruncateToInteger(shown + step);
  window.SetPageLabel(TextConcat(kCaptionStart, IntegerToText(target), kCaptionEnd));
  FetchAndShow(state, window, PageUrl(state, target), ticket, nullptr);
}

}  // namespace

void RunSearch(AppState& state, WindowControls& window) {
  const std::uint64_t ticket = ++state.PageCommandsStarted;
  state.EncodedKeyword = EncodeKeyword(window.KeywordText());
  const Text caption = TextConcat(kCaptionStart, "1", kCaptionEnd);
  FetchAndShow(state, window, QueryUrl(state), ticket, &caption);
}

void GoPreviousPage(AppState& state, WindowControls& window) {
  StepPage(state, window, kPreviousMarker, -1);
}

void GoNextPage(AppState& state, WindowControls& window) { StepPage(state, window, kNextMarker, 1); }

void JumpToPage(AppState& state, WindowControls& window) {
  const std::uint64_t ticket = ++state.PageCommandsStarted;
  const double page = TextToNumber(window.PageBoxText());
  // Like the step commands, the jump names the page it asks for before fetching it; the number is
  // the one typed, written as the offset's own conversion writes it, so "2.5" shows as typed.
  window.SetPageLabel(TextConcat(kCaptionStart, NumberToText(page), kCaptionEnd));
  FetchAndShow(state, window, PageUrl(state, page), ticket, nullptr);
}

}  // namespace tarnisk
