#include "common/files.h"

#include <cstdio>
#include <exception>
#include <system_error>

#include "common/date_time.h"
#include "common/logger.h"
#include "common/text.h"
#include "platform/platform.h"
#include "platform/processes.h"
#include "platform/system_control.h"

#ifdef _WIN32
#include <share.h>
#endif

namespace vx {

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxDriveStrings = 260;
constexpr std::string_view kHarddiskVolume = "\\Device\\HarddiskVolume";

// A file test with WOW64 redirection switched off around it.
template <class F>
bool WithoutRedirection(F&& test) {
  platform::FsRedirectionState state;
  platform::DisableFsRedirection(state);
  bool answer = test();
  platform::RevertFsRedirection(state);
  return answer;
}

// Drive paths of the machine to the paths this process opens; on the
// simulated machine programs outside it keep their host paths.
fs::path HostPathOf(std::string_view windows_path) {
  bool drive_path = windows_path.size() >= 2 && windows_path[1] == ':';
  return platform::IsAttached() && drive_path ? platform::Sys().HostPath(windows_path)
                                              : U8Path(windows_path);
}

bool IsFileAt(std::string_view windows_path) {
  std::error_code ec;
  return fs::is_regular_file(HostPathOf(windows_path), ec);
}

std::string TickText() {
  return std::to_string(platform::IsAttached() ? platform::Sys().TickCount() : 0);
}

}  // namespace

void DriveTable::Init(const std::string& drive_strings, const DeviceLookup& lookup) {
  try {
    // The length GetLogicalDriveStrings reports: up to the final NUL.
    size_t length = drive_strings.size();
    if (length < 4 || length >= kMaxDriveStrings) {
      LogError("XFile.LogicalDriveStringsInit", "GetLogicalDriveStrings fail",
               std::to_string(length));
      return;
    }
    if (count_ >= 0 && drive_strings == drive_strings_) return;
    drive_strings_ = drive_strings;
    entries_.clear();
    for (const auto& root : Split(drive_strings, '\0')) {
      if (root.size() < 2) continue;
      if (static_cast<int>(entries_.size()) >= kMaxEntries) break;
      std::string drive = root.substr(0, 2);
      auto device = lookup(drive);
      if (!device) {
        LogError("XFile.LogicalDriveStringsInit", "QueryDosDevice fail", drive, device.error());
        continue;
      }
      entries_.push_back({drive, LowerCase(*device) + "\\", device->size()});
    }
    count_ = static_cast<int>(entries_.size());
  } catch (const std::exception& e) {
    LogError("XFile.LogicalDriveStringsInit", "Common error", e.what());
  }
}

std::string DriveTable::Expand(std::string_view raw_path) const {
  std::string raw(raw_path);
  std::string lower = LowerCase(raw);
  for (const auto& e : entries_) {
    if (lower.rfind(e.device, 0) != 0) continue;
    std::string result = e.drive + raw.substr(e.device_length);
    if (result.empty()) {
      LogError("XFile.ExpandRawPath", "Result empty", raw);
    } else if (!FileExistsNative(HostPathOf(result))) {
      std::error_code ec;
      if (!fs::is_directory(HostPathOf(result), ec))
        LogError("XFile.ExpandRawPath", "Result not exists", result);
    }
    return result;
  }
  // A volume the table does not know yet: the system drive is the best guess.
  if (raw.rfind(kHarddiskVolume, 0) == 0) {
    std::string rest = raw.substr(20);
    auto slash = rest.find('\\');
    if (slash != std::string::npos) {
      std::string guess = "c:\\" + rest.substr(slash + 1);
      if (WithoutRedirection([&] { return IsFileAt(guess); })) return guess;
    }
  }
  std::string params = raw + " " + std::to_string(count_);
  for (const auto& e : entries_) params += " " + e.drive + " " + e.device;
  LogError("XFile.ExpandRawPath", "Path not expanded", params);
  return raw;
}

DriveTable& ProcessDriveTable() {
  static DriveTable table;
  return table;
}

void LogicalDriveStringsInit() {
  auto strings = platform::LogicalDriveStrings();
  if (!strings) {
    LogError("XFile.LogicalDriveStringsInit", "GetLogicalDriveStrings fail", "0", strings.error());
    return;
  }
  ProcessDriveTable().Init(*strings, [](std::string_view drive) {
    return platform::Sys().DosDeviceName(drive);
  });
}

std::string ExpandRawPath(std::string_view raw_path) {
  // A changed drive set (a volume mounted since) rebuilds the table.
  LogicalDriveStringsInit();
  return ProcessDriveTable().Expand(raw_path);
}

bool FileExistsNative(const fs::path& path) {
  return WithoutRedirection([&] {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
  });
}

bool GetFileWriteTime(const fs::path& path, double& time) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  double stamp = FileModifiedDateTime(path);
  if (stamp == 0) return false;
  time = stamp;
  return true;
}

double GetProgramFileTime() {
  auto self = platform::ProcessModuleFileName(platform::CurrentProcessId());
  if (!self) return 0;
  double time = 0;
  return GetFileWriteTime(HostPathOf(*self), time) ? time : 0;
}

double FileTimeToLocalDateTime(uint64_t file_time) {
  return file_time == 0 ? 0 : LocalDateTimeFromFileTime(file_time);
}

bool DeleteFolder(const fs::path& path) {
  std::string text = PathUtf8(path);
  while (text.size() > 1 && (text.back() == '\\' || text.back() == '/')) text.pop_back();
  fs::path folder = U8Path(text);
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    LogError("XFile.DeleteFolder", "Path not exists", "Dir=" + text);
    return false;
  }
  fs::remove_all(folder, ec);
  if (!ec) return true;
  char hex[16];
  std::snprintf(hex, sizeof(hex), "%06X", static_cast<unsigned>(ec.value()));
  LogError("XFile.DeleteFolder", std::string("SHFileOperation fail: ") + hex, "Path=" + text,
           static_cast<uint32_t>(ec.value()));
  return false;
}

namespace {

std::FILE* OpenShared(const fs::path& path, bool for_writing, bool start_over) {
#ifdef _WIN32
  // Others may read while the report is written, never write.
  const wchar_t* mode = for_writing ? (start_over ? L"w+b" : L"r+b") : L"rb";
  return _wfsopen(path.c_str(), mode, _SH_DENYWR);
#else
  const char* mode = for_writing ? (start_over ? "w+b" : "r+b") : "rb";
  return std::fopen(path.c_str(), mode);
#endif
}

}  // namespace

TextFileHandle AssignFileW(const fs::path& path, bool rewrite, bool for_writing) {
  std::error_code ec;
  bool existed = fs::exists(path, ec);
  if (rewrite && existed) {
    if (!fs::remove(path, ec) || ec) {
      fs::path aside = path;
      aside += U8Path(TickText());
      fs::rename(path, aside, ec);
      if (ec) LogError("XFile.AssignFileW", "DeleteFile fail", PathUtf8(path), kErrorAccessDenied);
    }
    existed = fs::exists(path, ec);
  }
  const bool start_over = !existed || rewrite;
  TextFileHandle file(OpenShared(path, for_writing, start_over));
  if (!file) {
    LogError("XFile.AssignFileW", "CreateFileW fail", PathUtf8(path), kErrorFileNotFound);
    return file;
  }
  // Opening with "w+" has already cut the file, so only the mark is left.
  if (for_writing && start_over) {
    static constexpr unsigned char kBom[] = {0xFF, 0xFE};
    if (std::fwrite(kBom, 1, 2, file.get()) != 2 || std::fflush(file.get()) != 0)
      LogError("XFile.AssignFileW", "WriteFile fail", PathUtf8(path));
  }
  if (for_writing && std::fseek(file.get(), 0, SEEK_END) != 0)
    LogError("XFile.AssignFileW", "SetFilePointer fail", PathUtf8(path));
  return file;
}

void WriteLnW(const TextFileHandle& file, std::string_view text) {
  if (!file) {
    LogError("XFile.WriteLnW", "Invalid handle");
    return;
  }
  std::string bytes = Utf16LeBytes(Utf8ToUtf16(text));
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    LogError("XFile.WriteLnW", "WriteFile fail", "Text");
    return;
  }
  static constexpr char kEol[] = {'\r', 0, '\n', 0};
  if (std::fwrite(kEol, 1, 4, file.get()) != 4 || std::fflush(file.get()) != 0)
    LogError("XFile.WriteLnW", "WriteFile fail", "Eof");
}

}  // namespace vx
