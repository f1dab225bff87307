// Local time and system message texts of the simulated machine.
#include <array>
#include <utility>

#include "common/civil_date.h"
#include "platform/sim/machine.h"

namespace vx::sim {

namespace {

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  CivilDay c = vx::CivilFromDays(z);
  y = c.year;
  m = c.month;
  d = c.day;
}

// The texts FormatMessage gives on an English Windows, line break included,
// so that callers trim them exactly as they trim the real ones.
constexpr std::array<std::pair<uint32_t, const char*>, 36> kErrorTexts{{
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {4, "The system cannot open the file.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {13, "The data is invalid.\r\n"},
    {29, "The system cannot write to the specified device.\r\n"},
    {31, "A device attached to the system is not functioning.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {50, "The request is not supported.\r\n"},
    {80, "The file exists.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {145, "The directory is not empty.\r\n"},
    {161, "The specified path is invalid.\r\n"},
    {170, "The requested resource is in use.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {234, "More data is available.\r\n"},
    {259, "No more data is available.\r\n"},
    {267, "The directory name is invalid.\r\n"},
    {740, "The requested operation requires elevation.\r\n"},
    {1011, "The configuration registry key could not be opened.\r\n"},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
    {1155, "No application is associated with the specified file for this operation.\r\n"},
    {1168, "Element not found.\r\n"},
    {1223, "The operation was canceled by the user.\r\n"},
    {1400, "Invalid window handle.\r\n"},
    {1460, "This operation returned because the timeout period expired.\r\n"},
    {1610, "The configuration data for this product is corrupt.  Contact your support personnel.\r\n"},
    {1630, "Data of this type is not supported.\r\n"},
    {3010,
     "The requested operation is successful.  Changes will not be effective until the system is "
     "rebooted.\r\n"},
    {0xE000020B, "The device instance does not exist in the system.\r\n"},
}};

}  // namespace

platform::LocalTime LocalTimeFromUnixMs(int64_t ms) {
  constexpr int64_t kDayMs = 86400000;
  int64_t days = ms >= 0 ? ms / kDayMs : -((-ms + kDayMs - 1) / kDayMs);
  int64_t rest = ms - days * kDayMs;
  platform::LocalTime t;
  CivilFromDays(days, t.year, t.month, t.day);
  t.hour = static_cast<int>(rest / 3600000);
  t.minute = static_cast<int>(rest / 60000 % 60);
  t.second = static_cast<int>(rest / 1000 % 60);
  t.millisecond = static_cast<int>(rest % 1000);
  t.day_of_week = static_cast<int>(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
  return t;
}

std::string SimErrorText(uint32_t code) {
  for (const auto& [c, text] : kErrorTexts)
    if (c == code) return text;
  return {};
}

}  // namespace vx::sim
