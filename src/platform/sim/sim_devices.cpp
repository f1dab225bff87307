// The device-installation services of the simulated machine (layout in
// sim_devices.h).
#include "platform/sim/sim_devices.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

#include "common/text.h"
#include "platform/devices.h"
#include "platform/platform.h"
#include "platform/sim/hive.h"
#include "platform/sim/inf_file.h"

namespace vx::platform {

namespace {

using sim::kClassKey;
using sim::kEnumKey;

constexpr uint32_t kConfigFlagReinstall = 0x20;
constexpr uint32_t kConfigFlagFailedInstall = 0x40;
constexpr uint32_t kConfigFlagFinishInstall = 0x400;
constexpr uint32_t kDefaultNodeStatus = kDnDriverLoaded | kDnStarted | kDnNtEnumerator | kDnNtDriver;

// "{4d36e972-...}" in any case, with or without braces -> "{4D36E972-...}";
// empty when the text is not a GUID.
std::string NormalGuid(std::string_view text) {
  std::string g = AsciiUpper(Trim(text));
  if (!g.empty() && g.front() == '{') g.erase(0, 1);
  if (!g.empty() && g.back() == '}') g.pop_back();
  if (g.size() != 36) return {};
  for (size_t i = 0; i < g.size(); ++i) {
    bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? g[i] != '-' : !std::isxdigit(static_cast<unsigned char>(g[i]))) return {};
  }
  return "{" + g + "}";
}

uint64_t LittleEndian(std::string_view bytes, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n && i < bytes.size(); ++i)
    v |= uint64_t(static_cast<unsigned char>(bytes[i])) << (8 * i);
  return v;
}

DeviceValue FromReg(const RegValue& r) {
  DeviceValue v;
  v.raw_type = r.type;
  switch (r.type) {
    case kRegSz:
    case kRegExpandSz:
      v.kind = DeviceValue::Kind::kString;
      v.text = DecodeRegString(r.data);
      break;
    case kRegMultiSz:
      v.kind = DeviceValue::Kind::kStrings;
      v.strings = DecodeRegMultiString(r.data);
      break;
    case kRegDword:
      v.kind = DeviceValue::Kind::kNumber;
      v.number = LittleEndian(r.data, 4);
      break;
    case kRegQword:
      v.kind = DeviceValue::Kind::kNumber;
      v.number = LittleEndian(r.data, 8);
      break;
    default:
      v.kind = DeviceValue::Kind::kBinary;
      v.bytes = r.data;
  }
  return v;
}

// The unified form of a registry-held value.
DeviceValue AsUnified(DeviceValue v) {
  switch (v.kind) {
    case DeviceValue::Kind::kString: v.raw_type = kDevPropTypeString; break;
    case DeviceValue::Kind::kStrings: v.raw_type = kDevPropTypeStringList; break;
    case DeviceValue::Kind::kNumber: v.raw_type = kDevPropTypeUint32; break;
    default: v.raw_type = kDevPropTypeBinary;
  }
  return v;
}

DeviceValue StringValue(std::string text) {
  DeviceValue v;
  v.kind = DeviceValue::Kind::kString;
  v.raw_type = kRegSz;
  v.text = std::move(text);
  return v;
}

DeviceValue NumberValue(uint64_t n, uint32_t raw_type) {
  DeviceValue v;
  v.kind = DeviceValue::Kind::kNumber;
  v.raw_type = raw_type;
  v.number = n;
  return v;
}

DeviceValue BoolValue(bool b) {
  DeviceValue v;
  v.kind = DeviceValue::Kind::kBool;
  v.raw_type = kDevPropTypeBoolean;
  v.number = b ? 1 : 0;
  return v;
}

// FILETIME of a value stored as 8 binary bytes or a QWORD.
Result<uint64_t> FileTimeOf(const RegValue& r) {
  if ((r.type == kRegBinary || r.type == kRegQword) && r.data.size() >= 8)
    return LittleEndian(r.data, 8);
  return Result<uint64_t>::Fail(kErrorInvalidData);
}

DeviceValue FileTimeValue(uint64_t ft) {
  DeviceValue v;
  v.kind = DeviceValue::Kind::kFileTime;
  v.raw_type = kDevPropTypeFileTime;
  v.number = ft;
  return v;
}

// FILETIME of midnight UTC of a "m-d-yyyy" date, as INF DriverVer dates are kept.
uint64_t FileTimeOfDate(std::string_view text) {
  auto parts = Split(Trim(text), '-');
  if (parts.size() != 3) parts = Split(Trim(text), '/');
  if (parts.size() != 3) return 0;
  int m = std::atoi(parts[0].c_str()), d = std::atoi(parts[1].c_str()),
      y = std::atoi(parts[2].c_str());
  if (m < 1 || m > 12 || d < 1 || d > 31 || y < 1601) return 0;
  // Days since 1970-01-01 (proleptic Gregorian), then shift to 1601.
  y -= m <= 2;
  const int era = y / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t days = int64_t(era) * 146097 + doe - 719468;
  return uint64_t(days + 134774) * 864000000000ull;
}

std::string JoinPath(std::string_view a, std::string_view b) {
  return std::string(a) + "\\" + std::string(b);
}

Result<RegValue> QueryAt(const std::string& path, std::string_view name) {
  auto key = Reg().OpenKey(RegRoot::kLocalMachine, path, false);
  if (!key) return Result<RegValue>::Fail(key.error());
  return (*key)->QueryValue(name);
}

bool KeyExists(const std::string& path) {
  return static_cast<bool>(Reg().OpenKey(RegRoot::kLocalMachine, path, false));
}

std::string StringOf(const Result<RegValue>& v) {
  if (!v || (v->type != kRegSz && v->type != kRegExpandSz)) return {};
  return DecodeRegString(v->data);
}

std::string StringAt(const std::string& path, std::string_view name) {
  return StringOf(QueryAt(path, name));
}

// For several values of one key: the key path is walked once, not once per
// value (each walk is a query per path component).
std::string StringIn(RegKey& key, std::string_view name) { return StringOf(key.QueryValue(name)); }

std::unique_ptr<RegKey> OpenForRead(const std::string& path) {
  auto key = Reg().OpenKey(RegRoot::kLocalMachine, path, false);
  return key ? std::move(*key) : nullptr;
}

// The registry reads of one call under one hive transaction (see
// sim::Hive::ReadBatch); nothing when the registry is another one.
class HiveReads {
 public:
  HiveReads() {
    if (auto* hive = dynamic_cast<sim::Hive*>(&Reg())) batch_.emplace(*hive);
  }

 private:
  std::optional<sim::Hive::ReadBatch> batch_;
};

bool IsWindows64() { return Sys().IsWindows64(); }

std::string InfWindowsPath(const std::string& inf_path) {
  if (inf_path.find('\\') != std::string::npos) return inf_path;
  return "C:\\Windows\\INF\\" + inf_path;
}

Result<sim::InfText> LoadInf(std::string_view windows_path, uint32_t* error_line) {
  std::ifstream in(Sys().HostPath(windows_path), std::ios::binary);
  if (!in) return Result<sim::InfText>::Fail(kErrorFileNotFound);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  sim::InfText inf;
  if (!inf.Parse(DecodeTextFile(bytes), error_line))
    return Result<sim::InfText>::Fail(kErrorGeneralSyntax);
  return inf;
}

// The manufacturer whose models section lists the id, as the driver node
// reports it; empty when the INF does not say.
std::string InfManufacturerFor(const sim::InfText& inf, std::string_view hardware_id) {
  const auto* mfgs = inf.Section("Manufacturer");
  if (!mfgs) return {};
  for (const auto& m : *mfgs) {
    if (m.fields.empty()) continue;
    std::vector<std::string> sections{m.fields[0]};
    for (size_t i = 1; i < m.fields.size(); ++i) sections.push_back(m.fields[0] + "." + m.fields[i]);
    for (const auto& s : sections) {
      const auto* models = inf.Section(s);
      if (!models) continue;
      for (const auto& line : *models)
        for (size_t i = 1; i < line.fields.size(); ++i)
          if (SameText(Trim(line.fields[i]), hardware_id)) return m.key.empty() ? m.fields[0] : m.key;
    }
  }
  return {};
}

struct SimDevice {
  std::string instance_id;
  std::string class_guid;
};

class SimDeviceSet : public DeviceInfoSet {
 public:
  explicit SimDeviceSet(std::vector<SimDevice> devices) : devices_(std::move(devices)) {}

  Result<DeviceInfo> Enum(uint32_t index) override {
    if (index >= devices_.size()) return Result<DeviceInfo>::Fail(kErrorNoMoreItems);
    DeviceInfo info;
    info.index = index;
    info.instance_id = devices_[index].instance_id;
    info.class_guid = devices_[index].class_guid;
    return info;
  }

  Result<DeviceValue> RegistryProperty(const DeviceInfo& dev, uint32_t spdrp) override {
    const HiveReads batch;
    const std::string path = DevicePath(dev);
    if (path.empty() || !KeyExists(path)) return Result<DeviceValue>::Fail(kErrorNoSuchDevinst);
    auto fail = [] { return Result<DeviceValue>::Fail(kErrorInvalidData); };
    const char* name = InstanceValueName(spdrp);
    if (name) {
      auto v = QueryAt(path, name);
      if (!v) return fail();
      return FromReg(*v);
    }
    switch (spdrp) {
      case kSpdrpClass: {
        std::string cls;
        if (!dev.class_guid.empty()) cls = StringAt(JoinPath(kClassKey, dev.class_guid), "Class");
        if (cls.empty()) cls = StringAt(path, "Class");
        if (cls.empty()) return fail();
        return StringValue(cls);
      }
      case kSpdrpEnumeratorName:
        return StringValue(dev.instance_id.substr(0, dev.instance_id.find('\\')));
      case kSpdrpInstallState: {
        auto flags = ReadRegDword(Reg(), RegRoot::kLocalMachine, path, "ConfigFlags");
        uint32_t f = flags.value_or(0);
        uint32_t state = (f & kConfigFlagFailedInstall)   ? 2
                         : (f & kConfigFlagReinstall)     ? 1
                         : (f & kConfigFlagFinishInstall) ? 3
                                                          : 0;
        return NumberValue(state, kRegDword);
      }
      default:
        break;
    }
    if (const char* control = ControlValueName(spdrp)) {
      // Kernel-reported: only a present device has them.
      auto v = QueryAt(path + "\\Control", control);
      if (!v) return fail();
      return FromReg(*v);
    }
    return fail();
  }

  Result<DeviceValue> Property(const DeviceInfo& dev, const DevPropKey& key) override {
    if (Sys().Version().major < 6) return Result<DeviceValue>::Fail(kErrorNotSupported);
    const HiveReads batch;
    const std::string path = DevicePath(dev);
    if (path.empty() || !KeyExists(path)) return Result<DeviceValue>::Fail(kErrorNoSuchDevinst);
    auto not_found = [] { return Result<DeviceValue>::Fail(kErrorNotFound); };
    const std::string fmt = AsciiUpper(key.fmtid);

    if (fmt == devpkey::kDeviceFmt) {
      auto spdrp = SpdrpOfDevicePid(key.pid);
      if (!spdrp) return not_found();
      auto v = RegistryProperty(dev, *spdrp);
      if (!v) return not_found();
      if (*spdrp == kSpdrpClassGuid) {
        std::string g = NormalGuid(v->text);
        if (g.empty()) return not_found();
        DeviceValue gv;
        gv.kind = DeviceValue::Kind::kGuid;
        gv.raw_type = kDevPropTypeGuid;
        gv.text = g;
        return gv;
      }
      return AsUnified(*v);
    }
    if (fmt == AsciiUpper(devpkey::kInstanceId.fmtid) && key.pid == devpkey::kInstanceId.pid) {
      DeviceValue v = StringValue(dev.instance_id);
      v.raw_type = kDevPropTypeString;
      return v;
    }
    if (fmt == AsciiUpper(devpkey::kDevNodeStatus.fmtid)) {
      NodeState st = NodeStatus(dev);
      if (st.cr != kCrSuccess) return not_found();
      if (key.pid == devpkey::kDevNodeStatus.pid) return NumberValue(st.status, kDevPropTypeUint32);
      if (key.pid == devpkey::kProblemCode.pid) return NumberValue(st.problem, kDevPropTypeUint32);
      return not_found();
    }
    if (fmt == devpkey::kBusFmt) {
      if (key.pid == devpkey::kIsPresent.pid) return BoolValue(KeyExists(path + "\\Control"));
      if (key.pid == devpkey::kHasProblem.pid) {
        NodeState st = NodeStatus(dev);
        if (st.cr != kCrSuccess) return not_found();
        return BoolValue((st.status & kDnHasProblem) != 0);
      }
      if (key.pid == devpkey::kBusReportedDeviceDesc.pid) {
        std::string s = StringAt(path, "BusReportedDeviceDesc");
        if (s.empty()) return not_found();
        DeviceValue v = StringValue(s);
        v.raw_type = kDevPropTypeString;
        return v;
      }
      return not_found();
    }
    if (fmt == devpkey::kInstallFmt) {
      const char* name = key.pid == 100   ? "InstallDate"
                         : key.pid == 101 ? "FirstInstallDate"
                         : key.pid == 102 ? "LastArrivalDate"
                         : key.pid == 103 ? "LastRemovalDate"
                                          : nullptr;
      if (!name) return not_found();
      auto r = QueryAt(path, name);
      if (!r) return not_found();
      auto ft = FileTimeOf(*r);
      if (!ft) return not_found();
      return FileTimeValue(*ft);
    }
    if (fmt == devpkey::kDriverFmt || fmt == devpkey::kDrvPkgFmt) {
      const std::string driver_path = DriverKeyPath(path);
      auto driver_key = driver_path.empty() ? nullptr : OpenForRead(driver_path);
      if (!driver_key) return not_found();
      if (fmt == devpkey::kDriverFmt && key.pid == devpkey::kDriverDate.pid) {
        auto r = driver_key->QueryValue("DriverDateData");
        Result<uint64_t> ft = r ? FileTimeOf(*r) : Result<uint64_t>::Fail(kErrorInvalidData);
        if (ft) return FileTimeValue(*ft);
        uint64_t from_text = FileTimeOfDate(StringIn(*driver_key, "DriverDate"));
        if (!from_text) return not_found();
        return FileTimeValue(from_text);
      }
      const char* name = nullptr;
      if (fmt == devpkey::kDriverFmt) {
        switch (key.pid) {
          case 3: name = "DriverVersion"; break;
          case 4: name = "DriverDesc"; break;
          case 5: name = "InfPath"; break;
          case 6: name = "InfSection"; break;
          case 7: name = "InfSectionExt"; break;
          case 8: name = "MatchingDeviceId"; break;
          case 9: name = "ProviderName"; break;
          case 14: name = "DriverRank"; break;
        }
      } else {
        switch (key.pid) {
          case 2: name = "DrvPkgModel"; break;
          case 3: name = "DrvPkgVendorWebSite"; break;
          case 4: name = "DrvPkgDetailedDescription"; break;
        }
      }
      if (!name) return not_found();
      auto r = driver_key->QueryValue(name);
      if (!r) return not_found();
      return AsUnified(FromReg(*r));
    }
    return not_found();
  }

  NodeState NodeStatus(const DeviceInfo& dev) override {
    NodeState st;
    const std::string path = DevicePath(dev);
    if (path.empty()) return st;
    const HiveReads batch;
    auto control = Reg().OpenKey(RegRoot::kLocalMachine, path + "\\Control", false);
    if (!control) return st;
    st.cr = kCrSuccess;
    st.status = ReadRegDword(**control, "DevNodeStatus").value_or(kDefaultNodeStatus);
    st.problem = ReadRegDword(**control, "ProblemCode").value_or(0);
    // Windows reports a problem code only together with the problem bit.
    if (st.problem != 0) st.status |= kDnHasProblem;
    return st;
  }

  Result<DriverNode> InstalledDriver(const DeviceInfo& dev) override {
    const std::string path = DevicePath(dev);
    DriverNode node;
    std::string inf;
    std::string device_manufacturer;
    {
      const HiveReads batch;  // not held over the INF's reading
      auto device_key = path.empty() ? nullptr : OpenForRead(path);
      if (!device_key) return Result<DriverNode>::Fail(kErrorNoSuchDevinst);
      // Read here, with the rest, even when the INF will name one.
      device_manufacturer = StringIn(*device_key, "Mfg");
      const std::string driver = Trim(StringIn(*device_key, "Driver"));
      // No driver: the installed-driver list is empty.
      auto driver_key = driver.empty() ? nullptr : OpenForRead(JoinPath(kClassKey, driver));
      if (!driver_key) return Result<DriverNode>::Fail(kErrorNoMoreItems);
      RegKey& k = *driver_key;
      node.description = StringIn(k, "DriverDesc");
      node.provider = StringIn(k, "ProviderName");
      node.hardware_id = StringIn(k, "MatchingDeviceId");
      node.section = StringIn(k, "InfSection");
      node.version = ParseDriverVersion(StringIn(k, "DriverVersion"));
      auto date = k.QueryValue("DriverDateData");
      auto ft = date ? FileTimeOf(*date) : Result<uint64_t>::Fail(kErrorInvalidData);
      node.date = ft ? *ft : FileTimeOfDate(StringIn(k, "DriverDate"));
      inf = StringIn(k, "InfPath");
    }
    if (!inf.empty()) {
      node.inf_path = InfWindowsPath(inf);
      // The manufacturer is the INF's, as the driver node reports it.
      if (auto text = LoadInf(node.inf_path, nullptr); text)
        node.manufacturer = InfManufacturerFor(*text, node.hardware_id);
    }
    if (node.manufacturer.empty()) node.manufacturer = std::move(device_manufacturer);
    return node;
  }

 private:
  std::string DevicePath(const DeviceInfo& dev) const {
    if (dev.index >= devices_.size()) return {};
    return JoinPath(kEnumKey, devices_[dev.index].instance_id);
  }

  static std::string DriverKeyPath(const std::string& device_path) {
    std::string driver = Trim(StringAt(device_path, "Driver"));
    if (driver.empty()) return {};
    return JoinPath(kClassKey, driver);
  }

  static const char* InstanceValueName(uint32_t spdrp) {
    switch (spdrp) {
      case kSpdrpDeviceDesc: return "DeviceDesc";
      case kSpdrpHardwareId: return "HardwareID";
      case kSpdrpCompatibleIds: return "CompatibleIDs";
      case kSpdrpService: return "Service";
      case kSpdrpClassGuid: return "ClassGUID";
      case kSpdrpDriver: return "Driver";
      case kSpdrpConfigFlags: return "ConfigFlags";
      case kSpdrpMfg: return "Mfg";
      case kSpdrpFriendlyName: return "FriendlyName";
      case kSpdrpLocationInformation: return "LocationInformation";
      case kSpdrpCapabilities: return "Capabilities";
      case kSpdrpUiNumber: return "UINumber";
      case kSpdrpUpperFilters: return "UpperFilters";
      case kSpdrpLowerFilters: return "LowerFilters";
      case kSpdrpCharacteristics: return "Characteristics";
      case kSpdrpUiNumberDescFormat: return "UINumberDescFormat";
      default: return nullptr;
    }
  }

  static const char* ControlValueName(uint32_t spdrp) {
    switch (spdrp) {
      case kSpdrpPhysicalDeviceObjectName: return "PhysicalDeviceObjectName";
      case kSpdrpBusTypeGuid: return "BusTypeGuid";
      case kSpdrpLegacyBusType: return "LegacyBusType";
      case kSpdrpBusNumber: return "BusNumber";
      case kSpdrpAddress: return "Address";
      default: return nullptr;
    }
  }

  static std::optional<uint32_t> SpdrpOfDevicePid(uint32_t pid) {
    // DEVPKEY_Device_* ids 2..38 are the SPDRP numbers plus 2.
    switch (pid) {
      case 2: case 3: case 4: case 6: case 9: case 10: case 11: case 12: case 13: case 14:
      case 15: case 16: case 17: case 18: case 19: case 20: case 21: case 22: case 23:
      case 24: case 29: case 30: case 31: case 36:
        return pid - 2;
      default:
        return std::nullopt;
    }
  }

  std::vector<SimDevice> devices_;
};

class SimInfFile : public InfFile {
 public:
  explicit SimInfFile(sim::InfText text) : text_(std::move(text)) {}

  bool HasSection(std::string_view section) override { return text_.HasSection(section); }

  Result<std::vector<InfLine>> Lines(std::string_view section) override {
    const auto* lines = text_.Section(section);
    if (!lines) return Result<std::vector<InfLine>>::Fail(kErrorSectionNotFound);
    return *lines;
  }

  Result<InfLine> FindLine(std::string_view section, std::string_view key) override {
    const InfLine* line = text_.FindLine(section, key);
    if (!line) return Result<InfLine>::Fail(kErrorLineNotFound);
    return *line;
  }

  Result<std::string> ActualSectionToInstall(std::string_view section) override {
    std::string s = text_.ActualSection(section, IsWindows64());
    if (s.empty()) return Result<std::string>::Fail(kErrorLineNotFound);
    return s;
  }

  Result<std::string> TargetPath(std::string_view copy_section) override {
    auto d = text_.DestinationOf(copy_section);
    auto dir = DirIdPath(d.dirid);
    if (!dir) return dir;
    std::string path = *dir;
    if (!d.subdir.empty()) path += "\\" + d.subdir;
    return path;
  }

 private:
  sim::InfText text_;
};

}  // namespace

Result<std::unique_ptr<DeviceInfoSet>> OpenDeviceInfoSet(const DeviceSetScope& scope) {
  using R = Result<std::unique_ptr<DeviceInfoSet>>;
  const std::string want_class = scope.class_guid.empty() ? "" : NormalGuid(scope.class_guid);
  if (!scope.class_guid.empty() && want_class.empty()) return R::Fail(kErrorInvalidParameter);
  const HiveReads batch;
  auto root = Reg().OpenKey(RegRoot::kLocalMachine, kEnumKey, false);
  if (!root) return R::Fail(root.error());
  std::vector<SimDevice> devices;
  auto enumerators = (*root)->SubKeyNames();
  if (!enumerators) return R::Fail(enumerators.error());
  for (const auto& e : *enumerators) {
    auto ekey = Reg().OpenKey(RegRoot::kLocalMachine, JoinPath(kEnumKey, e), false);
    if (!ekey) continue;
    auto device_names = (*ekey)->SubKeyNames();
    if (!device_names) continue;
    for (const auto& d : *device_names) {
      const std::string dpath = JoinPath(JoinPath(kEnumKey, e), d);
      auto dkey = Reg().OpenKey(RegRoot::kLocalMachine, dpath, false);
      if (!dkey) continue;
      auto instances = (*dkey)->SubKeyNames();
      if (!instances) continue;
      for (const auto& i : *instances) {
        const std::string ipath = JoinPath(dpath, i);
        // A key without a hardware description is bookkeeping, not a device.
        auto ikey = Reg().OpenKey(RegRoot::kLocalMachine, ipath, false);
        if (!ikey) continue;
        auto names = (*ikey)->ValueNames();
        if (!names || names->empty()) continue;
        SimDevice dev;
        dev.instance_id = e + "\\" + d + "\\" + i;
        dev.class_guid = NormalGuid(ReadRegString(**ikey, "ClassGUID").value_or(""));
        if (scope.present_only && !KeyExists(ipath + "\\Control")) continue;
        if (!want_class.empty() && dev.class_guid != want_class) continue;
        devices.push_back(std::move(dev));
      }
    }
  }
  return std::unique_ptr<DeviceInfoSet>(std::make_unique<SimDeviceSet>(std::move(devices)));
}

Result<std::string> ClassDescription(std::string_view class_guid) {
  const std::string g = NormalGuid(class_guid);
  if (g.empty()) return Result<std::string>::Fail(kErrorInvalidClass);
  const std::string path = JoinPath(kClassKey, g);
  if (!KeyExists(path)) return Result<std::string>::Fail(kErrorInvalidClass);
  std::string desc = StringAt(path, "");
  if (desc.empty()) desc = StringAt(path, "Class");
  if (desc.empty()) return Result<std::string>::Fail(kErrorInvalidClass);
  return desc;
}

Result<std::string> ClassName(std::string_view class_guid) {
  const std::string g = NormalGuid(class_guid);
  if (g.empty()) return Result<std::string>::Fail(kErrorInvalidClass);
  std::string name = StringAt(JoinPath(kClassKey, g), "Class");
  if (name.empty()) return Result<std::string>::Fail(kErrorInvalidClass);
  return name;
}

Result<int> ClassImageIndex(std::string_view class_guid) {
  const std::string g = NormalGuid(class_guid);
  if (g.empty()) return Result<int>::Fail(kErrorInvalidClass);
  auto v = ReadRegDword(Reg(), RegRoot::kLocalMachine, JoinPath(kClassKey, g), "ImageIndex");
  if (!v) return Result<int>::Fail(kErrorInvalidClass);
  return static_cast<int>(*v);
}

Result<std::string> DirIdPath(uint32_t dirid) {
  std::string profile = Sys().WindowsPath(Sys().Folder(KnownFolder::kDocuments));
  if (auto cut = profile.rfind('\\'); cut != std::string::npos) profile.resize(cut);
  std::string path = sim::SimDirIdPath(dirid, IsWindows64(), profile);
  if (path.empty()) return Result<std::string>::Fail(kErrorInvalidParameter);
  return path;
}

Result<std::unique_ptr<InfFile>> OpenInfFile(std::string_view windows_path, uint32_t* error_line) {
  using R = Result<std::unique_ptr<InfFile>>;
  if (error_line) *error_line = 0;
  auto text = LoadInf(windows_path, error_line);
  if (!text) return R::Fail(text.error());
  return std::unique_ptr<InfFile>(std::make_unique<SimInfFile>(std::move(*text)));
}

}  // namespace vx::platform
