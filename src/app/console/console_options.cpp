#include "app/console/console_options.h"

#include <cstdlib>

#include "common/logger.h"
#include "common/params.h"
#include "common/settings.h"
#include "common/startup.h"
#include "common/text.h"
#include "platform/platform.h"

namespace vx::console {

bool ParseGlobalOptions(const std::vector<std::string>& argv, GlobalOptions& options,
                        std::string& error) {
  // argv[0] is the program itself.
  for (size_t i = 1; i < argv.size(); ++i) {
    const std::string& a = argv[i];
    if (a == "--machine") {
      if (i + 1 >= argv.size() || argv[i + 1].empty()) {
        error = "--machine needs a folder";
        return false;
      }
      options.machine = argv[++i];
    } else if (a.rfind("--machine=", 0) == 0) {
      options.machine = a.substr(10);
      if (options.machine.empty()) {
        error = "--machine needs a folder";
        return false;
      }
    } else if (a == "--json") {
      options.json = true;
    } else if (a == "--help" || a == "-h") {
      options.help = true;
    } else if (options.command.empty() && !a.empty() && a[0] != '-') {
      options.command = a;
    } else if (options.command.empty()) {
      error = "unknown option " + a;
      return false;
    } else {
      options.args.push_back(a);
    }
  }
  return true;
}

bool ParseCommandArgs(const std::vector<std::string>& args,
                      const std::set<std::string>& value_options,
                      const std::set<std::string>& switch_options, CommandArgs& parsed,
                      std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i];
    if (a.rfind("--", 0) != 0 || a == "--") {
      parsed.positional.push_back(a);
      continue;
    }
    std::string value;
    bool has_value = false;
    if (const size_t eq = a.find('='); eq != std::string::npos) {
      value = a.substr(eq + 1);
      a = a.substr(0, eq);
      has_value = true;
    }
    if (value_options.count(a)) {
      if (!has_value) {
        if (i + 1 >= args.size()) {
          error = a + " needs a value";
          return false;
        }
        value = args[++i];
      }
      parsed.values[a] = value;
    } else if (switch_options.count(a) && !has_value) {
      parsed.switches.insert(a);
    } else {
      error = "unknown option " + args[i];
      return false;
    }
  }
  return true;
}

std::string ResolveMachineDir(const std::string& option) {
  if (!option.empty()) return option;
  if (const char* env = std::getenv("VANTRIX_MACHINE")) return env;
  return {};
}

bool StartEngine(const ConsoleContext& context, std::string& error) {
  std::string attach_error;
  if (!platform::Attach(context.machine_dir, attach_error)) {
    error = "cannot use the machine";
    if (!context.machine_dir.empty()) error += " " + PathUtf8(context.machine_dir);
    error += ": " + attach_error;
    if (context.machine_dir.empty())
      error += " (give --machine DIR or set VANTRIX_MACHINE; make one with: vxsim create DIR SAMPLE)";
    return false;
  }
  // The user's own download folder, as the main window hands it to the engine.
  const std::string download = RegReadString(RegRoot::kCurrentUser, kSettingsKey, "DownloadPath");
  InitParams(kProductFolderName, {}, download.empty() ? std::filesystem::path() : U8Path(download),
             false);
  InstallCommonServices();
  StartLog(Params().base_dir);
  return true;
}

}  // namespace vx::console
