#include "common/shell_zip.h"

#include <fstream>
#include <system_error>
#include <thread>
#include <utility>

#include "common/logger.h"
#include "common/text.h"
#include "platform/result.h"
#include "platform/windows_msg.h"

namespace vx {

namespace fs = std::filesystem;

namespace {

constexpr const char* kTag = "TShellZip";

// An archive with nothing in it: the end-of-central-directory record alone.
bool WriteEmptyZip(const fs::path& file) {
  static constexpr char kEmptyZip[24] = {0x50, 0x4B, 0x05, 0x06};
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(kEmptyZip, sizeof(kEmptyZip));
  out.close();
  return static_cast<bool>(out);
}

std::string Angled(const fs::path& path) { return "<" + PathUtf8(path) + ">"; }

}  // namespace

TShellZip::Services TShellZip::SystemServices() {
  Services s;
  s.copy_into = platform::ShellCopyIntoZip;
  s.copy_out = platform::ShellCopyOutOfZip;
  s.thread_count = platform::CurrentProcessThreadCount;
  s.now_ms = [] {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
  };
  // The shell's copy calls back into this thread's apartment; its messages
  // are dispatched while waiting so the copy cannot stall on them.
  s.pause = [] {
    platform::ProcessPendingMessages();
    std::this_thread::sleep_for(kPollInterval);
  };
  return s;
}

TShellZip::TShellZip(fs::path zip_file, std::string filter)
    : zip_file_(std::move(zip_file)), filter_(std::move(filter)), services_(SystemServices()) {}

bool TShellZip::Started(const platform::ShellZipResult& r, const fs::path& other) {
  using platform::ShellZipStep;
  switch (r.failed) {
    case ShellZipStep::kNone:
      return true;
    case ShellZipStep::kUnavailable:
      LogError(kTag, "Shell ZIP folders not available", PathUtf8(zip_file_), r.code);
      break;
    case ShellZipStep::kInvalidSource:
      LogError(kTag, Angled(other) + " invalid source", {}, r.code);
      break;
    case ShellZipStep::kInvalidZip:
      LogError(kTag, Angled(zip_file_) + " invalid zipfile", {}, r.code);
      break;
    case ShellZipStep::kInvalidTarget:
      LogError(kTag, Angled(other) + " invalid target folder", {}, r.code);
      break;
    case ShellZipStep::kCopy:
      LogError(kTag, "CopyHere fail", PathUtf8(zip_file_) + " " + PathUtf8(other), r.code);
      break;
  }
  return false;
}

bool TShellZip::CopyIntoZip(const fs::path& source_folder) {
  std::error_code ec;
  bool created = false;
  if (!fs::exists(zip_file_, ec)) {
    if (!WriteEmptyZip(zip_file_)) {
      LogError(kTag, "Cannot create zip file", PathUtf8(zip_file_));
      return false;
    }
    created = true;
  }
  const uint32_t before = services_.thread_count();
  if (!Started(services_.copy_into(source_folder, zip_file_, filter_), source_folder)) {
    // An empty archive made only for this copy is not left behind.
    if (created) fs::remove(zip_file_, ec);
    return false;
  }
  // The copy runs on threads the shell starts in this process; it is over
  // when they have ended. Threads of our own that start or end meanwhile
  // blur that sign, and the time limit bounds the cost of being misled.
  const uint64_t start = services_.now_ms();
  const auto limit = static_cast<uint64_t>(time_limit_.count());
  while (services_.thread_count() > before) {
    if (services_.now_ms() - start >= limit) {
      LogError(kTag, "Copy into zip not finished in time",
               PathUtf8(zip_file_) + " limit=" + std::to_string(limit) + " ms", kErrorTimeout);
      return false;
    }
    services_.pause();
  }
  return true;
}

bool TShellZip::CopyOutOfZip(const fs::path& target_folder) {
  return Started(services_.copy_out(zip_file_, target_folder, filter_), target_folder);
}

}  // namespace vx
