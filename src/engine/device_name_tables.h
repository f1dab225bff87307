// Names of the device bit fields and codes as the Windows SDK spells them
// (cfgmgr32, regstr, wdm), for the human-readable twins of the numbers in
// the device list ("NodeStatusStr", "ConfigFlagsStr", ...). Pure data and
// pure functions.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vx {

struct FlagName {
  uint32_t bit;
  const char* name;
};

// The tables in the order their names are written. The node status table
// starts with the three aliases the device list has always shown first
// (DN_NEED_RESTART, DN_DRIVER_BLOCKED, DN_LEGACY_DRIVER), so those bits are
// named by their alias and not again by their older name.
std::span<const FlagName> NodeStatusNames();
std::span<const FlagName> CapabilityNames();
std::span<const FlagName> ConfigFlagNames();
std::span<const FlagName> CharacteristicNames();

// Every set bit's name in table order, each followed by a blank.
std::string FlagsText(std::span<const FlagName> table, uint32_t value);

// The flags texts of the device list: the node status text is trimmed, the
// others keep their final blank.
std::string NodeStatusText(uint32_t status);
std::string CapabilitiesText(uint32_t capabilities);
std::string ConfigFlagsText(uint32_t flags);
std::string CharacteristicsText(uint32_t characteristics);

// "" for 0, the CM_PROB_ name for 1 to 49, otherwise "Unknown".
std::string ProblemText(uint32_t problem);
// CM_INSTALL_STATE_ name for 0 to 3, otherwise "unknown 0x" + 8 hex digits.
std::string InstallStateText(uint32_t state);

}  // namespace vx
