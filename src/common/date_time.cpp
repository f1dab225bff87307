#include "common/date_time.h"

#include <cmath>
#include <cstdio>

#include "common/civil_date.h"
#include "common/locale_format.h"
#include "platform/platform.h"

namespace vx {

namespace {

int64_t UnixDaysFromCivil(int64_t y, int64_t m, int64_t d) { return DaysFromCivil(y, m, d); }

void CivilFromUnixDays(int64_t z, platform::LocalTime& t) {
  t.day_of_week = DayOfWeekFromDays(z);
  CivilDay c = CivilFromDays(z);
  t.year = c.year;
  t.month = c.month;
  t.day = c.day;
}

std::string Pad(int value, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, value);
  return buf;
}

int UtcOffsetMinutes() { return LocaleOrDefault().utc_offset_minutes; }

}  // namespace

double LocalDateTime(std::chrono::system_clock::time_point utc) {
  using namespace std::chrono;
  double ms = static_cast<double>(duration_cast<milliseconds>(utc.time_since_epoch()).count());
  return kUnixEpochDays + (ms / 1000.0 + UtcOffsetMinutes() * 60.0) / 86400.0;
}

double NowDateTime() { return DateTimeFromLocalTime(LocalNowOrUtc()); }

double DateTimeFromLocalTime(const platform::LocalTime& t) {
  double days = static_cast<double>(UnixDaysFromCivil(t.year, t.month, t.day)) + kUnixEpochDays;
  double ms = ((t.hour * 60.0 + t.minute) * 60.0 + t.second) * 1000.0 + t.millisecond;
  return days + ms / 86400000.0;
}

bool LocalTimeFromDateTime(double date_time, platform::LocalTime& t) {
  if (!std::isfinite(date_time)) return false;
  double day = std::floor(date_time);
  if (day < -693593.0 || day > 2958465.0) return false;  // years 1 to 9999
  CivilFromUnixDays(static_cast<int64_t>(day - kUnixEpochDays), t);
  auto ms = static_cast<int64_t>(std::llround((date_time - day) * 86400000.0));
  if (ms >= 86400000) ms = 86399999;  // rounding must not spill into the next day
  t.hour = static_cast<int>(ms / 3600000);
  t.minute = static_cast<int>(ms / 60000 % 60);
  t.second = static_cast<int>(ms / 1000 % 60);
  t.millisecond = static_cast<int>(ms % 1000);
  return true;
}

double LocalDateTimeFromFileTime(uint64_t file_time) {
  return kFileTimeEpochDays +
         (static_cast<double>(file_time) / 1e7 + UtcOffsetMinutes() * 60.0) / 86400.0;
}

double FileModifiedDateTime(const std::filesystem::path& file) {
  std::error_code ec;
  auto stamp = std::filesystem::last_write_time(file, ec);
  if (ec) return 0;
  auto utc = std::chrono::file_clock::to_sys(stamp);
  return LocalDateTime(std::chrono::time_point_cast<std::chrono::system_clock::duration>(utc));
}

double DateOf(double date_time) { return std::floor(date_time); }

std::string FormatMmDdYyyy(double date_time) {
  platform::LocalTime t;
  if (!LocalTimeFromDateTime(date_time, t)) return {};
  return Pad(t.month, 2) + "-" + Pad(t.day, 2) + "-" + Pad(t.year, 4);
}

std::string FormatShortDate(double date_time) {
  platform::LocalTime t;
  if (!LocalTimeFromDateTime(date_time, t)) return {};
  return FormatDatePicture(LocaleOrDefault().short_date, t);
}

}  // namespace vx
