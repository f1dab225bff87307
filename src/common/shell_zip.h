// ZIP archives made and unpacked by the Windows shell's ZIP folders rather
// than by the 7-Zip library. Windows only; elsewhere every copy fails with a
// logged "not available".
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "platform/shell_zip.h"

namespace vx {

class TShellZip {
 public:
  // What the copy and its wait use; replaced in tests to drive the wait
  // without a shell or a clock.
  struct Services {
    std::function<platform::ShellZipResult(const std::filesystem::path& from,
                                           const std::filesystem::path& to,
                                           std::string_view mask)>
        copy_into, copy_out;
    std::function<uint32_t()> thread_count;
    std::function<uint64_t()> now_ms;
    std::function<void()> pause;  // one poll interval
  };
  static Services SystemServices();

  // The shell gives no sign that a copy into a ZIP has finished; the wait
  // ends with a logged failure after this long.
  static constexpr std::chrono::milliseconds kDefaultTimeLimit{120000};
  static constexpr std::chrono::milliseconds kPollInterval{100};

  explicit TShellZip(std::filesystem::path zip_file, std::string filter = {});

  void SetTimeLimit(std::chrono::milliseconds limit) { time_limit_ = limit; }
  void SetServices(Services services) { services_ = std::move(services); }

  // Copies source_folder's items (or those matching the filter) into the
  // ZIP, creating an empty one first when there is none, and waits until
  // the shell's copy threads have ended or the time limit has passed. False
  // with a logged reason when the copy could not start or did not end in
  // time.
  bool CopyIntoZip(const std::filesystem::path& source_folder);
  // Copies the ZIP's items (or those matching the filter) into
  // target_folder, silently; does not wait.
  bool CopyOutOfZip(const std::filesystem::path& target_folder);

  const std::filesystem::path& zip_file() const { return zip_file_; }

 private:
  bool Started(const platform::ShellZipResult& r, const std::filesystem::path& other);

  std::filesystem::path zip_file_;
  std::string filter_;
  std::chrono::milliseconds time_limit_ = kDefaultTimeLimit;
  Services services_;
};

}  // namespace vx
