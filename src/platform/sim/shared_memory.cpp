// Named shared memory on the simulated machine: a file under the machine's
// shm/ folder mapped by every process that opens the name.
#include "platform/shared_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

#include "platform/sim/machine.h"

namespace vx::platform {

namespace {

std::filesystem::path BlockFile(std::string_view name) {
  // Windows allows nearly any character in a mapping name; keep the file
  // name safe by escaping everything but letters, digits, '_' and '-'.
  std::string file;
  static const char* hex = "0123456789abcdef";
  for (unsigned char c : name) {
    if (std::isalnum(c) || c == '_' || c == '-') {
      file += static_cast<char>(c);
    } else {
      file += '%';
      file += hex[c >> 4];
      file += hex[c & 15];
    }
  }
  return sim::CurrentMachine()->dir() / "shm" / file;
}

class SimBlock : public SharedMemory {
 public:
  SimBlock(void* data, size_t size, std::filesystem::path owned)
      : data_(data), size_(size), owned_(std::move(owned)) {}
  ~SimBlock() override {
    munmap(data_, size_);
    if (!owned_.empty()) {
      std::error_code ec;
      std::filesystem::remove(owned_, ec);
    }
  }
  void* Data() override { return data_; }
  size_t Size() const override { return size_; }

 private:
  void* data_;
  size_t size_;
  std::filesystem::path owned_;
};

Result<std::unique_ptr<SharedMemory>> MapBlock(std::string_view name, size_t size, bool create) {
  using R = Result<std::unique_ptr<SharedMemory>>;
  if (!sim::CurrentMachine() || size == 0 || name.empty()) return R::Fail(kErrorInvalidParameter);
  auto file = BlockFile(name);
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  int flags = O_RDWR | O_CLOEXEC;
  bool made = false;
  int fd = -1;
  if (create) {
    fd = open(file.c_str(), flags | O_CREAT | O_EXCL, 0600);
    made = fd >= 0;
  }
  if (fd < 0) fd = open(file.c_str(), flags);
  if (fd < 0) return R::Fail(errno == ENOENT ? kErrorFileNotFound : kErrorAccessDenied);
  struct stat st {};
  if (fstat(fd, &st) != 0 || (static_cast<size_t>(st.st_size) < size && ftruncate(fd, static_cast<off_t>(size)) != 0)) {
    close(fd);
    return R::Fail(kErrorNotEnoughMemory);
  }
  void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);  // the mapping keeps the file open
  if (data == MAP_FAILED) return R::Fail(kErrorNotEnoughMemory);
  return R(std::make_unique<SimBlock>(data, size, made ? file : std::filesystem::path()));
}

}  // namespace

Result<std::unique_ptr<SharedMemory>> CreateSharedMemory(std::string_view name, size_t size) {
  return MapBlock(name, size, true);
}

Result<std::unique_ptr<SharedMemory>> OpenSharedMemory(std::string_view name, size_t size) {
  return MapBlock(name, size, false);
}

}  // namespace vx::platform
