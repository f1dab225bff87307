// Placeholder until the writer thread lands: no log instance ever exists,
// so every call is the documented no-op.
#include "common/logger.h"

namespace vx {

void StartLog(const std::filesystem::path&) {}
void LogError(std::string_view, std::string_view, std::string_view, uint32_t) {}
void LogMessage(std::string_view, std::string_view) {}
void FlushLog() {}
void StopLog() {}
bool IsLogCreated() { return false; }
bool IsLogRunning() { return false; }
bool IsLogAlive() { return false; }
void BeginLogCapture() {}
std::vector<std::string> EndLogCapture() { return {}; }
std::vector<std::string> AllLogLines() { return {}; }
bool IsLogDebugMode() { return false; }
std::string SystemErrorText(uint32_t code) { return "Error " + std::to_string(code); }

}  // namespace vx
