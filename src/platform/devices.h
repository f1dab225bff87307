// The device-installation services: the devices Windows knows (present and
// past), their registry and unified properties, node state, setup classes,
// the installed driver node and INF files. Windows answers through SetupAPI
// and the configuration manager; the simulated machine answers from its
// registry, laid out the way Windows keeps devices (see sim/sim_devices.h).
//
// Everything here is UTF-8 and plain values. Failures carry the code the
// Windows call would report (GetLastError, or a CONFIGRET for node state),
// because callers log and branch on those exact numbers.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace vx::platform {

// Codes of the device-installation services (winerror.h facts).
enum : uint32_t {
  kErrorNotFound = 1168,                  // ERROR_NOT_FOUND: no such unified property
  kErrorGeneralSyntax = 0xE0000003,       // ERROR_GENERAL_SYNTAX: INF text malformed
  kErrorSectionNotFound = 0xE0000101,     // ERROR_SECTION_NOT_FOUND
  kErrorLineNotFound = 0xE0000102,        // ERROR_LINE_NOT_FOUND
  kErrorNoAssociatedClass = 0xE0000200,   // ERROR_NO_ASSOCIATED_CLASS
  kErrorInvalidClass = 0xE0000206,        // ERROR_INVALID_CLASS
  kErrorNoSuchDevinst = 0xE000020B,       // ERROR_NO_SUCH_DEVINST
  kErrorNoDriverSelected = 0xE0000203,    // ERROR_NO_DRIVER_SELECTED
};

// Configuration-manager results (CONFIGRET).
enum : uint32_t {
  kCrSuccess = 0,
  kCrInvalidDevnode = 5,
  kCrNoSuchDevnode = 13,
};

// Registry property numbers (SPDRP_*).
enum DeviceRegProperty : uint32_t {
  kSpdrpDeviceDesc = 0x00,
  kSpdrpHardwareId = 0x01,
  kSpdrpCompatibleIds = 0x02,
  kSpdrpService = 0x04,
  kSpdrpClass = 0x07,
  kSpdrpClassGuid = 0x08,
  kSpdrpDriver = 0x09,
  kSpdrpConfigFlags = 0x0A,
  kSpdrpMfg = 0x0B,
  kSpdrpFriendlyName = 0x0C,
  kSpdrpLocationInformation = 0x0D,
  kSpdrpPhysicalDeviceObjectName = 0x0E,
  kSpdrpCapabilities = 0x0F,
  kSpdrpUiNumber = 0x10,
  kSpdrpUpperFilters = 0x11,
  kSpdrpLowerFilters = 0x12,
  kSpdrpBusTypeGuid = 0x13,
  kSpdrpLegacyBusType = 0x14,
  kSpdrpBusNumber = 0x15,
  kSpdrpEnumeratorName = 0x16,
  kSpdrpDevType = 0x19,
  kSpdrpExclusive = 0x1A,
  kSpdrpCharacteristics = 0x1B,
  kSpdrpAddress = 0x1C,
  kSpdrpUiNumberDescFormat = 0x1D,
  kSpdrpRemovalPolicy = 0x1F,
  kSpdrpInstallState = 0x22,
  kSpdrpLocationPaths = 0x23,
  kSpdrpBaseContainerId = 0x24,
};

// Node status bits and problem codes the program tests for by number.
enum : uint32_t {
  kDnRootEnumerated = 0x1,
  kDnDriverLoaded = 0x2,
  kDnEnumLoaded = 0x4,
  kDnStarted = 0x8,
  kDnNeedRestart = 0x100,
  kDnHasProblem = 0x400,
  kDnDisableable = 0x2000,
  kDnRemovable = 0x4000,
  kDnNtEnumerator = 0x800000,
  kDnNtDriver = 0x1000000,

  kProbFailedStart = 10,
  kProbNeedRestart = 14,
  kProbDisabled = 22,
  kProbFailedInstall = 28,
  kProbPhantom = 45,
};

// A unified property key: format GUID in braces (upper case) + property id.
struct DevPropKey {
  const char* fmtid;
  uint32_t pid;
};

// The unified properties the program reads (devpkey.h facts).
namespace devpkey {
inline constexpr const char* kDeviceFmt = "{A45C254E-DF1C-4EFD-8020-67D146A850E0}";
inline constexpr DevPropKey kDeviceDesc{kDeviceFmt, 2};
inline constexpr DevPropKey kHardwareIds{kDeviceFmt, 3};
inline constexpr DevPropKey kCompatibleIds{kDeviceFmt, 4};
inline constexpr DevPropKey kService{kDeviceFmt, 6};
inline constexpr DevPropKey kClass{kDeviceFmt, 9};
inline constexpr DevPropKey kClassGuid{kDeviceFmt, 10};
inline constexpr DevPropKey kDriver{kDeviceFmt, 11};
inline constexpr DevPropKey kConfigFlags{kDeviceFmt, 12};
inline constexpr DevPropKey kManufacturer{kDeviceFmt, 13};
inline constexpr DevPropKey kFriendlyName{kDeviceFmt, 14};
inline constexpr DevPropKey kLocationInfo{kDeviceFmt, 15};
inline constexpr DevPropKey kPdoName{kDeviceFmt, 16};
inline constexpr DevPropKey kCapabilities{kDeviceFmt, 17};
inline constexpr DevPropKey kUiNumber{kDeviceFmt, 18};
inline constexpr DevPropKey kEnumeratorName{kDeviceFmt, 24};
inline constexpr DevPropKey kCharacteristics{kDeviceFmt, 29};
inline constexpr DevPropKey kAddress{kDeviceFmt, 30};
inline constexpr DevPropKey kInstallState{kDeviceFmt, 36};

inline constexpr DevPropKey kInstanceId{"{78C34FC8-104A-4ACA-9EA4-524D52996E57}", 256};
inline constexpr DevPropKey kDevNodeStatus{"{4340A6C5-93FA-4706-972C-7B648008A5A7}", 2};
inline constexpr DevPropKey kProblemCode{"{4340A6C5-93FA-4706-972C-7B648008A5A7}", 3};

inline constexpr const char* kBusFmt = "{540B947E-8B40-45BC-A8A2-6A0B894CBDA2}";
inline constexpr DevPropKey kBusReportedDeviceDesc{kBusFmt, 4};
inline constexpr DevPropKey kIsPresent{kBusFmt, 5};
inline constexpr DevPropKey kHasProblem{kBusFmt, 6};

inline constexpr const char* kInstallFmt = "{83DA6326-97A6-4088-9453-A1923F573B29}";
inline constexpr DevPropKey kInstallDate{kInstallFmt, 100};
inline constexpr DevPropKey kFirstInstallDate{kInstallFmt, 101};
inline constexpr DevPropKey kLastArrivalDate{kInstallFmt, 102};
inline constexpr DevPropKey kLastRemovalDate{kInstallFmt, 103};

inline constexpr const char* kDriverFmt = "{A8B865DD-2E3D-4094-AD97-E593A70C75D6}";
inline constexpr DevPropKey kDriverDate{kDriverFmt, 2};
inline constexpr DevPropKey kDriverVersion{kDriverFmt, 3};
inline constexpr DevPropKey kDriverDesc{kDriverFmt, 4};
inline constexpr DevPropKey kDriverInfPath{kDriverFmt, 5};
inline constexpr DevPropKey kDriverInfSection{kDriverFmt, 6};
inline constexpr DevPropKey kDriverInfSectionExt{kDriverFmt, 7};
inline constexpr DevPropKey kMatchingDeviceId{kDriverFmt, 8};
inline constexpr DevPropKey kDriverProvider{kDriverFmt, 9};
inline constexpr DevPropKey kDriverRank{kDriverFmt, 14};

inline constexpr const char* kDrvPkgFmt = "{CF73BB51-3ABF-44A2-85E0-9A3DC7A12132}";
inline constexpr DevPropKey kDrvPkgModel{kDrvPkgFmt, 2};
inline constexpr DevPropKey kDrvPkgVendorWebSite{kDrvPkgFmt, 3};
inline constexpr DevPropKey kDrvPkgDetailedDescription{kDrvPkgFmt, 4};
}  // namespace devpkey

// One property value. Registry properties come as kString, kStrings,
// kNumber (REG_DWORD) or kBinary; unified properties in addition as
// kFileTime, kBool and kGuid. raw_type is the REG_* or DEVPROP_TYPE_*
// number the source reported.
struct DeviceValue {
  enum class Kind { kString, kStrings, kNumber, kFileTime, kBool, kGuid, kBinary };
  Kind kind = Kind::kBinary;
  uint32_t raw_type = 0;
  std::string text;                  // kString; kGuid as "{XXXXXXXX-...}" upper case
  std::vector<std::string> strings;  // kStrings
  uint64_t number = 0;               // kNumber; kFileTime: 100 ns since 1601 UTC; kBool 0/1
  std::string bytes;                 // kBinary
};

// DEVPROP_TYPE_* numbers carried in raw_type for unified properties.
enum : uint32_t {
  kDevPropTypeUint32 = 0x07,
  kDevPropTypeGuid = 0x0D,
  kDevPropTypeFileTime = 0x10,
  kDevPropTypeBoolean = 0x11,
  kDevPropTypeString = 0x12,
  kDevPropTypeStringList = 0x2012,
  kDevPropTypeBinary = 0x1003,
};

// One device of a set. index is its position in the enumeration.
struct DeviceInfo {
  uint32_t index = 0;
  std::string instance_id;  // e.g. "PCI\VEN_10EC&DEV_8168&...\4&1b2c3d&0&00E4"
  uint32_t instance_id_error = 0;  // why instance_id is empty, 0 when read
  std::string class_guid;          // "{4D36E972-E325-11CE-BFC1-08002BE10318}"; empty when none
};

// CM_Get_DevNode_Status: cr is kCrSuccess or why status/problem are unset
// (kCrNoSuchDevnode for a device that is not present).
struct NodeState {
  uint32_t cr = kCrNoSuchDevnode;
  uint32_t status = 0;   // DN_* bits
  uint32_t problem = 0;  // CM_PROB_* code
};

// The installed driver node (SPDIT_COMPATDRIVER built with the
// installed-driver flag): what SP_DRVINFO_DATA and its detail report.
struct DriverNode {
  std::string description;
  std::string manufacturer;
  std::string provider;
  uint64_t date = 0;     // FILETIME, 100 ns since 1601 UTC
  uint64_t version = 0;  // four 16-bit parts, most significant first
  std::string inf_path;  // full Windows path of the INF
  std::string section;   // the install section (undecorated as Windows stores it)
  std::string hardware_id;  // the id the driver matched
};

class DeviceInfoSet {
 public:
  virtual ~DeviceInfoSet() = default;  // SetupDiDestroyDeviceInfoList
  DeviceInfoSet(const DeviceInfoSet&) = delete;
  DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;

  // The device at index (0, 1, ...); kErrorNoMoreItems past the end.
  virtual Result<DeviceInfo> Enum(uint32_t index) = 0;
  // SetupDiGetDeviceRegistryProperty: kErrorInvalidData when the device
  // has no such property, as Windows answers.
  virtual Result<DeviceValue> RegistryProperty(const DeviceInfo& dev, uint32_t spdrp) = 0;
  // SetupDiGetDeviceProperty: kErrorNotFound when the device has no such
  // property; kErrorNotSupported when the system lacks unified properties
  // (before Vista, or SetupDiGetDevicePropertyW missing).
  virtual Result<DeviceValue> Property(const DeviceInfo& dev, const DevPropKey& key) = 0;
  virtual NodeState NodeStatus(const DeviceInfo& dev) = 0;
  // The installed driver; kErrorNoMoreItems when the device has none.
  virtual Result<DriverNode> InstalledDriver(const DeviceInfo& dev) = 0;

 protected:
  DeviceInfoSet() = default;
};

struct DeviceSetScope {
  bool present_only = false;  // false: DIGCF_ALLCLASSES alone, phantoms included
  std::string class_guid;     // empty: every class
};

// SetupDiGetClassDevs. Failure carries the system error.
Result<std::unique_ptr<DeviceInfoSet>> OpenDeviceInfoSet(const DeviceSetScope& scope = {});

// Convenience readers over RegistryProperty: the string (REG_SZ), the list
// (REG_MULTI_SZ; a REG_SZ reads as one item), the DWORD.
Result<std::string> RegistryString(DeviceInfoSet& set, const DeviceInfo& dev, uint32_t spdrp);
Result<std::vector<std::string>> RegistryStrings(DeviceInfoSet& set, const DeviceInfo& dev,
                                                 uint32_t spdrp);
Result<uint32_t> RegistryDword(DeviceInfoSet& set, const DeviceInfo& dev, uint32_t spdrp);

// Setup classes. Description: SetupDiGetClassDescription (kErrorInvalidClass
// for an unknown class). Name: SetupDiClassNameFromGuid. Image index: the
// class's position in the system class image list (SetupDiGetClassImageIndex).
Result<std::string> ClassDescription(std::string_view class_guid);
Result<std::string> ClassName(std::string_view class_guid);
Result<int> ClassImageIndex(std::string_view class_guid);

// The Windows path of an INF directory id (10 = Windows folder, 11 =
// system32, 12 = drivers, 17 = inf, 24 = system drive root, 30 = boot
// drive root, 50 = system, 16422 = Program Files, ...); kErrorInvalidParameter
// for an id the system does not define.
Result<std::string> DirIdPath(uint32_t dirid);

// One line of an INF section. key is empty for a line without "="; fields
// are the values after "=" (the whole line for a keyless line), with quotes
// removed and %strings% replaced.
struct InfLine {
  std::string key;
  std::vector<std::string> fields;
};

// An open INF file (SetupOpenInfFile with INF_STYLE_WIN4).
class InfFile {
 public:
  virtual ~InfFile() = default;  // SetupCloseInfFile
  InfFile(const InfFile&) = delete;
  InfFile& operator=(const InfFile&) = delete;

  virtual bool HasSection(std::string_view section) = 0;
  // Every line of the section in file order; kErrorSectionNotFound when
  // the section is missing (Windows: SetupFindFirstLine fails with
  // kErrorLineNotFound for that too; both mean "nothing there").
  virtual Result<std::vector<InfLine>> Lines(std::string_view section) = 0;
  // The first line with the key (case-insensitive); kErrorLineNotFound.
  virtual Result<InfLine> FindLine(std::string_view section, std::string_view key) = 0;
  // SetupDiGetActualSectionToInstall for this system: the most specific
  // decorated section (".NTamd64", ".NTx86", ".NT") that exists, else the
  // name itself; kErrorLineNotFound when none exists.
  virtual Result<std::string> ActualSectionToInstall(std::string_view section) = 0;
  // The destination folder of a copy section (DestinationDirs entry of the
  // section, else DefaultDestDir) as a Windows path without trailing "\".
  virtual Result<std::string> TargetPath(std::string_view copy_section) = 0;

 protected:
  InfFile() = default;
};

// Opens an INF by Windows path (on the simulated machine a path on its
// drive C). On a syntax error error_line receives its 1-based line number.
Result<std::unique_ptr<InfFile>> OpenInfFile(std::string_view windows_path,
                                             uint32_t* error_line = nullptr);

// The files an install section copies: the CopyFiles entries of the
// section ("@file" entries and copy sections), each resolved to its target
// path through TargetPath. Shared by both backends.
struct InfCopyFile {
  std::string source;  // the file name the copy section gives (the name on disk)
  std::string target;  // full Windows path of the copied file
};
Result<std::vector<InfCopyFile>> ListCopyFiles(InfFile& inf, std::string_view install_section);

// FILETIME <-> "four 16-bit parts" helpers shared by both backends.
std::string DriverVersionText(uint64_t version);  // "10.0.19041.1"
uint64_t ParseDriverVersion(std::string_view text);  // 0 when not "a.b.c.d"-shaped

}  // namespace vx::platform
