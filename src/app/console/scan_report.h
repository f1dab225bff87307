// The last scan's results as the console shows them: the offered updates of
// "Scan.ini" and the per-device decisions of "DevicesPlus.ini".
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace vx::console {

using KeyValues = std::vector<std::pair<std::string, std::string>>;

struct ScanUpdate {
  std::string section;  // "1", "2", ...
  KeyValues keys;       // every key of the section in file order
  std::string Value(const std::string& key) const;
};

struct DeviceDecision {
  std::string section;  // the device's section in "Devices.ini"
  KeyValues header;     // the device's lines and its decision keys
  std::vector<KeyValues> candidates;
  std::string Value(const std::string& key) const;
};

std::vector<ScanUpdate> ReadScanUpdates(const std::filesystem::path& scan_ini);
std::vector<DeviceDecision> ReadDecisions(const std::filesystem::path& devices_plus_ini);

// "key=value" -> pair; a line without "=" gives an empty value.
std::pair<std::string, std::string> SplitKeyValue(const std::string& line);

}  // namespace vx::console
