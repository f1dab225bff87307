// The second process of the multi-process tests:
//   shm-write NAME TEXT        open a block and write TEXT into it
//   shm-expect NAME TEXT       open a block; exit 0 if it holds TEXT
//   hive-write MACHINE PREFIX N   write N values PREFIXi under one key
//   tree-node MACHINE DIR LEVEL DEPTH   start the node of LEVEL + 1 (while
//       LEVEL < DEPTH), write DIR/node-LEVEL.pid, then stay until DIR/stop
//       exists (a minute at most)
//   sleep MS                   sleep, then exit 0
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "platform/registry.h"
#include "platform/process_start.h"
#include "platform/processes.h"
#include "platform/shared_memory.h"

namespace {

// This program's own file, to start the next node of a tree from.
std::filesystem::path SelfPath() {
  using namespace vx;
  auto self = platform::ProcessModuleFileName(platform::CurrentProcessId());
  if (!self) return {};
  bool windows_path = self->size() > 2 && (*self)[1] == ':';
  return windows_path ? platform::Sys().HostPath(*self) : std::filesystem::path(*self);
}

int TreeNode(char** argv) {
  using namespace vx;
  namespace fs = std::filesystem;
  std::string error;
  if (!platform::Attach(argv[2], error)) return 3;
  fs::path dir = argv[3];
  int level = std::atoi(argv[4]), depth = std::atoi(argv[5]);
  if (level < depth) {
    std::string args = std::string("tree-node \"") + argv[2] + "\" \"" + argv[3] + "\" " +
                       std::to_string(level + 1) + " " + std::to_string(depth);
    if (platform::StartProgram(SelfPath(), args) != 0) return 4;
  }
  fs::path pid_file = dir / ("node-" + std::to_string(level) + ".pid");
  {
    std::ofstream out(fs::path(pid_file) += ".tmp");
    out << platform::CurrentProcessId();
  }
  std::error_code ec;
  fs::rename(fs::path(pid_file) += ".tmp", pid_file, ec);
  for (int i = 0; i < 1200 && !fs::exists(dir / "stop", ec); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vx;
  if (argc == 3 && std::strcmp(argv[1], "sleep") == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
    return 0;
  }
  if (argc == 6 && std::strcmp(argv[1], "tree-node") == 0) return TreeNode(argv);
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
