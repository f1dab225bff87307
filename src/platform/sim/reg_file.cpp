#include "platform/sim/reg_file.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <utility>

#include "common/text.h"

namespace vx::sim {
namespace {

constexpr std::string_view kHeaderV5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeaderV4 = "REGEDIT4";

// regedit wraps hex data so that no line, trailing backslash included, is
// wider than this; continuation lines are indented by two spaces.
constexpr size_t kLineWidth = 80;
constexpr std::string_view kContinuationIndent = "  ";

struct RootName {
  std::string_view full;
  std::string_view abbreviation;
};
constexpr std::array<RootName, 5> kRoots = {{
    {"HKEY_LOCAL_MACHINE", "HKLM"},
    {"HKEY_CURRENT_USER", "HKCU"},
    {"HKEY_CLASSES_ROOT", "HKCR"},
    {"HKEY_USERS", "HKU"},
    {"HKEY_CURRENT_CONFIG", "HKCC"},
}};

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// Parses 1..max_digits hex digits making up all of `s`.
bool ParseHexNumber(std::string_view s, size_t max_digits, uint32_t& value) {
  if (s.empty() || s.size() > max_digits) return false;
  value = 0;
  for (char c : s) {
    if (!IsHexDigit(c)) return false;
    value = (value << 4) | static_cast<uint32_t>(HexValue(c));
  }
  return true;
}

// After a complete value only blanks or a comment may follow.
bool IsTrailer(std::string_view rest) {
  std::string t = TrimLeft(rest);
  return t.empty() || t.front() == ';';
}

// The next whole UTF-8 character at s[pos], so that error messages never
// show half a character.
std::string_view CharAt(std::string_view s, size_t pos) {
  auto b = static_cast<unsigned char>(s[pos]);
  size_t len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 1;
  return s.substr(pos, len);
}

// Shortens text quoted back in an error so a long line does not bury the
// reason.
std::string Excerpt(std::string_view s) {
  constexpr size_t kMax = 40;
  if (s.size() <= kMax) return std::string(s);
  size_t cut = kMax;
  while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
  return std::string(s.substr(0, cut)) + "...";
}

// Reads a quoted token starting at s[pos] == '"'. regedit escapes only the
// backslash and the quote; any other backslash sequence is almost always a
// hand-written path with single backslashes, which regedit would import
// mangled, so it is reported instead of guessed at.
bool ReadQuoted(std::string_view s, size_t& pos, std::string& out, std::string& reason,
                std::string_view what) {
  out.clear();
  size_t i = pos + 1;
  while (i < s.size()) {
    char c = s[i];
    if (c == '"') {
      pos = i + 1;
      return true;
    }
    if (c == '\\') {
      if (i + 1 >= s.size()) break;
      char n = s[i + 1];
      if (n != '\\' && n != '"') {
        reason = "bad escape '\\" + std::string(CharAt(s, i + 1)) + "' in " + std::string(what) +
                 " (write '\\\\' for a backslash)";
        return false;
      }
      out += n;
      i += 2;
      continue;
    }
    out += c;
    ++i;
  }
  reason = "unterminated " + std::string(what);
  return false;
}

std::string Utf8ToSzBytes(std::string_view text) {
  return Utf16LeBytes(Utf8ToUtf16(text)) + std::string(2, '\0');
}

// REGEDIT4 files come from the single-byte world: their hex(1/2/7) data are
// ANSI strings. Bytes that happen to form valid UTF-8 are taken as such, the
// same guess DecodeTextFile makes for a whole file.
std::string AnsiToUtf8(std::string_view s) {
  if (Utf16ToUtf8(Utf8ToUtf16(s)) == s) return std::string(s);
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (static_cast<unsigned char>(s[i]) < 0x80)
      out += s[i];
    else
      out += DecodeTextFile(s.substr(i, 1));  // a lone high byte is always Windows-1252 there
  }
  return out;
}

// Keeps the NUL structure exactly (a missing terminator stays missing) and
// widens each string between NULs.
std::string AnsiBytesToUtf16Le(std::string_view bytes) {
  std::string out;
  size_t start = 0;
  while (true) {
    size_t nul = bytes.find('\0', start);
    std::string_view piece =
        bytes.substr(start, nul == std::string_view::npos ? std::string_view::npos : nul - start);
    out += Utf16LeBytes(Utf8ToUtf16(AnsiToUtf8(piece)));
    if (nul == std::string_view::npos) break;
    out.append(2, '\0');
    start = nul + 1;
  }
  return out;
}

class Parser {
 public:
  explicit Parser(std::string_view text) {
    size_t start = 0;
    while (start <= text.size()) {
      size_t nl = text.find('\n', start);
      size_t end = nl == std::string_view::npos ? text.size() : nl;
      std::string_view line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      lines_.emplace_back(line);
      if (nl == std::string_view::npos) break;
      start = nl + 1;
    }
  }

  bool Run(std::vector<RegFileKey>& out, RegFileError& err) {
    if (!ParseLines()) {
      err = error_;
      return false;
    }
    out = std::move(keys_);
    err = {};
    return true;
  }

 private:
  bool ParseLines() {
    std::string header = Trim(lines_.front());
    if (header == kHeaderV5)
      ansi_ = false;
    else if (header == kHeaderV4)
      ansi_ = true;
    else
      return Fail(1, "missing header (expected \"" + std::string(kHeaderV5) + "\" or \"" +
                         std::string(kHeaderV4) + "\")");
    next_ = 1;
    while (next_ < lines_.size()) {
      int number = static_cast<int>(next_) + 1;
      std::string line = TrimLeft(lines_[next_++]);
      if (line.empty() || line.front() == ';') continue;
      bool ok = false;
      if (line.front() == '[')
        ok = ParseKey(line, number);
      else if (line.front() == '"' || line.front() == '@')
        ok = ParseValue(line, number);
      else
        ok = Fail(number, "expected a [key], a value or a ';' comment, found '" + Excerpt(line) + "'");
      if (!ok) return false;
    }
    return true;
  }

  bool Fail(int line, std::string reason) {
    error_.line = line;
    error_.reason = std::move(reason);
    return false;
  }

  bool ParseKey(std::string_view line, int number) {
    std::string text = TrimRight(line);
    if (text.size() < 2 || text.back() != ']') return Fail(number, "expected ']' at the end of the key line");
    std::string_view inner = std::string_view(text).substr(1, text.size() - 2);
    RegFileKey key;
    if (!inner.empty() && inner.front() == '-') {
      key.remove = true;
      inner.remove_prefix(1);
    }
    if (inner.empty()) return Fail(number, "empty key path");
    size_t slash = inner.find('\\');
    std::string_view root = inner.substr(0, slash);
    std::string_view full = ExpandRegRoot(root);
    if (full.empty()) return Fail(number, "unknown root '" + Excerpt(root) + "'");
    key.path = full;
    if (slash != std::string_view::npos) {
      std::string_view rest = inner.substr(slash);  // keeps the leading backslash
      // Windows has no empty key names; letting one through would give the
      // simulated machine a key no real machine can hold.
      if (rest.size() == 1 || rest.find("\\\\") != std::string_view::npos || rest.back() == '\\')
        return Fail(number, "empty key name in path '" + Excerpt(inner) + "'");
      key.path += rest;
    }
    keys_.push_back(std::move(key));
    return true;
  }

  bool ParseValue(std::string_view line, int number) {
    if (keys_.empty()) return Fail(number, "value outside of any key");
    if (keys_.back().remove) return Fail(number, "value under a deleted key");

    RegFileValue value;
    size_t pos = 0;
    if (line.front() == '@') {
      pos = 1;
    } else {
      std::string reason;
      if (!ReadQuoted(line, pos, value.name, reason, "value name")) return Fail(number, reason);
    }
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos >= line.size() || line[pos] != '=') return Fail(number, "expected '=' after value name");
    ++pos;
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    std::string_view data = line.substr(pos);

    if (data.empty() || data.front() == ';') return Fail(number, "missing value data after '='");
    if (data.front() == '-') {
      if (!IsTrailer(data.substr(1))) return Fail(number, "unexpected text after '=-'");
      value.remove = true;
    } else if (data.front() == '"') {
      size_t end = 0;
      std::string text, reason;
      if (!ReadQuoted(data, end, text, reason, "string")) return Fail(number, reason);
      if (!IsTrailer(data.substr(end)))
        return Fail(number, "unexpected text after string: '" + Excerpt(Trim(data.substr(end))) + "'");
      value.type = kRegSz;
      value.data = Utf8ToSzBytes(text);
    } else if (StartsWithText(data, "dword:")) {
      std::string_view digits = data.substr(6);
      digits = digits.substr(0, digits.find(';'));
      std::string d = Trim(digits);
      uint32_t v = 0;
      if (!ParseHexNumber(d, 8, v))
        return Fail(number, "bad dword value '" + Excerpt(d) + "' (expected 1 to 8 hex digits)");
      value.type = kRegDword;
      for (int i = 0; i < 4; ++i) value.data += static_cast<char>((v >> (8 * i)) & 0xFF);
    } else if (StartsWithText(data, "hex")) {
      size_t colon = data.find(':');
      std::string_view type_word = data.substr(0, colon);
      if (colon == std::string_view::npos)
        return Fail(number, "expected ':' after '" + Excerpt(type_word) + "'");
      bool numbered = type_word.size() > 5 && type_word[3] == '(' && type_word.back() == ')' &&
                      ParseHexNumber(type_word.substr(4, type_word.size() - 5), 8, value.type);
      if (type_word.size() == 3)
        value.type = kRegBinary;
      else if (!numbered)
        return Fail(number,
                    "bad value type '" + Excerpt(type_word) + "' (expected hex or hex(N) with N in hex)");
      if (!ParseHexData(data.substr(colon + 1), number, value.data)) return false;
      if (ansi_ && (value.type == kRegSz || value.type == kRegExpandSz || value.type == kRegMultiSz))
        value.data = AnsiBytesToUtf16Le(value.data);
    } else {
      std::string_view word = data.substr(0, std::min(data.find(':'), data.find(' ')));
      return Fail(number, "unknown value type '" + Excerpt(word) + "'");
    }
    keys_.back().values.push_back(std::move(value));
    return true;
  }

  // Collects the comma-separated byte list, following trailing-backslash
  // continuations onto later lines. Each piece remembers its line so an
  // error names the physical line the user has to fix.
  bool ParseHexData(std::string_view first, int number, std::string& bytes) {
    struct Segment {
      size_t start;
      int line;
    };
    std::string joined;
    std::vector<Segment> segments;
    std::string segment(first);
    int line = number;
    while (true) {
      std::string_view s = segment;
      s = s.substr(0, s.find(';'));
      std::string t = TrimRight(s);
      bool more = !t.empty() && t.back() == '\\';
      if (more) t.pop_back();
      segments.push_back({joined.size(), line});
      joined += t;
      if (!more || next_ >= lines_.size()) break;
      line = static_cast<int>(next_) + 1;
      segment = TrimLeft(lines_[next_++]);
    }
    auto line_of = [&](size_t offset) {
      auto it = std::upper_bound(segments.begin(), segments.end(), offset,
                                 [](size_t o, const Segment& seg) { return o < seg.start; });
      return std::prev(it)->line;
    };

    bytes.clear();
    if (Trim(joined).empty()) return true;
    size_t start = 0;
    while (true) {
      size_t comma = joined.find(',', start);
      size_t end = comma == std::string::npos ? joined.size() : comma;
      std::string_view raw = std::string_view(joined).substr(start, end - start);
      size_t lead = 0;
      while (lead < raw.size() && static_cast<unsigned char>(raw[lead]) <= ' ') ++lead;
      std::string token = Trim(raw);
      int at = line_of(start + lead);
      uint32_t v = 0;
      if (token.empty()) {
        // regedit never writes a trailing comma, but hand edits often leave
        // one; it loses nothing, so it is allowed at the very end only.
        bool last = comma == std::string::npos;
        if (!(last && start > 0)) return Fail(at, "missing hex byte before ','");
      } else if (!ParseHexNumber(token, 2, v)) {
        return Fail(at, "bad hex byte '" + Excerpt(token) + "'");
      } else {
        bytes += static_cast<char>(v);
      }
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    return true;
  }

  std::vector<std::string> lines_;
  size_t next_ = 0;
  bool ansi_ = false;
  std::vector<RegFileKey> keys_;
  RegFileError error_;
};

// ---- writing ---------------------------------------------------------------

std::string Escape(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

std::string NamePart(const std::string& name) { return name.empty() ? "@" : "\"" + Escape(name) + "\""; }

// A REG_SZ goes out as a quoted string only when reading that string back
// yields the same bytes: exactly one terminator, no embedded NUL, no line
// break (the format has no escape for it) and no unpaired surrogate (lost
// on the way through UTF-8).
bool AsQuotedText(std::string_view data, std::string& text) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  if (data[data.size() - 1] != '\0' || data[data.size() - 2] != '\0') return false;
  std::u16string u = FromUtf16LeBytes(data.substr(0, data.size() - 2));
  for (char16_t c : u)
    if (c == 0 || c == u'\r' || c == u'\n') return false;
  text = Utf16ToUtf8(u);
  return Utf8ToUtf16(text) == u;
}

size_t Columns(std::string_view utf8) { return Utf8ToUtf16(utf8).size(); }

// After each comma, wrap if one more "xx," and the backslash would pass the
// width; regedit decides this without looking whether that byte is the
// last one, so a final byte can end up alone on its line.
void AppendHex(std::string& out, std::string_view prefix, std::string_view data) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out += prefix;
  size_t column = Columns(prefix);
  for (size_t i = 0; i < data.size(); ++i) {
    auto b = static_cast<unsigned char>(data[i]);
    out += kDigits[b >> 4];
    out += kDigits[b & 0xF];
    column += 2;
    if (i + 1 == data.size()) break;
    out += ',';
    ++column;
    if (column + 4 > kLineWidth) {
      out += "\\\r\n";
      out += kContinuationIndent;
      column = kContinuationIndent.size();
    }
  }
  out += "\r\n";
}

std::string HexType(uint32_t type) {
  if (type == kRegBinary) return "hex:";
  char buf[24];
  std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(type));
  return buf;
}

void AppendValue(std::string& out, const RegFileValue& v) {
  std::string prefix = NamePart(v.name) + "=";
  if (v.remove) {
    out += prefix + "-\r\n";
    return;
  }
  std::string text;
  if (v.type == kRegSz && AsQuotedText(v.data, text)) {
    out += prefix + "\"" + Escape(text) + "\"\r\n";
    return;
  }
  if (v.type == kRegDword && v.data.size() == 4) {
    uint32_t d = 0;
    for (int i = 3; i >= 0; --i) d = (d << 8) | static_cast<unsigned char>(v.data[i]);
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(d));
    out += prefix + buf + "\r\n";
    return;
  }
  AppendHex(out, prefix + HexType(v.type), v.data);
}

}  // namespace

std::string_view ExpandRegRoot(std::string_view root) {
  for (const RootName& r : kRoots)
    if (SameText(root, r.full) || SameText(root, r.abbreviation)) return r.full;
  return {};
}

bool ParseRegFile(std::string_view bytes, std::vector<RegFileKey>& out, RegFileError& err) {
  out.clear();
  Parser parser(DecodeTextFile(bytes));
  return parser.Run(out, err);
}

std::string WriteRegFile(const std::vector<RegFileKey>& keys) {
  std::string text;
  text += kHeaderV5;
  text += "\r\n\r\n";
  for (const RegFileKey& key : keys) {
    if (key.remove) {
      // Values under a deleted key cannot be expressed (regedit ignores
      // them), so only the deletion is written.
      text += "[-" + key.path + "]\r\n\r\n";
      continue;
    }
    text += "[" + key.path + "]\r\n";
    for (const RegFileValue& v : key.values) AppendValue(text, v);
    text += "\r\n";
  }
  return "\xFF\xFE" + Utf16LeBytes(Utf8ToUtf16(text));
}

}  // namespace vx::sim
