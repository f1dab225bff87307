#include "engine/candidate_ranking.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "engine/ranking_tables.h"

namespace vx {
namespace {

constexpr RunningWindows kWindows7{7, true};
constexpr RunningWindows kWindows10{10, true};

// A candidate found through the full form of the device's first hardware id.
TDriverItem Candidate(std::string vendor, std::string version = "2.0", double date = 45000) {
  TDriverItem item;
  item.vendor = std::move(vendor);
  item.version = std::move(version);
  item.date = date;
  item.full_id = true;
  item.from_hardware_ids = true;
  item.raw_id = "PCI\\VEN_10EC&DEV_8168&SUBSYS_85051043&REV_09";
  item.hardware_id = "PCI\\\\VEN_10EC&DEV_8168&SUBSYS_85051043&REV_09";
  return item;
}

// What the plausibility check concluded, as one comparable text.
std::string Verdict(const TDriverItem& item) {
  if (item.declined) return "declined:" + item.decline_reason;
  std::string flags;
  auto add = [&](bool set, const char* name) {
    if (!set) return;
    if (!flags.empty()) flags += ',';
    flags += name;
  };
  add(item.found_by_manufacturer, "manufacturer");
  add(item.found_by_provider, "provider");
  add(item.found_by_hid_vendor, "hid");
  add(item.found_by_name_vendor, "name");
  add(item.found_by_system_manufacturer, "sys_manufacturer");
  add(item.found_by_system_provider, "sys_provider");
  add(item.found_by_no_vendor, "none");
  return flags.empty() ? "kept" : flags;
}

// --- Tables -----------------------------------------------------------------

TEST(RankingTables, EveryAliasNameBelongsToOnePairAndMapsBothWays) {
  std::set<std::string_view> names;
  for (const auto& [a, b] : VendorAliasPairs()) {
    EXPECT_TRUE(names.insert(a).second) << a;
    EXPECT_TRUE(names.insert(b).second) << b;
    EXPECT_EQ(VendorAlias(a), b);
    EXPECT_EQ(VendorAlias(b), a);
  }
  EXPECT_EQ(VendorAlias("INTEL"), "");
  EXPECT_EQ(VendorAlias(""), "");
}

TEST(RankingTables, InboxPrefixesExistForEveryVersionCodeAndEndInADot) {
  for (int code : {5, 6, 7, 8, 81, 10}) {
    for (bool x64 : {false, true}) {
      const auto prefixes = InboxVersionPrefixes(code, x64);
      EXPECT_FALSE(prefixes.empty()) << code;
      for (std::string_view prefix : prefixes) EXPECT_TRUE(prefix.ends_with('.')) << prefix;
    }
  }
  EXPECT_TRUE(InboxVersionPrefixes(9, true).empty());
  EXPECT_TRUE(InboxVersionPrefixes(0, false).empty());
}

// --- VendorsMatch -------------------------------------------------------------

TEST(VendorsMatch, EqualOrThroughOneAliasPairExactCaseOnly) {
  struct Case {
    const char* vendor;
    const char* other;
    bool match;
  };
  const Case cases[] = {
      {"INTEL", "INTEL", true},
      {"AMD", "ATI", true},
      {"ATI", "AMD", true},
      {"SILICON", "SIS", true},
      {"SIS", "SILICON", true},
      {"STMICROELECTRONICS", "ST", true},
      {"ST", "STMICROELECTRONICS", true},
      {"CISCOLINKSYS", "LINKSYS", true},
      {"LINKSYS", "CISCOLINKSYS", true},
      {"RIM", "RESEARCH", true},
      {"RESEARCH", "RIM", true},
      {"INTEL", "AMD", false},
      {"ATI", "SIS", false},  // one pair only, no chaining
      {"ati", "AMD", false},  // canonical names are upper case; no case folding
      {"AMD", "ATI ", false},
      // Unknown is not a vendor: two unknowns are no match.
      {"", "", false},
      {"", "INTEL", false},
      {"INTEL", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.vendor) + " / " + c.other);
    EXPECT_EQ(VendorsMatch(c.vendor, c.other), c.match);
  }
}

// --- IsInboxWindowsDriver -----------------------------------------------------

TEST(IsInboxWindowsDriver, MicrosoftVersionsOfTheRunningWindowsOnly) {
  struct Case {
    const char* version;
    const char* vendor;
    int code;
    bool x64;
    bool inbox;
  };
  const Case cases[] = {
      {"6.1.7601.17514", "MICROSOFT", 7, true, true},
      {"6.1.7600.16385", "MICROSOFT", 7, false, true},
      {"6.1.7100.0", "MICROSOFT", 7, true, true},
      {"6.1.7601.17514", "INTEL", 7, true, false},       // not Microsoft's
      {"6.1.7601.17514", "microsoft", 7, true, false},   // canonical names only
      {"6.1.7601.17514", "MICROSOFT", 10, true, false},  // another Windows
      {"6.1.7601", "MICROSOFT", 7, true, false},         // the prefix includes the dot
      {"16.1.7601.1", "MICROSOFT", 7, true, false},
      {"5.1.2600.5512", "MICROSOFT", 5, false, true},
      {"5.1.2600.5512", "MICROSOFT", 5, true, false},
      {"5.2.3790.1830", "MICROSOFT", 5, true, true},
      {"5.2.3790.1830", "MICROSOFT", 5, false, false},
      {"6.0.6000.16386", "MICROSOFT", 6, true, true},
      {"6.0.6002.18005", "MICROSOFT", 6, false, true},
      {"6.1.6002.1", "MICROSOFT", 6, true, true},
      {"6.2.8400.0", "MICROSOFT", 8, true, true},
      {"6.2.9200.16384", "MICROSOFT", 8, false, true},
      {"6.3.9600.16384", "MICROSOFT", 81, true, true},
      {"6.3.9431.0", "MICROSOFT", 81, true, true},
      {"6.4.9842.0", "MICROSOFT", 10, true, true},
      {"6.2.9200.16384", "MICROSOFT", 9, true, false},  // unknown code
      {"", "MICROSOFT", 7, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.version) + " " + c.vendor + " code " + std::to_string(c.code));
    EXPECT_EQ(IsInboxWindowsDriver(c.version, c.vendor, RunningWindows{c.code, c.x64}), c.inbox);
  }
}

// --- VersionLess --------------------------------------------------------------

TEST(VersionLess, ComparesNumericComponentsAndHonoursTheFlag) {
  struct Case {
    const char* a;
    const char* b;
    const char* vendor;
    bool flag;
    bool expected;
  };
  const Case cases[] = {
      {"", "1.0", "", true, false},
      {"1.0", "", "", true, false},
      {"1.0", "1.0", "", true, false},
      {"1.0", "2.0", "", true, true},
      {"2.0", "1.0", "", true, false},
      {"1.0", "2.0", "", false, false},
      {"2.0", "1.0", "", false, true},
      {"1.9", "1.10", "", true, true},  // numbers, not text
      {"1.10", "1.9", "", true, false},
      {"6.2.0.0", "6.2", "", true, false},  // missing groups count as 0
      {"6.2.0.0", "6.2", "", false, false},
      {"6.2", "6.2.0.1", "", true, true},
      {"01.2", "1.2", "", true, false},  // leading zeros
      {"1.2", "01.2", "", false, false},
      {"1.x", "1.1", "", true, true},  // not a number: 0
      {"1.1", "1.x", "", false, true},
      {"1.2.3", "1.2.3.", "", true, false},
      // Components beyond any integer type still order correctly.
      {"1.99999999999999999999", "1.99999999999999999998", "", true, false},
      {"1.99999999999999999998", "1.99999999999999999999", "", true, true},
      {"1.0", "18446744073709551616", "", true, true},
      // An in-box driver counts as older than anything else.
      {"6.1.7601.17514", "1.0", "MICROSOFT", true, true},
      {"6.1.7601.17514", "1.0", "MICROSOFT", false, true},
      {"6.1.7601.17514", "1.0", "", true, false},
      {"6.1.7601.17514", "6.1.7601.17514", "MICROSOFT", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " < " + c.b + " vendor " + c.vendor +
                 (c.flag ? " flag" : " !flag"));
    EXPECT_EQ(VersionLess(c.a, c.b, c.vendor, c.flag, kWindows7), c.expected);
  }
}

// --- Hid vendor ---------------------------------------------------------------

TEST(AssignHidVendors, DeviceVendorFirstElseEachCandidatesOwnCodes) {
  TDriverItems items = {Candidate("ATI"), Candidate("INTEL")};
  items[1].raw_id = "PCI\\VEN_8086&DEV_1E31";
  std::vector<std::string> asked;
  auto by_code = [&](std::string_view id) {
    asked.emplace_back(id);
    return std::string(id.find("VEN_8086") != std::string_view::npos ? "INTEL" : "");
  };

  AssignHidVendors(items, "AMD", by_code);
  EXPECT_EQ(items[0].hid_vendor, "AMD");
  EXPECT_EQ(items[1].hid_vendor, "AMD");
  EXPECT_TRUE(asked.empty());

  AssignHidVendors(items, "", by_code);
  EXPECT_EQ(items[0].hid_vendor, "");
  EXPECT_EQ(items[1].hid_vendor, "INTEL");
  EXPECT_EQ(asked, (std::vector<std::string>{items[0].raw_id, items[1].raw_id}));
}

// --- CheckVendorPlausibility --------------------------------------------------

// A device whose installed driver is well known: an Intel network adapter
// with Intel's own driver.
RankingDevice IntelDevice() {
  RankingDevice d;
  d.installed_version = "12.15.22.6";
  d.installed_date = 44000;
  d.installed_vendor = "INTEL";
  d.reg_manufacturer = d.drv_manufacturer = d.dev_manufacturer = "INTEL";
  d.reg_provider = d.drv_provider = d.dev_provider = "INTEL";
  d.description = "Ethernet Connection I219-V";
  return d;
}

// A device Windows knows nothing about.
RankingDevice UnknownDevice() {
  RankingDevice d;
  d.description = "Unknown device";
  d.no_driver_info = true;
  return d;
}

// A device running Microsoft's in-box driver on Windows 7.
RankingDevice InboxDevice() {
  RankingDevice d;
  d.installed_version = "6.1.7601.17514";
  d.installed_date = 40000;
  d.installed_vendor = "MICROSOFT";
  d.system_driver = true;
  d.reg_manufacturer = d.drv_manufacturer = d.dev_manufacturer = "MICROSOFT";
  d.reg_provider = d.drv_provider = d.dev_provider = "MICROSOFT";
  d.description = "Standard PS/2 Keyboard";
  return d;
}

struct PlausibilityCase {
  const char* label;
  RankingDevice (*device)();
  void (*adjust_device)(RankingDevice&);
  void (*adjust_candidate)(TDriverItem&);
  const char* candidate_vendor;
  const char* verdict;
};

void NoChange(RankingDevice&) {}
void NoChange(TDriverItem&) {}

TEST(CheckVendorPlausibility, FollowsTheEvidenceInOrder) {
  const PlausibilityCase cases[] = {
      {"manufacturer", IntelDevice, NoChange, NoChange, "INTEL", "manufacturer"},
      {"manufacturer through alias", IntelDevice,
       [](RankingDevice& d) { d.reg_manufacturer = "ATI"; }, NoChange, "AMD", "manufacturer"},
      {"drv manufacturer only", IntelDevice,
       [](RankingDevice& d) {
         d.reg_manufacturer = "";
         d.drv_manufacturer = "REALTEK";
       },
       NoChange, "REALTEK", "manufacturer"},
      {"dev manufacturer is not evidence", IntelDevice,
       [](RankingDevice& d) { d.dev_manufacturer = "REALTEK"; }, NoChange, "REALTEK",
       "declined:Vendor"},
      {"provider", IntelDevice, [](RankingDevice& d) { d.dev_provider = "REALTEK"; }, NoChange,
       "REALTEK", "provider"},
      {"reg provider", IntelDevice, [](RankingDevice& d) { d.reg_provider = "REALTEK"; }, NoChange,
       "REALTEK", "provider"},
      {"hid vendor", IntelDevice, NoChange, [](TDriverItem& c) { c.hid_vendor = "REALTEK"; },
       "REALTEK", "hid"},
      {"ATI candidate on a device whose codes name AMD", IntelDevice, NoChange,
       [](TDriverItem& c) { c.hid_vendor = "AMD"; }, "ATI", "hid"},
      {"hid vendor noted beside the manufacturer", IntelDevice, NoChange,
       [](TDriverItem& c) { c.hid_vendor = "INTEL"; }, "INTEL", "manufacturer,hid"},
      {"name vendor from the description", IntelDevice,
       [](RankingDevice& d) { d.description = "Realtek RTL8168 Gigabit Ethernet"; }, NoChange,
       "REALTEK", "name"},
      {"name vendor from the bus description", IntelDevice,
       [](RankingDevice& d) {
         d.description = "";
         d.bus_description = "Realtek RTL8168 Gigabit Ethernet";
       },
       NoChange, "REALTEK", "name"},
      // Touchpad makers need real evidence, even for a full hardware id.
      {"SYNAPTICS without evidence", UnknownDevice, NoChange, NoChange, "SYNAPTICS",
       "declined:Vendor"},
      {"ELAN without evidence", UnknownDevice, NoChange, NoChange, "ELAN", "declined:Vendor"},
      {"SYNAPTICS with its hid vendor", UnknownDevice, NoChange,
       [](TDriverItem& c) { c.hid_vendor = "SYNAPTICS"; }, "SYNAPTICS", "hid"},
      // In-box Microsoft driver: Microsoft's packages only through the
      // system rules, and providers do not count as ordinary evidence.
      {"system manufacturer", InboxDevice, NoChange, NoChange, "MICROSOFT", "sys_manufacturer"},
      {"in-box device, the vendor's own manufacturer", InboxDevice,
       [](RankingDevice& d) {
         d.reg_manufacturer = "CHICONY";
         d.drv_provider = "CHICONY";
       },
       NoChange, "CHICONY", "manufacturer"},
      {"system provider only", InboxDevice, [](RankingDevice& d) { d.dev_provider = "LOGITECH"; },
       NoChange, "LOGITECH", "sys_provider"},
      {"system manufacturer needs both MICROSOFT", InboxDevice,
       [](RankingDevice& d) {
         d.drv_manufacturer = "";
         d.drv_provider = d.dev_provider = d.reg_provider = "";
       },
       NoChange, "MICROSOFT", "manufacturer"},
      // Strict devices: a full id alone does not make another vendor's
      // package plausible.
      {"strict full hardware id", IntelDevice, NoChange, NoChange, "REALTEK", "declined:Vendor"},
      {"failed device is not strict", IntelDevice, [](RankingDevice& d) { d.failed = true; },
       NoChange, "REALTEK", "kept"},
      {"a Microsoft vendor makes it not strict", IntelDevice,
       [](RankingDevice& d) { d.dev_manufacturer = "MICROSOFT"; }, NoChange, "REALTEK", "kept"},
      {"same description makes it not strict", IntelDevice, NoChange,
       [](TDriverItem& c) { c.device_description = "Ethernet Connection I219-V"; }, "REALTEK",
       "kept"},
      {"no driver info, full hardware id", UnknownDevice, NoChange, NoChange, "REALTEK", "kept"},
      {"no driver info, full compatible id", UnknownDevice, NoChange,
       [](TDriverItem& c) { c.from_hardware_ids = false; }, "REALTEK", "none"},
      {"only the dev manufacturer known, full compatible id", UnknownDevice,
       [](RankingDevice& d) {
         d.no_driver_info = false;
         d.dev_manufacturer = "ACME";
         d.description = "Same";
       },
       [](TDriverItem& c) {
         c.from_hardware_ids = false;
         c.device_description = "Same";
       },
       "REALTEK", "none"},
      {"not strict, compatible id, vendors known", IntelDevice,
       [](RankingDevice& d) { d.failed = true; },
       [](TDriverItem& c) { c.from_hardware_ids = false; }, "REALTEK", "declined:Vendor"},
      {"no driver info, short form", UnknownDevice, NoChange,
       [](TDriverItem& c) { c.full_id = false; }, "REALTEK", "declined:Vendor"},
      // A candidate without a vendor is not "found by manufacturer" on a
      // device whose manufacturer is unknown as well.
      {"unknown candidate vendor", UnknownDevice, NoChange,
       [](TDriverItem& c) { c.full_id = false; }, "", "declined:Vendor"},
  };
  for (const PlausibilityCase& c : cases) {
    SCOPED_TRACE(c.label);
    RankingDevice device = c.device();
    c.adjust_device(device);
    TDriverItem item = Candidate(c.candidate_vendor);
    c.adjust_candidate(item);
    const bool kept = CheckVendorPlausibility(item, device);
    EXPECT_EQ(Verdict(item), c.verdict);
    EXPECT_EQ(kept, !item.declined);
  }
}

TEST(CheckVendorPlausibility, RecordsTheNameVendorAndResetsEarlierVerdicts) {
  RankingDevice device = IntelDevice();
  device.description = "Realtek RTL8168 Gigabit Ethernet";
  TDriverItem item = Candidate("REALTEK");
  item.declined = true;
  item.decline_reason = "VerDots";
  item.found_by_no_vendor = true;
  EXPECT_TRUE(CheckVendorPlausibility(item, device));
  EXPECT_EQ(item.name_vendor, "REALTEK");
  EXPECT_EQ(Verdict(item), "name");
  EXPECT_EQ(item.decline_reason, "");
}

TEST(CheckVendorPlausibility, ListCountsTheKeptCandidates) {
  TDriverItems items = {Candidate("INTEL"), Candidate("SYNAPTICS"), Candidate("REALTEK")};
  items[2].hid_vendor = "REALTEK";
  EXPECT_EQ(CheckVendorPlausibility(items, IntelDevice()), 2u);
  EXPECT_TRUE(items[1].declined);
}

// --- Similarity ---------------------------------------------------------------

TEST(DescriptionSimilarity, CountsAgreementFromBothEnds) {
  struct Case {
    std::string a;
    std::string b;
    int percent;
    bool similar;
  };
  const std::string thousand_a(1000, 'a');
  const Case cases[] = {
      {"realtek pcie gbe family controller", "realtek pcie gbe family controller #2", 91, true},
      {"realtek pcie gbe family controller #2", "realtek pcie gbe family controller", 91, true},
      {"intel(r) hd graphics", "intel(r) hd graphics 4000", 80, false},
      {"abc", "abc", 200, true},
      {"abc", "xyz", 0, false},
      {"", "abc", 0, false},
      {"", "", 0, false},  // nothing known about either name is not a likeness
      // Characters, not bytes: "ä" is one position.
      {"\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4",
       "\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4"
       "12",
       150, true},
      // Only the last 1000 characters of a long text take part: the
      // start-aligned comparison then sees the same tail.
      {std::string(1000, 'b') + thousand_a, thousand_a, 200, true},
      {std::string(200, 'x') + thousand_a, std::string(100, 'y') + thousand_a, 200, true},
      {thousand_a + std::string(1000, 'b'), thousand_a, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a.substr(0, 40) + " / " + c.b.substr(0, 40));
    EXPECT_EQ(DescriptionSimilarity(c.a, c.b), c.percent);
    EXPECT_EQ(DescriptionsSimilar(c.a, c.b), c.similar);
  }
}

// --- RankCandidate ------------------------------------------------------------

RankingDevice RealtekDevice() {
  RankingDevice d;
  d.installed_version = "10.1.505.2015";
  d.installed_date = 42000;
  d.installed_vendor = "REALTEK";
  d.reg_manufacturer = d.drv_manufacturer = d.dev_manufacturer = "REALTEK";
  d.reg_provider = d.drv_provider = d.dev_provider = "REALTEK";
  d.description = "Realtek PCIe GBE Family Controller";
  d.bus_description = "Ethernet Controller";
  return d;
}

// Full hardware id, position 0, vendor confirmed by manufacturer, hid and
// name, same description: the best rank there is.
TDriverItem BestCandidate() {
  TDriverItem c = Candidate("REALTEK", "10.1.505.2016");
  c.found_by_manufacturer = c.found_by_hid_vendor = c.found_by_name_vendor = true;
  c.device_description = "Realtek PCIe GBE Family Controller";
  return c;
}

struct RankCase {
  const char* label;
  void (*adjust_device)(RankingDevice&);
  void (*adjust_candidate)(TDriverItem&);
  int32_t rank;
  const char* decline_reason;  // "" = not declined
};

TEST(RankCandidate, AddsUpPlaceEvidenceAndDescription) {
  const RankCase cases[] = {
      {"best", NoChange, NoChange, 0, ""},
      {"full compatible id", NoChange, [](TDriverItem& c) { c.from_hardware_ids = false; }, 2000,
       ""},
      {"short hardware id", NoChange, [](TDriverItem& c) { c.full_id = false; }, 4000, ""},
      {"short compatible id", NoChange,
       [](TDriverItem& c) { c.full_id = c.from_hardware_ids = false; }, 6000, ""},
      {"positions", NoChange,
       [](TDriverItem& c) {
         c.id_position = 2;
         c.inf_line_index = 3;
       },
       5, ""},
      {"provider", NoChange,
       [](TDriverItem& c) {
         c.found_by_manufacturer = false;
         c.found_by_provider = true;
       },
       1, ""},
      // Without hid and name evidence: +1 each, and their own steps don't apply.
      {"manufacturer only", NoChange,
       [](TDriverItem& c) { c.found_by_hid_vendor = c.found_by_name_vendor = false; }, 2, ""},
      {"hid only", NoChange,
       [](TDriverItem& c) { c.found_by_manufacturer = c.found_by_name_vendor = false; }, 3, ""},
      {"name only", NoChange,
       [](TDriverItem& c) { c.found_by_manufacturer = c.found_by_hid_vendor = false; }, 4, ""},
      {"system manufacturer", NoChange,
       [](TDriverItem& c) {
         c = Candidate("REALTEK", "10.1.505.2016");
         c.device_description = "Realtek PCIe GBE Family Controller";
         c.found_by_system_manufacturer = true;
       },
       6, ""},
      {"system provider", NoChange,
       [](TDriverItem& c) {
         c = Candidate("REALTEK", "10.1.505.2016");
         c.device_description = "Realtek PCIe GBE Family Controller";
         c.found_by_system_provider = true;
       },
       7, ""},
      {"no vendor", NoChange,
       [](TDriverItem& c) {
         c = Candidate("REALTEK", "10.1.505.2016");
         c.device_description = "Realtek PCIe GBE Family Controller";
         c.found_by_no_vendor = true;
       },
       8, ""},
      {"no evidence at all", NoChange,
       [](TDriverItem& c) {
         c = Candidate("REALTEK", "10.1.505.2016");
         c.device_description = "Realtek PCIe GBE Family Controller";
       },
       9, ""},
      {"Microsoft's package", NoChange, [](TDriverItem& c) { c.vendor = "MICROSOFT"; }, 1, ""},
      // Descriptions, compared in lower case.
      {"same description in other case", NoChange,
       [](TDriverItem& c) { c.device_description = "REALTEK PCIE GBE FAMILY CONTROLLER"; }, 0, ""},
      {"same as the bus description", NoChange,
       [](TDriverItem& c) { c.device_description = "ethernet controller"; }, 0, ""},
      {"prefix of the description", NoChange,
       [](TDriverItem& c) { c.device_description = "Realtek PCIe GBE"; }, 1, ""},
      {"prefix of the bus description", NoChange,
       [](TDriverItem& c) { c.device_description = "Ethernet"; }, 1, ""},
      {"contains a long description", NoChange,
       [](TDriverItem& c) {
         c.device_description = "Realtek PCIe GBE Family Controller (NDIS 6.30)";
       },
       1, ""},
      {"contains a short description", [](RankingDevice& d) { d.description = "Realtek NIC"; },
       [](TDriverItem& c) { c.device_description = "Realtek NIC family"; }, 2, ""},
      {"failed device: descriptions are not looked at", [](RankingDevice& d) { d.failed = true; },
       [](TDriverItem& c) {
         c.device_description = "Something else";
         c.version = "1.0";
       },
       0, ""},
      // Unlike descriptions: +2, then the version shape.
      {"unlike, same dot count", NoChange,
       [](TDriverItem& c) { c.device_description = "Killer E2200"; }, 2, ""},
      {"unlike, no installed version", [](RankingDevice& d) { d.installed_version = ""; },
       [](TDriverItem& c) {
         c.device_description = "Killer E2200";
         c.version = "1.0";
       },
       2, ""},
      {"unlike, in-box installed driver",
       [](RankingDevice& d) {
         d.installed_version = "6.1.7601.17514";
         d.installed_vendor = "MICROSOFT";
       },
       [](TDriverItem& c) {
         c.device_description = "Killer E2200";
         c.version = "1.0";
       },
       2, ""},
      {"unlike, installed trailing zero groups dropped",
       [](RankingDevice& d) { d.installed_version = "6.2.0.0"; },
       [](TDriverItem& c) {
         c.device_description = "Killer E2200";
         c.version = "6.2";
       },
       2, ""},
      {"unlike, candidate has fewer real groups",
       [](RankingDevice& d) { d.installed_version = "6.2.1.0"; },
       [](TDriverItem& c) {
         c.device_description = "Killer E2200";
         c.version = "6.2";
       },
       3, ""},
      {"unlike, candidate has more groups", [](RankingDevice& d) { d.installed_version = "6.2"; },
       [](TDriverItem& c) {
         c.device_description = "Killer E2200";
         c.version = "6.2.0.0";
       },
       3, ""},
      // From rank 2010 on, a misshapen version declines the candidate
      // unless the names are alike.
      {"compatible id just below the limit", NoChange,
       [](TDriverItem& c) {
         c.from_hardware_ids = false;
         c.found_by_hid_vendor = c.found_by_name_vendor = false;
         c.id_position = 5;
         c.device_description = "Killer E2200";
         c.version = "1.0";
       },
       2010, ""},
      {"compatible id at the limit", NoChange,
       [](TDriverItem& c) {
         c.from_hardware_ids = false;
         c.found_by_hid_vendor = c.found_by_name_vendor = false;
         c.id_position = 6;
         c.device_description = "Killer E2200";
         c.version = "1.0";
       },
       2010, "VerDots"},
      {"compatible id, alike names", NoChange,
       [](TDriverItem& c) {
         c.from_hardware_ids = false;
         c.found_by_hid_vendor = c.found_by_name_vendor = false;
         c.id_position = 6;
         c.device_description = "Realtek PCIe FE Family Controller";
         c.version = "1.0";
       },
       2010, ""},
      {"VerDots replaces a vendor decline", NoChange,
       [](TDriverItem& c) {
         c.declined = true;
         c.decline_reason = "Vendor";
         c.full_id = c.from_hardware_ids = false;
         c.found_by_manufacturer = c.found_by_hid_vendor = c.found_by_name_vendor = false;
         c.device_description = "Killer E2200";
         c.version = "1.0";
       },
       6011, "VerDots"},
      {"both descriptions empty count as unlike",
       [](RankingDevice& d) { d.description = d.bus_description = ""; },
       [](TDriverItem& c) {
         c.from_hardware_ids = false;
         c.id_position = 20;
         c.device_description = "";
         c.version = "1.0";
       },
       2022, "VerDots"},
      {"a damaged database cannot overflow the rank", NoChange,
       [](TDriverItem& c) {
         c.id_position = std::numeric_limits<int32_t>::max();
         c.inf_line_index = std::numeric_limits<int32_t>::max();
       },
       std::numeric_limits<int32_t>::max(), ""},
  };
  for (const RankCase& c : cases) {
    SCOPED_TRACE(c.label);
    RankingDevice device = RealtekDevice();
    c.adjust_device(device);
    TDriverItem item = BestCandidate();
    c.adjust_candidate(item);
    item.rank = 12345;  // computed from scratch, not added to
    RankCandidate(item, device, kWindows7);
    EXPECT_EQ(item.rank, c.rank);
    EXPECT_EQ(item.decline_reason, c.decline_reason);
    EXPECT_EQ(item.declined, *c.decline_reason != '\0');
  }
}

// A package found only through a compatible id, named unlike the device,
// whose version has more groups than the installed one, belongs to another
// device: it is declined and never offered.
TEST(RankCandidate, CompatibleOnlyMatchWithForeignVersionShapeIsDeclined) {
  RankingDevice device = RealtekDevice();
  device.installed_version = "10.1.505";
  TDriverItems items = {Candidate("REALTEK", "2.0.1.7", 46000)};
  items[0].from_hardware_ids = false;
  items[0].id_position = 3;
  items[0].inf_line_index = 4;
  items[0].device_description = "USB 2.0 Card Reader";
  ASSERT_EQ(CheckVendorPlausibility(items, device), 1u);
  EXPECT_TRUE(items[0].found_by_manufacturer);

  const RankingOutcome outcome = RankAndSelect(items, device, kWindows7);
  EXPECT_TRUE(items[0].declined);
  EXPECT_EQ(items[0].decline_reason, "VerDots");
  EXPECT_EQ(items[0].rank, 2000 + 3 + 4 + 0 + 1 + 1 + 2);
  EXPECT_EQ(outcome.status, RankingStatus::kVerDots);
  EXPECT_FALSE(outcome.winner);
}

// --- MarkNewer ----------------------------------------------------------------

struct NewerCase {
  const char* label;
  RankingDevice (*device)();
  const char* vendor;
  const char* version;
  double date;
  bool by_date;
  bool by_version;
};

RankingDevice PlainDevice() {
  RankingDevice d = RealtekDevice();
  d.installed_version = "1.0";
  d.installed_date = 44000;
  return d;
}

RankingDevice NoInstalledVersion() {
  RankingDevice d = PlainDevice();
  d.installed_version = "";
  return d;
}

RankingDevice UnknownDate() {
  RankingDevice d = PlainDevice();
  d.installed_date = 0;
  return d;
}

// A Wi-Fi driver 21.120.0.9 of 2020-09-15: a later package is newer by date
// whatever its version says, and 6.79 is older by number (6 < 21), not by
// text ("6" > "2").
RankingDevice WifiDevice() {
  RankingDevice d = PlainDevice();
  d.installed_version = "21.120.0.9";
  d.installed_date = 44089;
  return d;
}

TEST(MarkNewer, DateMustExceedOneDayAndInboxDriversNeverLoseOnVersion) {
  const NewerCase cases[] = {
      {"newer version, later", PlainDevice, "REALTEK", "1.1", 44100, true, true},
      {"older version, later", PlainDevice, "REALTEK", "0.9", 44100, true, false},
      {"newer version, same day", PlainDevice, "REALTEK", "1.1", 44000.9, false, true},
      {"exactly one day later", PlainDevice, "REALTEK", "1.1", 44001, false, true},
      {"a day and a half later", PlainDevice, "REALTEK", "1.1", 44001.5, true, true},
      {"same version, later", PlainDevice, "REALTEK", "1.0", 44100, false, false},
      {"older date", PlainDevice, "REALTEK", "1.1", 43000, false, true},
      {"no installed version", NoInstalledVersion, "REALTEK", "1.1", 44100, true, false},
      {"unknown installed date", UnknownDate, "REALTEK", "1.1", 44100, true, true},
      {"undated candidate", UnknownDate, "REALTEK", "1.1", 0, false, true},
      {"lower version, three years later", WifiDevice, "INTEL", "6.79.505.4051", 45272, true,
       false},
      {"higher version, a year earlier", WifiDevice, "INTEL", "22.10.0.2", 43700, false, true},
      // In-box Microsoft driver on Windows 7.
      {"in-box: Microsoft, same version, later", InboxDevice, "MICROSOFT", "6.1.7601.17514", 44100,
       false, false},
      {"in-box: Microsoft, other version, later", InboxDevice, "MICROSOFT", "6.1.7601.23403", 44100,
       true, false},
      {"in-box: vendor package, same version, later", InboxDevice, "CHICONY", "6.1.7601.17514",
       44100, true, false},
      {"in-box: vendor package, higher version, same day", InboxDevice, "CHICONY", "7.0", 40000.5,
       false, false},
  };
  for (const NewerCase& c : cases) {
    SCOPED_TRACE(c.label);
    TDriverItems items = {Candidate(c.vendor, c.version, c.date)};
    MarkNewer(items, c.device(), kWindows7);
    EXPECT_EQ(items[0].newer_by_date, c.by_date);
    EXPECT_EQ(items[0].newer_by_version, c.by_version);
  }
}

// --- SelectWinner -------------------------------------------------------------

TDriverItem Offer(const char* version, double date, int32_t rank = 0) {
  TDriverItem c = Candidate("REALTEK", version, date);
  c.rank = rank;
  c.newer_by_date = true;
  return c;
}

std::optional<std::string> WinnerVersion(const TDriverItems& items) {
  const auto winner = SelectWinner(items);
  if (!winner) return std::nullopt;
  return items[*winner].version;
}

TEST(SelectWinner, SameDayPrefersTheLowerVersionInEitherOrder) {
  EXPECT_EQ(WinnerVersion({Offer("2.0", 45000), Offer("1.5", 45000)}), "1.5");
  EXPECT_EQ(WinnerVersion({Offer("1.5", 45000), Offer("2.0", 45000)}), "1.5");
  EXPECT_EQ(SelectWinner({Offer("1.5", 45000), Offer("2.0", 45000)}), 0u);
}

TEST(SelectWinner, ALaterDateConsideredAfterTheChoiceReplacesItWhateverItsVersion) {
  // The walk runs from the last candidate to the first.
  EXPECT_EQ(WinnerVersion({Offer("2.0", 45000.25), Offer("1.5", 45000)}), "2.0");
  EXPECT_EQ(WinnerVersion({Offer("1.0", 45000.25), Offer("1.5", 45000)}), "1.0");
  EXPECT_EQ(WinnerVersion({Offer("1.0", 45003), Offer("1.5", 45000)}), "1.0");
  EXPECT_EQ(WinnerVersion({Offer("1.5", 45000), Offer("1.0", 45003)}), "1.0");
  // A lower version a day older at most still counts as the same release.
  EXPECT_EQ(WinnerVersion({Offer("1.0", 45000), Offer("1.5", 45001)}), "1.0");
  // A lower version more than a day older does not take over.
  EXPECT_EQ(WinnerVersion({Offer("1.0", 45000), Offer("1.5", 45001.5)}), "1.5");
}

TEST(SelectWinner, BestRankAmongKeptNewerCandidates) {
  TDriverItems items = {Offer("3.0", 45000, 7), Offer("2.0", 45000, 3), Offer("1.0", 45000, 3)};
  EXPECT_EQ(WinnerVersion(items), "1.0");

  items[2].declined = true;
  EXPECT_EQ(WinnerVersion(items), "2.0");

  items[1].newer_by_date = false;  // not newer at all: out
  EXPECT_EQ(WinnerVersion(items), "3.0");

  items[0].newer_by_date = false;
  items[0].newer_by_version = true;  // newer by version alone is enough
  EXPECT_EQ(WinnerVersion(items), "3.0");
}

TEST(SelectWinner, NoneWhenEverythingIsDeclinedOrNothingIsNewer) {
  EXPECT_EQ(SelectWinner({}), std::nullopt);
  TDriverItems declined = {Offer("1.0", 45000), Offer("2.0", 45000)};
  for (TDriverItem& c : declined) c.declined = true;
  EXPECT_EQ(SelectWinner(declined), std::nullopt);
  TDriverItems old = {Offer("1.0", 45000)};
  old[0].newer_by_date = false;
  EXPECT_EQ(SelectWinner(old), std::nullopt);
}

TEST(SelectWinner, RanksFromTenThousandOnAreOnlyTakenAtExactlyTenThousand) {
  EXPECT_EQ(WinnerVersion({Offer("1.0", 45000, 9999), Offer("2.0", 45000, 10000)}), "1.0");
  EXPECT_EQ(WinnerVersion({Offer("2.0", 45000, 10000)}), "2.0");
  EXPECT_EQ(WinnerVersion({Offer("2.0", 45000, 10001)}), std::nullopt);
}

// --- RankAndSelect ------------------------------------------------------------

TEST(RankAndSelect, ReportsVendorVerDotsOrTheWinner) {
  const RankingDevice device = RealtekDevice();

  TDriverItems declined = {BestCandidate()};
  declined[0].declined = true;
  declined[0].decline_reason = "Vendor";
  RankingOutcome outcome = RankAndSelect(declined, device, kWindows7);
  EXPECT_EQ(outcome.status, RankingStatus::kVendor);
  EXPECT_FALSE(outcome.winner);
  EXPECT_EQ(declined[0].rank, 0);  // ranked all the same
  EXPECT_FALSE(declined[0].newer_by_date);

  TDriverItems not_newer = {BestCandidate()};
  not_newer[0].version = "1.0";
  not_newer[0].date = 41000;
  outcome = RankAndSelect(not_newer, device, kWindows7);
  EXPECT_EQ(outcome.status, RankingStatus::kVerDots);
  EXPECT_FALSE(outcome.winner);

  TDriverItems offers = {BestCandidate(), BestCandidate()};
  offers[0].date = 41000;
  offers[0].version = "1.0";
  outcome = RankAndSelect(offers, device, kWindows7);
  EXPECT_EQ(outcome.status, RankingStatus::kWinner);
  EXPECT_EQ(outcome.winner, 1u);
  EXPECT_TRUE(offers[1].newer_by_version);
  EXPECT_TRUE(offers[1].newer_by_date);

  EXPECT_EQ(RankingStatusText(RankingStatus::kVendor), "Vendor");
  EXPECT_EQ(RankingStatusText(RankingStatus::kVerDots), "VerDots");
  EXPECT_EQ(RankingStatusText(RankingStatus::kWinner), "Success");
}

// --- Device flags -------------------------------------------------------------

TEST(DeriveDeviceFlags, SystemDriverAndNoDriverInfo) {
  RankingDevice device = InboxDevice();
  device.system_driver = false;
  DeriveDeviceFlags(device, "Keyboard", "Keyboard", kWindows7);
  EXPECT_TRUE(device.system_driver);
  EXPECT_FALSE(device.no_driver_info);

  DeriveDeviceFlags(device, "Keyboard", "Keyboard", kWindows10);
  EXPECT_FALSE(device.system_driver);

  DeriveDeviceFlags(device, "Unknown", "Keyboard", kWindows7);
  EXPECT_TRUE(device.no_driver_info);
  DeriveDeviceFlags(device, "Keyboard", "Unknown", kWindows7);
  EXPECT_TRUE(device.no_driver_info);

  RankingDevice bare;
  EXPECT_TRUE(NoDriverInfo(bare, "Net", "Net"));
  bare.dev_provider = "REALTEK";
  EXPECT_FALSE(NoDriverInfo(bare, "Net", "Net"));
}

}  // namespace
}  // namespace vx
