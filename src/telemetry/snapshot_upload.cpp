#include "telemetry/snapshot_upload.h"

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "common/closing.h"
#include "common/logger.h"
#include "common/params.h"
#include "common/service_endpoints.h"
#include "common/text.h"
#include "platform/http_upload.h"
#include "platform/platform.h"
#include "telemetry/service_client.h"

namespace vx {

namespace {

namespace fs = std::filesystem;

struct SnapshotState {
  std::mutex mu;
  std::optional<bool> active;  // decided once per run
  std::condition_variable uploads_done;
  int uploads = 0;
};

SnapshotState& State() {
  static SnapshotState s;
  return s;
}

bool Exists(const fs::path& p) {
  std::error_code ec;
  return fs::exists(p, ec);
}

bool DecideActive() {
  const fs::path& base = Params().base_dir;
  if (base.empty()) return false;
  if (Exists(base / kSnapshotFileName) || Exists(base / kSnapshotMarkerName)) return false;
  if (!platform::IsAttached()) return false;
  return StartsWithText(platform::Sys().Locale().language_name, "English");
}

void Upload(fs::path file) {
  if (ProgramClosing() || !Exists(file)) return;
  std::ifstream in(file, std::ios::binary);
  std::ostringstream data;
  data << in.rdbuf();
  if (!in) return;
  TelemetryTargets t = CurrentTelemetryTargets();
  platform::MultipartPost post;
  SplitHostPort(t.hosts.snapshot, kServiceHttpPort, post.host, post.port);
  post.path = std::string(kSnapshotPath);
  post.agent = std::string(kEngineAgent);
  post.timeout_ms = t.timeout_ms;
  post.files.push_back({std::string(kSnapshotField), std::string(kSnapshotFileName),
                        std::string(kUploadContentType), data.str()});
  // The reply means nothing to the program and a failure changes nothing:
  // the marker already says the snapshot was handled.
  platform::PostMultipart(post);
}

void StartUpload(fs::path file) {
  SnapshotState& s = State();
  {
    std::lock_guard lock(s.mu);
    ++s.uploads;
  }
  std::thread([file = std::move(file)] {
    Upload(file);
    SnapshotState& st = State();
    std::lock_guard lock(st.mu);
    --st.uploads;
    st.uploads_done.notify_all();
  }).detach();
}

}  // namespace

bool UsageSnapshotActive() {
  SnapshotState& s = State();
  std::lock_guard lock(s.mu);
  if (!s.active) s.active = DecideActive();
  return *s.active;
}

void InstallSnapshotUpload() {
  SetSnapshotUpload([](const UsageSnapshot& snapshot) { HandleUsageSnapshot(snapshot); });
}

bool HandleUsageSnapshot(const UsageSnapshot& snapshot) {
  if (!snapshot.started() || !UsageSnapshotActive()) return true;
  {
    // Handled once: later scans of this run leave it alone, as later runs
    // do because of the marker.
    std::lock_guard lock(State().mu);
    State().active = false;
  }
  const fs::path base = Params().base_dir;
  bool ok = true;
  if (!snapshot.records().empty()) {
    fs::path file = base / kSnapshotFileName;
    uint32_t code = 0;
    if (snapshot.ToIni().SaveToFile(file, code)) {
      StartUpload(file);
    } else {
      LogError("SendUsageSnapshot", "Save fail", PathUtf8(file), code);
      ok = false;
    }
  }
  {
    std::ofstream marker(base / kSnapshotMarkerName, std::ios::binary | std::ios::trunc);
    if (!marker) {
      LogError("SendUsageSnapshot", "Marker fail", PathUtf8(base / kSnapshotMarkerName));
      ok = false;
    }
  }
  // The snapshot closes the scan's diagnostics; the next StartLog opens a
  // new log.
  StopLog();
  return ok;
}

bool WaitForSnapshotUploads(std::chrono::milliseconds limit) {
  SnapshotState& s = State();
  std::unique_lock lock(s.mu);
  return s.uploads_done.wait_for(lock, limit, [&] { return s.uploads == 0; });
}

void ResetUsageSnapshotState() {
  std::lock_guard lock(State().mu);
  State().active.reset();
}

}  // namespace vx
