// Readers and INF helpers that sit on top of the device interface, shared by
// both backends so they convert alike.
#include "platform/devices.h"

#include <cstdio>

#include "common/text.h"

namespace vx::platform {

Result<std::string> RegistryString(DeviceInfoSet& set, const DeviceInfo& dev, uint32_t spdrp) {
  auto v = set.RegistryProperty(dev, spdrp);
  if (!v) return Result<std::string>::Fail(v.error());
  switch (v->kind) {
    case DeviceValue::Kind::kString:
    case DeviceValue::Kind::kGuid:
      return v->text;
    case DeviceValue::Kind::kStrings:
      // SetupAPI hands a REG_MULTI_SZ to a string reader as its first item.
      return v->strings.empty() ? std::string() : v->strings.front();
    default:
      return Result<std::string>::Fail(kErrorInvalidData);
  }
}

Result<std::vector<std::string>> RegistryStrings(DeviceInfoSet& set, const DeviceInfo& dev,
                                                 uint32_t spdrp) {
  auto v = set.RegistryProperty(dev, spdrp);
  if (!v) return Result<std::vector<std::string>>::Fail(v.error());
  if (v->kind == DeviceValue::Kind::kStrings) return v->strings;
  if (v->kind == DeviceValue::Kind::kString) {
    if (v->text.empty()) return std::vector<std::string>{};
    return std::vector<std::string>{v->text};
  }
  return Result<std::vector<std::string>>::Fail(kErrorInvalidData);
}

Result<uint32_t> RegistryDword(DeviceInfoSet& set, const DeviceInfo& dev, uint32_t spdrp) {
  auto v = set.RegistryProperty(dev, spdrp);
  if (!v) return Result<uint32_t>::Fail(v.error());
  if (v->kind == DeviceValue::Kind::kNumber) return static_cast<uint32_t>(v->number);
  if (v->kind == DeviceValue::Kind::kBinary && v->bytes.size() >= 4) {
    const auto* b = reinterpret_cast<const unsigned char*>(v->bytes.data());
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  }
  return Result<uint32_t>::Fail(kErrorInvalidData);
}

Result<std::vector<InfCopyFile>> ListCopyFiles(InfFile& inf, std::string_view install_section) {
  auto lines = inf.Lines(install_section);
  if (!lines) return Result<std::vector<InfCopyFile>>::Fail(lines.error());
  std::vector<InfCopyFile> out;
  auto add = [&](const std::string& source, const std::string& dir) {
    std::string target = dir + "\\" + source;
    for (const auto& f : out)
      if (SameText(f.target, target)) return;
    out.push_back({source, target});
  };
  for (const auto& line : *lines) {
    if (!SameText(line.key, "CopyFiles")) continue;
    for (const auto& entry : line.fields) {
      if (entry.empty()) continue;
      if (entry[0] == '@') {
        // A single file goes to the install section's own destination.
        auto dir = inf.TargetPath(install_section);
        if (dir) add(entry.substr(1), *dir);
        continue;
      }
      auto dir = inf.TargetPath(entry);
      if (!dir) continue;  // no destination: Windows would not copy it either
      auto files = inf.Lines(entry);
      if (!files) continue;
      for (const auto& f : *files) {
        // Copy-section lines are "destination[,source[,temp[,flags]]]".
        const std::string& name = !f.key.empty() || f.fields.empty() ? f.key : f.fields[0];
        if (!name.empty()) add(name, *dir);
      }
    }
  }
  return out;
}

std::string DriverVersionText(uint64_t version) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", unsigned(version >> 48 & 0xFFFF),
                unsigned(version >> 32 & 0xFFFF), unsigned(version >> 16 & 0xFFFF),
                unsigned(version & 0xFFFF));
  return buf;
}

uint64_t ParseDriverVersion(std::string_view text) {
  auto parts = Split(Trim(text), '.');
  if (parts.empty() || parts.size() > 4) return 0;
  uint64_t v = 0;
  for (size_t i = 0; i < 4; ++i) {
    uint64_t part = 0;
    if (i < parts.size()) {
      const std::string p = Trim(parts[i]);
      if (p.empty() || p.size() > 5) return 0;
      for (char c : p) {
        if (c < '0' || c > '9') return 0;
        part = part * 10 + uint64_t(c - '0');
      }
      if (part > 0xFFFF) return 0;
    }
    v = v << 16 | part;
  }
  return v;
}

}  // namespace vx::platform
