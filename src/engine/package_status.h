// The per-package status file (BaseDir + package name + ".status") and the
// install state the package lists derive from it. The scan, the downloader,
// the install pipeline and the after-restart check all write this file; the
// keys and words below are the only ones any of them uses.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace vx {

inline constexpr std::string_view kStatusFileExtension = ".status";
inline constexpr std::string_view kPreFileExtension = ".pre";

inline constexpr std::string_view kStatusSection = "Settings";
inline constexpr std::string_view kStatusKeyStatus = "Status";
inline constexpr std::string_view kStatusKeyPresent = "Present";
inline constexpr std::string_view kStatusKeyCheckAfterRestart = "CheckAfterRestart";
inline constexpr std::string_view kStatusKeyInstallTime = "InstallTime";
inline constexpr std::string_view kStatusKeyDownloaded = "Downloaded";

// Values of "Status".
inline constexpr std::string_view kStatusNone = "None";
inline constexpr std::string_view kStatusNew = "New";
inline constexpr std::string_view kStatusDownloaded = "Downloaded";
inline constexpr std::string_view kStatusInstalled = "Installed";
inline constexpr std::string_view kStatusPending = "Pending";

// The package state byte. 4 is not used: the numbers are shared with the
// pages, which keep their own row states beside these.
enum PackageState : uint8_t {
  kPackageNew = 0,
  kPackageDownloaded = 1,
  kPackagePending = 2,
  kPackageInstalled = 3,
  kPackageCheckAfterRestart = 5,
};

// "new", "downloaded", "pending", "installed", "check after restart";
// "unknown" for a number outside the table.
std::string_view PackageStateName(uint8_t state);

// The state for a "Status" value and the "CheckAfterRestart" flag, tested
// in this order: empty status, "Installed", the restart check, "Pending",
// "Downloaded"; anything else ("None", "New", an unknown word) is new.
// Status words compare without regard to case, as INI values are typed by
// hand in support cases.
PackageState StateFromStatus(std::string_view status, bool check_after_restart);

// What a status file says, with the defaults for missing keys.
struct PackageStatus {
  bool file_found = false;
  std::string status;  // trimmed "Status"; empty when absent
  bool present = true;
  bool check_after_restart = false;
  double install_time = 0;  // raw date-time; 0 when absent or unreadable
  double download_day = 0;  // "Downloaded"; `today` when absent or unreadable
  PackageState state = kPackageNew;
};

// Reads the file; a missing or unreadable file gives the defaults with
// file_found false (callers decide whether that is worth a log line).
PackageStatus ReadPackageStatus(const std::filesystem::path& status_file, double today);

// BaseDir + package name + ".status" / ".pre".
std::filesystem::path PackageStatusPath(const std::filesystem::path& folder,
                                        std::string_view package_name);
std::filesystem::path PackagePrePath(const std::filesystem::path& folder,
                                     std::string_view package_name);

}  // namespace vx
