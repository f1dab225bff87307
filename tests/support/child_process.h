// Helper processes that tests start themselves (the local service, a proxy).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vx::test {

// A child process, ended (SIGTERM, then waited for) when the object goes.
// Its standard output is discarded. Only the native build starts children
// this way; on Windows the object does nothing.
class Child {
 public:
  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child();
  bool Start(const std::vector<std::string>& args);

 private:
  long pid_ = -1;
};

// Polls up to 10 s for a file a child writes once it is ready.
bool WaitForFile(const std::filesystem::path& p);

// The value of "key=" ("http", "smtp") in the ports file the local service
// writes; empty when the file or the key is missing.
std::string ServicePort(const std::filesystem::path& ports_file, std::string_view key);

}  // namespace vx::test
