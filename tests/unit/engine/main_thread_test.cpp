#include "engine/main_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/closing.h"

namespace vx {
namespace {

using namespace std::chrono_literals;

TEST(PumpedMainThread, RunsTheWorkersCallOnTheOwnerAndHandsTheAnswerBack) {
  PumpedMainThread main;
  const auto owner = std::this_thread::get_id();
  std::thread::id ran_on;
  std::optional<int> answer;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    answer = main.Call([&] {
      ran_on = std::this_thread::get_id();
      return 42;
    });
    done = true;
  });
  EXPECT_TRUE(main.PumpUntil([&] { return done.load(); }, 10s));
  worker.join();
  EXPECT_EQ(ran_on, owner);
  EXPECT_EQ(answer, 42);
  // On the owner's own thread the call runs at once.
  EXPECT_EQ(main.Call([] { return 7; }), 7);
}

TEST(PumpedMainThread, WaitingWorkersAreReleasedWhenNobodyServes) {
  struct Case {
    const char* why;
    std::function<void(PumpedMainThread&)> end;
    std::chrono::milliseconds bound;
  } cases[] = {
      {"stopped", [](PumpedMainThread& m) { m.Stop(); }, 10min},
      {"program closing", [](PumpedMainThread&) { SetProgramClosing(true); }, 10min},
      {"wait bound", [](PumpedMainThread&) {}, 100ms},
  };
  for (const auto& c : cases) {
    PumpedMainThread main(c.bound);
    bool ran = false;
    std::optional<int> answer = 1;
    std::thread worker([&] { answer = main.Call([&] { ran = true; return 5; }); });
    std::this_thread::sleep_for(20ms);
    c.end(main);
    worker.join();
    SetProgramClosing(false);
    main.Pump();  // a withdrawn call never runs late
    EXPECT_FALSE(answer.has_value()) << c.why;
    EXPECT_FALSE(ran) << c.why;
  }
}

}  // namespace
}  // namespace vx
