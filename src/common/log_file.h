// The event log's files: UTF-16LE text with a byte-order mark, CR LF after
// every line, and one older "_prev" generation kept by size.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vx::log_file {

// A file above this size is moved into its older generation before the
// next batch, which keeps each log near this size.
constexpr uintmax_t kRotateAboveBytes = 400000;

// "…\program.log" -> "…\program_prev.log".
std::filesystem::path OlderGeneration(const std::filesystem::path& file);

// Moves the file into its older generation when it is above the limit.
// When the older generation cannot be deleted the current file is kept
// (and grows) rather than thrown away.
void RotateIfNeeded(const std::filesystem::path& file);

// Writes the lines as one batch: appended to an existing file (followed by
// one extra CR LF, which separates batches), or as a new file with its
// byte-order mark (folders created as needed). Rotates first. On success
// the batch is emptied; on failure it is left as it was so that it is
// written with the next batch. Never throws.
bool WriteBatch(const std::filesystem::path& file, std::vector<std::string>& batch);

// The lines of a log file (byte-order mark detected), split as a string
// list loads them: a final line break does not make an extra empty line.
std::vector<std::string> ReadLines(const std::filesystem::path& file);

// The whole decoded text of a file; empty if it cannot be read.
std::string ReadText(const std::filesystem::path& file);

}  // namespace vx::log_file
