// vantrix: the console front end for administrators. Global options, then
// a command from the table below; each command attaches to the machine
// itself (so "help" works without one).
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/console/console_commands.h"
#include "app/console/console_context.h"
#include "app/console/console_options.h"
#include "app/console/list_command.h"
#include "app/console/report_command.h"
#include "common/text.h"
#include "platform/program_entry.h"
#include "telemetry/events.h"
#include "telemetry/snapshot_upload.h"

#include "app/console/update_db_command.h"

#if defined(_WIN32)
#include <io.h>
#define VX_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define VX_ISATTY(fd) isatty(fd)
#endif

namespace vx {

namespace {

struct Command {
  std::string_view name;
  console::CommandFunction function;
  std::string_view usage;  // arguments after the name
  std::string_view help;
};

// Every command of the program, in the order "help" lists them.
constexpr Command kCommands[] = {
    {"info", console::InfoCommand, "[--json]",
     "Windows version, bitness and the program's folders"},
    {"scan", console::ScanCommand, "[--device-list FILE] [--json]",
     "inventory the devices (or replay a saved Devices.ini) and list the offered updates"},
    {"explain", console::ExplainCommand, "DEVICE",
     "every candidate of one device of the last scan and why it won or lost"},
    {"list", console::ListCommand, "[--json]",
     "the offered driver packages, as the results page shows them"},
    {"history", console::HistoryCommand, "[--json]",
     "the downloaded driver packages and their install state"},
    {"report", console::ReportCommand,
     "--name N --email E --driver D --comment TEXT [--attach-diagnostics] [--json]",
     "send a problem report to the support address"},
    {"update-db", console::UpdateDbCommand, "[--force] [--json]", console::kUpdateDbHelp},
};

std::atomic<bool> g_cancel{false};

// The usage snapshot's upload runs on its own thread; the program waits for
// it before leaving, or the snapshot would be marked as handled yet never
// arrive. The upload's own time-outs end it well before this.
constexpr auto kSnapshotUploadWait = std::chrono::seconds(60);

extern "C" void OnInterrupt(int) {
  g_cancel.store(true);
  // A second Ctrl+C ends the program the usual way.
  std::signal(SIGINT, SIG_DFL);
}

void PrintUsage(std::ostream& out) {
  out << "usage: vantrix [--machine DIR] [--json] COMMAND [ARGS]\n\ncommands:\n";
  for (const Command& c : kCommands) {
    std::string line = "  " + std::string(c.name) + " " + std::string(c.usage);
    if (line.size() < 44) line.append(44 - line.size(), ' ');
    out << line << "  " << c.help << "\n";
  }
  out << "\nThe simulated machine is --machine DIR or the environment variable VANTRIX_MACHINE.\n"
         "Exit codes: 0 done, 1 failure, 2 usage error, 3 no usable driver database.\n";
}

}  // namespace

int ProgramMain(const std::vector<std::string>& args) {
  console::GlobalOptions options;
  std::string error;
  if (!console::ParseGlobalOptions(args, options, error)) {
    std::cerr << "vantrix: " << error << "\n";
    PrintUsage(std::cerr);
    return console::kExitUsage;
  }
  if (options.command.empty() || options.command == "help") {
    PrintUsage(options.help || options.command == "help" ? std::cout : std::cerr);
    return options.help || options.command == "help" ? console::kExitOk : console::kExitUsage;
  }
  const Command* command = nullptr;
  for (const Command& c : kCommands)
    if (c.name == options.command) command = &c;
  if (!command) {
    std::cerr << "vantrix: unknown command \"" << options.command
              << "\"; run \"vantrix help\" for the list\n";
    return console::kExitUsage;
  }
  if (options.help) {
    std::cout << "usage: vantrix [--machine DIR] " << command->name << " " << command->usage
              << "\n  " << command->help << "\n";
    return console::kExitOk;
  }

  console::ConsoleContext context;
  context.machine_dir = U8Path(console::ResolveMachineDir(options.machine));
  if (!args.empty()) context.program_file = U8Path(args[0]);
  context.json = options.json;
  context.out = &std::cout;
  context.err = &std::cerr;
  context.cancel = &g_cancel;
  context.progress = !options.json && VX_ISATTY(2) != 0;
  std::signal(SIGINT, OnInterrupt);
  // The start parameter is the first command-line parameter, as for the
  // GUI: it decides whether milestone events go out.
  SetStartParameter(args.size() > 1 ? UpperCase(Trim(args[1])) : std::string());
  InstallSnapshotUpload();
  const int code = command->function(context, options.args);
  if (!WaitForSnapshotUploads(kSnapshotUploadWait))
    std::cerr << "vantrix: the usage snapshot upload did not finish\n";
  return code;
}

}  // namespace vx
