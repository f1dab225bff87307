// vantrix update-db: brings the driver database up to date from the service.
#pragma once

#include <string>
#include <vector>

#include "app/console/console_context.h"

namespace vx::console {

// Exit codes of update-db (kExitUsage for a bad command line).
inline constexpr int kExitDbUpdated = 0;      // a new database is in place
inline constexpr int kExitDbUpToDate = 4;     // nothing was due; the database is usable
inline constexpr int kExitDbKept = 5;         // the update failed or was cancelled; the previous database is back
inline constexpr int kExitDbNone = kExitNoDatabase;  // the update failed and there is no usable database

inline constexpr const char* kUpdateDbUsage = "[--force]";
inline constexpr const char* kUpdateDbHelp =
    "update the driver database from the service (exit 0 new database, 4 up to date, "
    "5 failed or cancelled with the previous database kept, 3 no usable database)";

int UpdateDbCommand(ConsoleContext& context, const std::vector<std::string>& args);

}  // namespace vx::console
