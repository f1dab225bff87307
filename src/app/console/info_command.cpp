// vantrix info: what the engine would work with on this machine.
#include "app/console/console_commands.h"
#include "app/console/console_options.h"
#include "app/console/json_writer.h"
#include "common/params.h"
#include "common/settings.h"
#include "common/text.h"
#include "platform/platform.h"

namespace vx::console {

int InfoCommand(ConsoleContext& context, const std::vector<std::string>& args) {
  CommandArgs parsed;
  std::string error;
  if (!ParseCommandArgs(args, {}, {}, parsed, error) || !parsed.positional.empty()) {
    context.Err() << "vantrix info: " << (error.empty() ? "takes no arguments" : error)
                  << "\nusage: vantrix [--machine DIR] info [--json]\n";
    return kExitUsage;
  }
  if (!StartEngine(context, error)) {
    context.Err() << "vantrix: " << error << "\n";
    return kExitFailure;
  }
  const ProgramParams& params = Params();
  const bool x64 = platform::Sys().IsWindows64();
  std::filesystem::path backup;
  const std::string backup_setting =
      RegReadString(RegRoot::kCurrentUser, kSettingsKey, "BackupPath");
  if (!backup_setting.empty())
    backup = U8Path(backup_setting);
  else
    backup = ComputeStartupFolders().default_backup_dir;

  if (context.json) {
    JsonWriter json(context.Out());
    json.BeginObject()
        .Field("WindowsVersion", params.windows_version)
        .Field("x64", x64)
        .Field("BaseDir", PathUtf8(params.base_dir))
        .Field("DownloadDir", PathUtf8(params.download_dir))
        .Field("BackupDir", PathUtf8(backup))
        .EndObject();
  } else {
    context.Out() << "Windows version: " << params.windows_version << "\n"
                  << "64-bit:          " << (x64 ? "yes" : "no") << "\n"
                  << "BaseDir:         " << PathUtf8(params.base_dir) << "\n"
                  << "Download folder: " << PathUtf8(params.download_dir) << "\n"
                  << "Backup folder:   " << PathUtf8(backup) << "\n";
  }
  return kExitOk;
}

}  // namespace vx::console
