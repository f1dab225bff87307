// Applies parsed .reg files to a registry and exports keys back into the
// same form, so machines can be written and read as regedit text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/sim/reg_file.h"

namespace vx::sim {

// "HKEY_LOCAL_MACHINE\SYSTEM\Setup" -> root + "SYSTEM\Setup". HKEY_CLASSES_ROOT
// maps onto HKLM\SOFTWARE\Classes. False for a root the machine lacks.
bool SplitRegPath(std::string_view full, platform::RegRoot& root, std::string& path);

Status ImportRegKeys(platform::Registry& reg, const std::vector<RegFileKey>& keys);

// The key full_path and everything below it, parents before children.
Result<std::vector<RegFileKey>> ExportRegKeys(platform::Registry& reg, std::string_view full_path);

}  // namespace vx::sim
