#include "shell/application.h"

#include <unistd.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "platform/desktop.h"
#include "platform/event_pump.h"
#include "platform/run_directory.h"
#include "platform/threads.h"
#include "shell/app_state.h"
#include "shell/main_window.h"

namespace tarnisk {
namespace {

// Download workers still running at the end get this long, in all, to reach the browser.
constexpr std::chrono::seconds WorkerGrace{5};

std::string_view Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string_view() : std::string_view(value);
}

bool WaylandPluginInstalled() {
  const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
  return !platforms.entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty();
}

// Qt ends the process with abort() when it cannot open its display, so the X connection is tried
// here first. Returns why no window can be shown, or the empty text when one can.
std::string DisplayProblem() {
  const std::string_view chosen = Environment("QT_QPA_PLATFORM");
  if (!chosen.empty() && !chosen.starts_with("xcb")) return {};
  const std::string_view display = Environment("DISPLAY");
  if (!display.empty()) {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool connected = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    if (connected) return {};
  }
  // Qt picks Wayland by itself only in a Wayland session, and only when its plugin is there.
  if (chosen.empty() && Environment("XDG_SESSION_TYPE") == "wayland" &&
      !Environment("WAYLAND_DISPLAY").empty() && WaylandPluginInstalled()) {
    return {};
  }
  if (display.empty()) return "no display to show the window on (DISPLAY is not set)";
  return "cannot connect to the display \"" + std::string(display) + "\"";
}

// Shown to workers that may outlive RunApplication; never destroyed for that reason.
platform::SystemShell& DesktopShell() {
  static auto* const shell = new platform::SystemShell();
  return *shell;
}

}  // namespace

int RunApplication() {
  const std::string problem = DisplayProblem();
  if (!problem.empty()) {
    std::fprintf(stderr, "tarnisk: %s\n", problem.c_str());
    return 2;
  }
  const std::string folder = platform::RunDirectory();
  if (!folder.empty() && chdir(folder.c_str()) != 0) {
    std::fprintf(stderr, "tarnisk: cannot enter the program's folder %s\n", folder.c_str());
  }

  // Qt must not read the real command line: the tool takes none.
  static int argc = 1;
  static char programName[] = "tarnisk";
  static char* argv[] = {programName, nullptr};
  auto application = std::make_unique<QApplication>(argc, argv);

  AppState state;
  InitAppState(state);
  platform::SystemClipboard clipboard;
  int status = 0;
  {
    // The window outlives the loop, so a command still returning from a fetch when the window
    // closes writes to live controls.
    MainWindow window(state, clipboard, DesktopShell());
    QObject::connect(&window, &MainWindow::Closing, [] { platform::RequestShutdown(); });
    window.show();
    status = QApplication::exec();
  }
  application.reset();

  const bool workersDone = platform::WaitForWorkers(WorkerGrace);
  ReleaseAppState(state);
  if (!workersDone) {
    // A worker still inside a fetch must not meet the static destructors of a normal exit.
    std::fflush(nullptr);
    std::_Exit(status);
  }
  return status;
}

}  // namespace tarnisk
