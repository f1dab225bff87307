#include "common/service_endpoints.h"

#include <cstdlib>
#include <mutex>

#include "common/ini_file.h"
#include "common/text.h"
#include "platform/platform.h"

#ifndef VX_HOST_SERVICE
#define VX_HOST_SERVICE "service.vantrix.invalid"
#endif
#ifndef VX_HOST_SNAPSHOT
#define VX_HOST_SNAPSHOT "snapshot.vantrix.invalid"
#endif
#ifndef VX_HOST_MAIL
#define VX_HOST_MAIL "mail.vantrix.invalid"
#endif
#ifndef VX_HOST_CRASH_REPORT
#define VX_HOST_CRASH_REPORT "crash.vantrix.invalid"
#endif

#ifndef VX_PARTNER_NAME
#define VX_PARTNER_NAME "vantrix"
#endif
#ifndef VX_SUPPORT_ADDRESS
#define VX_SUPPORT_ADDRESS "support@vantrix.invalid"
#endif
#ifndef VX_MAIL_ACCOUNT
#define VX_MAIL_ACCOUNT "reports@vantrix.invalid"
#endif
#ifndef VX_MAIL_PASSWORD
#define VX_MAIL_PASSWORD "Vx4r9Tq2"
#endif

namespace vx {

const std::string& ServiceHosts::For(HostRole role) const {
  switch (role) {
    case HostRole::kSnapshot: return snapshot;
    case HostRole::kMail: return mail;
    case HostRole::kCrashReport: return crash_report;
    case HostRole::kService: break;
  }
  return service;
}

ServiceHosts BuiltInServiceHosts() {
  return {VX_HOST_SERVICE, VX_HOST_SNAPSHOT, VX_HOST_MAIL, VX_HOST_CRASH_REPORT};
}

ServiceHosts LoadServiceHosts(const std::filesystem::path& ini_file) {
  ServiceHosts hosts = BuiltInServiceHosts();
  std::error_code ec;
  if (ini_file.empty() || !std::filesystem::exists(ini_file, ec)) return hosts;
  IniFile ini;
  if (!ini.LoadFromFile(ini_file)) return hosts;
  auto apply = [&](std::string_view key, std::string& slot) {
    std::string v = Trim(ini.ReadString("Hosts", key, ""));
    if (!v.empty()) slot = v;
  };
  apply("Service", hosts.service);
  apply("Snapshot", hosts.snapshot);
  apply("Mail", hosts.mail);
  apply("CrashReport", hosts.crash_report);
  return hosts;
}

std::filesystem::path ServiceIniPath() {
  if (const char* env = std::getenv("VANTRIX_SERVICE_INI"); env && *env) return U8Path(env);
  if (!platform::IsAttached()) return {};
  return platform::Sys().Folder(platform::KnownFolder::kProgram) / "service.ini";
}

const ServiceHosts& ServiceHostList() {
  static std::once_flag once;
  static ServiceHosts hosts;
  std::call_once(once, [] { hosts = LoadServiceHosts(ServiceIniPath()); });
  return hosts;
}

std::string ServiceHost(HostRole role) { return ServiceHostList().For(role); }

BuildValues BuiltInBuildValues() {
  return {VX_PARTNER_NAME, VX_SUPPORT_ADDRESS, VX_MAIL_ACCOUNT, VX_MAIL_PASSWORD};
}

BuildValues LoadBuildValues(const std::filesystem::path& ini_file) {
  BuildValues values = BuiltInBuildValues();
  std::error_code ec;
  if (ini_file.empty() || !std::filesystem::exists(ini_file, ec)) return values;
  IniFile ini;
  if (!ini.LoadFromFile(ini_file)) return values;
  auto apply = [&](std::string_view key, std::string& slot) {
    std::string v = Trim(ini.ReadString("Build", key, ""));
    if (!v.empty()) slot = v;
  };
  apply("Partner", values.partner);
  apply("SupportAddress", values.support_address);
  apply("MailAccount", values.mail_account);
  apply("MailPassword", values.mail_password);
  return values;
}

const BuildValues& BuildValueList() {
  static std::once_flag once;
  static BuildValues values;
  std::call_once(once, [] { values = LoadBuildValues(ServiceIniPath()); });
  return values;
}

void SplitHostPort(std::string_view host, uint16_t default_port, std::string& name,
                   uint16_t& port) {
  name = std::string(host);
  port = default_port;
  auto colon = host.rfind(':');
  if (colon == std::string_view::npos) return;
  std::string_view digits = host.substr(colon + 1);
  if (digits.empty() || digits.size() > 5) return;
  unsigned v = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  if (v == 0 || v > 65535) return;
  name = std::string(host.substr(0, colon));
  port = static_cast<uint16_t>(v);
}

std::string UrlEncode(std::string_view s) {
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                c == '-' || c == '_' || c == '.' || c == '~';
    if (keep) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

std::string DatabaseInfoPath(bool windows64, int windows_code) {
  return std::string("/rpc/getdatabasecxw?arch=") + (windows64 ? "64" : "32") +
         "&os=" + std::to_string(windows_code);
}

std::string LastUpdatePath() { return "/rpc/getlastupdatecxw"; }

std::string PackageDownloadPath(std::string_view package_file) {
  return "/downloads/" + std::string(package_file);
}

std::string MilestonePath(std::string_view partner, std::string_view event, bool direct) {
  return "/rpc/sendinstall?partner=" + std::string(partner) + "-" + std::string(event) +
         (direct ? "-direct" : "") + "&build=" + std::string(kServiceBuild);
}

std::string InstallStatPath(std::string_view identifier) {
  return "/rpc/sendinstall?partner=" + std::string(identifier) +
         "&build=" + std::string(kServiceBuild);
}

std::string UninstallPath(std::string_view partner) {
  return "/rpc/senduninstall?partner=" + UrlEncode(partner) + "&build=" + UrlEncode(kServiceBuild);
}

const std::vector<ServiceRequest>& ServiceRequests() {
  static const std::vector<ServiceRequest> list = {
      {"database info", "GET", HostRole::kService, "/rpc/getdatabasecxw"},
      {"database archive", "GET", HostRole::kService, "(address from the database info)"},
      {"last database date", "GET", HostRole::kService, "/rpc/getlastupdatecxw"},
      {"package download", "GET", HostRole::kService, "/downloads/"},
      {"milestone event", "GET", HostRole::kService, "/rpc/sendinstall"},
      {"install statistics", "GET", HostRole::kService, "/rpc/sendinstall"},
      {"uninstall event", "GET", HostRole::kService, "/rpc/senduninstall"},
      {"driver statistics", "POST multipart", HostRole::kService, kDriverStatsPath},
      {"usage snapshot", "POST multipart", HostRole::kSnapshot, kSnapshotPath},
      {"problem report", "SMTP", HostRole::kMail, ""},
      {"crash report", "upload", HostRole::kCrashReport, kCrashReportPath},
  };
  return list;
}

}  // namespace vx
