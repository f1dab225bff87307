#include "common/params.h"

#include <system_error>

#include "common/logger.h"
#include "common/text.h"
#include "platform/platform.h"

namespace vx {

namespace fs = std::filesystem;

namespace {

ProgramParams g_params = [] {
  ProgramParams p;
  p.product_name = std::string(kProductFolderName);
  return p;
}();

// Folders are created quietly; a failure shows later, where the folder is
// used, but is logged here with the reason.
void EnsureFolder(const fs::path& folder, std::string_view tag) {
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return;
  fs::create_directories(folder, ec);
  if (ec)
    LogError(tag, "ForceDirectories fail", PathUtf8(folder), static_cast<uint32_t>(ec.value()));
}

// Appends a path below a host folder through the Windows form, so the sim
// machine resolves the name without regard to case as Windows would.
fs::path Below(const fs::path& folder, std::string_view relative) {
  return platform::Sys().HostPath(FolderText(folder) + std::string(relative));
}

std::string DeviceForm(const std::string& windows_text) {
  if (windows_text.empty()) return {};
  std::string drive = windows_text.substr(0, 1) + ":";
  auto device = platform::Sys().DosDeviceName(drive);
  if (!device) {
    LogError("InitParams", "QueryDosDevice fail", windows_text, device.error());
    return {};
  }
  if (!StartsWithText(windows_text, drive)) return windows_text;
  return *device + windows_text.substr(drive.size());
}

}  // namespace

const ProgramParams& Params() { return g_params; }

std::string FolderText(const fs::path& folder) {
  std::string text = platform::Sys().WindowsPath(folder);
  if (text.empty() || text.back() != '\\') text += '\\';
  return text;
}

int WindowsVersionCode(const platform::WindowsVersion& v) {
  struct Rule {
    uint32_t major, minor, min_build;
    int code;
  };
  // First match wins; 6.1 before its release build was still called Vista.
  static constexpr Rule kRules[] = {
      {6, 1, 7600, 7}, {6, 1, 0, 6}, {6, 2, 0, 8}, {6, 3, 0, 81}, {6, 4, 0, 10}, {10, 0, 0, 10},
  };
  if (v.major == 0) return 5;
  for (const auto& r : kRules)
    if (v.major == r.major && v.minor == r.minor && v.build >= r.min_build) return r.code;
  return static_cast<int>(v.major);
}

void InitParams(std::string_view product_name, const fs::path& data_dir_override,
                const fs::path& download_dir_override, bool upload_install_reports) {
  try {
    auto& sys = platform::Sys();
    ProgramParams p;
    p.product_name = std::string(product_name);
    p.upload_install_reports = upload_install_reports;
    p.windows_version = WindowsVersionCode(sys.Version());

    fs::path program_dir = sys.Folder(platform::KnownFolder::kProgram);
    std::error_code ec;
    p.developer_layout = fs::is_regular_file(Below(program_dir, kDeveloperMarkerFile), ec);
    if (p.developer_layout) {
      p.base_dir = Below(program_dir, "Bases");
      p.download_dir = Below(program_dir, "Drivers");
    } else {
      p.base_dir = !data_dir_override.empty()
                       ? data_dir_override
                       : Below(sys.Folder(platform::KnownFolder::kAppData), p.product_name);
      p.download_dir =
          !download_dir_override.empty()
              ? download_dir_override
              : Below(sys.Folder(platform::KnownFolder::kDocuments), p.product_name + "\\Drivers");
    }
    // The event log starts in BaseDir right after this, so it must exist
    // whichever way it was chosen.
    EnsureFolder(p.base_dir, "InitParams");

    p.system_dir = sys.Folder(platform::KnownFolder::kSystem);
    p.windows_dir = sys.Folder(platform::KnownFolder::kWindows);
    p.system_dir_text = FolderText(p.system_dir);
    p.windows_dir_text = FolderText(p.windows_dir);
    p.windows_device_dir = DeviceForm(p.windows_dir_text);
    g_params = std::move(p);
  } catch (const std::exception& e) {
    LogError("InitParams", "Common error", e.what());
  }
}

StartupFolders ComputeStartupFolders(std::string_view product_name) {
  auto& sys = platform::Sys();
  StartupFolders f;
  std::string product(product_name);
  try {
    f.program_dir = sys.Folder(platform::KnownFolder::kProgram);
    f.windows_dir = sys.Folder(platform::KnownFolder::kWindows);
    f.system_dir = sys.Folder(platform::KnownFolder::kSystem);
    f.data_dir = Below(sys.Folder(platform::KnownFolder::kAppData), product);
    EnsureFolder(f.data_dir, "ComputeStartupFolders");
    f.documents_dir = sys.Folder(platform::KnownFolder::kDocuments);
    f.default_backup_dir = Below(f.documents_dir, product + "\\Backup");
    f.default_download_dir = Below(f.documents_dir, product + "\\Drivers");
  } catch (const std::exception& e) {
    LogError("ComputeStartupFolders", "Common error", e.what());
  }
  return f;
}

}  // namespace vx
