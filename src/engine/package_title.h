// How a driver package is named on the pages: its vendor as users know it
// and a short title made from the device names or the package description.
// Pure text rules, no files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vx {

// The vendor of a package as shown: the canonical vendor of the database's
// vendor text, with the well-known acronyms in capitals ("HP", "AMD", "ATI",
// "NVIDIA") and any other name with its first letter upper-cased ("Intel").
std::string DisplayVendor(std::string_view vendor);

// Drops trademark marks, the word "driver", and a leading vendor name from a
// device name or package description, and tidies the blanks.
std::string CleanTitle(std::string_view text, std::string_view vendor);

// One word of a device name while looking for the words several names
// share.
struct TWordInfo {
  std::string word;
  std::string lower;
  int position = 0;  // word index in its name, from 1
  int count = 0;
};

// The words of the names (in word-position order) with how many names carry
// each; words that say nothing about the device (empty, "-", "driver...",
// the vendor itself) are left out.
std::vector<TWordInfo> CountCommonWords(const std::vector<std::string>& names,
                                        std::string_view vendor);

// A title for a package serving several differently named devices: the
// words at least about half of the names share, or, when too few words are
// shared, the names themselves separated by ", " (cut by CutLongTitle).
std::string CommonWordsTitle(const std::vector<std::string>& names, std::string_view vendor);

// Texts longer than 50 characters become their first 47 and "...".
// Characters are UTF-16 code units, as the pages measure them; a cut never
// splits a surrogate pair.
std::string CutLongTitle(std::string_view text);

}  // namespace vx
