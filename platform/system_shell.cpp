#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <thread>

#include "platform/desktop.h"
#include "text/text.h"

extern char** environ;

namespace tarnisk::platform {
namespace {

// Reaps the child so that no zombie is left, without making the caller wait for the browser.
void ReapInBackground(pid_t child) {
  try {
    std::thread([child] {
      while (waitpid(child, nullptr, 0) == -1 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread to wait with: the child stays a zombie until the tool ends, which is harmless.
  }
}

}  // namespace

void SystemShell::OpenAddress(const std::string& localAddress) {
  // A leading "-" would reach xdg-open as an option rather than an address.
  if (localAddress.empty() || localAddress[0] == '-') return;
  ByteArray address = ConvertCharset(TextToBytes(localAddress), "GB18030", "UTF-8");
  if (address.bytes.empty()) return;

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (posix_spawn_file_actions_init(&actions) != 0) return;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return;
  }
  // The handler inherits none of the tool's sockets or files, a clean signal mask, and default
  // handling for the signals the tool may have chosen to ignore.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  sigset_t noSignals;
  sigemptyset(&noSignals);
  posix_spawnattr_setsigmask(&attributes, &noSignals);
  sigset_t defaultSignals;
  sigemptyset(&defaultSignals);
  sigaddset(&defaultSignals, SIGPIPE);
  sigaddset(&defaultSignals, SIGCHLD);
  posix_spawnattr_setsigdefault(&attributes, &defaultSignals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  char program[] = "xdg-open";
  char* arguments[] = {program, address.bytes.data(), nullptr};
  pid_t child = 0;
  const int failed = posix_spawnp(&child, program, &actions, &attributes, arguments, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (failed == 0) ReapInBackground(child);
}

}  // namespace tarnisk::platform
