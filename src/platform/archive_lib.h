// The 7-Zip format library, loaded at run time. It is only ever loaded by
// full path: a bare name would let the loader pick up whatever file of that
// name sits in the current or a search-path folder.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/result.h"

namespace vx::platform {

class LoadedLibrary {
 public:
  virtual ~LoadedLibrary() = default;
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;
  // The address of an exported function; null when it is not exported.
  virtual void* Proc(const char* name) const = 0;

 protected:
  LoadedLibrary() = default;
};

// Loads a library; kErrorBadPathname for a relative path, else the
// loader's error (kErrorFileNotFound when the file is missing).
Result<std::unique_ptr<LoadedLibrary>> LoadLibraryByPath(const std::filesystem::path& full_path);

// Where the archive library lives: "7z.dll" beside the running program on
// Windows; the packaged format library of p7zip on the simulated machine.
std::filesystem::path ArchiveLibraryPath();

}  // namespace vx::platform
