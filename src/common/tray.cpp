#include "common/tray.h"

#include <thread>

#include "common/closing.h"
#include "common/logger.h"
#include "common/text.h"
#include "platform/platform.h"
#include "platform/process_start.h"

namespace vx {

namespace fs = std::filesystem;

namespace {

bool PostToTray(std::string_view message_name, uint32_t wparam, std::string_view tag) {
  auto window = FindTrayWindow();
  if (!window) return false;
  uint32_t message = platform::RegisterWindowMessageName(message_name);
  if (message == 0) {
    LogError(tag, "RegisterWindowMessage fail", message_name);
    return false;
  }
  if (Status s = platform::PostWindowMessage(*window, message, wparam, 0); s != kErrorSuccess) {
    LogError(tag, "PostMessage fail", message_name, s);
    return false;
  }
  return true;
}

}  // namespace

fs::path TrayProgramPath(const fs::path& program_dir) {
  std::string folder = platform::Sys().WindowsPath(program_dir);
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return platform::Sys().HostPath(folder + std::string(kTrayProgramFile));
}

std::optional<platform::WindowId> FindTrayWindow(bool with_class) {
  auto w =
      platform::FindTopWindow(with_class ? kTrayWindowClass : std::string_view(), kTrayWindowTitle);
  if (!w) return std::nullopt;
  return *w;
}

bool StartTrayProgram(const fs::path& program_dir) {
  if (program_dir.empty() || FindTrayWindow()) return false;
  fs::path exe = TrayProgramPath(program_dir);
  std::error_code ec;
  if (!fs::is_regular_file(exe, ec)) return false;
  if (Status s = platform::StartProgram(exe, {}); s != kErrorSuccess) {
    LogError("StartTrayProgram", "CreateProcess fail", PathUtf8(exe), s);
    return false;
  }
  return true;
}

bool NotifyTraySettingsChanged() {
  return PostToTray(kTrayReloadMessage, kTrayReloadWParam, "NotifyTraySettingsChanged");
}

bool AskTrayToClose() { return PostToTray(kTrayCloseMessage, kTrayCloseWParam, "AskTrayToClose"); }

bool WaitTrayClosed(std::chrono::milliseconds limit, std::chrono::milliseconds poll_interval) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (FindTrayWindow()) {
    if (ProgramClosing() || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(poll_interval);
  }
  return true;
}

}  // namespace vx
