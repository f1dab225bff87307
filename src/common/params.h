// The program parameters: folders, the Windows version code and the
// statistics switch, computed once at start-up before the event log starts
// and read-only afterwards. The closing flag lives in common/closing.h.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "common/closing.h"
#include "platform/system.h"

namespace vx {

// A file of this name beside the executable marks a developer's working
// copy: data then stays beside the program instead of the user's profile.
inline constexpr std::string_view kDeveloperMarkerFile = "Quorvane.dpr";
inline constexpr std::string_view kProductFolderName = "Vantrix";

struct ProgramParams {
  std::string product_name;
  std::filesystem::path base_dir;      // BaseDir: database, INI files, logs
  std::filesystem::path download_dir;  // downloaded driver packages
  std::filesystem::path system_dir;
  std::filesystem::path windows_dir;
  // The two Windows folders as Windows writes them, with a trailing "\",
  // for comparing with paths found in the registry and INF data.
  std::string system_dir_text;
  std::string windows_dir_text;
  // windows_dir_text with its drive as the NT device name
  // ("\Device\HarddiskVolume3\Windows\"); empty when the lookup failed.
  std::string windows_device_dir;
  int windows_version = 5;  // see WindowsVersionCode
  bool upload_install_reports = false;
  bool developer_layout = false;
};

// The parameters of this process; defaults until InitParams ran.
const ProgramParams& Params();

// Computes every parameter. Empty overrides take the standard folders:
// BaseDir = AppData\<product>\ (created), download folder =
// Documents\<product>\Drivers\ (not created). In the developer layout both
// overrides are ignored. Called on the main thread before any worker runs.
void InitParams(std::string_view product_name, const std::filesystem::path& data_dir_override,
                const std::filesystem::path& download_dir_override, bool upload_install_reports);

// The code the rest of the program branches on: 5 (XP and unknown), 6
// (Vista, 7 before its release build), 7, 8, 81 (8.1), 10; otherwise the
// major version. A zero major means the version could not be read.
int WindowsVersionCode(const platform::WindowsVersion& version);

// The folders the main window computes at its creation and hands to the
// engine as the overrides.
struct StartupFolders {
  std::filesystem::path program_dir;
  std::filesystem::path windows_dir;
  std::filesystem::path system_dir;
  std::filesystem::path data_dir;  // created with its parents when absent
  std::filesystem::path documents_dir;
  std::filesystem::path default_backup_dir;    // Documents\<product>\Backup
  std::filesystem::path default_download_dir;  // Documents\<product>\Drivers
};
StartupFolders ComputeStartupFolders(std::string_view product_name = kProductFolderName);

// A host folder as Windows text with a trailing "\" ("C:\Users\Alex\").
std::string FolderText(const std::filesystem::path& folder);

}  // namespace vx
