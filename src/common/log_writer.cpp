#include "common/log_writer.h"

#include <chrono>
#include <exception>

#include "common/closing.h"
#include "common/log_file.h"
#include "common/logger.h"
#include "platform/threads.h"

namespace vx {

namespace fs = std::filesystem;

namespace {

// One lock for the log files of the whole process, not per instance: a
// stopped log's last write may still run while a restarted log writes the
// same files. Re-entrant because a flush inside an error report runs while
// the report already holds it.
std::recursive_mutex& FileLock() {
  static std::recursive_mutex mu;
  return mu;
}

}  // namespace

XLog::XLog(fs::path folder, LogTiming timing, std::mutex& mu)
    : timing_(timing), mu_(mu), folder_(std::move(folder)) {
  uint64_t now = NowMs();
  next_move_ms_ = now + timing_.queue_move_ms;
  next_check_ms_ = now + timing_.write_check_ms;
}

XLog::~XLog() {
  Terminate();
  if (thread_.joinable()) {
    if (IsWriterThread())
      thread_.detach();
    else
      thread_.join();
  }
}

void XLog::Start(std::function<void(XLog*)> on_end) {
  on_end_ = std::move(on_end);
  thread_ = std::thread([this] { Run(); });
}

void XLog::Terminate() {
  {
    std::lock_guard lock(mu_);
    terminated_ = true;
  }
  wake_.notify_all();
}

void XLog::Join() {
  if (thread_.joinable() && !IsWriterThread()) thread_.join();
}

void XLog::SetStopping() {
  std::lock_guard lock(mu_);
  stopping_ = true;
}

bool XLog::Stopping() const {
  std::lock_guard lock(mu_);
  return stopping_;
}

void XLog::SetFolder(fs::path folder) {
  std::lock_guard lock(mu_);
  folder_ = std::move(folder);
}

fs::path XLog::Folder() const {
  std::lock_guard lock(mu_);
  return folder_;
}

uint64_t XLog::NowMs() const {
  // A monotonic 64-bit clock: the Windows tick count wraps after 49.7 days.
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void XLog::Run() {
  platform::SetCurrentThreadBelowNormal();
  std::string failure;
  try {
    for (;;) {
      {
        std::lock_guard lock(mu_);
        if (terminated_) break;
      }
      if (ProgramClosing()) break;
      uint64_t now = NowMs();
      bool flooded;
      {
        std::lock_guard lock(mu_);
        flooded = queue_.size() >= timing_.backlog_lines;
      }
      if (next_move_ms_ < now || flooded) {
        MoveQueue();
        next_move_ms_ = now + timing_.queue_move_ms;
      }
      if (next_check_ms_ < now || flooded) {
        WriteCheck(false);
        next_check_ms_ = now + timing_.write_check_ms;
      }
      {
        std::unique_lock lock(mu_);
        wake_.wait_for(lock, std::chrono::milliseconds(timing_.cycle_ms), [this] {
          return terminated_ || queue_.size() >= timing_.backlog_lines;
        });
      }
      heartbeat_ = true;
    }
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "unknown exception";
  }
  bool terminated;
  {
    std::lock_guard lock(mu_);
    terminated = terminated_;
  }
  // Logged while this instance still takes lines, so the line and its
  // report reach the files in the last write below.
  if (!failure.empty() && !terminated && !ProgramClosing())
    LogError("XLog.Execute", "Common error", failure);
  if (on_end_) on_end_(this);
  try {
    MoveQueue();
    WriteCheck(true);
  } catch (...) {
  }
  std::lock_guard file_lock(FileLock());
  std::lock_guard lock(mu_);
  queue_.clear();
  pending_.clear();
}

void XLog::MoveQueue() {
  std::lock_guard file_lock(FileLock());
  std::vector<std::string> moved;
  {
    // The queue gets the previous vector back, capacity and all, so that
    // callers do not pay for regrowing it after every move.
    std::lock_guard lock(mu_);
    moved = std::move(queue_);
    queue_ = std::move(recycled_);
    queue_.clear();
  }
  pending_.insert(pending_.end(), std::make_move_iterator(moved.begin()),
                  std::make_move_iterator(moved.end()));
  moved.clear();
  {
    std::lock_guard lock(mu_);
    recycled_ = std::move(moved);
  }
  if (pending_.size() > timing_.max_pending_lines) {
    size_t excess = pending_.size() - timing_.max_pending_lines;
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(excess));
    dropped_lines_ += excess;
  }
}

std::string XLog::ErrorSummaryAtWrite() {
  std::lock_guard lock(mu_);
  if (error_repeats_ <= 0) return {};
  std::string s = "Multiple errors:" + last_error_ + " Count: " + std::to_string(error_repeats_);
  error_repeats_ = 0;
  return s;
}

void XLog::WriteCheck(bool force) {
  std::lock_guard file_lock(FileLock());
  if (Folder().empty()) {
    pending_.clear();
    return;
  }
  uint64_t now = NowMs();
  bool idle_due = !written_once_ || now - last_write_ms_ >= timing_.idle_write_ms;
  if (!force && pending_.size() < timing_.batch_lines && !idle_due) return;
  // A repeated error followed by silence would otherwise never be counted.
  if (std::string summary = ErrorSummaryAtWrite(); !summary.empty())
    pending_.push_back(std::move(summary));
  writing_ = true;
  last_write_ms_ = now;
  written_once_ = true;
  WritePending();
  writing_ = false;
}

fs::path XLog::MainLogPath() {
  std::lock_guard file_lock(FileLock());
  // Computed on first use and kept, as a later StartLog only changes the
  // folder of lines not yet named.
  if (main_path_.empty()) {
    fs::path folder = Folder();
    if (!folder.empty()) main_path_ = folder / "program.log";
  }
  return main_path_;
}

void XLog::WritePending() {
  std::lock_guard file_lock(FileLock());
  if (Folder().empty() || pending_.empty()) return;
  if (dropped_lines_ > 0) {
    pending_.insert(pending_.begin(), "(" + std::to_string(dropped_lines_) +
                                          " earlier lines were lost: the log could not be written)");
  }
  size_t had_note = dropped_lines_ > 0 ? 1 : 0;
  if (log_file::WriteBatch(MainLogPath(), pending_)) {
    dropped_lines_ = 0;
  } else if (had_note) {
    pending_.erase(pending_.begin());
  }
}

void XLog::Flush() {
  std::lock_guard file_lock(FileLock());
  MoveQueue();
  WriteCheck(true);
}

void XLog::WriteErrorBlock(std::vector<std::string> block) {
  std::lock_guard file_lock(FileLock());
  if (error_path_.empty()) {
    fs::path folder = Folder();
    if (folder.empty()) return;
    error_path_ = folder / "program_error.log";
  }
  // A block that cannot be written waits for the next one, like main-log
  // lines do.
  pending_errors_.insert(pending_errors_.end(), std::make_move_iterator(block.begin()),
                         std::make_move_iterator(block.end()));
  log_file::WriteBatch(error_path_, pending_errors_);
}

std::vector<std::string> XLog::ReadMainLog() {
  std::lock_guard file_lock(FileLock());
  fs::path path = MainLogPath();
  if (path.empty()) return {};
  return log_file::ReadLines(path);
}

size_t XLog::Backlog() {
  size_t queued;
  {
    std::lock_guard lock(mu_);
    queued = queue_.size();
  }
  std::lock_guard file_lock(FileLock());
  return queued + pending_.size();
}

}  // namespace vx
