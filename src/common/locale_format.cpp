#include "common/locale_format.h"

#include <chrono>
#include <cstdio>

#include "platform/platform.h"

namespace vx {

namespace {

constexpr const char* kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
constexpr const char* kMonthNames[] = {"January", "February", "March",     "April",
                                       "May",     "June",     "July",      "August",
                                       "September", "October", "November", "December"};

void AppendNumber(std::string& out, int value, int min_digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", min_digits, value);
  out += buf;
}

// Walks a picture: runs of the same letter go to on_run, quoted text and
// every other character are copied. Returns the text built.
template <class OnRun>
std::string WalkPicture(std::string_view picture, std::string_view letters, OnRun on_run) {
  std::string out;
  for (size_t i = 0; i < picture.size();) {
    char c = picture[i];
    if (c == '\'') {
      // '' inside or outside quotes stands for one quote.
      size_t j = i + 1;
      for (; j < picture.size(); ++j) {
        if (picture[j] != '\'') {
          out += picture[j];
        } else if (j + 1 < picture.size() && picture[j + 1] == '\'') {
          out += '\'';
          ++j;
        } else {
          break;
        }
      }
      i = j + 1;
      continue;
    }
    if (letters.find(c) == std::string_view::npos) {
      out += c;
      ++i;
      continue;
    }
    size_t n = 1;
    while (i + n < picture.size() && picture[i + n] == c) ++n;
    on_run(out, c, n);
    i += n;
  }
  return out;
}

}  // namespace

std::string FormatTimePicture(std::string_view picture, const platform::LocalTime& t,
                              std::string_view am, std::string_view pm) {
  return WalkPicture(picture, "hHmst", [&](std::string& out, char c, size_t n) {
    int digits = n >= 2 ? 2 : 1;
    switch (c) {
      case 'h': {
        int h = t.hour % 12;
        AppendNumber(out, h == 0 ? 12 : h, digits);
        break;
      }
      case 'H':
        AppendNumber(out, t.hour, digits);
        break;
      case 'm':
        AppendNumber(out, t.minute, digits);
        break;
      case 's':
        AppendNumber(out, t.second, digits);
        break;
      case 't': {
        std::string_view d = t.hour < 12 ? am : pm;
        out += n >= 2 ? d : d.substr(0, d.empty() ? 0 : 1);
        break;
      }
    }
  });
}

std::string FormatDatePicture(std::string_view picture, const platform::LocalTime& t) {
  return WalkPicture(picture, "dMyg", [&](std::string& out, char c, size_t n) {
    switch (c) {
      case 'd':
        if (n <= 2) {
          AppendNumber(out, t.day, static_cast<int>(n));
        } else {
          std::string_view name = kDayNames[(t.day_of_week % 7 + 7) % 7];
          out += n == 3 ? name.substr(0, 3) : name;
        }
        break;
      case 'M':
        if (n <= 2) {
          AppendNumber(out, t.month, static_cast<int>(n));
        } else {
          std::string_view name = kMonthNames[(t.month + 11) % 12];
          out += n == 3 ? name.substr(0, 3) : name;
        }
        break;
      case 'y':
        if (n <= 2)
          AppendNumber(out, t.year % 100, static_cast<int>(n));
        else
          AppendNumber(out, t.year, 4);
        break;
      case 'g':
        out += "A.D.";
        break;
    }
  });
}

platform::LocalTime LocalNowOrUtc() {
  if (platform::IsAttached()) return platform::Sys().LocalNow();
  using namespace std::chrono;
  auto now = floor<milliseconds>(system_clock::now());
  auto days = floor<std::chrono::days>(now);
  year_month_day ymd{days};
  hh_mm_ss hms{now - days};
  platform::LocalTime t;
  t.year = static_cast<int>(ymd.year());
  t.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  t.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  t.hour = static_cast<int>(hms.hours().count());
  t.minute = static_cast<int>(hms.minutes().count());
  t.second = static_cast<int>(hms.seconds().count());
  t.millisecond = static_cast<int>(hms.subseconds().count());
  t.day_of_week = static_cast<int>(weekday{days}.c_encoding());
  return t;
}

platform::LocaleInfo LocaleOrDefault() {
  if (platform::IsAttached()) return platform::Sys().Locale();
  return platform::LocaleInfo{"English (United States)", "M/d/yyyy", "h:mm:ss tt", ".", 1252, 0};
}

std::string FormatDateTimeText(const platform::LocalTime& t, const platform::LocaleInfo& locale) {
  return FormatDatePicture(locale.short_date, t) + " " +
         FormatTimePicture(locale.long_time, t, locale.am_designator, locale.pm_designator);
}

}  // namespace vx
