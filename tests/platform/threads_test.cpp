#include "platform/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <set>
#include <stdexcept>

namespace tarnisk::platform {
namespace {

using namespace std::chrono_literals;

TEST(StartWorker, RunsEveryWorkUnderItsOwnNonZeroIdentifier) {
  constexpr int Workers = 50;
  std::atomic<int> ran{0};
  std::set<std::int32_t> identifiers;
  for (int i = 0; i < Workers; ++i) {
    const std::int32_t id = StartWorker([&ran] { ran.fetch_add(1); });
    EXPECT_GT(id, 0);
    identifiers.insert(id);
  }
  ASSERT_TRUE(WaitForWorkers(10s));
  EXPECT_EQ(ran.load(), Workers);
  EXPECT_EQ(identifiers.size(), static_cast<std::size_t>(Workers));
}

TEST(StartWorker, EmptyWorkStartsNothing) {
  EXPECT_EQ(StartWorker(std::function<void()>()), 0);
  EXPECT_TRUE(WaitForWorkers(0ms));
}

TEST(StartWorker, WorkerThatThrowsStillCountsAsFinished) {
  EXPECT_NE(StartWorker([] { throw std::runtime_error("worker failed"); }), 0);
  EXPECT_TRUE(WaitForWorkers(10s));
}

TEST(WaitForWorkers, GivesUpAtTheBoundWhileAWorkerRuns) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  ASSERT_NE(StartWorker([released] { released.wait(); }), 0);

  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(WaitForWorkers(100ms));
  EXPECT_GE(std::chrono::steady_clock::now() - started, 100ms);

  release.set_value();
  EXPECT_TRUE(WaitForWorkers(10s));
}

TEST(WaitForWorkers, ReturnsAtOnceWhenNoWorkerRuns) { EXPECT_TRUE(WaitForWorkers(0ms)); }

TEST(WaitForWorkers, WorkerHasReleasedWhatItCapturedWhenTheWaitEnds) {
  auto held = std::make_shared<int>(7);
  std::weak_ptr<int> watch = held;
  ASSERT_NE(StartWorker([held = std::move(held)] { EXPECT_EQ(*held, 7); }), 0);
  ASSERT_TRUE(WaitForWorkers(10s));
  EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace tarnisk::platform
