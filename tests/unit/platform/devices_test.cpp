// Device-installation services. Enumeration consistency and INF reading run
// on both backends (under Wine the device tree is Wine's own, so only its
// shape is checked); the exact devices are the sample PC's, checked on the
// simulated machine.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>

#include "common/text.h"
#include "platform/devices.h"
#include "platform/platform.h"
#include "support/test_machine.h"

namespace vx::platform {
namespace {

using Devices = test::MachineFixture;

bool IsGuidText(const std::string& s) {
  static const std::regex re("\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}");
  return std::regex_match(s, re);
}

std::vector<DeviceInfo> All(DeviceInfoSet& set) {
  std::vector<DeviceInfo> out;
  for (uint32_t i = 0;; ++i) {
    auto d = set.Enum(i);
    if (!d) {
      EXPECT_EQ(d.error(), kErrorNoMoreItems);
      break;
    }
    out.push_back(*d);
  }
  return out;
}

// Opens the set and finds the device by instance id (case-insensitive).
struct Found {
  std::unique_ptr<DeviceInfoSet> set;
  DeviceInfo dev;
};
Found Find(std::string_view instance_id) {
  auto set = OpenDeviceInfoSet();
  EXPECT_TRUE(set);
  if (!set) return {};
  Found f{std::move(*set), {}};
  for (const auto& d : All(*f.set))
    if (SameText(d.instance_id, instance_id)) f.dev = d;
  EXPECT_FALSE(f.dev.instance_id.empty()) << instance_id;
  return f;
}

uint64_t FileTimeOf(int y, int m, int d) {
  // Days from 1601-01-01 by counting; the tests only use a few dates.
  auto leap = [](int yy) { return (yy % 4 == 0 && yy % 100 != 0) || yy % 400 == 0; };
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int64_t days = 0;
  for (int yy = 1601; yy < y; ++yy) days += leap(yy) ? 366 : 365;
  for (int mm = 1; mm < m; ++mm) days += kDays[mm - 1] + (mm == 2 && leap(y));
  days += d - 1;
  return uint64_t(days) * 864000000000ull;
}

TEST_F(Devices, EnumerationIsConsistent) {
  auto all = OpenDeviceInfoSet();
  ASSERT_TRUE(all) << all.error();
  auto devices = All(**all);
  std::map<std::string, int> seen;
  for (const auto& d : devices) {
    EXPECT_EQ(d.instance_id_error, 0u);
    EXPECT_FALSE(d.instance_id.empty());
    EXPECT_EQ(++seen[UpperCase(d.instance_id)], 1) << "listed twice: " << d.instance_id;
    if (!d.class_guid.empty()) {
      EXPECT_TRUE(IsGuidText(d.class_guid)) << d.class_guid;
      auto desc = ClassDescription(d.class_guid);
      // Wine answers classes it has no key for with other codes.
      if (!desc && IsSimulated()) {
        EXPECT_EQ(desc.error(), kErrorInvalidClass) << d.class_guid;
      }
    }
    auto hw = RegistryStrings(**all, d, kSpdrpHardwareId);
    if (!hw) {
      EXPECT_EQ(hw.error(), kErrorInvalidData) << d.instance_id;
    }
    NodeState st = (*all)->NodeStatus(d);
    if (st.cr == kCrSuccess && st.problem != 0) {
      EXPECT_TRUE(st.status & kDnHasProblem);
    }
  }
  RecordProperty("devices", static_cast<int>(devices.size()));
  auto present = OpenDeviceInfoSet({true, ""});
  ASSERT_TRUE(present);
  auto present_devices = All(**present);
  EXPECT_LE(present_devices.size(), devices.size());
  for (const auto& d : present_devices) {
    EXPECT_TRUE(seen.count(UpperCase(d.instance_id))) << d.instance_id;
    EXPECT_EQ((*present)->NodeStatus(d).cr, kCrSuccess) << d.instance_id;
  }
  EXPECT_EQ(OpenDeviceInfoSet({false, "not a guid"}).error(), kErrorInvalidParameter);
}

TEST_F(Devices, InfFileReadsSectionsFieldsAndTargets) {
  const auto host = Sys().Folder(KnownFolder::kTemp) / "vx_devices_test.inf";
  {
    std::ofstream out(host, std::ios::binary);
    out << "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Net\r\nProvider=%Vendor%\r\n"
           "DriverVer=11/18/2019,10.38.1118.2019\r\n\r\n"
           "[Manufacturer]\r\n%Vendor%=Models,NTamd64,NTx86\r\n\r\n"
           "[Models.NTamd64]\r\n%Desc%=Inst, PCI\\VEN_10EC&DEV_8168 ; the chip\r\n"
           "[Models.NTx86]\r\n%Desc%=Inst, PCI\\VEN_10EC&DEV_8168\r\n\r\n"
           "[Inst.NTamd64]\r\nCopyFiles=Sys.Copy, App.Copy\r\n"
           "[Inst.NTx86]\r\nCopyFiles=Sys.Copy\r\n"
           "[Sys.Copy]\r\nrt640x64.sys,,,2\r\n"
           "[App.Copy]\r\nrtapp.dll\r\n"
           "[DestinationDirs]\r\nSys.Copy=12\r\nDefaultDestDir=11\r\n"
           "[Strings]\r\nVendor=\"Realtek\"\r\nDesc=\"Realtek PCIe GbE, Family Controller\"\r\n";
  }
  uint32_t error_line = 99;
  auto inf = OpenInfFile(Sys().WindowsPath(host), &error_line);
  ASSERT_TRUE(inf) << std::hex << inf.error();
  EXPECT_TRUE((*inf)->HasSection("models.ntamd64"));
  EXPECT_FALSE((*inf)->HasSection("Missing"));

  auto models = (*inf)->Lines("Models.NTamd64");
  ASSERT_TRUE(models);
  ASSERT_EQ(models->size(), 1u);
  EXPECT_EQ((*models)[0].key, "Realtek PCIe GbE, Family Controller");
  EXPECT_EQ((*models)[0].fields, (std::vector<std::string>{"Inst", "PCI\\VEN_10EC&DEV_8168"}));

  auto mfg = (*inf)->FindLine("Manufacturer", "Realtek");
  ASSERT_TRUE(mfg);
  EXPECT_EQ(mfg->fields, (std::vector<std::string>{"Models", "NTamd64", "NTx86"}));
  EXPECT_FALSE((*inf)->FindLine("Version", "Nothing"));

  auto copy = (*inf)->Lines("Sys.Copy");
  ASSERT_TRUE(copy);
  ASSERT_EQ(copy->size(), 1u);
  EXPECT_EQ((*copy)[0].key, "");
  EXPECT_EQ((*copy)[0].fields, (std::vector<std::string>{"rt640x64.sys", "", "", "2"}));

  auto section = (*inf)->ActualSectionToInstall("Inst");
  ASSERT_TRUE(section);
  EXPECT_TRUE(SameText(*section, Sys().IsWindows64() && sizeof(void*) == 8 ? "Inst.NTamd64"
                                                                           : "Inst.NTx86"))
      << *section;
  EXPECT_FALSE((*inf)->ActualSectionToInstall("NoSuchSection"));

  auto drivers = (*inf)->TargetPath("Sys.Copy");
  ASSERT_TRUE(drivers);
  EXPECT_TRUE(SameText(*drivers, *DirIdPath(12))) << *drivers;
  auto fallback = (*inf)->TargetPath("App.Copy");
  ASSERT_TRUE(fallback);
  EXPECT_TRUE(SameText(*fallback, *DirIdPath(11))) << *fallback;

  if (sizeof(void*) == 8 || !Sys().IsWindows64()) {
    auto files = ListCopyFiles(**inf, *section);
    ASSERT_TRUE(files);
    ASSERT_GE(files->size(), 1u);
    EXPECT_EQ((*files)[0].source, "rt640x64.sys");
    EXPECT_TRUE(SameText((*files)[0].target, *DirIdPath(12) + "\\rt640x64.sys"));
  }
  inf->reset();
  std::error_code ec;
  std::filesystem::remove(host, ec);

  EXPECT_FALSE(OpenInfFile(Sys().WindowsPath(host)));
  EXPECT_FALSE(DirIdPath(9999));
  const std::string drivers_dir = UpperCase(*DirIdPath(12));
  EXPECT_EQ(drivers_dir.substr(drivers_dir.size() - 17), "\\SYSTEM32\\DRIVERS");
}

TEST(DriverVersion, TextAndNumberConvert) {
  EXPECT_EQ(ParseDriverVersion("10.0.19041.1"), 0x000A00004A610001ull);
  EXPECT_EQ(DriverVersionText(0x000A00004A610001ull), "10.0.19041.1");
  EXPECT_EQ(ParseDriverVersion(" 6.0.8899.1 "), 0x0006000022C30001ull);
  EXPECT_EQ(ParseDriverVersion("1.2"), 0x0001000200000000ull);
  for (const char* bad : {"", "1.2.3.4.5", "70000.1.1.1", "1.x.2.3", "1..2.3"})
    EXPECT_EQ(ParseDriverVersion(bad), 0u) << bad;
}

// --- The sample PC (simulated machine only) ---------------------------------

class SampleDevices : public test::MachineFixture {
 protected:
  void SetUp() override {
    MachineFixture::SetUp();
    if (!IsSimulated()) GTEST_SKIP() << "the sample PC's devices exist only on the simulated machine";
  }
};

constexpr const char* kLan = "PCI\\VEN_10EC&DEV_8168&SUBSYS_7C021462&REV_15\\4&3b5c6e2f&0&00E4";
constexpr const char* kNetClass = "{4D36E972-E325-11CE-BFC1-08002BE10318}";

TEST_F(SampleDevices, CountsAndScopes) {
  auto all = OpenDeviceInfoSet();
  ASSERT_TRUE(all);
  EXPECT_EQ(All(**all).size(), 149u);
  auto present = OpenDeviceInfoSet({true, ""});
  ASSERT_TRUE(present);
  // Missing: the unplugged USB stick with its disk and drive letter, the
  // game pad, the headset and the device without ids.
  EXPECT_EQ(All(**present).size(), 143u);
  auto net = OpenDeviceInfoSet({false, "{4d36e972-e325-11ce-bfc1-08002be10318}"});
  ASSERT_TRUE(net);
  auto nets = All(**net);
  EXPECT_EQ(nets.size(), 13u);
  for (const auto& d : nets) EXPECT_EQ(d.class_guid, kNetClass);
}

TEST_F(SampleDevices, RegistryPropertiesOfTheEthernetController) {
  auto f = Find(kLan);
  ASSERT_TRUE(f.set);
  auto& set = *f.set;
  EXPECT_EQ(f.dev.class_guid, kNetClass);
  EXPECT_EQ(*RegistryStrings(set, f.dev, kSpdrpHardwareId),
            (std::vector<std::string>{"PCI\\VEN_10EC&DEV_8168&SUBSYS_7C021462&REV_15",
                                      "PCI\\VEN_10EC&DEV_8168&SUBSYS_7C021462",
                                      "PCI\\VEN_10EC&DEV_8168&CC_020000",
                                      "PCI\\VEN_10EC&DEV_8168&CC_0200"}));
  EXPECT_EQ(RegistryStrings(set, f.dev, kSpdrpCompatibleIds)->size(), 7u);
  struct Case {
    uint32_t spdrp;
    const char* text;
  };
  for (const Case& c : {Case{kSpdrpDeviceDesc, "Realtek PCIe GbE Family Controller"},
                        Case{kSpdrpService, "rt640x64"}, Case{kSpdrpClass, "Net"},
                        Case{kSpdrpDriver, "{4d36e972-e325-11ce-bfc1-08002be10318}\\0000"},
                        Case{kSpdrpMfg, "Realtek"}, Case{kSpdrpEnumeratorName, "PCI"},
                        Case{kSpdrpLocationInformation, "PCI bus 37, device 0, function 0"}}) {
    auto v = RegistryString(set, f.dev, c.spdrp);
    ASSERT_TRUE(v) << c.spdrp;
    EXPECT_EQ(*v, c.text) << c.spdrp;
  }
  EXPECT_EQ(*RegistryDword(set, f.dev, kSpdrpConfigFlags), 0u);
  EXPECT_EQ(*RegistryDword(set, f.dev, kSpdrpInstallState), 0u);
  EXPECT_EQ(*RegistryDword(set, f.dev, kSpdrpLegacyBusType), 5u);
  auto pdo = RegistryString(set, f.dev, kSpdrpPhysicalDeviceObjectName);
  ASSERT_TRUE(pdo);
  EXPECT_TRUE(StartsWithText(*pdo, "\\Device\\"));
  // Missing properties answer as SetupAPI does.
  EXPECT_EQ(RegistryString(set, f.dev, kSpdrpFriendlyName).error(), kErrorInvalidData);
  EXPECT_EQ(RegistryString(set, f.dev, kSpdrpUpperFilters).error(), kErrorInvalidData);
}

TEST_F(SampleDevices, UnifiedPropertiesComeFromTheSameData) {
  auto f = Find(kLan);
  ASSERT_TRUE(f.set);
  auto& set = *f.set;
  auto text = [&](const DevPropKey& k) {
    auto v = set.Property(f.dev, k);
    EXPECT_TRUE(v) << k.fmtid << " " << k.pid;
    return v ? v->text : std::string();
  };
  EXPECT_EQ(text(devpkey::kDriverVersion), "10.38.1118.2019");
  EXPECT_EQ(text(devpkey::kDriverProvider), "Realtek");
  EXPECT_EQ(text(devpkey::kDriverDesc), "Realtek PCIe GbE Family Controller");
  EXPECT_EQ(text(devpkey::kDriverInfPath), "oem5.inf");
  EXPECT_EQ(text(devpkey::kDriverInfSection), "RTL8168.ndi");
  EXPECT_EQ(text(devpkey::kMatchingDeviceId), "PCI\\VEN_10EC&DEV_8168");
  EXPECT_EQ(text(devpkey::kManufacturer), "Realtek");
  EXPECT_EQ(text(devpkey::kDeviceDesc), "Realtek PCIe GbE Family Controller");
  EXPECT_EQ(text(devpkey::kInstanceId), kLan);
  EXPECT_EQ(text(devpkey::kClassGuid), kNetClass);

  auto date = set.Property(f.dev, devpkey::kDriverDate);
  ASSERT_TRUE(date);
  EXPECT_EQ(date->kind, DeviceValue::Kind::kFileTime);
  EXPECT_EQ(date->number, FileTimeOf(2019, 11, 18));
  auto first = set.Property(f.dev, devpkey::kFirstInstallDate);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->number / 864000000000ull, FileTimeOf(2020, 12, 14) / 864000000000ull);
  auto ids = set.Property(f.dev, devpkey::kHardwareIds);
  ASSERT_TRUE(ids);
  EXPECT_EQ(ids->kind, DeviceValue::Kind::kStrings);
  EXPECT_EQ(ids->raw_type, kDevPropTypeStringList);
  EXPECT_EQ(set.Property(f.dev, devpkey::kIsPresent)->number, 1u);
  EXPECT_EQ(set.Property(f.dev, devpkey::kHasProblem)->number, 0u);

  EXPECT_EQ(set.Property(f.dev, devpkey::kDrvPkgModel).error(), kErrorNotFound);
  EXPECT_EQ(set.Property(f.dev, devpkey::kFriendlyName).error(), kErrorNotFound);
  EXPECT_EQ(set.Property(f.dev, devpkey::kBusReportedDeviceDesc).error(), kErrorNotFound);
}

TEST_F(SampleDevices, InstalledDriverNode) {
  auto f = Find(kLan);
  ASSERT_TRUE(f.set);
  auto node = f.set->InstalledDriver(f.dev);
  ASSERT_TRUE(node) << node.error();
  EXPECT_EQ(node->description, "Realtek PCIe GbE Family Controller");
  EXPECT_EQ(node->manufacturer, "Realtek");  // the INF's [Manufacturer] name
  EXPECT_EQ(node->provider, "Realtek");
  EXPECT_EQ(DriverVersionText(node->version), "10.38.1118.2019");
  EXPECT_EQ(node->date, FileTimeOf(2019, 11, 18));
  EXPECT_EQ(node->inf_path, "C:\\Windows\\INF\\oem5.inf");
  EXPECT_EQ(node->section, "RTL8168.ndi");
  EXPECT_EQ(node->hardware_id, "PCI\\VEN_10EC&DEV_8168");

  auto bad = Find("PCI\\VEN_1022&DEV_1486&SUBSYS_14861022&REV_00\\4&2d9b4b0a&0&0141");
  ASSERT_TRUE(bad.set);
  EXPECT_EQ(bad.set->InstalledDriver(bad.dev).error(), kErrorNoMoreItems);
}

TEST_F(SampleDevices, NodeStates) {
  struct Case {
    const char* id;
    uint32_t cr;
    uint32_t problem;
    bool has_problem_bit;
  };
  const Case cases[] = {
      {kLan, kCrSuccess, 0, false},
      // No driver could be installed.
      {"PCI\\VEN_1022&DEV_1486&SUBSYS_14861022&REV_00\\4&2d9b4b0a&0&0141", kCrSuccess,
       kProbFailedInstall, true},
      // Disabled by the user.
      {"HDAUDIO\\FUNC_01&VEN_10DE&DEV_0083&SUBSYS_14623731&REV_1001\\5&1f1c5c1&0&0001",
       kCrSuccess, kProbDisabled, true},
      // Unplugged: the node does not exist.
      {"USB\\VID_0781&PID_5567\\6&1a2b3c4d&0&7", kCrNoSuchDevnode, 0, false},
  };
  for (const Case& c : cases) {
    auto f = Find(c.id);
    ASSERT_TRUE(f.set);
    NodeState st = f.set->NodeStatus(f.dev);
    EXPECT_EQ(st.cr, c.cr) << c.id;
    EXPECT_EQ(st.problem, c.problem) << c.id;
    EXPECT_EQ((st.status & kDnHasProblem) != 0, c.has_problem_bit) << c.id;
  }
  auto phantom = Find("USB\\VID_0781&PID_5567\\6&1a2b3c4d&0&7");
  EXPECT_EQ(phantom.set->Property(phantom.dev, devpkey::kIsPresent)->number, 0u);
  EXPECT_EQ(phantom.set->Property(phantom.dev, devpkey::kDevNodeStatus).error(), kErrorNotFound);
  EXPECT_EQ(RegistryString(*phantom.set, phantom.dev, kSpdrpPhysicalDeviceObjectName).error(),
            kErrorInvalidData);
  EXPECT_EQ(phantom.set->Property(phantom.dev, devpkey::kBusReportedDeviceDesc)->text,
            " Cruzer Blade");
  auto failed = Find("PCI\\VEN_1022&DEV_1486&SUBSYS_14861022&REV_00\\4&2d9b4b0a&0&0141");
  EXPECT_EQ(*RegistryDword(*failed.set, failed.dev, kSpdrpInstallState), 2u);
  EXPECT_EQ(*RegistryString(*failed.set, failed.dev, kSpdrpClass), "Unknown");
  EXPECT_EQ(RegistryString(*failed.set, failed.dev, kSpdrpDriver).error(), kErrorInvalidData);
}

TEST_F(SampleDevices, SetupClasses) {
  EXPECT_EQ(*ClassDescription("{4d36e972-e325-11ce-bfc1-08002be10318}"), "Network adapters");
  EXPECT_EQ(*ClassDescription(kNetClass), "Network adapters");
  EXPECT_EQ(*ClassName(kNetClass), "Net");
  EXPECT_EQ(*ClassImageIndex(kNetClass), 15);
  EXPECT_EQ(*ClassName("{8ECC055D-047F-11D1-A537-0000F8753ED1}"), "LegacyDriver");
  EXPECT_EQ(*ClassDescription("{4d36e97e-e325-11ce-bfc1-08002be10318}"), "Other devices");
  EXPECT_EQ(ClassDescription("{00000000-0000-0000-0000-000000000001}").error(), kErrorInvalidClass);
  EXPECT_EQ(ClassImageIndex("nonsense").error(), kErrorInvalidClass);
}

TEST_F(SampleDevices, EveryInstalledVendorInfOpensAndNamesItsDriver) {
  auto set = OpenDeviceInfoSet();
  ASSERT_TRUE(set);
  int vendor_infs = 0;
  for (const auto& d : All(**set)) {
    auto node = (*set)->InstalledDriver(d);
    if (!node || !StartsWithText(node->inf_path, "C:\\Windows\\INF\\oem")) continue;
    ++vendor_infs;
    auto inf = OpenInfFile(node->inf_path);
    ASSERT_TRUE(inf) << node->inf_path;
    auto section = (*inf)->ActualSectionToInstall(node->section);
    ASSERT_TRUE(section) << node->inf_path << " " << node->section;
    EXPECT_TRUE(ListCopyFiles(**inf, *section)) << node->inf_path;
    EXPECT_FALSE(node->manufacturer.empty()) << node->inf_path;
  }
  EXPECT_EQ(vendor_infs, 13);
}

TEST_F(SampleDevices, CopyFilesResolveOntoDriveC) {
  auto inf = OpenInfFile("C:\\Windows\\INF\\oem8.inf");
  ASSERT_TRUE(inf);
  auto section = (*inf)->ActualSectionToInstall("IntcAzAudModel");
  ASSERT_TRUE(section);
  EXPECT_EQ(*section, "IntcAzAudModel.NTamd64");
  auto files = ListCopyFiles(**inf, *section);
  ASSERT_TRUE(files);
  std::vector<std::string> targets;
  for (const auto& f : *files) targets.push_back(f.target);
  EXPECT_EQ(targets, (std::vector<std::string>{"C:\\Windows\\system32\\drivers\\RTKVHD64.sys",
                                               "C:\\Windows\\system32\\RTKAPO64.dll",
                                               "C:\\Windows\\system32\\RtkApi64U.dll"}));
  // The display driver's kernel file goes to the driver store (dirid 13).
  auto nv = OpenInfFile("C:\\Windows\\INF\\oem12.inf");
  ASSERT_TRUE(nv);
  auto nv_files = ListCopyFiles(**nv, "Section066");
  ASSERT_TRUE(nv_files);
  ASSERT_EQ(nv_files->size(), 3u);
  EXPECT_EQ((*nv_files)[0].target, "C:\\Windows\\system32\\DriverStore\\FileRepository\\nvlddmkm.sys");
  EXPECT_EQ((*nv_files)[2].target, "C:\\Windows\\system32\\nvcuda.dll");
}

}  // namespace
}  // namespace vx::platform
