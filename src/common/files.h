// File and path helpers over the platform: NT device paths back to drive
// paths, file tests that see the real system folder, file times, folder
// deletion and UTF-16 text files for reports. Each logs its own failures.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/handle.h"
#include "platform/result.h"

namespace vx {

// The drives and their NT device paths, for turning "\Device\HarddiskVolume3
// \Windows\notepad.exe" into "C:\Windows\notepad.exe".
class DriveTable {
 public:
  static constexpr int kMaxEntries = 34;
  struct Entry {
    std::string drive;   // "C:"
    std::string device;  // lower case, with a trailing "\"
    size_t device_length = 0;  // without that "\"
  };
  using DeviceLookup = std::function<Result<std::string>(std::string_view drive)>;

  // Rebuilds from a GetLogicalDriveStrings text (roots each ended by a NUL)
  // unless it equals the text of the last build. A length below 4 or of
  // 260 and more is refused (logged) and the table stays as it was.
  void Init(const std::string& drive_strings, const DeviceLookup& lookup);
  // The drive path, or the raw path itself when it cannot be expanded.
  std::string Expand(std::string_view raw_path) const;

  int count() const { return count_; }  // -1 until built
  const std::vector<Entry>& entries() const { return entries_; }

 private:
  int count_ = -1;
  std::string drive_strings_;
  std::vector<Entry> entries_;
};

// The process-wide table, (re)built from the system's drives.
void LogicalDriveStringsInit();
DriveTable& ProcessDriveTable();
// The drive path of an NT device path; the raw path when it cannot be
// expanded (logged as "Path not expanded").
std::string ExpandRawPath(std::string_view raw_path);

// True for an existing file (not folder), tested with WOW64 redirection
// off so that the real system folder is seen.
bool FileExistsNative(const std::filesystem::path& path);
// Last-write time as a local date-time; false when it cannot be read.
bool GetFileWriteTime(const std::filesystem::path& path, double& time);
// GetFileWriteTime of the running program; 0 on failure.
double GetProgramFileTime();
// A FILETIME as local date-time; 0 for 0.
double FileTimeToLocalDateTime(uint64_t file_time);

// Deletes the folder with everything in it ("\" or "/" at the end is
// dropped first). False (logged "Path not exists") when it is missing.
bool DeleteFolder(const std::filesystem::path& path);

// UTF-16LE text files with a byte-order mark, as the install reports are
// written.
struct TextFileTraits {
  using Type = std::FILE*;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { std::fclose(h); }
};
using TextFileHandle = UniqueHandle<TextFileTraits>;

// Opens for appending (created when missing) or, when not for_writing, an
// existing file for reading. rewrite starts the file over. A new or
// rewritten file gets the byte-order mark FF FE. Invalid on failure.
TextFileHandle AssignFileW(const std::filesystem::path& path, bool rewrite, bool for_writing);
// Writes the text as UTF-16LE, then CR LF.
void WriteLnW(const TextFileHandle& file, std::string_view text);

}  // namespace vx
