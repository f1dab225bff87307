#include "engine/scan_snapshot.h"

#include <cmath>
#include <mutex>

#include "engine/driver_utils.h"

namespace vx {

namespace {

std::mutex& UploadMutex() {
  static std::mutex m;
  return m;
}
SnapshotUploadFunction& UploadFunction() {
  static SnapshotUploadFunction f;
  return f;
}

std::string IsoDate(double date) { return date > 0 ? FormatDate(date, true) : std::string(); }

bool SameDay(double a, double b) { return std::fabs(a - b) < 1.0; }

}  // namespace

void UsageSnapshot::Begin(std::string_view base_date, std::string_view program_version,
                          std::string_view generated, const RunningWindows& windows) {
  started_ = true;
  base_date_ = base_date;
  program_version_ = program_version;
  generated_ = generated;
  windows_ = windows;
  records_.clear();
}

void UsageSnapshot::AddCandidates(const TDriverItems& candidates,
                                  std::string_view installed_version,
                                  std::string_view installed_vendor, double installed_date) {
  if (!started_) return;
  for (const TDriverItem& c : candidates) {
    const bool same_version = c.version == installed_version;
    const bool same_vendor = c.vendor == installed_vendor;
    const bool same_day = SameDay(c.date, installed_date);
    auto add = [&](std::string_view type) {
      AddRecord(&c, installed_version, installed_vendor, c.hardware_id, {}, {}, type,
                installed_date);
    };
    if (same_version && same_vendor && !same_day) {
      add("date");
    } else if (same_version && !same_vendor && same_day) {
      // Only when no other candidate already carries the installed
      // version under the installed vendor: then the database does know
      // the driver and the vendor difference is just another package.
      bool other_matches = false;
      for (const TDriverItem& o : candidates)
        if (&o != &c && o.version == installed_version && o.vendor == installed_vendor)
          other_matches = true;
      if (!other_matches) add("vendor");
    } else if (!same_version && same_vendor && c.date == installed_date) {
      add("version_2");
    }
    if (installed_vendor != "MICROSOFT" &&
        VersionLess(installed_version, c.version, {}, false, windows_) &&
        !IsInboxWindowsDriver(installed_version, installed_vendor, windows_))
      add("version");
  }
}

void UsageSnapshot::AddRecord(const TDriverItem* candidate, std::string_view installed_version,
                              std::string_view installed_vendor, std::string_view hardware_id,
                              std::string_view group, std::string_view title,
                              std::string_view request_type, double installed_date) {
  if (!started_) return;
  SnapshotRecord r;
  r.request_type = request_type;
  r.version_user = installed_version;
  r.vendor_user = installed_vendor;
  r.date_user = IsoDate(installed_date);
  r.os_id = std::to_string(windows_.code) + (windows_.x64 ? "_64" : "_32");
  r.hardid = hardware_id;
  if (candidate) {
    r.has_candidate = true;
    r.version_base = candidate->version;
    r.vendor_base = candidate->vendor;
    r.date_base = IsoDate(candidate->date);
    r.title = candidate->device_description;
    r.group = candidate->file_description;
    r.filename = candidate->file_name;
  } else {
    r.title = title;
    r.group = group;
  }
  records_.push_back(std::move(r));
}

IniFile UsageSnapshot::ToIni() const {
  IniFile ini;
  ini.WriteString("Settings", "Version", "1");
  ini.WriteString("Settings", "Program", program_version_);
  ini.WriteString("Settings", "Base", base_date_);
  ini.WriteString("Settings", "Generated", generated_);
  int n = 0;
  for (const SnapshotRecord& r : records_) {
    const std::string s = std::to_string(++n);
    ini.WriteString(s, "request_type", r.request_type);
    ini.WriteString(s, "version_user", r.version_user);
    ini.WriteString(s, "vendor_user", r.vendor_user);
    ini.WriteString(s, "date_user", r.date_user);
    ini.WriteString(s, "os_id", r.os_id);
    if (r.has_candidate) {
      ini.WriteString(s, "version_base", r.version_base);
      ini.WriteString(s, "vendor_base", r.vendor_base);
      ini.WriteString(s, "date_base", r.date_base);
      ini.WriteString(s, "hardid", r.hardid);
      ini.WriteString(s, "title", r.title);
      ini.WriteString(s, "group", r.group);
      ini.WriteString(s, "filename", r.filename);
    } else {
      ini.WriteString(s, "title", r.title);
      ini.WriteString(s, "group", r.group);
      ini.WriteString(s, "hardid", r.hardid);
    }
    ini.WriteString(s, "created", "program");
  }
  return ini;
}

void SetSnapshotUpload(SnapshotUploadFunction upload) {
  std::lock_guard lock(UploadMutex());
  UploadFunction() = std::move(upload);
}

void SendUsageSnapshot(const UsageSnapshot& snapshot) {
  SnapshotUploadFunction f;
  {
    std::lock_guard lock(UploadMutex());
    f = UploadFunction();
  }
  if (f) f(snapshot);
}

}  // namespace vx
