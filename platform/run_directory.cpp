#include "platform/run_directory.h"

#include <mutex>
#include <system_error>
#include <filesystem>

namespace tarnisk::platform {
namespace {

std::mutex& OverrideMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string& OverrideFolder() {
  static std::string folder;
  return folder;
}

std::string ProgramFolder() {
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::string();
  return program.parent_path().string();
}

}  // namespace

std::string RunDirectory() {
  {
    std::lock_guard<std::mutex> lock(OverrideMutex());
    if (!OverrideFolder().empty()) return OverrideFolder();
  }
  // The program file does not move while the process runs.
  static const std::string folder = ProgramFolder();
  return folder;
}

namespace testing {

void OverrideRunDirectory(const std::string& folder) {
  std::lock_guard<std::mutex> lock(OverrideMutex());
  OverrideFolder() = folder;
}

}  // namespace testing
}  // namespace tarnisk::platform
