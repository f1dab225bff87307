// The usage snapshot of one scan: records of driver-matching cases the
// service wants to hear about (an offer that only differs by date, by
// vendor, by version on the same day, an installed driver newer than the
// database's, and devices the database does not cover). The scan builds the
// records; sending them is the telemetry layer's business, reached through
// the upload function below so the engine does not depend on it.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/ini_file.h"
#include "engine/candidate_ranking.h"
#include "engine/driver_item.h"

namespace vx {

struct SnapshotRecord {
  std::string request_type;  // "date", "vendor", "version_2", "version", "unknown"
  std::string version_user, vendor_user, date_user;  // the installed driver; date "yyyy-mm-dd"
  std::string os_id;                                 // "10_64"
  bool has_candidate = false;
  // The candidate's values (has_candidate) ...
  std::string version_base, vendor_base, date_base, filename;
  // ... or, for both kinds, identifier, description and class.
  std::string hardid, title, group;
};

class UsageSnapshot {
 public:
  // BeginUsageSnapshot: forgets earlier records.
  void Begin(std::string_view base_date, std::string_view program_version,
             std::string_view generated, const RunningWindows& windows);
  // AddSnapshotCandidates: the records one device's candidate list gives.
  void AddCandidates(const TDriverItems& candidates, std::string_view installed_version,
                     std::string_view installed_vendor, double installed_date);
  // AddSnapshotRecord: one record, about `candidate` or (null) the device.
  void AddRecord(const TDriverItem* candidate, std::string_view installed_version,
                 std::string_view installed_vendor, std::string_view hardware_id,
                 std::string_view group, std::string_view title, std::string_view request_type,
                 double installed_date);

  bool started() const { return started_; }
  const std::string& base_date() const { return base_date_; }
  const std::vector<SnapshotRecord>& records() const { return records_; }
  // The "Snapshot.ini" content: [Settings] then one numbered section per record.
  IniFile ToIni() const;

 private:
  bool started_ = false;
  std::string base_date_, program_version_, generated_;
  RunningWindows windows_;
  std::vector<SnapshotRecord> records_;
};

// SendUsageSnapshot: handed the finished snapshot after every scan (also
// one without records: the handler marks the snapshot as handled). Empty
// until the telemetry layer installs its handler; the scan then drops it.
using SnapshotUploadFunction = std::function<void(const UsageSnapshot& snapshot)>;
void SetSnapshotUpload(SnapshotUploadFunction upload);
void SendUsageSnapshot(const UsageSnapshot& snapshot);

}  // namespace vx
