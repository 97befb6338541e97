// A process that stores cookies is killed with SIGKILL at random moments, a hundred times over one
// cookie file: after every kill the file still parses and holds every cookie whose write had
// returned before the kill.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdint>
#include <filesystem>
#include <random>
#include <map>
#include <set>
#include <thread>

#include "http/cookie_jar.h"
#include "support/temp_folder.h"

extern char** environ;

namespace tarnisk {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int Kills = 100;

struct Child {
  pid_t pid = -1;
  int reports = -1;  // read end of the report pipe
};

Child StartWriter(const std::string& file, int round) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return {};
  const std::string descriptor = std::to_string(pipeEnds[1]);
  const std::string roundText = std::to_string(round);
  const char* arguments[] = {TARNISK_COOKIE_WRITER_CHILD, file.c_str(), descriptor.c_str(), roundText.c_str(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  Child child;
  if (posix_spawn(&child.pid, TARNISK_COOKIE_WRITER_CHILD, &actions, nullptr, const_cast<char**>(arguments),
                  environ) != 0) {
    child.pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  child.reports = pipeEnds[0];
  return child;
}

// Reads whole reports until the pipe ends or the deadline passes; partial bytes wait for the rest.
void ReadReports(int descriptor, std::string& pending, std::vector<std::uint32_t>& done, Clock::time_point deadline,
                 std::size_t wanted) {
  char buffer[4096];
  while (done.size() < wanted && Clock::now() < deadline) {
    pollfd poller{descriptor, POLLIN, 0};
    if (poll(&poller, 1, 20) <= 0) continue;
    const ssize_t got = read(descriptor, buffer, sizeof buffer);
    if (got <= 0) return;
    pending.append(buffer, static_cast<std::size_t>(got));
    while (pending.size() >= sizeof(std::uint32_t)) {
      std::uint32_t index;
      std::memcpy(&index, pending.data(), sizeof index);
      done.push_back(index);
      pending.erase(0, sizeof index);
    }
  }
}

// True once the child has ended; it is reaped within the bound or the test fails.
bool Reap(pid_t pid, std::chrono::milliseconds bound) {
  const auto deadline = Clock::now() + bound;
  while (Clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return true;
    std::this_thread::sleep_for(1ms);
  }
  return false;
}

// Every line ends in CR LF and is the section header or name=stored value, each name once.
void ExpectWellFormed(const std::string& content, int kill) {
  std::set<std::string> names;
  std::size_t start = 0;
  ASSERT_TRUE(content.starts_with("[cookies0]\r\n")) << "after kill " << kill;
  start = std::string_view("[cookies0]\r\n").size();
  while (start < content.size()) {
    const std::size_t end = content.find("\r\n", start);
    ASSERT_NE(end, std::string::npos) << "a line without its end after kill " << kill;
    const std::string line = content.substr(start, end - start);
    const std::size_t equals = line.find('=');
    ASSERT_NE(equals, std::string::npos) << line;
    EXPECT_TRUE(names.insert(line.substr(0, equals)).second) << "name twice: " << line;
    EXPECT_EQ(line.find_first_not_of("-,0123456789", equals + 1), std::string::npos) << line;
    start = end + 2;
  }
}

TEST(CookieCrash, EveryCookieWrittenBeforeAKillSurvivesIt) {
  tarnisk::testing::TempFolder folder;
  const std::string file = folder.File("cookies.dat");
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> pauseMicroseconds(0, 20000);

  std::map<std::string, std::string> expected;  // every cookie whose write had returned
  std::set<std::string> mayBeThere;             // the one write of each round cut short by its kill
  std::string latest;
  int killsDuringAWrite = 0;
  for (int kill = 0; kill < Kills; ++kill) {
    Child child = StartWriter(file, kill);
    ASSERT_GT(child.pid, 0);
    std::string pending;
    std::vector<std::uint32_t> done;
    // The kill falls while the child is writing: after its first write and a random pause.
    ReadReports(child.reports, pending, done, Clock::now() + 10s, 1);
    ASSERT_FALSE(done.empty()) << "the writer reported nothing in 10 s";
    std::this_thread::sleep_for(std::chrono::microseconds(pauseMicroseconds(random)));
    ASSERT_EQ(::kill(child.pid, SIGKILL), 0);
    ASSERT_TRUE(Reap(child.pid, 10s)) << "the killed writer did not end";
    ReadReports(child.reports, pending, done, Clock::now() + 10s, SIZE_MAX);
    close(child.reports);

    const std::string prefix = "r" + std::to_string(kill) + "_";
    for (std::uint32_t index : done) {
      expected[prefix + std::to_string(index)] = "v" + std::to_string(index) + ";";
      latest = std::to_string(kill) + "_" + std::to_string(index) + ";";
    }
    const std::string cutShort = std::to_string(done.back() + 1);
    mayBeThere.insert(prefix + cutShort);

    std::map<std::string, std::string> stored;
    const Text header = LoadCookieHeader(file, 0);
    for (const Text& pair : TextSplit(header, ";")) {
      const std::size_t equals = pair.find('=');
      ASSERT_NE(equals, std::string::npos) << pair;
      stored[pair.substr(0, equals)] = pair.substr(equals + 1) + ";";
    }
    for (const auto& [name, value] : expected) {
      ASSERT_EQ(stored[name], value) << "the cookie " << name << " stored before kill " << kill << " is gone";
    }
    bool unreported = false;
    for (const auto& [name, value] : stored) {
      if (name == "latest" || expected.count(name) != 0) continue;
      EXPECT_EQ(mayBeThere.count(name), 1u) << "a cookie nobody wrote: " << name;
      unreported = unreported || name == prefix + cutShort;
    }
    if (unreported) ++killsDuringAWrite;
    // The last returned write set "latest", unless the write after it got that far before the kill.
    EXPECT_TRUE(stored["latest"] == latest || stored["latest"] == std::to_string(kill) + "_" + cutShort + ";")
        << "latest=" << stored["latest"] << " where the last returned write set " << latest;
    ExpectWellFormed(tarnisk::testing::ReadFileBytes(file), kill);
  }
  // Each writer removes the temporary files that killed writers left; only the last kill's may stay.
  int leftovers = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
    if (entry.path().filename() != "cookies.dat") ++leftovers;
  }
  EXPECT_LE(leftovers, 1);
  RecordProperty("kills", Kills);
  RecordProperty("temporary_files_left", leftovers);
  std::printf("%d kills; %d found a cookie of the write they cut short already stored; %d left the "
              "temporary file of a cut write behind\n",
              Kills, killsDuringAWrite, leftovers);
}

}  // namespace
}  // namespace tarnisk
