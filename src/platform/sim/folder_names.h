// Case-insensitive look-up of names in host folders, as Windows compares
// file names, for the simulated machine's path mapping.
#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace vx::sim {

class FolderNames {
 public:
  // The name of dir's entry that equals name case-insensitively; none when
  // dir has no such entry or cannot be listed.
  std::optional<std::string> Find(const std::filesystem::path& dir, std::string_view name);

 private:
  struct Listing {
    int64_t mtime_ns = 0;
    uint64_t device = 0;
    uint64_t inode = 0;
    std::unordered_map<std::string, std::string> by_folded;  // folded -> actual
  };
  std::mutex mu_;
  std::unordered_map<std::string, Listing> listings_;  // by host folder path
};

}  // namespace vx::sim
