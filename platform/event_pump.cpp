#include "platform/event_pump.h"

#include <QCoreApplication>
#include <QThread>
#include <atomic>

namespace tarnisk::platform {
namespace {

std::atomic<bool> shutdownRequested{false};

}  // namespace

void PumpWindowEvents() {
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr || application->thread() != QThread::currentThread()) return;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void RequestShutdown() { shutdownRequested.store(true); }

bool ShutdownRequested() { return shutdownRequested.load(); }

}  // namespace tarnisk::platform
