// Where the telemetry requests go and the plain GET they use. The targets
// are the build's (service.ini applied); a test or a demonstration may
// replace them for the rest of the process.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/service_endpoints.h"

namespace vx {

struct TelemetryTargets {
  ServiceHosts hosts;
  BuildValues build;
  // Bounds every exchange; telemetry never holds the program for long.
  uint32_t timeout_ms = 15000;
};

// The targets in effect: the replacement when one is set, else the build's.
TelemetryTargets CurrentTelemetryTargets();
// nullopt returns to the build's targets.
void SetTelemetryTargets(std::optional<TelemetryTargets> targets);

// "http://" + host + path, for log lines.
std::string ServiceUrl(std::string_view host, std::string_view path);

// GETs path from host ("name" or "name:port", port 80 by default) and
// drops the body. True only for a reply with a 2xx status.
bool ServiceGet(std::string_view host, std::string_view path, uint32_t timeout_ms);

}  // namespace vx
