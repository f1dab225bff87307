#include "engine/installed_driver.h"

#include "common/date_time.h"
#include "common/logger.h"
#include "common/text.h"
#include "platform/platform.h"
#include "platform/result.h"

namespace vx {

namespace {

// The failure as the scan result's [Errors] section records it.
void RecordError(IniFile& scan_result, std::string_view function, std::string_view instance_id,
                 uint32_t code) {
  const std::string key = "GetDriverParameters_" + std::to_string(platform::Sys().TickCount());
  std::string text = std::string(function) + " " + std::string(instance_id) + ": " +
                     SystemErrorText(code) + " " + std::to_string(code);
  // Several failures may share one tick; keep each.
  std::string unique = key;
  for (int n = 2; scan_result.ValueExists("Errors", unique); ++n)
    unique = key + "_" + std::to_string(n);
  scan_result.WriteString("Errors", unique, text);
}

// A damaged set could answer forever; no real machine has this many devices.
constexpr uint32_t kMaxDevices = 1u << 20;

}  // namespace

bool FindDevice(platform::DeviceInfoSet& set, std::string_view instance_id,
                platform::DeviceInfo& info, uint32_t& index) {
  const std::string wanted = LowerCase(instance_id);
  for (uint32_t i = 0; i < kMaxDevices; ++i) {
    auto dev = set.Enum(i);
    if (!dev) {
      if (dev.error() == kErrorNoMoreItems) break;
      LogError("FindDevice", "SetupDiEnumDeviceInfo fail",
               "InstanceID=" + std::string(instance_id) + ", Devn=" + std::to_string(i),
               dev.error());
      continue;
    }
    if (dev->instance_id.empty()) {
      LogError("FindDevice", "SetupDiGetDeviceInstanceId fail",
               "InstanceID=" + std::string(instance_id) + ", Devn=" + std::to_string(i),
               dev->instance_id_error);
      continue;
    }
    if (LowerCase(dev->instance_id) == wanted) {
      info = *dev;
      index = i;
      return true;
    }
  }
  LogError("FindDevice", "Not found", "InstanceID=" + std::string(instance_id));
  return false;
}

void DeviceIndex::Build() {
  built_ = true;
  for (uint32_t i = 0; i < kMaxDevices; ++i) {
    auto dev = set_.Enum(i);
    if (!dev) {
      if (dev.error() == kErrorNoMoreItems) break;
      LogError("FindDevice", "SetupDiEnumDeviceInfo fail", "Devn=" + std::to_string(i),
               dev.error());
      continue;
    }
    if (dev->instance_id.empty()) {
      LogError("FindDevice", "SetupDiGetDeviceInstanceId fail", "Devn=" + std::to_string(i),
               dev->instance_id_error);
      continue;
    }
    std::string key = LowerCase(dev->instance_id);
    devices_.try_emplace(std::move(key), std::move(*dev), i);
  }
}

bool DeviceIndex::Find(std::string_view instance_id, platform::DeviceInfo& info,
                       uint32_t& index) {
  if (!built_) Build();
  auto it = devices_.find(LowerCase(instance_id));
  if (it == devices_.end()) {
    LogError("FindDevice", "Not found", "InstanceID=" + std::string(instance_id));
    return false;
  }
  info = it->second.first;
  index = it->second.second;
  return true;
}

bool GetDriverParameters(platform::DeviceInfoSet& set, std::string_view instance_id,
                         IniFile& scan_result, double& date, std::string& version,
                         std::string& manufacturer, std::string& provider) {
  DeviceIndex devices(set);
  return GetDriverParameters(devices, instance_id, scan_result, date, version, manufacturer,
                             provider);
}

bool GetDriverParameters(DeviceIndex& devices, std::string_view instance_id,
                         IniFile& scan_result, double& date, std::string& version,
                         std::string& manufacturer, std::string& provider) {
  platform::DeviceInfoSet& set = devices.set();
  const std::string params = "EnumKey=" + std::string(instance_id);
  platform::DeviceInfo info;
  uint32_t index = 0;
  if (instance_id.empty() || !devices.Find(instance_id, info, index)) {
    LogError("GetDriverParameters", "FindDevice fail", params);
    RecordError(scan_result, "FindDevice", instance_id, platform::kErrorNotFound);
    return false;
  }
  auto node = set.InstalledDriver(info);
  if (!node) {
    if (node.error() == kErrorNoMoreItems) {
      LogMessage("GetDriverParameters", "SetupDiEnumDriverInfoW fail, " + params);
      RecordError(scan_result, "SetupDiEnumDriverInfoW", instance_id, node.error());
    } else {
      LogError("GetDriverParameters", "SetupDiBuildDriverInfoList fail", params, node.error());
      RecordError(scan_result, "SetupDiBuildDriverInfoList", instance_id, node.error());
    }
    return false;
  }
  provider = node->provider;
  manufacturer = node->manufacturer;
  date = node->date ? DateOf(LocalDateTimeFromFileTime(node->date)) : 0;
  version = platform::DriverVersionText(node->version);
  return true;
}

}  // namespace vx
