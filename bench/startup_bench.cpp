// Start-up of the tool to a shown window, on the offscreen platform.
//
// With "--once" the program does what the tool does up to its first painted window and ends, so
// that /usr/bin/time -v measures the whole process: loading, QApplication, AppState, the window.
// Without it, Google Benchmark times building, showing and painting the window inside one
// QApplication.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWindow>

#include <cstdlib>
#include <cstring>

#include "platform/desktop.h"
#include "shell/app_state.h"
#include "shell/main_window.h"

namespace {

// Shows the window and returns once it has been exposed and painted.
void ShowAndPaint(tarnisk::MainWindow& window) {
  window.show();
  while (window.windowHandle() == nullptr || !window.windowHandle()->isExposed()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  window.repaint();
}

void BM_BuildShowAndPaintMainWindow(benchmark::State& state) {
  tarnisk::AppState appState;
  tarnisk::InitAppState(appState);
  tarnisk::platform::SystemClipboard clipboard;
  tarnisk::platform::SystemShell shell;
  for (auto _ : state) {
    tarnisk::MainWindow window(appState, clipboard, shell);
    ShowAndPaint(window);
    benchmark::DoNotOptimize(window.winId());
  }
  tarnisk::ReleaseAppState(appState);
}
BENCHMARK(BM_BuildShowAndPaintMainWindow)->Unit(benchmark::kMillisecond);

int StartOnce() {
  static int argc = 1;
  static char name[] = "tarnisk";
  static char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  tarnisk::AppState appState;
  tarnisk::InitAppState(appState);
  tarnisk::platform::SystemClipboard clipboard;
  tarnisk::platform::SystemShell shell;
  {
    tarnisk::MainWindow window(appState, clipboard, shell);
    ShowAndPaint(window);
  }
  tarnisk::ReleaseAppState(appState);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (argc > 1 && std::strcmp(argv[1], "--once") == 0) return StartOnce();
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
