// The process-wide event log. Callers never block on disk: a call formats
// one line and queues it; a low-priority writer thread appends batches to
// "program.log". Errors also go at once, with the lines before them, to
// "program_error.log". Every function may be called from any thread and
// does nothing while no log exists.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

void StartLog(const std::filesystem::path& folder);
void LogError(std::string_view tag, std::string_view message, std::string_view params = {},
              uint32_t code = 0);
void LogMessage(std::string_view text, std::string_view params = {});
void FlushLog();
void StopLog();
bool IsLogCreated();
bool IsLogRunning();
bool IsLogAlive();
void BeginLogCapture();
std::vector<std::string> EndLogCapture();
std::vector<std::string> AllLogLines();
bool IsLogDebugMode();

// The operating system's text for an error code, without trailing blanks
// and full stops.
std::string SystemErrorText(uint32_t code);

}  // namespace vx
