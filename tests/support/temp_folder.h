#pragma once
#include <string>
#include <string_view>

namespace tarnisk::testing {

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes. Each test gets its own, so tests running in parallel never share a file.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name.
  std::string File(std::string_view name) const;

 private:
  std::string path_;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// Replaces the content of a file; false when it cannot be written.
bool WriteFileBytes(const std::string& path, std::string_view content);

}  // namespace tarnisk::testing
