// The data behind the candidate ranking: vendor aliases and the version
// prefixes of drivers that ship with each Windows release. Kept as tables
// so a new alias or a new Windows build is a one-line change and the tests
// can look at the tables themselves.
#pragma once

#include <span>
#include <string_view>
#include <utility>

namespace vx {

// Two canonical vendor names that denote the same company: one name was
// bought, renamed or is the short form of the other. Each pair works both
// ways; a name appears in at most one pair.
std::span<const std::pair<std::string_view, std::string_view>> VendorAliasPairs();

// The other name of `vendor` through its alias pair; empty when it has none.
std::string_view VendorAlias(std::string_view vendor);

// Version prefixes (each ending in ".") of the drivers Microsoft ships
// inside the Windows release with this version code (5, 6, 7, 8, 81, 10).
// XP's in-box drivers carry the build of the release the 64-bit edition was
// made from (Server 2003), hence x64. Empty for an unknown code.
std::span<const std::string_view> InboxVersionPrefixes(int windows_code, bool x64);

}  // namespace vx
