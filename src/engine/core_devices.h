// The device inventory: every device Windows knows (present or past) written
// as one section of the device list file "Devices.ini" in BaseDir, which the
// scan reads instead of asking the system again. Also the device fingerprint
// and the list of files an INF install section copies, which the install
// snapshots use.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/ini_file.h"
#include "platform/devices.h"

namespace vx {

inline constexpr std::string_view kDevicesFileName = "Devices.ini";

struct DeviceListOptions {
  // The running program's file; its date is written as "ProgramCreated"
  // (the date of 0 when empty or unreadable).
  std::filesystem::path program_file;
};

// What one generation counted (the counter keys of [Settings]).
struct DeviceListCounters {
  int total = 0;   // devices the enumeration visited
  int unique = 0;  // device sections written
  int duplicates = 0;
  int empty = 0;    // without hardware and compatible identifiers
  int ignored = 0;  // non-Plug-and-Play class
};

// Writes BaseDir + file_name. True when the enumeration ran (the file is
// then saved); false when the device set could not be opened (logged,
// nothing saved). Generations never overlap: a second caller waits.
bool GenerateDevicesList(std::string_view file_name = kDevicesFileName,
                         const DeviceListOptions& options = {});
// The same for an explicit path; the driver database is looked for in the
// file's folder.
bool GenerateDevicesListFile(const std::filesystem::path& file,
                             const DeviceListOptions& options = {},
                             DeviceListCounters* counters = nullptr);

// Writes one device's section into ini (not saved). False, with only an
// [Empty] line written, for a device without any identifier. Read failures
// add [Errors] lines and the device is written with what could be read.
// When description, friendly name and class GUID are all empty they are
// read from the device.
bool AddDevices(platform::DeviceInfoSet& set, const platform::DeviceInfo& dev,
                std::string_view instance_id, std::string_view device_desc,
                std::string_view friendly_name, std::string_view class_guid, uint32_t device_index,
                std::string_view section, IniFile& ini);

// Device fingerprint of a comma-separated identifier list: 32 lower-case
// hexadecimal digits, or empty (logged) when the list holds no identifier.
std::string GenerateDeviceID(std::string_view hardware_ids);

// Class names in the order of the [ClassNames] section: names with a
// category word (VIDEO, AUDIO, MEDIA, PRINTER, DISPLAY, IMAGE, GAME, OTHER)
// first, grouped by category, then the rest alphabetically; each name once.
std::vector<std::string> OrderedClassNames(const std::vector<std::string>& names);

// Full Windows paths of the files the install section of an INF copies
// (through CopyFiles, and the sections named by Include/Needs). inf is a
// path, or a bare name looked for in the INF and system folders;
// first_inf_path (optional) receives the INF path actually read.
std::vector<std::string> ListInfCopyFiles(std::string_view inf, std::string_view section,
                                          std::string* first_inf_path = nullptr);

// Environment strings expanded when the text has a "%"; unchanged when the
// expansion fails or exceeds MAX_PATH.
std::string ExpandInfPath(std::string_view text);

}  // namespace vx
