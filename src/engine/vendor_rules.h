// The rule tables behind CanonicalVendor. They are data so that adding a
// vendor alias is a one-line change and so the tests can check the tables
// themselves (every result a known vendor, every vendor reachable).
#pragma once

#include <span>
#include <string_view>

namespace vx {

enum class VendorMatch {
  kIs,            // the whole text equals `text`
  kStartsWith,    // the text begins with `text`
  kContains,      // `text` occurs anywhere
  kContainsBoth,  // `text` and `also` both occur, anywhere and in any order
};

struct VendorRule {
  VendorMatch match;
  std::string_view text;
  std::string_view vendor;
  std::string_view also = {};
};

// Literals are compared byte for byte (case-sensitive); callers upper-case
// first wherever the rules expect it.
bool VendorRuleHolds(const VendorRule& rule, std::string_view text);

// Tested on the trimmed text before any case change. First match wins.
std::span<const VendorRule> VendorCaseSensitiveRules();

// Tested on the trimmed, upper-cased free text. First match wins.
std::span<const VendorRule> VendorTextRules();

// Tested on the single word left after reduction. Every rule is tested
// against that same word and the last one that holds decides, so a rule
// placed later overrides an earlier one for words both of them match.
std::span<const VendorRule> VendorWordRules();

}  // namespace vx
