#pragma once
// The tool's only window: the keyword box and search button, the result list with its context menu,
// the paging controls, two information labels and a hyperlink. Each control carries its Chinese
// name as its object name (关键字框, 按钮1, 超级列表框1, ...).

#include <QLineEdit>
#include <QPoint>
#include <QString>
#include <QWidget>

#include "platform/desktop.h"
#include "shell/app_state.h"
#include "shell/window_controls.h"

class QLabel;
class QMenu;
class QPushButton;
class QTreeWidget;

namespace tarnisk {

// GB18030 text to what a control shows; bytes that are not GB18030 show as U+FFFD.
QString LocalToQString(const Text& text);
// What a control shows to GB18030 text; a zero character ends the text.
Text QStringToLocal(const QString& text);

// 页数框: an edit box that takes only the digits 0 to 9 and "-" among printable characters, whether
// typed, pasted, dropped or committed by an input method. Other characters are dropped silently.
class PageNumberBox final : public QLineEdit {
 public:
  explicit PageNumberBox(QWidget* parent = nullptr);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void DropRefusedCharacters();
};

class MainWindow final : public QWidget, public WindowControls {
  Q_OBJECT

 public:
  // The clipboard and the shell must outlive the window; the shell also every download worker.
  MainWindow(AppState& state, platform::Clipboard& clipboard, platform::Shell& shell,
             QWidget* parent = nullptr);

  Text KeywordText() override;
  Text PageBoxText() override;
  void SetPageLabel(const Text& caption) override;
  void DeleteAllRows() override;
  void InsertRow(int position, const Text& firstColumn) override;
  void SetCellText(int row, int column, const Text& text) override;
  int SelectedRowIndex() override;

  // 右键菜单 as a new popup with its two items, "下载选中" then "复制地址".
  QMenu* CreateContextMenu();
  // Shows 右键菜单 3 pixels right of and below cursor (screen coordinates) and runs the command of
  // the chosen item once the menu has closed.
  void ShowContextMenu(const QPoint& cursor);

  // The address 超级链接框1 opens: the folder that holds the program.
  QString MoreToolsAddress() const;

 signals:
  // The window is closing: the tool is about to end.
  void Closing();

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void ConnectCommands();
  void CentreOnScreen();

  AppState& state_;
  platform::Clipboard& clipboard_;
  platform::Shell& shell_;

  QLineEdit* keywordBox_ = nullptr;
  QPushButton* searchButton_ = nullptr;
  QTreeWidget* resultList_ = nullptr;
  QPushButton* previousButton_ = nullptr;
  QPushButton* nextButton_ = nullptr;
  QLabel* pageLabel_ = nullptr;
  PageNumberBox* pageBox_ = nullptr;
  QPushButton* jumpButton_ = nullptr;
  QLabel* infoLabel_ = nullptr;
  QLabel* creditLabel_ = nullptr;
  QLabel* moreToolsLink_ = nullptr;
  bool centred_ = false;
};

}  // namespace tarnisk
