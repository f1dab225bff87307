#include "common/system_helpers.h"

#include <exception>

#include "common/date_time.h"
#include "common/logger.h"
#include "common/text.h"
#include "platform/platform.h"

namespace vx {

namespace {

// The messages of one privilege's failed steps.
struct PrivilegeMessages {
  const char* lookup;
  const char* adjust;
  const char* not_assigned;
};

}  // namespace

void RebootSystem() {
  auto r = platform::EnablePrivilege("SeShutdownPrivilege");
  if (r.failed == platform::PrivilegeStep::kOpenToken)
    LogError("RebootSystem", "OpenProcessToken fail", {}, r.code);
  else if (r.failed == platform::PrivilegeStep::kLookup)
    LogError("RebootSystem", "LookupPrivilegeValue fail", {}, r.code);
  if (Status s = platform::RequestReboot()) LogError("RebootSystem", "ExitWindowsEx fail", {}, s);
}

void GetDebugPrivilege() {
  static constexpr const char* kNames[] = {"SeDebugPrivilege", "SeIncreaseQuotaPrivilege",
                                           "SeImpersonatePrivilege"};
  static constexpr PrivilegeMessages kMessages[] = {
      {"LookupPrivilegeValue fail", "AdjustTokenPrivileges 1.1 fail", "AdjustTokenPrivileges 1.2 fail"},
      {"LookupPrivilegeValue 2 fail", "AdjustTokenPrivileges 2.1 fail", "AdjustTokenPrivileges 2.2 fail"},
      {"LookupPrivilegeValue 3 fail", "AdjustTokenPrivileges 3.1 fail", "AdjustTokenPrivileges 3.2 fail"},
  };
  for (int i = 0; i < 3; ++i) {
    auto r = platform::EnablePrivilege(kNames[i]);
    switch (r.failed) {
      case platform::PrivilegeStep::kNone:
        break;
      case platform::PrivilegeStep::kOpenToken:
        LogError("GetDebugPrivilege", "OpenProcessToken fail", {}, r.code);
        return;
      case platform::PrivilegeStep::kLookup:
        LogError("GetDebugPrivilege", kMessages[i].lookup, kNames[i], r.code);
        break;
      case platform::PrivilegeStep::kAdjust:
        LogError("GetDebugPrivilege", kMessages[i].adjust, kNames[i], r.code);
        break;
      case platform::PrivilegeStep::kNotAssigned:
        LogError("GetDebugPrivilege", kMessages[i].not_assigned, kNames[i], r.code);
        break;
    }
  }
}

bool IsAdminUser() {
  static const bool answer = platform::UserIsAdmin();
  return answer;
}

bool IsWindows64() {
  static const bool answer = platform::Sys().IsWindows64();
  return answer;
}

double GetSystemStartTime() {
  static const double answer = NowDateTime() - platform::Sys().TickCount() / 86400000.0;
  return answer;
}

void RegReadMultiString(platform::RegRoot root, std::string_view key, std::string_view name,
                        std::vector<std::string>& list) {
  constexpr size_t kMaxBytes = 2048;
  list.clear();
  try {
    auto k = platform::Reg().OpenKey(root, key, false);
    if (!k) return;
    auto v = (*k)->QueryValue(name);
    if (!v || v->type != platform::kRegMultiSz || v->data.size() > kMaxBytes) return;
    list = platform::DecodeRegMultiString(v->data);
  } catch (const std::exception& e) {
    list.clear();
    LogError("RegReadMultiString", "Common error", e.what());
  }
}

namespace {

// Code points, so a count never cuts a character in half.
std::u32string CodePoints(std::string_view text) {
  std::u16string wide = Utf8ToUtf16(text);
  std::u32string out;
  for (size_t i = 0; i < wide.size(); ++i) {
    char32_t c = wide[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
      ++i;
    }
    out.push_back(c);
  }
  return out;
}

std::string FromCodePoints(std::u32string_view cps) {
  std::u16string wide;
  for (char32_t c : cps) {
    if (c >= 0x10000) {
      c -= 0x10000;
      wide.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      wide.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      wide.push_back(static_cast<char16_t>(c));
    }
  }
  return Utf16ToUtf8(wide);
}

}  // namespace

std::string DeleteLeft(std::string_view text, int n) {
  if (n <= 0) return std::string(text);
  std::u32string cps = CodePoints(text);
  if (cps.size() < static_cast<size_t>(n)) return {};
  return FromCodePoints(std::u32string_view(cps).substr(n));
}

std::string DeleteRight(std::string_view text, int n) {
  if (n <= 0) return std::string(text);
  std::u32string cps = CodePoints(text);
  if (cps.size() < static_cast<size_t>(n)) return {};
  return FromCodePoints(std::u32string_view(cps).substr(0, cps.size() - n));
}

}  // namespace vx
