#include "engine/core_devices.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

#include "common/closing.h"
#include "common/date_time.h"
#include "common/locale_format.h"
#include "common/logger.h"
#include "common/md5.h"
#include "common/params.h"
#include "common/text.h"
#include "engine/core_devices_helpers.h"
#include "engine/device_name_tables.h"
#include "engine/driver_database.h"
#include "engine/driver_utils.h"
#include "platform/environment.h"
#include "platform/platform.h"
#include "platform/registry.h"

namespace vx {

namespace fs = std::filesystem;
using platform::DeviceInfo;
using platform::DeviceInfoSet;
namespace devpkey = platform::devpkey;

namespace {

constexpr std::string_view kSettings = "Settings";
constexpr std::string_view kErrors = "Errors";
constexpr std::string_view kDuplicates = "Duplicates";
constexpr std::string_view kEmpty = "Empty";
constexpr std::string_view kClassNames = "ClassNames";

// Only one generation at a time: the scan and the backup page may both ask.
std::mutex g_generation_mu;

std::string Num(uint64_t v) { return std::to_string(v); }

char DecimalSeparator() {
  const std::string sep = LocaleOrDefault().decimal_separator;
  return sep.empty() ? '.' : sep[0];
}

// A bookkeeping line keyed by the device index and the tick count. Two
// lines of one device in the same millisecond get a suffix instead of
// overwriting each other.
void AddIndexedLine(IniFile& ini, std::string_view section, uint32_t index,
                    std::string_view value) {
  const std::string key = Num(index) + " " + Num(platform::Sys().TickCount());
  std::string unique = key;
  for (int n = 2; ini.ValueExists(section, unique); ++n) unique = key + "." + Num(n);
  ini.WriteString(section, unique, value);
}

// "HardwareIDservice": identifiers of the device's children under its
// service enumerator (USBSTOR disks of a USB stick, ...).
void ReadServiceChildren(const std::string& instance_id, const std::string& friendly,
                         uint32_t index, std::vector<std::string>& own_short, IniFile& ini,
                         std::string& service_ids, std::string& service_raw) {
  using platform::RegRoot;
  platform::Registry& reg = platform::Reg();
  auto dev_key =
      reg.OpenKey(RegRoot::kLocalMachine, std::string(kEnumKeyRoot) + instance_id, false);
  if (!dev_key) return;
  auto service = platform::ReadRegString(**dev_key, "Service");
  auto prefix = platform::ReadRegString(**dev_key, "ParentIdPrefix");
  if (!service || !prefix || service->empty() || prefix->empty()) return;
  const std::string upper_prefix = UpperCase(*prefix);

  auto fail = [&](const char* what, const std::string& path, uint32_t code) {
    LogError("AddDevices", what, "FriendlyName=" + friendly + " " + path, code);
    AddIndexedLine(ini, kErrors, index,
                   std::string(what) + " " + path + ": " + ErrorWithCode(code));
  };
  const std::string level2 = std::string(kEnumKeyRoot) + *service;
  auto l2 = reg.OpenKey(RegRoot::kLocalMachine, level2, false);
  if (!l2) {
    // Most services enumerate no children at all; only a real failure is news.
    if (l2.error() != kErrorFileNotFound) fail("OpenKeyReadOnly 2 fail", level2, l2.error());
    return;
  }
  auto devices = (*l2)->SubKeyNames();
  if (!devices) return;
  for (const auto& device : *devices) {
    const std::string level3 = level2 + "\\" + device;
    auto l3 = reg.OpenKey(RegRoot::kLocalMachine, level3, false);
    if (!l3) {
      fail("OpenKeyReadOnly 3 fail", level3, l3.error());
      continue;
    }
    auto instances = (*l3)->SubKeyNames();
    if (!instances) continue;
    for (const auto& inst : *instances) {
      if (UpperCase(inst).find(upper_prefix) == std::string::npos) continue;
      auto ids = platform::ReadRegMultiString(reg, RegRoot::kLocalMachine, level3 + "\\" + inst,
                                              "HardwareID");
      if (!ids) continue;
      for (const auto& id : *ids) {
        if (id.empty()) continue;
        if (!service_raw.empty()) service_raw += ',';
        service_raw += id;
        std::string short_id = ShortHardwareId(id);
        if (std::find(own_short.begin(), own_short.end(), short_id) != own_short.end()) continue;
        own_short.push_back(short_id);
        if (!service_ids.empty()) service_ids += ',';
        service_ids += short_id;
      }
    }
  }
}

// Windows collation in miniature: case-insensitive, punctuation before
// digits before letters.
int CollationRank(char16_t c) {
  if (c >= u'0' && c <= u'9') return 1;
  if ((c >= u'A' && c <= u'Z') || c >= 0xC0) return 2;
  return 0;
}

bool CollateLess(const std::string& a, const std::string& b) {
  const std::u16string x = Utf8ToUtf16(UpperCase(a));
  const std::u16string y = Utf8ToUtf16(UpperCase(b));
  const size_t n = std::min(x.size(), y.size());
  for (size_t i = 0; i < n; ++i) {
    if (x[i] == y[i]) continue;
    const int rx = CollationRank(x[i]), ry = CollationRank(y[i]);
    if (rx != ry) return rx < ry;
    return x[i] < y[i];
  }
  return x.size() < y.size();
}

// --- INF copy lists --------------------------------------------------------

// An INF value up to its comment.
std::string CutComment(std::string_view value) { return Trim(value.substr(0, value.find(';'))); }

std::string WithSlash(std::string s) {
  if (!s.empty() && s.back() != '\\') s += '\\';
  return s;
}

std::string WindowsDirText() {
  auto& sys = platform::Sys();
  return WithSlash(sys.WindowsPath(sys.Folder(platform::KnownFolder::kWindows)));
}

bool WindowsFileExists(const std::string& windows_path) {
  std::error_code ec;
  return fs::is_regular_file(platform::Sys().HostPath(windows_path), ec);
}

std::string ResolveInf(std::string_view inf, const std::string& win) {
  if (inf.find('\\') != std::string_view::npos) return std::string(inf);
  for (const char* dir : {"inf\\", "system32\\"}) {
    std::string path = win + dir + std::string(inf);
    if (WindowsFileExists(path)) return path;
  }
  return {};
}

std::string ShellFolder(uint32_t id) {
  const uint32_t low = id & 0xFF;
  if (platform::Sys().IsWindows64() && (low == 0x26 || low == 0x2B)) {
    // A 32-bit process is told the x86 folders; the driver files go to the
    // native ones, which Windows names here.
    auto v = platform::ReadRegString(platform::Reg(), platform::RegRoot::kLocalMachine,
                                     "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                     low == 0x26 ? "ProgramW6432Dir" : "CommonW6432Dir");
    if (v && !Trim(*v).empty()) return WithSlash(Trim(*v));
  }
  auto path = platform::DirIdPath(id);
  return path ? WithSlash(*path) : std::string();
}

// The folder of a DestinationDirs directory id; empty for ids the copy
// list does not follow.
std::string DirectoryOf(const std::string& id_text, const std::string& win) {
  if (id_text.empty() ||
      !std::all_of(id_text.begin(), id_text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return {};
  if (id_text.size() > 9) return {};
  const uint32_t id = static_cast<uint32_t>(std::stoul(id_text));
  switch (id) {
    case 10:
      return win;
    case 11:
      return win + "system32\\";
    case 12:
      return win + "system32\\drivers\\";
    case 50:
      return win + "system\\";
    case 30:
      return win.size() >= 2 ? win.substr(0, 2) + "\\" : std::string();
    default:
      return id > 0x3FFF ? ShellFolder(id) : std::string();
  }
}

std::vector<std::string> TextLines(const std::string& windows_path) {
  std::ifstream in(platform::Sys().HostPath(windows_path), std::ios::binary);
  if (!in) return {};
  std::ostringstream bytes;
  bytes << in.rdbuf();
  const std::string text = DecodeTextFile(bytes.str());
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      lines.push_back(std::move(line));
      line.clear();
    } else {
      line += c;
    }
  }
  lines.push_back(std::move(line));
  return lines;
}

std::vector<std::string> SectionFileNames(const std::vector<std::string>& lines,
                                          std::string_view section) {
  std::vector<std::string> names;
  const std::string header = "[" + std::string(section) + "]";
  size_t i = 0;
  while (i < lines.size() && !SameText(Trim(lines[i]), header)) ++i;
  for (++i; i < lines.size(); ++i) {
    const std::string line = Trim(lines[i]);
    if (line.find('[') != std::string::npos) break;
    if (line.empty() || line[0] == ';') continue;
    size_t cut = line.find(',');
    if (cut == std::string::npos) cut = line.size() > 2 ? line.find(';', 2) : std::string::npos;
    std::string name = Trim(std::string_view(line).substr(0, cut));
    if (!name.empty()) names.push_back(std::move(name));
  }
  return names;
}

struct CopyListWalk {
  std::string win;
  std::vector<std::string> files;
  std::set<std::string> seen_files;     // upper case
  std::set<std::string> seen_sections;  // upper "inf|section", against Include/Needs loops

  void Add(const std::string& path) {
    std::string expanded = ExpandInfPath(path);
    if (seen_files.insert(UpperCase(expanded)).second) files.push_back(std::move(expanded));
  }

  void Section(const std::string& inf_path, std::string_view section) {
    if (inf_path.empty()) return;
    if (!seen_sections.insert(UpperCase(inf_path + "|" + std::string(section))).second) return;
    IniFile ini;
    if (!ini.LoadFromFile(platform::Sys().HostPath(inf_path))) return;
    std::vector<std::string> lines;  // loaded on first use

    // A section may carry several CopyFiles lines; all of them count.
    std::vector<std::string> entries;
    for (const auto& kv : ini.ReadSectionValues(section)) {
      const size_t eq = kv.find('=');
      if (eq == std::string::npos || !SameText(Trim(kv.substr(0, eq)), "CopyFiles")) continue;
      for (const auto& e : Split(CutComment(kv.substr(eq + 1)), ','))
        if (!Trim(e).empty()) entries.push_back(Trim(e));
    }
    if (!entries.empty() && ini.SectionExists("DestinationDirs")) {
      if (lines.empty()) lines = TextLines(inf_path);
      for (const auto& entry : entries) {
        const bool single_file = entry[0] == '@';
        std::string dest =
            single_file ? std::string() : CutComment(ini.ReadString("DestinationDirs", entry));
        if (dest.empty()) dest = CutComment(ini.ReadString("DestinationDirs", "DefaultDestDir"));
        std::string sub;
        if (size_t comma = dest.find(','); comma != std::string::npos) {
          sub = Trim(dest.substr(comma + 1));
          dest = Trim(dest.substr(0, comma));
        }
        std::string dir = DirectoryOf(dest, win);
        if (dir.empty()) continue;
        if (!sub.empty()) dir = WithSlash(dir + sub);
        if (single_file) {
          // "@file" copies that one file straight to the default folder.
          Add(dir + Trim(entry.substr(1)));
          continue;
        }
        for (const auto& name : SectionFileNames(lines, entry)) Add(dir + name);
      }
    }

    const std::string include = CutComment(ini.ReadString(section, "Include"));
    const std::string needs = CutComment(ini.ReadString(section, "Needs"));
    if (include.empty() || needs.empty()) return;
    for (const auto& inc : Split(include, ',')) {
      if (Trim(inc).empty()) continue;
      const std::string included = ResolveInf(Trim(inc), win);
      for (const auto& need : Split(needs, ','))
        if (!Trim(need).empty()) Section(included, Trim(need));
    }
  }
};

}  // namespace

// --- AddDevices --------------------------------------------------------------

bool AddDevices(DeviceInfoSet& set, const DeviceInfo& dev, std::string_view instance_id_in,
                std::string_view device_desc, std::string_view friendly_name,
                std::string_view class_guid, uint32_t device_index, std::string_view section,
                IniFile& ini) {
  using namespace platform;
  std::string desc(device_desc), friendly(friendly_name), guid(class_guid);
  if (desc.empty() && friendly.empty() && guid.empty()) {
    friendly = ReadRegistryStringProperty(set, dev, kSpdrpFriendlyName);
    desc = ReadRegistryStringProperty(set, dev, kSpdrpDeviceDesc);
    guid = dev.class_guid;
  }
  const std::string instance_id(instance_id_in);
  const std::string driver_key = UpperCase(ReadRegistryStringProperty(set, dev, kSpdrpDriver));
  const std::string class_desc = GetFriendlyClassName(guid);

  std::vector<std::string> own_short;
  auto read_ids = [&](uint32_t spdrp, const char* name) {
    std::string joined;
    auto ids = RegistryStrings(set, dev, spdrp);
    if (!ids) {
      if (ids.error() != kErrorInvalidData) {
        LogError("AddDevices", "SetupDiGetDeviceRegistryProperty fail",
                 std::string(name) + " FriendlyName=" + friendly, ids.error());
        AddIndexedLine(ini, kErrors, device_index,
                       "SetupDiGetDeviceRegistryProperty " + std::string(name) + " " + friendly +
                           ": " + ErrorWithCode(ids.error()));
      }
      return joined;
    }
    for (const auto& id : *ids) {
      if (Trim(id).empty()) continue;
      if (!joined.empty()) joined += ',';
      joined += id;
      own_short.push_back(ShortHardwareId(id));
    }
    return UpperCase(joined);
  };
  const std::string hardware_ids = read_ids(kSpdrpHardwareId, "SPDRP_HARDWAREID");
  const std::string compatible_ids = read_ids(kSpdrpCompatibleIds, "SPDRP_COMPATIBLEIDS");
  if (hardware_ids.empty() && compatible_ids.empty()) {
    AddIndexedLine(ini, kEmpty, device_index, class_desc);
    return false;
  }

  const std::string class_name = ReadRegistryStringProperty(set, dev, kSpdrpClass);
  const NodeState node = set.NodeStatus(dev);
  const bool node_ok = node.cr == kCrSuccess;
  bool connected = false, failed = false, need_restart = false;
  if (node_ok) {
    const bool problem = (node.status & kDnHasProblem) != 0;
    connected = !(problem && node.problem == kProbDisabled);
    failed = problem && node.problem != kProbNeedRestart && node.problem != kProbDisabled;
    need_restart = (node.status & kDnNeedRestart) != 0;
  } else if (node.cr != kCrNoSuchDevnode) {
    LogError("AddDevices", "CM_Get_DevNode_Status fail: " + Num(node.cr),
             "FriendlyName=" + friendly);
    AddIndexedLine(ini, kErrors, device_index,
                   "CM_Get_DevNode_Status: " + Num(node.cr) + " " + friendly + ": " +
                       ErrorWithCode(kErrorGenFailure));
  }

  const std::string bus_desc = ReadDeviceStringProperty(set, dev, devpkey::kBusReportedDeviceDesc);
  std::string raw_desc;
  if (SameText(class_name, "Unknown") && !bus_desc.empty())
    raw_desc = bus_desc;
  else
    raw_desc = friendly.empty() ? desc : friendly;

  const double reg_date = ReadClassKeyDate(driver_key, "DriverDateData");
  const double dev_date = ReadDeviceDateProperty(set, dev, devpkey::kDriverDate);
  const double date = dev_date > 0 ? dev_date : (reg_date > 0 ? reg_date : 0);

  const std::string reg_version = NormaliseVersion(ReadClassKeyString(driver_key, "DriverVersion"));
  const std::string dev_version = ReadDeviceStringProperty(set, dev, devpkey::kDriverVersion);
  auto unknown_version = [](const std::string& v) {
    return v.empty() || SameText(v, "Unknown") || v == "0.0.0.0";
  };
  std::string version = unknown_version(dev_version) ? reg_version : dev_version;
  if (unknown_version(version)) version.clear();

  const std::string dev_provider = ReadDeviceStringProperty(set, dev, devpkey::kDriverProvider);
  const std::string reg_provider = ReadClassKeyString(driver_key, "ProviderName");
  const std::string dev_mfg = ReadDeviceStringProperty(set, dev, devpkey::kManufacturer);
  const std::string reg_mfg = ReadRegistryStringProperty(set, dev, kSpdrpMfg);
  const std::string provider = dev_provider.empty() ? reg_provider : dev_provider;
  const std::string manufacturer = dev_mfg.empty() ? reg_mfg : dev_mfg;
  std::string vendor = CanonicalVendor(manufacturer);
  if (vendor.empty()) vendor = CanonicalVendor(provider);

  std::string service_ids, service_raw;
  ReadServiceChildren(instance_id, friendly, device_index, own_short, ini, service_ids,
                      service_raw);

  const char sep = DecimalSeparator();
  const double install_date = ReadDeviceDateProperty(set, dev, devpkey::kInstallDate);
  const double first_install = ReadDeviceDateProperty(set, dev, devpkey::kFirstInstallDate);
  const uint32_t config_flags = ReadRegistryDwordProperty(set, dev, kSpdrpConfigFlags);
  std::string inf_path = ReadClassKeyString(driver_key, "InfPath");
  inf_path = inf_path.substr(
      inf_path.find_last_of("\\/") == std::string::npos ? 0 : inf_path.find_last_of("\\/") + 1);

  auto put = [&](std::string_view key, std::string_view value) {
    ini.WriteString(section, key, value);
  };
  auto put_date = [&](std::string_view key, double value) {
    ini.WriteFloat(section, key, value, sep);
  };
  ini.WriteBool(section, "IsConnected", connected);
  ini.WriteBool(section, "IsFailed", failed);
  ini.WriteBool(section, "NeedRestart", need_restart);
  put("DevBusDesc", bus_desc);
  put("DeviceDesc", CleanDeviceName(raw_desc));
  put("DeviceDescRaw", raw_desc);
  put("ClassName", class_name.empty() ? "Other" : class_name);
  put("Class", class_desc);
  put("EnumKey", instance_id);
  put("ClassGUID", guid);
  put("ClassKey", driver_key);
  put("DriverDate", FormatMmDdYyyy(date));
  put_date("DriverDateRaw", date);
  put_date("RegDriverDate", reg_date);
  put_date("DevDriverDate", dev_date);
  put("DriverVersion", version);
  put("RegDriverVersion", reg_version);
  put("DevDriverVersion", dev_version);
  put("HardwareIDregular", hardware_ids);
  put("HardwareIDcompat", compatible_ids);
  put("ConfigFlags", Num(config_flags));
  put("DevProvider", dev_provider);
  put("RegProvider", reg_provider);
  put("DevManufacturer", dev_mfg);
  put("RegManufacturer", reg_mfg);
  put("Vendor", vendor);
  put_date("DevInstallDateRaw", install_date);
  put("InfPath", inf_path);
  put("InfSection", ReadClassKeyString(driver_key, "InfSection"));
  put("DevInstallDate", FormatMmDdYyyy(install_date));
  put("DevFirstInstallDate", FormatMmDdYyyy(first_install));
  put_date("DevFirstInstallDateRaw", first_install);
  if (node_ok) {
    put("NodeStatus", Num(node.status));
    put("NodeStatusStr", NodeStatusText(node.status));
    put("NodeProblemNumber", Num(node.problem));
    put("NodeProblemStr", ProblemText(node.problem));
  }
  put("DeviceIndex", Num(device_index));
  put("RegDriverDesc", ReadClassKeyString(driver_key, "DriverDesc"));
  put("DevDriverDesc", ReadDeviceStringProperty(set, dev, devpkey::kDriverDesc));
  put("DevDetailedDesc", ReadDeviceStringProperty(set, dev, devpkey::kDrvPkgDetailedDescription));
  put("DevWebSite", ReadDeviceStringProperty(set, dev, devpkey::kDrvPkgVendorWebSite));
  put("DevModel", ReadDeviceStringProperty(set, dev, devpkey::kDrvPkgModel));
  put("DevFriendly", ReadDeviceStringProperty(set, dev, devpkey::kFriendlyName));
  put("ConfigFlagsStr", ConfigFlagsText(config_flags));
  put("HardwareIDmatch", ReadClassKeyString(driver_key, "MatchingDeviceId"));
  put("DevHardwareIDmatch", ReadDeviceStringProperty(set, dev, devpkey::kMatchingDeviceId));
  put("HardwareIDservice", service_ids);
  put("HardwareIDserviceRaw", service_raw);
  const uint32_t caps = ReadRegistryDwordProperty(set, dev, kSpdrpCapabilities);
  put("Capabilities", Num(caps));
  put("CapabilitiesStr", CapabilitiesText(caps));
  const uint32_t chars = ReadRegistryDwordProperty(set, dev, kSpdrpCharacteristics);
  put("Characretistics", Num(chars));
  put("CharacretisticsStr", CharacteristicsText(chars));
  if (connected && !failed) {
    const uint32_t state = ReadRegistryDwordProperty(set, dev, kSpdrpInstallState);
    put("InstallState", Num(state));
    put("InstallStateStr", InstallStateText(state));
    put("RegPhysicalName", ReadRegistryStringProperty(set, dev, kSpdrpPhysicalDeviceObjectName));
  }
  put("RegEnumerator", ReadRegistryStringProperty(set, dev, kSpdrpEnumeratorName));
  put("RegLocation", ReadRegistryStringProperty(set, dev, kSpdrpLocationInformation));
  put("RegService", ReadRegistryStringProperty(set, dev, kSpdrpService));
  put("RegUiNumber", ReadRegistryStringProperty(set, dev, kSpdrpUiNumberDescFormat));
  return true;
}

// --- The generation ----------------------------------------------------------

namespace {

struct Generation {
  IniFile ini;
  std::map<std::string, std::string> sections;  // upper-case duplicate key -> section
  int next_section = 0;
  DeviceListCounters counters;
};

// Ran when the device set opened; false otherwise (logged).
bool Enumerate(Generation& g) {
  using namespace platform;
  auto set = OpenDeviceInfoSet({});
  if (!set) {
    LogError("GenerateDevicesList", "SetupDiGetClassDevs fail", {}, set.error());
    return false;
  }
  DeviceInfoSet& devices = **set;
  std::string last_guid;
  for (uint32_t index = 0;; ++index) {
    auto dev = devices.Enum(index);
    if (!dev) {
      if (dev.error() != kErrorNoMoreItems) {
        LogError("GenerateDevicesList", "SetupDiEnumDeviceInfo fail", "GUID=" + last_guid,
                 dev.error());
        AddIndexedLine(g.ini, kErrors, index,
                       "SetupDiEnumDeviceInfo " + last_guid + ": " + ErrorWithCode(dev.error()));
      }
      break;
    }
    ++g.counters.total;
    last_guid = dev->class_guid;
    if (SameText(dev->class_guid, kNonPnpClassGuid)) {
      ++g.counters.ignored;
      continue;
    }
    const std::string& id = dev->instance_id;
    if (dev->instance_id_error != 0) {
      LogError("GenerateDevicesList", "SetupDiGetDeviceInstanceId fail", "Index=" + Num(index),
               dev->instance_id_error);
      AddIndexedLine(g.ini, kErrors, index,
                     "SetupDiGetDeviceInstanceId: " + ErrorWithCode(dev->instance_id_error));
    }
    const std::string friendly = ReadRegistryStringProperty(devices, *dev, kSpdrpFriendlyName);
    const std::string desc = ReadRegistryStringProperty(devices, *dev, kSpdrpDeviceDesc);
    const size_t last = id.rfind('\\');
    const std::string dup_key = (last == std::string::npos ? std::string() : id.substr(0, last)) +
                                (friendly.empty() ? desc : friendly);

    auto known = g.sections.find(UpperCase(dup_key));
    if (known == g.sections.end()) {
      const std::string section = Num(g.next_section);
      g.sections.emplace(UpperCase(dup_key), section);
      if (AddDevices(devices, *dev, id, desc, friendly, dev->class_guid, index, section, g.ini))
        ++g.next_section;
      else
        ++g.counters.empty;
      continue;
    }
    // A past device gives way to a present one of the same kind and name.
    const std::string& section = known->second;
    if (!g.ini.ReadBool(section, "IsConnected", true)) {
      g.ini.EraseSection(section);
      AddDevices(devices, *dev, id, desc, friendly, dev->class_guid, index, section, g.ini);
    }
    AddIndexedLine(g.ini, kDuplicates, index, dup_key + " | " + dev->class_guid);
    ++g.counters.duplicates;
  }
  set->reset();

  auto& c = g.counters;
  c.unique = g.next_section;
  const int found = c.total - c.duplicates - c.empty - c.ignored;
  LogMessage("AddDevices", "TotalDevices: " + Num(c.total) + " Duplicates: " + Num(c.duplicates) +
                               " Empty: " + Num(c.empty) + " Ignore: " + Num(c.ignored) +
                               " Found: " + std::to_string(found) + "?");
  g.ini.WriteInteger(kSettings, "TotalDevices", c.total);
  g.ini.WriteInteger(kSettings, "UniqueDevices", c.unique);
  g.ini.WriteInteger(kSettings, "DuplicateDevices", c.duplicates);
  g.ini.WriteInteger(kSettings, "EmptyDevices", c.empty);
  g.ini.WriteInteger(kSettings, "IgnoreDevices", c.ignored);
  g.ini.WriteInteger(kSettings, "ShouldFoundDevices", found);
  return true;
}

void RemoveOldFile(const fs::path& file) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(file, ec))) return;
  if (fs::remove(file, ec)) return;
  fs::path aside = file;
  aside += Num(platform::Sys().TickCount());
  std::error_code rename_ec;
  fs::rename(file, aside, rename_ec);
  if (rename_ec)
    LogError("GenerateDevicesList", "Cannot delete and rename initial file", PathUtf8(file),
             static_cast<uint32_t>(rename_ec.value()));
}

}  // namespace

bool GenerateDevicesListFile(const fs::path& file, const DeviceListOptions& options,
                             DeviceListCounters* counters) {
  std::lock_guard lock(g_generation_mu);
  LogMessage("GenerateDevicesList", "begin");
  auto& sys = platform::Sys();
  const int code = DeviceWindowsCode();
  DatabaseEnv env;
  env.base_dir = file.parent_path();
  env.windows64 = sys.IsWindows64();
  env.windows_code = code;
  env.closing = [] { return ProgramClosing(); };
  CreateBaseIndexes(env);

  RemoveOldFile(file);

  Generation g;
  g.ini.SetFileName(file);
  const std::string product =
      Params().product_name.empty() ? std::string(kProductFolderName) : Params().product_name;
  const platform::LocaleInfo locale = LocaleOrDefault();
  g.ini.WriteString(kSettings, "Program", product);
  g.ini.WriteString(
      kSettings, "ProgramCreated",
      FormatMmDdYyyy(options.program_file.empty() ? 0
                                                  : FileModifiedDateTime(options.program_file)));
  g.ini.WriteString(kSettings, "Generated", FormatMmDdYyyy(NowDateTime()));
  g.ini.WriteString(kSettings, "GeneratedTime",
                    FormatTimePicture(locale.long_time, LocalNowOrUtc(), locale.am_designator,
                                      locale.pm_designator));
  g.ini.WriteInteger(kSettings, "Windows", code);
  g.ini.WriteBool(kSettings, "x64", sys.IsWindows64());
  g.ini.WriteInteger(kSettings, "Version", 2);
  for (auto section : {kErrors, kDuplicates, kEmpty}) g.ini.WriteInteger(section, "Dump", 0);

  const uint32_t start = sys.TickCount();
  if (!Enumerate(g)) return false;

  std::vector<std::string> names;
  for (const auto& section : g.ini.ReadSections())
    if (g.ini.ValueExists(section, "ClassName"))
      names.push_back(g.ini.ReadString(section, "ClassName"));
  for (const auto& name : OrderedClassNames(names)) g.ini.WriteString(kClassNames, name, "");

  g.ini.WriteInteger(kSettings, "TimeToGenerate", static_cast<int32_t>(sys.TickCount() - start));
  IniUpdateLog log;
  log.tag = "GenerateDevicesList";
  g.ini.UpdateFile(log);
  if (counters) *counters = g.counters;
  LogMessage("GenerateDevicesList", "finish: " + Num(g.next_section));
  return true;
}

bool GenerateDevicesList(std::string_view file_name, const DeviceListOptions& options) {
  const fs::path base = Params().base_dir;
  StartLog(base);
  return GenerateDevicesListFile(base / U8Path(file_name), options);
}

// --- Fingerprint, class order, INF copy list -----------------------------

std::string GenerateDeviceID(std::string_view hardware_ids) {
  std::string quoted;
  for (const auto& id : SplitHardwareIds(hardware_ids)) quoted += QuoteHardwareId(id);
  if (quoted.empty()) {
    LogError("GenerateDeviceID", "Empty", "RegularHIDs=" + std::string(hardware_ids));
    return {};
  }
  // The fingerprint has always digested as many bytes of the UTF-16 text
  // as it has characters; changing that would change every stored id.
  const std::u16string wide = Utf8ToUtf16(quoted);
  std::string bytes = Utf16LeBytes(wide);
  bytes.resize(wide.size());
  return Md5Hex(bytes);
}

std::vector<std::string> OrderedClassNames(const std::vector<std::string>& names) {
  static constexpr std::pair<std::string_view, char> kCategories[] = {
      {"VIDEO", '1'},   {"AUDIO", '2'}, {"MEDIA", '3'}, {"PRINTER", '4'},
      {"DISPLAY", '5'}, {"IMAGE", '6'}, {"GAME", '7'},  {"OTHER", '8'}};
  std::vector<std::pair<std::string, std::string>> keyed;  // sort key, name
  for (const auto& name : names) {
    const std::string upper = UpperCase(name);
    std::string key = name;
    for (const auto& [word, digit] : kCategories)
      if (upper.find(word) != std::string::npos) key.insert(key.begin(), digit);
    keyed.emplace_back(std::move(key), name);
  }
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return CollateLess(a.first, b.first); });
  std::vector<std::string> out;
  for (const auto& [key, name] : keyed) {
    bool listed = std::any_of(out.begin(), out.end(),
                              [&](const std::string& n) { return SameText(n, name); });
    if (!listed) out.push_back(name);
  }
  return out;
}

std::vector<std::string> ListInfCopyFiles(std::string_view inf, std::string_view section,
                                          std::string* first_inf_path) {
  CopyListWalk walk;
  walk.win = WindowsDirText();
  const std::string path = ResolveInf(inf, walk.win);
  if (first_inf_path) *first_inf_path = path;
  walk.Section(path, section);
  return walk.files;
}

std::string ExpandInfPath(std::string_view text) {
  if (text.find('%') == std::string_view::npos) return std::string(text);
  constexpr size_t kMaxPath = 260;
  auto expanded = platform::ExpandEnvironment(text, kMaxPath);
  return expanded ? *expanded : std::string(text);
}

}  // namespace vx
