#include "platform/sim/inf_file.h"

#include "common/text.h"

namespace vx::sim {

using platform::InfLine;

namespace {

struct RawLine {
  std::string text;
  uint32_t line_no = 0;
};

// Cuts the comment (a ";" outside quotes) off one physical line.
std::string StripComment(std::string_view line) {
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    else if (line[i] == ';' && !quoted) return std::string(line.substr(0, i));
  }
  return std::string(line);
}

// Splits at sep outside quotes.
std::vector<std::string> SplitOutsideQuotes(std::string_view s, char sep) {
  std::vector<std::string> out(1);
  bool quoted = false;
  for (char c : s) {
    if (c == '"') quoted = !quoted;
    if (c == sep && !quoted) {
      out.emplace_back();
      continue;
    }
    out.back() += c;
  }
  return out;
}

size_t FindOutsideQuotes(std::string_view s, char c) {
  bool quoted = false;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '"') quoted = !quoted;
    else if (s[i] == c && !quoted) return i;
  }
  return std::string_view::npos;
}

// Removes the quotes of a trimmed token; "" inside quotes is one quote.
std::string Unquote(std::string_view token) {
  std::string out;
  bool quoted = false;
  for (size_t i = 0; i < token.size(); ++i) {
    char c = token[i];
    if (c != '"') {
      out += c;
    } else if (quoted && i + 1 < token.size() && token[i + 1] == '"') {
      out += '"';
      ++i;
    } else {
      quoted = !quoted;
    }
  }
  return out;
}

using StringTable = std::map<std::string, std::string>;

std::string Substitute(std::string_view s, const StringTable& strings) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out += s[i];
      continue;
    }
    size_t end = s.find('%', i + 1);
    if (end == std::string_view::npos) {
      out += s.substr(i);
      break;
    }
    if (end == i + 1) {
      out += '%';  // "%%" is a literal percent sign
    } else {
      auto it = strings.find(UpperCase(s.substr(i + 1, end - i - 1)));
      // An undefined token stays as written, as SetupAPI leaves it.
      out += it != strings.end() ? it->second : std::string(s.substr(i, end - i + 1));
    }
    i = end;
  }
  return out;
}

std::string Token(std::string_view raw, const StringTable* strings) {
  std::string t = Unquote(Trim(raw));
  return strings ? Substitute(t, *strings) : t;
}

InfLine MakeLine(std::string_view text, const StringTable* strings) {
  InfLine line;
  size_t eq = FindOutsideQuotes(text, '=');
  std::string_view values = text;
  if (eq != std::string_view::npos) {
    line.key = Token(text.substr(0, eq), strings);
    values = text.substr(eq + 1);
    if (Trim(values).empty()) return line;
  }
  for (const auto& f : SplitOutsideQuotes(values, ',')) line.fields.push_back(Token(f, strings));
  return line;
}

}  // namespace

bool InfText::Parse(std::string_view text, uint32_t* error_line) {
  sections_.clear();
  index_.clear();
  struct RawSec {
    std::string name;
    std::vector<std::string> lines;
  };
  std::vector<RawSec> raw;
  std::map<std::string, size_t> raw_index;
  RawSec* current = nullptr;

  auto physical = Split(text, '\n');
  std::string pending;
  for (size_t n = 0; n < physical.size(); ++n) {
    std::string line = TrimRight(StripComment(physical[n]));
    // A trailing backslash joins the next physical line to this one.
    if (!line.empty() && line.back() == '\\') {
      line.pop_back();
      pending += line;
      if (n + 1 < physical.size()) continue;
    }
    line = Trim(pending + line);
    pending.clear();
    if (line.empty()) continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      if (close == std::string::npos) {
        if (error_line) *error_line = static_cast<uint32_t>(n + 1);
        sections_.clear();
        return false;
      }
      std::string name = Trim(std::string_view(line).substr(1, close - 1));
      std::string folded = UpperCase(name);
      auto it = raw_index.find(folded);
      if (it == raw_index.end()) {
        it = raw_index.emplace(folded, raw.size()).first;
        raw.push_back({name, {}});
      }
      current = &raw[it->second];
      continue;
    }
    // Lines before the first section belong to none and are ignored.
    if (current) current->lines.push_back(line);
  }

  // [Strings] first, then the US English override a en-US system reads.
  StringTable strings;
  for (const char* name : {"STRINGS", "STRINGS.0409"}) {
    auto it = raw_index.find(name);
    if (it == raw_index.end()) continue;
    for (const auto& l : raw[it->second].lines) {
      InfLine s = MakeLine(l, nullptr);
      if (!s.key.empty()) strings[UpperCase(s.key)] = s.fields.empty() ? "" : s.fields[0];
    }
  }
  for (auto& r : raw) {
    Sec sec{r.name, {}};
    for (const auto& l : r.lines) sec.lines.push_back(MakeLine(l, &strings));
    index_.emplace(UpperCase(r.name), sections_.size());
    sections_.push_back(std::move(sec));
  }
  return true;
}

bool InfText::HasSection(std::string_view name) const { return Section(name) != nullptr; }

const std::vector<InfLine>* InfText::Section(std::string_view name) const {
  auto it = index_.find(UpperCase(name));
  return it == index_.end() ? nullptr : &sections_[it->second].lines;
}

std::vector<std::string> InfText::SectionNames() const {
  std::vector<std::string> names;
  for (const auto& s : sections_) names.push_back(s.name);
  return names;
}

const InfLine* InfText::FindLine(std::string_view section, std::string_view key) const {
  const auto* lines = Section(section);
  if (!lines) return nullptr;
  for (const auto& l : *lines)
    if (!l.key.empty() && SameText(l.key, key)) return &l;
  return nullptr;
}

std::string InfText::ActualSection(std::string_view name, bool is64) const {
  std::string base(name);
  for (const std::string& candidate :
       {base + (is64 ? ".NTamd64" : ".NTx86"), base + ".NT", base}) {
    if (const auto* s = Section(candidate); s) return sections_[index_.at(UpperCase(candidate))].name;
  }
  return {};
}

InfText::Destination InfText::DestinationOf(std::string_view copy_section) const {
  const InfLine* line = FindLine("DestinationDirs", copy_section);
  if (!line) line = FindLine("DestinationDirs", "DefaultDestDir");
  Destination d;
  if (!line || line->fields.empty()) return d;
  const std::string id = Trim(line->fields[0]);
  uint32_t v = 0;
  bool ok = !id.empty() && id.size() < 10;
  for (char c : id) {
    if (c < '0' || c > '9') ok = false;
    else v = v * 10 + uint32_t(c - '0');
  }
  d.dirid = ok ? v : 0;  // 0 is no directory id: the caller reports it
  if (line->fields.size() > 1) d.subdir = Trim(line->fields[1]);
  return d;
}

std::string SimDirIdPath(uint32_t dirid, bool is64, std::string_view user_profile) {
  const std::string win = "C:\\Windows";
  const std::string sys = win + "\\system32";
  switch (dirid) {
    case 10: case 25: return win;
    case 11: return sys;
    case 12: return sys + "\\drivers";
    case 13: return sys + "\\DriverStore\\FileRepository";
    case 17: return win + "\\INF";
    case 18: return win + "\\Help";
    case 20: return win + "\\Fonts";
    case 21: return sys + "\\viewers";
    case 23: return sys + "\\spool\\drivers\\color";
    case 24: case 30: case 54: return "C:";
    case 50: return win + "\\system";
    case 51: return sys + "\\spool";
    case 52: return sys + "\\spool\\drivers\\" + (is64 ? "x64" : "w32x86");
    case 53: return std::string(user_profile);
    case 55: return sys + "\\spool\\prtprocs\\" + (is64 ? "x64" : "w32x86");
    // Shell folders: 16384 + CSIDL.
    case 16384 + 0x14: return win + "\\Fonts";
    case 16384 + 0x23: return "C:\\ProgramData";
    case 16384 + 0x24: return win;
    case 16384 + 0x25: return sys;
    case 16384 + 0x26: return "C:\\Program Files";
    case 16384 + 0x29: return is64 ? win + "\\SysWOW64" : sys;
    case 16384 + 0x2A: return is64 ? "C:\\Program Files (x86)" : "C:\\Program Files";
    case 16384 + 0x2B: return "C:\\Program Files\\Common Files";
    case 16384 + 0x2C: return is64 ? "C:\\Program Files (x86)\\Common Files"
                                   : "C:\\Program Files\\Common Files";
    default: return {};
  }
}

}  // namespace vx::sim
