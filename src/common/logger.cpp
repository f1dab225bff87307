// The log unit: the single running XLog, the capture and all-lines lists,
// the error reports and the developer aids around them.
#include "common/logger.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cinttypes>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "common/closing.h"
#include "common/locale_format.h"
#include "common/log_file.h"
#include "common/log_writer.h"
#include "common/text.h"
#include "platform/platform.h"

namespace vx {

namespace fs = std::filesystem;

namespace {

constexpr const char* kReportSeparator = "========================================";
// The report copies this many lines before the last one of "program.log".
constexpr size_t kReportLines = 21;

// The all-lines list: one growing text plus line lengths, so that keeping
// a line costs a copy into spare capacity rather than an allocation.
class LineRing {
 public:
  void Add(const std::string& line) {
    text_ += line;
    lengths_.push_back(line.size());
    if (lengths_.size() > kAllLogLinesKept) {
      start_ += lengths_.front();
      lengths_.pop_front();
      if (start_ > (1u << 20) && start_ > text_.size() / 2) {
        text_.erase(0, start_);
        start_ = 0;
      }
    }
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    out.reserve(lengths_.size());
    size_t at = start_;
    for (size_t n : lengths_) {
      out.push_back(text_.substr(at, n));
      at += n;
    }
    return out;
  }
  void Clear() {
    text_.clear();
    text_.shrink_to_fit();
    lengths_.clear();
    start_ = 0;
  }

 private:
  std::string text_;
  std::deque<size_t> lengths_;
  size_t start_ = 0;
};

struct Unit {
  // Guards everything below, and the running log's queue and repeat
  // state (XLog shares it), so a caller takes one lock per line.
  std::mutex mu;
  std::shared_ptr<XLog> log;
  // A log whose thread ended on its own, joined by the next Start/StopLog.
  std::shared_ptr<XLog> retired;
  fs::path folder;
  std::optional<std::thread::id> main_thread;
  bool capturing = false;
  std::vector<std::string> capture;
  LineRing all_lines;
  LogTiming timing;
  LogDebugHooks hooks;
  ZipFilesFunction zip;

  ~Unit() { StopLog(); }
};

Unit& U() {
  static Unit unit;
  return unit;
}

std::atomic<int> g_debug_mode{-1};  // -1 not asked yet
std::atomic<unsigned> g_locale_generation{0};
std::atomic<bool> g_report_running{false};
std::atomic<bool> g_synchronising{false};

std::shared_ptr<XLog> CurrentLog() {
  std::lock_guard lock(U().mu);
  return U().log;
}

bool OnMainThread() {
  std::lock_guard lock(U().mu);
  return U().main_thread && *U().main_thread == std::this_thread::get_id();
}

LogDebugHooks Hooks() {
  std::lock_guard lock(U().mu);
  return U().hooks;
}

// The user's long time. The text changes once a second (time zones are
// whole minutes away from UTC), so each thread keeps the last one it made
// and asks the system for the local time only when the second changes.
const std::string& TimeStamp() {
  struct Cache {
    int64_t second = INT64_MIN;
    unsigned generation = 0;
    std::string text;
  };
  thread_local Cache cache;
  using namespace std::chrono;
  int64_t second = duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
  unsigned generation = g_locale_generation.load(std::memory_order_relaxed);
  if (second != cache.second || generation != cache.generation) {
    platform::LocalTime t = LocalNowOrUtc();
    platform::LocaleInfo locale = LocaleOrDefault();
    cache.text = FormatTimePicture(locale.long_time, t, locale.am_designator, locale.pm_designator);
    cache.second = second;
    cache.generation = generation;
  }
  return cache.text;
}

void RetireLog(XLog* log) {
  std::shared_ptr<XLog> older;
  {
    std::lock_guard lock(U().mu);
    if (U().log.get() != log) return;
    older = std::move(U().retired);
    U().retired = std::move(U().log);
  }
  if (older) older->Join();
}

void JoinRetired() {
  std::shared_ptr<XLog> retired;
  {
    std::lock_guard lock(U().mu);
    retired = std::move(U().retired);
  }
  if (retired) retired->Join();
}

// Adds a line; returns the log that took it (also when it only counted a
// repeat), or null when the line was dropped. build(out) appends the text:
// the stamped line is built in one string, the text being its tail.
template <class Build>
std::shared_ptr<XLog> AddLine(XLog::Kind kind, size_t size_hint, Build&& build) {
  const std::string& stamp = TimeStamp();
  std::string stamped;
  stamped.reserve(stamp.size() + 1 + size_hint);
  stamped.append(stamp).append(1, ' ');
  size_t text_at = stamped.size();
  build(stamped);
  std::string_view text = std::string_view(stamped).substr(text_at);
  std::shared_ptr<XLog> log;
  XLog::Added added;
  {
    Unit& u = U();
    std::lock_guard lock(u.mu);
    if (!u.log) return nullptr;
    added = u.log->Add(kind, text, std::move(stamped), [&u](const std::string& line) {
      if (u.capturing)
        u.capture.push_back(line);
      else
        u.all_lines.Add(line);
    });
    if (added == XLog::Added::kDropped) return nullptr;
    log = u.log;
  }
  if (added == XLog::Added::kEmitted && kind == XLog::Kind::kError && IsLogDebugMode()) {
    if (OnMainThread()) {
      ShowDebugWindow();
    } else {
      LogDebugHooks hooks = Hooks();
      if (hooks.run_on_main_thread) {
        // One request at a time; a caller does not wait for another's
        // window longer than a second.
        for (int i = 0; i < 10 && g_synchronising; ++i) {
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
          if (hooks.process_messages) hooks.process_messages();
        }
        g_synchronising = true;
        hooks.run_on_main_thread([] { ShowDebugWindow(); });
        g_synchronising = false;
      }
    }
  }
  return log;
}

void AppendMessageText(std::string& out, std::string_view text, std::string_view params) {
  out.append(": ").append(text);
  if (!params.empty()) out.append(" PARAMS: ").append(params);
}

std::vector<std::string> ReportBlock(XLog& log, const std::string& text) {
  std::vector<std::string> block;
  block.push_back(FormatDateTimeText(LocalNowOrUtc(), LocaleOrDefault()) + ": " + text);
  log.Flush();
  std::vector<std::string> lines = log.ReadMainLog();
  block.push_back("Last log entries:");
  // The last line is the error itself, or the blank line after a batch.
  size_t end = lines.empty() ? 0 : lines.size() - 1;
  size_t begin = end > kReportLines ? end - kReportLines : 0;
  for (size_t i = begin; i < end; ++i) block.push_back(std::move(lines[i]));
  block.push_back(kReportSeparator);
  return block;
}

void WriteErrorReport(XLog& log, const std::string& text) {
  // A report that logs an error of its own must not start another one.
  if (g_report_running.exchange(true)) return;
  struct Clear {
    ~Clear() { g_report_running = false; }
  } clear;
  try {
    if (IsLogDebugMode() && ProgramClosing()) {
      if (auto box = Hooks().closing_error_box) box(text + "\n\r", OnMainThread());
    }
    log.WriteErrorBlock(ReportBlock(log, text));
  } catch (...) {
  }
}

bool MarkerExists(const char* windows_path) {
  if (!platform::IsAttached()) return false;
  std::error_code ec;
  return fs::exists(platform::Sys().HostPath(windows_path), ec);
}

fs::path LogFolder() {
  std::lock_guard lock(U().mu);
  return U().folder;
}

}  // namespace

void SetLogTiming(const LogTiming& timing) {
  std::lock_guard lock(U().mu);
  U().timing = timing;
}

void ForgetLogDebugMode() { g_debug_mode = -1; }

size_t LogBacklog() {
  auto log = CurrentLog();
  return log ? log->Backlog() : 0;
}

void StartLog(const fs::path& folder) {
  if (ProgramClosing()) return;
  JoinRetired();
  Unit& u = U();
  std::shared_ptr<XLog> running;
  {
    std::lock_guard lock(u.mu);
    u.folder = folder;
    if (u.log) {
      running = u.log;
    } else {
      if (!u.main_thread) u.main_thread = std::this_thread::get_id();
      ++g_locale_generation;
      u.all_lines.Clear();
      u.log = std::make_shared<XLog>(folder, u.timing, u.mu);
      u.log->Start(RetireLog);
    }
  }
  // The log's folder sits behind the same lock.
  if (running) running->SetFolder(folder);
}

void StopLog() {
  std::shared_ptr<XLog> log;
  {
    std::lock_guard lock(U().mu);
    log = std::move(U().log);
    U().all_lines.Clear();
  }
  JoinRetired();
  if (!log) return;
  log->SetStopping();
  try {
    log->Flush();
  } catch (...) {
  }
  log->Terminate();
  log->Join();
}

void LogError(std::string_view tag, std::string_view message, std::string_view params,
              uint32_t code) {
  try {
    if (!IsLogCreated()) return;
    std::string text = BuildErrorText(tag, message, params, code);
    auto log = AddLine(XLog::Kind::kError, text.size(),
                       [&](std::string& out) { out.append(text); });
    if (log) WriteErrorReport(*log, text);
  } catch (...) {
  }
}

void LogMessage(std::string_view text, std::string_view params) {
  try {
    AddLine(XLog::Kind::kMessage, text.size() + params.size() + 11,
            [&](std::string& out) { AppendMessageText(out, text, params); });
  } catch (...) {
  }
}

void FlushLog() {
  try {
    if (auto log = CurrentLog()) log->Flush();
  } catch (...) {
  }
}

bool IsLogCreated() { return CurrentLog() != nullptr; }

bool IsLogRunning() {
  auto log = CurrentLog();
  return log && !log->Stopping();
}

bool IsLogAlive() {
  auto log = CurrentLog();
  if (!log || log->Stopping()) return false;
  log->ClearHeartbeat();
  for (int i = 0; i < 30; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (log->Heartbeat()) return true;
  }
  return false;
}

void BeginLogCapture() {
  std::lock_guard lock(U().mu);
  U().capture.clear();
  U().capturing = true;
}

std::vector<std::string> EndLogCapture() {
  std::lock_guard lock(U().mu);
  U().capturing = false;
  return U().capture;
}

std::vector<std::string> AllLogLines() {
  std::lock_guard lock(U().mu);
  return U().all_lines.Lines();
}

bool IsLogDebugMode() {
  int cached = g_debug_mode.load();
  if (cached >= 0) return cached == 1;
  // Not remembered before a machine is attached: the answer would be a guess.
  if (!platform::IsAttached()) return false;
  bool on = MarkerExists("c:\\debug.log.pc");
  g_debug_mode = on ? 1 : 0;
  return on;
}

std::string SystemErrorText(uint32_t code) {
  std::string text;
  try {
    if (platform::IsAttached()) text = platform::Sys().ErrorText(code);
  } catch (...) {
  }
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= 0x20 || text.back() == '.'))
    text.pop_back();
  return text;
}

std::string BuildErrorText(std::string_view tag, std::string_view message,
                           std::string_view params, uint32_t code) {
  std::string text = "ERROR (): ";
  text += tag;
  if (!message.empty()) text.append(" MESS: ").append(message);
  if (!params.empty()) text.append(" PARAMS: ").append(params);
  if (code != 0) {
    char buf[48];
    std::snprintf(buf, sizeof buf, " LAST_ERR (%" PRId32 ", %08" PRIX32 "): ",
                  static_cast<int32_t>(code), code);
    text.append(buf).append(SystemErrorText(code));
  }
  return text;
}

std::string BuildMessageText(std::string_view text, std::string_view params) {
  std::string out;
  out.reserve(2 + text.size() + (params.empty() ? 0 : 9 + params.size()));
  AppendMessageText(out, text, params);
  return out;
}

void SetLogDebugHooks(LogDebugHooks hooks) {
  std::lock_guard lock(U().mu);
  U().hooks = std::move(hooks);
}

void ShowDebugWindow() {
  try {
    FlushLog();
    if (auto show = Hooks().show_window) show();
  } catch (...) {
  }
}

std::string DebugWindowText() {
  FlushLog();
  fs::path folder = LogFolder();
  if (folder.empty()) return {};
  fs::path main = folder / "program.log";
  std::error_code ec;
  if (!fs::exists(main, ec)) return {};
  fs::path older = log_file::OlderGeneration(main);
  std::string text = fs::exists(older, ec) ? log_file::ReadText(older) : std::string();
  return text + log_file::ReadText(main);
}

std::string FilterDebugText(std::string_view pane, std::string_view filter,
                            std::string_view clipboard) {
  std::string wanted = Trim(filter);
  if (wanted.empty()) wanted = Trim(clipboard);
  if (wanted.empty()) return std::string(pane);
  std::string out;
  size_t start = 0;
  while (start <= pane.size()) {
    size_t end = pane.find_first_of("\r\n", start);
    std::string_view line =
        pane.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (line.find(wanted) != std::string_view::npos) {
      if (!out.empty()) out += "\r\n";
      out += line;
    }
    if (end == std::string_view::npos) break;
    start = end + (pane[end] == '\r' && end + 1 < pane.size() && pane[end + 1] == '\n' ? 2 : 1);
  }
  return out;
}

void SetLogZipFunction(ZipFilesFunction zip) {
  std::lock_guard lock(U().mu);
  U().zip = std::move(zip);
}

std::vector<fs::path> DiagnosticFiles(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const char* name : {"Devices.ini", "PCInfo.ini", "DevicesPlus.ini", "Scan.ini",
                           "Snapshot.ini", "program.log", "program_prev.log",
                           "program_error.log", "program_error_prev.log"})
    files.push_back(folder / name);
  // Windows lists an NTFS folder in name order; sorting keeps that here.
  std::vector<fs::path> reports;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec) && SameText(PathUtf8(it->path().extension()), ".dul"))
      reports.push_back(it->path());
  }
  std::sort(reports.begin(), reports.end(), [](const fs::path& a, const fs::path& b) {
    return UpperCase(PathUtf8(a.filename())) < UpperCase(PathUtf8(b.filename()));
  });
  files.insert(files.end(), reports.begin(), reports.end());
  return files;
}

fs::path ZipDiagnosticFiles(const fs::path& folder, std::string_view archive_name) {
  try {
    fs::path dir = folder.empty() ? LogFolder() : folder;
    if (dir.empty()) return {};
    FlushLog();
    ZipFilesFunction zip;
    {
      std::lock_guard lock(U().mu);
      zip = U().zip;
    }
    fs::path archive = dir / U8Path(archive_name);
    if (zip && zip(DiagnosticFiles(dir), archive)) return archive;
  } catch (...) {
  }
  return {};
}

void CreateDebugBackup(std::string_view kind) {
  try {
    if (!MarkerExists("c:\\debug.pc")) return;
    std::u16string stamp =
        Utf8ToUtf16(FormatDateTimeText(LocalNowOrUtc(), LocaleOrDefault()));
    for (char16_t& c : stamp) {
      bool ascii_alnum = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') ||
                         (c >= u'A' && c <= u'Z');
      // Non-ASCII characters in date texts are month and day-period names.
      if (!ascii_alnum && c < 0x80) c = u'-';
    }
    std::string name = "Debug_" + Utf16ToUtf8(stamp) + "_" + std::string(kind) + ".zip";
    fs::path base = LogFolder();
    LogMessage("CreateDebugBackup", "Save backup to " + PathUtf8(base / U8Path(name)));
    std::error_code ec;
    if (!fs::is_directory(base, ec))
      LogError("CreateDebugBackup", "BaseDir not exists", PathUtf8(base));
    ZipDiagnosticFiles(base, name);
  } catch (...) {
  }
}

}  // namespace vx
