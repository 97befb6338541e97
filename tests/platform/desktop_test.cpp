#include "platform/desktop.h"
#include "support/temp_folder.h"

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <QClipboard>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tarnisk::platform {
namespace {

using namespace std::chrono_literals;

// "中文" in GB18030 and in UTF-8.
constexpr char ChineseLocal[] = "\xD6\xD0\xCE\xC4";
constexpr char ChineseUtf8[] = "\xE4\xB8\xAD\xE6\x96\x87";

TEST(SystemClipboard, HoldsTheAddressAsUnicodeText) {
  SystemClipboard clipboard;
  const std::string address = std::string("http://example.test/link?url=") + ChineseLocal;
  ASSERT_TRUE(clipboard.PlaceText(address));
  EXPECT_EQ(QGuiApplication::clipboard()->text(),
            QString::fromUtf8(std::string("http://example.test/link?url=") + ChineseUtf8));
}

TEST(SystemClipboard, RefusesTextThatIsNotGb18030AndKeepsWhatItHeld) {
  QGuiApplication::clipboard()->setText(QStringLiteral("before"));
  SystemClipboard clipboard;
  EXPECT_FALSE(clipboard.PlaceText("abc\x80"));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
}

TEST(SystemClipboard, RefusesCallsFromAnotherThread) {
  SystemClipboard clipboard;
  bool placed = true;
  std::thread([&] { placed = clipboard.PlaceText("elsewhere"); }).join();
  EXPECT_FALSE(placed);
}

// A stand-in xdg-open, first on PATH, that appends each argument it gets as one line to a file.
class StandInOpener : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = temporary_.path();
    record_ = folder_ / "opened.txt";
    const std::filesystem::path script = folder_ / "xdg-open";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << record_.string() << "'\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    const char* path = getenv("PATH");
    setenv("PATH", (folder_.string() + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
  }
  void TearDown() override { WaitForNoChildren(); }

  std::string Recorded() const {
    std::ifstream file(record_);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
  }

  // Waits until the record holds line, at most 10 s.
  bool WaitForLine(const std::string& line) const {
    for (int i = 0; i < 1000; ++i) {
      if (Recorded().find(line + "\n") != std::string::npos) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  // Children of this process, zombies included, from /proc.
  static int CountChildren() {
    int children = 0;
    DIR* processes = opendir("/proc");
    if (processes == nullptr) return -1;
    while (const dirent* entry = readdir(processes)) {
      if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
      std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
      std::string line;
      std::getline(stat, line);
      const auto close = line.rfind(')');
      if (close == std::string::npos) continue;
      std::istringstream fields(line.substr(close + 1));
      char state = 0;
      int parent = 0;
      fields >> state >> parent;
      if (parent == getpid()) ++children;
    }
    closedir(processes);
    return children;
  }

  static void WaitForNoChildren() {
    for (int i = 0; i < 1000 && CountChildren() != 0; ++i) std::this_thread::sleep_for(10ms);
  }

  testing::TempFolder temporary_;
  std::filesystem::path folder_;
  std::filesystem::path record_;
};

struct OpenCase {
  const char* name;
  std::string local;     // handed to OpenAddress
  std::string expected;  // the argument xdg-open receives
};

void PrintTo(const OpenCase& row, std::ostream* out) { *out << row.name; }

class OpensAddress : public StandInOpener, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpensAddress, HandsTheUtf8AddressOverAsOneArgument) {
  SystemShell shell;
  shell.OpenAddress(GetParam().local);
  ASSERT_TRUE(WaitForLine(GetParam().expected)) << Recorded();
  EXPECT_EQ(Recorded(), GetParam().expected + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    SystemShell, OpensAddress,
    ::testing::Values(
        OpenCase{"Plain", "http://example.test/f", "http://example.test/f"},
        OpenCase{"Chinese", std::string("http://example.test/") + ChineseLocal,
                 std::string("http://example.test/") + ChineseUtf8},
        OpenCase{"ShellCharactersReachItVerbatim", "http://example.test/a;b&c$(d)`e`|f g'h\"",
                 "http://example.test/a;b&c$(d)`e`|f g'h\""},
        OpenCase{"EscapedBackslashes", "http:\\\\example.test/f", "http:\\\\example.test/f"}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusedCase {
  const char* name;
  std::string local;
};

void PrintTo(const RefusedCase& row, std::ostream* out) { *out << row.name; }

class RefusesAddress : public StandInOpener, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusesAddress, StartsNothing) {
  SystemShell shell;
  shell.OpenAddress(GetParam().local);
  // A marker opened afterwards shows the refused address never reached the opener.
  shell.OpenAddress("http://marker.test/");
  ASSERT_TRUE(WaitForLine("http://marker.test/"));
  EXPECT_EQ(Recorded(), "http://marker.test/\n");
}

INSTANTIATE_TEST_SUITE_P(SystemShell, RefusesAddress,
                         ::testing::Values(RefusedCase{"Empty", ""},
                                           RefusedCase{"LooksLikeAnOption", "--help"},
                                           RefusedCase{"NotGb18030", "http://example.test/\x80"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StandInOpener, LeavesNoZombieAndDoesNotWaitForTheHandler) {
  const std::filesystem::path script = folder_ / "xdg-open";
  std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << record_.string()
                        << "'\nsleep 2\n";
  SystemShell shell;
  const auto started = std::chrono::steady_clock::now();
  shell.OpenAddress("http://slow.test/");
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
  ASSERT_TRUE(WaitForLine("http://slow.test/"));
  WaitForNoChildren();
  EXPECT_EQ(CountChildren(), 0);
}

TEST_F(StandInOpener, CanBeCalledFromManyThreadsAtOnce) {
  SystemShell shell;
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&shell, i] { shell.OpenAddress("http://t" + std::to_string(i) + ".test/"); });
  }
  for (auto& thread : threads) thread.join();
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(WaitForLine("http://t" + std::to_string(i) + ".test/"));
}

}  // namespace
}  // namespace tarnisk::platform
