#include "engine/candidate_ranking.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "common/text.h"
#include "engine/driver_utils.h"
#include "engine/ranking_tables.h"

namespace vx {
namespace {

constexpr std::string_view kMicrosoft = "MICROSOFT";
constexpr std::string_view kUnknown = "Unknown";

// Touchpad makers whose packages list the generic PS/2 and HID identifiers
// of every touchpad: without a vendor match they are someone else's device.
constexpr std::string_view kTouchpadVendors[] = {"SYNAPTICS", "ELAN"};

// Where a candidate was found decides its base rank: a full identifier
// beats a short one, the hardware list beats the compatible list.
struct BaseRank {
  bool full_id;
  bool from_hardware_ids;
  int32_t rank;
};
constexpr BaseRank kBaseRanks[] = {
    {true, true, 0},
    {true, false, 2000},
    {false, true, 4000},
    {false, false, 6000},
};

// How the vendor was confirmed, best first; the first flag set decides.
struct VendorEvidence {
  bool TDriverItem::*found;
  int32_t rank;
};
constexpr VendorEvidence kVendorEvidence[] = {
    {&TDriverItem::found_by_manufacturer, 0},        {&TDriverItem::found_by_provider, 1},
    {&TDriverItem::found_by_hid_vendor, 2},          {&TDriverItem::found_by_name_vendor, 3},
    {&TDriverItem::found_by_system_manufacturer, 4}, {&TDriverItem::found_by_system_provider, 5},
    {&TDriverItem::found_by_no_vendor, 6},
};
constexpr int32_t kNoVendorEvidence = 7;

// Candidates at or above this rank, with a version shaped unlike the
// installed one, are another device's driver unless the names agree.
constexpr int64_t kVerDotsRank = 2010;
constexpr int32_t kRankCeiling = 10000;
constexpr size_t kMaxComparedChars = 1000;
constexpr size_t kMaxVersionRest = 100;

bool MatchesAny(std::string_view vendor, std::initializer_list<std::string_view> others) {
  return std::any_of(others.begin(), others.end(),
                     [&](std::string_view other) { return VendorsMatch(vendor, other); });
}

// A version component as a decimal number without leading zeros, "0" for
// anything that is not a plain number, so that two components compare by
// length first and then digit by digit, whatever their size.
std::string ComponentDigits(std::string_view text) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty() ||
      !std::all_of(trimmed.begin(), trimmed.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return "0";
  const size_t first = trimmed.find_first_not_of('0');
  return first == std::string::npos ? "0" : trimmed.substr(first);
}

int CompareComponents(std::string_view a, std::string_view b) {
  const std::string x = ComponentDigits(a);
  const std::string y = ComponentDigits(b);
  if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
  return x.compare(y) < 0 ? -1 : (x == y ? 0 : 1);
}

// Splits off the component before the first "."; the rest is cut so a
// runaway version text cannot make the comparison long.
std::string_view TakeComponent(std::string_view& text) {
  const size_t dot = text.find('.');
  std::string_view component = text.substr(0, dot);
  text = dot == std::string_view::npos ? std::string_view{} : text.substr(dot + 1);
  if (text.size() > kMaxVersionRest) text = text.substr(0, kMaxVersionRest);
  return component;
}

size_t Dots(std::string_view text) { return std::count(text.begin(), text.end(), '.'); }

// "6.2.0.0" and "6.2" are the same version written with different numbers
// of groups; only a candidate with more groups, or with fewer that are not
// just dropped zeros, is shaped differently.
bool DotCountsFit(std::string_view candidate, std::string_view installed) {
  const size_t candidate_dots = Dots(candidate);
  const size_t installed_dots = Dots(installed);
  if (candidate_dots == installed_dots) return true;
  if (candidate_dots > installed_dots) return false;
  std::string_view trimmed = installed;
  while (trimmed.size() >= 3 && trimmed.ends_with(".0")) trimmed.remove_suffix(2);
  return Dots(trimmed) <= candidate_dots;
}

std::u16string Lower16(std::string_view text) { return Utf8ToUtf16(LowerCase(text)); }

std::u16string_view LastChars(std::u16string_view text, size_t count) {
  return text.size() > count ? text.substr(text.size() - count) : text;
}

size_t AgreeingPositions(std::u16string_view shorter, std::u16string_view longer_part) {
  size_t agree = 0;
  for (size_t i = 0; i < shorter.size(); ++i)
    if (shorter[i] == longer_part[i]) ++agree;
  return agree;
}

int32_t SaturateRank(int64_t rank) {
  return static_cast<int32_t>(std::clamp<int64_t>(rank, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// The description steps of the rank: how much the candidate's name tells
// that it is this device's driver, and the version-shape test for those it
// does not. `rank` is the rank so far.
void RankByDescription(TDriverItem& candidate, const RankingDevice& device,
                       const RunningWindows& windows, int64_t& rank) {
  const std::u16string d = Lower16(device.description);
  const std::u16string b = Lower16(device.bus_description);
  const std::u16string c = Lower16(candidate.device_description);
  if ((!d.empty() && d == c) || (!b.empty() && b == c)) return;
  if ((!d.empty() && d.starts_with(c)) || (!b.empty() && b.starts_with(c)) ||
      (d.size() > 20 && c.find(d) != std::u16string::npos)) {
    rank += 1;
    return;
  }
  rank += 2;
  if (device.installed_version.empty() ||
      IsInboxWindowsDriver(device.installed_version, device.installed_vendor, windows))
    return;
  if (DotCountsFit(candidate.version, device.installed_version)) return;
  if (rank >= kVerDotsRank) {
    if (!DescriptionsSimilar(Utf16ToUtf8(d), Utf16ToUtf8(c))) {
      candidate.declined = true;
      candidate.decline_reason = "VerDots";
    }
  } else {
    rank += 1;
  }
}

bool Eligible(const TDriverItem& candidate) {
  return !candidate.declined && (candidate.newer_by_date || candidate.newer_by_version);
}

}  // namespace

bool NoDriverInfo(const RankingDevice& device, std::string_view class_name,
                  std::string_view device_class) {
  if (class_name == kUnknown || device_class == kUnknown) return true;
  for (const std::string* vendor :
       {&device.reg_manufacturer, &device.drv_manufacturer, &device.dev_manufacturer,
        &device.drv_provider, &device.dev_provider, &device.reg_provider})
    if (!vendor->empty()) return false;
  return true;
}

void DeriveDeviceFlags(RankingDevice& device, std::string_view class_name,
                       std::string_view device_class, const RunningWindows& windows) {
  device.system_driver =
      IsInboxWindowsDriver(device.installed_version, device.installed_vendor, windows);
  device.no_driver_info = NoDriverInfo(device, class_name, device_class);
}

bool VendorsMatch(std::string_view vendor, std::string_view other) {
  if (vendor.empty() || other.empty()) return false;
  if (vendor == other) return true;
  const std::string_view alias = VendorAlias(vendor);
  return !alias.empty() && alias == other;
}

bool IsInboxWindowsDriver(std::string_view version, std::string_view vendor,
                          const RunningWindows& windows) {
  if (vendor != kMicrosoft) return false;
  const auto prefixes = InboxVersionPrefixes(windows.code, windows.x64);
  return std::any_of(prefixes.begin(), prefixes.end(),
                     [&](std::string_view prefix) { return version.starts_with(prefix); });
}

bool VersionLess(std::string_view a, std::string_view b, std::string_view vendor, bool flag,
                 const RunningWindows& windows) {
  if (a.empty() || b.empty() || a == b) return false;
  if (IsInboxWindowsDriver(a, vendor, windows)) return true;
  std::string_view rest_a = a;
  std::string_view rest_b = b;
  do {
    const int order = CompareComponents(TakeComponent(rest_a), TakeComponent(rest_b));
    if (order < 0) return flag;
    if (order > 0) return !flag;
  } while (!rest_a.empty() || !rest_b.empty());
  return false;
}

void AssignHidVendors(TDriverItems& candidates, std::string_view device_vendor,
                      const std::function<std::string(std::string_view id)>& vendor_by_code) {
  for (TDriverItem& candidate : candidates) {
    if (!device_vendor.empty()) {
      candidate.hid_vendor = device_vendor;
    } else if (vendor_by_code) {
      candidate.hid_vendor =
          vendor_by_code(candidate.raw_id.empty() ? candidate.hardware_id : candidate.raw_id);
    } else {
      candidate.hid_vendor.clear();
    }
  }
}

bool CheckVendorPlausibility(TDriverItem& candidate, const RankingDevice& device) {
  candidate.name_vendor.clear();
  candidate.found_by_provider = candidate.found_by_system_provider = false;
  candidate.found_by_manufacturer = candidate.found_by_system_manufacturer = false;
  candidate.found_by_hid_vendor = candidate.found_by_name_vendor = false;
  candidate.found_by_no_vendor = false;
  candidate.declined = false;
  candidate.decline_reason.clear();

  const std::string_view v = candidate.vendor;
  const bool system_plus_microsoft = device.system_driver &&
                                     device.reg_manufacturer == kMicrosoft &&
                                     device.drv_manufacturer == kMicrosoft;

  candidate.found_by_hid_vendor = VendorsMatch(v, candidate.hid_vendor);
  for (const std::string* text : {&device.description, &device.bus_description}) {
    std::string named = CanonicalVendor(*text);
    if (VendorsMatch(v, named)) {
      candidate.name_vendor = std::move(named);
      candidate.found_by_name_vendor = true;
      break;
    }
  }

  const bool manufacturer = MatchesAny(v, {device.reg_manufacturer, device.drv_manufacturer});
  const bool provider =
      MatchesAny(v, {device.drv_provider, device.dev_provider, device.reg_provider});
  if (!system_plus_microsoft && manufacturer) {
    candidate.found_by_manufacturer = true;
    return true;
  }
  if (!device.system_driver && provider) {
    candidate.found_by_provider = true;
    return true;
  }
  if (candidate.found_by_hid_vendor || candidate.found_by_name_vendor) return true;
  if (device.system_driver) {
    if (system_plus_microsoft && manufacturer) {
      candidate.found_by_system_manufacturer = true;
      return true;
    }
    if (provider) {
      candidate.found_by_system_provider = true;
      return true;
    }
  }

  const bool touchpad_vendor = std::find(std::begin(kTouchpadVendors), std::end(kTouchpadVendors),
                                         v) != std::end(kTouchpadVendors);
  if (!touchpad_vendor) {
    // Strict: the device's driver is well known and not Microsoft's, and the
    // candidate names a different device; then a full-id match alone is no
    // evidence.
    const bool any_microsoft =
        device.reg_manufacturer == kMicrosoft || device.drv_manufacturer == kMicrosoft ||
        device.dev_manufacturer == kMicrosoft || device.reg_provider == kMicrosoft ||
        device.drv_provider == kMicrosoft || device.dev_provider == kMicrosoft;
    const bool strict = !device.no_driver_info && !device.failed && !any_microsoft &&
                        candidate.device_description != device.description;
    if (!strict && candidate.full_id) {
      if (candidate.from_hardware_ids) return true;
      if (device.reg_manufacturer.empty() && device.drv_manufacturer.empty() &&
          device.drv_provider.empty() && device.dev_provider.empty() &&
          device.reg_provider.empty()) {
        candidate.found_by_no_vendor = true;
        return true;
      }
    }
  }
  candidate.declined = true;
  candidate.decline_reason = "Vendor";
  return false;
}

size_t CheckVendorPlausibility(TDriverItems& candidates, const RankingDevice& device) {
  size_t kept = 0;
  for (auto it = candidates.rbegin(); it != candidates.rend(); ++it)
    if (CheckVendorPlausibility(*it, device)) ++kept;
  return kept;
}

void RankCandidate(TDriverItem& candidate, const RankingDevice& device,
                   const RunningWindows& windows) {
  int64_t rank = 0;
  for (const BaseRank& base : kBaseRanks)
    if (base.full_id == candidate.full_id && base.from_hardware_ids == candidate.from_hardware_ids)
      rank = base.rank;
  rank += int64_t{candidate.id_position} + int64_t{candidate.inf_line_index};

  int32_t evidence = kNoVendorEvidence;
  for (const VendorEvidence& row : kVendorEvidence) {
    if (candidate.*row.found) {
      evidence = row.rank;
      break;
    }
  }
  rank += evidence;
  if (!candidate.found_by_hid_vendor) rank += 1;
  if (!candidate.found_by_name_vendor) rank += 1;
  if (candidate.vendor == kMicrosoft) rank += 1;

  // A failed device's description and installed version are not trusted
  // enough to judge a candidate by.
  if (!device.failed) RankByDescription(candidate, device, windows, rank);
  candidate.rank = SaturateRank(rank);
}

int DescriptionSimilarity(std::string_view a, std::string_view b) {
  const std::u16string a16 = Utf8ToUtf16(a);
  const std::u16string b16 = Utf8ToUtf16(b);
  std::u16string_view x = LastChars(a16, kMaxComparedChars);
  std::u16string_view y = LastChars(b16, kMaxComparedChars);
  if (x.size() > y.size()) std::swap(x, y);  // x is the shorter
  if (y.empty()) return 0;
  const size_t agree = AgreeingPositions(x, y.substr(0, x.size())) +
                       AgreeingPositions(x, y.substr(y.size() - x.size()));
  return static_cast<int>(agree * 100 / y.size());
}

bool DescriptionsSimilar(std::string_view a, std::string_view b) {
  return DescriptionSimilarity(a, b) > 80;
}

void MarkNewer(TDriverItems& candidates, const RankingDevice& device,
               const RunningWindows& windows) {
  const bool system = device.system_driver;
  for (TDriverItem& candidate : candidates) {
    // An in-box driver from another vendor is worth replacing even with the
    // same version text; Microsoft's own package with that text is the same
    // driver again.
    candidate.newer_by_date = candidate.date - device.installed_date > 1.0 &&
                              ((system && candidate.vendor != kMicrosoft) ||
                               device.installed_version != candidate.version);
    candidate.newer_by_version = !system && !device.installed_version.empty() &&
                                 VersionLess(device.installed_version, candidate.version,
                                             device.installed_vendor, true, windows);
  }
}

std::optional<size_t> SelectWinner(const TDriverItems& candidates) {
  int32_t best = kRankCeiling;
  for (const TDriverItem& candidate : candidates)
    if (Eligible(candidate) && candidate.rank < best) best = candidate.rank;

  std::optional<size_t> choice;
  for (size_t i = candidates.size(); i-- > 0;) {
    const TDriverItem& candidate = candidates[i];
    if (!Eligible(candidate) || candidate.rank != best) continue;
    if (!choice) {
      choice = i;
      continue;
    }
    const TDriverItem& chosen = candidates[*choice];
    if (candidate.date > chosen.date) {
      choice = i;
    } else if (chosen.date - candidate.date <= 1.0 &&
               VersionLess(candidate.version, chosen.version, {}, true, RunningWindows{})) {
      // Dates this close count as one release; preferring the lower version
      // makes two such candidates give the same winner in either list order.
      choice = i;
    }
  }
  return choice;
}

std::string_view RankingStatusText(RankingStatus status) {
  switch (status) {
    case RankingStatus::kVendor:
      return "Vendor";
    case RankingStatus::kVerDots:
      return "VerDots";
    case RankingStatus::kWinner:
      return "Success";
  }
  return "VerDots";
}

RankingOutcome RankAndSelect(TDriverItems& candidates, const RankingDevice& device,
                             const RunningWindows& windows) {
  const bool all_declined = std::all_of(candidates.begin(), candidates.end(),
                                        [](const TDriverItem& c) { return c.declined; });
  for (TDriverItem& candidate : candidates) RankCandidate(candidate, device, windows);
  if (all_declined) return {RankingStatus::kVendor, std::nullopt};
  MarkNewer(candidates, device, windows);
  RankingOutcome outcome;
  outcome.winner = SelectWinner(candidates);
  outcome.status = outcome.winner ? RankingStatus::kWinner : RankingStatus::kVerDots;
  return outcome;
}

}  // namespace vx
