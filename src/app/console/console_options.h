// Command-line parsing of the console front end and the start-up every
// command shares (attach to the machine, program parameters, event log).
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/console/console_context.h"

namespace vx::console {

// The program's own options, taken from anywhere on the line:
// --machine DIR (or --machine=DIR), --json, --help / -h.
struct GlobalOptions {
  std::string machine;  // empty: VANTRIX_MACHINE, then the host (Windows)
  bool json = false;
  bool help = false;
  std::string command;            // first word that is not an option
  std::vector<std::string> args;  // everything after the command, in order
};

// False with `error` set for a malformed line (e.g. --machine without DIR).
bool ParseGlobalOptions(const std::vector<std::string>& argv, GlobalOptions& options,
                        std::string& error);

// A command's own arguments: options with a value ("--device-list FILE"),
// switches ("--json" is global and never seen here) and positional words.
struct CommandArgs {
  std::map<std::string, std::string> values;
  std::set<std::string> switches;
  std::vector<std::string> positional;
};

// value_options / switch_options name what the command accepts ("--x");
// anything else starting with "--" is an error.
bool ParseCommandArgs(const std::vector<std::string>& args,
                      const std::set<std::string>& value_options,
                      const std::set<std::string>& switch_options, CommandArgs& parsed,
                      std::string& error);

// The machine folder the program runs on: the option, else the environment
// variable VANTRIX_MACHINE.
std::string ResolveMachineDir(const std::string& option);

// Attaches to the machine, initialises the program parameters (the user's
// download folder setting included) and starts the event log in BaseDir.
// False with a message for the administrator in `error`.
bool StartEngine(const ConsoleContext& context, std::string& error);

}  // namespace vx::console
