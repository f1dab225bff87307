#include "engine/driver_utils.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

#include "common/civil_date.h"
#include "common/text.h"
#include "engine/vendor_rules.h"

namespace vx {
namespace {

// Byte length of the UTF-8 sequence a lead byte announces; stray bytes count
// as one so that malformed text still advances.
size_t Utf8SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

// The first `units` UTF-16 code units of s. Length limits in the data
// formats are counted the way Windows counts string length; a character
// that would straddle the limit is left out whole.
std::string LeftUtf16(std::string_view s, size_t units) {
  size_t i = 0;
  size_t used = 0;
  while (i < s.size()) {
    size_t len = std::min(Utf8SequenceLength(static_cast<unsigned char>(s[i])), s.size() - i);
    size_t cost = len == 4 ? 2 : 1;
    if (used + cost > units) break;
    used += cost;
    i += len;
  }
  return std::string(s.substr(0, i));
}

// --- Stored names -----------------------------------------------------------

// The database's scramble: a fixed set of character pairs swapped both ways,
// which makes the transform its own inverse. '$' maps to '7' because the
// stored form was defined as pair-by-pair replacement with '$' as scratch
// character, and names already stored that way must keep converting alike.
constexpr std::array<std::pair<char, char>, 8> kStoredSwaps = {{
    {'0', '7'}, {'1', 'a'}, {'2', 'f'}, {'3', '5'}, {'4', 'e'}, {'6', '8'}, {'9', 'c'}, {'b', 'd'},
}};

char SwapStoredChar(char c) {
  if (c == '$') return '7';
  for (const auto& [a, b] : kStoredSwaps) {
    if (c == a) return b;
    if (c == b) return a;
  }
  return c;
}

// --- Canonical vendor -------------------------------------------------------

// Reduces an upper-cased manufacturer text to the one word that usually
// names the maker: "NVIDIA CORPORATION" -> NVIDIA, "ACME-TECH, INC." ->
// ACME, then strips words INF authors glue to vendor names ("ACMEMFG").
std::string ReduceToVendorWord(std::string_view upper) {
  std::string s = Trim(ReplaceAll(upper, "\"", ""));
  for (const char* bracket : {"(", ")", "{", "}"}) s = ReplaceAll(s, bracket, " ");
  s = ReplaceAll(s, "MFG.", "");
  for (char sep : {' ', '.', ',', '-', '_', ';', '=', '&'}) {
    size_t p = s.find(sep);
    if (p != std::string::npos) s.resize(p);
  }
  s = Trim(s);
  for (const char* noise : {"MFG", "MFC", "DEVICE", "FILTER", "MODELS", "MODEL", "MODE"})
    s = ReplaceAll(s, noise, "");
  return s;
}

// Canonical vendors are plain ASCII words the scan compares byte for byte;
// anything else (a lone letter, a localised or decorated name) means no
// usable vendor.
std::string UsableVendor(std::string_view word) {
  if (word.size() < 2) return {};
  for (char c : word)
    if (static_cast<unsigned char>(c) > 0x7A) return {};
  return std::string(word);
}

// --- Versions ---------------------------------------------------------------

// A part is read the way the platform's integer conversion reads it: leading
// blanks (file versions are often written "1, 0, 0, 1"), an optional sign,
// decimal digits only, 32-bit range. Anything else is not a number.
std::optional<int64_t> ParseVersionPart(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i == s.size()) return std::nullopt;
  int64_t value = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
    value = value * 10 + (s[i] - '0');
    if (value > int64_t{2147483648}) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > 2147483647 || value < -2147483648LL) return std::nullopt;
  return value;
}

// --- Dates ------------------------------------------------------------------

constexpr int64_t kMsPerDay = 86400000;
// Day number of 1899-12-30 counted from 1970-01-01.
constexpr int64_t kEpochShift = -25569;
// Serial day numbers of 0001-01-01 and 9999-12-31.
constexpr double kFirstSerial = -693593.0;
constexpr double kLastSerial = 2958465.0;

CivilDate CivilFromDaysCount(int64_t z) {
  CivilDay c = vx::CivilFromDays(z);
  return {c.year, c.month, c.day};
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// Whole days of a date-time the way the platform splits it: rounded to the
// millisecond first (so 0.99999999999 is the next day), then truncated
// toward zero (so -0.5 is still 1899-12-30, at noon).
int64_t SerialDay(double date_time) {
  const auto ms = static_cast<int64_t>(std::llround(date_time * static_cast<double>(kMsPerDay)));
  return ms / kMsPerDay;
}

std::string ZeroPad(int value, size_t width) {
  std::string digits = std::to_string(value);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return digits;
}

// Between min_digits and max_digits ASCII digits, nothing else.
std::optional<int> ParseDateField(std::string_view s, size_t min_digits, size_t max_digits) {
  if (s.size() < min_digits || s.size() > max_digits) return std::nullopt;
  int value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

constexpr std::array<std::string_view, 12> kMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<std::string_view, 7> kDayNames = {
    "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// 0 = Sunday. Serial day 0 (1899-12-30) was a Saturday.
int WeekDay(const CivilDate& date) {
  const int64_t serial = DaysFromCivil(date.year, date.month, date.day) - kEpochShift;
  return static_cast<int>(((serial + 6) % 7 + 7) % 7);
}

void AppendPictureField(std::string& out, char letter, size_t run, const CivilDate& date) {
  const bool valid_month = date.month >= 1 && date.month <= 12;
  switch (letter) {
    case 'd':
      if (run <= 2) {
        out += ZeroPad(date.day, run);
      } else if (valid_month) {
        std::string_view name = kDayNames[WeekDay(date)];
        out += run == 3 ? name.substr(0, 3) : name;
      }
      break;
    case 'M':
      if (run <= 2) {
        out += ZeroPad(date.month, run);
      } else if (valid_month) {
        std::string_view name = kMonthNames[date.month - 1];
        out += run == 3 ? name.substr(0, 3) : name;
      }
      break;
    case 'y':
      // "y" is the year within the century without a leading zero; runs of
      // four or more are the full year, shorter runs the two-digit year.
      if (run == 1)
        out += std::to_string(date.year % 100);
      else if (run <= 3)
        out += ZeroPad(date.year % 100, 2);
      else
        out += ZeroPad(date.year, 4);
      break;
    case 'g':
      // Era strings are not rendered: dates here are always Gregorian.
      break;
    default:
      break;
  }
}

}  // namespace

// --- Hardware identifiers ---------------------------------------------------

std::string QuoteHardwareId(std::string_view text) {
  std::string s = ReplaceAll(UpperCase(text), "\"", "\"\"");
  return ReplaceAll(s, "&&", "&");
}

std::string ShortHardwareId(std::string_view id) {
  const std::string up = UpperCase(id);
  const std::string_view view = up;
  for (const auto& [vendor_key, device_key] :
       {std::pair{"VEN_", "DEV_"}, std::pair{"VID_", "PID_"}}) {
    const size_t vendor_at = view.find(vendor_key);
    const size_t device_at = view.find(device_key);
    if (vendor_at == std::string_view::npos || device_at == std::string_view::npos) continue;
    const size_t slash = view.find('\\');
    std::string out = slash == std::string_view::npos ? std::string() : up.substr(0, slash + 1);
    out += LeftUtf16(view.substr(vendor_at), 8);
    out += '&';
    out += LeftUtf16(view.substr(device_at), 8);
    return QuoteHardwareId(out);
  }
  return QuoteHardwareId(up);
}

std::vector<std::string> SplitHardwareIds(std::string_view list) {
  std::vector<std::string> items;
  std::string rest(list);
  while (true) {
    const size_t comma = rest.find(',');
    if (comma == std::string::npos) {
      if (!rest.empty()) items.push_back(UpperCase(rest));
      return items;
    }
    items.push_back(UpperCase(std::string_view(rest).substr(0, comma)));
    rest = LeftUtf16(std::string_view(rest).substr(comma + 1), 1000);
  }
}

std::string StoredNameTransform(std::string_view text, bool identifier_mode) {
  size_t rest_at = 0;
  if (identifier_mode) {
    const size_t dev = text.find("DEV_");
    if (dev == std::string_view::npos) return std::string(text);
    rest_at = dev + 4;
  } else {
    const size_t underscore = text.find('_');
    rest_at = underscore == std::string_view::npos ? 0 : underscore + 1;
  }
  std::string rest = LowerCase(text.substr(rest_at));
  for (char& c : rest) c = SwapStoredChar(c);
  // The scramble would turn the ".exe" every installer name ends with into
  // ".4x4"; stored file names keep ".exe" readable.
  rest = identifier_mode ? UpperCase(rest) : ReplaceAll(rest, ".4x4", ".exe");
  return std::string(text.substr(0, rest_at)) + rest;
}

// --- Vendors, names, versions, packages ---------------------------------------

namespace {

std::string WorkOutCanonicalVendor(std::string_view text) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty()) return {};
  for (const VendorRule& rule : VendorCaseSensitiveRules())
    if (VendorRuleHolds(rule, trimmed)) return std::string(rule.vendor);
  const std::string upper = UpperCase(trimmed);
  for (const VendorRule& rule : VendorTextRules())
    if (VendorRuleHolds(rule, upper)) return std::string(rule.vendor);
  const std::string word = ReduceToVendorWord(upper);
  std::string_view vendor = word;
  for (const VendorRule& rule : VendorWordRules())
    if (VendorRuleHolds(rule, word)) vendor = rule.vendor;
  return UsableVendor(vendor);
}

}  // namespace

std::string CanonicalVendor(std::string_view text) {
  // The answer depends on the text alone, and a scan asks about the same
  // few names for every device and candidate: answers are kept (up to a
  // bound, for a process that meets endless different names).
  static constexpr size_t kMaxKept = 4096;
  static std::mutex mu;
  static std::unordered_map<std::string, std::string> kept;
  {
    std::lock_guard lock(mu);
    if (auto it = kept.find(std::string(text)); it != kept.end()) return it->second;
  }
  std::string vendor = WorkOutCanonicalVendor(text);
  std::lock_guard lock(mu);
  if (kept.size() >= kMaxKept) kept.clear();
  kept.emplace(std::string(text), vendor);
  return vendor;
}

std::string CleanDeviceName(std::string_view text) {
  // Some descriptions are INF string references ("%Dev%;Real Name"): the
  // display name is what follows the first ';'.
  const size_t semicolon = text.find(';');
  std::string s(semicolon == std::string_view::npos ? text : text.substr(semicolon + 1));
  static constexpr std::pair<std::string_view, std::string_view> kReplacements[] = {
      {"\\", "_"}, {"/", "_"}, {".", " "}, {":", " "},  {";", " "}, {">", " "},
      {"<", " "},  {"\"", " "}, {"&", "_"}, {"%", "_"}, {"#", " "}, {"*", " "},
      {"[", ""},   {"]", ""},  {"{", ""},  {"}", ""},  {"@", "_"},
  };
  for (const auto& [from, to] : kReplacements) s = ReplaceAll(s, from, to);
  return Trim(s);
}

std::string NormaliseVersion(std::string_view text) {
  if (text.empty()) return {};
  std::string out;
  for (const std::string& part : Split(ReplaceAll(text, ",", "."), '.')) {
    if (!out.empty()) out += '.';
    out += std::to_string(ParseVersionPart(part).value_or(0));
  }
  return out;
}

std::string PackageNameOf(std::string_view file_name) {
  const size_t underscore = file_name.find('_');
  if (underscore == std::string_view::npos) return std::string(file_name);
  return LeftUtf16(file_name.substr(underscore + 1), 250);
}

// --- Dates ------------------------------------------------------------------

std::optional<double> DateFromCivil(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12) return std::nullopt;
  if (day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
  return static_cast<double>(DaysFromCivil(year, month, day) - kEpochShift);
}

std::optional<CivilDate> CivilFromDate(double date_time) {
  if (!std::isfinite(date_time)) return std::nullopt;
  // Checked before rounding so that huge values cannot overflow it.
  if (date_time <= kFirstSerial - 1.0 || date_time >= kLastSerial + 1.0) return std::nullopt;
  const int64_t serial = SerialDay(date_time);
  if (serial < kFirstSerial || serial > kLastSerial) return std::nullopt;
  return CivilFromDaysCount(serial + kEpochShift);
}

std::string FormatDate(double date_time, bool iso) {
  const std::optional<CivilDate> date = CivilFromDate(date_time);
  if (!date) return {};
  const std::string y = ZeroPad(date->year, 4);
  const std::string m = ZeroPad(date->month, 2);
  const std::string d = ZeroPad(date->day, 2);
  return iso ? y + "-" + m + "-" + d : m + "-" + d + "-" + y;
}

std::optional<double> TryParseDate(std::string_view text, bool iso) {
  const std::vector<std::string> fields = Split(Trim(text), '-');
  if (fields.size() != 3) return std::nullopt;
  const std::string& year_text = iso ? fields[0] : fields[2];
  const std::string& month_text = iso ? fields[1] : fields[0];
  const std::string& day_text = iso ? fields[2] : fields[1];
  const std::optional<int> year = ParseDateField(year_text, 4, 4);
  const std::optional<int> month = ParseDateField(month_text, 1, 2);
  const std::optional<int> day = ParseDateField(day_text, 1, 2);
  if (!year || !month || !day) return std::nullopt;
  return DateFromCivil(*year, *month, *day);
}

double ParseDate(std::string_view text, bool iso) { return TryParseDate(text, iso).value_or(0.0); }

std::string FormatDatePicture(const CivilDate& date, std::string_view picture) {
  std::string out;
  size_t i = 0;
  while (i < picture.size()) {
    const char c = picture[i];
    if (c == '\'') {
      // Quoted literal text; a doubled quote stands for the quote itself,
      // inside or outside quotes.
      if (i + 1 < picture.size() && picture[i + 1] == '\'') {
        out += '\'';
        i += 2;
        continue;
      }
      ++i;
      while (i < picture.size()) {
        if (picture[i] == '\'') {
          if (i + 1 < picture.size() && picture[i + 1] == '\'') {
            out += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        out += picture[i++];
      }
      continue;
    }
    if (c == 'd' || c == 'M' || c == 'y' || c == 'g') {
      size_t run = 1;
      while (i + run < picture.size() && picture[i + run] == c) ++run;
      AppendPictureField(out, c, run, date);
      i += run;
      continue;
    }
    out += c;
    ++i;
  }
  return out;
}

std::string LocaliseDate(std::string_view text, std::string_view short_date_format) {
  const std::optional<double> value = TryParseDate(text, false);
  if (!value) return std::string(text);
  const std::optional<CivilDate> date = CivilFromDate(*value);
  if (!date) return std::string(text);
  return FormatDatePicture(*date, short_date_format);
}

}  // namespace vx
