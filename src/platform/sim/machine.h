// A simulated Windows machine kept in a folder:
//   machine.ini   the machine's facts (version, bitness, user, locale, ...)
//   registry.db   the registry hive
//   drive_c/      drive C
//   shm/          named shared-memory blocks
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/folder_names.h"
#include "platform/sim/hive.h"

namespace vx::sim {

struct MachineFacts {
  platform::WindowsVersion version{10, 0, 19045};
  bool is64 = true;
  uint64_t total_memory = 8ull << 30;
  std::string computer_name = "DESKTOP-VX";
  std::string user_name = "User";
  bool is_admin = true;
  std::string manufacturer;
  std::string model;
  platform::LocaleInfo locale{"English (United States)", "M/d/yyyy", "h:mm:ss tt", ".", 1252, 0};
  // DOS device names by drive ("C:" -> "\Device\HarddiskVolume2").
  std::vector<std::pair<std::string, std::string>> dos_devices;
  int64_t boot_time_ms = 0;  // Unix milliseconds of the last start
};

class Machine : public platform::Services {
 public:
  static constexpr const char* kFactsFile = "machine.ini";
  static constexpr const char* kHiveFile = "registry.db";

  // Opens an existing machine folder; on failure error says what is wrong.
  static std::unique_ptr<Machine> Open(const std::filesystem::path& dir, std::string& error);
  // Makes a fresh machine folder from a sample (data/machines/NAME): its
  // facts, its registry.reg, and any files under its drive_c/.
  static bool Create(const std::filesystem::path& dir, const std::filesystem::path& sample,
                     std::string& error);

  platform::Registry& Reg() override { return *hive_; }
  platform::SystemInfo& Sys() override { return *system_; }
  Hive& hive() { return *hive_; }
  const MachineFacts& facts() const { return facts_; }
  const std::filesystem::path& dir() const { return dir_; }
  std::filesystem::path drive_c() const { return dir_ / "drive_c"; }

  // Windows path <-> host path inside the machine folder.
  std::filesystem::path HostPath(std::string_view windows_path) const;
  std::string WindowsPath(const std::filesystem::path& host_path) const;

  struct Key {};  // only the factories construct
  explicit Machine(Key) {}

 private:
  std::filesystem::path dir_;
  MachineFacts facts_;
  std::unique_ptr<Hive> hive_;
  std::unique_ptr<platform::SystemInfo> system_;
  mutable FolderNames folder_names_;
};

// Broken-down time of a count of milliseconds since 1970-01-01 (already
// shifted into the wanted time zone).
platform::LocalTime LocalTimeFromUnixMs(int64_t ms);

// FormatMessage's English text for the Windows error codes the program
// meets; empty for others, as FormatMessage fails for unknown codes.
std::string SimErrorText(uint32_t code);

bool LoadFacts(const std::filesystem::path& file, MachineFacts& facts, std::string& error);

// The whole file as bytes; false when it cannot be opened.
bool ReadWholeFile(const std::filesystem::path& file, std::string& out);

// The machine this process is attached to (sim backend only); null when none.
Machine* CurrentMachine();

}  // namespace vx::sim
