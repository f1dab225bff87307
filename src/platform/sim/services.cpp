// Attaching a process to its simulated machine.
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/platform.h"
#include "platform/sim/machine.h"

namespace vx::platform {

// Process-wide like the Windows it stands for.
std::mutex g_mu;
std::unique_ptr<sim::Machine> g_machine;

Services& Get() {
  if (!g_machine) {
    std::fputs("vantrix: no machine attached (internal error: platform used before Attach)\n",
               stderr);
    std::abort();
  }
  return *g_machine;
}

bool IsAttached() { return g_machine != nullptr; }

bool Attach(const std::filesystem::path& machine_dir, std::string& error) {
  std::filesystem::path dir = machine_dir;
  if (dir.empty()) {
    const char* env = std::getenv("VANTRIX_MACHINE");
    if (!env || !*env) {
      error = "no machine: pass --machine DIR or set VANTRIX_MACHINE (create one with: vxsim create DIR SAMPLE)";
      return false;
    }
    dir = env;
  }
  auto m = sim::Machine::Open(dir, error);
  if (!m) return false;
  std::lock_guard lock(g_mu);
  g_machine = std::move(m);
  return true;
}

void Detach() {
  std::lock_guard lock(g_mu);
  g_machine.reset();
}

bool IsSimulated() { return true; }

}  // namespace vx::platform

namespace vx::sim {
Machine* CurrentMachine() { return platform::g_machine.get(); }
}  // namespace vx::sim
