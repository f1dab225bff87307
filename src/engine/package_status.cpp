#include "engine/package_status.h"

#include <cmath>
#include <system_error>

#include "common/ini_file.h"
#include "common/text.h"

namespace vx {

std::string_view PackageStateName(uint8_t state) {
  switch (state) {
    case kPackageNew:
      return "new";
    case kPackageDownloaded:
      return "downloaded";
    case kPackagePending:
      return "pending";
    case kPackageInstalled:
      return "installed";
    case kPackageCheckAfterRestart:
      return "check after restart";
    default:
      return "unknown";
  }
}

PackageState StateFromStatus(std::string_view status, bool check_after_restart) {
  const std::string s = Trim(status);
  // An empty status must win over the restart flag: a file that lost its
  // status cannot claim an install is waiting for its check.
  if (s.empty()) return kPackageNew;
  if (SameText(s, kStatusInstalled)) return kPackageInstalled;
  if (check_after_restart) return kPackageCheckAfterRestart;
  if (SameText(s, kStatusPending)) return kPackagePending;
  if (SameText(s, kStatusDownloaded)) return kPackageDownloaded;
  return kPackageNew;
}

PackageStatus ReadPackageStatus(const std::filesystem::path& status_file, double today) {
  PackageStatus result;
  result.download_day = today;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(status_file, ec)) return result;
  IniFile ini;
  result.file_found = ini.LoadFromFile(status_file);
  result.status = Trim(ini.ReadString(kStatusSection, kStatusKeyStatus));
  result.present = ini.ReadBool(kStatusSection, kStatusKeyPresent, true);
  result.check_after_restart = ini.ReadBool(kStatusSection, kStatusKeyCheckAfterRestart, false);
  result.install_time = ini.ReadFloat(kStatusSection, kStatusKeyInstallTime, 0);
  // A day number from a damaged file must not put the download before the
  // calendar starts or after it ends; today is the honest guess then.
  const double day = ini.ReadFloat(kStatusSection, kStatusKeyDownloaded, today);
  result.download_day = (day > 0 && day < 2958466) ? std::floor(day) : today;
  result.state = StateFromStatus(result.status, result.check_after_restart);
  return result;
}

std::filesystem::path PackageStatusPath(const std::filesystem::path& folder,
                                        std::string_view package_name) {
  return folder / U8Path(std::string(package_name) + std::string(kStatusFileExtension));
}

std::filesystem::path PackagePrePath(const std::filesystem::path& folder,
                                     std::string_view package_name) {
  return folder / U8Path(std::string(package_name) + std::string(kPreFileExtension));
}

}  // namespace vx
