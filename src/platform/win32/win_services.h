// The real Windows behind the platform seam.
#pragma once

#include "platform/platform.h"

namespace vx::win32 {

class WinRegistry : public platform::Registry {
 public:
  WinRegistry() = default;
  Result<std::unique_ptr<platform::RegKey>> OpenKey(platform::RegRoot root, std::string_view path,
                                                    bool writable) override;
  Result<std::unique_ptr<platform::RegKey>> CreateKey(platform::RegRoot root,
                                                      std::string_view path) override;
  Status DeleteKey(platform::RegRoot root, std::string_view path) override;
  Status DeleteTree(platform::RegRoot root, std::string_view path) override;
};

std::unique_ptr<platform::SystemInfo> MakeWinSystem();

}  // namespace vx::win32
