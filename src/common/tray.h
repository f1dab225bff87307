// What this program fixes about the tray program, a separate executable in
// the program folder that runs at logon, owns the scan schedule and the tray
// notifications: how it is found, started, told about changed settings and
// told to close, and the names both sides agree on.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/windows_msg.h"

namespace vx {

inline constexpr std::string_view kTrayProgramFile = "RUVodo.exe";
inline constexpr std::string_view kTrayWindowTitle = "RUVodo";
inline constexpr std::string_view kTrayWindowClass = "TForm1";

// Registered messages posted to the tray program's window, each with its
// fixed wParam and lParam 0.
inline constexpr std::string_view kTrayReloadMessage = "RUVodoR";  // settings changed
inline constexpr uint32_t kTrayReloadWParam = 1028;
inline constexpr std::string_view kTrayCloseMessage = "RUVodoC";
inline constexpr uint32_t kTrayCloseWParam = 1029;

// What the tray program may post to the main window.
inline constexpr std::string_view kMainWindowTitle = "Vantrix";
inline constexpr std::string_view kRestoreMessage = "VXRestore";
inline constexpr uint32_t kRestoreWParam = 1026;
inline constexpr std::string_view kStartScanMessage = "VXStart";
inline constexpr uint32_t kStartScanWParam = 1030;

// Where the tray program is registered to run at logon: a scheduled task on
// Windows 6 and later, else a Run value of the current user.
inline constexpr std::string_view kTrayTaskName = "Vantrix Schedule";
inline constexpr std::string_view kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr std::string_view kRunValueName = "Vantrix";

// Values of the settings key the tray program reads; this program writes
// them and leaves "s_Exec", "s_SmartExec" and "s_SmartDate" to it.
inline constexpr std::string_view kTraySettings[] = {
    "s_Enable",    "s_Mode",      "s_Time",      "s_Exec",           "s_SmartScan",
    "s_SmartMode", "s_SmartExec", "s_SmartDate", "StartWithWindows", "TrayNotification"};

// The start-up entry is wanted while any of the three options is on.
constexpr bool TrayStartupWanted(bool s_enable, bool s_smart_scan, bool start_with_windows) {
  return s_enable || s_smart_scan || start_with_windows;
}

std::filesystem::path TrayProgramPath(const std::filesystem::path& program_dir);

// The tray program's window; with_class also requires its window class, as
// the uninstall clean-up does.
std::optional<platform::WindowId> FindTrayWindow(bool with_class = false);

// Starts the tray program without activating it, unless its window exists
// or the file is missing. True when a start was made.
bool StartTrayProgram(const std::filesystem::path& program_dir);

// Post "RUVodoR" / "RUVodoC" to the tray window; false (nothing posted)
// when the tray program is not running or the post failed.
bool NotifyTraySettingsChanged();
bool AskTrayToClose();

// Polls every poll_interval until the tray window is gone, at most limit,
// ending early when the program is closing. True when the window is gone.
bool WaitTrayClosed(std::chrono::milliseconds limit = std::chrono::milliseconds(5000),
                    std::chrono::milliseconds poll_interval = std::chrono::milliseconds(100));

}  // namespace vx
