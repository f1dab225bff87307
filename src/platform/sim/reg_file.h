// Registry export files (.reg) for the simulated machine: the same text
// regedit writes and imports, so a machine image can be prepared on a real
// PC and loaded here, and a simulated registry can be inspected by hand.
//
// Reading accepts both headers ("Windows Registry Editor Version 5.00" and
// the older "REGEDIT4") in UTF-16LE with BOM, UTF-8 or ANSI. Writing always
// produces the version 5 form regedit itself exports, byte for byte in
// layout, so diffs against a real export stay small.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace vx::sim {

// Registry value types as Windows numbers them.
using platform::kRegBinary;
using platform::kRegDword;
using platform::kRegExpandSz;
using platform::kRegMultiSz;
using platform::kRegNone;
using platform::kRegQword;
using platform::kRegSz;

struct RegFileValue {
  std::string name;  // UTF-8; "" is the default value ("@")
  uint32_t type = kRegSz;
  // Raw bytes exactly as Windows stores them (REG_SZ: UTF-16LE including the
  // terminating NUL; DWORD: 4 LE bytes; MULTI_SZ: UTF-16LE strings each
  // NUL-terminated plus a final NUL).
  std::string data;
  bool remove = false;  // "name"=-

  friend bool operator==(const RegFileValue&, const RegFileValue&) = default;
};

struct RegFileKey {
  // Full path, root spelled out ("HKEY_LOCAL_MACHINE\\SYSTEM\\Setup"); the
  // rest is kept as written because key names are case-preserving.
  std::string path;
  bool remove = false;  // [-HKEY_...]
  std::vector<RegFileValue> values;

  friend bool operator==(const RegFileKey&, const RegFileKey&) = default;
};

struct RegFileError {
  int line = 0;  // 1-based
  std::string reason;
};

// bytes: the whole file. Every "[key]" line yields its own entry in file
// order (a key written twice appears twice) so that applying the result
// replays the file exactly as regedit would. On failure `out` is left empty
// and nothing of the file is returned: a half-imported machine is worse
// than none.
bool ParseRegFile(std::string_view bytes, std::vector<RegFileKey>& out, RegFileError& err);

// Version 5.00, UTF-16LE with BOM, CR LF line ends, one blank line after each
// key. Data that the quoted or dword forms cannot carry exactly (a REG_SZ
// without terminator or with line breaks, a DWORD that is not 4 bytes) is
// written as hex(N) so that reading the file back returns the same bytes.
std::string WriteRegFile(const std::vector<RegFileKey>& keys);

// "HKLM", "hkey_local_machine" -> "HKEY_LOCAL_MACHINE"; "" when the name is
// not one of the roots a .reg file may address.
std::string_view ExpandRegRoot(std::string_view root);

}  // namespace vx::sim
