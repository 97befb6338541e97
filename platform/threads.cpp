#include "platform/threads.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace tarnisk::platform {
namespace {

std::mutex workersMutex;
std::condition_variable workersFinished;
int runningWorkers = 0;
std::atomic<std::uint32_t> workersStarted{0};

std::int32_t NextWorkerId() {
  // Identifiers stay positive and never 0, which means "no worker", even after wrapping.
  const std::uint32_t count = workersStarted.fetch_add(1, std::memory_order_relaxed);
  return static_cast<std::int32_t>(count % 0x7FFFFFFFu) + 1;
}

void FinishWorker() {
  std::lock_guard lock(workersMutex);
  --runningWorkers;
  workersFinished.notify_all();
}

void RunWorker(std::function<void()> work) {
  try {
    work();
  } catch (...) {
    // A worker that failed must not take the whole tool down with it.
  }
  // Whatever the work captured is released before the count says it has finished, so a waiter
  // that ends the process after WaitForWorkers never races with it.
  work = nullptr;
  FinishWorker();
}

}  // namespace

std::int32_t StartWorker(std::function<void()> work) {
  if (!work) return 0;
  {
    std::lock_guard lock(workersMutex);
    ++runningWorkers;
  }
  try {
    std::thread(RunWorker, std::move(work)).detach();
  } catch (const std::system_error&) {
    FinishWorker();
    return 0;
  }
  return NextWorkerId();
}

bool WaitForWorkers(std::chrono::milliseconds bound) {
  std::unique_lock lock(workersMutex);
  return workersFinished.wait_for(lock, bound, [] { return runningWorkers == 0; });
}

}  // namespace tarnisk::platform
