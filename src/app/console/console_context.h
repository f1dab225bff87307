// What every command of the console front end gets: the machine it runs on,
// the output switches, its two streams, and the Ctrl+C flag. Commands write
// results to out and messages for the administrator to err, and return the
// program's exit code (kExit* below).
#pragma once

#include <atomic>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace vx::console {

// Exit codes of the program; scripts branch on them.
inline constexpr int kExitOk = 0;          // the command completed
inline constexpr int kExitFailure = 1;     // anything else went wrong
inline constexpr int kExitUsage = 2;       // bad command line
inline constexpr int kExitNoDatabase = 3;  // no usable driver database

struct ConsoleContext {
  // The simulated machine's folder (--machine or VANTRIX_MACHINE); empty on
  // real Windows, where the program runs on the host.
  std::filesystem::path machine_dir;
  std::filesystem::path program_file;  // argv[0]; its date goes into the scan files
  bool json = false;       // --json: one JSON object on out, nothing else
  bool progress = false;   // out is a terminal: draw a progress bar on err
  std::ostream* out = nullptr;
  std::ostream* err = nullptr;
  // Set by the Ctrl+C handler; long commands poll it between steps.
  std::atomic<bool>* cancel = nullptr;

  std::ostream& Out() const { return *out; }
  std::ostream& Err() const { return *err; }
  bool Cancelled() const { return cancel != nullptr && cancel->load(); }
};

// The signature of every command: the context and the arguments after the
// command's name (options the program itself understood are removed).
using CommandFunction = int (*)(ConsoleContext& context, const std::vector<std::string>& args);

}  // namespace vx::console
