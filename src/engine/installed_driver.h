// The installed driver of a device as the device-installation services
// report it (its driver node), for devices whose list entry lacks it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "common/ini_file.h"
#include "platform/devices.h"

namespace vx {

// Finds the device with that instance identifier (case-insensitive) in the
// set; its record and enumeration index on success.
bool FindDevice(platform::DeviceInfoSet& set, std::string_view instance_id,
                platform::DeviceInfo& info, uint32_t& index);

// The devices of one set by instance identifier, for callers that look up
// many devices in the same set: FindDevice walks the whole set each time,
// this enumerates it once, on the first look-up.
class DeviceIndex {
 public:
  explicit DeviceIndex(platform::DeviceInfoSet& set) : set_(set) {}
  platform::DeviceInfoSet& set() { return set_; }
  // As FindDevice: the first device of that identifier (case-insensitive).
  bool Find(std::string_view instance_id, platform::DeviceInfo& info, uint32_t& index);

 private:
  void Build();

  platform::DeviceInfoSet& set_;
  bool built_ = false;
  // LowerCase(instance id) -> the device and its enumeration index.
  std::unordered_map<std::string, std::pair<platform::DeviceInfo, uint32_t>> devices_;
};

// Reads the installed driver node of the device. Failures are logged and
// added to the [Errors] section of scan_result. date is a local date-time,
// version "a.b.c.d".
bool GetDriverParameters(platform::DeviceInfoSet& set, std::string_view instance_id,
                         IniFile& scan_result, double& date, std::string& version,
                         std::string& manufacturer, std::string& provider);
// The same for a caller that reads the drivers of many devices of one set.
bool GetDriverParameters(DeviceIndex& devices, std::string_view instance_id,
                         IniFile& scan_result, double& date, std::string& version,
                         std::string& manufacturer, std::string& provider);

}  // namespace vx
