#include "platform/registry.h"

#include "common/text.h"

namespace vx::platform {

std::string EncodeRegString(std::string_view utf8) {
  std::string raw = Utf16LeBytes(Utf8ToUtf16(utf8));
  raw.append(2, '\0');
  return raw;
}

std::string EncodeRegMultiString(const std::vector<std::string>& items) {
  std::string raw;
  for (const auto& item : items) {
    // An empty item would end the list early for every reader.
    if (item.empty()) continue;
    raw += EncodeRegString(item);
  }
  raw.append(2, '\0');
  return raw;
}

std::string EncodeRegDword(uint32_t v) {
  std::string raw(4, '\0');
  for (int i = 0; i < 4; ++i) raw[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return raw;
}

std::string EncodeRegQword(uint64_t v) {
  std::string raw(8, '\0');
  for (int i = 0; i < 8; ++i) raw[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return raw;
}

std::string DecodeRegString(std::string_view raw) {
  std::u16string s = FromUtf16LeBytes(raw);
  if (auto nul = s.find(u'\0'); nul != std::u16string::npos) s.resize(nul);
  return Utf16ToUtf8(s);
}

std::vector<std::string> DecodeRegMultiString(std::string_view raw) {
  std::u16string s = FromUtf16LeBytes(raw);
  std::vector<std::string> out;
  size_t start = 0;
  while (start < s.size()) {
    size_t nul = s.find(u'\0', start);
    if (nul == start) break;  // the empty string ends the list
    if (nul == std::u16string::npos) nul = s.size();
    out.push_back(Utf16ToUtf8(std::u16string_view(s).substr(start, nul - start)));
    start = nul + 1;
  }
  return out;
}

namespace {

Result<RegValue> Query(Registry& reg, RegRoot root, std::string_view path, std::string_view name) {
  auto key = reg.OpenKey(root, path, false);
  if (!key) return Result<RegValue>::Fail(key.error());
  return (*key)->QueryValue(name);
}

Result<std::string> AsString(Result<RegValue> v) {
  if (!v) return Result<std::string>::Fail(v.error());
  if (v->type != kRegSz && v->type != kRegExpandSz)
    return Result<std::string>::Fail(kErrorUnsupportedType);
  return DecodeRegString(v->data);
}

Result<uint32_t> AsDword(Result<RegValue> v) {
  if (!v) return Result<uint32_t>::Fail(v.error());
  if (v->type != kRegDword || v->data.size() < 4) return Result<uint32_t>::Fail(kErrorUnsupportedType);
  uint32_t out = 0;
  for (int i = 3; i >= 0; --i) out = (out << 8) | static_cast<unsigned char>(v->data[i]);
  return out;
}

Result<std::vector<std::string>> AsMulti(Result<RegValue> v) {
  if (!v) return Result<std::vector<std::string>>::Fail(v.error());
  if (v->type != kRegMultiSz) return Result<std::vector<std::string>>::Fail(kErrorUnsupportedType);
  return DecodeRegMultiString(v->data);
}

}  // namespace

Result<std::string> ReadRegString(Registry& reg, RegRoot root, std::string_view path,
                                  std::string_view name) {
  return AsString(Query(reg, root, path, name));
}

Result<uint32_t> ReadRegDword(Registry& reg, RegRoot root, std::string_view path,
                              std::string_view name) {
  return AsDword(Query(reg, root, path, name));
}

Result<std::string> ReadRegBinary(Registry& reg, RegRoot root, std::string_view path,
                                  std::string_view name) {
  auto v = Query(reg, root, path, name);
  if (!v) return Result<std::string>::Fail(v.error());
  if (v->type != kRegBinary) return Result<std::string>::Fail(kErrorUnsupportedType);
  return v->data;
}

Result<std::vector<std::string>> ReadRegMultiString(Registry& reg, RegRoot root,
                                                    std::string_view path, std::string_view name) {
  return AsMulti(Query(reg, root, path, name));
}

Result<std::string> ReadRegString(RegKey& key, std::string_view name) {
  return AsString(key.QueryValue(name));
}
Result<uint32_t> ReadRegDword(RegKey& key, std::string_view name) { return AsDword(key.QueryValue(name)); }
Result<std::vector<std::string>> ReadRegMultiString(RegKey& key, std::string_view name) {
  return AsMulti(key.QueryValue(name));
}

Status WriteRegValue(Registry& reg, RegRoot root, std::string_view path, std::string_view name,
                     const RegValue& value) {
  auto key = reg.CreateKey(root, path);
  if (!key) return key.error();
  return (*key)->SetValue(name, value);
}

Status WriteRegString(Registry& reg, RegRoot root, std::string_view path, std::string_view name,
                      std::string_view value, uint32_t type) {
  return WriteRegValue(reg, root, path, name, RegValue{type, EncodeRegString(value)});
}

Status WriteRegDword(Registry& reg, RegRoot root, std::string_view path, std::string_view name,
                     uint32_t value) {
  return WriteRegValue(reg, root, path, name, RegValue{kRegDword, EncodeRegDword(value)});
}

Status WriteRegMultiString(Registry& reg, RegRoot root, std::string_view path,
                           std::string_view name, const std::vector<std::string>& value) {
  return WriteRegValue(reg, root, path, name, RegValue{kRegMultiSz, EncodeRegMultiString(value)});
}

Status DeleteRegValue(Registry& reg, RegRoot root, std::string_view path, std::string_view name) {
  auto key = reg.OpenKey(root, path, true);
  if (!key) return key.error();
  return (*key)->DeleteValue(name);
}

}  // namespace vx::platform
