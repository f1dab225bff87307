#include "common/ini_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <utility>

#include "common/logger.h"
#include "common/text.h"

namespace vx {
namespace fs = std::filesystem;

namespace {

// vx::Trim without the copies: loading a file trims every line, key and
// value.
std::string_view TrimView(std::string_view s) {
  size_t e = s.size();
  while (e > 0 && static_cast<unsigned char>(s[e - 1]) <= 0x20) --e;
  size_t b = 0;
  while (b < e && static_cast<unsigned char>(s[b]) <= 0x20) ++b;
  return s.substr(b, e - b);
}

// Names are looked up through their folded form so that the index agrees
// with SameText: both use the same upper-case mapping. Names are nearly
// always ASCII, where that mapping is plain a-z -> A-Z; only other text goes
// through the character-by-character decoding of UpperCase.
char AsciiUpperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

std::string Fold(std::string_view name) {
  const std::string_view trimmed = TrimView(name);
  std::string out(trimmed);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) >= 0x80) return UpperCase(trimmed);
    c = AsciiUpperChar(c);
  }
  return out;
}

std::string PathText(const fs::path& p) {
  auto u8 = p.u8string();
  return std::string(u8.begin(), u8.end());
}

// A line break inside a name or value would split it into two lines of the
// file, and the second would come back as something else entirely.
std::string OneLine(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return std::string(TrimView(out));
}

// A name a caller looks up as it is stored: trimmed, line breaks as
// OneLine leaves them. `buffer` holds the text when it had to change.
std::string_view LookupName(std::string_view name, std::string& buffer) {
  if (name.find_first_of("\r\n") == std::string_view::npos) return TrimView(name);
  buffer = OneLine(name);
  return buffer;
}

// The folded form of a name a caller looks up.
std::string FoldLookup(std::string_view name) {
  std::string buffer;
  return Fold(LookupName(name, buffer));
}

bool IsAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// Hash and equality of the folded forms (Fold) of trimmed names, without
// building them for ASCII names.
size_t FoldedHash(std::string_view name) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](char c) { h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull; };
  if (IsAscii(name)) {
    for (char c : name) mix(AsciiUpperChar(c));
  } else {
    for (char c : UpperCase(name)) mix(c);
  }
  return static_cast<size_t>(h ^ (h >> 32));
}

bool FoldedEqual(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (AsciiUpperChar(a[i]) != AsciiUpperChar(b[i])) return false;
    return true;
  }
  return UpperCase(a) == UpperCase(b);
}

bool KeyRoundTrips(std::string_view key) {
  if (key.find('=') != std::string_view::npos) return false;
  return key.empty() || (key.front() != ';' && key.front() != '[');
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The integer forms found in Windows INI files: decimal, or "$" / "0x"
// hexadecimal, each with an optional sign.
bool ParseInteger(std::string_view s, int32_t& out) {
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s.front() == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  // Decimal may reach 2^31 for the negative limit; hexadecimal covers the
  // full 32 bits and wraps like a cast.
  const uint64_t limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  uint64_t v = 0;
  for (char c : s) {
    int d = base == 16 ? HexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (d < 0) return false;
    v = v * base + static_cast<uint64_t>(d);
    if (v > limit) return false;
  }
  auto bits = static_cast<uint32_t>(v);
  if (negative) bits = 0u - bits;
  out = static_cast<int32_t>(bits);
  return true;
}

bool ParseFloat(std::string_view s, double& out) {
  std::string text(s);
  // Either separator is accepted, but a number holding both (a thousands
  // separator) is not one we wrote and is refused rather than misread.
  size_t dots = std::count(text.begin(), text.end(), '.');
  size_t commas = std::count(text.begin(), text.end(), ',');
  if (dots + commas > 1) return false;
  for (char& c : text)
    if (c == ',') c = '.';
  const char* b = text.data();
  const char* e = b + text.size();
  if (b != e && *b == '+') {
    ++b;
    if (b != e && (*b == '+' || *b == '-')) return false;
  }
  double v = 0;
  auto [ptr, ec] = std::from_chars(b, e, v);
  if (ec != std::errc() || ptr != e || !std::isfinite(v)) return false;
  out = v;
  return true;
}

// The general number format of Windows programs: 15 significant digits,
// no trailing zeros, exponent without "+" and without padding.
std::string FormatFloat(double value, char separator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.14e", value);
  std::string_view t(buf);
  std::string sign;
  if (t.front() == '-') {
    sign = "-";
    t.remove_prefix(1);
  }
  size_t epos = t.find('e');
  std::string digits;
  for (char c : t.substr(0, epos))
    if (c != '.') digits += c;
  int exp = 0;
  std::from_chars(t.data() + epos + (t[epos + 1] == '+' ? 2 : 1), t.data() + t.size(), exp);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = sign;
  if (exp >= 15 || exp < -5) {
    out += digits[0];
    if (digits.size() > 1) (out += separator) += digits.substr(1);
    out += 'E';
    out += std::to_string(exp);
  } else if (exp >= 0) {
    size_t int_digits = static_cast<size_t>(exp) + 1;
    if (digits.size() <= int_digits) {
      out += digits + std::string(int_digits - digits.size(), '0');
    } else {
      out += digits.substr(0, int_digits);
      (out += separator) += digits.substr(int_digits);
    }
  } else {
    out += '0';
    out += separator;
    out += std::string(static_cast<size_t>(-exp - 1), '0');
    out += digits;
  }
  return out;
}

uint32_t LastErrno() { return static_cast<uint32_t>(errno); }

uint32_t DirectoryError() {
  return static_cast<uint32_t>(std::make_error_code(std::errc::is_a_directory).value());
}

// Reads the rest of the stream in large pieces, without asking the file's
// size first. False on a read error; a file that shrinks meanwhile is read
// as far as it goes.
bool ReadStream(std::ifstream& f, std::string& out) {
  char piece[64 * 1024];
  while (f.read(piece, sizeof piece) || f.gcount() > 0) {
    out.append(piece, static_cast<size_t>(f.gcount()));
    if (!f) break;
  }
  return !f.bad();
}

bool WriteBytes(const fs::path& path, const std::string& bytes, uint32_t& code) {
  errno = 0;
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) {
    code = LastErrno();
    return false;
  }
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  f.close();
  if (!f) {
    code = LastErrno();
    return false;
  }
  return true;
}

// Suffixes are ASCII, so the narrow conversion cannot alter them.
fs::path WithSuffix(const fs::path& p, std::string_view suffix) {
  fs::path out = p;
  out += std::string(suffix);
  return out;
}

// The old file must make room for the new one. A file held open by another
// program often cannot be deleted but can still be renamed, hence the move
// aside (the name stays unique through the tick count).
bool RemoveOld(const fs::path& path, fs::path& aside, uint32_t& code) {
  std::error_code ec;
  // No error: removed, or there was no old file.
  if (fs::remove(path, ec) || !ec) return true;
  auto ticks = std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
                   .count();
  aside = WithSuffix(path, std::to_string(ticks));
  fs::rename(path, aside, ec);
  if (!ec) return true;
  code = static_cast<uint32_t>(ec.value());
  LogError("IniFile.UpdateFile", "MoveFile fail", PathText(path), code);
  aside.clear();
  return false;
}

}  // namespace

IniUpdateLog IniUpdateLog::Numbered(std::string_view tag, int n) {
  IniUpdateLog log;
  log.tag = std::string(tag);
  log.first = "Ini.UpdateFile fail " + std::to_string(n);
  log.second = log.first + ".2";
  return log;
}

IniFile::IniFile(fs::path file_name) { LoadFromFile(file_name); }

void IniFile::Clear() {
  sections_.clear();
  section_index_.clear();
}

bool IniFile::LoadFromFile(const fs::path& path) {
  file_name_ = path;
  Clear();
  try {
    // Opened straight away: a missing file is the common case of a first
    // run, and asking first costs a file-system call on every load.
    errno = 0;
    std::ifstream f(path, std::ios::binary);
    if (!f) {
      const uint32_t code = LastErrno();
      std::error_code ec;
      const auto st = fs::status(path, ec);
      if (!fs::exists(st)) return false;
      LogError("IniFile.LoadFromFile", "Read fail", PathText(path),
               fs::is_directory(st) ? DirectoryError() : code);
      return false;
    }
    std::string bytes;
    if (!ReadStream(f, bytes)) {
      // A folder opens like a file here and fails on the first read.
      std::error_code ec;
      LogError("IniFile.LoadFromFile", "Read fail", PathText(path),
               fs::is_directory(path, ec) ? DirectoryError() : LastErrno());
      return false;
    }
    Parse(DecodeTextFile(bytes));
    return true;
  } catch (const std::length_error&) {
    // A 32-bit process cannot even address some files; they are refused
    // whole instead of read in part.
    Clear();
    LogError("IniFile.LoadFromFile", "File too large", PathText(path));
    return false;
  } catch (const std::exception& e) {
    Clear();
    LogError("IniFile.LoadFromFile", "Common error", e.what());
    return false;
  }
}

void IniFile::LoadFromText(std::string_view text) {
  Clear();
  try {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    Parse(text);
  } catch (const std::exception& e) {
    Clear();
    LogError("IniFile.LoadFromText", "Common error", e.what());
  }
}

void IniFile::Parse(std::string_view text) {
  Section* current = nullptr;
  size_t pos = 0;
  const char* const data = text.data();
  while (pos < text.size()) {
    // A plain scan: find_first_of tests every character against the set
    // with a call of its own, which made it the bulk of a large file's load.
    size_t end = pos;
    while (end < text.size() && data[end] != '\r' && data[end] != '\n') ++end;
    const std::string_view line = TrimView(text.substr(pos, end - pos));
    pos = end + 1;
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++pos;

    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      current = &AddSection(std::string(TrimView(line.substr(1, line.size() - 2))));
      continue;
    }
    if (!current) continue;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      AddEntry(*current, Entry{std::string(line), {}, false});
    } else {
      AddEntry(*current, Entry{std::string(TrimView(line.substr(0, eq))),
                               std::string(TrimView(line.substr(eq + 1))), true});
    }
  }
}

std::string IniFile::ToText() const {
  size_t size = 0;
  for (const Section& s : sections_) {
    size += s.name.size() + 6;
    for (const Entry& e : s.entries) size += e.name.size() + e.value.size() + 3;
  }
  std::string out;
  out.reserve(size);
  for (const Section& s : sections_) {
    out += '[';
    out += s.name;
    out += "]\r\n";
    for (const Entry& e : s.entries) {
      out += e.name;
      if (e.is_key) {
        out += '=';
        out += e.value;
      }
      out += "\r\n";
    }
    out += "\r\n";
  }
  return out;
}

IniFile::Section& IniFile::AddSection(std::string name) {
  section_index_.try_emplace(Fold(name), sections_.size());
  sections_.push_back(Section{std::move(name), {}, {}, false});
  return sections_.back();
}

void IniFile::AddEntry(Section& s, Entry entry) {
  s.entries.push_back(std::move(entry));
  if (s.entries.back().is_key && s.indexed) IndexInsert(s, s.entries.size() - 1);
}

void IniFile::IndexInsert(const Section& s, size_t entry) {
  KeyIndex& index = s.keys;
  if ((index.used + 1) * 2 > index.slots.size()) {
    // Grown by rebuilding from the entries in order, so the first of equal
    // names stays the one found.
    index.slots.assign(std::max<size_t>(16, index.slots.size() * 2), 0);
    index.used = 0;
    for (size_t i = 0; i < entry; ++i)
      if (s.entries[i].is_key) IndexInsert(s, i);
  }
  const std::string& name = s.entries[entry].name;
  const size_t mask = index.slots.size() - 1;
  for (size_t slot = FoldedHash(name) & mask;; slot = (slot + 1) & mask) {
    const uint32_t taken = index.slots[slot];
    if (taken == 0) {
      index.slots[slot] = static_cast<uint32_t>(entry + 1);
      ++index.used;
      return;
    }
    if (FoldedEqual(s.entries[taken - 1].name, name)) return;
  }
}

void IniFile::IndexKeys(const Section& s) {
  s.keys = KeyIndex{};
  for (size_t i = 0; i < s.entries.size(); ++i)
    if (s.entries[i].is_key) IndexInsert(s, i);
  s.indexed = true;
}

const IniFile::Entry* IniFile::IndexedKey(const Section& s, std::string_view trimmed) {
  if (!s.indexed) IndexKeys(s);
  const KeyIndex& index = s.keys;
  if (index.slots.empty()) return nullptr;
  const size_t mask = index.slots.size() - 1;
  for (size_t slot = FoldedHash(trimmed) & mask;; slot = (slot + 1) & mask) {
    const uint32_t taken = index.slots[slot];
    if (taken == 0) return nullptr;
    if (FoldedEqual(s.entries[taken - 1].name, trimmed)) return &s.entries[taken - 1];
  }
}

void IniFile::IndexSections() {
  section_index_.clear();
  for (size_t i = 0; i < sections_.size(); ++i)
    section_index_.try_emplace(Fold(sections_[i].name), i);
}

const IniFile::Section* IniFile::FindSection(std::string_view section) const {
  auto it = section_index_.find(FoldLookup(section));
  return it == section_index_.end() ? nullptr : &sections_[it->second];
}

IniFile::Section* IniFile::FindSection(std::string_view section) {
  return const_cast<Section*>(std::as_const(*this).FindSection(section));
}

const IniFile::Entry* IniFile::FindKey(const Section& s, std::string_view key) {
  std::string buffer;
  return IndexedKey(s, LookupName(key, buffer));
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view default_value) const {
  const Section* s = FindSection(section);
  const Entry* e = s ? FindKey(*s, key) : nullptr;
  return e ? e->value : std::string(default_value);
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key,
                             int32_t default_value) const {
  const Section* s = FindSection(section);
  const Entry* e = s ? FindKey(*s, key) : nullptr;
  int32_t v = 0;
  return e && ParseInteger(e->value, v) ? v : default_value;
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool default_value) const {
  return ReadInteger(section, key, default_value ? 1 : 0) != 0;
}

double IniFile::ReadFloat(std::string_view section, std::string_view key,
                          double default_value) const {
  const Section* s = FindSection(section);
  const Entry* e = s ? FindKey(*s, key) : nullptr;
  double v = 0;
  return e && ParseFloat(e->value, v) ? v : default_value;
}

bool IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  std::string k = OneLine(key);
  if (!KeyRoundTrips(k)) {
    LogError("IniFile.WriteString", "Invalid key", std::string(section) + ", " + k);
    return false;
  }
  Section* s = FindSection(section);
  if (!s) s = &AddSection(OneLine(section));
  if (const Entry* e = IndexedKey(*s, k)) {
    s->entries[static_cast<size_t>(e - s->entries.data())].value = OneLine(value);
  } else {
    AddEntry(*s, Entry{std::move(k), OneLine(value), true});
  }
  return true;
}

bool IniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
  return WriteString(section, key, std::to_string(value));
}

bool IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  return WriteString(section, key, value ? "1" : "0");
}

bool IniFile::WriteFloat(std::string_view section, std::string_view key, double value,
                         char decimal_separator) {
  return WriteString(section, key, FormatFloat(value, decimal_separator));
}

bool IniFile::SectionExists(std::string_view section) const { return FindSection(section); }

bool IniFile::ValueExists(std::string_view section, std::string_view key) const {
  const Section* s = FindSection(section);
  return s && FindKey(*s, key);
}

std::vector<std::string> IniFile::ReadSection(std::string_view section) const {
  std::vector<std::string> out;
  if (const Section* s = FindSection(section))
    for (const Entry& e : s->entries)
      if (e.is_key) out.push_back(e.name);
  return out;
}

std::vector<std::string> IniFile::ReadSections() const {
  std::vector<std::string> out;
  out.reserve(sections_.size());
  for (const Section& s : sections_) out.push_back(s.name);
  return out;
}

std::vector<std::string> IniFile::ReadSectionValues(std::string_view section) const {
  std::vector<std::string> out;
  if (const Section* s = FindSection(section))
    for (const Entry& e : s->entries)
      if (e.is_key) out.push_back(e.name + "=" + e.value);
  return out;
}

size_t IniFile::AppendSectionValues(std::string_view section, std::string& out,
                                    std::string_view line_end) const {
  size_t count = 0;
  if (const Section* s = FindSection(section)) {
    for (const Entry& e : s->entries) {
      if (!e.is_key) continue;
      out += e.name;
      out += '=';
      out += e.value;
      out += line_end;
      ++count;
    }
  }
  return count;
}

void IniFile::EraseSection(std::string_view section) {
  auto it = section_index_.find(Fold(OneLine(section)));
  if (it == section_index_.end()) return;
  sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(it->second));
  IndexSections();
}

void IniFile::DeleteKey(std::string_view section, std::string_view key) {
  Section* s = FindSection(section);
  if (!s) return;
  const Entry* e = IndexedKey(*s, OneLine(key));
  if (!e) return;
  s->entries.erase(s->entries.begin() + (e - s->entries.data()));
  IndexKeys(*s);
}

bool IniFile::SaveToFile(const fs::path& path, uint32_t& code) const {
  code = 0;
  try {
    std::error_code ec;
    if (path.empty()) {
      code = static_cast<uint32_t>(std::make_error_code(std::errc::invalid_argument).value());
      return false;
    }
    // Never replace a folder: deleting an empty one would "succeed".
    if (fs::is_directory(path, ec)) {
      code = DirectoryError();
      return false;
    }
    const std::string text = ToText();
    const fs::path temp = WithSuffix(path, kTempSuffix);
    if (!WriteBytes(temp, text, code)) {
      // A read-only scratch file left by an interrupted run is in the way;
      // a directory of that name is someone else's and is left alone.
      if (!fs::is_regular_file(fs::symlink_status(temp, ec)) || !fs::remove(temp, ec) ||
          !WriteBytes(temp, text, code)) {
        if (!fs::is_directory(temp, ec)) fs::remove(temp, ec);
        return false;
      }
    }
    // The old file goes first: renaming over it would make the file system
    // flush the new one to disk before the rename (ext4 does), which costs
    // far more than the delete, and a scan saves a file per offered package.
    fs::path aside;
    if (!RemoveOld(path, aside, code)) {
      fs::remove(temp, ec);
      return false;
    }
    fs::rename(temp, path, ec);
    if (!ec) return true;
    code = static_cast<uint32_t>(ec.value());
    fs::remove(temp, ec);
    // The old content must not be lost: bring the moved file back, or, when
    // it was deleted, write the new text in place as the last resort.
    if (!aside.empty()) {
      fs::rename(aside, path, ec);
      return false;
    }
    return WriteBytes(path, text, code);
  } catch (const std::exception& e) {
    LogError("IniFile.UpdateFile", "Common error", e.what());
    if (code == 0) code = static_cast<uint32_t>(std::make_error_code(std::errc::io_error).value());
    return false;
  }
}

bool IniFile::UpdateFileWith(const FailureReport& report) const {
  uint32_t code = 0;
  if (SaveToFile(file_name_, code)) return true;
  if (report) report(1, file_name_, code);
  if (retry_wait_)
    retry_wait_(retry_delay_);
  else
    std::this_thread::sleep_for(retry_delay_);
  if (SaveToFile(file_name_, code)) return true;
  if (report) report(2, file_name_, code);
  return false;
}

bool IniFile::UpdateFile(const IniUpdateLog& log) const {
  return UpdateFileWith([&log](int attempt, const fs::path& path, uint32_t code) {
    LogError(log.tag, attempt == 1 ? log.first : log.second, PathText(path), code);
  });
}

}  // namespace vx
