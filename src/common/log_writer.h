// XLog: one running event log. Callers add lines to its queue; its own
// low-priority thread moves the queue into the pending lines every few
// seconds and appends them to "program.log" in batches. Used through the
// functions of logger.h; only the logger unit and its tests see this class.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace vx {

// How often the writer works. The defaults are the product's; tests and
// benchmarks shorten them.
struct LogTiming {
  uint32_t write_check_ms = 30000;  // how often a write is considered
  uint32_t queue_move_ms = 5000;    // how long lines may sit in the queue
  uint32_t cycle_ms = 100;          // the thread's sleep between checks
  uint32_t idle_write_ms = 60000;   // a write is due after this long anyway
  size_t batch_lines = 100;         // ...or once this many lines are pending
  // Under a flood of lines the writer moves and writes early once this many
  // lines wait, so memory stays bounded instead of holding 35 s of lines.
  size_t backlog_lines = 20000;
  // Lines kept while the folder cannot be written; beyond this the oldest
  // are dropped and their number is written once writing works again.
  size_t max_pending_lines = 500000;
};

class XLog {
 public:
  enum class Kind { kError, kMessage };

  // mu is the owner's lock; it also guards this log's queue and repeat
  // state, so that a caller takes a single lock per line.
  XLog(std::filesystem::path folder, LogTiming timing, std::mutex& mu);
  ~XLog();
  XLog(const XLog&) = delete;
  XLog& operator=(const XLog&) = delete;

  // Starts the thread; on_end runs on it when its loop ends, before the
  // last write, so the owner can forget this instance.
  void Start(std::function<void(XLog*)> on_end);
  void Terminate();
  void Join();
  bool IsWriterThread() const { return std::this_thread::get_id() == thread_.get_id(); }

  // Repeat suppression and queueing of one line, on the caller's thread
  // with mu held. stamped is time + " " + text, built before the lock so
  // the lock is held only for the comparison and the appends; text may
  // point into stamped. emit(line)
  // runs for every line that goes to the main log (pending summaries
  // first). Returns whether the line was dropped (stopping), counted as a
  // repeat, or emitted.
  enum class Added { kDropped, kRepeat, kEmitted };
  template <class Emit>
  Added Add(Kind kind, std::string_view text, std::string&& stamped, Emit&& emit);

  void SetStopping();
  bool Stopping() const;
  void SetFolder(std::filesystem::path folder);
  std::filesystem::path Folder() const;

  // Moves the queue and writes every pending line now (any thread).
  void Flush();
  // Appends a block to "program_error.log" (rotation included).
  void WriteErrorBlock(std::vector<std::string> block);
  // The lines of "program.log" read under the file lock.
  std::vector<std::string> ReadMainLog();
  std::filesystem::path MainLogPath();

  // Clears the heartbeat; the thread sets it after every cycle.
  void ClearHeartbeat() { heartbeat_ = false; }
  bool Heartbeat() const { return heartbeat_; }
  // Lines held in memory (queue + pending), for benchmarks.
  size_t Backlog();
  const LogTiming& timing() const { return timing_; }

 private:
  void Run();
  void MoveQueue();
  void WriteCheck(bool force);
  void WritePending();
  uint64_t NowMs() const;
  std::string ErrorSummaryAtWrite();

  const LogTiming timing_;
  std::thread thread_;
  std::function<void(XLog*)> on_end_;

  // Caller side, guarded by mu_.
  std::mutex& mu_;
  std::condition_variable wake_;
  std::vector<std::string> queue_;
  std::vector<std::string> recycled_;  // the queue's other buffer
  std::filesystem::path folder_;
  bool stopping_ = false;
  bool terminated_ = false;
  int error_repeats_ = 0;
  int message_repeats_ = 0;
  std::string last_error_;
  std::string last_message_;

  // Writer side, guarded by the process-wide file lock (see .cpp).
  std::vector<std::string> pending_;
  std::vector<std::string> pending_errors_;
  size_t dropped_lines_ = 0;
  std::filesystem::path main_path_;
  std::filesystem::path error_path_;
  uint64_t next_move_ms_ = 0;
  uint64_t next_check_ms_ = 0;
  uint64_t last_write_ms_ = 0;
  bool written_once_ = false;

  std::atomic<bool> writing_{false};
  std::atomic<bool> heartbeat_{false};
};

template <class Emit>
XLog::Added XLog::Add(Kind kind, std::string_view text, std::string&& stamped, Emit&& emit) {
  if (stopping_) return Added::kDropped;
  std::string& last = kind == Kind::kError ? last_error_ : last_message_;
  if (text == last) {
    if (!last.empty()) ++(kind == Kind::kError ? error_repeats_ : message_repeats_);
    return Added::kRepeat;
  }
  auto push = [&](std::string line) {
    emit(line);
    queue_.push_back(std::move(line));
  };
  // A new line of either kind releases the pending summaries of both.
  if (error_repeats_ > 0) {
    push("Multiple errors: " + last_error_ + " Count: " + std::to_string(error_repeats_));
    error_repeats_ = 0;
  }
  if (message_repeats_ > 0) {
    push("Multiple logs: " + last_message_ + " Count: " + std::to_string(message_repeats_));
    message_repeats_ = 0;
  }
  last.assign(text);  // before stamped moves: text may point into it
  push(std::move(stamped));
  // Under a flood the writer is woken early (see LogTiming::backlog_lines).
  if (queue_.size() == timing_.backlog_lines) wake_.notify_one();
  return Added::kEmitted;
}

// For tests and benchmarks: the timing of logs started from now on, the
// debug-mode answer forgotten, and the lines the running log holds.
void SetLogTiming(const LogTiming& timing);
void ForgetLogDebugMode();
size_t LogBacklog();

}  // namespace vx
