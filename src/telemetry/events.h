// Milestone events and the install statistics: short GET requests to the
// service host, fire-and-forget. One-time flags in the settings key keep
// them from repeating: "ExtraStat" (one non-start event per installation)
// and "InstallStat" (install statistics once per installation).
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace vx {

inline constexpr std::string_view kStartParameter = "/START";

// Event names in use.
inline constexpr std::string_view kEventStarted = "1-started";
inline constexpr std::string_view kEventUpdateStarted = "2-update-started";
inline constexpr std::string_view kEventUpdateCancelled = "3-update-cancelled";
inline constexpr std::string_view kEventUpdateFailed = "4-update-failed";
inline constexpr std::string_view kEventUpdateSuccess = "4-update-success";
inline constexpr std::string_view kEventScanStarted = "5-scan-started";
inline constexpr std::string_view kEventScanCancelled = "6-scan-cancelled";
inline constexpr std::string_view kEventScanEmpty = "7-scan-success-empty";
inline constexpr std::string_view kEventScanFound = "7-scan-success-found";
inline constexpr std::string_view kEventScanFailed = "7-scan-failed";

// The run's start parameter: the first command-line parameter, or
// kStartParameter set by the main window when "StartWithWindows" is on.
void SetStartParameter(std::string_view parameter);
std::string StartParameter();

// Opens the event address the way a browser would. The GUI installs one
// that uses a hidden browser control parented to its window; without one
// (and on the simulated machine) a plain GET stands in. True on success.
using HiddenLinkOpener = std::function<bool(std::string_view host, std::string_view path)>;
void SetHiddenLinkOpener(HiddenLinkOpener opener);

enum class EventResult {
  kSkipped,  // not a "/START" run, events switched off, or sent already
  kSent,     // the event address was opened
  kFailed,   // it was tried and failed (logged)
};

// Reports a milestone of this run. Never blocks longer than the request
// time-out and never fails the caller.
EventResult SendEvent(std::string_view name);

// Forgets the run's state (event switch on, no event sent); for a new run
// in the same process, such as a test.
void ResetEventState();

// Program kinds of the install statistics.
inline constexpr int kProgramKindMain = 1;

enum class InstallStatResult {
  kSkipped,  // no internet connection, or reported already
  kSent,     // accepted; "InstallStat" is now true
  kFailed,   // the request failed; tried again at the next start
  kInvalid,  // unknown program kind (logged, nothing sent)
};

// With install true: the install statistics, once per installation. With
// install false: the uninstall report (no flag).
InstallStatResult SendInstallStat(bool install, int program_kind);

}  // namespace vx
