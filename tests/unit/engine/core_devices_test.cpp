// The device inventory on the sample desktop (simulated machine): the device
// list file, the fingerprint, the per-device store and the INF copy lists.
// Under Wine the device tree is Wine's own, so there only the structure of
// the list is checked (DeviceListShape).
#include "engine/core_devices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>

#include "common/ini_file.h"
#include "common/md5.h"
#include "common/text.h"
#include "engine/core_devices_helpers.h"
#include "engine/device_name_tables.h"
#include "platform/devices.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "support/test_machine.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using platform::RegRoot;

// --- Pure parts ------------------------------------------------------------

TEST(DeviceNameTables, FlagTexts) {
  struct Case {
    std::string (*fn)(uint32_t);
    uint32_t value;
    const char* text;
  };
  const Case cases[] = {
      {ConfigFlagsText, 0x401, "CONFIGFLAG_DISABLED CONFIGFLAG_FINISH_INSTALL "},
      {ConfigFlagsText, 0, ""},
      {NodeStatusText, 0x10A, "DN_NEED_RESTART DN_DRIVER_LOADED DN_STARTED"},
      {NodeStatusText, 0x80081040,
       "DN_DRIVER_BLOCKED DN_LEGACY_DRIVER DN_NOT_FIRST_TIMEE DN_BOOT_LOG_PROB"},
      {CapabilitiesText, 0x284,
       "CM_DEVCAP_REMOVABLE CM_DEVCAP_SURPRISEREMOVALOK CM_DEVCAP_NONDYNAMIC "},
      {CharacteristicsText, 0x20101,
       "FILE_REMOVABLE_MEDIA FILE_DEVICE_SECURE_OPEN FILE_DEVICE_ALLOW_APPCONTAINER_TRAVERSAL "},
      {ProblemText, 0, ""},
      {ProblemText, 1, "CM_PROB_NOT_CONFIGURED"},
      {ProblemText, 22, "CM_PROB_DISABLED"},
      {ProblemText, 49, "CM_PROB_REGISTRY_TOO_LARGE"},
      {ProblemText, 50, "Unknown"},
      {InstallStateText, 0, "CM_INSTALL_STATE_INSTALLED"},
      {InstallStateText, 3, "CM_INSTALL_STATE_FINISH_INSTALL"},
      {InstallStateText, 0x1F, "unknown 0x0000001F"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.fn(c.value), c.text) << c.value;
}

TEST(DeviceNameTables, NodeStatusNamesEveryBitOnce) {
  uint32_t all = 0;
  for (const auto& f : NodeStatusNames()) {
    EXPECT_EQ(all & f.bit, 0u) << f.name;
    all |= f.bit;
  }
  EXPECT_EQ(NodeStatusNames().size(), 32u);
  EXPECT_EQ(all, 0xFFFFFFFFu);
  EXPECT_EQ(ConfigFlagNames().size(), 16u);
  EXPECT_EQ(CapabilityNames().size(), 10u);
}

TEST(DeviceFingerprint, DigestsTheLowBytesOfTheQuotedList) {
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5Hex(std::string("A\0B", 3)), "4c75dbc403c8732c7b620f27a0c9548e");
  EXPECT_EQ(GenerateDeviceID("abc"), "4c75dbc403c8732c7b620f27a0c9548e");
  EXPECT_EQ(GenerateDeviceID("ABC"), GenerateDeviceID("abc"));
  EXPECT_NE(GenerateDeviceID("PCI\\VEN_10EC&DEV_8168"), GenerateDeviceID("PCI\\VEN_8086&DEV_8168"));
  // Only the first half of the text is digested: lists that differ only
  // in their second half share a fingerprint (kept for stored ids).
  EXPECT_EQ(GenerateDeviceID("PCI\\VEN_10EC&DEV_8168"), GenerateDeviceID("PCI\\VEN_10EC&DEV_8169"));
  EXPECT_EQ(GenerateDeviceID(""), "");
  EXPECT_EQ(GenerateDeviceID(",,"), "");
}

TEST(DeviceClassNames, CategoriesFirstThenAlphabetical) {
  using V = std::vector<std::string>;
  EXPECT_EQ(OrderedClassNames({"Display", "AudioEndpoint", "Battery", "Other"}),
            (V{"AudioEndpoint", "Display", "Other", "Battery"}));
  // Several category words: the last tested one decides (DISPLAY after
  // VIDEO). A name starting with a digit sorts among the category keys.
  EXPECT_EQ(OrderedClassNames({"VideoDisplay", "Video", "Monitor", "1394", "net", "Net", "Media"}),
            (V{"1394", "Video", "Media", "VideoDisplay", "Monitor", "net"}));
  EXPECT_TRUE(OrderedClassNames({}).empty());
}

// --- On the sample desktop -------------------------------------------------

class CoreDevices : public test::MachineFixture {
 protected:
  void SetUp() override {
    test::MachineFixture::SetUp();
    ClearClassNameCache();
  }
  IniFile Generate(DeviceListCounters* counters = nullptr) {
    const fs::path file = out_.path() / "Devices.ini";
    EXPECT_TRUE(GenerateDevicesListFile(file, {}, counters));
    IniFile ini;
    EXPECT_TRUE(ini.LoadFromFile(file));
    return ini;
  }
  static std::string SectionOf(const IniFile& ini, std::string_view enum_key) {
    for (const auto& s : ini.ReadSections())
      if (SameText(ini.ReadString(s, "EnumKey"), enum_key)) return s;
    return {};
  }
  test::TempDir out_;
};

// Writes a device under Enum; present ones get the volatile Control key.
void AddTestDevice(const std::string& id, const std::string& name,
                   std::vector<std::string> hardware_ids, bool present,
                   const std::string& class_guid = "{4d36e97d-e325-11ce-bfc1-08002be10318}") {
  auto& reg = platform::Reg();
  const std::string key = std::string(kEnumKeyRoot) + id;
  ASSERT_EQ(platform::WriteRegString(reg, RegRoot::kLocalMachine, key, "DeviceDesc", name), 0u);
  ASSERT_EQ(platform::WriteRegString(reg, RegRoot::kLocalMachine, key, "ClassGUID", class_guid),
            0u);
  ASSERT_EQ(platform::WriteRegString(reg, RegRoot::kLocalMachine, key, "Class", "System"), 0u);
  if (!hardware_ids.empty()) {
    ASSERT_EQ(
        platform::WriteRegMultiString(reg, RegRoot::kLocalMachine, key, "HardwareID", hardware_ids),
        0u);
  }
  if (present) {
    ASSERT_EQ(platform::WriteRegDword(reg, RegRoot::kLocalMachine, key + "\\Control",
                                      "DevNodeStatus", 0x180200A),
              0u);
  }
}

TEST_F(CoreDevices, SampleDeviceListLayout) {
  if (!platform::IsSimulated()) GTEST_SKIP() << "the sample PC exists only simulated";
  DeviceListCounters c;
  IniFile ini = Generate(&c);
  EXPECT_EQ(ini.ReadSection("Settings"),
            (std::vector<std::string>{"Program", "ProgramCreated", "Generated", "GeneratedTime",
                                      "Windows", "x64", "Version", "TotalDevices", "UniqueDevices",
                                      "DuplicateDevices", "EmptyDevices", "IgnoreDevices",
                                      "ShouldFoundDevices", "TimeToGenerate"}));
  EXPECT_EQ(ini.ReadString("Settings", "Windows"), "10");
  EXPECT_EQ(ini.ReadString("Settings", "x64"), "1");
  EXPECT_EQ(ini.ReadString("Settings", "Version"), "2");
  EXPECT_EQ(ini.ReadInteger("Settings", "TotalDevices", -1), 149);
  EXPECT_EQ(ini.ReadInteger("Settings", "UniqueDevices", -1), 127);
  EXPECT_EQ(ini.ReadInteger("Settings", "DuplicateDevices", -1), 19);
  EXPECT_EQ(ini.ReadInteger("Settings", "EmptyDevices", -1), 1);
  EXPECT_EQ(ini.ReadInteger("Settings", "IgnoreDevices", -1), 2);
  EXPECT_EQ(ini.ReadInteger("Settings", "ShouldFoundDevices", -1), 127);
  EXPECT_EQ(c.unique, 127);

  // Bookkeeping sections first, then "0".."126", then the class names.
  auto sections = ini.ReadSections();
  ASSERT_EQ(sections.size(), 4u + 127u + 1u);
  EXPECT_EQ((std::vector<std::string>(sections.begin(), sections.begin() + 4)),
            (std::vector<std::string>{"Settings", "Errors", "Duplicates", "Empty"}));
  for (int i = 0; i < 127; ++i) EXPECT_EQ(sections[4 + i], std::to_string(i));
  EXPECT_EQ(sections.back(), "ClassNames");
  EXPECT_EQ(ini.ReadSection("Errors"), std::vector<std::string>{"Dump"});
  // The unknown device a VPN client left behind has no ids at all.
  auto empty = ini.ReadSectionValues("Empty");
  ASSERT_EQ(empty.size(), 2u);
  EXPECT_TRUE(empty[1].ends_with("=Other devices")) << empty[1];

  // The legacy beep and packet filter drivers are counted, never listed.
  EXPECT_EQ(SectionOf(ini, "ROOT\\LEGACY_BEEP\\0000"), "");
  EXPECT_EQ(SectionOf(ini, "ROOT\\LEGACY_NPF\\0000"), "");

  // The twelve CPU threads, root hubs, root ports, volumes... collapse.
  auto dups = ini.ReadSectionValues("Duplicates");
  ASSERT_EQ(dups.size(), 20u);
  EXPECT_NE(std::find_if(dups.begin(), dups.end(),
                         [](const std::string& l) {
                           return l.ends_with(
                               "=USB\\ROOT_HUB30USB Root Hub (USB 3.0) | "
                               "{36FC9E60-C465-11CF-8056-444553540000}");
                         }),
            dups.end());
  EXPECT_NE(SectionOf(ini, "USB\\ROOT_HUB30\\5&1c2e4a3b&0&0"), "");
  EXPECT_EQ(SectionOf(ini, "USB\\ROOT_HUB30\\5&2f1b0e6&0&0"), "");

  EXPECT_EQ(ini.ReadSection("ClassNames"),
            (std::vector<std::string>{"AudioEndpoint", "MEDIA", "Printer", "Display", "Bluetooth",
                                      "Camera", "Computer", "DiskDrive", "HDC", "HIDClass",
                                      "Keyboard", "Monitor", "Mouse", "Net", "Ports", "PrintQueue",
                                      "Processor", "SCSIAdapter", "SecurityDevices",
                                      "SoftwareDevice", "System", "Unknown", "USB", "Volume",
                                      "WPD"}));
}

TEST_F(CoreDevices, OneDeviceSectionInFull) {
  if (!platform::IsSimulated()) GTEST_SKIP() << "the sample PC exists only simulated";
  IniFile ini = Generate();
  const std::string s = SectionOf(ini, "ACPI\\AMDI0030\\0");
  ASSERT_NE(s, "");
  const std::vector<std::string> expected = {
      "IsConnected=1",
      "IsFailed=0",
      "NeedRestart=0",
      "DevBusDesc=",
      "DeviceDesc=AMD GPIO Controller",
      "DeviceDescRaw=AMD GPIO Controller",
      "ClassName=System",
      "Class=System devices",
      "EnumKey=ACPI\\AMDI0030\\0",
      "ClassGUID={4D36E97D-E325-11CE-BFC1-08002BE10318}",
      "ClassKey={4D36E97D-E325-11CE-BFC1-08002BE10318}\\0007",
      "DriverDate=08-26-2019",
      "DriverDateRaw=43703",
      "RegDriverDate=43703",
      "DevDriverDate=43703",
      "DriverVersion=2.2.0.130",
      "RegDriverVersion=2.2.0.130",
      "DevDriverVersion=2.2.0.130",
      "HardwareIDregular=ACPI\\AMDI0030,*AMDI0030",
      "HardwareIDcompat=",
      "ConfigFlags=0",
      "DevProvider=Advanced Micro Devices, Inc",
      "RegProvider=Advanced Micro Devices, Inc",
      "DevManufacturer=Advanced Micro Devices, Inc",
      "RegManufacturer=Advanced Micro Devices, Inc",
      "Vendor=AMD",
      "DevInstallDateRaw=44179.4201388889",
      "InfPath=oem2.inf",
      "InfSection=AmdGpio2",
      "DevInstallDate=12-14-2020",
      "DevFirstInstallDate=12-14-2020",
      "DevFirstInstallDateRaw=44179.3965277778",
      "NodeStatus=25174026",
      "NodeStatusStr=DN_DRIVER_LOADED DN_STARTED DN_DISABLEABLE DN_NT_ENUMERATOR DN_NT_DRIVER",
      "NodeProblemNumber=0",
      "NodeProblemStr=",
      "DeviceIndex=0",
      "RegDriverDesc=AMD GPIO Controller",
      "DevDriverDesc=AMD GPIO Controller",
      "DevDetailedDesc=",
      "DevWebSite=",
      "DevModel=",
      "DevFriendly=",
      "ConfigFlagsStr=",
      "HardwareIDmatch=ACPI\\AMDI0030",
      "DevHardwareIDmatch=ACPI\\AMDI0030",
      "HardwareIDservice=",
      "HardwareIDserviceRaw=",
      "Capabilities=0",
      "CapabilitiesStr=",
      "Characretistics=0",
      "CharacretisticsStr=",
      "InstallState=0",
      "InstallStateStr=CM_INSTALL_STATE_INSTALLED",
      "RegPhysicalName=\\Device\\0000002a",
      "RegEnumerator=ACPI",
      "RegLocation=",
      "RegService=amdgpio2",
      "RegUiNumber=",
  };
  EXPECT_EQ(ini.ReadSectionValues(s), expected);
}

TEST_F(CoreDevices, ProblemDisabledAndPastDevices) {
  if (!platform::IsSimulated()) GTEST_SKIP() << "the sample PC exists only simulated";
  IniFile ini = Generate();
  struct Case {
    const char* id;
    const char* connected;
    const char* failed;
    const char* problem;  // nullptr: no node state (not present)
  };
  const Case cases[] = {
      {"PCI\\VEN_1022&DEV_1486&SUBSYS_14861022&REV_00\\4&2d9b4b0a&0&0141", "1", "1",
       "CM_PROB_FAILED_INSTALL"},
      {"HDAUDIO\\FUNC_01&VEN_10DE&DEV_0083&SUBSYS_14623731&REV_1001\\5&1f1c5c1&0&0001", "0", "0",
       "CM_PROB_DISABLED"},
      {"USB\\VID_0781&PID_5567\\6&1a2b3c4d&0&7", "0", "0", nullptr},
  };
  for (const auto& c : cases) {
    const std::string s = SectionOf(ini, c.id);
    ASSERT_NE(s, "") << c.id;
    EXPECT_EQ(ini.ReadString(s, "IsConnected"), c.connected) << c.id;
    EXPECT_EQ(ini.ReadString(s, "IsFailed"), c.failed) << c.id;
    EXPECT_EQ(ini.ValueExists(s, "NodeStatus"), c.problem != nullptr) << c.id;
    if (c.problem) {
      EXPECT_EQ(ini.ReadString(s, "NodeProblemStr"), c.problem) << c.id;
    }
    // Install state and device object only for working devices.
    EXPECT_FALSE(ini.ValueExists(s, "InstallState")) << c.id;
  }
  // The failed device sits in the "Unknown" class: its name is the bus's.
  const std::string failed = SectionOf(ini, cases[0].id);
  EXPECT_EQ(ini.ReadString(failed, "DeviceDescRaw"), "PCI Encryption/Decryption Controller");
  EXPECT_EQ(ini.ReadString(failed, "ClassName"), "Unknown");
  EXPECT_EQ(ini.ReadString(failed, "DriverVersion"), "");
  // The past USB stick still names its USBSTOR disk, minus its own short ids.
  const std::string stick = SectionOf(ini, cases[2].id);
  EXPECT_EQ(ini.ReadString(stick, "HardwareIDserviceRaw").substr(0, 39),
            "USBSTOR\\DiskSanDisk_Cruzer_Blade___1.00");
  EXPECT_EQ(ini.ReadString(stick, "HardwareIDservice").substr(0, 39),
            "USBSTOR\\DISKSANDISK_CRUZER_BLADE___1.00");
}

TEST_F(CoreDevices, DuplicatesAndEmptyDevices) {
  if (!platform::IsSimulated()) GTEST_SKIP() << "writes devices into the machine's registry";
  // Past first, then present: the section is rewritten from the present one.
  AddTestDevice("ROOT\\VXPAIR_A\\0000", "Pair A", {"ROOT\\VXPAIR_A"}, false);
  AddTestDevice("ROOT\\VXPAIR_A\\0001", "Pair A", {"ROOT\\VXPAIR_A"}, true);
  // Present first, then past: the present one stays.
  AddTestDevice("ROOT\\VXPAIR_B\\0000", "Pair B", {"ROOT\\VXPAIR_B"}, true);
  AddTestDevice("ROOT\\VXPAIR_B\\0001", "Pair B", {"ROOT\\VXPAIR_B"}, false);
  AddTestDevice("ROOT\\VXNOIDS\\0000", "No ids", {}, true);
  DeviceListCounters c;
  IniFile ini = Generate(&c);
  EXPECT_EQ(c.total, 149 + 5);
  EXPECT_EQ(c.duplicates, 19 + 2);
  EXPECT_EQ(c.empty, 1 + 1);
  EXPECT_EQ(c.unique, 127 + 2);
  EXPECT_EQ(ini.ReadInteger("Settings", "ShouldFoundDevices", -1), 127 + 2);
  EXPECT_EQ(SectionOf(ini, "ROOT\\VXPAIR_A\\0000"), "");
  const std::string a = SectionOf(ini, "ROOT\\VXPAIR_A\\0001");
  ASSERT_NE(a, "");
  EXPECT_EQ(ini.ReadString(a, "IsConnected"), "1");
  EXPECT_NE(SectionOf(ini, "ROOT\\VXPAIR_B\\0000"), "");
  EXPECT_EQ(SectionOf(ini, "ROOT\\VXPAIR_B\\0001"), "");
  EXPECT_EQ(SectionOf(ini, "ROOT\\VXNOIDS\\0000"), "");
  auto empty = ini.ReadSectionValues("Empty");
  ASSERT_EQ(empty.size(), 3u);
  EXPECT_EQ(std::count_if(empty.begin(), empty.end(),
                          [](const std::string& l) { return l.ends_with("=System devices"); }),
            1);
  // No compatible ids is fine: an empty key.
  EXPECT_EQ(ini.ReadString(a, "HardwareIDcompat", "missing"), "");
}

TEST_F(CoreDevices, BadRegistryValuesNeverStopTheList) {
  if (!platform::IsSimulated()) GTEST_SKIP() << "writes devices into the machine's registry";
  auto& reg = platform::Reg();
  const std::string key = std::string(kEnumKeyRoot) + "ROOT\\VXBAD\\0000";
  AddTestDevice("ROOT\\VXBAD\\0000", "Bad values", {}, true);
  auto raw = [&](const char* name, uint32_t type, std::string data) {
    ASSERT_EQ(platform::WriteRegValue(reg, RegRoot::kLocalMachine, key, name, {type, data}), 0u);
  };
  raw("HardwareID", platform::kRegMultiSz, std::string("V\0X\0B", 5));  // truncated, odd length
  raw("CompatibleIDs", platform::kRegDword, "\x01\x02\x03\x04");        // wrong type
  raw("FriendlyName", platform::kRegSz, platform::EncodeRegString(std::string(70000, 'x')));
  raw("ConfigFlags", platform::kRegSz, platform::EncodeRegString("oops"));
  raw("Driver", platform::kRegBinary, std::string(3, '\xff'));
  AddTestDevice("ROOT\\VXBAD2\\0000", "", {"ROOT\\VXBAD2"}, true, "not a guid");
  DeviceListCounters c;
  IniFile ini = Generate(&c);
  EXPECT_EQ(c.total, 149 + 2);
  EXPECT_EQ(ini.ReadInteger("Settings", "ShouldFoundDevices", -1), c.unique);
  const std::string bad2 = SectionOf(ini, "ROOT\\VXBAD2\\0000");
  ASSERT_NE(bad2, "");
  EXPECT_EQ(ini.ReadString(bad2, "Class"), "Unknown");
}

TEST_F(CoreDevices, AddDevicesForOneDeviceReadsItsOwnNames) {
  auto set = platform::OpenDeviceInfoSet();
  ASSERT_TRUE(set);
  std::optional<platform::DeviceInfo> dev;
  for (uint32_t i = 0; !dev; ++i) {
    auto d = (*set)->Enum(i);
    if (!d) break;
    auto ids = platform::RegistryStrings(**set, *d, platform::kSpdrpHardwareId);
    if (ids && !ids->empty() && (*set)->NodeStatus(*d).cr == platform::kCrSuccess) dev = *d;
  }
  ASSERT_TRUE(dev);
  IniFile ini;
  EXPECT_TRUE(AddDevices(**set, *dev, dev->instance_id, "", "", "", dev->index, "7-scan", ini));
  EXPECT_EQ(ini.ReadString("7-scan", "EnumKey"), dev->instance_id);
  EXPECT_EQ(ini.ReadString("7-scan", "ClassGUID"), dev->class_guid);
  EXPECT_NE(ini.ReadString("7-scan", "DeviceDescRaw"), "");
  EXPECT_EQ(ini.ReadString("7-scan", "IsConnected"), "1");
  EXPECT_FALSE(GenerateDeviceID(ini.ReadString("7-scan", "HardwareIDregular")).empty());
}

// The structure every device list has, whatever the device tree (also
// Wine's real SetupAPI).
TEST_F(CoreDevices, DeviceListShape) {
  IniFile ini = Generate();
  const int total = ini.ReadInteger("Settings", "TotalDevices", -1);
  const int unique = ini.ReadInteger("Settings", "UniqueDevices", -1);
  const int dups = ini.ReadInteger("Settings", "DuplicateDevices", -1);
  const int empty = ini.ReadInteger("Settings", "EmptyDevices", -1);
  const int ignored = ini.ReadInteger("Settings", "IgnoreDevices", -1);
  EXPECT_GT(total, 0);
  EXPECT_EQ(ini.ReadInteger("Settings", "ShouldFoundDevices", -1), total - dups - empty - ignored);
  EXPECT_EQ(unique, total - dups - empty - ignored);
  EXPECT_EQ(static_cast<int>(ini.ReadSection("Duplicates").size()), dups + 1);
  EXPECT_EQ(static_cast<int>(ini.ReadSection("Empty").size()), empty + 1);
  std::set<std::string> class_names;
  for (int i = 0; i < unique; ++i) {
    const std::string s = std::to_string(i);
    ASSERT_TRUE(ini.SectionExists(s)) << s;
    auto keys = ini.ReadSection(s);
    EXPECT_EQ(keys.front(), "IsConnected");
    EXPECT_EQ(keys.back(), "RegUiNumber");
    EXPECT_FALSE(ini.ReadString(s, "EnumKey").empty()) << s;
    EXPECT_FALSE(ini.ReadString(s, "HardwareIDregular").empty() &&
                 ini.ReadString(s, "HardwareIDcompat").empty())
        << s;
    EXPECT_EQ(ini.ReadString(s, "DeviceIndex").empty(), false);
    EXPECT_EQ(ini.ValueExists(s, "NodeStatus"), ini.ValueExists(s, "NodeProblemStr"));
    class_names.insert(UpperCase(ini.ReadString(s, "ClassName")));
  }
  std::set<std::string> listed;
  for (const auto& n : ini.ReadSection("ClassNames")) listed.insert(UpperCase(n));
  EXPECT_EQ(listed, class_names);
}

TEST_F(CoreDevices, PerDeviceStoreRoundTrip) {
  const std::string id = "PCI\\VEN_10EC&DEV_8168&SUBSYS_7C021462&REV_15\\4&3b5c6e2f&0&00E4";
  EXPECT_EQ(ReadPseudoEnumString(id, kInstalledVersionValue), "");
  EXPECT_TRUE(WritePseudoEnumRegistryStringProperty(id, kInstalledVersionValue, "0123abcd"));
  EXPECT_TRUE(WritePseudoEnumRegistryStringProperty(id, kInstalledStatusValue, "1"));
  EXPECT_TRUE(WritePseudoEnumRegistryStringProperty(id, kInstalledBaseDateValue, "45000"));
  EXPECT_EQ(ReadPseudoEnumString(id, kInstalledVersionValue), "0123abcd");
  EXPECT_EQ(ReadPseudoEnumString(id, kInstalledStatusValue), "1");
  EXPECT_EQ(ReadPseudoEnumString(id, kInstalledBaseDateValue), "45000");
  const DeviceStoreValues all = ReadDeviceStoreValues(id);
  EXPECT_EQ(all.version, "0123abcd");
  EXPECT_EQ(all.status, "1");
  EXPECT_EQ(all.base_date, "45000");
  EXPECT_EQ(ReadDeviceStoreValues("PCI\\VEN_1234&DEV_0001\\never").status, "");
  auto raw = platform::ReadRegString(platform::Reg(), RegRoot::kLocalMachine,
                                     std::string(kPseudoEnumRoot) + id, "InstalledStatus");
  ASSERT_TRUE(raw);
  EXPECT_EQ(*raw, "1");
  EXPECT_FALSE(WritePseudoEnumRegistryStringProperty("", kInstalledStatusValue, "1"));
  EXPECT_EQ(ReadPseudoEnumString("", kInstalledStatusValue), "");
  platform::DeleteRegValue(platform::Reg(), RegRoot::kLocalMachine,
                           std::string(kPseudoEnumRoot) + id, "InstalledVersion");
  platform::DeleteRegValue(platform::Reg(), RegRoot::kLocalMachine,
                           std::string(kPseudoEnumRoot) + id, "InstalledStatus");
  platform::DeleteRegValue(platform::Reg(), RegRoot::kLocalMachine,
                           std::string(kPseudoEnumRoot) + id, "InstalledBaseDate");
}

TEST_F(CoreDevices, ClassKeyReaders) {
  if (!platform::IsSimulated()) GTEST_SKIP() << "the sample PC exists only simulated";
  const std::string key = "{4D36E97D-E325-11CE-BFC1-08002BE10318}\\0007";
  EXPECT_EQ(ReadClassKeyString(key, "InfSection"), "AmdGpio2");
  EXPECT_EQ(ReadClassKeyString(key, "Missing"), "");
  EXPECT_EQ(ReadClassKeyString("", "InfSection"), "");
  EXPECT_DOUBLE_EQ(ReadClassKeyDate(key, "DriverDateData"), 43703);
  EXPECT_EQ(ReadClassKeyDate(key, "InfSection"), 0);  // not binary
  EXPECT_EQ(GetFriendlyClassName("{4d36e97d-e325-11ce-bfc1-08002be10318}"), "System devices");
  EXPECT_EQ(GetFriendlyClassName("{00000000-0000-0000-0000-000000000001}"), "Unknown");
}

// --- Both backends agree -------------------------------------------------------

// The same device written the way Windows keeps it (Enum and Class keys)
// must read back as the same facts through the simulated services and
// through real SetupAPI (Wine's under the Windows build).
TEST_F(CoreDevices, SameFactsOnBothBackends) {
  auto& reg = platform::Reg();
  const std::string guid = "{4d36e97d-e325-11ce-bfc1-08002be10318}";
  const std::string id = "ROOT\\VXDIFF\\0000";
  const std::string dev_key = std::string(kEnumKeyRoot) + id;
  const std::string class_key = std::string(kClassKeyRoot) + guid + "\\0917";
  auto sz = [&](const std::string& key, const char* name, const std::string& v) {
    ASSERT_EQ(platform::WriteRegString(reg, RegRoot::kLocalMachine, key, name, v), 0u) << name;
  };
  sz(dev_key, "DeviceDesc", "Vantrix Test Controller");
  sz(dev_key, "FriendlyName", "Vantrix Test Controller #2");
  sz(dev_key, "Mfg", "Intel Corporation");
  sz(dev_key, "Class", "System");
  sz(dev_key, "ClassGUID", guid);
  sz(dev_key, "Driver", guid + "\\0917");
  sz(dev_key, "Service", "vxdiff");
  sz(dev_key, "LocationInformation", "PCI bus 0, device 31, function 4");
  ASSERT_EQ(platform::WriteRegMultiString(
                reg, RegRoot::kLocalMachine, dev_key, "HardwareID",
                {"PCI\\VEN_8086&DEV_A323&SUBSYS_86941043", "PCI\\VEN_8086&DEV_A323"}),
            0u);
  ASSERT_EQ(platform::WriteRegMultiString(reg, RegRoot::kLocalMachine, dev_key, "CompatibleIDs",
                                          {"PCI\\CC_0C0500", "PCI\\CC_0C05"}),
            0u);
  ASSERT_EQ(platform::WriteRegDword(reg, RegRoot::kLocalMachine, dev_key, "ConfigFlags", 0x400),
            0u);
  ASSERT_EQ(platform::WriteRegDword(reg, RegRoot::kLocalMachine, dev_key, "Capabilities", 0x84),
            0u);
  sz(class_key, "DriverDesc", "Vantrix Test Controller");
  sz(class_key, "ProviderName", "Intel");
  sz(class_key, "DriverVersion", "10.1.1.44");
  sz(class_key, "InfPath", "oem917.inf");
  sz(class_key, "InfSection", "VX_Device.NT");
  sz(class_key, "MatchingDeviceId", "PCI\\VEN_8086&DEV_A323");
  // 2019-08-26 00:00 UTC as FILETIME.
  uint64_t ft = (43703ull + 109205ull) * 864000000000ull;
  std::string raw(8, '\0');
  for (int i = 0; i < 8; ++i) raw[i] = static_cast<char>(ft >> (8 * i));
  ASSERT_EQ(platform::WriteRegValue(reg, RegRoot::kLocalMachine, class_key, "DriverDateData",
                                    {platform::kRegBinary, raw}),
            0u);

  IniFile ini = Generate();
  platform::Reg().DeleteTree(RegRoot::kLocalMachine, dev_key);
  platform::Reg().DeleteTree(RegRoot::kLocalMachine, class_key);
  const std::string s = SectionOf(ini, id);
  ASSERT_NE(s, "") << "the fixture device was not enumerated";
  const std::map<std::string, std::string> expected = {
      {"DeviceDescRaw", "Vantrix Test Controller #2"},
      {"ClassName", "System"},
      {"ClassGUID", "{4D36E97D-E325-11CE-BFC1-08002BE10318}"},
      {"ClassKey", "{4D36E97D-E325-11CE-BFC1-08002BE10318}\\0917"},
      {"HardwareIDregular", "PCI\\VEN_8086&DEV_A323&SUBSYS_86941043,PCI\\VEN_8086&DEV_A323"},
      {"HardwareIDcompat", "PCI\\CC_0C0500,PCI\\CC_0C05"},
      {"RegDriverDate", "43703"},
      {"DriverDate", "08-26-2019"},
      {"RegDriverVersion", "10.1.1.44"},
      {"DriverVersion", "10.1.1.44"},
      {"RegProvider", "Intel"},
      {"RegManufacturer", "Intel Corporation"},
      {"Vendor", "INTEL"},
      {"InfPath", "oem917.inf"},
      {"InfSection", "VX_Device.NT"},
      {"HardwareIDmatch", "PCI\\VEN_8086&DEV_A323"},
      {"RegDriverDesc", "Vantrix Test Controller"},
      {"ConfigFlags", "1024"},
      {"ConfigFlagsStr", "CONFIGFLAG_FINISH_INSTALL"},  // the INI object trims values
      {"Capabilities", "132"},
      {"CapabilitiesStr", "CM_DEVCAP_REMOVABLE CM_DEVCAP_SURPRISEREMOVALOK"},
      {"RegService", "vxdiff"},
      {"RegLocation", "PCI bus 0, device 31, function 4"},
  };
  for (const auto& [key, value] : expected) EXPECT_EQ(ini.ReadString(s, key), value) << key;
  // Not compared, because the backends may rightly differ:
  // - IsConnected, IsFailed, NeedRestart, NodeStatus*, NodeProblem*,
  //   InstallState*, RegPhysicalName: node state comes from the running
  //   kernel; the fixture has no driver stack behind it.
  // - Dev* keys: the unified property store is kept apart from these
  //   registry values on Windows; Wine has no store for a device written
  //   this way (the simulated machine derives the properties from them).
  // - Class: the class description is the system's own text.
  // - RegEnumerator, RegUiNumber: filled in by the PnP manager.
}

// --- INF copy lists ----------------------------------------------------------

void WriteWindowsFile(const std::string& windows_path, const std::string& text) {
  const fs::path host = platform::Sys().HostPath(windows_path);
  fs::create_directories(host.parent_path());
  std::ofstream(host, std::ios::binary) << text;
}

TEST_F(CoreDevices, InfCopyFilesOfSampleDriver) {
  if (!platform::IsSimulated()) GTEST_SKIP() << "the sample PC exists only simulated";
  std::string first;
  EXPECT_EQ(ListInfCopyFiles("oem5.inf", "RTL8168.ndi.NT", &first),
            std::vector<std::string>{"C:\\Windows\\system32\\drivers\\rt640x64.sys"});
  EXPECT_EQ(first, "C:\\Windows\\inf\\oem5.inf");
  EXPECT_TRUE(ListInfCopyFiles("missing.inf", "Any", &first).empty());
  EXPECT_EQ(first, "");
}

TEST_F(CoreDevices, InfCopyFilesRules) {
  WriteWindowsFile("C:\\Windows\\INF\\vxtest.inf",
                   "[Version]\r\nSignature=\"$WINDOWS NT$\"\r\n\r\n"
                   "[DestinationDirs]\r\n"
                   "DefaultDestDir = 12\r\n"
                   "Files.Sys = 12          ; drivers\r\n"
                   "Files.Store = 13\r\n"
                   "Files.App = 16422,Vendor\\Tool\r\n"
                   "Files.Root = 30\r\n\r\n"
                   "[Install.NT]\r\n"
                   "CopyFiles = Files.Sys, Files.Store ; comment\r\n"
                   "CopyFiles = Files.App,Files.Root\r\n"
                   "CopyFiles = @single.dll\r\n"
                   "Include = vxbase.inf, vxtest.inf\r\n"
                   "Needs = Base.Install, Install.NT\r\n\r\n"
                   "[Files.Sys]\r\n"
                   "; a comment line\r\n"
                   "vxdrv.sys,,,0x00004000\r\n"
                   "vxhelp.sys ; trailing comment\r\n"
                   "VXDRV.SYS\r\n\r\n"
                   "[Files.Store]\r\nstored.sys\r\n\r\n"
                   "[Files.App]\r\ntool.exe\r\n\r\n"
                   "[Files.Root]\r\nroot.bin\r\n");
  WriteWindowsFile("C:\\Windows\\INF\\vxbase.inf",
                   "[DestinationDirs]\r\nDefaultDestDir = 11\r\n"
                   "[Base.Install]\r\nCopyFiles = Base.Files\r\n"
                   "[Base.Files]\r\nvxbase.dll\r\n");
  std::string first;
  auto files = ListInfCopyFiles("vxtest.inf", "Install.NT", &first);
  EXPECT_TRUE(SameText(first, "C:\\Windows\\inf\\vxtest.inf")) << first;
  std::vector<std::string> expected = {
      "C:\\Windows\\system32\\drivers\\vxdrv.sys",  "C:\\Windows\\system32\\drivers\\vxhelp.sys",
      "C:\\Program Files\\Vendor\\Tool\\tool.exe",  "C:\\root.bin",
      "C:\\Windows\\system32\\drivers\\single.dll", "C:\\Windows\\system32\\vxbase.dll",
  };
  if (platform::IsSimulated()) {
    EXPECT_EQ(files, expected);
  } else {
    EXPECT_EQ(files.size(), expected.size());
  }
}

TEST_F(CoreDevices, ExpandInfPath) {
  EXPECT_EQ(ExpandInfPath("no variables"), "no variables");
  EXPECT_EQ(ExpandInfPath("%NO_SUCH_VARIABLE_VX%\\a"), "%NO_SUCH_VARIABLE_VX%\\a");
  const std::string long_text = "%SystemRoot%\\" + std::string(300, 'a');
  EXPECT_EQ(ExpandInfPath(long_text), long_text);
  if (!platform::IsSimulated()) return;
  EXPECT_EQ(ExpandInfPath("%SystemRoot%\\inf\\x.inf"), "C:\\Windows\\inf\\x.inf");
  // windir is a REG_EXPAND_SZ system variable naming %SystemRoot%.
  EXPECT_EQ(ExpandInfPath("%windir%\\x"), "C:\\Windows\\x");
  EXPECT_EQ(ExpandInfPath("%ProgramFiles%\\x"), "C:\\Program Files\\x");
}

// --- Windows XP ----------------------------------------------------------------

class CoreDevicesXp : public CoreDevices {
 protected:
  void SetUp() override {
    // The sample desktop claiming to be XP: no unified properties exist.
    sample_ = sample_dir_.path() / "xp";
    fs::copy(fs::path(VX_DATA_DIR) / "machines" / "desktop-win10-x64", sample_,
             fs::copy_options::recursive);
    std::ifstream in(sample_ / "machine.ini", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    in.close();
    text = ReplaceAll(text, "Major=10", "Major=5");
    text = ReplaceAll(text, "Minor=0", "Minor=1");
    std::ofstream(sample_ / "machine.ini", std::ios::binary) << text;
    sample_text_ = PathUtf8(sample_);
    CoreDevices::SetUp();
  }
  const char* Sample() const override { return sample_text_.c_str(); }
  test::TempDir sample_dir_;
  fs::path sample_;
  std::string sample_text_;
};

TEST_F(CoreDevicesXp, UnifiedPropertiesAreNotRead) {
  if (!platform::IsSimulated()) GTEST_SKIP() << "needs a simulated XP machine";
  IniFile ini = Generate();
  EXPECT_EQ(ini.ReadString("Settings", "Windows"), "5");
  const int unique = ini.ReadInteger("Settings", "UniqueDevices", 0);
  ASSERT_GT(unique, 0);
  const char* texts[] = {"DevBusDesc",    "DevDriverVersion",  "DevProvider", "DevManufacturer",
                         "DevDriverDesc", "DevDetailedDesc",   "DevWebSite",  "DevModel",
                         "DevFriendly",   "DevHardwareIDmatch"};
  const char* raw_dates[] = {"DevDriverDate", "DevInstallDateRaw", "DevFirstInstallDateRaw"};
  const char* dates[] = {"DevInstallDate", "DevFirstInstallDate"};
  for (int i = 0; i < unique; ++i) {
    const std::string s = std::to_string(i);
    for (const char* k : texts) EXPECT_EQ(ini.ReadString(s, k, "missing"), "") << s << " " << k;
    for (const char* k : raw_dates) EXPECT_EQ(ini.ReadString(s, k), "0") << s << " " << k;
    for (const char* k : dates) EXPECT_EQ(ini.ReadString(s, k), "12-30-1899") << s << " " << k;
  }
  // The class key still gives the driver's date and version.
  const std::string gpio = SectionOf(ini, "ACPI\\AMDI0030\\0");
  EXPECT_EQ(ini.ReadString(gpio, "DriverDate"), "08-26-2019");
  EXPECT_EQ(ini.ReadString(gpio, "DriverVersion"), "2.2.0.130");
}

// --- The three sample PCs ---------------------------------------------------------

struct SampleCounts {
  const char* sample;
  int windows;
  int total, unique, duplicates, empty, ignored;
  const char* failed;     // the device whose driver did not install
  const char* disabled;   // switched off by the user
  const char* restart;    // waits for a restart
  const char* past;       // no longer present
};

class SampleDeviceLists : public CoreDevices, public ::testing::WithParamInterface<SampleCounts> {
 protected:
  const char* Sample() const override { return GetParam().sample; }
};

TEST_P(SampleDeviceLists, CountsAndTheDeliberateOddities) {
  if (!platform::IsSimulated()) GTEST_SKIP() << "the sample PCs exist only simulated";
  const SampleCounts& want = GetParam();
  DeviceListCounters c;
  IniFile ini = Generate(&c);
  EXPECT_EQ(ini.ReadInteger("Settings", "Windows", -1), want.windows);
  EXPECT_EQ(c.total, want.total);
  EXPECT_EQ(c.unique, want.unique);
  EXPECT_EQ(c.duplicates, want.duplicates);
  EXPECT_EQ(c.empty, want.empty);
  EXPECT_EQ(c.ignored, want.ignored);
  // Nothing in a sample is unreadable; its oddities are all deliberate.
  EXPECT_EQ(ini.ReadSection("Errors"), std::vector<std::string>{"Dump"});

  struct State {
    const char* id;
    const char* connected;
    const char* failed;
    const char* restart;
    bool present;
  };
  const State states[] = {
      {want.failed, "1", "1", "0", true},
      {want.disabled, "0", "0", "0", true},
      {want.restart, "1", "0", "1", true},
      {want.past, "0", "0", "0", false},
  };
  for (const State& st : states) {
    const std::string s = SectionOf(ini, st.id);
    ASSERT_NE(s, "") << st.id;
    EXPECT_EQ(ini.ReadString(s, "IsConnected"), st.connected) << st.id;
    EXPECT_EQ(ini.ReadString(s, "IsFailed"), st.failed) << st.id;
    EXPECT_EQ(ini.ReadString(s, "NeedRestart"), st.restart) << st.id;
    EXPECT_EQ(ini.ValueExists(s, "NodeStatus"), st.present) << st.id;
  }
  // Every listed device names its class, and the class its description.
  for (int i = 0; i < c.unique; ++i) {
    const std::string s = std::to_string(i);
    EXPECT_NE(ini.ReadString(s, "Class"), "") << ini.ReadString(s, "EnumKey");
    EXPECT_NE(ini.ReadString(s, "HardwareIDregular") + ini.ReadString(s, "HardwareIDcompat"), "")
        << ini.ReadString(s, "EnumKey");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Samples, SampleDeviceLists,
    ::testing::Values(
        SampleCounts{"desktop-win10-x64", 10, 149, 127, 19, 1, 2,
                     "PCI\\VEN_1022&DEV_1486&SUBSYS_14861022&REV_00\\4&2d9b4b0a&0&0141",
                     "HDAUDIO\\FUNC_01&VEN_10DE&DEV_0083&SUBSYS_14623731&REV_1001\\5&1f1c5c1&0&0001",
                     "USB\\VID_0BDA&PID_0129\\20100201396000000",
                     "USB\\VID_045E&PID_02EA\\3032363030303234"},
        SampleCounts{"laptop-win7-x86", 7, 97, 84, 9, 1, 3,
                     "PCI\\VEN_1180&DEV_E230&SUBSYS_215817AA&REV_02\\4&39a1f3c5&0&21E4",
                     "PCI\\VEN_8086&DEV_10EA&SUBSYS_215F17AA&REV_06\\3&21436425&0&C8",
                     "HDAUDIO\\FUNC_01&VEN_8086&DEV_2804&SUBSYS_80860101&REV_1000\\4&1f2a4b8c&0&0301",
                     "USB\\VID_0BDB&PID_1900\\6&2f3e1a9c&0&2"},
        SampleCounts{"desktop-winxp-x86", 5, 84, 72, 6, 1, 5,
                     "PCI\\VEN_8086&DEV_27DA&SUBSYS_5002458C&REV_01\\3&61aaa01&0&FB",
                     "ACPI\\PNP0400\\4&1d3b2c1&0",
                     "PCI\\VEN_8086&DEV_2772&SUBSYS_5002458C&REV_02\\3&61aaa01&0&10",
                     "USB\\VID_0930&PID_6545\\001D92DC4BE8C9B1B3A2001F"}),
    [](const ::testing::TestParamInfo<SampleCounts>& info) {
      std::string name = info.param.sample;
      std::replace(name.begin(), name.end(), '-', '_');
      return name;
    });

// The real XP sample: its class keys give what the device list needs, and
// the unified properties (which the simulator could derive) stay unread.
class CoreDevicesXpSample : public CoreDevices {
 protected:
  const char* Sample() const override { return "desktop-winxp-x86"; }
};

TEST_F(CoreDevicesXpSample, UnifiedPropertiesAreNotRead) {
  if (!platform::IsSimulated()) GTEST_SKIP() << "the sample PC exists only simulated";
  IniFile ini = Generate();
  const std::string nic =
      SectionOf(ini, "PCI\\VEN_10EC&DEV_8139&SUBSYS_813910EC&REV_10\\4&3b1b1c5a&0&08F0");
  ASSERT_NE(nic, "");
  // "5.726.0302.2008" in the class key, written as numbers.
  EXPECT_EQ(ini.ReadString(nic, "RegDriverVersion"), "5.726.302.2008");
  EXPECT_EQ(ini.ReadString(nic, "DriverVersion"), "5.726.302.2008");
  EXPECT_EQ(ini.ReadString(nic, "DriverDate"), "03-02-2008");
  EXPECT_EQ(ini.ReadString(nic, "RegProvider"), "Realtek Semiconductor Corp.");
  EXPECT_EQ(ini.ReadString(nic, "DevDriverVersion", "missing"), "");
  EXPECT_EQ(ini.ReadString(nic, "DevProvider", "missing"), "");
  EXPECT_EQ(ini.ReadString(nic, "DevDriverDate"), "0");
  EXPECT_EQ(ini.ReadString(nic, "DevHardwareIDmatch", "missing"), "");
}

}  // namespace
}  // namespace vx
