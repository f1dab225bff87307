// The process-wide event log. Callers never block on disk: a call formats
// one line and queues it; a low-priority writer thread appends batches to
// "program.log". Errors also go at once, with the lines before them, to
// "program_error.log". Every function may be called from any thread and
// does nothing while no log exists.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

// Starts the log in folder (normally BaseDir), or, when one runs, only
// changes its folder. Does nothing once the program is closing.
void StartLog(const std::filesystem::path& folder);
// "ERROR (): tag MESS: message PARAMS: params LAST_ERR (code, hex): text";
// also appends a report block to "program_error.log".
void LogError(std::string_view tag, std::string_view message, std::string_view params = {},
              uint32_t code = 0);
// ": text" or ": text PARAMS: params".
void LogMessage(std::string_view text, std::string_view params = {});
// Writes every queued line now, on the caller's thread.
void FlushLog();
// Flushes, ends the writer thread and forgets the log; StartLog makes a new one.
void StopLog();
bool IsLogCreated();
bool IsLogRunning();
// True when the writer thread shows a sign of life within about 3 seconds.
bool IsLogAlive();
// While capturing, stamped lines go to the capture list instead of the
// all-lines list; one capture brackets one install.
void BeginLogCapture();
std::vector<std::string> EndLogCapture();
// Stamped lines since StartLog outside captures (the most recent
// kAllLogLinesKept of them).
std::vector<std::string> AllLogLines();
constexpr size_t kAllLogLinesKept = 100000;
// True if "c:\debug.log.pc" exists on the machine (asked once per process).
bool IsLogDebugMode();

// The texts the log writes, for callers that show or compare them.
std::string BuildErrorText(std::string_view tag, std::string_view message,
                           std::string_view params, uint32_t code);
std::string BuildMessageText(std::string_view text, std::string_view params);
// The operating system's text for an error code, without trailing blanks,
// line breaks and full stops.
std::string SystemErrorText(uint32_t code);

// Developer aids. The debug window is a GUI form; the GUI installs these
// hooks at start. Without them the aids do nothing.
struct LogDebugHooks {
  // Shows and brings to front the debug window, filled with
  // DebugWindowText(). Runs on the main thread.
  std::function<void()> show_window;
  // Runs fn on the main thread and returns when it has run.
  std::function<void(const std::function<void()>& fn)> run_on_main_thread;
  // Lets the main thread handle pending window messages while it waits.
  std::function<void()> process_messages;
  // An error while the program closes in debug mode. On the main thread a
  // plain message box with text; on another thread a 750 Hz beep of 300 ms
  // and then a system message box (OK only, no owner) captioned "Error on
  // Terminate".
  std::function<void(const std::string& text, bool on_main_thread)> closing_error_box;
};
void SetLogDebugHooks(LogDebugHooks hooks);
// Flushes the log and shows the debug window (main thread only).
void ShowDebugWindow();
// The upper pane's text: "program_prev.log" then "program.log" of the log
// folder, or "" when there is no "program.log". Flushes first.
std::string DebugWindowText();
// "Copy filtered": the pane's lines containing the trimmed filter (or, when
// that is empty, the trimmed clipboard text), joined with CR LF; the whole
// pane when both are empty. Case-sensitive.
std::string FilterDebugText(std::string_view pane, std::string_view filter,
                            std::string_view clipboard);

// Diagnostic archives. The ZIP writer belongs to the system helpers; the
// program installs it at start (files that do not exist are skipped;
// true when at least one file was packed).
using ZipFilesFunction = std::function<bool(const std::vector<std::filesystem::path>& files,
                                            const std::filesystem::path& archive)>;
void SetLogZipFunction(ZipFilesFunction zip);
// The diagnostic files of folder, in the order they are packed.
std::vector<std::filesystem::path> DiagnosticFiles(const std::filesystem::path& folder);
// Packs them into folder / archive_name; returns that path, or "" when
// nothing was packed. An empty folder means the log folder.
std::filesystem::path ZipDiagnosticFiles(const std::filesystem::path& folder,
                                         std::string_view archive_name);
// "Debug_<date time>_<kind>.zip" in the log folder when "c:\debug.pc"
// exists. kind is "scan", "install" or "restart".
void CreateDebugBackup(std::string_view kind);

}  // namespace vx
