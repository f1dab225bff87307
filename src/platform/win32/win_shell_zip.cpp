#include <windows.h>
// After windows.h: these headers rely on its declarations.
#include <shellapi.h>
#include <shldisp.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <filesystem>
#include <string>
#include <utility>

#include "platform/result.h"
#include "platform/shell_zip.h"
#include "platform/win32/win_handles.h"

namespace vx::platform {

namespace {

// Owns one reference of a COM interface.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() {
    if (p_) p_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T** out() { return &p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// A VARIANT cleared on the way out (it may own a BSTR or a reference).
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  ~Variant() { VariantClear(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  static void Text(Variant& v, const std::wstring& text) {
    v.v_.vt = VT_BSTR;
    v.v_.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  }
  VARIANT& get() { return v_; }

 private:
  VARIANT v_;
};

// The shell's objects live in a single-threaded apartment. The apartment
// stays for the thread's life: the copy the shell starts outlives the call.
bool EnsureApartment() {
  struct Apartment {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ~Apartment() {
      if (SUCCEEDED(hr)) CoUninitialize();
    }
  };
  thread_local Apartment apartment;
  // RPC_E_CHANGED_MODE: the thread already is in the multithreaded
  // apartment; the shell object then runs through a proxy, which works.
  return SUCCEEDED(apartment.hr) || apartment.hr == RPC_E_CHANGED_MODE;
}

ShellZipResult Fail(ShellZipStep step, HRESULT hr) {
  return {step, static_cast<uint32_t>(hr == S_OK || hr == S_FALSE ? E_FAIL : hr)};
}

HRESULT OpenShell(ComRef<IShellDispatch>& shell) {
  if (!EnsureApartment()) return CO_E_NOTINITIALIZED;
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(L"Shell.Application", &clsid);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                          __uuidof(IShellDispatch), reinterpret_cast<void**>(shell.out()));
}

// NameSpace answers S_FALSE and no folder for a path it cannot open.
HRESULT OpenFolder(IShellDispatch* shell, const std::filesystem::path& path, ComRef<Folder>& folder) {
  std::error_code ec;
  auto full = std::filesystem::absolute(path, ec);
  if (ec) full = path;
  Variant where;
  Variant::Text(where, full.make_preferred().wstring());
  HRESULT hr = shell->NameSpace(where.get(), folder.out());
  if (SUCCEEDED(hr) && !folder) hr = E_FAIL;
  return hr;
}

// The folder's items, filtered by mask: folders, files and hidden items.
HRESULT ItemsOf(Folder* folder, std::string_view mask, ComRef<FolderItems>& items) {
  HRESULT hr = folder->Items(items.out());
  if (FAILED(hr) || !items) return FAILED(hr) ? hr : E_FAIL;
  if (mask.empty()) return S_OK;
  ComRef<FolderItems3> filterable;
  hr = items->QueryInterface(__uuidof(FolderItems3), reinterpret_cast<void**>(filterable.out()));
  if (FAILED(hr)) return hr;
  std::wstring pattern = win32::Wide(mask);
  BSTR text = SysAllocStringLen(pattern.data(), static_cast<UINT>(pattern.size()));
  hr = filterable->Filter(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, text);
  SysFreeString(text);
  return hr;
}

// Silent and without confirmations in both directions, so no dialog waits
// for a user who is not there.
constexpr LONG kCopyOptions = FOF_SILENT | FOF_NOCONFIRMATION;

HRESULT CopyItems(Folder* into, FolderItems* items) {
  Variant what, options;
  what.get().vt = VT_DISPATCH;
  what.get().pdispVal = items;
  items->AddRef();  // the variant's own reference, released by VariantClear
  options.get().vt = VT_I4;
  options.get().lVal = kCopyOptions;
  return into->CopyHere(what.get(), options.get());
}

ShellZipResult Copy(const std::filesystem::path& from, ShellZipStep from_fails,
                    const std::filesystem::path& into, ShellZipStep into_fails,
                    std::string_view mask) {
  ComRef<IShellDispatch> shell;
  if (HRESULT hr = OpenShell(shell); FAILED(hr)) return Fail(ShellZipStep::kUnavailable, hr);
  ComRef<Folder> source, target;
  if (HRESULT hr = OpenFolder(shell.get(), from, source); FAILED(hr)) return Fail(from_fails, hr);
  if (HRESULT hr = OpenFolder(shell.get(), into, target); FAILED(hr)) return Fail(into_fails, hr);
  ComRef<FolderItems> items;
  if (HRESULT hr = ItemsOf(source.get(), mask, items); FAILED(hr))
    return Fail(ShellZipStep::kCopy, hr);
  if (HRESULT hr = CopyItems(target.get(), items.get()); FAILED(hr))
    return Fail(ShellZipStep::kCopy, hr);
  return {};
}

}  // namespace

ShellZipResult ShellCopyIntoZip(const std::filesystem::path& source_folder,
                                const std::filesystem::path& zip_file, std::string_view mask) {
  return Copy(source_folder, ShellZipStep::kInvalidSource, zip_file, ShellZipStep::kInvalidZip,
              mask);
}

ShellZipResult ShellCopyOutOfZip(const std::filesystem::path& zip_file,
                                 const std::filesystem::path& target_folder,
                                 std::string_view mask) {
  return Copy(zip_file, ShellZipStep::kInvalidZip, target_folder, ShellZipStep::kInvalidTarget,
              mask);
}

uint32_t CurrentProcessThreadCount() {
  win32::UniqueFileHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snap) return 0;
  const DWORD self = GetCurrentProcessId();
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  uint32_t n = 0;
  for (BOOL more = Thread32First(snap.get(), &entry); more; more = Thread32Next(snap.get(), &entry))
    if (entry.th32OwnerProcessID == self) ++n;
  return n;
}

}  // namespace vx::platform
