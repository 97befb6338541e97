#pragma once
#include "text/text.h"

namespace tarnisk {

// The control operations the commands use. The Qt window implements them; tests use an in-memory
// window. Every text crosses this boundary in the local code page (GB18030).
class WindowControls {
 public:
  virtual ~WindowControls() = default;
  virtual Text KeywordText() = 0;                       // 关键字框
  virtual Text PageBoxText() = 0;                       // 页数框
  virtual void SetPageLabel(const Text& caption) = 0;   // 页码标签
  virtual void DeleteAllRows() = 0;                     // 超级列表框1
  // A position at or beyond the row count appends; column 1 starts empty.
  virtual void InsertRow(int position, const Text& firstColumn) = 0;
  virtual void SetCellText(int row, int column, const Text& text) = 0;
  // The 0-based first selected row, or -1.
  virtual int SelectedRowIndex() = 0;
};

}  // namespace tarnisk
