// One candidate driver for one device: what the driver database said about
// an offer (filled by FindDriversByHID) and what the ranking later decided
// about it (vendor plausibility, rank, newer flags, decline).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vx {

struct TDriverItem {
  // --- From the database lookup --------------------------------------------
  std::string hardware_id;  // the queried identifier form, every "\" doubled
  std::string raw_id;       // the device's identifier as listed in the device list
  int32_t id_position = 0;  // index of raw_id in the device's identifier list
  int32_t inf_line_index = 0;  // "hardid_index_in_line"
  std::string version;         // trimmed
  double date = 0;             // 0 when the database text is not a date
  std::string file_name;       // plain form (converted back from the stored form)
  std::string installer;       // path inside the package, "\" separated
  std::string file_hash;       // MD5 of the package file, hexadecimal
  std::string file_description;
  std::string device_description;
  std::string vendor;  // canonical vendor, trimmed
  bool from_hardware_ids = false;  // false: found through the compatible ids
  bool full_id = false;            // false: found through the short form

  // --- Filled by the ranking ------------------------------------------------
  std::string hid_vendor;
  std::string name_vendor;
  bool found_by_provider = false;
  bool found_by_system_provider = false;
  bool found_by_manufacturer = false;
  bool found_by_system_manufacturer = false;
  bool found_by_hid_vendor = false;
  bool found_by_name_vendor = false;
  bool found_by_no_vendor = false;
  bool newer_by_date = false;
  bool newer_by_version = false;
  int32_t rank = 0;
  bool declined = false;
  std::string decline_reason;  // "Vendor" or "VerDots"
};

// The scan's candidate list for one device, in lookup order.
using TDriverItems = std::vector<TDriverItem>;

}  // namespace vx
