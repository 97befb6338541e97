#pragma once
#include <chrono>
#include <cstdint>
#include <functional>

namespace tarnisk::platform {

// Starts work on a new detached thread. Returns a non-zero identifier of the worker, or 0 when no
// thread could be started (the work then never runs).
std::int32_t StartWorker(std::function<void()> work);

// Waits until every worker started so far has finished, at most for bound. True when none is left.
bool WaitForWorkers(std::chrono::milliseconds bound);

}  // namespace tarnisk::platform
