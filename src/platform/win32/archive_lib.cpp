// LoadLibraryEx-backed library loading. LOAD_WITH_ALTERED_SEARCH_PATH makes
// the library's own dependencies resolve from its folder first, not from
// the current directory.
#include "platform/archive_lib.h"

#include "platform/win32/win_handles.h"

namespace vx::platform {
namespace {

struct ModuleTraits {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { FreeLibrary(h); }
};

class WinLibrary final : public LoadedLibrary {
 public:
  explicit WinLibrary(HMODULE h) : h_(h) {}
  void* Proc(const char* name) const override {
    return reinterpret_cast<void*>(GetProcAddress(h_.get(), name));
  }

 private:
  UniqueHandle<ModuleTraits> h_;
};

}  // namespace

Result<std::unique_ptr<LoadedLibrary>> LoadLibraryByPath(const std::filesystem::path& full_path) {
  if (!full_path.is_absolute()) return Result<std::unique_ptr<LoadedLibrary>>::Fail(kErrorBadPathname);
  HMODULE h = LoadLibraryExW(full_path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!h) return Result<std::unique_ptr<LoadedLibrary>>::Fail(GetLastError());
  return std::unique_ptr<LoadedLibrary>(std::make_unique<WinLibrary>(h));
}

std::filesystem::path ArchiveLibraryPath() {
  std::wstring exe(32768, L'\0');
  DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
  exe.resize(n);
  return std::filesystem::path(exe).parent_path() / L"7z.dll";
}

}  // namespace vx::platform
