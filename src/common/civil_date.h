// Proleptic Gregorian calendar arithmetic: civil dates <-> days since
// 1970-01-01, on 400-year eras so every year from 1 to 9999 is exact.
// Header-only because the platform layer needs it as well as common/engine.
#pragma once

#include <cstdint>

namespace vx {

struct CivilDay {
  int year = 1970;
  int month = 1;
  int day = 1;
};

constexpr int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

constexpr CivilDay CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0)), m, d};
}

// 1970-01-01 was a Thursday; 0 = Sunday as Windows counts.
constexpr int DayOfWeekFromDays(int64_t z) { return static_cast<int>(((z % 7) + 11) % 7); }

static_assert(DaysFromCivil(1970, 1, 1) == 0);
static_assert(DaysFromCivil(1899, 12, 30) == -25569);

}  // namespace vx
