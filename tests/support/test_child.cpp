// The second process of the multi-process tests:
//   shm-write NAME TEXT        open a block and write TEXT into it
//   shm-expect NAME TEXT       open a block; exit 0 if it holds TEXT
//   hive-write MACHINE PREFIX N   write N values PREFIXi under one key
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/registry.h"
#include "platform/shared_memory.h"

int main(int argc, char** argv) {
  using namespace vx;
  if (argc < 4) return 2;
  std::string cmd = argv[1];
  std::string error;
  if (cmd == "shm-write" || cmd == "shm-expect") {
    if (argc < 5 || !platform::Attach(argv[2], error)) return 3;
    auto block = platform::OpenSharedMemory(argv[3], 4096);
    if (!block) return 4;
    char* data = static_cast<char*>((*block)->Data());
    if (cmd == "shm-write") {
      std::strncpy(data, argv[4], 4095);
      return 0;
    }
    return std::strcmp(data, argv[4]) == 0 ? 0 : 5;
  }
  if (cmd == "hive-write") {
    if (argc < 5 || !platform::Attach(argv[2], error)) return 3;
    int n = std::atoi(argv[4]);
    for (int i = 0; i < n; ++i) {
      std::string name = std::string(argv[3]) + std::to_string(i);
      if (platform::WriteRegDword(platform::Reg(), platform::RegRoot::kCurrentUser,
                                  "Software\\VantrixTest\\Shared", name, static_cast<uint32_t>(i)) != 0)
        return 6;
    }
    return 0;
  }
  return 2;
}
