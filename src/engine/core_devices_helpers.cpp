#include "engine/core_devices_helpers.h"

#include <atomic>
#include <map>
#include <mutex>

#include "common/date_time.h"
#include "common/logger.h"
#include "common/params.h"
#include "common/text.h"
#include "platform/platform.h"
#include "platform/registry.h"

namespace vx {

namespace {

using platform::DeviceValue;
using platform::RegRoot;

std::mutex g_class_mu;
std::map<std::string, std::string> g_class_names;  // upper-case GUID -> description

std::string ClassKeyPath(std::string_view driver_key) {
  return std::string(kClassKeyRoot) + std::string(driver_key);
}

std::string PseudoEnumPath(std::string_view instance_id) {
  return std::string(kPseudoEnumRoot) + std::string(instance_id);
}

// FILETIME from the 8 raw bytes Windows stores (little-endian).
uint64_t FileTimeFromBytes(std::string_view raw) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(raw[i]);
  return v;
}

}  // namespace

int DeviceWindowsCode() { return WindowsVersionCode(platform::Sys().Version()); }

std::string ErrorWithCode(uint32_t code) {
  return SystemErrorText(code) + " " + std::to_string(code);
}

std::string ReadDeviceStringProperty(platform::DeviceInfoSet& set, const platform::DeviceInfo& dev,
                                     const platform::DevPropKey& key) {
  if (DeviceWindowsCode() <= 5) return {};
  auto v = set.Property(dev, key);
  if (!v) {
    if (v.error() == platform::kErrorNotFound || v.error() == kErrorInvalidData) return {};
    if (v.error() == kErrorNotSupported) {
      // Missing export: say it once, every device would repeat it.
      static std::atomic<bool> told{false};
      if (!told.exchange(true))
        LogError("ReadDeviceStringProperty", "SetupDiGetDeviceProperty not exists");
      return {};
    }
    LogError("ReadDeviceStringProperty", "SetupDiGetDeviceProperty fail",
             std::string(key.fmtid) + " " + std::to_string(key.pid), v.error());
    return "ERROR: " + ErrorWithCode(v.error());
  }
  switch (v->kind) {
    case DeviceValue::Kind::kString:
    case DeviceValue::Kind::kGuid:
      return Trim(v->text);
    case DeviceValue::Kind::kStrings:
      // A string buffer receives a list's first item.
      return v->strings.empty() ? std::string() : Trim(v->strings.front());
    case DeviceValue::Kind::kNumber:
    case DeviceValue::Kind::kBool:
      return std::to_string(v->number);
    default:
      return {};
  }
}

double ReadDeviceDateProperty(platform::DeviceInfoSet& set, const platform::DeviceInfo& dev,
                              const platform::DevPropKey& key) {
  if (DeviceWindowsCode() <= 5) return 0;
  auto v = set.Property(dev, key);
  if (!v) {
    const uint32_t e = v.error();
    if (e != platform::kErrorNotFound && e != kErrorInvalidData && e != kErrorNotSupported)
      LogError("ReadDeviceDateProperty", "SetupDiGetDeviceProperty fail",
               std::string(key.fmtid) + " " + std::to_string(key.pid), e);
    return 0;
  }
  if (v->kind != DeviceValue::Kind::kFileTime || v->number == 0) return 0;
  return LocalDateTimeFromFileTime(v->number);
}

std::string ReadRegistryStringProperty(platform::DeviceInfoSet& set,
                                       const platform::DeviceInfo& dev, uint32_t spdrp) {
  auto v = platform::RegistryString(set, dev, spdrp);
  if (v) return Trim(*v);
  if (v.error() == kErrorInvalidData) return {};
  LogError("ReadRegistryStringProperty", "SetupDiGetDeviceRegistryProperty fail",
           "PropertyIndex=" + std::to_string(spdrp), v.error());
  return "ERROR: " + SystemErrorText(v.error());
}

uint32_t ReadRegistryDwordProperty(platform::DeviceInfoSet& set, const platform::DeviceInfo& dev,
                                   uint32_t spdrp) {
  auto v = platform::RegistryDword(set, dev, spdrp);
  if (v) return *v;
  // Most devices lack some numeric properties; only real failures are news.
  if (v.error() != kErrorInvalidData)
    LogError("ReadRegistryDwordProperty", "SetupDiGetDeviceRegistryProperty fail",
             "PropertyIndex=" + std::to_string(spdrp), v.error());
  return 0;
}

std::string ReadClassKeyString(std::string_view driver_key, std::string_view value_name) {
  if (driver_key.empty()) return {};
  auto key = platform::Reg().OpenKey(RegRoot::kLocalMachine, ClassKeyPath(driver_key), false);
  if (!key) return {};
  auto v = (*key)->QueryValue(value_name);
  if (!v || v->type != platform::kRegSz) return {};
  return platform::DecodeRegString(v->data);
}

double ReadClassKeyDate(std::string_view driver_key, std::string_view value_name) {
  if (driver_key.empty()) return 0;
  auto raw = platform::ReadRegBinary(platform::Reg(), RegRoot::kLocalMachine,
                                     ClassKeyPath(driver_key), value_name);
  if (!raw || raw->size() != 8) return 0;
  const uint64_t ft = FileTimeFromBytes(*raw);
  return ft == 0 ? 0 : LocalDateTimeFromFileTime(ft);
}

std::string ReadPseudoEnumString(std::string_view instance_id, std::string_view value_name) {
  if (instance_id.empty()) return {};
  auto v = platform::ReadRegString(platform::Reg(), RegRoot::kLocalMachine,
                                   PseudoEnumPath(instance_id), value_name);
  return v ? *v : std::string();
}

DeviceStoreValues ReadDeviceStoreValues(std::string_view instance_id) {
  DeviceStoreValues out;
  if (instance_id.empty()) return out;
  // Most devices never had an install, so most keys are missing: one
  // opening answers all three then.
  auto key = platform::Reg().OpenKey(RegRoot::kLocalMachine, PseudoEnumPath(instance_id), false);
  if (!key) return out;
  auto read = [&](std::string_view name) {
    auto v = platform::ReadRegString(**key, name);
    return v ? *v : std::string();
  };
  out.base_date = read(kInstalledBaseDateValue);
  out.status = read(kInstalledStatusValue);
  out.version = read(kInstalledVersionValue);
  return out;
}

bool WritePseudoEnumRegistryStringProperty(std::string_view instance_id,
                                           std::string_view value_name, std::string_view text) {
  if (instance_id.empty()) return false;
  auto key = platform::Reg().CreateKey(RegRoot::kLocalMachine, PseudoEnumPath(instance_id));
  if (!key) {
    LogError("WritePseudoEnumRegistryStringProperty", "OpenKey fail",
             "DriverKey=" + std::string(instance_id), key.error());
    return false;
  }
  Status st = (*key)->SetValue(value_name, {platform::kRegSz, platform::EncodeRegString(text)});
  if (st != 0) {
    LogError("WritePseudoEnumRegistryStringProperty", "SetValue fail",
             "DriverKey=" + std::string(instance_id) + " " + std::string(value_name), st);
    return false;
  }
  return true;
}

std::string GetFriendlyClassName(std::string_view class_guid) {
  const std::string id = UpperCase(class_guid);
  {
    std::lock_guard lock(g_class_mu);
    auto it = g_class_names.find(id);
    if (it != g_class_names.end()) return it->second;
  }
  std::string desc = "Unknown";
  auto d = platform::ClassDescription(class_guid);
  if (d) {
    desc = *d;
  } else if (d.error() != platform::kErrorInvalidClass) {
    LogError("GetFriendlyClassName", "SetupDiGetClassDescription fail",
             "GUID=" + std::string(class_guid), d.error());
  }
  std::lock_guard lock(g_class_mu);
  g_class_names.emplace(id, desc);
  return desc;
}

void ClearClassNameCache() {
  std::lock_guard lock(g_class_mu);
  g_class_names.clear();
}

}  // namespace vx
