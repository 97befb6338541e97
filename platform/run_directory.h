#pragma once
#include <string>

namespace tarnisk::platform {

// The folder that holds the program file, without a trailing slash.
std::string RunDirectory();

namespace testing {
// Makes RunDirectory return folder instead (tests only); an empty folder restores the real one.
void OverrideRunDirectory(const std::string& folder);
}  // namespace testing

}  // namespace tarnisk::platform
