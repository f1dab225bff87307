// Small device readers the inventory, the scan and the install snapshots
// share: typed property reads that never fail loudly (empty or 0 instead),
// the driver's class key, the program's own per-device store and the cached
// class descriptions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/devices.h"

namespace vx {

// Setup class of non-Plug-and-Play (legacy) drivers: never listed.
inline constexpr std::string_view kNonPnpClassGuid = "{8ECC055D-047F-11D1-A537-0000F8753ED1}";

// HKLM key of the installed driver: this + the driver key name
// ("{class guid}\0003").
inline constexpr std::string_view kClassKeyRoot = "SYSTEM\\CurrentControlSet\\Control\\Class\\";
inline constexpr std::string_view kEnumKeyRoot = "SYSTEM\\CurrentControlSet\\Enum\\";

// The program's own values per device: HKLM, this + the instance id.
inline constexpr std::string_view kPseudoEnumRoot =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\DriverSettings\\";
inline constexpr std::string_view kInstalledVersionValue = "InstalledVersion";
inline constexpr std::string_view kInstalledStatusValue = "InstalledStatus";
inline constexpr std::string_view kInstalledBaseDateValue = "InstalledBaseDate";

// The Windows version code (5, 6, 7, 8, 81, 10) of the attached system.
int DeviceWindowsCode();

// "<system message> <code>", the tail of every error text the device list
// records.
std::string ErrorWithCode(uint32_t code);

// Unified property as trimmed text. Empty before Vista (code 5), when the
// property is absent or its data is unusable; "ERROR: <message> <code>"
// (and logged) for any other failure.
std::string ReadDeviceStringProperty(platform::DeviceInfoSet& set, const platform::DeviceInfo& dev,
                                     const platform::DevPropKey& key);
// A FILETIME property as local date-time, 0 when unavailable.
double ReadDeviceDateProperty(platform::DeviceInfoSet& set, const platform::DeviceInfo& dev,
                              const platform::DevPropKey& key);
// Registry property (SPDRP_*) as trimmed text; empty when absent,
// "ERROR: <message>" (and logged) for another failure.
std::string ReadRegistryStringProperty(platform::DeviceInfoSet& set,
                                       const platform::DeviceInfo& dev, uint32_t spdrp);
// Registry property as a number; 0 when absent (silently) or unreadable
// (logged).
uint32_t ReadRegistryDwordProperty(platform::DeviceInfoSet& set, const platform::DeviceInfo& dev,
                                   uint32_t spdrp);

// Values of the driver's class key; empty / 0 for an empty driver key name,
// a missing value or one of another type.
std::string ReadClassKeyString(std::string_view driver_key, std::string_view value_name);
double ReadClassKeyDate(std::string_view driver_key, std::string_view value_name);

// The per-device store. Both do nothing for an empty instance id; the
// writer creates the key and is true when the value was written.
std::string ReadPseudoEnumString(std::string_view instance_id, std::string_view value_name);
// The three values the scan consults, read through one opening of the key.
struct DeviceStoreValues {
  std::string base_date;  // kInstalledBaseDateValue
  std::string status;     // kInstalledStatusValue
  std::string version;    // kInstalledVersionValue
};
DeviceStoreValues ReadDeviceStoreValues(std::string_view instance_id);
bool WritePseudoEnumRegistryStringProperty(std::string_view instance_id,
                                           std::string_view value_name, std::string_view text);

// Class description by GUID text, "Unknown" when the system has none.
// Cached for the whole process (failures too), as many devices share a
// class; safe to call from several threads.
std::string GetFriendlyClassName(std::string_view class_guid);
// Forgets the cache (tests switch machines within one process).
void ClearClassNameCache();

}  // namespace vx
