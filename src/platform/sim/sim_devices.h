// Devices of the simulated machine, read from its registry where Windows
// keeps them:
//
//   HKLM\SYSTEM\CurrentControlSet\Enum\<enumerator>\<device>\<instance>
//       DeviceDesc, HardwareID, CompatibleIDs, Service, ClassGUID, Class,
//       Driver ("{class guid}\NNNN"), ConfigFlags, Mfg, FriendlyName,
//       LocationInformation, Capabilities, UINumber, UpperFilters,
//       LowerFilters, UINumberDescFormat, Characteristics, ParentIdPrefix
//     and, where Windows keeps them in its property store, simulator values:
//       BusReportedDeviceDesc (REG_SZ)
//       InstallDate, FirstInstallDate, LastArrivalDate, LastRemovalDate
//         (FILETIME, REG_BINARY of 8 bytes or REG_QWORD)
//   ...\<instance>\Control      exists only while the device is present,
//                                like Windows' volatile Control key:
//       DevNodeStatus (REG_DWORD, DN_* bits), ProblemCode (REG_DWORD),
//       PhysicalDeviceObjectName, BusTypeGuid (REG_BINARY 16 bytes),
//       LegacyBusType, BusNumber, Address (REG_DWORD)
//   HKLM\SYSTEM\CurrentControlSet\Control\Class\{guid}
//       (default) = class description, Class = class name,
//       ImageIndex (REG_DWORD, simulator) = index in the class image list
//   ...\Control\Class\{guid}\NNNN  the installed driver:
//       DriverDesc, ProviderName, DriverDate ("m-d-yyyy"), DriverDateData
//       (FILETIME, REG_BINARY), DriverVersion, InfPath (file name in
//       C:\Windows\INF), InfSection, InfSectionExt, MatchingDeviceId and
//       optionally DrvPkgModel, DrvPkgVendorWebSite, DrvPkgDetailedDescription
//
// A device without a Control key is not present: its node status query
// answers CR_NO_SUCH_DEVNODE, as Windows does for a phantom. Unified
// properties are derived from the same values.
#pragma once

#include <string>

namespace vx::sim {

inline constexpr const char* kEnumKey = "SYSTEM\\CurrentControlSet\\Enum";
inline constexpr const char* kClassKey = "SYSTEM\\CurrentControlSet\\Control\\Class";

}  // namespace vx::sim
