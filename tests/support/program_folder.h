#pragma once
#include <filesystem>
#include <string>

#include "platform/http_client.h"
#include "platform/run_directory.h"
#include "support/temp_folder.h"

namespace tarnisk::testing {

// A temporary folder with an empty "Dat" that stands in for the program's folder while the object
// lives, so that each test has a cookie file of its own. On leaving, the real program folder, the
// host mappings and the time-outs are restored.
class ProgramFolder {
 public:
  ProgramFolder() {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(folder_.path()) / "Dat", ignored);
    platform::testing::OverrideRunDirectory(folder_.path());
  }
  ~ProgramFolder() {
    platform::testing::ClearHostMappings();
    platform::testing::ResetHttpTimeouts();
    platform::testing::OverrideRunDirectory("");
  }
  ProgramFolder(const ProgramFolder&) = delete;
  ProgramFolder& operator=(const ProgramFolder&) = delete;

  const std::string& path() const { return folder_.path(); }
  std::string File(std::string_view name) const { return folder_.File(name); }

 private:
  TempFolder folder_;
};

}  // namespace tarnisk::testing
