// Drives the 7-Zip format library through its COM-style interfaces. The
// library and this code exchange PROPVARIANTs and BSTRs: on Windows both
// sides use oleaut32; on Linux both sides carry a copy of 7-Zip's
// MyWindows.cpp, whose BSTR layout (32-bit length prefix, malloc) must be
// the same in our build and in the packaged library, and is.
//
// Everything the library calls back is noexcept: an exception escaping
// into the library would unwind through foreign frames.
#include "platform/seven_zip.h"

#include <cstring>
#include <fstream>
#include <mutex>

// 7-Zip's headers (on Windows they include <windows.h> themselves; this is
// the only translation unit of the layer that sees them).
#include "Common/MyWindows.h"
#include "Common/MyInitGuid.h"
#include "Common/MyCom.h"
#include "7zip/Archive/IArchive.h"
#include "7zip/IPassword.h"
#include "7zip/IStream.h"
#include "7zip/PropID.h"

#include "common/text.h"
#include "platform/archive_lib.h"
#include "platform/result.h"

namespace vx::platform::seven_zip {
namespace {

namespace fs = std::filesystem;

// {23170F69-40C1-278A-1000-000110xx0000}
GUID FormatClsid(Format f) {
  GUID g{0x23170F69, 0x40C1, 0x278A, {0x10, 0x00, 0x00, 0x01, 0x10, 0x00, 0x00, 0x00}};
  g.Data4[5] = f == Format::kZip ? 0x01 : 0x07;
  return g;
}

using CreateObjectFn = HRESULT(WINAPI*)(const GUID* clsid, const GUID* iid, void** out);

// The library is loaded once per process and kept: unloading it while a
// worker thread of a previous call might still be winding down is not safe.
CreateObjectFn CreateObjectEntry(std::string& error) {
  static std::mutex mu;
  static std::unique_ptr<platform::LoadedLibrary> lib;
  static CreateObjectFn fn = nullptr;
  std::lock_guard lock(mu);
  if (fn) return fn;
  fs::path path = platform::ArchiveLibraryPath();
  auto loaded = platform::LoadLibraryByPath(path);
  if (!loaded) {
    error = "Cannot load " + PathUtf8(path) + " (error " + std::to_string(loaded.error()) + ")";
    return nullptr;
  }
  fn = reinterpret_cast<CreateObjectFn>((*loaded)->Proc("CreateObject"));
  if (!fn) {
    error = "CreateObject missing in " + PathUtf8(path);
    return nullptr;
  }
  lib = std::move(*loaded);
  return fn;
}

std::string FromWide(const wchar_t* s) {
  if (!s) return {};
#if WCHAR_MAX > 0xFFFF
  std::u16string u;
  for (; *s; ++s) {
    char32_t c = static_cast<char32_t>(*s);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c >= 0x10000) {
      c -= 0x10000;
      u.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      u.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      u.push_back(static_cast<char16_t>(c));
    }
  }
  return Utf16ToUtf8(u);
#else
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(s)));
#endif
}

std::wstring ToWide(std::string_view utf8) {
  std::u16string u = Utf8ToUtf16(utf8);
#if WCHAR_MAX > 0xFFFF
  std::wstring w;
  for (size_t i = 0; i < u.size(); ++i) {
    char32_t c = u[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (u[i + 1] - 0xDC00);
      ++i;
    }
    w.push_back(static_cast<wchar_t>(c));
  }
  return w;
#else
  return std::wstring(u.begin(), u.end());
#endif
}

// A PROPVARIANT that is always cleared, with the library's own rules.
struct Prop {
  PROPVARIANT v;
  Prop() { std::memset(&v, 0, sizeof v); v.vt = VT_EMPTY; }
  ~Prop() { Clear(); }
  Prop(const Prop&) = delete;
  Prop& operator=(const Prop&) = delete;
  void Clear() {
    if (v.vt == VT_BSTR) SysFreeString(v.bstrVal);
    std::memset(&v, 0, sizeof v);
    v.vt = VT_EMPTY;
  }
};

bool GetBool(IInArchive* arc, UInt32 i, PROPID id) {
  Prop p;
  if (arc->GetProperty(i, id, &p.v) != S_OK) return false;
  return p.v.vt == VT_BOOL && p.v.boolVal != VARIANT_FALSE;
}

uint32_t GetU32(IInArchive* arc, UInt32 i, PROPID id, bool& present) {
  Prop p;
  present = false;
  if (arc->GetProperty(i, id, &p.v) != S_OK || p.v.vt != VT_UI4) return 0;
  present = true;
  return p.v.ulVal;
}

bool HasText(IInArchive* arc, UInt32 i, PROPID id) {
  Prop p;
  if (arc->GetProperty(i, id, &p.v) != S_OK) return false;
  return p.v.vt == VT_BSTR && p.v.bstrVal && p.v.bstrVal[0] != 0;
}

// ---- streams -------------------------------------------------------------

HRESULT SeekStream(std::istream* in, std::ostream* out, Int64 offset, UInt32 origin,
                   UInt64* new_pos) noexcept {
  std::ios::seekdir dir = origin == 0 ? std::ios::beg : origin == 1 ? std::ios::cur : std::ios::end;
  if (origin > 2) return STG_E_INVALIDFUNCTION;
  std::streamoff pos;
  if (in) {
    in->clear();
    in->seekg(offset, dir);
    pos = in->tellg();
  } else {
    out->clear();
    out->seekp(offset, dir);
    pos = out->tellp();
  }
  if (pos < 0) return E_FAIL;
  if (new_pos) *new_pos = static_cast<UInt64>(pos);
  return S_OK;
}

Z7_CLASS_IMP_COM_1(CInFile, IInStream)
  Z7_IFACE_COM7_IMP(ISequentialInStream)
 public:
  std::ifstream file;
};

Z7_COM7F_IMF(CInFile::Read(void* data, UInt32 size, UInt32* processed)) {
  if (processed) *processed = 0;
  if (size == 0) return S_OK;
  file.read(static_cast<char*>(data), size);
  std::streamsize n = file.gcount();
  if (processed) *processed = static_cast<UInt32>(n);
  if (file.bad()) return E_FAIL;
  file.clear();
  return S_OK;
}

Z7_COM7F_IMF(CInFile::Seek(Int64 offset, UInt32 origin, UInt64* new_pos)) {
  return SeekStream(&file, nullptr, offset, origin, new_pos);
}

Z7_CLASS_IMP_COM_1(COutFile, IOutStream)
  Z7_IFACE_COM7_IMP(ISequentialOutStream)
 public:
  std::fstream file;
  fs::path path;
};

Z7_COM7F_IMF(COutFile::Write(const void* data, UInt32 size, UInt32* processed)) {
  if (processed) *processed = 0;
  file.write(static_cast<const char*>(data), size);
  if (!file) return E_FAIL;
  if (processed) *processed = size;
  return S_OK;
}

Z7_COM7F_IMF(COutFile::Seek(Int64 offset, UInt32 origin, UInt64* new_pos)) {
  return SeekStream(nullptr, &file, offset, origin, new_pos);
}

Z7_COM7F_IMF(COutFile::SetSize(UInt64 size)) {
  file.flush();
  std::error_code ec;
  fs::resize_file(path, size, ec);
  return ec ? E_FAIL : S_OK;
}

// A sequential stream over bytes held in memory (test and tool archives).
Z7_CLASS_IMP_COM_1(CBytesIn, ISequentialInStream)
 public:
  std::string data;
  size_t pos = 0;
};

Z7_COM7F_IMF(CBytesIn::Read(void* out, UInt32 size, UInt32* processed)) {
  size_t n = std::min<size_t>(size, data.size() - pos);
  std::memcpy(out, data.data() + pos, n);
  pos += n;
  if (processed) *processed = static_cast<UInt32>(n);
  return S_OK;
}

// ---- extraction ------------------------------------------------------------

// Encrypted archives are not ours: answering the password question with a
// failure ends the operation instead of waiting for a user.
Z7_CLASS_IMP_COM_2(COpenCallback, IArchiveOpenCallback, ICryptoGetTextPassword)
};

Z7_COM7F_IMF(COpenCallback::SetTotal(const UInt64*, const UInt64*)) { return S_OK; }
Z7_COM7F_IMF(COpenCallback::SetCompleted(const UInt64*, const UInt64*)) { return S_OK; }
Z7_COM7F_IMF(COpenCallback::CryptoGetTextPassword(BSTR*)) { return E_ABORT; }

Z7_CLASS_IMP_COM_2(CExtractCallback, IArchiveExtractCallback, ICryptoGetTextPassword)
  Z7_IFACE_COM7_IMP(IProgress)
 public:
  const std::vector<std::optional<fs::path>>* targets = nullptr;
  const ExtractRequest* request = nullptr;
  ExtractReport* report = nullptr;
  UInt64 total = 0;
  bool cancelled = false;
  CMyComPtr<ISequentialOutStream> current;
  COutFile* current_file = nullptr;
  fs::path current_path;
  void Finish(bool ok);
};

Z7_COM7F_IMF(CExtractCallback::SetTotal(UInt64 size)) {
  total = size;
  return S_OK;
}

Z7_COM7F_IMF(CExtractCallback::SetCompleted(const UInt64* done)) {
  if (!request->progress || !done) return S_OK;
  try {
    if (!request->progress(*done, total)) {
      cancelled = true;
      return E_ABORT;
    }
  } catch (...) {
    cancelled = true;
    return E_ABORT;
  }
  return S_OK;
}

Z7_COM7F_IMF(CExtractCallback::GetStream(UInt32 index, ISequentialOutStream** out, Int32 mode)) {
  *out = nullptr;
  if (mode != NArchive::NExtract::NAskMode::kExtract) return S_OK;
  if (index >= targets->size() || !(*targets)[index]) return S_OK;
  try {
    auto* f = new COutFile;  // reference-counted by the library's rules
    CMyComPtr<ISequentialOutStream> holder(f);
    f->path = *(*targets)[index];
    f->file.open(f->path, std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
    if (!f->file) {
      if (report->error.empty()) report->error = "Cannot create " + PathUtf8(f->path);
      return E_FAIL;
    }
    report->written.push_back(f->path);
    current = holder;
    current_file = f;
    current_path = f->path;
    *out = holder.Detach();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

Z7_COM7F_IMF(CExtractCallback::PrepareOperation(Int32)) { return S_OK; }

void CExtractCallback::Finish(bool ok) {
  if (current_file) {
    current_file->file.close();
    if (current_file->file.fail()) ok = false;
  }
  if (!ok && !current_path.empty() && report->error.empty())
    report->error = "Data error in " + PathUtf8(current_path);
  current.Release();
  current_file = nullptr;
  current_path.clear();
}

Z7_COM7F_IMF(CExtractCallback::SetOperationResult(Int32 result)) {
  bool ok = result == NArchive::NExtract::NOperationResult::kOK;
  if (!ok && report->error.empty()) report->error = "Entry failed, result " + std::to_string(result);
  if (!ok) report->code = static_cast<uint32_t>(result);
  try {
    Finish(ok);
  } catch (...) {
  }
  return ok ? S_OK : E_FAIL;
}

Z7_COM7F_IMF(CExtractCallback::CryptoGetTextPassword(BSTR*)) { return E_ABORT; }

// ---- writing ---------------------------------------------------------------

Z7_CLASS_IMP_COM_1(CUpdateCallback, IArchiveUpdateCallback)
  Z7_IFACE_COM7_IMP(IProgress)
 public:
  const std::vector<NewEntry>* entries = nullptr;
  std::string error;
};

Z7_COM7F_IMF(CUpdateCallback::SetTotal(UInt64)) { return S_OK; }
Z7_COM7F_IMF(CUpdateCallback::SetCompleted(const UInt64*)) { return S_OK; }

Z7_COM7F_IMF(CUpdateCallback::GetUpdateItemInfo(UInt32, Int32* new_data, Int32* new_props,
                                                 UInt32* index_in_archive)) {
  if (new_data) *new_data = 1;
  if (new_props) *new_props = 1;
  if (index_in_archive) *index_in_archive = static_cast<UInt32>(-1);
  return S_OK;
}

Z7_COM7F_IMF(CUpdateCallback::GetProperty(UInt32 index, PROPID id, PROPVARIANT* value)) {
  value->vt = VT_EMPTY;
  if (index >= entries->size()) return E_INVALIDARG;
  const NewEntry& e = (*entries)[index];
  try {
    switch (id) {
      case kpidPath: {
        std::wstring w = ToWide(e.name);
        value->bstrVal = SysAllocString(w.c_str());
        if (!value->bstrVal) return E_OUTOFMEMORY;
        value->vt = VT_BSTR;
        break;
      }
      case kpidIsDir:
      case kpidIsAnti:
        value->vt = VT_BOOL;
        value->boolVal = VARIANT_FALSE;
        break;
      case kpidSize: {
        std::error_code ec;
        value->vt = VT_UI8;
        value->uhVal.QuadPart = e.data ? e.data->size() : fs::file_size(e.source, ec);
        if (ec) value->uhVal.QuadPart = 0;
        break;
      }
      case kpidAttrib:
        value->vt = VT_UI4;
        value->ulVal = e.attrib;
        break;
      case kpidMTime: {
        // Windows file time of the source; "now" for in-memory entries.
        std::error_code ec;
        auto sys = std::chrono::system_clock::now();
        if (!e.data) {
          auto t = fs::last_write_time(e.source, ec);
          if (ec) break;
          sys = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
              fs::file_time_type::clock::to_sys(t));
        }
        auto ticks = std::chrono::duration_cast<std::chrono::duration<int64_t, std::ratio<1, 10000000>>>(
                         sys.time_since_epoch()).count() + 116444736000000000LL;
        value->vt = VT_FILETIME;
        value->filetime.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
        value->filetime.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
        break;
      }
      default:
        break;
    }
  } catch (...) {
    return E_FAIL;
  }
  return S_OK;
}

Z7_COM7F_IMF(CUpdateCallback::GetStream(UInt32 index, ISequentialInStream** in)) {
  *in = nullptr;
  if (index >= entries->size()) return E_INVALIDARG;
  const NewEntry& e = (*entries)[index];
  try {
    if (e.data) {
      auto* s = new CBytesIn;
      CMyComPtr<ISequentialInStream> holder(s);
      s->data = *e.data;
      *in = holder.Detach();
      return S_OK;
    }
    auto* f = new CInFile;
    CMyComPtr<ISequentialInStream> holder(f);
    f->file.open(e.source, std::ios::binary);
    if (!f->file) {
      if (error.empty()) error = "Cannot open " + PathUtf8(e.source);
      return E_FAIL;
    }
    *in = holder.Detach();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

Z7_COM7F_IMF(CUpdateCallback::SetOperationResult(Int32 result)) {
  if (result != NArchive::NUpdate::NOperationResult::kOK && error.empty())
    error = "Update failed, result " + std::to_string(result);
  return S_OK;
}

std::string HresultText(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}

}  // namespace

ExtractReport Extract(const fs::path& archive, Format format, const ExtractRequest& request) {
  ExtractReport report;
  try {
    CreateObjectFn create = CreateObjectEntry(report.error);
    if (!create) return report;
    GUID clsid = FormatClsid(format);
    CMyComPtr<IInArchive> arc;
    if (create(&clsid, &IID_IInArchive, reinterpret_cast<void**>(&arc)) != S_OK || !arc) {
      report.error = "CreateObject(IInArchive) failed";
      return report;
    }
    auto* in = new CInFile;
    CMyComPtr<IInStream> in_holder(in);
    in->file.open(archive, std::ios::binary);
    if (!in->file) {
      report.error = "Cannot open " + PathUtf8(archive);
      report.code = kErrorFileNotFound;
      return report;
    }
    CMyComPtr<IArchiveOpenCallback> open_cb(new COpenCallback);
    const UInt64 max_check = 1 << 22;
    HRESULT hr = arc->Open(in_holder, &max_check, open_cb);
    if (hr != S_OK) {
      report.error = "Not a readable archive (" + HresultText(hr) + ")";
      return report;
    }
    UInt32 count = 0;
    if (arc->GetNumberOfItems(&count) != S_OK) {
      report.error = "GetNumberOfItems failed";
      arc->Close();
      return report;
    }
    std::vector<std::optional<fs::path>> targets(count);
    std::vector<UInt32> indices;
    for (UInt32 i = 0; i < count; ++i) {
      EntryInfo info;
      info.index = i;
      Prop path;
      if (arc->GetProperty(i, kpidPath, &path.v) == S_OK && path.v.vt == VT_BSTR)
        info.name = FromWide(path.v.bstrVal);
      info.is_dir = GetBool(arc, i, kpidIsDir);
      info.is_alt_stream = GetBool(arc, i, kpidIsAltStream);
      bool has_posix = false, has_attrib = false;
      uint32_t posix = GetU32(arc, i, kpidPosixAttrib, has_posix);
      uint32_t attrib = GetU32(arc, i, kpidAttrib, has_attrib);
      if (!has_posix && has_attrib && (attrib & 0x8000)) {  // Unix mode in the high half
        posix = attrib >> 16;
        has_posix = true;
      }
      info.is_link = (has_posix && (posix & 0170000) == 0120000) ||
                     (has_attrib && (attrib & 0x400)) ||  // FILE_ATTRIBUTE_REPARSE_POINT
                     HasText(arc, i, kpidSymLink) || HasText(arc, i, kpidHardLink);
      targets[i] = request.place(info);
      if (targets[i]) indices.push_back(i);
    }
    if (indices.empty()) {
      arc->Close();
      report.outcome = Outcome::kOk;
      return report;
    }
    auto* cb = new CExtractCallback;
    CMyComPtr<IArchiveExtractCallback> cb_holder(cb);
    cb->targets = &targets;
    cb->request = &request;
    cb->report = &report;
    hr = arc->Extract(indices.data(), static_cast<UInt32>(indices.size()), 0, cb_holder);
    cb->Finish(hr == S_OK);
    arc->Close();
    if (cb->cancelled) {
      report.outcome = Outcome::kCancelled;
    } else if (hr != S_OK) {
      if (report.error.empty()) report.error = "Extract failed (" + HresultText(hr) + ")";
    } else if (report.error.empty()) {
      report.outcome = Outcome::kOk;
    }
  } catch (const std::exception& e) {
    report.error = e.what();
    report.outcome = Outcome::kFailed;
  }
  return report;
}

bool Write(const fs::path& archive, Format format, const std::vector<NewEntry>& entries, int level,
           std::string& error) {
  try {
    CreateObjectFn create = CreateObjectEntry(error);
    if (!create) return false;
    GUID clsid = FormatClsid(format);
    CMyComPtr<IOutArchive> arc;
    if (create(&clsid, &IID_IOutArchive, reinterpret_cast<void**>(&arc)) != S_OK || !arc) {
      error = "CreateObject(IOutArchive) failed";
      return false;
    }
    if (level >= 0) {
      CMyComPtr<ISetProperties> props;
      arc->QueryInterface(IID_ISetProperties, reinterpret_cast<void**>(&props));
      if (props) {
        const wchar_t* names[] = {L"x"};
        PROPVARIANT values[1];
        std::memset(values, 0, sizeof values);
        values[0].vt = VT_UI4;
        values[0].ulVal = static_cast<ULONG>(level);
        if (props->SetProperties(names, values, 1) != S_OK) {
          error = "SetProperties failed";
          return false;
        }
      }
    }
    auto* out = new COutFile;
    CMyComPtr<IOutStream> out_holder(out);
    out->path = archive;
    out->file.open(archive, std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
    if (!out->file) {
      error = "Cannot create " + PathUtf8(archive);
      return false;
    }
    auto* cb = new CUpdateCallback;
    CMyComPtr<IArchiveUpdateCallback> cb_holder(cb);
    cb->entries = &entries;
    HRESULT hr = arc->UpdateItems(out_holder, static_cast<UInt32>(entries.size()), cb_holder);
    out->file.close();
    if (hr != S_OK || out->file.fail() || !cb->error.empty()) {
      error = !cb->error.empty() ? cb->error : "UpdateItems failed (" + HresultText(hr) + ")";
      return false;
    }
    return true;
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
}

}  // namespace vx::platform::seven_zip
