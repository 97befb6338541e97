#pragma once
// Result page parsing and the four commands that fetch a result page.

#include "shell/app_state.h"
#include "shell/window_controls.h"
#include "text/text.h"

namespace tarnisk {

// "文件名:(.*?)文件大小:" in GB18030.
Text NamePattern();
// "文件大小:(.*?)分享者:" in GB18030.
Text SizePattern();
// "http://" + SearchHost + "/link\?url=(.*?)" + a double quote.
Text LinkPattern();

// Appends capture 1 of every leftmost, non-overlapping match of pattern in text. A pattern that
// does not compile, or a match the regex engine gives up on, adds nothing more.
void CollectMatches(std::string_view text, const Text& pattern, TextList& list);

// Fills the result lists from CurrentPageHtml and the rows of the result list from them.
void ParseResultPage(AppState& state, WindowControls& window);

void RunSearch(AppState& state, WindowControls& window);
void GoPreviousPage(AppState& state, WindowControls& window);
void GoNextPage(AppState& state, WindowControls& window);
void JumpToPage(AppState& state, WindowControls& window);

}  // namespace tarnisk
