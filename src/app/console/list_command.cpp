// The package lists as the pages show them. The pages stack each new row
// above the earlier ones, so the screen shows a list from its last entry
// up; these commands print in that screen order.
#include "app/console/list_command.h"

#include <cmath>

#include "app/console/console_options.h"
#include "app/console/json_writer.h"
#include "common/params.h"
#include "engine/core_driver_list.h"
#include "engine/package_status.h"

namespace vx::console {

namespace {

constexpr const char* kListUsage = "usage: vantrix [--machine DIR] list [--json]\n";
constexpr const char* kHistoryUsage = "usage: vantrix [--machine DIR] history [--json]\n";

void WriteDeviceJson(JsonWriter& json, const TDeviceEntry& d) {
  json.BeginObject()
      .Field("DeviceName", d.device_name)
      .Field("ClassGUID", d.class_guid)
      .Field("ClassImageIndex", d.ClassImageIndex())
      .Field("Date", d.date)
      .Field("Group", d.group)
      .Field("Version", d.version)
      .Field("ClassDescription", d.class_description)
      .Field("IsConnected", d.is_connected)
      .Field("IsSystemDriver", d.is_system_driver)
      .Field("ClassName", d.class_name)
      .EndObject();
}

void WriteEntryJson(JsonWriter& json, const TDriverPackageEntry& e) {
  json.BeginObject()
      .Field("Title", e.Title())
      .Field("FName", e.file_name)
      .Field("PackageName", e.package_name)
      .Field("Description", e.description)
      .Field("Md5Hash", e.md5_hash)
      .Field("Date", e.date)
      .Field("Vendor", e.vendor)
      .Field("Version", e.version);
  json.Key("Groups").BeginArray();
  for (const std::string& g : e.groups) json.String(g);
  json.EndArray();
  json.Field("GroupsText", e.groups_text)
      .Field("State", static_cast<int>(e.state))
      .Field("StateName", PackageStateName(e.state))
      .Field("Present", e.present)
      .Field("Fresh", e.fresh)
      .Field("DownloadDay", static_cast<int64_t>(std::floor(e.download_day)))
      .Field("IconIndex", e.IconIndex());
  json.Key("PrincipalDevice");
  if (const TDeviceEntry* p = e.PrincipalDevice()) {
    json.String(p->device_name);
  } else {
    json.Null();
  }
  json.Field("SortKey", e.SortKey())
      .Field("HasConnectedDevice", e.HasConnectedDevice())
      .Field("IsFreshAndNotInstalled", e.IsFreshAndNotInstalled())
      .Field("FileSize", static_cast<int64_t>(e.FileSize()));
  json.Key("Devices").BeginArray();
  for (const auto& d : e.devices) WriteDeviceJson(json, *d);
  json.EndArray();
  json.EndObject();
}

void WriteEntryText(std::ostream& out, const TDriverPackageEntry& e) {
  out << e.Title() << "\n"
      << "    vendor: " << (e.vendor.empty() ? "-" : e.vendor)
      << "  version: " << (e.version.empty() ? "-" : e.version)
      << "  date: " << (e.date.empty() ? "-" : e.date) << "  state: " << PackageStateName(e.state)
      << (e.present ? "" : " (not in the last scan)") << "\n";
  for (const auto& d : e.devices) {
    out << "    device: " << d->device_name << (d->is_connected ? "" : " (disconnected)") << "\n";
  }
}

int RunListCommand(ConsoleContext& context, const std::vector<std::string>& args, const char* name,
                   const char* usage, bool history) {
  CommandArgs parsed;
  std::string error;
  if (!ParseCommandArgs(args, {}, {}, parsed, error) || !parsed.positional.empty()) {
    context.Err() << "vantrix " << name << ": " << (error.empty() ? "takes no arguments" : error)
                  << "\n"
                  << usage;
    return kExitUsage;
  }
  if (!StartEngine(context, error)) {
    context.Err() << "vantrix: " << error << "\n";
    return kExitFailure;
  }
  const std::filesystem::path& base = Params().base_dir;
  const TDriversList& list =
      history ? GetDriverHistoryList(true, base) : GetDriverResultList(true, base);
  WritePackageList(context.Out(), list, context.json,
                   history ? "Nothing was downloaded yet.\n"
                           : "No driver packages offered; run \"vantrix scan\" first.\n");
  return kExitOk;
}

}  // namespace

void WritePackageList(std::ostream& out, const TDriversList& list, bool json,
                      const char* empty_text) {
  if (json) {
    JsonWriter writer(out);
    writer.BeginObject().Key("packages").BeginArray();
    for (size_t i = list.size(); i-- > 0;) WriteEntryJson(writer, list[i]);
    writer.EndArray().EndObject();
    return;
  }
  if (list.empty()) {
    out << empty_text;
    return;
  }
  for (size_t i = list.size(); i-- > 0;) WriteEntryText(out, list[i]);
}

int ListCommand(ConsoleContext& context, const std::vector<std::string>& args) {
  return RunListCommand(context, args, "list", kListUsage, false);
}

int HistoryCommand(ConsoleContext& context, const std::vector<std::string>& args) {
  return RunListCommand(context, args, "history", kHistoryUsage, true);
}

}  // namespace vx::console
