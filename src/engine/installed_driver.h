// The installed driver of a device as the device-installation services
// report it (its driver node), for devices whose list entry lacks it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/ini_file.h"
#include "platform/devices.h"

namespace vx {

// Finds the device with that instance identifier (case-insensitive) in the
// set; its record and enumeration index on success.
bool FindDevice(platform::DeviceInfoSet& set, std::string_view instance_id,
                platform::DeviceInfo& info, uint32_t& index);

// Reads the installed driver node of the device. Failures are logged and
// added to the [Errors] section of scan_result. date is a local date-time,
// version "a.b.c.d".
bool GetDriverParameters(platform::DeviceInfoSet& set, std::string_view instance_id,
                         IniFile& scan_result, double& date, std::string& version,
                         std::string& manufacturer, std::string& provider);

}  // namespace vx
