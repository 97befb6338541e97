#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace tarnisk {
namespace {

struct Outcome {
  bool exited = false;  // ended by exit rather than by a signal
  int status = -1;
  std::string errorOutput;
};

// Runs the program with exactly the environment given and collects what it wrote to stderr.
Outcome RunProgram(const std::vector<std::string>& environment) {
  testing::TempFolder folder;
  const std::string errorFile = folder.File("stderr.txt");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<char*> variables;
  std::vector<std::string> copies = environment;
  for (std::string& variable : copies) variables.push_back(variable.data());
  variables.push_back(nullptr);
  std::string program = TARNISK_PROGRAM;
  char* arguments[] = {program.data(), nullptr};
  pid_t child = 0;
  Outcome outcome;
  const int failed = posix_spawn(&child, program.c_str(), &actions, nullptr, arguments, variables.data());
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return outcome;
  int status = 0;
  while (waitpid(child, &status, 0) == -1) {
  }
  outcome.exited = WIFEXITED(status);
  outcome.status = outcome.exited ? WEXITSTATUS(status) : -1;
  outcome.errorOutput = testing::ReadFileBytes(errorFile);
  return outcome;
}

struct NoDisplayRow {
  const char* name;
  std::vector<std::string> environment;
};

void PrintTo(const NoDisplayRow& row, std::ostream* out) { *out << row.name; }

class WithoutADisplay : public ::testing::TestWithParam<NoDisplayRow> {};

TEST_P(WithoutADisplay, ProgramSaysSoInOneLineAndFails) {
  std::vector<std::string> environment = GetParam().environment;
  environment.push_back("PATH=/usr/bin:/bin");
  environment.push_back("ASAN_OPTIONS=detect_leaks=1");
  const Outcome outcome = RunProgram(environment);
  ASSERT_TRUE(outcome.exited) << "ended by a signal";
  EXPECT_NE(outcome.status, 0);
  const std::string& message = outcome.errorOutput;
  ASSERT_FALSE(message.empty());
  EXPECT_EQ(message.rfind("tarnisk: ", 0), 0u) << message;
  EXPECT_EQ(message.find('\n'), message.size() - 1) << message;
}

INSTANTIATE_TEST_SUITE_P(
    Application, WithoutADisplay,
    ::testing::Values(NoDisplayRow{"NothingSet", {}},
                      NoDisplayRow{"DisplayNobodyServes", {"DISPLAY=:4721"}},
                      NoDisplayRow{"XcbChosenWithoutDisplay", {"QT_QPA_PLATFORM=xcb"}},
                      NoDisplayRow{"WaylandWithoutPluginOrX", {"WAYLAND_DISPLAY=wayland-9"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarnisk
