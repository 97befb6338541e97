#include "shell/main_window.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/event_pump.h"
#include "platform/http_client.h"
#include "platform/run_directory.h"
#include "platform/threads.h"
#include "search/in_memory_desktop.h"
#include "search/service_stand_in.h"

namespace tarnisk {
namespace {

using namespace std::chrono_literals;
using testing::Gb;
using testing::InMemoryClipboard;
using testing::InMemoryShell;
using testing::LoopbackExchange;
using testing::OkPage;
using testing::ServiceStandIn;

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitAppState(state_);
    window_ = std::make_unique<MainWindow>(state_, clipboard_, shell_);
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  }
  void TearDown() override {
    window_.reset();
    EXPECT_TRUE(platform::WaitForWorkers(10s));
    ReleaseAppState(state_);
  }

  template <typename Widget = QWidget>
  Widget* Control(const char* name) const {
    auto* control = window_->findChild<Widget*>(QString::fromUtf8(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  QTreeWidget* List() const { return Control<QTreeWidget>("超级列表框1"); }

  // Rows as ParseResultPage leaves them: names, sizes and link tokens.
  void ShowRows(const std::vector<std::string>& names, const std::vector<std::string>& links) {
    state_.ResultLinks = links;
    window_->DeleteAllRows();
    for (std::size_t i = 0; i < names.size(); ++i) {
      window_->InsertRow(static_cast<int>(i), names[i]);
      window_->SetCellText(static_cast<int>(i), 1, "1 KB");
    }
  }

  void SelectRow(int row) const {
    List()->setFocus();
    List()->setCurrentItem(List()->topLevelItem(row));
  }

  AppState state_;
  InMemoryClipboard clipboard_;
  InMemoryShell shell_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, WindowIsAFixedCentredTarniskWindowWithCloseBoxOnly) {
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("Tarnisk"));
  EXPECT_EQ(window_->size(), QSize(433, 331));
  EXPECT_EQ(window_->minimumSize(), QSize(433, 331));
  EXPECT_EQ(window_->maximumSize(), QSize(433, 331));
  const Qt::WindowFlags flags = window_->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
  EXPECT_TRUE(flags & Qt::WindowTitleHint);
  EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  // Centred as closely as the platform lets a window be placed before it knows its frame.
  const QPoint screenCentre = window_->screen()->availableGeometry().center();
  const QRect frame = window_->frameGeometry();
  const QRect client = window_->geometry();
  const int frameSlack = (client.left() - frame.left()) + (client.top() - frame.top());
  EXPECT_LE((screenCentre - frame.center()).manhattanLength(), frameSlack + 1);
}

struct ControlRow {
  const char* name;
  QRect geometry;
  const char* caption;  // the text shown at start
};

void PrintTo(const ControlRow& row, std::ostream* out) { *out << row.name; }

class ControlLayout : public MainWindowTest, public ::testing::WithParamInterface<ControlRow> {};

// The text a control shows, whatever kind of control it is.
QString ShownText(QWidget* control) {
  if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->text();
  if (auto* button = qobject_cast<QPushButton*>(control)) return button->text();
  if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
  return QString();
}

TEST_P(ControlLayout, SitsAtItsPlaceWithItsCaption) {
  QWidget* control = Control(GetParam().name);
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->geometry(), GetParam().geometry);
  EXPECT_EQ(control->parentWidget(), window_.get());
  if (GetParam().caption != nullptr) {
    EXPECT_EQ(ShownText(control), QString::fromUtf8(GetParam().caption));
  }
  if (auto* button = qobject_cast<QPushButton*>(control)) {
    EXPECT_FALSE(button->autoDefault());
    EXPECT_FALSE(button->isDefault());
  }
}

INSTANTIATE_TEST_SUITE_P(
    MainWindow, ControlLayout,
    ::testing::Values(ControlRow{"关键字框", QRect(8, 8, 352, 24), ""},
                      ControlRow{"按钮1", QRect(368, 8, 56, 24), "搜索"},
                      ControlRow{"超级列表框1", QRect(8, 40, 416, 200), nullptr},
                      ControlRow{"按钮2", QRect(8, 256, 104, 24), "上一页"},
                      ControlRow{"按钮3", QRect(128, 256, 104, 24), "下一页"},
                      ControlRow{"页码标签", QRect(240, 256, 72, 24), ""},
                      ControlRow{"页数框", QRect(312, 256, 64, 24), "1"},
                      ControlRow{"按钮4", QRect(376, 256, 48, 24), "跳页"},
                      ControlRow{"标签1", QRect(8, 288, 424, 24), nullptr},
                      ControlRow{"标签2", QRect(8, 312, 152, 16), nullptr},
                      ControlRow{"超级链接框1", QRect(344, 312, 72, 16), nullptr}),
    [](const auto& info) {
      // Test names must be ASCII: number the rows in table order.
      return "Control" + std::to_string(info.index);
    });

TEST_F(MainWindowTest, LabelsAlignAndWrapAsLaidOut) {
  auto* page = Control<QLabel>("页码标签");
  EXPECT_EQ(page->alignment(), Qt::AlignCenter);
  EXPECT_FALSE(page->wordWrap());
  auto* info = Control<QLabel>("标签1");
  EXPECT_EQ(info->alignment(), Qt::AlignLeft | Qt::AlignTop);
  EXPECT_TRUE(info->wordWrap());
  EXPECT_TRUE(info->text().contains(QStringLiteral("Tarnisk")));
  auto* credit = Control<QLabel>("标签2");
  EXPECT_EQ(credit->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
  EXPECT_FALSE(credit->wordWrap());
  EXPECT_TRUE(credit->text().contains(QStringLiteral("Tarnisk")));
  EXPECT_TRUE(Control<QLabel>("超级链接框1")->text().contains(QStringLiteral("更多小工具")));
}

class LabelFits : public MainWindowTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(LabelFits, ItsTextFitsItsBox) {
  auto* label = Control<QLabel>(GetParam());
  QTextDocument shown;
  shown.setDefaultFont(label->font());
  shown.setDocumentMargin(0);
  if (label->textFormat() == Qt::RichText) {
    shown.setHtml(label->text());
  } else {
    shown.setPlainText(label->text());
  }
  shown.setTextWidth(label->wordWrap() ? label->width() : -1);
  EXPECT_LE(shown.size().width(), label->width() + 1);
  EXPECT_LE(shown.size().height(), label->height() + 1);
}

INSTANTIATE_TEST_SUITE_P(MainWindow, LabelFits, ::testing::Values("标签1", "标签2", "超级链接框1"),
                         [](const auto& info) { return "Label" + std::to_string(info.index); });

TEST_F(MainWindowTest, KeywordBoxUsesATwelvePixelNormalFontAndTheRestTheDefault) {
  const QFont keywordFont = Control("关键字框")->font();
  EXPECT_EQ(keywordFont.pixelSize(), 12);
  EXPECT_EQ(keywordFont.weight(), QFont::Normal);
  for (const char* name : {"按钮1", "页数框", "页码标签", "标签1"}) {
    QWidget* control = Control(name);
    EXPECT_EQ(control->font(), QApplication::font(control)) << name;
  }
}

TEST_F(MainWindowTest, ResultListHasTwoFixedColumnsAndSingleFullRowSelection) {
  QTreeWidget* list = List();
  ASSERT_EQ(list->columnCount(), 2);
  EXPECT_EQ(list->headerItem()->text(0), QStringLiteral("文件名"));
  EXPECT_EQ(list->headerItem()->text(1), QStringLiteral("文件大小"));
  EXPECT_EQ(list->columnWidth(0), 350);
  EXPECT_EQ(list->columnWidth(1), 60);
  EXPECT_EQ(Qt::Alignment(list->headerItem()->textAlignment(0)) & Qt::AlignHorizontal_Mask,
            Qt::AlignLeft);
  EXPECT_EQ(Qt::Alignment(list->headerItem()->textAlignment(1)) & Qt::AlignHorizontal_Mask,
            Qt::AlignHCenter);
  EXPECT_LE(350 + 60, list->viewport()->width());
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_FALSE(list->isSortingEnabled());
  EXPECT_FALSE(list->rootIsDecorated());
  EXPECT_TRUE(list->header()->isVisible());
  EXPECT_EQ(list->topLevelItemCount(), 0);
}

TEST_F(MainWindowTest, SizeCellsAreCentredAndNamesCannotBeEdited) {
  ShowRows({"a"}, {"t"});
  QTreeWidgetItem* row = List()->topLevelItem(0);
  EXPECT_EQ(Qt::Alignment(row->textAlignment(1)) & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
  EXPECT_FALSE(row->flags() & Qt::ItemIsEditable);
  SelectRow(0);
  QTest::keyClick(List(), Qt::Key_F2);
  QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {},
                     List()->visualItemRect(row).center());
  EXPECT_TRUE(List()->viewport()->findChildren<QLineEdit*>().isEmpty());
}

TEST_F(MainWindowTest, SelectionIsShownOnlyWhileTheListHasTheFocus) {
  ShowRows({"a"}, {"t"});
  SelectRow(0);
  QTreeWidget* list = List();
  const QPoint inRow(300, list->visualItemRect(list->topLevelItem(0)).center().y());
  const auto colourAt = [list, inRow] { return list->viewport()->grab().toImage().pixelColor(inRow); };
  const QColor base = list->palette().color(QPalette::Active, QPalette::Base);
  ASSERT_TRUE(list->hasFocus());
  EXPECT_NE(colourAt(), base);
  Control("关键字框")->setFocus();
  EXPECT_EQ(window_->SelectedRowIndex(), 0);
  EXPECT_EQ(colourAt(), base);
  list->setFocus();
  EXPECT_NE(colourAt(), base);
}

TEST_F(MainWindowTest, HeaderClicksLeaveTheRowOrderAlone) {
  ShowRows({"b", "c", "a"}, {});
  QHeaderView* header = List()->header();
  for (int section : {0, 1, 0}) {
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(section) + 10, header->height() / 2));
  }
  ASSERT_EQ(List()->topLevelItemCount(), 3);
  EXPECT_EQ(List()->topLevelItem(0)->text(0), QStringLiteral("b"));
  EXPECT_EQ(List()->topLevelItem(1)->text(0), QStringLiteral("c"));
  EXPECT_EQ(List()->topLevelItem(2)->text(0), QStringLiteral("a"));
}

// Sends a printable character as a key press, as a keyboard layout would (Chinese included).
void TypeCharacter(QWidget* widget, const QString& character) {
  QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, character);
  QApplication::sendEvent(widget, &press);
  QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, character);
  QApplication::sendEvent(widget, &release);
}

struct TypingRow {
  const char* name;
  const char* start;
  std::vector<const char*> typed;  // one key each
  const char* expected;
};

void PrintTo(const TypingRow& row, std::ostream* out) { *out << row.name; }

class PageBoxTyping : public MainWindowTest, public ::testing::WithParamInterface<TypingRow> {};

TEST_P(PageBoxTyping, TakesOnlyDigitsAndHyphen) {
  auto* box = Control<QLineEdit>("页数框");
  box->setFocus();
  box->setText(QString::fromUtf8(GetParam().start));
  for (const char* key : GetParam().typed) TypeCharacter(box, QString::fromUtf8(key));
  EXPECT_EQ(box->text(), QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    MainWindow, PageBoxTyping,
    ::testing::Values(TypingRow{"LetterChangesNothing", "1", {"a"}, "1"},
                      TypingRow{"FullStopChangesNothing", "1", {"."}, "1"},
                      TypingRow{"HyphenThenDigitInEmptiedBox", "", {"-", "3"}, "-3"},
                      TypingRow{"DigitsAppend", "1", {"2", "0"}, "120"},
                      TypingRow{"ChineseCharacterDropped", "2", {"第", "页"}, "2"},
                      TypingRow{"FullWidthDigitDropped", "2", {"３"}, "2"},
                      TypingRow{"SpaceDropped", "2", {" "}, "2"},
                      TypingRow{"MixedSequence", "", {"a", "1", ".", "-", "x", "3"}, "1-3"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, PageBoxKeepsItsSelectionWhenARefusedKeyIsTyped) {
  auto* box = Control<QLineEdit>("页数框");
  box->setFocus();
  box->setText(QStringLiteral("123"));
  box->selectAll();
  TypeCharacter(box, QStringLiteral("a"));
  EXPECT_EQ(box->text(), QStringLiteral("123"));
  EXPECT_EQ(box->selectedText(), QStringLiteral("123"));
  TypeCharacter(box, QStringLiteral("4"));
  EXPECT_EQ(box->text(), QStringLiteral("4"));
}

TEST_F(MainWindowTest, PageBoxBackspaceStillWorks) {
  auto* box = Control<QLineEdit>("页数框");
  box->setFocus();
  box->setText(QStringLiteral("12"));
  QTest::keyClick(box, Qt::Key_Backspace);
  EXPECT_EQ(box->text(), QStringLiteral("1"));
}

struct PasteRow {
  const char* name;
  const char* start;
  int cursor;
  const char* pasted;
  const char* expected;
  int expectedCursor;
};

void PrintTo(const PasteRow& row, std::ostream* out) { *out << row.name; }

class PageBoxPaste : public MainWindowTest, public ::testing::WithParamInterface<PasteRow> {};

TEST_P(PageBoxPaste, KeepsTheTakenCharactersOfAPaste) {
  auto* box = Control<QLineEdit>("页数框");
  box->setFocus();
  box->setText(QString::fromUtf8(GetParam().start));
  box->setCursorPosition(GetParam().cursor);
  QApplication::clipboard()->setText(QString::fromUtf8(GetParam().pasted));
  QTest::keySequence(box, QKeySequence::Paste);
  EXPECT_EQ(box->text(), QString::fromUtf8(GetParam().expected));
  EXPECT_EQ(box->cursorPosition(), GetParam().expectedCursor);
}

INSTANTIATE_TEST_SUITE_P(
    MainWindow, PageBoxPaste,
    ::testing::Values(PasteRow{"AllTaken", "1", 1, "23", "123", 3},
                      PasteRow{"OthersDropped", "", 0, "第12ab-3页", "12-3", 4},
                      PasteRow{"IntoTheMiddle", "19", 1, "x2.5", "1259", 3},
                      PasteRow{"NothingTaken", "7", 1, "abc", "7", 1},
                      PasteRow{"LineBreaksDropped", "", 0, "4\n5", "45", 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, PageBoxFiltersAnInputMethodCommit) {
  auto* box = Control<QLineEdit>("页数框");
  box->setFocus();
  box->setText(QString());
  QInputMethodEvent commit;
  commit.setCommitString(QStringLiteral("第2页"));
  QApplication::sendEvent(box, &commit);
  EXPECT_EQ(box->text(), QStringLiteral("2"));
}

class EscapeCloses : public MainWindowTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(EscapeCloses, FromAnyControl) {
  QSignalSpy closing(window_.get(), &MainWindow::Closing);
  QWidget* control = Control(GetParam());
  control->setFocus();
  QTest::keyClick(control, Qt::Key_Escape);
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(closing.count(), 1);
}

INSTANTIATE_TEST_SUITE_P(MainWindow, EscapeCloses,
                         ::testing::Values("关键字框", "按钮1", "超级列表框1", "按钮2", "按钮3",
                                           "页数框", "按钮4"),
                         [](const auto& info) { return "Control" + std::to_string(info.index); });

class EnterStartsNothing : public MainWindowTest,
                           public ::testing::WithParamInterface<const char*> {};

TEST_P(EnterStartsNothing, WhicheverControlHasTheFocus) {
  ServiceStandIn services(testing::FixedResponse(OkPage("")));
  ShowRows({"a"}, {"t"});
  SelectRow(0);
  Control<QLineEdit>("关键字框")->setText(QStringLiteral("abc"));
  QWidget* control = Control(GetParam());
  control->setFocus();
  QTest::keyClick(control, Qt::Key_Return);
  QTest::keyClick(control, Qt::Key_Enter);
  QTest::qWait(50);
  EXPECT_TRUE(platform::WaitForWorkers(10s));
  EXPECT_EQ(services.server().RequestCount(), 0u);
  EXPECT_TRUE(window_->isVisible());
  EXPECT_EQ(Control<QLabel>("页码标签")->text(), QString());
  EXPECT_EQ(state_.WorkerHandles[0], 0);
}

INSTANTIATE_TEST_SUITE_P(MainWindow, EnterStartsNothing,
                         ::testing::Values("关键字框", "按钮1", "超级列表框1", "按钮2", "按钮3",
                                           "页数框", "按钮4"),
                         [](const auto& info) { return "Control" + std::to_string(info.index); });

struct ButtonRow {
  const char* name;
  const char* button;
  Text shownPage;       // CurrentPageHtml before the click
  const char* pageBox;  // 页数框
  std::string targetTail;
  const char* caption;
};

void PrintTo(const ButtonRow& row, std::ostream* out) { *out << row.name; }

class ButtonRouting : public MainWindowTest, public ::testing::WithParamInterface<ButtonRow> {};

TEST_P(ButtonRouting, ClickRunsItsCommand) {
  ServiceStandIn services(testing::FixedResponse(OkPage("")));
  state_.EncodedKeyword = "old";
  state_.CurrentPageHtml = GetParam().shownPage;
  Control<QLineEdit>("关键字框")->setText(QStringLiteral("new"));
  Control<QLineEdit>("页数框")->setText(QString::fromUtf8(GetParam().pageBox));

  QTest::mouseClick(Control(GetParam().button), Qt::LeftButton);

  const std::vector<std::string> targets = services.Targets();
  ASSERT_EQ(targets.size(), 1u);
  const std::string& target = targets[0];
  ASSERT_GE(target.size(), GetParam().targetTail.size());
  EXPECT_EQ(target.substr(target.size() - GetParam().targetTail.size()), GetParam().targetTail);
  EXPECT_EQ(target.rfind("/s?ie=utf-8&wd=", 0), 0u) << target;
  EXPECT_EQ(Control<QLabel>("页码标签")->text(), QString::fromUtf8(GetParam().caption));
}

Text PageShowing(const char* number) {
  return Gb(std::string("上一页<strong><span>").append(number).append("</span></strong>下一页"));
}

INSTANTIATE_TEST_SUITE_P(
    MainWindow, ButtonRouting,
    ::testing::Values(
        ButtonRow{"SearchButton", "按钮1", Text(), "1", "wd=new+site%3A" + NetdiskDomain(), "第1页"},
        ButtonRow{"PreviousButton", "按钮2", PageShowing("3"), "1", "wd=old+site%3A" + NetdiskDomain() + "&pn=10", "第2页"},
        ButtonRow{"NextButton", "按钮3", PageShowing("3"), "1", "wd=old+site%3A" + NetdiskDomain() + "&pn=30", "第4页"},
        ButtonRow{"JumpButton", "按钮4", Text(), "3", "wd=old+site%3A" + NetdiskDomain() + "&pn=20", "第3页"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, RowsFromTheControlOperationsShowInTheList) {
  window_->InsertRow(0, Gb("乙"));
  window_->InsertRow(0, Gb("甲"));
  window_->InsertRow(99, Gb("丁"));
  window_->InsertRow(2, Gb("丙"));
  window_->InsertRow(-1, "first");
  window_->SetCellText(1, 1, Gb("1.5 MB"));
  window_->SetCellText(7, 1, "nowhere");
  window_->SetCellText(1, 5, "nowhere");
  QTreeWidget* list = List();
  ASSERT_EQ(list->topLevelItemCount(), 5);
  const QStringList expected = {QStringLiteral("first"), QStringLiteral("甲"), QStringLiteral("乙"),
                                QStringLiteral("丙"), QStringLiteral("丁")};
  for (int row = 0; row < 5; ++row) EXPECT_EQ(list->topLevelItem(row)->text(0), expected[row]);
  EXPECT_EQ(list->topLevelItem(1)->text(1), QStringLiteral("1.5 MB"));
  EXPECT_EQ(list->topLevelItem(0)->text(1), QString());
}

TEST_F(MainWindowTest, SelectedRowIndexFollowsTheSelectionAndDeleteAllRowsClearsIt) {
  EXPECT_EQ(window_->SelectedRowIndex(), -1);
  ShowRows({"a", "b", "c"}, {});
  EXPECT_EQ(window_->SelectedRowIndex(), -1);
  QTest::mouseClick(List()->viewport(), Qt::LeftButton, {},
                    List()->visualItemRect(List()->topLevelItem(2)).center());
  EXPECT_EQ(window_->SelectedRowIndex(), 2);
  QTest::mouseClick(List()->viewport(), Qt::LeftButton, {},
                    List()->visualItemRect(List()->topLevelItem(1)).center());
  EXPECT_EQ(window_->SelectedRowIndex(), 1);
  EXPECT_EQ(List()->selectedItems().size(), 1);
  window_->DeleteAllRows();
  EXPECT_EQ(List()->topLevelItemCount(), 0);
  EXPECT_EQ(window_->SelectedRowIndex(), -1);
}

TEST_F(MainWindowTest, BoxesAndLabelCrossInTheLocalCodePage) {
  auto* keyword = Control<QLineEdit>("关键字框");
  keyword->setFocus();
  for (const QString& character : {QStringLiteral("电"), QStringLiteral("影"), QStringLiteral(" "),
                                   QStringLiteral("a"), QStringLiteral("😀")}) {
    TypeCharacter(keyword, character);
  }
  EXPECT_EQ(window_->KeywordText(), Gb("电影 a😀"));
  Control<QLineEdit>("页数框")->setText(QStringLiteral("-12"));
  EXPECT_EQ(window_->PageBoxText(), "-12");
  window_->SetPageLabel(Gb("第3页"));
  EXPECT_EQ(Control<QLabel>("页码标签")->text(), QStringLiteral("第3页"));
  // The caption is shown as text, never read as markup.
  window_->SetPageLabel("<b>x</b>");
  EXPECT_EQ(Control<QLabel>("页码标签")->textFormat(), Qt::PlainText);
  keyword->setText(QString());
  EXPECT_EQ(window_->KeywordText(), Text());
}

TEST(LocalToQString, ShowsWhatItCanOfBytesThatAreNotGb18030) {
  EXPECT_EQ(LocalToQString(Gb("文件") + "\x80" + "a"),
            QStringLiteral("文件") + QChar(QChar::ReplacementCharacter) + QStringLiteral("a"));
  EXPECT_EQ(LocalToQString("ab\x81"), QStringLiteral("ab") + QChar(QChar::ReplacementCharacter));
  EXPECT_EQ(LocalToQString(Text()), QString());
}

TEST(QStringToLocal, EndsAtAZeroCharacter) {
  EXPECT_EQ(QStringToLocal(QStringLiteral("ab") + QChar(0) + QStringLiteral("cd")), "ab");
}

// Opens the context menu as a right click at viewportPoint in the list does, and hands the open
// menu to inspect before it closes. inspect must close the menu or choose an item.
void RightClickWithOpenMenu(QTreeWidget* list, QPoint viewportPoint,
                            const std::function<void(QMenu*)>& inspect, bool* opened) {
  *opened = false;
  // Polls for the menu from inside its own loop; the timer belongs to the list, so it can never
  // fire into a later test.
  auto* poll = new QTimer(list);
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, [poll, inspect, opened, tries = 0]() mutable {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr && ++tries < 400) return;
    poll->stop();
    poll->deleteLater();
    if (menu == nullptr) return;
    *opened = true;
    inspect(menu);
  });
  poll->start();
  QContextMenuEvent click(QContextMenuEvent::Mouse, viewportPoint,
                          list->viewport()->mapToGlobal(viewportPoint));
  QApplication::sendEvent(list->viewport(), &click);
}

class ContextMenu : public MainWindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(ContextMenu, OpensAtTheCursorPlusThreeWithBothItemsEnabled) {
  // Rows: 0 none, 1 one row without selection, 2 one selected row.
  if (GetParam() >= 1) ShowRows({"a"}, {"t"});
  if (GetParam() == 2) SelectRow(0);
  const QPoint point(40, 150);
  const QPoint cursor = List()->viewport()->mapToGlobal(point);
  QPoint shownAt;
  QStringList items;
  bool allEnabled = false;
  bool opened = false;
  RightClickWithOpenMenu(
      List(), point,
      [&](QMenu* menu) {
        shownAt = menu->pos();
        const QList<QAction*> actions = menu->actions();
        for (QAction* action : actions) items << action->text();
        allEnabled = std::all_of(actions.begin(), actions.end(),
                                 [](QAction* action) { return action->isEnabled(); });
        menu->close();
      },
      &opened);
  ASSERT_TRUE(opened);
  EXPECT_EQ(shownAt, cursor + QPoint(3, 3));
  EXPECT_EQ(items, (QStringList{QStringLiteral("下载选中"), QStringLiteral("复制地址")}));
  EXPECT_TRUE(allEnabled);
  EXPECT_TRUE(clipboard_.text.empty());
  EXPECT_EQ(state_.WorkerHandles[0], 0);
}

constexpr const char* ContextMenuRowNames[] = {"EmptyList", "NoSelection", "RowSelected"};

INSTANTIATE_TEST_SUITE_P(MainWindow, ContextMenu, ::testing::Values(0, 1, 2),
                         [](const auto& info) { return std::string(ContextMenuRowNames[info.param]); });

TEST_F(MainWindowTest, MenuKeyOfTheKeyboardOpensNoMenu) {
  bool opened = false;
  QTimer::singleShot(0, [&opened] {
    if (QWidget* popup = QApplication::activePopupWidget()) {
      opened = true;
      popup->close();
    }
  });
  QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(5, 5),
                        List()->viewport()->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(List()->viewport(), &key);
  QTest::qWait(20);
  EXPECT_FALSE(opened);
}

// Chooses the item with text by the keyboard, as a person would.
void Choose(QMenu* menu, const QString& text) {
  for (QAction* action : menu->actions()) {
    if (action->text() == text) menu->setActiveAction(action);
  }
  QTest::keyClick(menu, Qt::Key_Return);
}

TEST_F(MainWindowTest, CopyAddressItemCopiesTheSelectedRowsAddress) {
  ShowRows({"first", "second"}, {"x", "abc"});
  SelectRow(1);
  bool opened = false;
  RightClickWithOpenMenu(List(), QPoint(40, 150),
                         [](QMenu* menu) { Choose(menu, QStringLiteral("复制地址")); }, &opened);
  ASSERT_TRUE(opened);
  EXPECT_EQ(clipboard_.text, LinkPrefix() + "abc");
  EXPECT_EQ(Control<QLabel>("页码标签")->text(), QStringLiteral("已复制"));
}

TEST_F(MainWindowTest, DownloadItemStartsAWorkerForTheSelectedRow) {
  ServiceStandIn services(testing::FixedResponse(OkPage("")));
  ShowRows({"first", "second"}, {"x", "abc"});
  SelectRow(1);
  bool opened = false;
  RightClickWithOpenMenu(List(), QPoint(40, 150),
                         [](QMenu* menu) { Choose(menu, QStringLiteral("下载选中")); }, &opened);
  ASSERT_TRUE(opened);
  EXPECT_NE(state_.WorkerHandles[0], 0);
  ASSERT_TRUE(services.server().WaitForRequests(1, 10s));
  EXPECT_EQ(services.Targets().front(), "/link?url=abc");
  EXPECT_TRUE(platform::WaitForWorkers(10s));
  EXPECT_TRUE(clipboard_.text.empty());
}

TEST_F(MainWindowTest, ClosingTheMenuWithoutAChoiceRunsNothing) {
  ShowRows({"first"}, {"abc"});
  SelectRow(0);
  bool opened = false;
  RightClickWithOpenMenu(List(), QPoint(40, 20),
                         [](QMenu* menu) { QTest::keyClick(menu, Qt::Key_Escape); }, &opened);
  ASSERT_TRUE(opened);
  EXPECT_EQ(clipboard_.placements, 0);
  EXPECT_EQ(state_.WorkerHandles[0], 0);
  EXPECT_TRUE(window_->isVisible());
}

// A person's double click: the first press selects, the second arrives as the double click.
void DoubleClick(QTreeWidget* list, QPoint point) {
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, point);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, point);
}

TEST_F(MainWindowTest, DoubleClickOnARowDownloadsIt) {
  ServiceStandIn services(testing::FixedResponse(OkPage("")));
  ShowRows({"first", "second"}, {"x", "abc"});
  List()->setFocus();
  DoubleClick(List(), List()->visualItemRect(List()->topLevelItem(1)).center());
  EXPECT_NE(state_.WorkerHandles[0], 0);
  ASSERT_TRUE(services.server().WaitForRequests(1, 10s));
  EXPECT_EQ(services.Targets(), std::vector<std::string>{"/link?url=abc"});
}

TEST_F(MainWindowTest, DoubleClickBelowTheLastRowMeetsTheSelectionItsFirstClickLeft) {
  ServiceStandIn services(testing::FixedResponse(OkPage("")));
  ShowRows({"first", "second"}, {"x", "abc"});
  SelectRow(1);
  // As in the platform's list, a click on empty space clears the selection.
  QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, QPoint(40, 150));
  EXPECT_EQ(window_->SelectedRowIndex(), -1);
  QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, QPoint(40, 150));
  ASSERT_TRUE(platform::WaitForWorkers(10s));
  EXPECT_EQ(state_.WorkerHandles[0], 0);
  EXPECT_EQ(services.server().RequestCount(), 0u);
}

TEST_F(MainWindowTest, DoubleClickWithoutSelectionDownloadsNothing) {
  ServiceStandIn services(testing::FixedResponse(OkPage("")));
  ShowRows({"first"}, {"abc"});
  DoubleClick(List(), QPoint(40, 150));
  EXPECT_EQ(window_->SelectedRowIndex(), -1);
  EXPECT_EQ(state_.WorkerHandles[0], 0);
  EXPECT_TRUE(platform::WaitForWorkers(10s));
  EXPECT_EQ(services.server().RequestCount(), 0u);
}

TEST_F(MainWindowTest, RightButtonDoubleClickDownloadsNothing) {
  ShowRows({"first"}, {"abc"});
  SelectRow(0);
  QTest::mouseDClick(List()->viewport(), Qt::RightButton, {},
                     List()->visualItemRect(List()->topLevelItem(0)).center());
  EXPECT_EQ(state_.WorkerHandles[0], 0);
}

TEST_F(MainWindowTest, HyperlinkOpensTheProgramsFolder) {
  auto* link = Control<QLabel>("超级链接框1");
  const QString folder = QString::fromStdString(platform::RunDirectory());
  EXPECT_TRUE(window_->MoreToolsAddress().startsWith(QStringLiteral("file://")));
  EXPECT_EQ(QUrl(window_->MoreToolsAddress()).toLocalFile(), folder + u'/');
  QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(12, link->height() / 2));
  EXPECT_EQ(shell_.Opened(), std::vector<std::string>{window_->MoreToolsAddress().toStdString()});
}

TEST_F(MainWindowTest, ClosingDuringAFetchEndsItAtOnce) {
  // In a child process, as the request to end cannot be taken back.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ServiceStandIn services([](LoopbackExchange& exchange) { exchange.Hang(); });
        // An idle time-out far beyond the wait below: only the shut-down can end the fetch in time.
        platform::testing::SetHttpTimeouts(2s, 60s);
        // As the application does.
        QObject::connect(window_.get(), &MainWindow::Closing, [] { platform::RequestShutdown(); });
        ShowRows({"kept"}, {"t"});
        QTimer::singleShot(200, window_.get(), [this] { window_->close(); });

        const auto started = std::chrono::steady_clock::now();
        QTest::mouseClick(Control("按钮1"), Qt::LeftButton);
        const bool prompt = std::chrono::steady_clock::now() - started < 30s;
        std::_Exit(prompt && !window_->isVisible() && platform::ShutdownRequested() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tarnisk
