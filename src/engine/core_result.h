// The scan: matches the device list ("Devices.ini") against the driver
// database and writes what it found into three files of BaseDir: the scan
// result "Scan.ini" (one numbered section per offered update), the decision
// record "DevicesPlus.ini" (per device: its list values, the decision and
// every candidate with its ranking) and, per offered package, its status
// file and ".pre" pre-install record. Also writes the installed-driver
// facts it queried back into the device list.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>


namespace vx {

// Statuses the scan reports through its callback.
enum ScanStatus : int {
  kScanStarting = 0,   // used by the engine facade before a scan thread starts
  kScanDevice = 1,     // before each device
  kScanFinished = 2,
  kScanCancelled = 3,  // finished after the callback set the cancel flag
  kScanNoDatabase = 4,
};

// status, text (device description for kScanDevice), cancel flag (out),
// total ("UniqueDevices"), found (offers so far, pending ones not counted),
// index (1-based number of the device among the visited sections).
using ScanCallback =
    std::function<void(int status, const std::string& text, bool& cancel, int total, int found,
                       int index)>;

struct ScanRequest {
  int spread_seconds = 0;
  // Empty paths: the default database (Drivers64.db / Drivers32.db) and
  // "Devices.ini", "Scan.ini", "DevicesPlus.ini" in BaseDir.
  std::filesystem::path database;
  std::filesystem::path device_list;
  std::filesystem::path scan_result;
  std::filesystem::path decision_record;
  std::string windows_version;  // empty: the running Windows' code
  // The sleep of the spreading step (tests replace it).
  std::function<void(std::chrono::milliseconds)> sleep;
  // The running program's file; its date is written as "ProgramCreated".
  std::filesystem::path program_file;
  // Request the "scan" diagnostic archive after a complete run.
  bool diagnostic_archive = true;
};

// Runs the whole scan on the calling thread; returns the final status
// (kScanFinished, kScanCancelled or kScanNoDatabase), also reported to the
// callback.
int GenerateDriverResult(const ScanRequest& request, const ScanCallback& callback);

// The default paths of the scan's files.
std::filesystem::path DefaultDeviceListPath();
std::filesystem::path DefaultScanResultPath();
std::filesystem::path DefaultDecisionRecordPath();

}  // namespace vx
