#include "common/processes.h"

#include <algorithm>
#include <exception>

#include "common/date_time.h"
#include "common/files.h"
#include "common/locale_format.h"
#include "common/logger.h"
#include "common/text.h"

namespace vx {

namespace {

std::string PidParam(ProcessId pid) { return "pid=" + std::to_string(pid); }

std::string FormatStamp(double date_time) {
  platform::LocalTime t;
  if (!LocalTimeFromDateTime(date_time, t)) return {};
  return FormatDateTimeText(t, LocaleOrDefault());
}

}  // namespace

std::string GetCommandLineX86(ProcessId pid) {
  try {
    auto line = platform::ProcessCommandLine(pid);
    return line ? *line : std::string();
  } catch (const std::exception& e) {
    LogError("GetCommandLineX86", "General error", PidParam(pid) + " " + e.what());
  }
  return {};
}

std::string GetProcessCommandLine(ProcessId pid) {
  if (pid == 4 || pid == 8) return {};
  return GetCommandLineX86(pid);
}

bool IsNativeProcess(ProcessId pid) {
  auto wow = platform::ProcessUnderWow64(pid);
  if (wow) return !*wow;
  if (wow.error() != kErrorNotSupported)
    LogError("IsWow64Process", "IsWow64Process fail", PidParam(pid), wow.error());
  return false;
}

std::string GetProcessImagePath(ProcessId pid) {
  auto raw = platform::ProcessImageFileName(pid);
  if (!raw) {
    LogError("GetProcessImagePath", "GetProcessImageFileName fail", PidParam(pid), raw.error());
    return {};
  }
  std::string path = ExpandRawPath(*raw);
  // An unexpanded device path is no usable file path.
  if (path.empty() || path == *raw) {
    LogError("GetProcessImageFileName", "Invalid result", *raw);
    return {};
  }
  return path;
}

std::string GetPathFromPID(ProcessId pid) {
  try {
    if (Status s = platform::OpenProcessStatus(pid)) {
      if (s != kErrorAccessDenied) LogError("GetPathFromPID", "OpenProcess fail", PidParam(pid), s);
      return {};
    }
    auto module_name = [&]() -> std::string {
      auto m = platform::ProcessModuleFileName(pid);
      return m ? *m : std::string();
    };
    std::string result;
    if (IsNativeProcess(pid)) {
      result = GetProcessImagePath(pid);
      if (result.empty()) result = module_name();
      if (result.empty())
        LogError("GetPathFromPID", "GetModuleFileNameEx fail", PidParam(pid));
    } else {
      result = module_name();
      if (result.empty()) result = GetProcessImagePath(pid);
      if (result.empty())
        LogError("GetPathFromPID", "GetProcessImageFileName 2 fail", PidParam(pid));
    }
    if (!result.empty() && result[0] == '\\') result = ExpandRawPath(result);
    if (result.empty()) LogError("GetPathFromPID", "Result empty", PidParam(pid));
    return result;
  } catch (const std::exception& e) {
    LogError("GetPathFromPID", "Common error", PidParam(pid) + " " + e.what());
  }
  return {};
}

double GetProcessStartTime(ProcessId pid, bool log_failures) {
  auto created = platform::ProcessCreationTime(pid);
  if (!created) {
    if (created.error() == kErrorAccessDenied || created.error() == kErrorInvalidParameter) {
      if (log_failures && created.error() != kErrorAccessDenied)
        LogError("GetProcessStartTime", "OpenProcess fail", PidParam(pid), created.error());
    } else {
      LogError("GetProcessStartTime", "GetProcessTimes fail", PidParam(pid), created.error());
    }
    return 0;
  }
  return FileTimeToLocalDateTime(*created);
}

bool ProcessHasVisibleWindow(ProcessId pid) { return platform::ProcessHasVisibleWindow(pid); }

void CreateProcessList(std::vector<std::string>& list, bool only_visible, double since) {
  try {
    list.push_back(FormatDateTimeText(LocalNowOrUtc(), LocaleOrDefault()) +
                   " ---------------------------------------");
    auto snapshot = platform::ProcessSnapshot();
    if (!snapshot) {
      LogError("CreateProcessList", "Processes 1 fail", {}, snapshot.error());
      return;
    }
    for (const auto& p : *snapshot) {
      if (p.pid <= 9) continue;
      bool visible = ProcessHasVisibleWindow(p.pid);
      if (only_visible && !visible) continue;
      std::string name = GetProcessCommandLine(p.pid);
      if (name.empty()) name = GetPathFromPID(p.pid);
      if (name.empty()) name = p.exe_name;
      double start = GetProcessStartTime(p.pid, true);
      if (since > 0) name = (start > since ? "+ " : "- ") + name;
      std::string line = name + "   " + std::to_string(p.pid) +
                         "   Parent=" + std::to_string(p.parent_pid) +
                         "   Visible=" + (visible ? "1" : "0") + "   Start=" + FormatStamp(start);
      if (std::find(list.begin(), list.end(), line) == list.end()) list.push_back(std::move(line));
    }
  } catch (const std::exception& e) {
    LogError("CreateProcessList", "Processes 1 fail", e.what());
  }
}

}  // namespace vx
