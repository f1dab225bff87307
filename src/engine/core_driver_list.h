// The driver package lists the pages show: one entry per package file with
// the devices it serves, built from the pre-install records (".pre") and
// status files (".status") a scan leaves in BaseDir. The result list holds
// the packages offered now; the history list every package whose file is in
// the download folder, whatever its state.
//
// Main thread only. A list must not be rebuilt while a scan writes the
// pre-install records; the engine facade serialises the two.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/package_status.h"

namespace vx {

enum class DriverListKind : int {
  kResult = 0,   // packages of the latest scan that are new or downloaded
  kHistory = 1,  // packages whose file is in the download folder
};

// What the list passes along with every device it adds.
struct TExtraParams {
  bool is_connected = true;
  bool fresh = false;
  bool is_system_driver = false;
  std::string class_name;
  uint8_t state = kPackageNew;
  double download_day = 0;
  std::string device_description;  // the winning candidate's device description
  bool present = true;
};

// The values of a device's "-scan" section the lists use.
struct ScanSectionValues {
  std::string group;
  std::string file_name;  // "FName"
  std::string date1;      // installed driver's date, "mm-dd-yyyy" or "Unknown"
  std::string date2;      // package driver's date
  std::string vendor;
  std::string version1;
  std::string version2;
  std::string class_description;  // "Class"
  std::string class_guid;
  std::string description;  // the package's file description
  std::string md5_hash;
  std::string device_name;
};

class TDriverPackageEntry;

// One device a package serves.
class TDeviceEntry {
 public:
  TDeviceEntry(TDriverPackageEntry* package, const ScanSectionValues& values,
               const TExtraParams& params);

  TDriverPackageEntry* package = nullptr;  // the owning entry
  std::string device_name;                 // "DeviceName", or the winner's device description
  std::string class_guid;
  std::string date;  // installed driver's date in the user's short date format
  std::string group;
  std::string version;  // installed driver's version
  std::string class_description;
  bool is_connected = true;
  bool is_system_driver = false;
  std::string class_name;

  // Position of the device's class in the system class image list, asked
  // once; 0 (logged) when the system does not know the class.
  int ClassImageIndex() const;

 private:
  mutable int class_image_index_ = -1;
};

// One package file and the devices it serves.
class TDriverPackageEntry {
 public:
  static constexpr int kDefaultIconIndex = -1;

  TDriverPackageEntry(const ScanSectionValues& values, const TExtraParams& params,
                      std::filesystem::path download_folder);
  TDriverPackageEntry(const TDriverPackageEntry&) = delete;
  TDriverPackageEntry& operator=(const TDriverPackageEntry&) = delete;

  std::string file_name;     // "FName": the name on the download host
  std::string package_name;  // the local file name (PackageNameOf)
  std::string description;
  std::string md5_hash;
  std::string date;                 // the package driver's date in the user's short date format
  std::string vendor;               // DisplayVendor
  std::string version;              // the package driver's version
  std::vector<std::string> groups;  // distinct "Group" values in order of arrival
  std::string groups_text;          // groups joined with ", "
  uint8_t state = kPackageNew;
  bool present = true;
  bool fresh = false;
  double download_day = 0;
  std::vector<std::unique_ptr<TDeviceEntry>> devices;
  std::vector<std::string> device_names;  // one per device, in device order

  TDeviceEntry& AddDevice(const ScanSectionValues& values, const TExtraParams& params);

  // The title alone (without the vendor).
  const std::string& BareTitle() const;
  // Vendor + " - " + title, the vendor alone without a title, the title
  // alone without a vendor. Computed once.
  const std::string& Title() const;
  // The device whose class most devices share, or null when no class has
  // the majority.
  const TDeviceEntry* PrincipalDevice() const;
  // The principal device's class image index, or kDefaultIconIndex.
  int IconIndex() const;
  int SortKey() const;
  bool HasConnectedDevice() const;
  bool IsFreshAndNotInstalled() const;
  // Size of the downloaded package in bytes; 1 when it is not there, so
  // the pages never divide by zero while showing progress.
  uint64_t FileSize() const;

 private:
  std::filesystem::path download_folder_;
  mutable std::optional<std::string> bare_title_;
  mutable std::optional<std::string> title_;
  mutable std::optional<const TDeviceEntry*> principal_;
  mutable std::optional<int> sort_key_;
  mutable std::optional<bool> has_connected_;
  mutable std::optional<uint64_t> file_size_;
};

// The moment fresh records are judged against: now, and when Windows last
// started (both as the program's date-time).
struct DriverListClock {
  double now = 0;
  double windows_start = 0;
};
// Now and now minus the system's tick count.
DriverListClock CurrentDriverListClock();

// A list of package entries that owns them, sorted by descending sort key.
class TDriversList {
 public:
  TDriversList() = default;
  TDriversList(const TDriversList&) = delete;
  TDriversList& operator=(const TDriversList&) = delete;

  // Where the downloaded packages are; empty (the default) means the
  // program's download folder.
  void SetDownloadFolder(std::filesystem::path folder) { download_folder_ = std::move(folder); }
  // Fixes the clock for building; unset, each ScanPreFiles reads the system.
  void SetClock(std::optional<DriverListClock> clock) { clock_ = clock; }

  // Clears the list and reads every pre-install record of the folder.
  void ScanPreFiles(const std::filesystem::path& folder, DriverListKind kind);
  // Adds the devices of one pre-install record.
  void Scan(const std::filesystem::path& pre_file, std::string_view package_name,
            DriverListKind kind);
  void Sort();
  void Clear() { items_.clear(); }

  size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  TDriverPackageEntry& operator[](size_t i) const { return *items_[i]; }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }
  TDriverPackageEntry* Find(std::string_view package_name) const;

 private:
  void AddDevice(const ScanSectionValues& values, const TExtraParams& params);
  std::filesystem::path DownloadFolder() const;

  std::vector<std::unique_ptr<TDriverPackageEntry>> items_;
  std::filesystem::path download_folder_;
  std::optional<DriverListClock> clock_;
  std::optional<DriverListClock> scan_clock_;  // the clock of the build under way
};

// The two process-wide lists, created on first use; folder is BaseDir. A
// list is (re)built, sorted, on first use and whenever refresh is set. An
// empty folder is logged ("Empty IniPath") and leaves the list as it was.
TDriversList& GetDriverResultList(bool refresh, const std::filesystem::path& folder);
TDriversList& GetDriverHistoryList(bool refresh, const std::filesystem::path& folder);

}  // namespace vx
