// Decides, for the candidate drivers the database returned for one device,
// which are plausible (vendor plausibility), how good each match is (rank,
// lower is better), which are newer than the installed driver, and which one
// the scan offers. Every function here is pure: the device, the candidates
// and the running Windows come in as arguments; nothing reads the registry,
// the database or the clock.
//
// The scan runs, per device with candidates:
//   AssignHidVendors -> CheckVendorPlausibility (all)
//   -> RankCandidate (all, declined ones too) -> MarkNewer -> SelectWinner,
// or RankAndSelect for everything after the plausibility check.
//
// Choices made where the rules leave room:
// - Vendor names only match when both are known: VendorsMatch("", "") is
//   false. Otherwise a candidate without a usable vendor would count as
//   "found by manufacturer" (the best match there is) on every device whose
//   manufacturer is unknown, bypassing the stricter no-vendor rule.
// - DescriptionsSimilar of two empty texts is false. The ranking reaches it
//   only when neither the device nor the candidate has a description, and
//   nothing known is no evidence that the package fits the device; the
//   exact-match step treats an empty description the same way.
// - DescriptionsSimilar compares at most the last 1000 characters of each
//   text: the longer text is cut to its last 1000, and so is the shorter
//   one when it is that long as well (both then align on the same tail).
// - Lengths and positions count UTF-16 code units, as the rest of the
//   engine's text rules do.
// - Version components are compared as unbounded decimal numbers, so a
//   component too large for an integer still orders correctly instead of
//   counting as 0.
// - A rank that would leave the signed 32-bit range (absurd positions from
//   a damaged database) saturates at the range's end.
// - Two dates are "within a day" of each other when they differ by at most
//   1.0, the complement of "newer by date" (more than 1.0).
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "engine/driver_item.h"

namespace vx {

// What the in-box test needs to know about the Windows the scan runs on.
struct RunningWindows {
  int code = 10;  // 5, 6, 7, 8, 81 or 10
  bool x64 = true;
};

// The device facts the ranking uses. Vendors are canonical (CanonicalVendor);
// the installed-driver values are the ones the scan settled on.
struct RankingDevice {
  std::string installed_version;  // empty when unknown
  double installed_date = 0;      // 0 when unknown
  std::string installed_vendor;
  bool system_driver = false;    // IsInboxWindowsDriver(installed version, installed vendor)
  std::string reg_manufacturer;  // "RegManufacturer"
  std::string drv_manufacturer;  // manufacturer of the installed driver node
  std::string dev_manufacturer;  // "DevManufacturer"
  std::string drv_provider;      // provider of the installed driver node
  std::string dev_provider;      // "DevProvider"
  std::string reg_provider;      // "RegProvider"
  std::string description;       // "DeviceDescRaw"
  std::string bus_description;   // "DevBusDesc"
  bool failed = false;           // "IsFailed"
  bool no_driver_info = false;   // see NoDriverInfo
};

// True when "ClassName" or "Class" is "Unknown" or none of the six vendors
// of `device` is known.
bool NoDriverInfo(const RankingDevice& device, std::string_view class_name,
                  std::string_view device_class);

// Sets system_driver and no_driver_info from the other fields.
void DeriveDeviceFlags(RankingDevice& device, std::string_view class_name,
                       std::string_view device_class, const RunningWindows& windows);

// True when both vendors are known and equal, or equal through one alias
// pair (AMD/ATI, ...). Exact comparison of canonical upper-case names.
bool VendorsMatch(std::string_view vendor, std::string_view other);

// True when `version` is that of a Microsoft driver shipped with the
// running Windows (by version prefix).
bool IsInboxWindowsDriver(std::string_view version, std::string_view vendor,
                          const RunningWindows& windows);

// `flag` when a < b, !flag when a > b, false when they are equal or either
// is empty. An in-box Windows version a (of `vendor`) always counts as
// older: true whatever b is. Components are split at "." and compared as
// numbers; a component that is not a number counts as 0, a missing one as 0.
bool VersionLess(std::string_view a, std::string_view b, std::string_view vendor, bool flag,
                 const RunningWindows& windows);

// Sets every candidate's hid vendor: the vendor the device's own PCI/USB
// codes name (`device_vendor`, from DeviceVendorByCodes of the hardware
// ids), or when that is empty the vendor of the candidate's own identifier
// through `vendor_by_code` (VendorByCode against the database).
void AssignHidVendors(TDriverItems& candidates, std::string_view device_vendor,
                      const std::function<std::string(std::string_view id)>& vendor_by_code);

// Sets the found-by flags and the name vendor of one candidate, or declines
// it with reason "Vendor". Resets the plausibility fields first (not the hid
// vendor). Returns true when the candidate was kept.
bool CheckVendorPlausibility(TDriverItem& candidate, const RankingDevice& device);
// The same for every candidate, last to first; returns the number kept.
size_t CheckVendorPlausibility(TDriverItems& candidates, const RankingDevice& device);

// Computes the candidate's rank from scratch; may decline it with
// "VerDots" (replacing a "Vendor" reason). Run for declined candidates too.
void RankCandidate(TDriverItem& candidate, const RankingDevice& device,
                   const RunningWindows& windows);

// Two lower-case texts are similar when the characters that agree, counted
// once with both aligned at the start and once with both aligned at the
// end, make more than 80 percent of the longer text's length.
bool DescriptionsSimilar(std::string_view a, std::string_view b);
// The percentage itself (integer division; may exceed 100).
int DescriptionSimilarity(std::string_view a, std::string_view b);

// Sets newer_by_date and newer_by_version on every candidate.
void MarkNewer(TDriverItems& candidates, const RankingDevice& device,
               const RunningWindows& windows);

// Index of the winner among candidates that are kept and newer: the best
// rank (below 10000, or exactly 10000 when none is below); among equals the
// latest date, and on dates within a day of each other the lower version.
std::optional<size_t> SelectWinner(const TDriverItems& candidates);

// What the scan writes as the device's decision when it has candidates.
enum class RankingStatus {
  kVendor,   // every candidate was declined for its vendor
  kVerDots,  // candidates remain but none is a winner
  kWinner,   // `winner` is offered (the scan then tells "Success" from "Pending")
};
std::string_view RankingStatusText(RankingStatus status);  // "Vendor", "VerDots", "Success"

struct RankingOutcome {
  RankingStatus status = RankingStatus::kVerDots;
  std::optional<size_t> winner;
};

// Everything after the plausibility check: ranks every candidate, and
// unless all were declined marks the newer ones and selects the winner.
// Meant for a device with candidates (an empty list reports kVendor).
RankingOutcome RankAndSelect(TDriverItems& candidates, const RankingDevice& device,
                             const RunningWindows& windows);

}  // namespace vx
