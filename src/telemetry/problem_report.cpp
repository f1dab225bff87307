#include "telemetry/problem_report.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include "common/date_time.h"
#include "common/files.h"
#include "common/ini_file.h"
#include "common/logger.h"
#include "common/params.h"
#include "common/service_endpoints.h"
#include "common/text.h"
#include "platform/platform.h"
#include "platform/smtp.h"
#include "telemetry/service_client.h"

namespace vx {

namespace {

namespace fs = std::filesystem;

// Line breaks and other control characters would start new header lines
// or commands; user text loses them.
std::string OneLine(std::string_view s) {
  std::string out;
  for (char c : s) out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
  return Trim(out);
}

bool IsAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// RFC 2047 encoded word for header text that is not plain ASCII.
std::string HeaderText(std::string_view s) {
  if (IsAscii(s)) return std::string(s);
  return "=?UTF-8?B?" + Base64Encode(s) + "?=";
}

std::string DisplayName(std::string_view name) {
  if (!IsAscii(name)) return HeaderText(name);
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

std::string HtmlEscape(std::string_view s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// Base64 in lines of 76 characters.
std::string Base64Lines(std::string_view data) {
  std::string b = Base64Encode(data);
  std::string out;
  for (size_t i = 0; i < b.size(); i += 76) out += b.substr(i, 76) + "\r\n";
  return out;
}

std::string MailDate() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
#ifdef _WIN32
  // The Windows runtime keeps gmtime's result per thread.
  if (const std::tm* p = std::gmtime(&now)) tm = *p;
#else
  gmtime_r(&now, &tm);
#endif
  static const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%s, %02d %s %04d %02d:%02d:%02d +0000", kDays[tm.tm_wday],
                tm.tm_mday, kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                tm.tm_sec);
  return buf;
}

std::string AddressDomain(std::string_view address) {
  auto at = address.rfind('@');
  return at == std::string_view::npos ? "vantrix.invalid" : std::string(address.substr(at + 1));
}

}  // namespace

std::string JoinCommentLines(const std::vector<std::string>& lines) {
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) out += ' ';
    out += lines[i];
  }
  return Trim(out);
}

ReportCheck CheckProblemReport(const ProblemReport& report) {
  if (Trim(report.name).empty()) return ReportCheck::kNoName;
  std::string email = Trim(report.email);
  if (email.empty()) return ReportCheck::kNoEmail;
  // Beyond "@" and ".", the address must be usable in an SMTP command.
  if (email.find('@') == std::string::npos || email.find('.') == std::string::npos ||
      !platform::SmtpAddressUsable(email))
    return ReportCheck::kBadEmail;
  std::string comment = Trim(report.comment);
  if (comment.empty()) return ReportCheck::kNoComment;
  if (comment.size() <= kMinCommentLength) return ReportCheck::kShortComment;
  return ReportCheck::kOk;
}

std::string ReportCheckText(ReportCheck check) {
  switch (check) {
    case ReportCheck::kNoName: return "Please specify your name!";
    case ReportCheck::kNoEmail: return "Please specify your email!";
    case ReportCheck::kBadEmail: return "Please specify valid email!";
    case ReportCheck::kNoComment: return "Please write a comment!";
    case ReportCheck::kShortComment: return "Please write a longer comment!";
    case ReportCheck::kOk: break;
  }
  return {};
}

std::string ReportSubject(const ReportFacts& facts, std::string_view driver) {
  std::string subject = "Vantrix";
  if (facts.program_date > 0) {
    std::string date = FormatShortDate(facts.program_date);
    if (!date.empty()) subject += " " + date;
  }
  subject += " " + facts.partner + " " + facts.windows_version + "_" +
             std::to_string(facts.bits) + ": " + std::string(driver);
  return OneLine(subject);
}

ReportFacts CollectReportFacts(const fs::path& base_dir) {
  ReportFacts f;
  f.program_date = GetProgramFileTime();
  f.partner = CurrentTelemetryTargets().build.partner;
  bool x64 = platform::IsAttached() && platform::Sys().IsWindows64();
  IniFile ini;
  std::error_code ec;
  fs::path pc_info = base_dir / "PCInfo.ini";
  bool have = !base_dir.empty() && fs::exists(pc_info, ec) && ini.LoadFromFile(pc_info);
  int code = have ? ini.ReadInteger("General", "WinVersion", 0) : 0;
  if (code == 0) code = Params().windows_version;
  f.windows_version = std::to_string(code);
  int bits = have ? ini.ReadInteger("General", "ProcArch", 0) : 0;
  f.bits = bits == 32 || bits == 64 ? bits : (x64 ? 64 : 32);
  return f;
}

ReportMail BuildReportMail(const ProblemReport& report, std::string_view subject,
                           std::string_view support_address, std::string_view envelope_from,
                           const std::string* attachment, std::string_view boundary_seed) {
  ReportMail mail;
  mail.envelope_from = std::string(envelope_from);
  mail.recipients.push_back(std::string(support_address));
  std::string email = Trim(report.email);
  std::string html = "<html><body><p>" + HtmlEscape(Trim(report.comment)) + "</p></body></html>";
  std::string head;
  head += "From: " + DisplayName(OneLine(report.name)) + " <" + email + ">\r\n";
  head += "To: <" + std::string(support_address) + ">\r\n";
  head += "Subject: " + HeaderText(OneLine(subject)) + "\r\n";
  head += "Date: " + MailDate() + "\r\n";
  head += "Message-ID: <" + std::string(boundary_seed) + "@" + AddressDomain(support_address) +
          ">\r\n";
  head += "MIME-Version: 1.0\r\n";
  std::string html_part = "Content-Type: text/html; charset=utf-8\r\n"
                          "Content-Transfer-Encoding: base64\r\n\r\n" +
                          Base64Lines(html);
  if (!attachment) {
    mail.text = head + html_part;
    return mail;
  }
  std::string boundary = "=_vantrix_" + std::string(boundary_seed);
  mail.text = head + "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n" +
              "This is a multi-part message in MIME format.\r\n" + "--" + boundary + "\r\n" +
              html_part + "--" + boundary + "\r\n" +
              "Content-Type: application/zip; name=\"" + std::string(kReportArchiveName) +
              "\"\r\n" + "Content-Transfer-Encoding: base64\r\n" +
              "Content-Disposition: attachment; filename=\"" + std::string(kReportArchiveName) +
              "\"\r\n\r\n" + Base64Lines(*attachment) + "--" + boundary + "--\r\n";
  return mail;
}

ReportOutcome SendProblemReport(const ProblemReport& report) {
  ReportOutcome out;
  out.check = CheckProblemReport(report);
  if (out.check != ReportCheck::kOk) {
    out.status = ReportStatus::kInvalid;
    out.error = ReportCheckText(out.check);
    return out;
  }
  TelemetryTargets t = CurrentTelemetryTargets();
  const fs::path base = Params().base_dir;
  std::string archive;
  if (report.attach_diagnostics) {
    fs::path zip = ZipDiagnosticFiles(base, kReportArchiveName);
    if (!zip.empty()) {
      std::ifstream in(zip, std::ios::binary);
      std::ostringstream data;
      data << in.rdbuf();
      if (in) {
        archive = data.str();
        out.attached = true;
      }
    }
    if (!out.attached) LogMessage("Problem report without diagnostic files", PathUtf8(base));
  }
  // The envelope names the account that logs in (servers refuse other
  // senders of authenticated mail); the reporter stays the From address.
  std::string envelope = t.build.mail_account.find('@') != std::string::npos
                             ? t.build.mail_account
                             : Trim(report.email);
  char seed[40];
  std::snprintf(seed, sizeof(seed), "%llx",
                static_cast<unsigned long long>(
                    std::chrono::system_clock::now().time_since_epoch().count()));
  ReportMail mail = BuildReportMail(report, ReportSubject(CollectReportFacts(base), report.driver),
                                    t.build.support_address, envelope,
                                    out.attached ? &archive : nullptr, seed);
  platform::SmtpMail smtp;
  SplitHostPort(t.hosts.mail, kServiceMailPort, smtp.host, smtp.port);
  smtp.user = t.build.mail_account;
  smtp.password = t.build.mail_password;
  smtp.auth = platform::SmtpAuth::kLogin;
  smtp.from = mail.envelope_from;
  smtp.to = mail.recipients;
  smtp.message = mail.text;
  smtp.timeout_ms = t.timeout_ms;
  std::string error;
  Status st = platform::SendSmtpMail(smtp, error);
  if (st != 0) {
    LogError("SendProblemReport", "Send fail", t.hosts.mail + ": " + error, st);
    out.status = ReportStatus::kFailed;
    out.error = error.empty() ? "the mail could not be sent" : error;
    return out;
  }
  out.status = ReportStatus::kSent;
  return out;
}

}  // namespace vx
