// Archive policy on top of the 7-Zip binding: which files go into a ZIP,
// and where (if anywhere) each extracted entry may land.
#include "common/archive.h"

#include <array>
#include <chrono>
#include <string>

#include "common/logger.h"
#include "platform/seven_zip.h"
#include "common/text.h"
#include "platform/platform.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

uint32_t TickCountNow() {
  if (platform::IsAttached()) return platform::Sys().TickCount();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

// Names Windows maps to devices whatever the extension ("nul.txt" too).
bool IsDeviceName(std::string_view component) {
  std::string stem(component.substr(0, component.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  stem = AsciiUpper(stem);
  static constexpr std::array<std::string_view, 8> kFixed = {"CON", "PRN", "AUX", "NUL",
                                                             "CONIN$", "CONOUT$", "CLOCK$", "KEYBD$"};
  for (auto n : kFixed)
    if (stem == n) return true;
  if (stem.size() >= 4 && (stem.starts_with("COM") || stem.starts_with("LPT"))) {
    std::string_view rest = std::string_view(stem).substr(3);
    if (rest.size() == 1 && rest[0] >= '0' && rest[0] <= '9') return true;
    // COM¹ COM² COM³ (superscript digits) are devices too.
    if (rest == "\xC2\xB9" || rest == "\xC2\xB2" || rest == "\xC2\xB3") return true;
  }
  return false;
}

// True when no existing component from root down to path is a link (a
// link planted inside the target could otherwise lead the write out).
bool NoLinksBelow(const fs::path& root, const fs::path& rel) {
  fs::path p = root;
  for (const auto& part : rel) {
    p /= part;
    std::error_code ec;
    auto st = fs::symlink_status(p, ec);
    if (ec || st.type() == fs::file_type::not_found) return true;
    if (st.type() == fs::file_type::symlink) return false;
  }
  return true;
}

bool IsInside(const fs::path& canonical_root, const fs::path& p) {
  std::error_code ec;
  fs::path c = fs::weakly_canonical(p, ec);
  if (ec) return false;
  auto r = canonical_root.begin();
  auto i = c.begin();
  for (; r != canonical_root.end(); ++r, ++i) {
    if (r->empty() && std::next(r) == canonical_root.end()) break;  // trailing separator
    if (i == c.end() || *i != *r) return false;
  }
  return true;
}

void RemoveWritten(const std::vector<fs::path>& files) {
  for (const auto& f : files) {
    std::error_code ec;
    fs::remove(f, ec);
  }
}

}  // namespace

std::optional<fs::path> SafeEntryPath(std::string_view entry_name) {
  std::string name(entry_name);
  for (char& c : name)
    if (c == '\\') c = '/';
  if (name.empty() || name.front() == '/') return std::nullopt;  // absolute, UNC, root-relative
  for (unsigned char c : name) {
    // ':' is a drive ("C:x") or an alternate data stream ("a:b"); the rest
    // are names Windows refuses or reinterprets.
    if (c < 0x20 || c == 0x7F || c == ':' || c == '<' || c == '>' || c == '"' || c == '|' ||
        c == '?' || c == '*')
      return std::nullopt;
  }
  fs::path rel;
  for (const std::string& part : Split(name, '/')) {
    if (part.empty() || part == ".") continue;
    if (part == "..") return std::nullopt;
    // Windows drops trailing dots and blanks, so ".. " would mean "..".
    if (part.back() == '.' || part.back() == ' ') return std::nullopt;
    if (IsDeviceName(part)) return std::nullopt;
    rel /= U8Path(part);
  }
  if (rel.empty()) return std::nullopt;
  return rel;
}

bool ZipFile(const std::vector<fs::path>& files, const fs::path& archive) {
  std::vector<platform::seven_zip::NewEntry> entries;
  for (const auto& f : files) {
    std::error_code ec;
    if (!fs::is_regular_file(f, ec)) continue;
    entries.push_back({PathUtf8(f.filename()), f, std::nullopt});
  }
  if (entries.empty()) return false;

  std::error_code ec;
  if (fs::exists(archive, ec)) {
    if (!fs::remove(archive, ec)) {
      fs::path aside = archive;
      aside += U8Path(std::to_string(TickCountNow()));
      fs::rename(archive, aside, ec);
      if (ec) LogError("ZipFile", "Cannot delete and rename file: " + PathUtf8(archive), {}, kErrorAccessDenied);
    }
  }
  std::string error;
  if (!platform::seven_zip::Write(archive, platform::seven_zip::Format::kZip, entries, 5, error)) {
    LogError("ZipFile", "Write fail", PathUtf8(archive) + " " + error);
    fs::remove(archive, ec);
    return false;
  }
  return true;
}

bool UnZipFile(const fs::path& archive, const fs::path& target, const ArchiveProgress& progress) {
  return UnZipFile(archive, target, progress, nullptr);
}

bool UnZipFile(const fs::path& archive, const fs::path& target, const ArchiveProgress& progress,
               std::vector<std::string>* skipped) {
  LogMessage("UnZipFile", PathUtf8(archive) + " to " + PathUtf8(target));
  std::error_code ec;
  fs::create_directory(target, ec);
  if (!fs::is_directory(target, ec)) {
    LogError("UnZipFile", "CreateDir fail", PathUtf8(target), kErrorPathNotFound);
    return false;
  }
  std::string ext = LowerCase(PathUtf8(archive.extension()));
  platform::seven_zip::Format format;
  if (ext == ".zip") {
    format = platform::seven_zip::Format::kZip;
  } else if (ext == ".7z") {
    format = platform::seven_zip::Format::kSevenZip;
  } else {
    return true;  // not an archive kind we unpack: nothing to do
  }
  fs::path root = fs::canonical(target, ec);
  if (ec) {
    LogError("UnZipFile", "Target not resolved", PathUtf8(target), kErrorPathNotFound);
    return false;
  }

  platform::seven_zip::ExtractRequest request;
  request.progress = progress;
  request.place = [&](const platform::seven_zip::EntryInfo& e) -> std::optional<fs::path> {
    auto skip = [&](const char* why) -> std::optional<fs::path> {
      LogError("UnZipFile", std::string("Entry skipped: ") + why, e.name);
      if (skipped) skipped->push_back(e.name);
      return std::nullopt;
    };
    if (e.is_alt_stream) return skip("alternate data stream");
    if (e.is_link) return skip("link");
    auto rel = SafeEntryPath(e.name);
    if (!rel) return skip("unsafe name");
    fs::path dest = root / *rel;
    if (!NoLinksBelow(root, *rel) || !IsInside(root, dest)) return skip("path leads out");
    std::error_code ec2;
    if (e.is_dir) {
      fs::create_directories(dest, ec2);
      return std::nullopt;
    }
    fs::create_directories(dest.parent_path(), ec2);
    if (!NoLinksBelow(root, *rel) || !IsInside(root, dest)) return skip("path leads out");
    if (fs::is_directory(dest, ec2)) return skip("a folder of that name exists");
    return dest;
  };

  platform::seven_zip::ExtractReport report = platform::seven_zip::Extract(archive, format, request);
  switch (report.outcome) {
    case platform::seven_zip::Outcome::kOk:
      return true;
    case platform::seven_zip::Outcome::kCancelled:
      LogMessage("UnZipFile: Cancelled", PathUtf8(archive));
      break;
    case platform::seven_zip::Outcome::kFailed:
      LogError("UnZipFile", "Extract fail", PathUtf8(archive) + " " + report.error, report.code);
      break;
  }
  RemoveWritten(report.written);
  return false;
}

}  // namespace vx
