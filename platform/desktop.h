#pragma once
#include <string>

namespace tarnisk::platform {

// The system clipboard, as the commands see it.
class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // Places text in the local code page (GB18030) on the clipboard as plain text.
  // True only when the clipboard took it.
  virtual bool PlaceText(const std::string& localText) = 0;
};

// The desktop shell, as the download worker sees it. Must be safe to call from any thread.
class Shell {
 public:
  virtual ~Shell() = default;
  // Hands an address in the local code page to the default handler without waiting for it.
  virtual void OpenAddress(const std::string& localAddress) = 0;
};

// Qt's clipboard; use on the window thread.
class SystemClipboard final : public Clipboard {
 public:
  bool PlaceText(const std::string& localText) override;
};

// xdg-open, started without a shell in between and not waited for.
class SystemShell final : public Shell {
 public:
  void OpenAddress(const std::string& localAddress) override;
};

}  // namespace tarnisk::platform
