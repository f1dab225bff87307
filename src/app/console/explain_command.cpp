// vantrix explain DEVICE: the candidates of one device of the last scan,
// with the ranking's flags and the reason each won or lost.
#include <algorithm>

#include "app/console/console_commands.h"
#include "app/console/console_options.h"
#include "app/console/json_writer.h"
#include "app/console/scan_report.h"
#include "common/text.h"
#include "engine/core_result.h"

namespace vx::console {

namespace {

constexpr const char* kUsage =
    "usage: vantrix [--machine DIR] explain DEVICE\n"
    "  DEVICE: the device's section number, its instance id, or part of its name\n";

std::string Get(const KeyValues& keys, const std::string& key) {
  for (const auto& [k, v] : keys)
    if (k == key) return v;
  return {};
}

long RankOf(const KeyValues& c) {
  try {
    return std::stol(Get(c, "Rank"));
  } catch (...) {
    return 0;
  }
}

std::string Why(const DeviceDecision& d, const KeyValues& c) {
  if (Get(c, "Winner") == "1") {
    if (d.Value("Status") == "Pending")
      return "won, but this package was installed and confirmed already";
    return "won: plausible, newer than the installed driver and the best rank";
  }
  if (Get(c, "IsDecline") == "1") {
    if (Get(c, "DeclineReason") == "Vendor")
      return "declined: its vendor matches no provider or manufacturer of the installed driver, "
             "no PCI/USB vendor code and no vendor named in the device's description";
    if (Get(c, "DeclineReason") == "VerDots")
      return "declined: a weak match whose version is shaped unlike the installed one and whose "
             "description differs from the device's";
    return "declined: " + Get(c, "DeclineReason");
  }
  if (Get(c, "FoundByDate") != "1" && Get(c, "FoundByVersion") != "1")
    return "lost: not newer than the installed driver (by date or version)";
  for (const KeyValues& other : d.candidates)
    if (Get(other, "Winner") == "1") {
      if (RankOf(c) > RankOf(other))
        return "lost: rank " + Get(c, "Rank") + " is worse than the winner's " + Get(other, "Rank");
      return "lost: same rank as the winner, which is newer (or, within a day, the lower version)";
    }
  return "lost: its rank is too weak for an offer";
}

bool Matches(const DeviceDecision& d, const std::string& wanted) {
  if (d.section == wanted) return true;
  if (SameText(d.Value("EnumKey"), wanted)) return true;
  const std::string needle = LowerCase(wanted);
  return LowerCase(d.Value("DeviceDescRaw")).find(needle) != std::string::npos ||
         LowerCase(d.Value("DeviceDesc")).find(needle) != std::string::npos;
}

constexpr const char* kFlags[] = {"IsRegularHID",     "IsFullHID",         "FoundByProvider",
                                  "FoundByManufacturer", "FoundByHidVendor", "FoundByNameVendor",
                                  "FoundByNoneVendor", "FoundByVersion",    "FoundByDate"};

void PrintText(std::ostream& out, const DeviceDecision& d) {
  out << "Device " << d.section << ": " << d.Value("DeviceDescRaw") << "\n"
      << "  instance:  " << d.Value("EnumKey") << "\n"
      << "  installed: " << d.Value("DeviceVersion") << "  " << d.Value("DeviceDate") << "\n"
      << "  decision:  " << d.Value("Status") << ", " << d.candidates.size() << " candidate(s)\n";
  for (size_t i = 0; i < d.candidates.size(); ++i) {
    const KeyValues& c = d.candidates[i];
    out << "\n  #" << i << " " << Get(c, "Link") << "\n"
        << "    version " << Get(c, "Version") << "  date " << Get(c, "Date") << "  vendor "
        << Get(c, "Vendor") << "  rank " << Get(c, "Rank") << "\n"
        << "    id " << Get(c, "HID") << "  hid vendor " << Get(c, "HidVendor")
        << "  name vendor " << Get(c, "NameVendor") << "\n    flags:";
    bool any = false;
    for (const char* f : kFlags)
      if (Get(c, f) == "1") {
        out << " " << f;
        any = true;
      }
    if (!any) out << " none";
    out << "\n    " << Why(d, c) << "\n";
  }
}

void PrintJson(std::ostream& out, const DeviceDecision& d) {
  JsonWriter json(out);
  json.BeginObject();
  json.Field("DeviceIniSection", d.section);
  for (const auto& [k, v] : d.header) json.Field(k, v);
  json.Key("candidates").BeginArray();
  for (const KeyValues& c : d.candidates) {
    json.BeginObject();
    for (const auto& [k, v] : c) json.Field(k, v);
    json.Field("Why", Why(d, c));
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

}  // namespace

int ExplainCommand(ConsoleContext& context, const std::vector<std::string>& args) {
  CommandArgs parsed;
  std::string error;
  if (!ParseCommandArgs(args, {}, {}, parsed, error) || parsed.positional.size() != 1) {
    context.Err() << "vantrix explain: " << (error.empty() ? "name one device" : error) << "\n"
                  << kUsage;
    return kExitUsage;
  }
  if (!StartEngine(context, error)) {
    context.Err() << "vantrix: " << error << "\n";
    return kExitFailure;
  }
  std::error_code ec;
  const auto record = DefaultDecisionRecordPath();
  if (!std::filesystem::exists(record, ec)) {
    context.Err() << "vantrix explain: no scan results in " << PathUtf8(record.parent_path())
                  << "; run \"vantrix scan\" first\n";
    return kExitFailure;
  }
  const std::string wanted = parsed.positional[0];
  std::vector<DeviceDecision> matches;
  for (DeviceDecision& d : ReadDecisions(record))
    if (Matches(d, wanted)) matches.push_back(std::move(d));
  // An exact section number or instance id wins over name matches.
  auto exact = std::find_if(matches.begin(), matches.end(), [&](const DeviceDecision& d) {
    return d.section == wanted || SameText(d.Value("EnumKey"), wanted);
  });
  if (exact != matches.end()) matches = {*exact};
  if (matches.empty()) {
    context.Err() << "vantrix explain: the last scan has no decision for \"" << wanted
                  << "\" (devices without candidates have none); use a section number or "
                     "name from \"vantrix scan --json\"\n";
    return kExitFailure;
  }
  if (matches.size() > 1) {
    context.Err() << "vantrix explain: \"" << wanted << "\" names " << matches.size()
                  << " devices; give one of these section numbers:\n";
    for (const DeviceDecision& d : matches)
      context.Err() << "  " << d.section << "  " << d.Value("DeviceDescRaw") << "\n";
    return kExitUsage;
  }
  if (context.json)
    PrintJson(context.Out(), matches[0]);
  else
    PrintText(context.Out(), matches[0]);
  return kExitOk;
}

}  // namespace vx::console
