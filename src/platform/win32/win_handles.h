// Owners for the Win32 handles the backend holds. Only this folder and the
// GUI include <windows.h>.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/handle.h"

namespace vx::win32 {

struct HkeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { RegCloseKey(h); }
};
using UniqueHkey = UniqueHandle<HkeyTraits>;

// CreateFile and friends answer INVALID_HANDLE_VALUE, most others null.
struct FileHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Type h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(Type h) { CloseHandle(h); }
};
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;

struct HandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Type h) { CloseHandle(h); }
};
using UniqueHandleW = UniqueHandle<HandleTraits>;

struct ViewTraits {
  using Type = void*;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { UnmapViewOfFile(h); }
};
using UniqueView = UniqueHandle<ViewTraits>;

std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

}  // namespace vx::win32
