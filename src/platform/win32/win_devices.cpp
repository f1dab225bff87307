// The device-installation services on Windows: SetupAPI and the
// configuration manager. SetupDiGetDevicePropertyW is bound by name because
// Windows XP lacks it.
#include <windows.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <shlobj.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/text.h"
#include "platform/devices.h"
#include "platform/win32/win_handles.h"

namespace vx::platform {

namespace {

using win32::Narrow;
using win32::Wide;

struct DevInfoTraits {
  using Type = HDEVINFO;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Type h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(Type h) { SetupDiDestroyDeviceInfoList(h); }
};
using UniqueDevInfo = UniqueHandle<DevInfoTraits>;

struct InfTraits {
  using Type = HINF;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Type h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(Type h) { SetupCloseInfFile(h); }
};
using UniqueInf = UniqueHandle<InfTraits>;

uint32_t Code(DWORD e) { return e != 0 ? uint32_t(e) : uint32_t(kErrorGenFailure); }

uint32_t LastError() { return Code(GetLastError()); }

bool ParseGuid(std::string_view text, GUID& g) {
  std::string s = Trim(text);
  if (!s.empty() && s.front() == '{') s.erase(0, 1);
  if (!s.empty() && s.back() == '}') s.pop_back();
  if (s.size() != 36 || s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-') return false;
  std::string hex;
  for (char c : s) {
    if (c == '-') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    hex += c;
  }
  auto part = [&](size_t pos, size_t len) {
    return std::stoull(hex.substr(pos, len), nullptr, 16);
  };
  g.Data1 = static_cast<unsigned long>(part(0, 8));
  g.Data2 = static_cast<unsigned short>(part(8, 4));
  g.Data3 = static_cast<unsigned short>(part(12, 4));
  for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<unsigned char>(part(16 + 2 * i, 2));
  return true;
}

std::string GuidText(const GUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

bool IsNullGuid(const GUID& g) {
  static const GUID kNull{};
  return IsEqualGUID(g, kNull);
}

std::string WideBytesToUtf8(const BYTE* data, size_t bytes) {
  std::wstring w(reinterpret_cast<const wchar_t*>(data), bytes / sizeof(wchar_t));
  if (auto nul = w.find(L'\0'); nul != std::wstring::npos) w.resize(nul);
  return Narrow(w);
}

std::vector<std::string> WideMultiToUtf8(const BYTE* data, size_t bytes) {
  std::vector<std::string> out;
  const auto* p = reinterpret_cast<const wchar_t*>(data);
  size_t n = bytes / sizeof(wchar_t), i = 0;
  while (i < n && p[i]) {
    size_t start = i;
    while (i < n && p[i]) ++i;
    out.push_back(Narrow(std::wstring_view(p + start, i - start)));
    ++i;
  }
  return out;
}

uint64_t LittleEndian(const BYTE* data, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) v |= uint64_t(data[i]) << (8 * i);
  return v;
}

// DEVPROPKEY as SetupDiGetDevicePropertyW takes it.
struct WinDevPropKey {
  GUID fmtid;
  ULONG pid;
};
using GetDevicePropertyFn = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, const WinDevPropKey*,
                                          ULONG*, PBYTE, DWORD, PDWORD, DWORD);

GetDevicePropertyFn DevicePropertyFunction() {
  static const GetDevicePropertyFn fn = [] {
    HMODULE lib = GetModuleHandleW(L"setupapi.dll");
    if (!lib) lib = LoadLibraryW(L"setupapi.dll");
    return lib ? reinterpret_cast<GetDevicePropertyFn>(
                     reinterpret_cast<void*>(GetProcAddress(lib, "SetupDiGetDevicePropertyW")))
               : nullptr;
  }();
  return fn;
}

class WinDeviceSet : public DeviceInfoSet {
 public:
  explicit WinDeviceSet(UniqueDevInfo set) : set_(std::move(set)) {}

  Result<DeviceInfo> Enum(uint32_t index) override {
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    if (!SetupDiEnumDeviceInfo(set_.get(), index, &data)) return Result<DeviceInfo>::Fail(LastError());
    DeviceInfo info;
    info.index = index;
    if (!IsNullGuid(data.ClassGuid)) info.class_guid = GuidText(data.ClassGuid);
    std::vector<wchar_t> buf(2025);
    DWORD need = 0;
    if (SetupDiGetDeviceInstanceIdW(set_.get(), &data, buf.data(), DWORD(buf.size()), &need))
      info.instance_id = Narrow(buf.data());
    else
      info.instance_id_error = LastError();
    return info;
  }

  Result<DeviceValue> RegistryProperty(const DeviceInfo& dev, uint32_t spdrp) override {
    SP_DEVINFO_DATA data{};
    if (!Record(dev, data)) return Result<DeviceValue>::Fail(LastError());
    std::vector<BYTE> buf(1024);
    DWORD type = 0, need = 0;
    while (!SetupDiGetDeviceRegistryPropertyW(set_.get(), &data, spdrp, &type, buf.data(),
                                              DWORD(buf.size()), &need)) {
      DWORD e = GetLastError();
      if (e != ERROR_INSUFFICIENT_BUFFER || need <= buf.size())
        return Result<DeviceValue>::Fail(Code(e));
      buf.resize(need);
    }
    DeviceValue v;
    v.raw_type = type;
    switch (type) {
      case REG_SZ:
      case REG_EXPAND_SZ:
        v.kind = DeviceValue::Kind::kString;
        v.text = WideBytesToUtf8(buf.data(), need);
        break;
      case REG_MULTI_SZ:
        v.kind = DeviceValue::Kind::kStrings;
        v.strings = WideMultiToUtf8(buf.data(), need);
        break;
      case REG_DWORD:
        v.kind = DeviceValue::Kind::kNumber;
        v.number = LittleEndian(buf.data(), need < 4 ? need : 4);
        break;
      default:
        v.kind = DeviceValue::Kind::kBinary;
        v.bytes.assign(reinterpret_cast<const char*>(buf.data()), need);
    }
    return v;
  }

  Result<DeviceValue> Property(const DeviceInfo& dev, const DevPropKey& key) override {
    GetDevicePropertyFn fn = DevicePropertyFunction();
    if (!fn) return Result<DeviceValue>::Fail(kErrorNotSupported);
    WinDevPropKey wkey{};
    if (!ParseGuid(key.fmtid, wkey.fmtid)) return Result<DeviceValue>::Fail(kErrorInvalidParameter);
    wkey.pid = key.pid;
    SP_DEVINFO_DATA data{};
    if (!Record(dev, data)) return Result<DeviceValue>::Fail(LastError());
    std::vector<BYTE> buf(1024);
    ULONG type = 0;
    DWORD need = 0;
    while (!fn(set_.get(), &data, &wkey, &type, buf.data(), DWORD(buf.size()), &need, 0)) {
      DWORD e = GetLastError();
      if (e != ERROR_INSUFFICIENT_BUFFER || need <= buf.size())
        return Result<DeviceValue>::Fail(Code(e));
      buf.resize(need);
    }
    DeviceValue v;
    v.raw_type = type;
    switch (type) {
      case kDevPropTypeString:
        v.kind = DeviceValue::Kind::kString;
        v.text = WideBytesToUtf8(buf.data(), need);
        break;
      case kDevPropTypeStringList:
        v.kind = DeviceValue::Kind::kStrings;
        v.strings = WideMultiToUtf8(buf.data(), need);
        break;
      case kDevPropTypeFileTime:
        v.kind = DeviceValue::Kind::kFileTime;
        v.number = LittleEndian(buf.data(), need < 8 ? need : 8);
        break;
      case kDevPropTypeBoolean:
        v.kind = DeviceValue::Kind::kBool;
        v.number = need > 0 && buf[0] != 0 ? 1 : 0;
        break;
      case kDevPropTypeGuid:
        if (need >= sizeof(GUID)) {
          GUID g;
          std::memcpy(&g, buf.data(), sizeof g);
          v.kind = DeviceValue::Kind::kGuid;
          v.text = GuidText(g);
          break;
        }
        [[fallthrough]];
      default:
        // Integers of every width read as numbers; anything else stays raw.
        if (type >= 0x02 && type <= 0x09 && need <= 8) {
          v.kind = DeviceValue::Kind::kNumber;
          v.number = LittleEndian(buf.data(), need);
        } else {
          v.kind = DeviceValue::Kind::kBinary;
          v.bytes.assign(reinterpret_cast<const char*>(buf.data()), need);
        }
    }
    return v;
  }

  NodeState NodeStatus(const DeviceInfo& dev) override {
    NodeState st;
    SP_DEVINFO_DATA data{};
    if (!Record(dev, data)) {
      st.cr = kCrInvalidDevnode;
      return st;
    }
    ULONG status = 0, problem = 0;
    st.cr = CM_Get_DevNode_Status(&status, &problem, data.DevInst, 0);
    if (st.cr == kCrSuccess) {
      st.status = status;
      st.problem = problem;
    }
    return st;
  }

  Result<DriverNode> InstalledDriver(const DeviceInfo& dev) override {
    using R = Result<DriverNode>;
    SP_DEVINFO_DATA data{};
    if (!Record(dev, data)) return R::Fail(LastError());
    SP_DEVINSTALL_PARAMS_W params{};
    params.cbSize = sizeof params;
    if (!SetupDiGetDeviceInstallParamsW(set_.get(), &data, &params)) return R::Fail(LastError());
    // Installed driver only, including drivers the system would exclude.
    params.FlagsEx |= 0x04800840;
    if (!SetupDiSetDeviceInstallParamsW(set_.get(), &data, &params)) return R::Fail(LastError());
    if (!SetupDiBuildDriverInfoList(set_.get(), &data, SPDIT_COMPATDRIVER)) return R::Fail(LastError());
    struct ListGuard {
      HDEVINFO set;
      SP_DEVINFO_DATA* data;
      ~ListGuard() { SetupDiDestroyDriverInfoList(set, data, SPDIT_COMPATDRIVER); }
    } guard{set_.get(), &data};

    SP_DRVINFO_DATA_W info{};
    info.cbSize = sizeof info;
    if (!SetupDiEnumDriverInfoW(set_.get(), &data, SPDIT_COMPATDRIVER, 0, &info))
      return R::Fail(LastError());
    DriverNode node;
    node.description = Narrow(info.Description);
    node.manufacturer = Narrow(info.MfgName);
    node.provider = Narrow(info.ProviderName);
    node.date = uint64_t(info.DriverDate.dwHighDateTime) << 32 | info.DriverDate.dwLowDateTime;
    node.version = info.DriverVersion;

    DWORD need = 0;
    SetupDiGetDriverInfoDetailW(set_.get(), &data, &info, nullptr, 0, &need);
    if (need < sizeof(SP_DRVINFO_DETAIL_DATA_W)) need = sizeof(SP_DRVINFO_DETAIL_DATA_W) + 2048;
    std::vector<BYTE> buf(need);
    auto* detail = reinterpret_cast<SP_DRVINFO_DETAIL_DATA_W*>(buf.data());
    detail->cbSize = sizeof(SP_DRVINFO_DETAIL_DATA_W);
    if (!SetupDiGetDriverInfoDetailW(set_.get(), &data, &info, detail, need, &need))
      return R::Fail(LastError());
    node.inf_path = Narrow(detail->InfFileName);
    node.section = Narrow(detail->SectionName);
    node.hardware_id = Narrow(detail->HardwareID);
    return node;
  }

 private:
  bool Record(const DeviceInfo& dev, SP_DEVINFO_DATA& data) {
    data.cbSize = sizeof data;
    return SetupDiEnumDeviceInfo(set_.get(), dev.index, &data) != FALSE;
  }

  UniqueDevInfo set_;
};

std::string FieldText(PINFCONTEXT ctx, DWORD index, bool* ok) {
  std::vector<wchar_t> buf(512);
  DWORD need = 0;
  while (!SetupGetStringFieldW(ctx, index, buf.data(), DWORD(buf.size()), &need)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || need <= buf.size()) {
      if (ok) *ok = false;
      return {};
    }
    buf.resize(need);
  }
  if (ok) *ok = true;
  return Narrow(buf.data());
}

InfLine ReadLine(INFCONTEXT& ctx) {
  InfLine line;
  DWORD n = SetupGetFieldCount(&ctx);
  for (DWORD i = 1; i <= n; ++i) line.fields.push_back(FieldText(&ctx, i, nullptr));
  bool has_key = false;
  std::string key = FieldText(&ctx, 0, &has_key);
  // SetupAPI answers field 0 of a line without "=" with its first field;
  // telling the two apart needs that comparison.
  if (has_key && !(n >= 1 && key == line.fields[0])) line.key = key;
  return line;
}

class WinInfFile : public InfFile {
 public:
  explicit WinInfFile(UniqueInf inf) : inf_(std::move(inf)) {}

  bool HasSection(std::string_view section) override {
    return SetupGetLineCountW(inf_.get(), Wide(section).c_str()) >= 0;
  }

  Result<std::vector<InfLine>> Lines(std::string_view section) override {
    const std::wstring s = Wide(section);
    LONG count = SetupGetLineCountW(inf_.get(), s.c_str());
    if (count < 0) return Result<std::vector<InfLine>>::Fail(kErrorSectionNotFound);
    std::vector<InfLine> lines;
    for (LONG i = 0; i < count; ++i) {
      INFCONTEXT ctx{};
      if (SetupGetLineByIndexW(inf_.get(), s.c_str(), DWORD(i), &ctx)) lines.push_back(ReadLine(ctx));
    }
    return lines;
  }

  Result<InfLine> FindLine(std::string_view section, std::string_view key) override {
    INFCONTEXT ctx{};
    if (!SetupFindFirstLineW(inf_.get(), Wide(section).c_str(), Wide(key).c_str(), &ctx))
      return Result<InfLine>::Fail(LastError());
    return ReadLine(ctx);
  }

  Result<std::string> ActualSectionToInstall(std::string_view section) override {
    std::vector<wchar_t> buf(260);
    DWORD need = 0;
    if (!SetupDiGetActualSectionToInstallW(inf_.get(), Wide(section).c_str(), buf.data(),
                                           DWORD(buf.size()), &need, nullptr))
      return Result<std::string>::Fail(LastError());
    // SetupAPI returns the bare name without checking that it exists.
    if (SetupGetLineCountW(inf_.get(), buf.data()) < 0)
      return Result<std::string>::Fail(kErrorLineNotFound);
    return Narrow(buf.data());
  }

  Result<std::string> TargetPath(std::string_view copy_section) override {
    std::vector<wchar_t> buf(MAX_PATH);
    DWORD need = 0;
    if (!SetupGetTargetPathW(inf_.get(), nullptr, Wide(copy_section).c_str(), buf.data(),
                             DWORD(buf.size()), &need))
      return Result<std::string>::Fail(LastError());
    std::string path = Narrow(buf.data());
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    return path;
  }

 private:
  UniqueInf inf_;
};

std::string WindowsDir() {
  wchar_t buf[MAX_PATH];
  UINT n = GetWindowsDirectoryW(buf, MAX_PATH);
  return n && n < MAX_PATH ? Narrow(buf) : "C:\\Windows";
}

std::string ShellFolder(int csidl) {
  wchar_t buf[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, buf))) return {};
  return Narrow(buf);
}

}  // namespace

Result<std::unique_ptr<DeviceInfoSet>> OpenDeviceInfoSet(const DeviceSetScope& scope) {
  using R = Result<std::unique_ptr<DeviceInfoSet>>;
  GUID g{};
  const bool by_class = !scope.class_guid.empty();
  if (by_class && !ParseGuid(scope.class_guid, g)) return R::Fail(kErrorInvalidParameter);
  DWORD flags = (by_class ? 0 : DIGCF_ALLCLASSES) | (scope.present_only ? DIGCF_PRESENT : 0);
  UniqueDevInfo set(SetupDiGetClassDevsW(by_class ? &g : nullptr, nullptr, nullptr, flags));
  if (!set) return R::Fail(LastError());
  return std::unique_ptr<DeviceInfoSet>(std::make_unique<WinDeviceSet>(std::move(set)));
}

Result<std::string> ClassDescription(std::string_view class_guid) {
  GUID g{};
  if (!ParseGuid(class_guid, g)) return Result<std::string>::Fail(kErrorInvalidClass);
  std::vector<wchar_t> buf(2024);
  DWORD need = 0;
  if (!SetupDiGetClassDescriptionW(&g, buf.data(), DWORD(buf.size()), &need))
    return Result<std::string>::Fail(LastError());
  return Narrow(buf.data());
}

Result<std::string> ClassName(std::string_view class_guid) {
  GUID g{};
  if (!ParseGuid(class_guid, g)) return Result<std::string>::Fail(kErrorInvalidClass);
  std::vector<wchar_t> buf(260);
  DWORD need = 0;
  if (!SetupDiClassNameFromGuidW(&g, buf.data(), DWORD(buf.size()), &need))
    return Result<std::string>::Fail(LastError());
  return Narrow(buf.data());
}

Result<int> ClassImageIndex(std::string_view class_guid) {
  GUID g{};
  if (!ParseGuid(class_guid, g)) return Result<int>::Fail(kErrorInvalidClass);
  SP_CLASSIMAGELIST_DATA list{};
  list.cbSize = sizeof list;
  if (!SetupDiGetClassImageList(&list)) return Result<int>::Fail(LastError());
  int index = 0;
  BOOL ok = SetupDiGetClassImageIndex(&list, &g, &index);
  uint32_t error = ok ? 0 : LastError();
  SetupDiDestroyClassImageList(&list);
  if (!ok) return Result<int>::Fail(error);
  return index;
}

Result<std::string> DirIdPath(uint32_t dirid) {
  const std::string win = WindowsDir();
  const std::string drive = win.size() >= 2 ? win.substr(0, 2) : "C:";
  const std::string sys = win + "\\system32";
  std::string path;
  switch (dirid) {
    case 10: case 25: path = win; break;
    case 11: path = sys; break;
    case 12: path = sys + "\\drivers"; break;
    case 13: path = sys + "\\DriverStore\\FileRepository"; break;
    case 17: path = win + "\\INF"; break;
    case 18: path = win + "\\Help"; break;
    case 20: path = win + "\\Fonts"; break;
    case 21: path = sys + "\\viewers"; break;
    case 23: path = sys + "\\spool\\drivers\\color"; break;
    case 24: case 30: case 54: path = drive; break;
    case 50: path = win + "\\system"; break;
    case 51: path = sys + "\\spool"; break;
    case 53: path = ShellFolder(0x28); break;  // CSIDL_PROFILE
    default:
      if (dirid >= 16384 && dirid < 16384 + 0x100) path = ShellFolder(int(dirid - 16384));
  }
  if (path.empty()) return Result<std::string>::Fail(kErrorInvalidParameter);
  return path;
}

Result<std::unique_ptr<InfFile>> OpenInfFile(std::string_view windows_path, uint32_t* error_line) {
  using R = Result<std::unique_ptr<InfFile>>;
  UINT line = 0;
  UniqueInf inf(SetupOpenInfFileW(Wide(windows_path).c_str(), nullptr, INF_STYLE_WIN4, &line));
  if (error_line) *error_line = line;
  if (!inf) return R::Fail(LastError());
  return std::unique_ptr<InfFile>(std::make_unique<WinInfFile>(std::move(inf)));
}

}  // namespace vx::platform
