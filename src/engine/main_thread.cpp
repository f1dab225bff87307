#include "engine/main_thread.h"

#include <algorithm>

#include "common/closing.h"

namespace vx {

namespace {
// How often a waiting worker looks at the closing flag: the owner's thread
// may be gone for good once the program closes, and nobody would wake it.
constexpr std::chrono::milliseconds kClosingPoll{50};
}  // namespace

PumpedMainThread::PumpedMainThread(std::chrono::milliseconds max_wait)
    : owner_(std::this_thread::get_id()), max_wait_(max_wait) {}

PumpedMainThread::~PumpedMainThread() { Stop(); }

std::optional<int> PumpedMainThread::Call(const std::function<int()>& fn) {
  if (std::this_thread::get_id() == owner_) return fn();
  auto pending = std::make_shared<Pending>();
  pending->fn = fn;
  std::unique_lock lock(mutex_);
  if (stopped_ || ProgramClosing()) return std::nullopt;
  queue_.push_back(pending);
  queued_.notify_all();
  const auto deadline = std::chrono::steady_clock::now() + max_wait_;
  while (!pending->finished) {
    if (!pending->started &&
        (stopped_ || ProgramClosing() || std::chrono::steady_clock::now() >= deadline)) {
      queue_.erase(std::remove(queue_.begin(), queue_.end(), pending), queue_.end());
      return std::nullopt;
    }
    answered_.wait_for(lock, kClosingPoll);
  }
  return pending->answer;
}

size_t PumpedMainThread::Pump() {
  size_t ran = 0;
  for (;;) {
    std::shared_ptr<Pending> next;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) break;
      next = queue_.front();
      queue_.pop_front();
      next->started = true;
    }
    // The answer is published under the lock, so everything fn wrote (the
    // cancel flag, typically) is visible to the worker once it wakes.
    int answer = next->fn();
    {
      std::lock_guard lock(mutex_);
      next->answer = answer;
      next->finished = true;
    }
    answered_.notify_all();
    ++ran;
  }
  return ran;
}

size_t PumpedMainThread::PumpFor(std::chrono::milliseconds timeout) {
  {
    std::unique_lock lock(mutex_);
    queued_.wait_for(lock, timeout, [&] { return !queue_.empty() || stopped_; });
  }
  return Pump();
}

bool PumpedMainThread::PumpUntil(const std::function<bool()>& done,
                                 std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    Pump();
    if (done()) return true;
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    PumpFor(std::min(kClosingPoll,
                     std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now)));
  }
}

void PumpedMainThread::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
  }
  queued_.notify_all();
  answered_.notify_all();
}

}  // namespace vx
