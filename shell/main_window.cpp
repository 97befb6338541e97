#include "shell/main_window.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QFont>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>
#include <memory>

#include "actions/actions.h"
#include "platform/run_directory.h"
#include "search/search.h"

namespace tarnisk {
namespace {

QString Utf8ToQString(const ByteArray& utf8) {
  return QString::fromUtf8(utf8.bytes.data(), static_cast<qsizetype>(utf8.bytes.size()));
}

// Bytes of the GB18030 character that starts at offset: 1, 2 or 4.
std::size_t Gb18030CharacterLength(const Text& text, std::size_t offset) {
  const auto lead = static_cast<unsigned char>(text[offset]);
  if (lead < 0x80 || offset + 1 >= text.size()) return 1;
  const auto second = static_cast<unsigned char>(text[offset + 1]);
  if (second >= 0x30 && second <= 0x39) return std::min<std::size_t>(4, text.size() - offset);
  return 2;
}

// Column 1 ("文件大小") is centred, in the header and in every row.
constexpr Qt::Alignment SizeColumnAlignment = Qt::AlignHCenter | Qt::AlignVCenter;

// The list shows its selection only while it has the focus, and no hot tracking.
class FocusedSelectionDelegate final : public QStyledItemDelegate {
 public:
  explicit FocusedSelectionDelegate(QAbstractItemView* view)
      : QStyledItemDelegate(view), view_(view) {}

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->state &= ~QStyle::State_MouseOver;
    const QWidget* window = view_->window();
    if (window->focusWidget() != view_ || !window->isActiveWindow()) {
      option->state &= ~QStyle::State_Selected;
    }
  }

 private:
  QAbstractItemView* view_;
};

bool IsPrintable(QChar character) { return character.unicode() >= 32 && character.unicode() != 0x7F; }
bool IsTakenByPageBox(QChar character) {
  return (character >= u'0' && character <= u'9') || character == u'-';
}

}  // namespace

QString LocalToQString(const Text& text) {
  if (text.empty()) return QString();
  const ByteArray whole = ConvertCharset(TextToBytes(text), "GB18030", "UTF-8");
  if (!whole.bytes.empty()) return Utf8ToQString(whole);
  // Some bytes are not GB18030: show the rest, one character at a time.
  QString shown;
  for (std::size_t offset = 0; offset < text.size();) {
    const std::size_t length = Gb18030CharacterLength(text, offset);
    const ByteArray one = ConvertCharset(ByteArray{text.substr(offset, length)}, "GB18030", "UTF-8");
    if (one.bytes.empty()) {
      shown += QChar::ReplacementCharacter;
      offset += 1;
    } else {
      shown += Utf8ToQString(one);
      offset += length;
    }
  }
  return shown;
}

Text QStringToLocal(const QString& text) {
  if (text.isEmpty()) return Text();
  const QByteArray utf8 = text.toUtf8();
  return BytesToText(ConvertCharset(ByteArray{utf8.toStdString()}, "UTF-8", "GB18030"));
}

PageNumberBox::PageNumberBox(QWidget* parent) : QLineEdit(parent) {
  // Pastes, drops and input-method commits arrive as edits, not as typed keys.
  connect(this, &QLineEdit::textEdited, this, [this] { DropRefusedCharacters(); });
}

void PageNumberBox::keyPressEvent(QKeyEvent* event) {
  // Shortcuts such as paste go through; whatever they insert is filtered as an edit.
  if (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) {
    QLineEdit::keyPressEvent(event);
    return;
  }
  const QString typed = event->text();
  const bool refused = std::any_of(typed.begin(), typed.end(), [](QChar character) {
    return IsPrintable(character) && !IsTakenByPageBox(character);
  });
  if (!refused) {
    QLineEdit::keyPressEvent(event);
    return;
  }
  // Dropping the key keeps the text and the selection as they were.
  QString taken;
  for (QChar character : typed) {
    if (IsTakenByPageBox(character)) taken += character;
  }
  if (!taken.isEmpty()) insert(taken);
  event->accept();
}

void PageNumberBox::DropRefusedCharacters() {
  const QString current = text();
  QString taken;
  taken.reserve(current.size());
  const int typedCursor = cursorPosition();
  int cursor = typedCursor;
  for (qsizetype i = 0; i < current.size(); ++i) {
    if (IsTakenByPageBox(current[i])) {
      taken += current[i];
    } else if (i < typedCursor) {
      --cursor;
    }
  }
  if (taken.size() == current.size()) return;
  setText(taken);
  setCursorPosition(cursor);
}

MainWindow::MainWindow(AppState& state, platform::Clipboard& clipboard, platform::Shell& shell,
                       QWidget* parent)
    : QWidget(parent), state_(state), clipboard_(clipboard), shell_(shell) {
  setWindowTitle(QStringLiteral("Tarnisk"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(433, 331);
  BuildControls();
  ConnectCommands();
  CentreOnScreen();
  keywordBox_->setFocus();
}

void MainWindow::BuildControls() {
  keywordBox_ = new QLineEdit(this);
  keywordBox_->setObjectName(QStringLiteral("关键字框"));
  keywordBox_->setGeometry(8, 8, 352, 24);
  QFont keywordFont = keywordBox_->font();
  keywordFont.setPixelSize(12);
  keywordFont.setWeight(QFont::Normal);
  keywordBox_->setFont(keywordFont);

  const auto makeButton = [this](const char* name, const QString& caption, QRect geometry) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(QString::fromUtf8(name));
    button->setGeometry(geometry);
    // Enter must start nothing.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
  };
  searchButton_ = makeButton("按钮1", QStringLiteral("搜索"), QRect(368, 8, 56, 24));

  resultList_ = new QTreeWidget(this);
  resultList_->setObjectName(QStringLiteral("超级列表框1"));
  resultList_->setGeometry(8, 40, 416, 200);
  resultList_->setColumnCount(2);
  resultList_->setHeaderLabels({QStringLiteral("文件名"), QStringLiteral("文件大小")});
  resultList_->headerItem()->setTextAlignment(0, Qt::AlignLeft | Qt::AlignVCenter);
  resultList_->headerItem()->setTextAlignment(1, SizeColumnAlignment);
  QHeaderView* header = resultList_->header();
  header->setStretchLastSection(false);
  header->setSectionsMovable(false);
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(false);
  resultList_->setColumnWidth(0, 350);
  resultList_->setColumnWidth(1, 60);
  resultList_->setSortingEnabled(false);
  resultList_->setRootIsDecorated(false);
  resultList_->setItemsExpandable(false);
  resultList_->setUniformRowHeights(true);
  resultList_->setSelectionMode(QAbstractItemView::SingleSelection);
  resultList_->setSelectionBehavior(QAbstractItemView::SelectRows);
  resultList_->setAllColumnsShowFocus(true);
  resultList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  resultList_->setFrameShadow(QFrame::Sunken);
  resultList_->setItemDelegate(new FocusedSelectionDelegate(resultList_));
  resultList_->viewport()->setAttribute(Qt::WA_Hover, false);
  resultList_->installEventFilter(this);
  resultList_->viewport()->installEventFilter(this);

  previousButton_ = makeButton("按钮2", QStringLiteral("上一页"), QRect(8, 256, 104, 24));
  nextButton_ = makeButton("按钮3", QStringLiteral("下一页"), QRect(128, 256, 104, 24));

  const auto makeLabel = [this](const char* name, QRect geometry, Qt::Alignment alignment,
                                 bool wordWrap, const QString& text) {
    auto* label = new QLabel(this);
    label->setObjectName(QString::fromUtf8(name));
    label->setGeometry(geometry);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(alignment);
    label->setWordWrap(wordWrap);
    label->setText(text);
    return label;
  };
  pageLabel_ = makeLabel("页码标签", QRect(240, 256, 72, 24), Qt::AlignCenter, false, QString());

  pageBox_ = new PageNumberBox(this);
  pageBox_->setObjectName(QStringLiteral("页数框"));
  pageBox_->setGeometry(312, 256, 64, 24);
  pageBox_->setText(QStringLiteral("1"));

  jumpButton_ = makeButton("按钮4", QStringLiteral("跳页"), QRect(376, 256, 48, 24));

  infoLabel_ = makeLabel("标签1", QRect(8, 288, 424, 24), Qt::AlignLeft | Qt::AlignTop, true,
                         QStringLiteral("Tarnisk 项目的小工具。“更多小工具”打开本程序所在的文件夹。"));
  creditLabel_ = makeLabel("标签2", QRect(8, 312, 152, 16), Qt::AlignLeft | Qt::AlignVCenter, false,
                           QStringLiteral("由 Tarnisk 项目制作"));
  moreToolsLink_ = makeLabel("超级链接框1", QRect(344, 312, 72, 16), Qt::AlignLeft | Qt::AlignVCenter,
                             false, QString());
  moreToolsLink_->setTextFormat(Qt::RichText);
  moreToolsLink_->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
  moreToolsLink_->setOpenExternalLinks(false);
  moreToolsLink_->setText(QStringLiteral("<a href=\"%1\">更多小工具</a>")
                              .arg(MoreToolsAddress().toHtmlEscaped()));
}

void MainWindow::ConnectCommands() {
  connect(searchButton_, &QPushButton::clicked, this, [this] { RunSearch(state_, *this); });
  connect(previousButton_, &QPushButton::clicked, this, [this] { GoPreviousPage(state_, *this); });
  connect(nextButton_, &QPushButton::clicked, this, [this] { GoNextPage(state_, *this); });
  connect(jumpButton_, &QPushButton::clicked, this, [this] { JumpToPage(state_, *this); });
  connect(moreToolsLink_, &QLabel::linkActivated, this,
          [this](const QString& address) { shell_.OpenAddress(QStringToLocal(address)); });
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, &QWidget::close);
}

void MainWindow::CentreOnScreen() {
  const QScreen* screen = this->screen();
  if (screen == nullptr) return;
  // The frame is known only once the window is shown; until then the client area stands for it.
  const QRect outer = isVisible() ? frameGeometry() : geometry();
  move(pos() + (screen->availableGeometry().center() - outer.center()));
}

QString MainWindow::MoreToolsAddress() const {
  const QString folder = QFile::decodeName(QByteArray::fromStdString(platform::RunDirectory()));
  return QUrl::fromLocalFile(folder + u'/').toString(QUrl::FullyEncoded);
}

Text MainWindow::KeywordText() { return QStringToLocal(keywordBox_->text()); }

Text MainWindow::PageBoxText() { return QStringToLocal(pageBox_->text()); }

void MainWindow::SetPageLabel(const Text& caption) { pageLabel_->setText(LocalToQString(caption)); }

void MainWindow::DeleteAllRows() { resultList_->clear(); }

void MainWindow::InsertRow(int position, const Text& firstColumn) {
  auto* item = new QTreeWidgetItem();
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  item->setText(0, LocalToQString(firstColumn));
  item->setTextAlignment(1, SizeColumnAlignment);
  const int rows = resultList_->topLevelItemCount();
  resultList_->insertTopLevelItem(std::clamp(position, 0, rows), item);
}

void MainWindow::SetCellText(int row, int column, const Text& text) {
  if (column < 0 || column >= resultList_->columnCount()) return;
  QTreeWidgetItem* item = resultList_->topLevelItem(row);
  if (item != nullptr) item->setText(column, LocalToQString(text));
}

int MainWindow::SelectedRowIndex() {
  int first = -1;
  for (QTreeWidgetItem* item : resultList_->selectedItems()) {
    const int row = resultList_->indexOfTopLevelItem(item);
    if (row >= 0 && (first < 0 || row < first)) first = row;
  }
  return first;
}

QMenu* MainWindow::CreateContextMenu() {
  auto* menu = new QMenu(this);
  menu->setObjectName(QStringLiteral("右键菜单"));
  menu->addAction(QStringLiteral("下载选中"));
  menu->addAction(QStringLiteral("复制地址"));
  return menu;
}

void MainWindow::ShowContextMenu(const QPoint& cursor) {
  const std::unique_ptr<QMenu> menu(CreateContextMenu());
  const QList<QAction*> items = menu->actions();
  const QAction* chosen = menu->exec(cursor + QPoint(3, 3));
  if (chosen == nullptr) return;
  if (chosen == items.value(0)) {
    DownloadSelected(state_, *this, shell_);
  } else if (chosen == items.value(1)) {
    CopySelectedAddress(state_, *this, clipboard_);
  }
}

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous() && !centred_) {
    centred_ = true;
    CentreOnScreen();
  }
}

void MainWindow::changeEvent(QEvent* event) {
  // The list's selection follows the window's activation as well as the list's focus.
  if (event->type() == QEvent::ActivationChange) resultList_->viewport()->update();
  QWidget::changeEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  emit Closing();
  event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == resultList_) {
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
      resultList_->viewport()->update();
    }
    return false;
  }
  if (watched != resultList_->viewport()) return false;
  if (event->type() == QEvent::ContextMenu) {
    // Only a right click opens the menu; the keyboard's menu key does not.
    const auto* request = static_cast<QContextMenuEvent*>(event);
    if (request->reason() != QContextMenuEvent::Mouse) return false;
    ShowContextMenu(request->globalPos());
    return true;
  }
  if (event->type() == QEvent::MouseButtonDblClick &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    // The row selected by the first click, or none when the click fell below the last row.
    DownloadSelected(state_, *this, shell_);
  }
  return false;
}

}  // namespace tarnisk
