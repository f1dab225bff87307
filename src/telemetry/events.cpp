#include "telemetry/events.h"

#include <algorithm>
#include <mutex>
#include <set>

#include "common/logger.h"
#include "common/service_endpoints.h"
#include "common/settings.h"
#include "common/text.h"
#include "platform/http.h"
#include "telemetry/service_client.h"

namespace vx {

namespace {

struct EventState {
  std::mutex mu;
  std::string start_parameter;
  bool events_on = true;
  std::set<std::string> sent;
  HiddenLinkOpener opener;
};

EventState& State() {
  static EventState s;
  return s;
}

constexpr std::string_view kExtraStat = "ExtraStat";
constexpr std::string_view kInstallStat = "InstallStat";

}  // namespace

void SetStartParameter(std::string_view parameter) {
  std::lock_guard lock(State().mu);
  State().start_parameter = parameter;
}

std::string StartParameter() {
  std::lock_guard lock(State().mu);
  return State().start_parameter;
}

void SetHiddenLinkOpener(HiddenLinkOpener opener) {
  std::lock_guard lock(State().mu);
  State().opener = std::move(opener);
}

void ResetEventState() {
  std::lock_guard lock(State().mu);
  State().events_on = true;
  State().sent.clear();
}

EventResult SendEvent(std::string_view name) {
  EventState& s = State();
  HiddenLinkOpener opener;
  {
    std::lock_guard lock(s.mu);
    if (!SameText(s.start_parameter, kStartParameter) || !s.events_on) return EventResult::kSkipped;
    if (name != kEventStarted) {
      // One non-start event per installation: the flag is set before the
      // event goes out, so a failed send is not repeated either.
      if (RegReadBool(kSettingsRoot, kSettingsKey, kExtraStat)) {
        s.events_on = false;
        return EventResult::kSkipped;
      }
      RegWriteBool(kSettingsRoot, kSettingsKey, kExtraStat, true);
    }
    if (!s.sent.insert(std::string(name)).second) return EventResult::kSkipped;
    opener = s.opener;
  }
  TelemetryTargets t = CurrentTelemetryTargets();
  const std::string& host = t.hosts.service;
  std::string path = MilestonePath(t.build.partner, name, false);
  bool ok = opener ? opener(host, path) : ServiceGet(host, path, t.timeout_ms);
  if (!ok) LogError("OpenHiddenLink", "Common error", ServiceUrl(host, path));
  if (name != kEventStarted) {
    // The direct request's reply tells nothing; its failure is not news.
    ServiceGet(host, MilestonePath(t.build.partner, name, true), t.timeout_ms);
  }
  return ok ? EventResult::kSent : EventResult::kFailed;
}

InstallStatResult SendInstallStat(bool install, int program_kind) {
  if (program_kind != kProgramKindMain) {
    LogError("SendInstallStat", "ProgramType invalid", std::to_string(program_kind));
    return InstallStatResult::kInvalid;
  }
  TelemetryTargets t = CurrentTelemetryTargets();
  if (!install) {
    return ServiceGet(t.hosts.service, UninstallPath(t.build.partner), t.timeout_ms)
               ? InstallStatResult::kSent
               : InstallStatResult::kFailed;
  }
  auto state = platform::HttpService().QueryConnectedState();
  if (state.ok() && *state != platform::ConnectedState::kConnected)
    return InstallStatResult::kSkipped;
  if (RegReadBool(kSettingsRoot, kSettingsKey, kInstallStat)) return InstallStatResult::kSkipped;
  std::string partner = RegReadString(kSettingsRoot, kSettingsKey, "BuildID");
  if (partner.empty()) partner = RegReadString(kSettingsRoot, kSettingsKey, "UpgradeID");
  if (partner.empty()) partner = "Unknown";
  // The identifier comes from the registry: encoded so it cannot change
  // the request's other parameters.
  if (!ServiceGet(t.hosts.service, InstallStatPath(UrlEncode(partner)), t.timeout_ms))
    return InstallStatResult::kFailed;
  RegWriteBool(kSettingsRoot, kSettingsKey, kInstallStat, true);
  return InstallStatResult::kSent;
}

}  // namespace vx
