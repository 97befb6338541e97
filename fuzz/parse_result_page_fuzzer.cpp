// ParseResultPage on random pages with the in-memory window: the three lists are what a byte-wise
// model of the three lazy patterns collects from the page without "<em>" and "</em>", and the rows
// show the names and the sizes beside them.

#include <cstdint>
#include <string>

#include "fuzz/model.h"
#include "search/in_memory_desktop.h"
#include "search/search.h"

namespace {

using namespace tarnisk;
using namespace tarnisk::fuzz;

constexpr std::string_view NameMarker = "\xCE\xC4\xBC\xFE\xC3\xFB:";
constexpr std::string_view SizeMarker = "\xCE\xC4\xBC\xFE\xB4\xF3\xD0\xA1:";
constexpr std::string_view SharerMarker = "\xB7\xD6\xCF\xED\xD5\xDF:";

// Captures between an opening and a closing marker, leftmost first, never overlapping. When the
// first opening marker left has no closing marker after it, no later one has.
TextList ModelCollect(std::string_view page, std::string_view opening, std::string_view closing) {
  TextList found;
  std::size_t from = 0;
  while (true) {
    const std::size_t open = page.find(opening, from);
    if (open == std::string_view::npos) break;
    const std::size_t close = page.find(closing, open + opening.size());
    if (close == std::string_view::npos) break;
    found.emplace_back(page.substr(open + opening.size(), close - open - opening.size()));
    from = close + closing.size();
  }
  return found;
}

// "http://" + host + "/link?url=", where each dot of the host stands for any byte.
bool LinkPrefixAt(std::string_view page, std::size_t at, std::string_view prefix, std::size_t hostStart,
                  std::size_t hostEnd) {
  if (page.size() - at < prefix.size()) return false;
  for (std::size_t k = 0; k < prefix.size(); ++k) {
    const bool wildcard = k >= hostStart && k < hostEnd && prefix[k] == '.';
    if (!wildcard && page[at + k] != prefix[k]) return false;
  }
  return true;
}

TextList ModelLinks(std::string_view page) {
  const std::string prefix = "http://" + SearchHost() + "/link?url=";
  const std::size_t hostStart = 7;
  const std::size_t hostEnd = 7 + SearchHost().size();
  TextList found;
  std::size_t from = 0;
  while (from < page.size()) {
    std::size_t at = from;
    while (at < page.size() && !LinkPrefixAt(page, at, prefix, hostStart, hostEnd)) ++at;
    if (at >= page.size()) break;
    const std::size_t quote = page.find('"', at + prefix.size());
    if (quote == std::string_view::npos) break;
    found.emplace_back(page.substr(at + prefix.size(), quote - at - prefix.size()));
    from = quote + 1;
  }
  return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  AppState state;
  state.CurrentPageHtml.assign(reinterpret_cast<const char*>(data), size);
  // A page is a text: it ends at a zero byte.
  state.CurrentPageHtml.erase(std::min(state.CurrentPageHtml.find('\0'), state.CurrentPageHtml.size()));
  state.ResultNames = {"stale"};
  tarnisk::testing::InMemoryWindow window;
  window.rows = {{"stale", "row"}};

  ParseResultPage(state, window);

  const std::string stripped = ModelReplaceAll(ModelReplaceAll(state.CurrentPageHtml, "<em>", ""), "</em>", "");
  Check(state.ResultNames == ModelCollect(stripped, NameMarker, SizeMarker), "ResultNames");
  Check(state.ResultSizes == ModelCollect(stripped, SizeMarker, SharerMarker), "ResultSizes");
  Check(state.ResultLinks == ModelLinks(stripped), "ResultLinks");
  Check(window.rows.size() == state.ResultNames.size(), "one row per name");
  for (std::size_t i = 0; i < window.rows.size(); ++i) {
    Check(window.rows[i][0] == state.ResultNames[i], "row name");
    Check(window.rows[i][1] == (i < state.ResultSizes.size() ? state.ResultSizes[i] : Text()), "row size");
  }
  return 0;
}
