// The hand-over from a worker thread to the thread that owns the user
// interface (the "main" thread): every worker notification runs there, and
// the worker waits for its answer. The GUI serves calls from its message
// queue, the console front end from its loop, tests from a pump they drive.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace vx {

class MainThreadPort {
 public:
  virtual ~MainThreadPort() = default;
  MainThreadPort(const MainThreadPort&) = delete;
  MainThreadPort& operator=(const MainThreadPort&) = delete;

  // Runs fn on the owner's thread and returns its answer; the calling
  // worker waits meanwhile. Called on the owner's thread itself, fn runs at
  // once. nullopt when fn never ran: the program is closing, the owner
  // stopped serving calls, or the wait bound passed before fn started
  // (a call that has started is always waited for, since fn usually
  // refers to the worker's own state).
  virtual std::optional<int> Call(const std::function<int()>& fn) = 0;

 protected:
  MainThreadPort() = default;
};

// A port whose owner runs the queued calls by calling Pump*: tests and the
// console front end's loop.
class PumpedMainThread final : public MainThreadPort {
 public:
  static constexpr std::chrono::milliseconds kDefaultMaxWait{std::chrono::minutes(5)};

  // The constructing thread becomes the owner.
  explicit PumpedMainThread(std::chrono::milliseconds max_wait = kDefaultMaxWait);
  // Stops serving (waiting workers get nullopt).
  ~PumpedMainThread() override;

  std::optional<int> Call(const std::function<int()>& fn) override;

  // Runs the calls queued now; returns how many ran. Owner thread only.
  size_t Pump();
  // Waits up to timeout for at least one call, then runs the queued calls.
  size_t PumpFor(std::chrono::milliseconds timeout);
  // Pumps until done() is true (checked after every call and at least every
  // 50 ms) or the timeout passes; true when done() became true.
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  // Refuses new calls and releases the workers waiting for queued ones.
  void Stop();

 private:
  struct Pending {
    std::function<int()> fn;
    std::optional<int> answer;
    bool started = false;
    bool finished = false;
  };

  const std::thread::id owner_;
  const std::chrono::milliseconds max_wait_;
  std::mutex mutex_;
  std::condition_variable queued_;    // the owner waits for work
  std::condition_variable answered_;  // workers wait for their answer
  std::deque<std::shared_ptr<Pending>> queue_;
  bool stopped_ = false;
};

}  // namespace vx
