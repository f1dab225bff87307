// The pre-install records ("<package>.pre" in BaseDir): per offered
// package, the scan section, decision header and candidates of every device
// the package is offered for, so an install can later compare the devices
// with their state before it.
#pragma once

#include <filesystem>

namespace vx {

class IniFile;

// After every scan: refreshes the ".pre" records (and the "Present" flags of
// the status files) of the packages the scan offers. The three paths
// default to BaseDir, its "Scan.ini" and "DevicesPlus.ini". `saved_record`,
// when given, is the decision record exactly as just saved to its file; it
// spares reading the largest file of the scan back.
void CreateInstallSnapshots(const std::filesystem::path& base_dir = {},
                            const std::filesystem::path& scan_result = {},
                            const std::filesystem::path& decision_record = {},
                            const IniFile* saved_record = nullptr);

}  // namespace vx
