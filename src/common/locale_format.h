// Dates and times written with the user's Windows picture strings
// ("M/d/yyyy", "h:mm:ss tt"), the same way GetDateFormat and GetTimeFormat
// read them, so that logs and file names look as the user's Windows would
// write them.
#pragma once

#include <string>
#include <string_view>

#include "platform/system.h"

namespace vx {

// Time pictures: h hh (12-hour), H HH (24-hour), m mm, s ss, t tt (AM/PM
// designator or its first character); text in single quotes is literal.
std::string FormatTimePicture(std::string_view picture, const platform::LocalTime& t,
                              std::string_view am = "AM", std::string_view pm = "PM");

// Date pictures: d dd ddd dddd, M MM MMM MMMM, y yy yyyy, g gg (era);
// names are English. Text in single quotes is literal.
std::string FormatDatePicture(std::string_view picture, const platform::LocalTime& t);

// The current local time and the user's locale of the attached machine;
// UTC and English (United States) while no machine is attached, so pure
// units can log before anything is set up.
platform::LocalTime LocalNowOrUtc();
platform::LocaleInfo LocaleOrDefault();

// Short date + " " + long time of the user's locale.
std::string FormatDateTimeText(const platform::LocalTime& t, const platform::LocaleInfo& locale);

}  // namespace vx
