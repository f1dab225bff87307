// What the engine asks about other processes: their command lines,
// executable paths, start times and windows, and a process report for the
// install log. Every function logs its own failures and answers with an
// empty text, false or 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/processes.h"

namespace vx {

using platform::ProcessId;

// The command line read from the process's environment block; empty on
// any failure.
std::string GetCommandLineX86(ProcessId pid);
// Empty for the system processes 4 and 8 without touching them.
std::string GetProcessCommandLine(ProcessId pid);
// True when the process does NOT run under WOW64; false when the query is
// missing or fails (a failure is logged).
bool IsNativeProcess(ProcessId pid);
// The image path from the NT device form, expanded to a drive path.
std::string GetProcessImagePath(ProcessId pid);
// Full path of the process's executable, trying the image name and the
// module name in the order that suits the process's bitness.
std::string GetPathFromPID(ProcessId pid);
// Creation time as a local date-time; 0 on failure.
double GetProcessStartTime(ProcessId pid, bool log_failures);
bool ProcessHasVisibleWindow(ProcessId pid);
// Appends a heading and one line per process (identifiers from 10 on):
// "name   pid   Parent=p   Visible=0|1   Start=date time". With since > 0
// each name is marked "+ " (started after since) or "- ". With only_visible
// processes without a visible window are left out. Identical lines are not
// appended twice.
void CreateProcessList(std::vector<std::string>& list, bool only_visible, double since);

}  // namespace vx
