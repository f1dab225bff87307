// The process is attached to the Windows it runs on.
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/shared_memory.h"
#include "platform/win32/win_handles.h"
#include "platform/win32/win_services.h"

namespace vx::platform {

namespace {

class HostServices : public Services {
 public:
  HostServices() : system_(win32::MakeWinSystem()) {}
  Registry& Reg() override { return registry_; }
  SystemInfo& Sys() override { return *system_; }

 private:
  win32::WinRegistry registry_;
  std::unique_ptr<SystemInfo> system_;
};

std::mutex g_mu;
std::unique_ptr<HostServices> g_host;

class WinBlock : public SharedMemory {
 public:
  WinBlock(win32::UniqueHandleW mapping, win32::UniqueView view, size_t size)
      : mapping_(std::move(mapping)), view_(std::move(view)), size_(size) {}
  void* Data() override { return view_.get(); }
  size_t Size() const override { return size_; }

 private:
  win32::UniqueHandleW mapping_;
  win32::UniqueView view_;  // unmapped before the mapping closes
  size_t size_;
};

Result<std::unique_ptr<SharedMemory>> Map(win32::UniqueHandleW mapping, size_t size) {
  using R = Result<std::unique_ptr<SharedMemory>>;
  win32::UniqueView view(MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, size));
  if (!view) return R::Fail(GetLastError());
  return R(std::make_unique<WinBlock>(std::move(mapping), std::move(view), size));
}

}  // namespace

Services& Get() {
  std::lock_guard lock(g_mu);
  if (!g_host) g_host = std::make_unique<HostServices>();
  return *g_host;
}

bool IsAttached() { return true; }

bool Attach(const std::filesystem::path&, std::string&) {
  Get();
  return true;
}

void Detach() {}

bool IsSimulated() { return false; }

Result<std::unique_ptr<SharedMemory>> CreateSharedMemory(std::string_view name, size_t size) {
  win32::UniqueHandleW mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                  static_cast<DWORD>(size),
                                                  win32::Wide(name).c_str()));
  if (!mapping) return Result<std::unique_ptr<SharedMemory>>::Fail(GetLastError());
  return Map(std::move(mapping), size);
}

Result<std::unique_ptr<SharedMemory>> OpenSharedMemory(std::string_view name, size_t size) {
  win32::UniqueHandleW mapping(
      OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, win32::Wide(name).c_str()));
  if (!mapping) return Result<std::unique_ptr<SharedMemory>>::Fail(GetLastError());
  return Map(std::move(mapping), size);
}

}  // namespace vx::platform
