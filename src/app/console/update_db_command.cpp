// vantrix update-db: runs the database updater the result page runs before
// a scan, with the console's loop serving the updater's notifications.
#include "app/console/update_db_command.h"

#include <memory>

#include "app/console/console_options.h"
#include "app/console/json_writer.h"
#include "app/console/progress_bar.h"
#include "common/params.h"
#include "common/text.h"
#include "engine/main_thread.h"
#include "platform/platform.h"
#include "updates/core_updater.h"

namespace vx::console {

namespace {

const char* ResultName(int code) {
  switch (code) {
    case kExitDbUpdated: return "updated";
    case kExitDbUpToDate: return "up-to-date";
    case kExitDbKept: return "failed-previous-kept";
    default: return "failed-no-database";
  }
}

}  // namespace

int UpdateDbCommand(ConsoleContext& context, const std::vector<std::string>& args) {
  CommandArgs parsed;
  std::string error;
  if (!ParseCommandArgs(args, {}, {"--force"}, parsed, error) || !parsed.positional.empty()) {
    context.Err() << "vantrix update-db: " << (error.empty() ? "unexpected argument" : error)
                  << "\nusage: vantrix [--machine DIR] update-db " << kUpdateDbUsage << "\n";
    return kExitUsage;
  }
  if (!StartEngine(context, error)) {
    context.Err() << "vantrix: " << error << "\n";
    return kExitFailure;
  }

  PumpedMainThread main;
  UpdaterConfig config = ProgramUpdaterConfig(main);
  config.force = parsed.switches.count("--force") > 0;
  DatabaseUpdater updater(config);

  std::unique_ptr<ProgressBar> bar;
  if (context.progress && !context.json) bar = std::make_unique<ProgressBar>(context.Err());
  int last_code = -1;
  bool cancelled = false;
  auto callback = [&](int code, int32_t position, bool* cancel, int32_t total) {
    last_code = code;
    if (context.Cancelled()) {
      *cancel = true;
      cancelled = true;
    }
    if (!bar) return;
    if (code == kUpdateProgress) {
      bar->Update(position / 1024, total / 1024, "Downloading the driver database (KiB)");
    } else if (code == kUpdateExtracting) {
      bar->Update(0, 0, "Extracting and indexing");
    } else {
      bar->Clear();
    }
  };

  bool exists = false;
  int result;
  if (!updater.UpdateDriverBases(exists, callback)) {
    if (cancelled) {
      result = exists ? kExitDbKept : kExitDbNone;
    } else {
      result = exists && QuickCheckDatabase(config.db) ? kExitDbUpToDate : kExitDbNone;
    }
  } else {
    // The console's loop is the updater's main thread until the last code.
    main.PumpUntil([&] { return !updater.Running() && last_code >= kUpdateCancelled; },
                   std::chrono::hours(24));
    updater.Join();
    switch (updater.LastOutcome()) {
      case UpdateOutcome::kNewDatabase: result = kExitDbUpdated; break;
      case UpdateOutcome::kPreviousRestored: result = kExitDbKept; break;
      default: result = kExitDbNone; break;
    }
  }
  if (bar) bar->Clear();

  const std::string database = PathUtf8(updater.DatabasePath());
  if (context.json) {
    JsonWriter json(context.Out());
    json.BeginObject();
    json.Field("result", ResultName(result));
    json.Field("cancelled", cancelled);
    json.Field("database", database);
    json.EndObject();
  } else {
    switch (result) {
      case kExitDbUpdated: context.Out() << "A new driver database is in place: "; break;
      case kExitDbUpToDate: context.Out() << "The driver database is up to date: "; break;
      case kExitDbKept:
        context.Out() << (cancelled ? "Cancelled" : "The update failed")
                      << "; the previous driver database is kept: ";
        break;
      default:
        context.Out() << (cancelled ? "Cancelled" : "The update failed")
                      << "; there is no usable driver database at ";
        break;
    }
    context.Out() << database << "\n";
  }
  return result;
}

}  // namespace vx::console
