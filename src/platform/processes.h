// Other processes of the session as the program inspects them: the process
// snapshot and, per process, its command line, image path, bitness, start
// time and visible windows. Every query opens the process for query and
// memory-read access itself; the error codes are Windows' (5 for a
// protected process, 87 for a process that does not exist).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/result.h"

namespace vx::platform {

using ProcessId = uint32_t;

struct ProcessEntry {
  ProcessId pid = 0;
  ProcessId parent_pid = 0;
  std::string exe_name;  // the snapshot's executable name, without folder
};

ProcessId CurrentProcessId();

// Every process running now (CreateToolhelp32Snapshot).
Result<std::vector<ProcessEntry>> ProcessSnapshot();

// 0 when the process can be opened for query and memory-read access.
Status OpenProcessStatus(ProcessId pid);

// The command line the process was started with, read from its process
// environment block.
Result<std::string> ProcessCommandLine(ProcessId pid);

// True when the process runs under WOW64 (32-bit on 64-bit Windows).
// kErrorNotSupported when the system has no such query.
Result<bool> ProcessUnderWow64(ProcessId pid);

// The image file name in NT device form ("\Device\HarddiskVolume3\...").
Result<std::string> ProcessImageFileName(ProcessId pid);

// The full path of the process's main module (GetModuleFileNameEx).
Result<std::string> ProcessModuleFileName(ProcessId pid);

// The creation time as a FILETIME value (100 ns steps since 1601, UTC).
Result<uint64_t> ProcessCreationTime(ProcessId pid);

// True if any top-level window of the process is visible.
bool ProcessHasVisibleWindow(ProcessId pid);

}  // namespace vx::platform
