#include "engine/core_driver_list.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <system_error>
#include <utility>

#include "common/date_time.h"
#include "common/ini_file.h"
#include "common/locale_format.h"
#include "common/logger.h"
#include "common/params.h"
#include "common/text.h"
#include "engine/driver_utils.h"
#include "engine/package_title.h"
#include "platform/devices.h"
#include "platform/platform.h"

namespace vx {
namespace fs = std::filesystem;

namespace {

constexpr double kMillisecondsPerDay = 86400000.0;

// Sort weights of the principal device's class: the classes users care
// about most come first on the pages.
constexpr std::array<std::pair<std::string_view, int>, 7> kClassWeights{{
    {"video", 1},
    {"audio", 2},
    {"media", 3},
    {"printer", 4},
    {"display", 5},
    {"image", 6},
    {"game", 7},
}};
constexpr int kOtherClassWeight = 49;

std::string ShortDateFormat() {
  std::string format = LocaleOrDefault().short_date;
  return format.empty() ? std::string(kDefaultShortDateFormat) : format;
}

std::string Join(const std::vector<std::string>& items, std::string_view separator) {
  std::string out;
  for (const std::string& item : items) {
    if (!out.empty()) out += separator;
    out += item;
  }
  return out;
}

// Whether a pre-install record is younger than the running Windows session,
// or than a day when the session is older: such packages are marked fresh
// on the pages.
bool IsFresh(double generated, const DriverListClock& clock) {
  if (!(generated > 0)) return false;
  return generated > clock.windows_start || clock.now - generated < 1.0;
}

ScanSectionValues ReadScanSection(const IniFile& ini, const std::string& section) {
  ScanSectionValues v;
  v.group = ini.ReadString(section, "Group");
  v.file_name = ini.ReadString(section, "FName");
  v.date1 = ini.ReadString(section, "Date1");
  v.date2 = ini.ReadString(section, "Date2");
  v.vendor = ini.ReadString(section, "Vendor");
  v.version1 = ini.ReadString(section, "Version1");
  v.version2 = ini.ReadString(section, "Version2");
  v.class_description = ini.ReadString(section, "Class");
  v.class_guid = ini.ReadString(section, "ClassGUID");
  v.description = ini.ReadString(section, "Description");
  v.md5_hash = ini.ReadString(section, "Md5Hash");
  v.device_name = ini.ReadString(section, "DeviceName");
  return v;
}

}  // namespace

// --- TDeviceEntry ----------------------------------------------------------

TDeviceEntry::TDeviceEntry(TDriverPackageEntry* owner, const ScanSectionValues& values,
                           const TExtraParams& params)
    : package(owner),
      device_name(values.device_name.empty() ? params.device_description : values.device_name),
      class_guid(values.class_guid),
      date(LocaliseDate(values.date1, ShortDateFormat())),
      group(values.group),
      version(values.version1),
      class_description(values.class_description),
      is_connected(params.is_connected),
      is_system_driver(params.is_system_driver),
      class_name(params.class_name) {}

int TDeviceEntry::ClassImageIndex() const {
  if (class_image_index_ >= 0) return class_image_index_;
  Result<int> index = platform::IsAttached() ? platform::ClassImageIndex(class_guid)
                                             : Result<int>::Fail(platform::kErrorInvalidClass);
  if (index) {
    class_image_index_ = std::max(0, *index);
  } else {
    LogError("TDeviceEntry.GetIcon", "SetupDiGetClassImageIndex fail", class_guid, index.error());
    class_image_index_ = 0;
  }
  return class_image_index_;
}

// --- TDriverPackageEntry ---------------------------------------------------

TDriverPackageEntry::TDriverPackageEntry(const ScanSectionValues& values,
                                         const TExtraParams& params, fs::path download_folder)
    : file_name(values.file_name),
      package_name(PackageNameOf(values.file_name)),
      description(values.description),
      md5_hash(values.md5_hash),
      date(LocaliseDate(values.date2, ShortDateFormat())),
      vendor(DisplayVendor(values.vendor)),
      version(values.version2),
      state(params.state),
      present(params.present),
      fresh(params.fresh),
      download_day(params.download_day),
      download_folder_(std::move(download_folder)) {}

TDeviceEntry& TDriverPackageEntry::AddDevice(const ScanSectionValues& values,
                                             const TExtraParams& params) {
  if (!values.group.empty() &&
      std::find(groups.begin(), groups.end(), values.group) == groups.end()) {
    groups.push_back(values.group);
    groups_text = Join(groups, ", ");
  }
  devices.push_back(std::make_unique<TDeviceEntry>(this, values, params));
  device_names.push_back(devices.back()->device_name);
  return *devices.back();
}

const std::string& TDriverPackageEntry::BareTitle() const {
  if (bare_title_) return *bare_title_;
  std::string title;
  if (device_names.size() == 1) {
    title = CleanTitle(device_names.front(), vendor);
  } else if (!Trim(description).empty()) {
    title = CleanTitle(description, vendor);
  } else {
    title = CommonWordsTitle(device_names, vendor);
  }
  if (title.empty()) title = groups_text;
  bare_title_ = std::move(title);
  return *bare_title_;
}

const std::string& TDriverPackageEntry::Title() const {
  if (title_) return *title_;
  const std::string& bare = BareTitle();
  if (bare.empty()) {
    title_ = vendor;
  } else if (vendor.empty()) {
    title_ = bare;  // " - title" would only show a stray dash
  } else {
    title_ = vendor + " - " + bare;
  }
  return *title_;
}

const TDeviceEntry* TDriverPackageEntry::PrincipalDevice() const {
  if (principal_) return *principal_;
  // Devices by class image index, in the order the indexes first appear.
  std::vector<std::pair<int, std::vector<const TDeviceEntry*>>> by_index;
  for (const auto& device : devices) {
    const int index = device->ClassImageIndex();
    auto it = std::find_if(by_index.begin(), by_index.end(),
                           [&](const auto& group) { return group.first == index; });
    if (it == by_index.end()) {
      by_index.push_back({index, {device.get()}});
    } else {
      it->second.push_back(device.get());
    }
  }
  const size_t majority = (devices.size() / 3) * 2;
  const TDeviceEntry* principal = nullptr;
  for (const auto& group : by_index) {
    if (group.second.size() > majority) {
      principal = group.second.front();
      break;
    }
  }
  principal_ = principal;
  return principal;
}

int TDriverPackageEntry::IconIndex() const {
  const TDeviceEntry* principal = PrincipalDevice();
  return principal != nullptr ? principal->ClassImageIndex() : kDefaultIconIndex;
}

int TDriverPackageEntry::SortKey() const {
  if (sort_key_) return *sort_key_;
  int key = kOtherClassWeight;
  if (const TDeviceEntry* principal = PrincipalDevice()) {
    const std::string class_name = LowerCase(principal->class_name);
    for (const auto& [name, weight] : kClassWeights) {
      if (class_name == name) key = weight;
    }
  }
  switch (state) {
    case kPackageNew:
    case kPackageDownloaded:
      if (!HasConnectedDevice()) key += 50;
      if (!present) key += 2000;
      break;
    case kPackagePending:
      key += 400;
      break;
    case kPackageInstalled:
      key += 300;
      break;
    case kPackageCheckAfterRestart:
      key += 200;
      break;
    default:
      break;
  }
  if (!present) key += 2000;
  sort_key_ = key;
  return key;
}

bool TDriverPackageEntry::HasConnectedDevice() const {
  if (!has_connected_) {
    has_connected_ = std::any_of(devices.begin(), devices.end(),
                                 [](const auto& device) { return device->is_connected; });
  }
  return *has_connected_;
}

bool TDriverPackageEntry::IsFreshAndNotInstalled() const {
  return fresh && state < kPackageInstalled;
}

uint64_t TDriverPackageEntry::FileSize() const {
  if (file_size_) return *file_size_;
  std::error_code ec;
  const fs::path file = download_folder_ / U8Path(package_name);
  uint64_t size = 1;
  if (!package_name.empty() && fs::is_regular_file(file, ec)) {
    const auto bytes = fs::file_size(file, ec);
    if (!ec) size = bytes;
  }
  file_size_ = size;
  return size;
}

// --- TDriversList ----------------------------------------------------------

DriverListClock CurrentDriverListClock() {
  DriverListClock clock;
  clock.now = NowDateTime();
  clock.windows_start = clock.now;
  if (platform::IsAttached()) {
    clock.windows_start = clock.now - platform::Sys().TickCount() / kMillisecondsPerDay;
  }
  return clock;
}

fs::path TDriversList::DownloadFolder() const {
  return download_folder_.empty() ? Params().download_dir : download_folder_;
}

TDriverPackageEntry* TDriversList::Find(std::string_view package_name) const {
  for (const auto& item : items_) {
    if (SameText(item->package_name, package_name)) return item.get();
  }
  return nullptr;
}

void TDriversList::ScanPreFiles(const fs::path& folder, DriverListKind kind) {
  Clear();
  std::error_code ec;
  std::vector<std::pair<std::string, fs::path>> records;  // package name, path
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = PathUtf8(it->path().filename());
    if (name.size() <= kPreFileExtension.size()) continue;
    const std::string_view ext =
        std::string_view(name).substr(name.size() - kPreFileExtension.size());
    if (!SameText(ext, kPreFileExtension)) continue;
    std::error_code type_ec;
    if (!it->is_regular_file(type_ec)) continue;
    records.emplace_back(name.substr(0, name.size() - kPreFileExtension.size()), it->path());
  }
  if (ec) {
    LogError("TDriversList.ScanPreFiles", "Cannot list folder", PathUtf8(folder),
             static_cast<uint32_t>(ec.value()));
  }
  // Directory order differs between file systems; the lists must not.
  std::sort(records.begin(), records.end(),
            [](const auto& a, const auto& b) { return LowerCase(a.first) < LowerCase(b.first); });

  scan_clock_ = clock_ ? *clock_ : CurrentDriverListClock();
  for (const auto& [package_name, path] : records) {
    if (!fs::exists(PackageStatusPath(folder, package_name), ec)) {
      LogError("TDriversList.ScanPreFiles", "Status file not found", package_name);
      continue;
    }
    Scan(path, package_name, kind);
  }
  scan_clock_.reset();
}

void TDriversList::Scan(const fs::path& pre_file, std::string_view package_name,
                        DriverListKind kind) {
  std::error_code ec;
  if (kind == DriverListKind::kHistory &&
      !fs::is_regular_file(DownloadFolder() / U8Path(package_name), ec)) {
    return;
  }

  const DriverListClock clock = scan_clock_ ? *scan_clock_
                                : clock_    ? *clock_
                                            : CurrentDriverListClock();
  const fs::path status_file = PackageStatusPath(pre_file.parent_path(), package_name);
  const PackageStatus status = ReadPackageStatus(status_file, DateOf(clock.now));
  if (status.status.empty()) {
    // The package still shows, as new: the record says what it offers, only
    // its progress is unknown.
    LogError("TDriversList.Scan", "Status file not found", PathUtf8(status_file));
  }

  IniFile pre;
  if (!pre.LoadFromFile(pre_file)) {
    LogError("TDriversList.Scan", "Pre-install record not readable", PathUtf8(pre_file));
    return;
  }
  const bool fresh = IsFresh(pre.ReadFloat("Settings", "Generated", 0), clock);

  int device_sections = 0;
  for (const std::string& section : pre.ReadSections()) {
    const size_t cut = section.find("-scan");
    if (cut == std::string::npos) continue;
    ++device_sections;
    const std::string device_section = section.substr(0, cut);
    const std::string winner_section =
        device_section + "-drv-" + pre.ReadString(device_section, "Winner");

    uint8_t state = status.state;
    if (state == kPackageNew && pre.ReadBool(section, "IsPending", false)) state = kPackagePending;
    if (kind == DriverListKind::kResult &&
        !(status.present && (state == kPackageNew || state == kPackageDownloaded))) {
      continue;
    }

    TExtraParams params;
    params.is_connected = pre.ReadBool(section, "IsConnected", true);
    params.class_name = pre.ReadString(section, "ClassName");
    params.is_system_driver = pre.ReadBool(section, "IsSystemDriver", false);
    params.present = status.present;
    params.fresh = fresh;
    params.download_day = status.download_day;
    params.device_description = pre.ReadString(winner_section, "DeviceDescription");
    params.state = state;

    ScanSectionValues values = ReadScanSection(pre, section);
    if (Trim(values.file_name).empty()) {
      // A cut-off record still belongs to the package it is named after.
      LogError("TDriversList.Scan", "FName empty", PathUtf8(pre_file) + " [" + section + "]");
      values.file_name = std::string(package_name);
    }
    AddDevice(values, params);
  }
  if (device_sections == 0) {
    LogError("TDriversList.Scan", "No device sections", PathUtf8(pre_file));
  }
}

void TDriversList::AddDevice(const ScanSectionValues& values, const TExtraParams& params) {
  TDriverPackageEntry* entry = Find(PackageNameOf(values.file_name));
  if (entry == nullptr) {
    items_.push_back(std::make_unique<TDriverPackageEntry>(values, params, DownloadFolder()));
    entry = items_.back().get();
  }
  entry->AddDevice(values, params);
}

void TDriversList::Sort() {
  // Stable, so packages with equal keys keep the order they were read in
  // and the pages do not reshuffle them between refreshes.
  std::stable_sort(items_.begin(), items_.end(), [](const auto& left, const auto& right) {
    return left->SortKey() > right->SortKey();
  });
}

// --- The process-wide lists ------------------------------------------------

namespace {

struct SharedList {
  TDriversList list;
  bool built = false;
};

TDriversList& GetSharedList(SharedList& shared, bool refresh, const fs::path& folder,
                            DriverListKind kind, std::string_view tag) {
  if (folder.empty()) {
    // Listing "" would read the working folder, which holds no records.
    LogError(tag, "Empty IniPath");
    return shared.list;
  }
  if (refresh || !shared.built) {
    shared.list.ScanPreFiles(folder, kind);
    shared.list.Sort();
    shared.built = true;
  }
  return shared.list;
}

}  // namespace

TDriversList& GetDriverResultList(bool refresh, const fs::path& folder) {
  static SharedList shared;
  return GetSharedList(shared, refresh, folder, DriverListKind::kResult, "GetDriverResultList");
}

TDriversList& GetDriverHistoryList(bool refresh, const fs::path& folder) {
  static SharedList shared;
  return GetSharedList(shared, refresh, folder, DriverListKind::kHistory, "GetDriverHistoryList");
}

}  // namespace vx
