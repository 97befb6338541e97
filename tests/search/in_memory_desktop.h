#pragma once
// In-memory stand-ins for the window's controls, the clipboard and the shell, so that the commands
// run in tests without a display.

#include <mutex>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "shell/window_controls.h"

namespace tarnisk::testing {

// GB18030 bytes of the Chinese texts the tests use.
inline constexpr std::string_view kNameMarker = "\xCE\xC4\xBC\xFE\xC3\xFB:";          // 文件名:
inline constexpr std::string_view kSizeMarker = "\xCE\xC4\xBC\xFE\xB4\xF3\xD0\xA1:";  // 文件大小:
inline constexpr std::string_view kSharerMarker = "\xB7\xD6\xCF\xED\xD5\xDF:";        // 分享者:
inline constexpr std::string_view kPreviousMarker = "\xC9\xCF\xD2\xBB\xD2\xB3";       // 上一页
inline constexpr std::string_view kNextMarker = "\xCF\xC2\xD2\xBB\xD2\xB3";           // 下一页
inline constexpr std::string_view kCopied = "\xD2\xD1\xB8\xB4\xD6\xC6";               // 已复制

// "第" + number + "页" in GB18030.
inline std::string PageCaption(std::string_view number) {
  return std::string("\xB5\xDA").append(number).append("\xD2\xB3");
}

class InMemoryWindow final : public WindowControls {
 public:
  Text keyword;
  Text pageBox = "1";
  Text pageLabel;
  int labelWrites = 0;
  std::vector<std::vector<Text>> rows;  // two columns each
  int selectedRow = -1;

  Text KeywordText() override { return keyword; }
  Text PageBoxText() override { return pageBox; }
  void SetPageLabel(const Text& caption) override {
    pageLabel = caption;
    ++labelWrites;
  }
  void DeleteAllRows() override { rows.clear(); }
  void InsertRow(int position, const Text& firstColumn) override {
    const auto at = position < 0 || static_cast<std::size_t>(position) >= rows.size()
                        ? rows.end()
                        : rows.begin() + position;
    rows.insert(at, {firstColumn, Text()});
  }
  void SetCellText(int row, int column, const Text& text) override {
    if (row < 0 || column < 0 || column > 1 || static_cast<std::size_t>(row) >= rows.size()) return;
    rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = text;
  }
  int SelectedRowIndex() override { return selectedRow; }
};

class InMemoryClipboard final : public platform::Clipboard {
 public:
  bool accepts = true;
  std::string text;
  int placements = 0;

  bool PlaceText(const std::string& localText) override {
    ++placements;
    if (!accepts) return false;
    text = localText;
    return true;
  }
};

// Records every address handed over; workers call it from their own threads.
class InMemoryShell final : public platform::Shell {
 public:
  void OpenAddress(const std::string& localAddress) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    opened_.push_back(localAddress);
  }
  std::vector<std::string> Opened() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return opened_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> opened_;
};

}  // namespace tarnisk::testing
