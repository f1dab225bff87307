// vantrix scan: device inventory (or a replayed "Devices.ini"), the scan
// against the database in BaseDir, and the offered updates.
#include <algorithm>
#include <memory>
#include <optional>

#include "app/console/console_commands.h"
#include "app/console/console_options.h"
#include "app/console/json_writer.h"
#include "app/console/progress_bar.h"
#include "app/console/scan_report.h"
#include "common/params.h"
#include "common/text.h"
#include "engine/core_devices.h"
#include "engine/core_result.h"
#include "engine/driver_database.h"
#include "platform/platform.h"

namespace vx::console {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage = "usage: vantrix [--machine DIR] scan [--device-list FILE] [--json]\n";

void PrintTable(std::ostream& out, const std::vector<ScanUpdate>& updates) {
  if (updates.empty()) {
    out << "No driver updates offered.\n";
    return;
  }
  out << updates.size() << (updates.size() == 1 ? " update" : " updates") << " offered:\n";
  for (const ScanUpdate& u : updates) {
    std::string device = u.Value("DeviceName");
    if (device.empty()) device = "(device " + u.Value("DeviceIniSection") + ")";
    out << "\n  " << device << (u.Value("IsPending") == "1" ? "  [installed, not confirmed]" : "")
        << "\n"
        << "    installed: " << u.Value("Version1") << "  " << u.Value("Date1") << "\n"
        << "    offered:   " << u.Value("Version2") << "  " << u.Value("Date2") << "  "
        << u.Value("Vendor") << "\n"
        << "    package:   " << u.Value("FName") << "\n";
  }
}

void PrintJson(std::ostream& out, int status, int found, const std::vector<ScanUpdate>& updates,
               const std::vector<DeviceDecision>& decisions) {
  JsonWriter json(out);
  json.BeginObject();
  json.Field("status", status == kScanCancelled ? "cancelled" : "finished");
  json.Field("found", found);
  json.Key("updates").BeginArray();
  for (const ScanUpdate& u : updates) {
    json.BeginObject();
    for (const auto& [k, v] : u.keys) json.Field(k, v);
    json.EndObject();
  }
  json.EndArray();
  json.Key("declined").BeginArray();
  for (const DeviceDecision& d : decisions) {
    const std::string decision = d.Value("Status");
    if (decision == "Success") continue;
    json.BeginObject()
        .Field("DeviceIniSection", d.section)
        .Field("DeviceName", d.Value("DeviceDescRaw"))
        .Field("EnumKey", d.Value("EnumKey"))
        .Field("Status", decision)
        .Field("Count", d.Value("Count"))
        .EndObject();
  }
  json.EndArray();
  json.EndObject();
}

}  // namespace

int ScanCommand(ConsoleContext& context, const std::vector<std::string>& args) {
  CommandArgs parsed;
  std::string error;
  if (!ParseCommandArgs(args, {"--device-list"}, {}, parsed, error) ||
      !parsed.positional.empty()) {
    context.Err() << "vantrix scan: " << (error.empty() ? "unexpected argument " + parsed.positional[0] : error)
                  << "\n" << kUsage;
    return kExitUsage;
  }
  std::optional<fs::path> replay;
  if (auto it = parsed.values.find("--device-list"); it != parsed.values.end()) {
    replay = U8Path(it->second);
    std::error_code ec;
    if (!fs::is_regular_file(*replay, ec)) {
      context.Err() << "vantrix scan: no device list " << it->second
                    << "; give the path of a saved Devices.ini\n";
      return kExitUsage;
    }
  }
  if (!StartEngine(context, error)) {
    context.Err() << "vantrix: " << error << "\n";
    return kExitFailure;
  }

  DatabaseEnv env;
  env.base_dir = Params().base_dir;
  env.windows64 = platform::Sys().IsWindows64();
  env.windows_code = Params().windows_version;
  const fs::path database = DefaultDatabasePath(env);
  std::error_code ec;
  if (!fs::is_regular_file(database, ec)) {
    context.Err() << "vantrix scan: no driver database at " << PathUtf8(database)
                  << "; download one with \"vantrix update-db\" or copy "
                  << DatabaseFileName(env.windows64) << " there\n";
    return kExitNoDatabase;
  }
  if (!QuickCheckDatabase(env)) {
    context.Err() << "vantrix scan: the driver database " << PathUtf8(database)
                  << " is damaged or not for this Windows; replace it (\"vantrix update-db\")\n";
    return kExitNoDatabase;
  }

  const fs::path device_list = DefaultDeviceListPath();
  if (replay) {
    // The replay becomes the current device list: the scan writes the
    // installed-driver facts back into it, and the user's copy stays as given.
    if (!fs::equivalent(*replay, device_list, ec)) {
      fs::copy_file(*replay, device_list, fs::copy_options::overwrite_existing, ec);
      if (ec) {
        context.Err() << "vantrix scan: cannot copy " << PathUtf8(*replay) << " to "
                      << PathUtf8(device_list) << ": " << ec.message() << "\n";
        return kExitFailure;
      }
    }
  } else {
    if (context.progress) context.Err() << "Taking the device inventory...\r" << std::flush;
    DeviceListOptions list_options;
    list_options.program_file = context.program_file;
    if (!GenerateDevicesList(kDevicesFileName, list_options)) {
      context.Err() << "vantrix scan: the device inventory failed; see the event log in "
                    << PathUtf8(Params().base_dir) << "\n";
      return kExitFailure;
    }
  }

  std::unique_ptr<ProgressBar> bar;
  if (context.progress) bar = std::make_unique<ProgressBar>(context.Err());
  int found = 0;
  ScanRequest request;
  request.program_file = context.program_file;
  const int status = GenerateDriverResult(
      request, [&](int s, const std::string& text, bool& cancel, int total, int found_so_far,
                   int index) {
        found = found_so_far;
        if (s == kScanDevice && bar) bar->Update(index, total, text);
        if (context.Cancelled()) cancel = true;
      });
  bar.reset();

  if (status == kScanNoDatabase) {
    context.Err() << "vantrix scan: the driver database could not be opened; replace it "
                     "(\"vantrix update-db\")\n";
    return kExitNoDatabase;
  }
  const auto updates = ReadScanUpdates(DefaultScanResultPath());
  if (context.json) {
    PrintJson(context.Out(), status, found, updates, ReadDecisions(DefaultDecisionRecordPath()));
  } else {
    PrintTable(context.Out(), updates);
  }
  if (status == kScanCancelled) {
    context.Err() << "vantrix scan: cancelled; the results above cover the devices scanned so far\n";
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace vx::console
