// dlopen-backed library loading for the simulated machine, which runs on
// the host's own format library.
#include "platform/archive_lib.h"

#include <dlfcn.h>

#include "common/text.h"

#ifndef VX_P7ZIP_LIBRARY
#define VX_P7ZIP_LIBRARY "/usr/lib/p7zip/7z.so"
#endif

namespace vx::platform {
namespace {

class DlLibrary final : public LoadedLibrary {
 public:
  explicit DlLibrary(void* h) : h_(h) {}
  // Never unloaded: the format library keeps C++ statics and worker
  // threads whose teardown order at dlclose is not ours to control.
  ~DlLibrary() override = default;
  void* Proc(const char* name) const override { return dlsym(h_, name); }

 private:
  void* h_;
};

}  // namespace

Result<std::unique_ptr<LoadedLibrary>> LoadLibraryByPath(const std::filesystem::path& full_path) {
  if (!full_path.is_absolute()) return Result<std::unique_ptr<LoadedLibrary>>::Fail(kErrorBadPathname);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(full_path, ec))
    return Result<std::unique_ptr<LoadedLibrary>>::Fail(kErrorFileNotFound);
  void* h = dlopen(PathUtf8(full_path).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) return Result<std::unique_ptr<LoadedLibrary>>::Fail(kErrorBadConfiguration);
  return std::unique_ptr<LoadedLibrary>(std::make_unique<DlLibrary>(h));
}

std::filesystem::path ArchiveLibraryPath() { return U8Path(VX_P7ZIP_LIBRARY); }

}  // namespace vx::platform
