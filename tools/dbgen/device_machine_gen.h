// Generated sample machines with many devices, for benchmarks and load
// tests of the device inventory: a sample folder in the form of
// data/machines/NAME (machine.ini + registry.reg), which sim::Machine::Create
// or `vxsim create DIR FOLDER` turns into a simulated machine.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace vx::dbgen {

struct DeviceMachineOptions {
  // Device instances under Enum (children under service enumerators
  // included). Roughly: 35% PCI, 25% USB, 15% HID, 10% ACPI, 5% HD audio
  // codecs, the rest software devices; about 5% past (not present), 2%
  // failed (problem 28, no driver), 1% disabled, 1% waiting for a
  // restart, 1% duplicates of a present device, a few without any id and
  // one non-Plug-and-Play legacy driver.
  int devices = 1000;
  uint64_t seed = 1;
};

// Writes dir/machine.ini (a 64-bit Windows 10 desktop, English (United
// States), UTC) and dir/registry.reg. False with error set when a file
// cannot be written.
bool WriteDeviceMachineSample(const std::filesystem::path& dir,
                              const DeviceMachineOptions& options, std::string* error);

}  // namespace vx::dbgen
