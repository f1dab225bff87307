// The differential test of the device inventory: a sample PC's devices are
// imported into a Wine prefix (tests/wine/devices_diff.sh), this program
// writes "Devices.ini" there through real SetupAPI and compares it with the
// list the simulated machine gives for the same PC, device by device and
// key by key. Wine's own devices are not part of the sample and are
// ignored. Every key must agree except the ones listed below, each with the
// reason Wine cannot give it.
//
//   VX_DIFF_SIM_INI   the simulated machine's list (written by vxsim devlist)
//   VX_DIFF_OUT_INI   where this program writes Wine's list
//   VX_DIFF_SAMPLE_IDS the sample's instance ids, one a line
// Without them (run outside the script) the test is skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/ini_file.h"
#include "common/text.h"
#include "engine/core_devices.h"
#include "platform/platform.h"

namespace vx {
namespace {

// A key Wine cannot give like Windows does, and why.
struct Unprovided {
  const char* key;
  const char* reason;
};

// Keys never compared.
constexpr Unprovided kNeverCompared[] = {
    {"DeviceIndex",
     "the position in the enumeration: Wine's own devices are enumerated between the sample's"},
    {"RegEnumerator",
     "Wine does not answer SPDRP_ENUMERATOR_NAME (ERROR_NOT_FOUND); Windows' PnP manager "
     "gives the enumerator of the instance id"},
};

// Keys that come from the running kernel's device node. The imported
// devices have no driver stack under Wine, so the configuration manager
// answers for a device that was never started. The sample records the
// node as Windows had it (Control subkey), which the simulated machine
// reports.
constexpr Unprovided kNodeState[] = {
    {"IsConnected", "derived from the node's problem code (disabled)"},
    {"IsFailed", "derived from the node's problem code"},
    {"NeedRestart", "derived from the node status bit DN_NEED_RESTART"},
    {"NodeStatus", "DN_* bits of the running device node"},
    {"NodeStatusStr", "text of NodeStatus"},
    {"NodeProblemNumber", "problem code of the running device node"},
    {"NodeProblemStr", "text of NodeProblemNumber"},
    {"InstallState", "written only for a connected, working node"},
    {"InstallStateStr", "text of InstallState"},
    {"RegPhysicalName", "the PDO name exists only for a started node"},
};

// The unified properties (SetupDiGetDevicePropertyW). Windows keeps them in
// the PnP manager's property store, filled from the device and driver keys
// when the device is installed; the simulated machine derives them from
// the same keys. Wine reads only a Properties subkey of the device, which
// the imported devices do not have, so it answers "not found" for all.
constexpr Unprovided kUnifiedProperties[] = {
    {"DevBusDesc", "DEVPKEY_Device_BusReportedDeviceDesc, set by the bus driver"},
    {"DevDriverDate", "DEVPKEY_Device_DriverDate"},
    {"DevDriverVersion", "DEVPKEY_Device_DriverVersion"},
    {"DevProvider", "DEVPKEY_Device_DriverProvider"},
    {"DevManufacturer", "DEVPKEY_Device_Manufacturer"},
    {"DevInstallDate", "DEVPKEY_Device_InstallDate"},
    {"DevInstallDateRaw", "DEVPKEY_Device_InstallDate"},
    {"DevFirstInstallDate", "DEVPKEY_Device_FirstInstallDate"},
    {"DevFirstInstallDateRaw", "DEVPKEY_Device_FirstInstallDate"},
    {"DevDriverDesc", "DEVPKEY_Device_DriverDesc"},
    {"DevDetailedDesc", "DEVPKEY_DrvPkg_DetailedDescription"},
    {"DevWebSite", "DEVPKEY_DrvPkg_VendorWebSite"},
    {"DevModel", "DEVPKEY_DrvPkg_Model"},
    {"DevFriendly", "DEVPKEY_Device_FriendlyName"},
    {"DevHardwareIDmatch", "DEVPKEY_Device_MatchingDeviceId"},
};

template <size_t N>
const char* ReasonIn(const Unprovided (&table)[N], const std::string& key) {
  for (const auto& u : table)
    if (SameText(key, u.key)) return u.reason;
  return nullptr;
}

const char* ReasonNotCompared(const std::string& key) {
  if (const char* r = ReasonIn(kNeverCompared, key)) return r;
  if (const char* r = ReasonIn(kNodeState, key)) return r;
  return ReasonIn(kUnifiedProperties, key);
}

// Keys chosen from a unified property when the device has it, else from
// the registry: where the simulated machine's unified value differs from
// the registry's, Wine (which has none) rightly shows the registry one.
struct PreferredProperty {
  const char* key;
  const char* unified;   // the Dev* key it prefers
  const char* registry;  // the key of the fallback
};
constexpr PreferredProperty kPreferUnified[] = {
    {"DriverVersion", "DevDriverVersion", "RegDriverVersion"},
    {"DriverDate", "DevDriverDate", "RegDriverDate"},
    {"DriverDateRaw", "DevDriverDate", "RegDriverDate"},
    {"Vendor", "DevManufacturer", "RegManufacturer"},
};

// Why a key of this device is not compared, or nullptr.
const char* DeviceReason(const IniFile& sim, const std::string& section, const std::string& key) {
  for (const auto& p : kPreferUnified) {
    if (!SameText(key, p.key)) continue;
    const std::string unified = sim.ReadString(section, p.unified);
    if (!unified.empty() && unified != "0" && unified != sim.ReadString(section, p.registry))
      return "taken from a unified property that differs from the registry value";
  }
  // An "Unknown" device is named by its bus-reported description.
  if ((SameText(key, "DeviceDesc") || SameText(key, "DeviceDescRaw")) &&
      SameText(sim.ReadString(section, "ClassName"), "Unknown") &&
      !sim.ReadString(section, "DevBusDesc").empty())
    return "named by DEVPKEY_Device_BusReportedDeviceDesc";
  return nullptr;
}

// Wine answers ERROR_NOT_FOUND instead of Windows' ERROR_INVALID_DATA for
// a registry property the device lacks on some enumerators (PCI, USB,
// HDAUDIO, IDE, SCSI); the list then holds the error text where Windows
// leaves the value empty.
bool WineMissingAnswer(const std::string& sim_value, const std::string& wine_value) {
  return sim_value.empty() && wine_value.rfind("ERROR: ", 0) == 0 &&
         wine_value.find("not found") != std::string::npos;
}

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Upper-case instance ids of the sample's devices, one a line in the file.
std::set<std::string> SampleIds(const std::string& file) {
  std::set<std::string> ids;
  std::ifstream in(U8Path(file), std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    line = Trim(line);
    if (!line.empty()) ids.insert(UpperCase(line));
  }
  return ids;
}

// The [Duplicates] lines ("<id without instance><name> | <class guid>") of
// the sample's devices, upper case: Wine's own devices are left out.
std::multiset<std::string> SampleDuplicates(const IniFile& ini, const std::set<std::string>& ids) {
  std::set<std::string> paths;
  for (const auto& id : ids) paths.insert(id.substr(0, id.rfind('\\') + 1));
  std::multiset<std::string> out;
  for (const auto& line : ini.ReadSectionValues("Duplicates")) {
    const std::string value = UpperCase(line.substr(line.find('=') + 1));
    if (line.rfind("Dump=", 0) == 0) continue;
    for (const auto& p : paths)
      if (value.rfind(p, 0) == 0) {
        out.insert(value);
        break;
      }
  }
  return out;
}

// Device sections by upper-case instance id.
std::map<std::string, std::string> SectionsById(const IniFile& ini) {
  std::map<std::string, std::string> out;
  for (const auto& s : ini.ReadSections())
    if (ini.ValueExists(s, "EnumKey")) out[UpperCase(ini.ReadString(s, "EnumKey"))] = s;
  return out;
}

TEST(DevicesDiff, SamplePcListsTheSameDevicesAsTheSimulation) {
  const std::string sim_file = Env("VX_DIFF_SIM_INI");
  const std::string out_file = Env("VX_DIFF_OUT_INI");
  if (sim_file.empty() || out_file.empty())
    GTEST_SKIP() << "run by tests/wine/devices_diff.sh with a sample imported";
  std::string error;
  ASSERT_TRUE(platform::Attach({}, error)) << error;

  IniFile sim;
  ASSERT_TRUE(sim.LoadFromFile(U8Path(sim_file))) << sim_file;
  DeviceListCounters counters;
  ASSERT_TRUE(GenerateDevicesListFile(U8Path(out_file), {}, &counters));
  IniFile wine;
  ASSERT_TRUE(wine.LoadFromFile(U8Path(out_file))) << out_file;

  const auto sim_sections = SectionsById(sim);
  const auto wine_sections = SectionsById(wine);
  ASSERT_FALSE(sim_sections.empty()) << "the simulated list holds no device";
  int compared = 0, keys = 0;
  for (const auto& [id, sim_section] : sim_sections) {
    auto found = wine_sections.find(id);
    if (found == wine_sections.end()) {
      ADD_FAILURE() << "Wine does not list " << id;
      continue;
    }
    ++compared;
    const std::string& wine_section = found->second;
    std::set<std::string> names;
    for (const auto& k : sim.ReadSection(sim_section)) names.insert(k);
    for (const auto& k : wine.ReadSection(wine_section)) names.insert(k);
    for (const auto& key : names) {
      if (ReasonNotCompared(key) || DeviceReason(sim, sim_section, key)) continue;
      ++keys;
      const bool in_sim = sim.ValueExists(sim_section, key);
      const bool in_wine = wine.ValueExists(wine_section, key);
      EXPECT_EQ(in_sim, in_wine) << id << " key " << key << (in_sim ? " only simulated" : " only Wine");
      const std::string a = sim.ReadString(sim_section, key);
      const std::string b = wine.ReadString(wine_section, key);
      if (SameText(key, "EnumKey")) {
        // Wine upper-cases instance ids; Windows keeps them as the bus
        // driver reported them ("ACPI\FixedButton\2&daba3ff&1").
        EXPECT_TRUE(SameText(a, b)) << id << ": " << a << " / " << b;
      } else if (!WineMissingAnswer(a, b)) {
        EXPECT_EQ(a, b) << id << " key " << key;
      }
    }
  }
  // Every device of the sample that Wine lists is listed by the
  // simulation too (none is lost or collapsed differently)...
  const std::set<std::string> ids = SampleIds(Env("VX_DIFF_SAMPLE_IDS"));
  ASSERT_FALSE(ids.empty()) << "no sample ids in VX_DIFF_SAMPLE_IDS";
  for (const auto& [id, section] : wine_sections)
    if (ids.count(id) && !sim_sections.count(id)) ADD_FAILURE() << "only Wine lists " << id;
  // ...and the same devices were folded into others as duplicates.
  EXPECT_EQ(SampleDuplicates(sim, ids), SampleDuplicates(wine, ids));
  std::printf("compared %d devices, %d keys; Wine listed %d devices in all\n", compared, keys,
              counters.unique);
  platform::Detach();
}

}  // namespace
}  // namespace vx
