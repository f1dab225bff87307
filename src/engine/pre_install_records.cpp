#include "engine/pre_install_records.h"

#include <chrono>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/date_time.h"
#include "common/ini_file.h"
#include "common/locale_format.h"
#include "common/logger.h"
#include "common/params.h"
#include "common/text.h"
#include "platform/platform.h"

namespace vx {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTag = "CreateInstallSnapshots";
constexpr std::chrono::milliseconds kRetryDelay{1000};

bool IsNumeric(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name)
    if (c < '0' || c > '9') return false;
  return true;
}

// An existing record, its lines ended with CR LF as this program writes them.
std::string ReadRecordText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string raw = DecodeTextFile(buffer.str());
  std::string text;
  text.reserve(raw.size());
  size_t pos = 0;
  while (pos < raw.size()) {
    size_t end = raw.find('\n', pos);
    if (end == std::string::npos) end = raw.size();
    std::string_view line(raw.data() + pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    (text += line) += "\r\n";
    pos = end + 1;
  }
  return text;
}

bool WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  return static_cast<bool>(out);
}

// One save, and after a failure one more on a fresh file.
void SaveTextWithRetry(const fs::path& path, const std::string& text) {
  if (WriteText(path, text)) return;
  LogError(kTag, "Save fail", PathUtf8(path));
  std::this_thread::sleep_for(kRetryDelay);
  std::error_code ec;
  fs::remove(path, ec);
  if (!WriteText(path, text)) LogError(kTag, "Save fail 2", PathUtf8(path));
}

void SaveIniWithRetry(const IniFile& ini) {
  uint32_t code = 0;
  if (ini.SaveToFile(ini.FileName(), code)) return;
  LogError(kTag, "Ini.UpdateFile fail", PathUtf8(ini.FileName()), code);
  std::this_thread::sleep_for(kRetryDelay);
  std::error_code ec;
  fs::remove(ini.FileName(), ec);
  if (!ini.SaveToFile(ini.FileName(), code))
    LogError(kTag, "Ini.UpdateFile fail 2", PathUtf8(ini.FileName()), code);
}

void AppendLine(std::string& text, std::string_view line) {
  text += line;
  text += "\r\n";
}

// "[name]", the section's "key=value" lines and an empty line; the number of
// keys copied.
size_t AppendSection(std::string& text, const std::string& name, const IniFile& ini,
                     const std::string& section) {
  text += '[';
  text += name;
  text += "]\r\n";
  const size_t count = ini.AppendSectionValues(section, text, "\r\n");
  text += "\r\n";
  return count;
}

}  // namespace

void CreateInstallSnapshots(const fs::path& base_dir_arg, const fs::path& scan_result_arg,
                            const fs::path& decision_record_arg, const IniFile* saved_record) {
  const fs::path base_dir = base_dir_arg.empty() ? Params().base_dir : base_dir_arg;
  const fs::path scan_path = scan_result_arg.empty() ? base_dir / "Scan.ini" : scan_result_arg;
  const fs::path plus_path =
      decision_record_arg.empty() ? base_dir / "DevicesPlus.ini" : decision_record_arg;
  std::error_code ec;

  IniFile scan(scan_path);
  const std::vector<std::string> sections = scan.ReadSections();
  auto safe_name = [](const std::string& package) {
    // A package name comes from the database: never let it leave BaseDir.
    return !package.empty() && package.find_first_of("/\\:") == std::string::npos &&
           package != "." && package != "..";
  };
  // Status file names of the packages this scan offers: step 4 saves them
  // again anyway, so step 1 leaves their saving to it.
  std::set<std::string> offered_status_files;
  for (const std::string& s : sections) {
    if (!IsNumeric(s)) continue;
    const std::string package = scan.ReadString(s, "PackageName");
    if (safe_name(package)) offered_status_files.insert(package + ".status");
  }

  // 1. Every status file: packages waiting for a restart keep their
  // records; the others are not present until this scan offers them again.
  std::set<std::string> protected_packages;
  // Status files changed in step 1 and saved in step 4, by file name, with
  // the "Present" they had on disk.
  struct DeferredStatus {
    IniFile file;
    std::string present_before;
  };
  std::map<std::string, DeferredStatus> deferred_status;
  for (const auto& entry : fs::directory_iterator(base_dir, ec)) {
    const fs::path& p = entry.path();
    if (!entry.is_regular_file(ec) || p.extension() != ".status") continue;
    IniFile status(p);
    if (status.ReadBool("Settings", "CheckAfterRestart", false)) {
      protected_packages.insert(LowerCase(PathUtf8(p.stem())));
    } else {
      const std::string present_before = status.ReadString("Settings", "Present");
      status.WriteBool("Settings", "Present", false);
      const std::string file_name = PathUtf8(p.filename());
      if (offered_status_files.count(file_name) > 0) {
        deferred_status.emplace(file_name, DeferredStatus{std::move(status), present_before});
        continue;
      }
      // Already saying so: the file stays as it is.
      if (present_before == "0") continue;
    }
    status.UpdateFile(IniUpdateLog{std::string(kTag), "Ini.UpdateFile fail",
                                   "Ini.UpdateFile fail 2"});
  }

  // 2.
  std::optional<IniFile> loaded_plus;
  if (!saved_record) loaded_plus.emplace(plus_path);
  const IniFile& plus = saved_record ? *saved_record : *loaded_plus;
  if (sections.empty()) LogMessage(kTag, "no sections");
  auto is_protected = [&](const std::string& package) {
    return protected_packages.count(LowerCase(package)) > 0;
  };
  auto pre_path = [&](const std::string& package) { return base_dir / U8Path(package + ".pre"); };

  // 3. Old records of the offered packages go first, so this scan's
  // blocks are not appended to a previous scan's.
  std::set<std::string> removed_records;  // packages whose record is gone
  for (const std::string& s : sections) {
    if (!IsNumeric(s)) continue;
    const std::string package = scan.ReadString(s, "PackageName");
    if (!safe_name(package) || is_protected(package)) continue;
    const fs::path pre = pre_path(package);
    // No error: removed, or there was none to remove.
    if (fs::remove(pre, ec) || !ec) {
      removed_records.insert(package);
      continue;
    }
    fs::path aside = pre;
    aside += std::to_string(platform::Sys().TickCount());
    fs::rename(pre, aside, ec);
    if (ec) LogError(kTag, "DeleteFile fail", PathUtf8(pre), static_cast<uint32_t>(ec.value()));
  }

  // 4. A package offered for several devices gets one block per device in
  // one record; the records are built here and each saved once at the end.
  struct Record {
    fs::path path;
    std::string text;
  };
  std::vector<Record> records;
  std::map<std::string, size_t> record_of;  // package -> records index
  // Status files saved in this step (a package offered twice is saved once).
  std::set<std::string> saved_status;
  const std::string base_date = scan.ReadString("Settings", "Base");
  const std::string separator = LocaleOrDefault().decimal_separator;
  for (const std::string& s : sections) {
    if (!IsNumeric(s)) continue;
    const std::string package = scan.ReadString(s, "PackageName");
    const std::string device_section = scan.ReadString(s, "DeviceIniSection");
    if (package.empty() || device_section.empty()) {
      LogError(kTag, "PackageName or DeviceIndex empty", s);
      continue;
    }
    if (!safe_name(package)) {
      LogError(kTag, "PackageName invalid", package);
      continue;
    }
    if (is_protected(package)) continue;

    auto [slot, first_block] = record_of.try_emplace(package, records.size());
    if (first_block) {
      Record record{pre_path(package), {}};
      if (!removed_records.count(package) && fs::exists(record.path, ec))
        record.text = ReadRecordText(record.path);
      if (record.text.empty()) {
        IniFile raw;
        raw.WriteFloat("x", "x", NowDateTime(), separator.size() == 1 ? separator[0] : '.');
        for (const std::string& line :
             {std::string("[Settings]"), "Base=" + base_date,
              "FileDescription=" + scan.ReadString(s, "Description"),
              "FullFileName=" + scan.ReadString(s, "FName"),
              "Vendor=" + scan.ReadString(s, "Vendor"), "Version=" + scan.ReadString(s, "Version2"),
              "Date=" + scan.ReadString(s, "Date2"), "Generated=" + raw.ReadString("x", "x"),
              std::string()})
          AppendLine(record.text, line);
      }
      records.push_back(std::move(record));
    }
    std::string& text = records[slot->second].text;

    const std::string status_name = package + ".status";
    if (saved_status.insert(status_name).second) {
      auto deferred = deferred_status.find(status_name);
      const bool loaded = deferred != deferred_status.end();
      IniFile status =
          loaded ? std::move(deferred->second.file) : IniFile(base_dir / U8Path(status_name));
      bool changed = !loaded || deferred->second.present_before != "1";
      if (!status.ValueExists("Settings", "Status")) {
        status.WriteString("Settings", "Status", "None");
        changed = true;
      }
      status.WriteBool("Settings", "Present", true);
      // A package offered again by every scan keeps its file untouched.
      if (changed) SaveIniWithRetry(status);
    }

    if (AppendSection(text, device_section + "-scan", scan, s) == 0)
      LogError(kTag, "Ini Values empty", s);
    if (AppendSection(text, device_section, plus, device_section) == 0)
      LogError(kTag, "IniPlus Values empty", device_section);
    const int count = plus.ReadInteger(device_section, "Count", 0);
    if (count <= 0) LogMessage("CreateInstallSnapshots: CandidateAmount empty for " + device_section);
    for (int i = 0; i < count; ++i) {
      const std::string candidate = device_section + "-drv-" + std::to_string(i);
      // A record cut short has no more candidates to copy.
      if (!plus.SectionExists(candidate)) {
        LogMessage("CreateInstallSnapshots: Empty section: " + candidate + " for " + device_section);
        break;
      }
      if (AppendSection(text, candidate, plus, candidate) == 0)
        LogMessage("CreateInstallSnapshots: Empty section: " + candidate + " for " +
                   device_section);
    }
  }
  for (const Record& record : records) SaveTextWithRetry(record.path, record.text);
}

}  // namespace vx
