#include "engine/core_result.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>
#include <unordered_set>
#include <vector>

#include "common/closing.h"
#include "common/date_time.h"
#include "common/locale_format.h"
#include "common/logger.h"
#include "common/params.h"
#include "common/service_endpoints.h"
#include "common/settings.h"
#include "common/text.h"
#include "engine/candidate_ranking.h"
#include "engine/core_devices_helpers.h"
#include "engine/driver_database.h"
#include "engine/driver_utils.h"
#include "engine/installed_driver.h"
#include "engine/pre_install_records.h"
#include "engine/scan_snapshot.h"
#include "platform/devices.h"
#include "platform/platform.h"

namespace vx {

namespace fs = std::filesystem;

namespace {

bool IsUnknownVersion(std::string_view v) { return v.empty() || v == "Unknown" || v == "0.0.0.0"; }
bool IsKnownVendor(std::string_view v) { return !v.empty() && v != "Unknown"; }

// A section name the scan visits: decimal digits only, small enough to
// count with ("0", "1", ...).
std::optional<int> SectionNumber(std::string_view name) {
  if (name.empty() || name.size() > 9) return std::nullopt;
  int n = 0;
  for (char c : name) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

char DecimalSeparator() {
  const std::string sep = LocaleOrDefault().decimal_separator;
  return sep.size() == 1 ? sep[0] : '.';
}

std::string DateOrUnknown(double date) {
  if (date == 0) return "Unknown";
  std::string text = FormatMmDdYyyy(date);
  return text.empty() ? "Unknown" : text;
}

std::string ShortDateOrUnknown(double date) {
  if (date == 0) return "Unknown";
  std::string text = FormatShortDate(date);
  return text.empty() ? "Unknown" : text;
}

// Removes an old output file; one that cannot be deleted is moved aside.
void RemoveOldOutput(const fs::path& path, std::string_view what) {
  std::error_code ec;
  if (!fs::exists(path, ec)) return;
  if (fs::remove(path, ec)) return;
  if (fs::is_directory(path, ec) && fs::remove_all(path, ec) > 0) return;
  fs::path aside = path;
  aside += std::to_string(platform::Sys().TickCount());
  fs::rename(path, aside, ec);
  if (ec)
    LogError("GenerateDriverResult", "Cannot delete and rename " + std::string(what) + " file",
             PathUtf8(path), static_cast<uint32_t>(ec.value()));
}


const char* Bool01(bool b) { return b ? "1" : "0"; }

// Read transactions over the look-ups of consecutive devices: the
// database's shared lock is taken once per stretch instead of once per
// statement or per device (taking it costs several file-system calls). A
// stretch ends once it is kMaxAge old, before each spreading pause and at
// the end of the scan, so a database writer waits a fraction of a second at
// most, never for a whole scan.
class LookupTransactions {
 public:
  static constexpr std::chrono::milliseconds kMaxAge{50};

  explicit LookupTransactions(SqliteDb& db) : db_(db) {}
  ~LookupTransactions() { End(); }
  LookupTransactions(const LookupTransactions&) = delete;
  LookupTransactions& operator=(const LookupTransactions&) = delete;

  // Before a device's look-ups: keeps a young transaction, else starts one.
  void Ensure() {
    const auto now = std::chrono::steady_clock::now();
    if (open_ && now - began_ < kMaxAge) return;
    End();
    open_ = db_.Exec("BEGIN") == 0;
    began_ = now;
  }
  void End() {
    if (open_ && db_.Exec("COMMIT") != 0) db_.Exec("ROLLBACK");
    open_ = false;
  }

 private:
  SqliteDb& db_;
  bool open_ = false;
  std::chrono::steady_clock::time_point began_;
};

// The decision record, built as text line by line and saved at the end.
class DecisionRecord {
 public:
  void Add(const IniFile& devices, const std::string& section, const RankingDevice& device,
           std::string_view status, const TDriverItems& candidates,
           std::optional<size_t> winner) {
    Line("[" + section + "]");
    if (devices.AppendSectionValues(section, text_, "\r\n") == 0)
      LogError("GenerateExtraSnapshot", "List empty", section);
    Line("DeviceVersion=" + std::string(device.system_driver ? "!" : "") +
         device.installed_version);
    Line("DeviceDate=" + ShortDateOrUnknown(device.installed_date));
    Line("Status=" + std::string(status));
    Line("Count=" + std::to_string(candidates.size()));
    if (winner) {
      const TDriverItem& w = candidates[*winner];
      Line("WinnerHash=" + w.file_hash + "_" + w.hardware_id + "_" + w.vendor);
      Line("Winner=" + std::to_string(*winner));
    }
    Line({});
    for (size_t i = 0; i < candidates.size(); ++i) {
      const TDriverItem& c = candidates[i];
      Line("[" + section + "-drv-" + std::to_string(i) + "]");
      Line(std::string("Winner=") + Bool01(winner && *winner == i));
      Line(std::string("IsDecline=") + Bool01(c.declined));
      Line("DeclineReason=" + c.decline_reason);
      Line("HID=" + c.hardware_id);
      Line("Version=" + c.version);
      Line("Link=" + c.file_name);
      Line("Installer=" + c.installer);
      Line("Filehash=" + c.file_hash);
      Line("FileDescription=" + c.file_description);
      Line("DeviceDescription=" + c.device_description);
      Line("Vendor=" + c.vendor);
      Line("HidVendor=" + c.hid_vendor);
      Line("NameVendor=" + c.name_vendor);
      Line("HIDindex=" + std::to_string(c.id_position));
      Line("HIDInfIndex=" + std::to_string(c.inf_line_index));
      Line("Rank=" + std::to_string(c.rank));
      Line(std::string("IsRegularHID=") + Bool01(c.from_hardware_ids));
      Line(std::string("IsFullHID=") + Bool01(c.full_id));
      Line(std::string("FoundByProvider=") + Bool01(c.found_by_provider));
      Line(std::string("FoundByManufacturer=") + Bool01(c.found_by_manufacturer));
      Line(std::string("FoundByHidVendor=") + Bool01(c.found_by_hid_vendor));
      Line(std::string("FoundByNameVendor=") + Bool01(c.found_by_name_vendor));
      Line(std::string("FoundByNoneVendor=") + Bool01(c.found_by_no_vendor));
      Line(std::string("FoundByVersion=") + Bool01(c.newer_by_version));
      Line(std::string("FoundByDate=") + Bool01(c.newer_by_date));
      Line("Date=" + FormatShortDate(c.date));
      Line({});
    }
  }

  bool empty() const { return text_.empty(); }

  // Through the INI component, so values with line breaks cannot break the
  // layout; the result is the same lines as long as the values are sane.
  // True when the file was written; `ini` then holds what it holds.
  bool Save(const fs::path& path, IniFile& ini) const {
    ini.LoadFromText(text_);
    ini.SetFileName(path);
    return ini.UpdateFile(IniUpdateLog{"GenerateDriverResult", "DevicesPlus.ini save fail",
                                       "DevicesPlus.ini save fail 2"});
  }

 private:
  void Line(std::string_view line) {
    text_ += line;
    text_ += "\r\n";
  }

  std::string text_;
};

// Sets a package's status back to an offer when it was installed before
// (a newer scan offers it again, so the installed state is stale).
void ResetPackageStatus(const std::string& package_name, const std::string& file_name) {
  IniFile status;
  if (!status.LoadFromFile(Params().base_dir / U8Path(package_name + ".status"))) return;
  std::error_code ec;
  const std::string current = status.ReadString("Settings", "Status");
  if (current != "Installed" && current != "Pending") return;
  const bool downloaded =
      !Params().download_dir.empty() && fs::exists(Params().download_dir / U8Path(file_name), ec);
  status.WriteString("Settings", "Status", downloaded ? "Downloaded" : "New");
  status.UpdateFile(IniUpdateLog{"GenerateDriverResult", "Ini.UpdateFile fail",
                                 "Ini.UpdateFile fail 2"});
}

struct ScanFiles {
  fs::path database, device_list, scan_result, decision_record;
};

}  // namespace

fs::path DefaultDeviceListPath() { return Params().base_dir / "Devices.ini"; }
fs::path DefaultScanResultPath() { return Params().base_dir / "Scan.ini"; }
fs::path DefaultDecisionRecordPath() { return Params().base_dir / "DevicesPlus.ini"; }

int GenerateDriverResult(const ScanRequest& request, const ScanCallback& callback) {
  bool cancel = false;
  auto report = [&](int status, const std::string& text, int total, int found, int index) {
    if (callback) callback(status, text, cancel, total, found, index);
  };
  const uint32_t start_tick = platform::Sys().TickCount();

  DatabaseEnv env;
  env.base_dir = Params().base_dir;
  env.windows64 = platform::Sys().IsWindows64();
  env.windows_code = Params().windows_version;
  ScanFiles files{DatabasePathOrDefault(env, request.database),
                  request.device_list.empty() ? DefaultDeviceListPath() : request.device_list,
                  request.scan_result.empty() ? DefaultScanResultPath() : request.scan_result,
                  request.decision_record.empty() ? DefaultDecisionRecordPath()
                                                  : request.decision_record};

  std::error_code ec;
  if (!fs::is_regular_file(files.database, ec)) {
    LogError("GenerateDriverResult", "BasePath not found", PathUtf8(files.database));
    report(kScanNoDatabase, {}, 0, 0, 0);
    return kScanNoDatabase;
  }
  DriverDatabase db;
  if (db.Open(files.database) != 0) {
    // An unreadable file is as good as none: nothing is changed.
    LogError("GenerateDriverResult", "Database open fail",
             PathUtf8(files.database) + " " + db.message());
    report(kScanNoDatabase, {}, 0, 0, 0);
    return kScanNoDatabase;
  }

  RunningWindows windows{Params().windows_version, env.windows64};
  std::string windows_text = request.windows_version;
  if (windows_text.empty()) windows_text = std::to_string(Params().windows_version);
  db.set_windows_code(Params().windows_version);

  IniFile devices(files.device_list);
  RemoveOldOutput(files.decision_record, "DevicesPlus.ini");
  RemoveOldOutput(files.scan_result, "Scan.ini");

  const std::string base_date = ReadDatabaseSetting(db, "date");
  const double now = NowDateTime();
  IniFile scan;
  scan.SetFileName(files.scan_result);
  scan.WriteString("Settings", "Program", Params().product_name);
  scan.WriteString("Settings", "ProgramCreated", FormatMmDdYyyy(FileModifiedDateTime(request.program_file)));
  scan.WriteString("Settings", "Generated", FormatMmDdYyyy(now));
  scan.WriteString("Settings", "GeneratedTime",
                   FormatTimePicture(LocaleOrDefault().long_time, LocalNowOrUtc()));
  scan.WriteFloat("Settings", "GeneratedRaw", now, DecimalSeparator());
  scan.WriteInteger("Settings", "Windows", Params().windows_version);
  scan.WriteBool("Settings", "x64", env.windows64);
  scan.WriteInteger("Settings", "Version", 1);
  scan.WriteString("Settings", "Base", base_date);
  scan.WriteInteger("Errors", "Dump", 0);

  UsageSnapshot snapshot;
  snapshot.Begin(base_date, std::string(kServiceBuild), FormatMmDdYyyy(now), windows);
  const bool whole_database = ReadDatabaseSetting(db, "cut") == "1";

  std::unique_ptr<platform::DeviceInfoSet> set;
  if (auto opened = platform::OpenDeviceInfoSet({})) {
    set = std::move(*opened);
  } else {
    // Without the set the installed driver nodes cannot be read; the
    // device list's own values still allow matching.
    LogError("GenerateDriverResult", "SetupDiGetClassDevs fail", {}, opened.error());
  }
  std::optional<DeviceIndex> device_index;
  if (set) device_index.emplace(*set);

  const int total = devices.ReadInteger("Settings", "UniqueDevices", 0);
  bool spreading = request.spread_seconds >= 1;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(spreading ? request.spread_seconds : 0);
  auto sleep = [&](std::chrono::milliseconds ms) {
    if (request.sleep)
      request.sleep(ms);
    else
      std::this_thread::sleep_for(ms);
  };

  DecisionRecord decisions;
  int found = 0;
  int index = 0;
  int result_section = 0;
  bool completed = false;

  try {
    std::unordered_set<std::string> visited;
    LookupTransactions lookups(db.sqlite());
    for (const std::string& section : devices.ReadSections()) {
      const auto number = SectionNumber(section);
      // A repeated section would only show the first copy's values again.
      if (!number || !visited.insert(section).second) continue;
      if (ProgramClosing()) break;
      const std::string description = devices.ReadString(section, "DeviceDescRaw");
      const std::string class_name = devices.ReadString(section, "ClassName");
      const std::string bus_description = devices.ReadString(section, "DevBusDesc");
      const std::string enum_key = Trim(devices.ReadString(section, "EnumKey"));
      report(kScanDevice, description, total, found, ++index);
      if (cancel) break;

      if (spreading) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
          spreading = false;
        } else {
          // A list whose numbers reach "UniqueDevices" divides by one: the
          // rest of the time goes to this device and the scan carries on.
          const int devices_left = std::max(1, total - *number);
          const auto wait = left / devices_left;
          if (wait.count() > 10) {
            lookups.End();
            sleep(wait);
          }
        }
      }

      // The per-device store the install pipeline writes.
      const DeviceStoreValues store = ReadDeviceStoreValues(enum_key);
      if (!base_date.empty() && store.base_date == base_date && store.status == "1") continue;

      lookups.Ensure();
      TDriverItems candidates;
      HidDoneList done_full, done_short;
      const std::string hardware_ids = Trim(devices.ReadString(section, "HardwareIDregular"));
      const std::string compatible_ids = Trim(devices.ReadString(section, "HardwareIDcompat"));
      if (!FindDriversByHID(db, candidates, hardware_ids, windows_text, done_full, whole_database,
                            true, true) ||
          !FindDriversByHID(db, candidates, hardware_ids, windows_text, done_short,
                            whole_database, false, true) ||
          !FindDriversByHID(db, candidates, compatible_ids, windows_text, done_full,
                            whole_database, true, false) ||
          !FindDriversByHID(db, candidates, compatible_ids, windows_text, done_short,
                            whole_database, false, false))
        break;  // logged; the database is no longer answering

      RankingDevice device;
      device.reg_provider = CanonicalVendor(devices.ReadString(section, "RegProvider"));
      device.dev_provider = CanonicalVendor(devices.ReadString(section, "DevProvider"));
      device.reg_manufacturer = CanonicalVendor(devices.ReadString(section, "RegManufacturer"));
      device.dev_manufacturer = CanonicalVendor(devices.ReadString(section, "DevManufacturer"));
      const std::string reg_version = Trim(devices.ReadString(section, "RegDriverVersion"));
      const std::string dev_version = Trim(devices.ReadString(section, "DevDriverVersion"));
      const double reg_date = devices.ReadFloat(section, "RegDriverDate", 0);
      const double dev_date = devices.ReadFloat(section, "DevDriverDate", 0);
      device.failed = devices.ReadBool(section, "IsFailed", false);
      device.description = description;
      device.bus_description = bus_description;
      const std::string device_class = devices.ReadString(section, "Class");

      if (candidates.empty()) {
        if (class_name != "Unknown" && device_class != "Unknown" && !device.failed) {
          std::string version = !IsUnknownVersion(dev_version) ? dev_version : reg_version;
          if (IsUnknownVersion(version)) version.clear();
          const double date = dev_date > 0 ? dev_date : reg_date > 0 ? reg_date : 0;
          const std::string vendor =
              IsKnownVendor(device.dev_provider) ? device.dev_provider : device.reg_provider;
          static const std::string_view kQuietVendors[] = {"TAP", "ORACLE", "ELDOS", "MICROSOFT"};
          const bool quiet = std::find(std::begin(kQuietVendors), std::end(kQuietVendors),
                                       vendor) != std::end(kQuietVendors);
          if (!quiet && !IsInboxWindowsDriver(version, vendor, windows)) {
            const std::string first_id =
                SplitHardwareIds(hardware_ids).empty() ? std::string()
                                                       : SplitHardwareIds(hardware_ids).front();
            snapshot.AddRecord(nullptr, version, vendor, first_id, class_name, description,
                               "unknown", date);
          }
        }
        continue;
      }

      std::string drv_provider = devices.ReadString(section, "DrvProvider");
      std::string drv_manufacturer = devices.ReadString(section, "DrvManufacturer");
      std::string drv_version = devices.ReadString(section, "DrvDriverVersion");
      double drv_date = devices.ReadFloat(section, "DrvDriverDate", 0);
      if (drv_provider.empty() && drv_manufacturer.empty() && drv_version.empty() &&
          drv_date == 0 && device_index) {
        double date = 0;
        std::string version, manufacturer, provider;
        if (GetDriverParameters(*device_index, enum_key, scan, date, version, manufacturer,
                                provider)) {
          drv_provider = provider;
          drv_manufacturer = manufacturer;
          drv_version = version;
          drv_date = date;
          devices.WriteString(section, "DrvProvider", provider);
          devices.WriteString(section, "DrvManufacturer", manufacturer);
          devices.WriteString(section, "DrvDriverVersion", version);
          if (!IsUnknownVersion(version)) devices.WriteString(section, "DriverVersion", version);
          devices.WriteFloat(section, "DrvDriverDate", date, DecimalSeparator());
        }
      }
      device.drv_provider = CanonicalVendor(drv_provider);
      device.drv_manufacturer = CanonicalVendor(drv_manufacturer);

      std::string installed_version = !IsUnknownVersion(drv_version)   ? drv_version
                                      : !IsUnknownVersion(dev_version) ? dev_version
                                                                       : reg_version;
      if (IsUnknownVersion(installed_version)) installed_version.clear();
      device.installed_version = installed_version;
      device.installed_date = drv_date > 0 ? drv_date : dev_date > 0 ? dev_date : reg_date > 0 ? reg_date : 0;
      device.installed_vendor = IsKnownVendor(device.drv_provider)   ? device.drv_provider
                                : IsKnownVendor(device.dev_provider) ? device.dev_provider
                                                                     : device.reg_provider;
      DeriveDeviceFlags(device, class_name, device_class, windows);

      AssignHidVendors(candidates, DeviceVendorByCodes(db, hardware_ids),
                       [&](std::string_view id) { return VendorByCode(db, id); });
      CheckVendorPlausibility(candidates, device);
      snapshot.AddCandidates(candidates, device.installed_version, device.installed_vendor,
                             device.installed_date);

      const RankingOutcome outcome = RankAndSelect(candidates, device, windows);
      if (outcome.status != RankingStatus::kWinner || !outcome.winner) {
        decisions.Add(devices, section, device, RankingStatusText(outcome.status), candidates,
                      std::nullopt);
        continue;
      }
      const TDriverItem& winner = candidates[*outcome.winner];
      const std::string class_key = devices.ReadString(section, "ClassKey");
      bool pending = false;
      if (!winner.file_hash.empty() && store.version == winner.file_hash) {
        pending = true;
        if (store.status == "1") {
          decisions.Add(devices, section, device, "Pending", candidates, outcome.winner);
          continue;
        }
      }
      decisions.Add(devices, section, device, "Success", candidates, outcome.winner);
      const std::string out = std::to_string(++result_section);
      if (!pending) ++found;

      const std::string package_name = PackageNameOf(winner.file_name);
      std::string name = devices.ReadString(section, "DeviceDescRaw");
      if (name.empty()) name = bus_description;
      if (!name.empty()) scan.WriteString(out, "DeviceName", name);
      scan.WriteString(out, "FName", winner.file_name);
      scan.WriteString(out, "PackageName", package_name);
      if (!pending && !package_name.empty()) ResetPackageStatus(package_name, winner.file_name);
      scan.WriteString(out, "AltFName", winner.file_name);
      scan.WriteString(out, "Date1", DateOrUnknown(device.installed_date));
      scan.WriteFloat(out, "Date1Raw", device.installed_date, DecimalSeparator());
      scan.WriteString(out, "Date2", DateOrUnknown(winner.date));
      scan.WriteString(out, "Vendor", winner.vendor);
      scan.WriteString(out, "Version1",
                       IsUnknownVersion(device.installed_version) ? "Unknown"
                                                                  : device.installed_version);
      scan.WriteString(out, "Version2",
                       IsUnknownVersion(winner.version) ? "Unknown" : winner.version);
      scan.WriteString(out, "Installer", winner.installer);
      scan.WriteString(out, "Description", winner.file_description);
      for (const char* key : {"Class", "ClassName", "ClassGUID", "InfPath", "InfSection",
                              "IsConnected"})
        scan.WriteString(out, key, devices.ReadString(section, key));
      scan.WriteString(out, "HardId", winner.hardware_id);
      scan.WriteString(out, "HardIdRaw", winner.raw_id);
      scan.WriteString(out, "Md5Hash", winner.file_hash);
      scan.WriteBool(out, "FullHID", winner.full_id);
      scan.WriteString(out, "DeviceIniSection", section);
      scan.WriteString(out, "EnumKey", enum_key);
      scan.WriteString(out, "ClassKey", class_key);
      scan.WriteString(out, "BaseDate", base_date);
      scan.WriteBool(out, "IsPending", pending);
      scan.WriteBool(out, "IsSystemDriver", device.system_driver);
    }
    completed = true;
  } catch (const std::exception& e) {
    LogError("GenerateDriverResult", "Common error", e.what());
  } catch (...) {
    LogError("GenerateDriverResult", "Common error", "unknown exception");
  }

  // Finish: every output is completed and saved, whatever stopped the loop.
  db.Close();
  devices.UpdateFile(IniUpdateLog{"GenerateDriverResult", "Devices.ini save fail",
                                  "Devices.ini save fail 2"});
  device_index.reset();
  set.reset();
  IniFile saved_record;
  const bool record_saved = !decisions.empty() && decisions.Save(files.decision_record, saved_record);
  scan.WriteInteger("Settings", "TimeToGenerate",
                    static_cast<int32_t>(platform::Sys().TickCount() - start_tick));
  scan.UpdateFile(IniUpdateLog{"GenerateDriverResult", "Scan.ini save fail",
                               "Scan.ini save fail 2"});
  SendUsageSnapshot(snapshot);
  // A record that could not be saved is read back as the file stands.
  CreateInstallSnapshots(Params().base_dir, files.scan_result, files.decision_record,
                         record_saved ? &saved_record : nullptr);
  const int status = cancel ? kScanCancelled : kScanFinished;
  report(status, {}, total, found, 0);
  if (completed && !cancel && request.diagnostic_archive) CreateDebugBackup("scan");
  return status;
}

}  // namespace vx
