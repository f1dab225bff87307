// WinInet handles and errors, shared by the HTTP transfer and the uploads.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>

#include "platform/http.h"
#include "platform/win32/win_handles.h"

namespace vx::win32 {

struct InternetTraits {
  using Type = HINTERNET;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { InternetCloseHandle(h); }
};
using UniqueInternet = UniqueHandle<InternetTraits>;

// WinInet sometimes fails without setting an error; never report success.
inline uint32_t LastInetError() {
  DWORD e = GetLastError();
  return e ? static_cast<uint32_t>(e) : static_cast<uint32_t>(platform::kInetErrInternal);
}

}  // namespace vx::win32
