#include <QClipboard>
#include <QGuiApplication>
#include <QString>
#include <QThread>

#include "platform/desktop.h"
#include "text/text.h"

namespace tarnisk::platform {

bool SystemClipboard::PlaceText(const std::string& localText) {
  // Qt's clipboard lives on the GUI thread and needs the application object.
  if (qGuiApp == nullptr || QThread::currentThread() != qGuiApp->thread()) return false;
  const ByteArray utf8 = ConvertCharset(TextToBytes(localText), "GB18030", "UTF-8");
  // Conversion gives the empty array on failure; only the empty text may legitimately come back empty.
  if (utf8.bytes.empty() && !localText.empty()) return false;
  const QString text = QString::fromUtf8(utf8.bytes.data(), static_cast<qsizetype>(utf8.bytes.size()));
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return false;
  clipboard->setText(text, QClipboard::Clipboard);
  return clipboard->text(QClipboard::Clipboard) == text;
}

}  // namespace tarnisk::platform
