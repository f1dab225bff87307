// The console's own pieces: option parsing, the JSON writer, the progress bar.
#include <gtest/gtest.h>

#include <sstream>

#include "app/console/console_options.h"
#include "app/console/json_writer.h"
#include "app/console/progress_bar.h"
#include "app/console/scan_report.h"

namespace vx::console {
namespace {

TEST(ConsoleOptions, GlobalOptionsAnywhereCommandArgumentsInOrder) {
  struct Case {
    std::vector<std::string> argv;
    bool ok;
    std::string machine, command;
    bool json;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {{"vantrix", "--machine", "/m", "scan", "--json"}, true, "/m", "scan", true, {}},
      {{"vantrix", "scan", "--device-list", "d.ini", "--machine=/x"}, true, "/x", "scan", false,
       {"--device-list", "d.ini"}},
      {{"vantrix", "explain", "Realtek LAN"}, true, "", "explain", false, {"Realtek LAN"}},
      {{"vantrix", "--machine"}, false, "", "", false, {}},
      {{"vantrix", "--bogus", "scan"}, false, "", "", false, {}},
  };
  for (const Case& c : cases) {
    GlobalOptions o;
    std::string error;
    EXPECT_EQ(ParseGlobalOptions(c.argv, o, error), c.ok) << c.argv[1];
    if (!c.ok) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(o.machine, c.machine);
    EXPECT_EQ(o.command, c.command);
    EXPECT_EQ(o.json, c.json);
    EXPECT_EQ(o.args, c.args);
  }
}

TEST(ConsoleOptions, CommandArguments) {
  CommandArgs parsed;
  std::string error;
  EXPECT_TRUE(ParseCommandArgs({"--device-list", "a.ini", "x"}, {"--device-list"}, {}, parsed, error));
  EXPECT_EQ(parsed.values["--device-list"], "a.ini");
  EXPECT_EQ(parsed.positional, (std::vector<std::string>{"x"}));
  CommandArgs missing;
  EXPECT_FALSE(ParseCommandArgs({"--device-list"}, {"--device-list"}, {}, missing, error));
  CommandArgs unknown;
  EXPECT_FALSE(ParseCommandArgs({"--nope"}, {"--device-list"}, {}, unknown, error));
  EXPECT_NE(error.find("--nope"), std::string::npos);
}

TEST(JsonWriter, NestingAndEscapes) {
  std::ostringstream out;
  {
    JsonWriter json(out);
    json.BeginObject()
        .Field("a", "x\"y\\z\n\x01")
        .Field("n", 3)
        .Field("b", true)
        .Key("list")
        .BeginArray()
        .String("\xC3\xA9")  // passes through as UTF-8
        .BeginObject()
        .EndObject()
        .EndArray()
        .Key("empty")
        .BeginArray()
        .EndArray()
        .EndObject();
  }
  EXPECT_EQ(out.str(),
            "{\n  \"a\": \"x\\\"y\\\\z\\n\\u0001\",\n  \"n\": 3,\n  \"b\": true,\n  \"list\": [\n"
            "    \"\xC3\xA9\",\n    {}\n  ],\n  \"empty\": []\n}\n");
}

TEST(ProgressBar, RendersAndClampsAbsurdCounts) {
  EXPECT_EQ(ProgressBar::Render(0, 4, "", 4), "[    ] 0/4");
  EXPECT_EQ(ProgressBar::Render(2, 4, "LAN", 4), "[##  ] 2/4 LAN");
  // A device list whose numbers exceed its own total still draws a full bar.
  EXPECT_EQ(ProgressBar::Render(7, 4, "", 4), "[####] 7/7");
  EXPECT_EQ(ProgressBar::Render(3, 0, "", 2), "[  ] 3");
  const std::string long_name(100, 'x');
  EXPECT_LT(ProgressBar::Render(1, 2, long_name, 10).size(), 60u);
}

TEST(ScanReport, KeyValueSplitsAtTheFirstEquals) {
  EXPECT_EQ(SplitKeyValue("a=b=c"), (std::pair<std::string, std::string>{"a", "b=c"}));
  EXPECT_EQ(SplitKeyValue("flag"), (std::pair<std::string, std::string>{"flag", ""}));
}

}  // namespace
}  // namespace vx::console
