// The services of the operating system the program runs on. The build
// chooses the backend: the real Windows APIs, or a simulated Windows
// machine kept in a folder. A program attaches to one at start.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/registry.h"
#include "platform/result.h"
#include "platform/system.h"

namespace vx::platform {

class Services {
 public:
  virtual ~Services() = default;
  virtual Registry& Reg() = 0;
  virtual SystemInfo& Sys() = 0;
};

// The backend attached to this process; aborts with a clear message when
// none is attached, since every caller would otherwise misbehave silently.
Services& Get();
inline Registry& Reg() { return Get().Reg(); }
inline SystemInfo& Sys() { return Get().Sys(); }
bool IsAttached();

// Attaches this process to its system. On Windows machine_dir is ignored
// (the host is the machine). When simulated, machine_dir names the machine
// folder; empty means the environment variable VANTRIX_MACHINE. On failure
// error holds a sentence for the user.
bool Attach(const std::filesystem::path& machine_dir, std::string& error);
void Detach();

// True when built against the simulated machine.
bool IsSimulated();

}  // namespace vx::platform
