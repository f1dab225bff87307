#include "platform/sim/folder_names.h"

#include <sys/stat.h>

#include <chrono>
#include <ctime>

#include "common/text.h"

namespace vx::sim {

namespace fs = std::filesystem;

namespace {

// A listing is kept only when the folder's last change lies this far in
// the past: a change within the file system's timestamp granularity of the
// listing could leave the time stamp as it was (FAT keeps two seconds).
constexpr int64_t kSettledNs = 3'000'000'000;

constexpr size_t kMaxListings = 256;

int64_t NowNs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// SameText compares through UpperCase; the folded form must agree with it.
std::string Fold(std::string_view name) { return UpperCase(name); }

}  // namespace

std::optional<std::string> FolderNames::Find(const fs::path& dir, std::string_view name) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  const int64_t mtime_ns = int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
  const std::string key = dir.native();
  const std::string folded = Fold(name);

  std::lock_guard lock(mu_);
  auto it = listings_.find(key);
  if (it != listings_.end() && it->second.mtime_ns == mtime_ns && it->second.device == st.st_dev &&
      it->second.inode == st.st_ino) {
    auto hit = it->second.by_folded.find(folded);
    if (hit == it->second.by_folded.end()) return std::nullopt;
    return hit->second;
  }

  const int64_t listed_at = NowNs();
  Listing listing{mtime_ns, st.st_dev, st.st_ino, {}};
  std::error_code ec;
  for (fs::directory_iterator e(dir, ec), end; !ec && e != end; e.increment(ec)) {
    std::string actual = e->path().filename().string();
    // The first of several names that differ only in case wins, as a
    // folder walk would find it.
    listing.by_folded.try_emplace(Fold(actual), std::move(actual));
  }
  if (ec) {
    listings_.erase(key);
    return std::nullopt;
  }
  std::optional<std::string> found;
  if (auto hit = listing.by_folded.find(folded); hit != listing.by_folded.end())
    found = hit->second;
  if (listed_at - mtime_ns >= kSettledNs) {
    // Only folders that were asked for a name they lack are listed; a
    // process that meets more than this many starts over.
    if (listings_.size() >= kMaxListings && !listings_.count(key)) listings_.clear();
    listings_[key] = std::move(listing);
  } else {
    listings_.erase(key);
  }
  return found;
}

}  // namespace vx::sim
