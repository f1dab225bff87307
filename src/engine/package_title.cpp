#include "engine/package_title.h"

#include <algorithm>
#include <array>
#include <utility>

#include "common/text.h"
#include "engine/driver_utils.h"

namespace vx {
namespace {

// Vendors whose names are acronyms; everything else is a word.
constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kVendorAcronyms{{
    {"hp", "HP"},
    {"amd", "AMD"},
    {"ati", "ATI"},
    {"nvidia", "NVIDIA"},
}};

// Words that say what every package is and so never name a device. The
// Spanish word appears in device names of localised Windows installs; its
// common misspelling is kept too, it turns up in vendor INF files.
constexpr std::array<std::string_view, 3> kNoiseWordPrefixes{"driver", "controlador", "contolador"};

constexpr size_t kTitleLimit = 50;
constexpr size_t kTitleCut = 47;

void EraseAll(std::string& s, std::string_view what) {
  for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at)) {
    s.erase(at, what.size());
  }
}

// Removes " word" where word stands alone (followed by a blank or the end),
// so "Audio Driver Package" becomes "Audio Package" and "drivers" is left
// alone: gluing the neighbours together or clipping a longer word would
// garble the title.
void EraseWord(std::string& s, std::string_view word) {
  const std::string needle = " " + std::string(word);
  size_t at = s.find(needle);
  while (at != std::string::npos) {
    const size_t end = at + needle.size();
    if (end == s.size() || s[end] == ' ') {
      s.erase(at, needle.size());
    } else {
      at = end;
    }
    at = s.find(needle, at);
  }
}

std::string CollapseBlanks(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    if (c == ' ' && !out.empty() && out.back() == ' ') continue;
    out.push_back(c);
  }
  return Trim(out);
}

bool IsNoiseWord(const std::string& word, const std::string& lower, std::string_view lower_vendor) {
  if (word.empty() || word == "-") return true;
  for (std::string_view prefix : kNoiseWordPrefixes) {
    if (lower.starts_with(prefix)) return true;
  }
  return !lower_vendor.empty() && lower == lower_vendor;
}

// Words of a name, numbered from 1 by their place among the blank-separated
// pieces (an empty piece between two blanks still takes its number).
std::vector<std::string> NameWords(const std::string& name) {
  if (name.find(' ') == std::string::npos) return {name};
  std::string s = name;
  EraseAll(s, "(R)");
  EraseAll(s, "(TM)");
  std::replace(s.begin(), s.end(), '(', ' ');
  std::replace(s.begin(), s.end(), ')', ' ');
  std::vector<std::string> words;
  for (const std::string& piece : Split(s, ' ')) words.push_back(Trim(piece));
  return words;
}

}  // namespace

std::string DisplayVendor(std::string_view vendor) {
  std::string name = AsciiLower(CanonicalVendor(vendor));
  for (const auto& [lower, shown] : kVendorAcronyms) {
    if (name == lower) return std::string(shown);
  }
  if (!name.empty()) name[0] = static_cast<char>(AsciiUpper(name.substr(0, 1))[0]);
  return name;
}

std::string CleanTitle(std::string_view text, std::string_view vendor) {
  std::string s(text);
  EraseAll(s, "(R)");
  EraseAll(s, "(TM)");
  EraseWord(s, "driver");
  EraseWord(s, "Driver");
  const std::string vendor_prefix = std::string(vendor) + " ";
  if (!vendor.empty() && StartsWithText(s, vendor_prefix)) {
    s = Trim(std::string_view(s).substr(vendor_prefix.size()));
  } else if (SameText(vendor, "intel") && StartsWithText(s, "intel(r) ")) {
    s = Trim(std::string_view(s).substr(8));
  }
  return CollapseBlanks(s);
}

std::vector<TWordInfo> CountCommonWords(const std::vector<std::string>& names,
                                        std::string_view vendor) {
  const std::string lower_vendor = LowerCase(vendor);
  std::vector<TWordInfo> words;
  for (const std::string& raw : names) {
    const std::string name = Trim(raw);
    if (name.empty()) continue;
    const std::vector<std::string> pieces = NameWords(name);
    // A word repeated inside one name ("Series ... Series") still says only
    // that this one name carries it.
    std::vector<std::string> seen;
    for (size_t i = 0; i < pieces.size(); ++i) {
      const std::string& word = pieces[i];
      const std::string lower = LowerCase(word);
      if (IsNoiseWord(word, lower, lower_vendor)) continue;
      if (std::find(seen.begin(), seen.end(), lower) != seen.end()) continue;
      seen.push_back(lower);
      auto same = std::find_if(words.begin(), words.end(),
                               [&](const TWordInfo& w) { return w.lower == lower; });
      if (same != words.end()) {
        ++same->count;
        continue;
      }
      const int position = static_cast<int>(i) + 1;
      auto later = std::find_if(words.begin(), words.end(),
                                [&](const TWordInfo& w) { return w.position > position; });
      words.insert(later, TWordInfo{word, lower, position, 1});
    }
  }
  return words;
}

std::string CommonWordsTitle(const std::vector<std::string>& names, std::string_view vendor) {
  if (names.size() == 1) return CleanTitle(names.front(), vendor);

  std::string fallback;
  int name_count = 0;
  int last_spaced_words = 0;
  for (const std::string& raw : names) {
    const std::string name = Trim(raw);
    if (name.empty()) continue;
    ++name_count;
    if (!fallback.empty()) fallback += ", ";
    fallback += CleanTitle(name, vendor);
    if (name.find(' ') != std::string::npos) {
      last_spaced_words = static_cast<int>(NameWords(name).size());
    }
  }
  if (name_count == 0) return {};

  const int needed = name_count > 3 ? name_count * 50 / 100 : name_count * 50 / 100 + 1;
  std::string joined;
  int qualifying = 0;
  for (const TWordInfo& w : CountCommonWords(names, vendor)) {
    if (w.count < needed) continue;
    if (!joined.empty()) joined += ' ';
    joined += w.word;
    ++qualifying;
  }
  const int m = std::max(3, last_spaced_words);
  if (qualifying < 2 || qualifying < m / 3) return CutLongTitle(fallback);
  return CleanTitle(joined, vendor);
}

std::string CutLongTitle(std::string_view text) {
  std::u16string wide = Utf8ToUtf16(text);
  if (wide.size() <= kTitleLimit) return std::string(text);
  size_t cut = kTitleCut;
  if (wide[cut - 1] >= 0xD800 && wide[cut - 1] <= 0xDBFF) --cut;
  wide.resize(cut);
  return Utf16ToUtf8(wide) + "...";
}

}  // namespace vx
