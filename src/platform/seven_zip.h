// The binding to the 7-Zip format library: open an archive and stream its
// entries out, or write a new archive. It knows nothing about which entry
// names are safe; the caller decides where each entry goes (archive.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vx::platform::seven_zip {

enum class Format { kZip, kSevenZip };

// What the library says about one entry before extraction.
struct EntryInfo {
  uint32_t index = 0;
  std::string name;   // UTF-8, separators as the library gives them
  bool is_dir = false;
  bool is_link = false;       // symbolic or hard link, or a reparse point
  bool is_alt_stream = false; // an NTFS alternate data stream
};

enum class Outcome { kOk, kCancelled, kFailed };

struct ExtractRequest {
  // Where the entry's data goes; nullopt skips the entry. Directories are
  // created by the caller inside this function and answer nullopt.
  std::function<std::optional<std::filesystem::path>(const EntryInfo&)> place;
  // Progress in bytes; false cancels.
  std::function<bool(uint64_t done, uint64_t total)> progress;
};

// Files written and the first error, for the caller's log and clean-up.
struct ExtractReport {
  Outcome outcome = Outcome::kFailed;
  std::vector<std::filesystem::path> written;
  std::string error;
  uint32_t code = 0;
};

ExtractReport Extract(const std::filesystem::path& archive, Format format,
                      const ExtractRequest& request);

// One entry of a new archive: its stored name and either a file or bytes.
struct NewEntry {
  std::string name;
  std::filesystem::path source;  // used when data is unset
  std::optional<std::string> data;
  // Windows attributes; 0x8000 | (mode << 16) carries a Unix mode.
  uint32_t attrib = 0x20;  // FILE_ATTRIBUTE_ARCHIVE
};

// Writes a new archive (the file is created or truncated). level < 0 keeps
// the library's default. False with error set on failure.
bool Write(const std::filesystem::path& archive, Format format,
           const std::vector<NewEntry>& entries, int level, std::string& error);

}  // namespace vx::platform::seven_zip
