// ZIP and 7z archives through the 7-Zip library: the diagnostic ZIPs the
// program writes, and the database and driver packages it unpacks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

// Bytes done and total; answering false cancels the extraction.
using ArchiveProgress = std::function<bool(uint64_t done, uint64_t total)>;

// Packs the listed files that exist into a new ZIP archive, each under its
// bare file name, at compression level 5. Only when at least one file is
// packed is an old archive deleted (or moved aside to its name + the tick
// count). True when the archive was written with at least one file.
bool ZipFile(const std::vector<std::filesystem::path>& files, const std::filesystem::path& archive);

// Extracts every entry of a ".zip" or ".7z" archive (extension in any case)
// into target, which is created (one level). Other extensions extract
// nothing and answer true. Entries whose names would land outside target
// (absolute, drive, UNC or ".." paths, alternate data streams, device names,
// links) are skipped and logged. False when the archive cannot be read, an
// entry fails, or progress cancels; the files written by a call that fails
// are removed again, so partial output is never left looking complete.
bool UnZipFile(const std::filesystem::path& archive, const std::filesystem::path& target,
               const ArchiveProgress& progress = {});
// The same, also naming the entries it skipped as unsafe in *skipped, for
// callers that must refuse an archive holding any such entry.
bool UnZipFile(const std::filesystem::path& archive, const std::filesystem::path& target,
               const ArchiveProgress& progress, std::vector<std::string>* skipped);

// The relative path under the target folder for an entry name, or nullopt
// when the name is unsafe anywhere (the same rules on every platform, so an
// archive behaves the same on Windows and on the simulated machine).
std::optional<std::filesystem::path> SafeEntryPath(std::string_view entry_name);

}  // namespace vx
