// Every request the program sends to the maker's service, with the host
// role that answers it. Host names are build settings; a "service.ini"
// beside the program (or the file named by VANTRIX_SERVICE_INI) overrides
// them, so tests and demonstrations point the program at a local service:
//
//   [Hosts]
//   Service=127.0.0.1:8080
//   Snapshot=127.0.0.1:8080
//   Mail=127.0.0.1:2525
//   CrashReport=127.0.0.1:8080
//
// (the same file's [Build] section: see BuildValues below)
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

inline constexpr std::string_view kServiceBuild = "4.0";
inline constexpr std::string_view kEngineAgent = "Quorvane NextGen";
inline constexpr uint16_t kServiceHttpPort = 80;
inline constexpr uint16_t kServiceMailPort = 25;

enum class HostRole { kService, kSnapshot, kMail, kCrashReport };

// Each host is "name" or "name:port".
struct ServiceHosts {
  std::string service;  // also the driver download host
  std::string snapshot;
  std::string mail;
  std::string crash_report;

  const std::string& For(HostRole role) const;
};

// The build's hosts.
ServiceHosts BuiltInServiceHosts();
// The build's hosts with the [Hosts] entries of the file applied (a missing
// file or key keeps the built-in value; values are trimmed).
ServiceHosts LoadServiceHosts(const std::filesystem::path& ini_file);
// The override file in effect: VANTRIX_SERVICE_INI when set, else
// "service.ini" in the program folder.
std::filesystem::path ServiceIniPath();
// The hosts in effect, read once per process.
const ServiceHosts& ServiceHostList();
std::string ServiceHost(HostRole role);

// The build's identity towards the service and the problem report's mail
// account. Build settings; the override file's [Build] section (keys
// Partner, SupportAddress, MailAccount, MailPassword) replaces them:
//
//   [Build]
//   Partner=test-partner
//   SupportAddress=support@example.invalid
struct BuildValues {
  std::string partner;          // partner name of events and the report subject
  std::string support_address;  // recipient of problem reports
  std::string mail_account;     // login at the mail host
  std::string mail_password;    // 8 letters and digits
};
BuildValues BuiltInBuildValues();
BuildValues LoadBuildValues(const std::filesystem::path& ini_file);
// The values in effect, read once per process from ServiceIniPath().
const BuildValues& BuildValueList();

// "name:port" -> name and port; default_port when none is given.
void SplitHostPort(std::string_view host, uint16_t default_port, std::string& name,
                   uint16_t& port);

// Percent-encoding of a query value (unreserved characters kept).
std::string UrlEncode(std::string_view s);

// Request paths (with their queries).
std::string DatabaseInfoPath(bool windows64, int windows_code);
std::string LastUpdatePath();
std::string PackageDownloadPath(std::string_view package_file);
// Milestone event: "/rpc/sendinstall?partner=" + partner + "-" + event (+
// "-direct") + "&build=4.0".
std::string MilestonePath(std::string_view partner, std::string_view event, bool direct);
std::string InstallStatPath(std::string_view identifier);
std::string UninstallPath(std::string_view partner);

inline constexpr std::string_view kDriverStatsPath = "/rpc/senddriverstats";
inline constexpr std::string_view kDriverStatsField = "file";
inline constexpr std::string_view kSnapshotPath = "/rpc/sendsnapshot";
inline constexpr std::string_view kSnapshotField = "snapshot_file";
inline constexpr std::string_view kUploadContentType = "text/plain";
inline constexpr std::string_view kCrashReportPath = "/bugreport.php";

// The list of requests, for documentation and for the replacement service.
struct ServiceRequest {
  std::string_view name;
  std::string_view method;  // "GET", "POST multipart", "SMTP", "upload"
  HostRole role;
  std::string_view path;    // fixed part of the path
};
const std::vector<ServiceRequest>& ServiceRequests();

}  // namespace vx
