#include "app/console/report_command.h"

#include "app/console/console_options.h"
#include "app/console/json_writer.h"
#include "common/startup.h"
#include "telemetry/problem_report.h"

namespace vx::console {

namespace {

constexpr const char* kUsage =
    "usage: vantrix [--machine DIR] report --name N --email E --driver D --comment TEXT "
    "[--attach-diagnostics] [--json]\n";

}  // namespace

int ReportCommand(ConsoleContext& context, const std::vector<std::string>& args) {
  CommandArgs parsed;
  std::string error;
  if (!ParseCommandArgs(args, {"--name", "--email", "--driver", "--comment"},
                        {"--attach-diagnostics"}, parsed, error) ||
      !parsed.positional.empty()) {
    context.Err() << "vantrix report: " << (error.empty() ? "unexpected argument" : error) << "\n"
                  << kUsage;
    return kExitUsage;
  }
  auto value = [&](const char* key) {
    auto it = parsed.values.find(key);
    return it == parsed.values.end() ? std::string() : it->second;
  };
  ProblemReport report;
  report.name = value("--name");
  report.email = value("--email");
  report.driver = value("--driver");
  report.comment = JoinCommentLines({value("--comment")});
  report.attach_diagnostics = parsed.switches.count("--attach-diagnostics") > 0;
  // The fields are checked before anything starts, as the form does.
  if (ReportCheck check = CheckProblemReport(report); check != ReportCheck::kOk) {
    context.Err() << "vantrix report: " << ReportCheckText(check) << "\n" << kUsage;
    return kExitUsage;
  }
  if (!StartEngine(context, error)) {
    context.Err() << "vantrix: " << error << "\n";
    return kExitFailure;
  }
  InstallCommonServices();
  ReportOutcome out = SendProblemReport(report);
  const bool sent = out.status == ReportStatus::kSent;
  if (context.json) {
    JsonWriter json(context.Out());
    json.BeginObject().Field("sent", sent).Field("attached", out.attached);
    if (!sent) json.Field("error", out.error);
    json.EndObject();
  } else if (sent) {
    if (report.attach_diagnostics && !out.attached)
      context.Err() << "vantrix report: no diagnostic files to attach\n";
    context.Out() << kReportSentText << "\n";
  }
  if (!sent) {
    // The thanks is only for a report that went out.
    context.Err() << "vantrix report: the report was not sent: " << out.error << "\n";
    return out.status == ReportStatus::kInvalid ? kExitUsage : kExitFailure;
  }
  return kExitOk;
}

}  // namespace vx::console
