// The Windows registry as the program sees it: keys opened under a root,
// values stored as type + raw bytes exactly as Windows keeps them. Names
// compare case-insensitively and keep their case. The typed readers below
// are shared by both backends so the two agree on every conversion.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace vx::platform {

enum class RegRoot { kLocalMachine, kCurrentUser };

enum RegType : uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegMultiSz = 7,
  kRegQword = 11,
};

struct RegValue {
  uint32_t type = kRegNone;
  std::string data;  // raw bytes
};

// An open key. Destroying it closes the key.
class RegKey {
 public:
  virtual ~RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  // kErrorFileNotFound when the value does not exist; "" is the default value.
  virtual Result<RegValue> QueryValue(std::string_view name) = 0;
  virtual Status SetValue(std::string_view name, const RegValue& value) = 0;
  virtual Status DeleteValue(std::string_view name) = 0;
  virtual Result<std::vector<std::string>> SubKeyNames() = 0;
  virtual Result<std::vector<std::string>> ValueNames() = 0;

 protected:
  RegKey() = default;
};

class Registry {
 public:
  virtual ~Registry() = default;
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // path is relative to the root, with "\" separators; "" opens the root.
  virtual Result<std::unique_ptr<RegKey>> OpenKey(RegRoot root, std::string_view path,
                                                  bool writable) = 0;
  // Opens or creates every missing key on the path.
  virtual Result<std::unique_ptr<RegKey>> CreateKey(RegRoot root, std::string_view path) = 0;
  // Deletes a key without sub-keys (kErrorAccessDenied if it has some, as
  // Windows answers); DeleteTree removes it with everything below.
  virtual Status DeleteKey(RegRoot root, std::string_view path) = 0;
  virtual Status DeleteTree(RegRoot root, std::string_view path) = 0;

 protected:
  Registry() = default;
};

// Raw-data forms shared by both backends.
std::string EncodeRegString(std::string_view utf8);  // UTF-16LE with terminating NUL
std::string EncodeRegMultiString(const std::vector<std::string>& items);
std::string EncodeRegDword(uint32_t v);
std::string EncodeRegQword(uint64_t v);
// Strings stop at the first NUL; a missing terminator is tolerated, as
// data written by other programs often lacks it.
std::string DecodeRegString(std::string_view raw);
std::vector<std::string> DecodeRegMultiString(std::string_view raw);

// Typed reads: kErrorFileNotFound for a missing key or value,
// kErrorUnsupportedType when the stored type does not fit the request.
// ReadRegString accepts REG_SZ and REG_EXPAND_SZ (unexpanded).
Result<std::string> ReadRegString(Registry& reg, RegRoot root, std::string_view path,
                                  std::string_view name);
Result<uint32_t> ReadRegDword(Registry& reg, RegRoot root, std::string_view path,
                              std::string_view name);
Result<std::string> ReadRegBinary(Registry& reg, RegRoot root, std::string_view path,
                                  std::string_view name);
Result<std::vector<std::string>> ReadRegMultiString(Registry& reg, RegRoot root,
                                                    std::string_view path, std::string_view name);
Result<std::string> ReadRegString(RegKey& key, std::string_view name);
Result<uint32_t> ReadRegDword(RegKey& key, std::string_view name);
Result<std::vector<std::string>> ReadRegMultiString(RegKey& key, std::string_view name);

// Typed writes create the key when it is missing.
Status WriteRegValue(Registry& reg, RegRoot root, std::string_view path, std::string_view name,
                     const RegValue& value);
Status WriteRegString(Registry& reg, RegRoot root, std::string_view path, std::string_view name,
                      std::string_view value, uint32_t type = kRegSz);
Status WriteRegDword(Registry& reg, RegRoot root, std::string_view path, std::string_view name,
                     uint32_t value);
Status WriteRegMultiString(Registry& reg, RegRoot root, std::string_view path,
                           std::string_view name, const std::vector<std::string>& value);
Status DeleteRegValue(Registry& reg, RegRoot root, std::string_view path, std::string_view name);

}  // namespace vx::platform
