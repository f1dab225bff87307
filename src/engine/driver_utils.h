// The text forms the device inventory, the driver database and the scan
// must agree on: hardware-identifier forms, the database's stored form of
// names, canonical vendors, display names, versions, package names and the
// engine's two date texts. Every function is pure: same arguments, same
// result; nothing here touches files, the registry or the network.
//
// Lengths given in characters ("8 characters", "at most 250") count UTF-16
// code units, as the platform counts them; a cut never splits a surrogate
// pair.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

// Upper-cased, each double quote doubled (safe inside a double-quoted SQL
// literal), and "&&" collapsed to "&" in one left-to-right pass.
std::string QuoteHardwareId(std::string_view text);

// Bus prefix plus vendor and device (or USB vendor and product) codes only:
// PCI\VEN_8086&DEV_1E31&SUBSYS_... -> PCI\VEN_8086&DEV_1E31. Identifiers
// without such codes come back unchanged (upper-cased). Always quoted.
std::string ShortHardwareId(std::string_view id);

// Comma-separated identifiers, each upper-cased. Adjacent commas give an
// empty item; a trailing comma gives none. After every comma the rest of
// the list is cut to 1000 characters.
std::vector<std::string> SplitHardwareIds(std::string_view list);

// Converts between the plain and the stored (scrambled) form of a hardware
// identifier (identifier_mode) or a package file name; the same call serves
// both directions. Identifiers without "DEV_" are returned unchanged.
std::string StoredNameTransform(std::string_view text, bool identifier_mode);

// Upper-case ASCII vendor word (INTEL, REALTEK, MICROSOFT, ...) for a free
// manufacturer, provider or device text; empty when nothing usable remains.
std::string CanonicalVendor(std::string_view text);

// Device description made safe for file names, INI values and display.
std::string CleanDeviceName(std::string_view text);

// "1,02,x" -> "1.2.0": every part a decimal number, unreadable parts 0.
std::string NormaliseVersion(std::string_view text);

// Text after the first "_" of a download file name (at most 250
// characters), or the whole name when it has no "_".
std::string PackageNameOf(std::string_view file_name);

// --- Dates ---------------------------------------------------------------
// The engine's date-time is a double: whole days since 1899-12-30 plus the
// fraction of the day, local time.

struct CivilDate {
  int year = 0;
  int month = 0;
  int day = 0;
  friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

// Years 1 to 9999; nullopt for a day that does not exist.
std::optional<double> DateFromCivil(int year, int month, int day);
// Calendar day of a date-time (the time of day is dropped); nullopt when
// the value is not finite or lies outside years 1 to 9999.
std::optional<CivilDate> CivilFromDate(double date_time);

// "yyyy-mm-dd" when iso, "mm-dd-yyyy" otherwise; empty for a value that is
// not a representable date.
std::string FormatDate(double date_time, bool iso);
// Reads the form FormatDate writes. nullopt when the text does not fit.
std::optional<double> TryParseDate(std::string_view text, bool iso);
// As TryParseDate, with 0 for a text that does not fit (so 12-30-1899 and
// garbage both read as 0; use TryParseDate to tell them apart).
double ParseDate(std::string_view text, bool iso);

// Renders a day through a Windows date picture: d dd ddd dddd, M MM MMM
// MMMM, y yy yyyy, g (era, empty here), text in single quotes ('' for a
// quote itself); every other character is copied. Day and month names are
// English.
std::string FormatDatePicture(const CivilDate& date, std::string_view picture);

inline constexpr std::string_view kDefaultShortDateFormat = "M/d/yyyy";  // English (United States)

// Re-renders an "mm-dd-yyyy" text in the user's short date format. Texts
// that are not such a date ("Unknown", empty, garbage) come back unchanged.
std::string LocaliseDate(std::string_view text,
                         std::string_view short_date_format = kDefaultShortDateFormat);

}  // namespace vx
