// The INF text reader of the simulated machine: the syntax SetupAPI accepts.
#include <gtest/gtest.h>

#include "platform/sim/inf_file.h"

namespace vx::sim {
namespace {

using Fields = std::vector<std::string>;

InfText Parsed(std::string_view text) {
  InfText inf;
  uint32_t line = 0;
  EXPECT_TRUE(inf.Parse(text, &line)) << "error at line " << line;
  return inf;
}

TEST(InfText, LinesKeysAndFields) {
  InfText inf = Parsed(
      "; leading comment\n"
      "stray line before any section\n"
      "[Version]\r\n"
      "Signature = \"$Windows NT$\"   ; trailing comment\r\n"
      "DriverVer=11/18/2019, 10.38.1118.2019\r\n"
      "[ Files ]\n"
      "rt640x64.sys,,,2\n"
      "  plain.dll  \n"
      "\"quoted, with comma\" , \"say \"\"hi\"\"\" ,  \"  kept  \"\n"
      "name ; comment, with comma\n"
      "\"semi;colon\"\n"
      "Empty=\n"
      "[files]\n"
      "merged.sys\n");
  auto* version = inf.Section("VERSION");
  ASSERT_NE(version, nullptr);
  ASSERT_EQ(version->size(), 2u);
  EXPECT_EQ((*version)[0].key, "Signature");
  EXPECT_EQ((*version)[0].fields, Fields{"$Windows NT$"});
  EXPECT_EQ((*version)[1].fields, (Fields{"11/18/2019", "10.38.1118.2019"}));

  auto* files = inf.Section("Files");
  ASSERT_NE(files, nullptr);
  struct Case {
    const char* key;
    Fields fields;
  };
  const Case want[] = {
      {"", {"rt640x64.sys", "", "", "2"}},
      {"", {"plain.dll"}},
      {"", {"quoted, with comma", "say \"hi\"", "  kept  "}},
      {"", {"name"}},
      {"", {"semi;colon"}},
      {"Empty", {}},
      {"", {"merged.sys"}},  // a repeated section continues the first
  };
  ASSERT_EQ(files->size(), std::size(want));
  for (size_t i = 0; i < std::size(want); ++i) {
    EXPECT_EQ((*files)[i].key, want[i].key) << i;
    EXPECT_EQ((*files)[i].fields, want[i].fields) << i;
  }
  EXPECT_EQ(inf.SectionNames(), (Fields{"Version", "Files"}));
  EXPECT_FALSE(inf.HasSection("Missing"));
  ASSERT_NE(inf.FindLine("version", "SIGNATURE"), nullptr);
  EXPECT_EQ(inf.FindLine("Version", "Class"), nullptr);
}

TEST(InfText, StringsAreSubstitutedEverywhere) {
  InfText inf = Parsed(
      "[Manufacturer]\n"
      "%Mfg% = Models, NTamd64\n"
      "[Models.NTamd64]\n"
      "%Desc% = Inst, PCI\\VEN_10EC&DEV_8168\n"
      "\"%Desc% (copy)\" = Inst\n"
      "%Unknown%=100%%, %%%Mfg%%%\n"
      "[Strings]\n"
      "Mfg  = \"Realtek\"\n"
      "desc = \"Realtek PCIe GbE Family Controller\"\n"
      "[Strings.0409]\n"
      "Mfg = \"Realtek (US)\"\n");
  auto* m = inf.Section("Manufacturer");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ((*m)[0].key, "Realtek (US)");  // the en-US table overrides the neutral one
  auto* models = inf.Section("Models.NTamd64");
  ASSERT_NE(models, nullptr);
  ASSERT_EQ(models->size(), 3u);
  EXPECT_EQ((*models)[0].key, "Realtek PCIe GbE Family Controller");  // keys fold case
  EXPECT_EQ((*models)[0].fields, (Fields{"Inst", "PCI\\VEN_10EC&DEV_8168"}));
  EXPECT_EQ((*models)[1].key, "Realtek PCIe GbE Family Controller (copy)");
  EXPECT_EQ((*models)[2].key, "%Unknown%");
  EXPECT_EQ((*models)[2].fields, (Fields{"100%", "%Realtek (US)%"}));
}

TEST(InfText, LineContinuation) {
  InfText inf = Parsed(
      "[Inst]\n"
      "CopyFiles = First.Copy, \\\n"
      "            Second.Copy, \\   ; comment after the backslash\n"
      "            Third.Copy\n"
      "AddReg = Reg\n"
      "Last = dangling \\\n");
  auto* lines = inf.Section("Inst");
  ASSERT_NE(lines, nullptr);
  ASSERT_EQ(lines->size(), 3u);
  EXPECT_EQ((*lines)[0].fields, (Fields{"First.Copy", "Second.Copy", "Third.Copy"}));
  EXPECT_EQ((*lines)[1].key, "AddReg");
  EXPECT_EQ((*lines)[2].fields, Fields{"dangling"});
}

TEST(InfText, MalformedHeaderNamesItsLine) {
  InfText inf;
  uint32_t line = 0;
  EXPECT_FALSE(inf.Parse("[Version]\nSignature=\"$Windows NT$\"\n\n[Broken\nx=1\n", &line));
  EXPECT_EQ(line, 4u);
  EXPECT_FALSE(inf.HasSection("Version"));
}

TEST(InfText, DecoratedInstallSections) {
  InfText inf = Parsed("[A.NTamd64]\n[A.NT]\n[A]\n[B.NT]\n[C]\n[D.ntx86]\n");
  EXPECT_EQ(inf.ActualSection("a", true), "A.NTamd64");
  EXPECT_EQ(inf.ActualSection("A", false), "A.NT");
  EXPECT_EQ(inf.ActualSection("B", true), "B.NT");
  EXPECT_EQ(inf.ActualSection("C", true), "C");
  EXPECT_EQ(inf.ActualSection("D", false), "D.ntx86");
  EXPECT_EQ(inf.ActualSection("D", true), "");
  EXPECT_EQ(inf.ActualSection("E", true), "");
}

TEST(InfText, DestinationDirs) {
  InfText inf = Parsed(
      "[DestinationDirs]\n"
      "Drivers.Copy = 12\n"
      "Audio.Copy   = 10, system32\\drivers ; with a subfolder\n"
      "Odd.Copy     = abc\n"
      "DefaultDestDir = 11\n");
  struct Case {
    const char* section;
    uint32_t dirid;
    const char* subdir;
  };
  for (const Case& c : {Case{"drivers.copy", 12, ""}, Case{"Audio.Copy", 10, "system32\\drivers"},
                        Case{"Other.Copy", 11, ""}, Case{"Odd.Copy", 0, ""}}) {
    auto d = inf.DestinationOf(c.section);
    EXPECT_EQ(d.dirid, c.dirid) << c.section;
    EXPECT_EQ(d.subdir, c.subdir) << c.section;
  }
  // Without a default the system directory is the destination, as in SetupAPI.
  EXPECT_EQ(Parsed("[DestinationDirs]\n").DestinationOf("X").dirid, 11u);
}

TEST(InfText, DirectoryIds) {
  struct Case {
    uint32_t id;
    bool is64;
    const char* path;
  };
  const Case cases[] = {
      {10, true, "C:\\Windows"},
      {11, true, "C:\\Windows\\system32"},
      {12, false, "C:\\Windows\\system32\\drivers"},
      {17, true, "C:\\Windows\\INF"},
      {24, true, "C:"},
      {30, true, "C:"},
      {50, true, "C:\\Windows\\system"},
      {53, true, "C:\\Users\\Alex"},
      {16422, true, "C:\\Program Files"},
      {16426, true, "C:\\Program Files (x86)"},
      {16426, false, "C:\\Program Files"},
      {16425, true, "C:\\Windows\\SysWOW64"},
      {13, true, "C:\\Windows\\system32\\DriverStore\\FileRepository"},
      {1, true, ""},
      {14, true, ""},
      {99999, true, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SimDirIdPath(c.id, c.is64, "C:\\Users\\Alex"), c.path) << c.id << " " << c.is64;
}

}  // namespace
}  // namespace vx::sim
