#include "common/date_time.h"

#include <cmath>
#include <cstdio>

#include "common/locale_format.h"
#include "platform/platform.h"

namespace vx {

namespace {

// Proleptic Gregorian calendar <-> days since 1970-01-01.
int64_t UnixDaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromUnixDays(int64_t z, platform::LocalTime& t) {
  t.day_of_week = static_cast<int>(((z % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2 ? 1 : 0));
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
