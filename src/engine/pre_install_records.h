// The pre-install records ("<package>.pre" in BaseDir): per offered
// package, the scan section, decision header and candidates of every device
// the package is offered for, so an install can later compare the devices
// with their state before it.
#pragma once

#include <filesystem>

namespace vx {

// After every scan: refreshes the ".pre" records (and the "Present" flags of
// the status files) of the packages the scan offers. The three paths
// default to BaseDir, its "Scan.ini" and "DevicesPlus.ini".
void CreateInstallSnapshots(const std::filesystem::path& base_dir = {},
                            const std::filesystem::path& scan_result = {},
                            const std::filesystem::path& decision_record = {});

}  // namespace vx
