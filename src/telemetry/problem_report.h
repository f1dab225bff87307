// The problem report the user writes on the About page: an HTML mail to the
// maker's support address, optionally with the diagnostic files packed as
// "report.zip", sent through the maker's mail host with the built-in
// account. Unlike the other telemetry, the caller learns whether it went
// out: only a mail the server accepted earns the thanks.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

inline constexpr std::string_view kReportArchiveName = "report.zip";
inline constexpr std::string_view kReportSentText = "This message was sent, thank you!";
// The comment must be longer than this.
inline constexpr size_t kMinCommentLength = 9;

struct ProblemReport {
  std::string name;
  std::string email;
  std::string driver;   // the selected driver's name
  std::string comment;  // the comment lines joined by single blanks
  bool attach_diagnostics = false;
};

// The comment lines joined by single blanks and trimmed.
std::string JoinCommentLines(const std::vector<std::string>& lines);

// Field checks in the form's order; the first failing one is reported.
enum class ReportCheck { kOk, kNoName, kNoEmail, kBadEmail, kNoComment, kShortComment };
ReportCheck CheckProblemReport(const ProblemReport& report);
// The form's English text for a failed check ("" for kOk).
std::string ReportCheckText(ReportCheck check);

// What the subject is built from.
struct ReportFacts {
  double program_date = 0;  // last write of the program file; 0: unknown
  std::string partner;
  std::string windows_version;  // "WinVersion" of "PCInfo.ini"
  int bits = 32;                // "ProcArch" of "PCInfo.ini"
};
// "Vantrix[ <date>] <partner> <windows>_<bits>: <driver>", the date in the
// user's short date format.
std::string ReportSubject(const ReportFacts& facts, std::string_view driver);
// The facts of this program and machine ("PCInfo.ini" in base_dir; the
// running Windows where the file or a value is missing).
ReportFacts CollectReportFacts(const std::filesystem::path& base_dir);

struct ReportMail {
  std::string envelope_from;
  std::vector<std::string> recipients;
  std::string text;  // RFC 5322 message, CR LF line ends
};
// Builds the message: From the reporter, To the support address, HTML body
// with the comment (escaped), and, when attachment is given, a
// multipart/mixed message with it as "report.zip". boundary_seed makes the
// MIME boundary and Message-ID (tests pass a fixed one).
ReportMail BuildReportMail(const ProblemReport& report, std::string_view subject,
                           std::string_view support_address, std::string_view envelope_from,
                           const std::string* attachment, std::string_view boundary_seed);

enum class ReportStatus {
  kSent,     // accepted by the mail host
  kInvalid,  // a field check failed; nothing sent
  kFailed,   // composing or sending failed (logged)
};

struct ReportOutcome {
  ReportStatus status = ReportStatus::kFailed;
  ReportCheck check = ReportCheck::kOk;
  bool attached = false;  // "report.zip" went with the mail
  std::string error;      // why it failed, for the user
};

// Checks, composes and sends. Blocks for at most the mail time-out.
ReportOutcome SendProblemReport(const ProblemReport& report);

}  // namespace vx
