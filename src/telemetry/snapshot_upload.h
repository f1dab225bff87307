// The one-time usage snapshot's delivery. The scan builds the records
// (engine/scan_snapshot.h) and hands the finished snapshot over after every
// scan; this side decides whether the snapshot is wanted at all, writes
// "Snapshot.ini" and the "snapshot_send" marker in BaseDir, and uploads the
// file on a short-lived thread.
#pragma once

#include <chrono>
#include <filesystem>
#include <string_view>

#include "engine/scan_snapshot.h"

namespace vx {

inline constexpr std::string_view kSnapshotFileName = "Snapshot.ini";
inline constexpr std::string_view kSnapshotMarkerName = "snapshot_send";

// Whether this run takes part: neither file is in BaseDir yet and the
// user's interface language is English. Decided at the first call of the
// run and kept.
bool UsageSnapshotActive();

// Installs HandleUsageSnapshot as the scan's snapshot receiver.
void InstallSnapshotUpload();

// What the scan hands over. When active: with records, write
// "Snapshot.ini" and start its upload; in any case create the marker and
// stop the event log. Inactive runs do nothing, and a handled snapshot is
// not handled again in the same run. False when a file could not be written.
bool HandleUsageSnapshot(const UsageSnapshot& snapshot);

// Waits for running uploads; false when some still run after the wait.
bool WaitForSnapshotUploads(std::chrono::milliseconds limit);

// Forgets the run's decision (a new run in the same process, as in tests).
void ResetUsageSnapshotState();

}  // namespace vx
