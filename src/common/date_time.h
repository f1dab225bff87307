// The program's date-time: a double counting days since 1899-12-30 with the
// time of day as the fraction, in local time. Settings store it as the 8
// raw bytes of the double; INI files as "mm-dd-yyyy" or its decimal text.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace vx {

// Days from 1601-01-01 (FILETIME's epoch) and from 1970-01-01 (Unix's).
inline constexpr double kFileTimeEpochDays = -109205.0;
inline constexpr double kUnixEpochDays = 25569.0;

// UTC instant to local date-time with the user's current offset from UTC.
double LocalDateTime(std::chrono::system_clock::time_point utc);
// The user's local time now (UTC while no machine is attached).
double NowDateTime();
double DateTimeFromLocalTime(const platform::LocalTime& t);
// False when the value is not finite or outside years 1 to 9999.
bool LocalTimeFromDateTime(double date_time, platform::LocalTime& t);
// A FILETIME value (100 ns steps since 1601, UTC) as local date-time.
double LocalDateTimeFromFileTime(uint64_t file_time);
// Last-modified stamp of a file as local date-time; 0 when unreadable.
double FileModifiedDateTime(const std::filesystem::path& file);
// The day without the time (towards the past for negative values too).
double DateOf(double date_time);

// "mm-dd-yyyy"; empty when the value is outside years 1 to 9999.
std::string FormatMmDdYyyy(double date_time);
// The day in the user's short date format; empty when the value is
// outside years 1 to 9999.
std::string FormatShortDate(double date_time);

}  // namespace vx
