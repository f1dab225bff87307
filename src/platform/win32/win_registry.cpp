#include <memory>
#include <vector>

#include "common/text.h"
#include "platform/registry.h"
#include "platform/win32/win_handles.h"
#include "platform/win32/win_services.h"

namespace vx::win32 {

using platform::RegRoot;
using platform::RegValue;

std::wstring Wide(std::string_view utf8) {
  std::u16string u = Utf8ToUtf16(utf8);
  return std::wstring(u.begin(), u.end());
}

std::string Narrow(std::wstring_view wide) {
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

namespace {

HKEY RootKey(RegRoot root) {
  return root == RegRoot::kLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

class WinKey : public platform::RegKey {
 public:
  explicit WinKey(UniqueHkey key) : key_(std::move(key)) {}

  Result<RegValue> QueryValue(std::string_view name) override {
    std::wstring wname = Wide(name);
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExW(key_.get(), wname.c_str(), nullptr, &type, nullptr, &size);
    // The value can grow between the two calls; ask again until it fits.
    for (int attempt = 0; attempt < 8; ++attempt) {
      if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) return Result<RegValue>::Fail(rc);
      std::string data(size, '\0');
      rc = RegQueryValueExW(key_.get(), wname.c_str(), nullptr, &type,
                            reinterpret_cast<BYTE*>(data.data()), &size);
      if (rc == ERROR_SUCCESS) {
        data.resize(size);
        return RegValue{type, std::move(data)};
      }
    }
    return Result<RegValue>::Fail(rc);
  }

  Status SetValue(std::string_view name, const RegValue& value) override {
    return static_cast<Status>(RegSetValueExW(key_.get(), Wide(name).c_str(), 0, value.type,
                                              reinterpret_cast<const BYTE*>(value.data.data()),
                                              static_cast<DWORD>(value.data.size())));
  }

  Status DeleteValue(std::string_view name) override {
    return static_cast<Status>(RegDeleteValueW(key_.get(), Wide(name).c_str()));
  }

  Result<std::vector<std::string>> SubKeyNames() override {
    std::vector<std::string> out;
    wchar_t buf[256];  // key names are limited to 255 characters
    for (DWORD i = 0;; ++i) {
      DWORD len = 256;
      LONG rc = RegEnumKeyExW(key_.get(), i, buf, &len, nullptr, nullptr, nullptr, nullptr);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      if (rc != ERROR_SUCCESS) return Result<std::vector<std::string>>::Fail(rc);
      out.push_back(Narrow(std::wstring_view(buf, len)));
    }
    return out;
  }

  Result<std::vector<std::string>> ValueNames() override {
    std::vector<std::string> out;
    std::wstring buf(16384, L'\0');  // value names are limited to 16383 characters
    for (DWORD i = 0;; ++i) {
      DWORD len = static_cast<DWORD>(buf.size());
      LONG rc = RegEnumValueW(key_.get(), i, buf.data(), &len, nullptr, nullptr, nullptr, nullptr);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      if (rc != ERROR_SUCCESS) return Result<std::vector<std::string>>::Fail(rc);
      out.push_back(Narrow(std::wstring_view(buf.data(), len)));
    }
    return out;
  }

 private:
  UniqueHkey key_;
};

}  // namespace

Result<std::unique_ptr<platform::RegKey>> WinRegistry::OpenKey(RegRoot root, std::string_view path,
                                                               bool writable) {
  using R = Result<std::unique_ptr<platform::RegKey>>;
  UniqueHkey key;
  REGSAM access = writable ? KEY_READ | KEY_WRITE : KEY_READ;
  LONG rc = RegOpenKeyExW(RootKey(root), Wide(path).c_str(), 0, access, key.put());
  if (rc != ERROR_SUCCESS) return R::Fail(rc);
  return R(std::make_unique<WinKey>(std::move(key)));
}

Result<std::unique_ptr<platform::RegKey>> WinRegistry::CreateKey(RegRoot root, std::string_view path) {
  using R = Result<std::unique_ptr<platform::RegKey>>;
  UniqueHkey key;
  LONG rc = RegCreateKeyExW(RootKey(root), Wide(path).c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                            nullptr, key.put(), nullptr);
  if (rc != ERROR_SUCCESS) return R::Fail(rc);
  return R(std::make_unique<WinKey>(std::move(key)));
}

Status WinRegistry::DeleteKey(RegRoot root, std::string_view path) {
  if (path.empty()) return ERROR_ACCESS_DENIED;
  // RegDeleteKey refuses a key with sub-keys only on some versions; check
  // first so both backends answer the same.
  {
    auto key = OpenKey(root, path, false);
    if (!key) return key.error();
    auto kids = (*key)->SubKeyNames();
    if (kids && !kids->empty()) return ERROR_ACCESS_DENIED;
  }
  return static_cast<Status>(RegDeleteKeyW(RootKey(root), Wide(path).c_str()));
}

Status WinRegistry::DeleteTree(RegRoot root, std::string_view path) {
  if (path.empty()) return ERROR_ACCESS_DENIED;
  std::vector<std::string> children;
  {
    auto key = OpenKey(root, path, true);
    if (!key) return key.error();
    auto kids = (*key)->SubKeyNames();
    if (!kids) return kids.error();
    children = std::move(*kids);
  }
  for (const auto& kid : children) {
    Status s = DeleteTree(root, std::string(path) + "\\" + kid);
    if (s != ERROR_SUCCESS && s != ERROR_FILE_NOT_FOUND) return s;
  }
  return static_cast<Status>(RegDeleteKeyW(RootKey(root), Wide(path).c_str()));
}

}  // namespace vx::win32
