#include "engine/ranking_tables.h"

namespace vx {
namespace {

constexpr std::pair<std::string_view, std::string_view> kVendorAliases[] = {
    {"SILICON", "SIS"},  {"STMICROELECTRONICS", "ST"}, {"CISCOLINKSYS", "LINKSYS"},
    {"RIM", "RESEARCH"},  // Research In Motion
    {"AMD", "ATI"},       // AMD bought ATI; ATI's PCI vendor code 1002 goes by either name
};

enum class Edition { kAny, k32, k64 };

struct InboxPrefixes {
  int windows_code;
  Edition edition;
  std::span<const std::string_view> prefixes;
};

constexpr std::string_view kXp32[] = {"5.1.2600."};
constexpr std::string_view kXp64[] = {"5.2.3790."};
constexpr std::string_view kVista[] = {"6.0.6000.", "6.0.6001.", "6.0.6002.", "6.1.6002."};
constexpr std::string_view kSeven[] = {"6.1.7100.", "6.1.7600.", "6.1.7601."};
constexpr std::string_view kEight[] = {"6.2.8400.", "6.2.9200."};
constexpr std::string_view kEightOne[] = {"6.3.9600.", "6.3.9431."};
constexpr std::string_view kTen[] = {"6.4.9842."};

constexpr InboxPrefixes kInboxPrefixes[] = {
    {5, Edition::k32, kXp32},   {5, Edition::k64, kXp64},   {6, Edition::kAny, kVista},
    {7, Edition::kAny, kSeven}, {8, Edition::kAny, kEight}, {81, Edition::kAny, kEightOne},
    {10, Edition::kAny, kTen},
};

}  // namespace

std::span<const std::pair<std::string_view, std::string_view>> VendorAliasPairs() {
  return kVendorAliases;
}

std::string_view VendorAlias(std::string_view vendor) {
  for (const auto& [a, b] : kVendorAliases) {
    if (vendor == a) return b;
    if (vendor == b) return a;
  }
  return {};
}

std::span<const std::string_view> InboxVersionPrefixes(int windows_code, bool x64) {
  for (const InboxPrefixes& row : kInboxPrefixes)
    if (row.windows_code == windows_code &&
        (row.edition == Edition::kAny || row.edition == (x64 ? Edition::k64 : Edition::k32)))
      return row.prefixes;
  return {};
}

}  // namespace vx
