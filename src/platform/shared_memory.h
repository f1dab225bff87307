// A named block of memory two processes share (CreateFileMapping with a
// name on Windows). The creator's block lives until the creator closes it.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "platform/result.h"

namespace vx::platform {

class SharedMemory {
 public:
  virtual ~SharedMemory() = default;  // unmaps and closes
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  virtual void* Data() = 0;
  virtual size_t Size() const = 0;

 protected:
  SharedMemory() = default;
};

// Create makes a zero-filled block (or opens the existing one of that name,
// as Windows does); Open fails with kErrorFileNotFound when none exists.
Result<std::unique_ptr<SharedMemory>> CreateSharedMemory(std::string_view name, size_t size);
Result<std::unique_ptr<SharedMemory>> OpenSharedMemory(std::string_view name, size_t size);

}  // namespace vx::platform
