#include "telemetry/service_client.h"

#include <mutex>

#include "platform/http.h"

namespace vx {

namespace {

std::mutex& TargetsMutex() {
  static std::mutex m;
  return m;
}

std::optional<TelemetryTargets>& Replacement() {
  static std::optional<TelemetryTargets> targets;
  return targets;
}

}  // namespace

TelemetryTargets CurrentTelemetryTargets() {
  {
    std::lock_guard lock(TargetsMutex());
    if (Replacement()) return *Replacement();
  }
  TelemetryTargets t;
  t.hosts = ServiceHostList();
  t.build = BuildValueList();
  return t;
}

void SetTelemetryTargets(std::optional<TelemetryTargets> targets) {
  std::lock_guard lock(TargetsMutex());
  Replacement() = std::move(targets);
}

std::string ServiceUrl(std::string_view host, std::string_view path) {
  return "http://" + std::string(host) + std::string(path);
}

bool ServiceGet(std::string_view host, std::string_view path, uint32_t timeout_ms) {
  using namespace platform;
  std::string name;
  uint16_t port = kServiceHttpPort;
  SplitHostPort(host, kServiceHttpPort, name, port);
  auto session = HttpService().OpenSession(kEngineAgent, HttpProxy{});
  if (!session.ok()) return false;
  for (HttpTimeout t : {HttpTimeout::kConnect, HttpTimeout::kSend, HttpTimeout::kReceive})
    (*session)->SetTimeout(t, timeout_ms);
  auto connection = (*session)->Connect(name, port, {}, {});
  if (!connection.ok()) return false;
  auto request = (*connection)->OpenRequest("GET", path, HttpRequestFlags{});
  if (!request.ok()) return false;
  if ((*request)->Send({}) != 0) return false;
  auto status = (*request)->StatusCode();
  if (!status.ok()) return false;
  // The reply is read to its end so the exchange completes; its content
  // does not matter, and a server that talks on is cut off.
  char buffer[4096];
  size_t total = 0;
  for (;;) {
    auto n = (*request)->Read(buffer, sizeof(buffer));
    if (!n.ok() || *n == 0) break;
    total += *n;
    if (total > (1u << 20)) break;
  }
  return *status >= 200 && *status < 300;
}

}  // namespace vx
