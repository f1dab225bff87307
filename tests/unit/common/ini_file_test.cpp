#include "common/ini_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "common/text.h"

namespace vx {
namespace {

using namespace std::string_literals;

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

IniFile FromText(std::string_view text) {
  IniFile ini;
  ini.LoadFromText(text);
  return ini;
}

// ---------------------------------------------------------------------------
// Parsing: every case is input text and the file the object writes back.

struct ParseCase {
  const char* name;
  std::string input;
  std::string expected;
};

class IniParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(IniParseTest, WritesBackCanonicalText) {
  EXPECT_EQ(FromText(GetParam().input).ToText(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniParseTest,
    ::testing::Values(
        ParseCase{"Empty", "", ""}, ParseCase{"OneKey", "[A]\nk=v\n", "[A]\r\nk=v\r\n\r\n"},
        ParseCase{"NoFinalLineEnd", "[A]\r\nk=v", "[A]\r\nk=v\r\n\r\n"},
        ParseCase{"EmptySection", "[A]", "[A]\r\n\r\n"},
        ParseCase{"BlanksAroundEverything", "  [ A B ]  \r\n\t k  =  v w \t\r\n",
                  "[A B]\r\nk=v w\r\n\r\n"},
        ParseCase{"ValueKeepsQuotesAndLaterEquals", "[A]\nk=\" x=y \"\n",
                  "[A]\r\nk=\" x=y \"\r\n\r\n"},
        ParseCase{"EmptyValue", "[A]\nk=\n", "[A]\r\nk=\r\n\r\n"},
        ParseCase{"EmptyKeyName", "[A]\n=v\n", "[A]\r\n=v\r\n\r\n"},
        ParseCase{"EmptySectionName", "[]\nk=v\n", "[]\r\nk=v\r\n\r\n"},
        ParseCase{"CommentsAndBlankLinesDropped", "; head\n\n[A]\n ; note\nk=v\n\n\n[B]\n",
                  "[A]\r\nk=v\r\n\r\n[B]\r\n\r\n"},
        ParseCase{"LinesBeforeFirstSectionDropped", "k=v\nloose\n[A]\nj=w\n", "[A]\r\nj=w\r\n\r\n"},
        ParseCase{"LineWithoutEqualsKeptTrimmed", "[A]\n  loose text  \nk=v\n",
                  "[A]\r\nloose text\r\nk=v\r\n\r\n"},
        ParseCase{"OpenBracketOnlyIsNotAHeader", "[A]\n[B\nk=v\n", "[A]\r\n[B\r\nk=v\r\n\r\n"},
        ParseCase{"CloseBracketOnlyIsNotAHeader", "[A]\nB]\n", "[A]\r\nB]\r\n\r\n"},
        ParseCase{"LoneBrackets", "[\n]\n[A]\n[\n]\n", "[A]\r\n[\r\n]\r\n\r\n"},
        ParseCase{"BracketInsideSectionName", "[a]b]\nk=v\n", "[a]b]\r\nk=v\r\n\r\n"},
        ParseCase{"MixedLineEnds", "[A]\rk=1\nj=2\r\ni=3\n\r[B]",
                  "[A]\r\nk=1\r\nj=2\r\ni=3\r\n\r\n[B]\r\n\r\n"},
        ParseCase{"Utf8BomIgnored", "\xEF\xBB\xBF[A]\nk=v\n", "[A]\r\nk=v\r\n\r\n"},
        ParseCase{"DuplicatesKept", "[A]\nk=1\nK=2\n[a]\nk=3\n",
                  "[A]\r\nk=1\r\nK=2\r\n\r\n[a]\r\nk=3\r\n\r\n"},
        ParseCase{"NulBytesAreCharacters", "[A]\nk=a\0b\n"s, "[A]\r\nk=a\0b\r\n\r\n"s},
        ParseCase{"NulOnlyLineIsBlank", "[A]\n\0\nk=v"s, "[A]\r\nk=v\r\n\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Look-ups

TEST(IniLookupTest, NamesCompareWithoutCaseAndBlanks) {
  IniFile ini = FromText("[Settings]\nBaseDate=42\n[Ёлка Ü]\nÆble=1\n");
  EXPECT_EQ(ini.ReadString("SETTINGS", "basedate"), "42");
  EXPECT_EQ(ini.ReadString(" settings ", " BASEDATE "), "42");
  EXPECT_EQ(ini.ReadString("ёЛКА ü", "æBLE"), "1");
  EXPECT_TRUE(ini.SectionExists("settings"));
  EXPECT_TRUE(ini.ValueExists("Settings", "BASEDATE"));
  EXPECT_FALSE(ini.ValueExists("Settings", "Base"));
  EXPECT_FALSE(ini.SectionExists("Setting"));
}

TEST(IniLookupTest, FirstMatchWins) {
  IniFile ini = FromText("[A]\nk=1\nK=2\n[a]\nk=3\nj=4\n");
  EXPECT_EQ(ini.ReadString("A", "k"), "1");
  // The repeated section stays invisible while the first exists.
  EXPECT_FALSE(ini.ValueExists("a", "j"));
  EXPECT_EQ(ini.ReadSections(), (Lines{"A", "a"}));
  EXPECT_EQ(ini.ReadSection("a"), (Lines{"k", "K"}));

  ini.DeleteKey("A", "K");
  EXPECT_EQ(ini.ReadString("A", "k"), "2");
  ini.EraseSection("A");
  EXPECT_EQ(ini.ReadString("A", "k"), "3");
  EXPECT_EQ(ini.ReadString("A", "j"), "4");
}

// A device list's sections hold a hundred keys and more; the key index
// grows as keys arrive and must still find the first of equal names.
TEST(IniLookupTest, LargeSectionsFindEveryKeyAndTheFirstOfEqualNames) {
  std::string text = "[Big]\n";
  for (int i = 0; i < 1000; ++i) text += "Key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  for (int i = 0; i < 1000; i += 7) text += "KEY" + std::to_string(i) + "=late\n";
  IniFile loaded = FromText(text);
  IniFile written = FromText("[Big]\nfirst=0\n");
  EXPECT_EQ(written.ReadString("Big", "FIRST"), "0");  // indexed from here on
  for (int i = 0; i < 1000; ++i) written.WriteString("Big", "Key" + std::to_string(i), "w");
  for (int i = 0; i < 1000; ++i) {
    const std::string key = "kEy" + std::to_string(i);
    ASSERT_EQ(loaded.ReadString("Big", key), std::to_string(i)) << key;
    ASSERT_EQ(written.ReadString("Big", key), "w") << key;
  }
  EXPECT_FALSE(loaded.ValueExists("Big", "Key1000"));
  EXPECT_EQ(written.ReadSection("Big").size(), 1001u);
  loaded.DeleteKey("big", "key7");
  EXPECT_EQ(loaded.ReadString("Big", "Key7"), "late");
}

TEST(IniLookupTest, WritesAndCopiesBeforeAnyLookup) {
  // Key look-ups of a loaded section are prepared on first use; writes,
  // deletes and copies made before that must see the same keys.
  IniFile ini = FromText("[A]\nk=1\nK=2\n[B]\nÄpfel=3\n");
  ini.WriteString("a", "K", "x");
  EXPECT_EQ(ini.ReadSectionValues("A"), (Lines{"k=x", "K=2"}));
  IniFile copy = ini;
  copy.DeleteKey("B", "äPFEL");
  EXPECT_FALSE(copy.ValueExists("B", "Äpfel"));
  EXPECT_EQ(ini.ReadString("b", "äpfel"), "3");
  ini.WriteString("B", "new", "4");
  EXPECT_EQ(ini.ReadString("B", "NEW"), "4");
  EXPECT_EQ(ini.ReadSection("B"), (Lines{"Äpfel", "new"}));
}

TEST(IniLookupTest, DefaultsOnlyWhenAbsent) {
  IniFile ini = FromText("[A]\nempty=\nloose\n");
  EXPECT_EQ(ini.ReadString("A", "empty", "def"), "");
  EXPECT_EQ(ini.ReadString("A", "missing", "def"), "def");
  EXPECT_EQ(ini.ReadString("B", "empty", "def"), "def");
  // A line without "=" is not a key.
  EXPECT_EQ(ini.ReadString("A", "loose", "def"), "def");
  EXPECT_FALSE(ini.ValueExists("A", "loose"));
  EXPECT_EQ(ini.ReadInteger("A", "empty", 7), 7);
  EXPECT_TRUE(ini.ReadBool("A", "empty", true));
  EXPECT_DOUBLE_EQ(ini.ReadFloat("A", "empty", 1.5), 1.5);
}

TEST(IniLookupTest, SectionListsSkipNonKeyLines) {
  IniFile ini = FromText("[A]\nb=2\nloose\n=e\na=1\n[B]\n");
  EXPECT_EQ(ini.ReadSection("a"), (Lines{"b", "", "a"}));
  EXPECT_EQ(ini.ReadSectionValues("a"), (Lines{"b=2", "=e", "a=1"}));
  EXPECT_TRUE(ini.ReadSection("B").empty());
  EXPECT_TRUE(ini.ReadSection("C").empty());
  EXPECT_TRUE(ini.ReadSectionValues("C").empty());
  EXPECT_EQ(ini.ReadSections(), (Lines{"A", "B"}));
  std::string text = "x\n";
  EXPECT_EQ(ini.AppendSectionValues("a", text, "\r\n"), 3u);
  EXPECT_EQ(text, "x\nb=2\r\n=e\r\na=1\r\n");
  EXPECT_EQ(ini.AppendSectionValues("C", text, "\r\n"), 0u);
  EXPECT_EQ(text, "x\nb=2\r\n=e\r\na=1\r\n");
}

// ---------------------------------------------------------------------------
// Typed reads

struct IntCase {
  const char* text;
  int32_t expected;  // kDef when the text is not an integer
};
constexpr int32_t kDef = 12345;

class IniReadIntegerTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(IniReadIntegerTest, ParsesLikeWindowsTools) {
  IniFile ini;
  ini.WriteString("S", "k", GetParam().text);
  EXPECT_EQ(ini.ReadInteger("S", "k", kDef), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniReadIntegerTest,
    ::testing::Values(IntCase{"0", 0}, IntCase{"42", 42}, IntCase{"+42", 42}, IntCase{"-42", -42},
                      IntCase{"007", 7}, IntCase{"-0", 0}, IntCase{"2147483647", 2147483647},
                      IntCase{"-2147483648", INT32_MIN}, IntCase{"2147483648", kDef},
                      IntCase{"-2147483649", kDef}, IntCase{"99999999999999999999", kDef},
                      IntCase{"$1F", 31}, IntCase{"$1f", 31}, IntCase{"0x1F", 31},
                      IntCase{"0X1f", 31}, IntCase{"-$10", -16}, IntCase{"$7FFFFFFF", INT32_MAX},
                      IntCase{"$FFFFFFFF", -1}, IntCase{"$000000000001", 1},
                      IntCase{"$100000000", kDef}, IntCase{"$", kDef}, IntCase{"0x", kDef},
                      IntCase{"x1F", kDef}, IntCase{"$1G", kDef}, IntCase{"1F", kDef},
                      IntCase{"12abc", kDef}, IntCase{"1.5", kDef}, IntCase{"1 2", kDef},
                      IntCase{"", kDef}, IntCase{"-", kDef}, IntCase{"+-1", kDef},
                      IntCase{"--1", kDef}, IntCase{"true", kDef}));

TEST(IniReadBoolTest, NonZeroIntegerIsTrue) {
  IniFile ini = FromText("[S]\none=1\nzero=0\ntwo=2\nneg=-1\nhex=$0\nword=true\nno=false\n");
  EXPECT_TRUE(ini.ReadBool("S", "one", false));
  EXPECT_FALSE(ini.ReadBool("S", "zero", true));
  EXPECT_TRUE(ini.ReadBool("S", "two", false));
  EXPECT_TRUE(ini.ReadBool("S", "neg", false));
  EXPECT_FALSE(ini.ReadBool("S", "hex", true));
  // Words are not integers: the default stands, whichever it is.
  EXPECT_TRUE(ini.ReadBool("S", "word", true));
  EXPECT_FALSE(ini.ReadBool("S", "word", false));
  EXPECT_TRUE(ini.ReadBool("S", "no", true));
}

struct FloatReadCase {
  const char* text;
  double expected;  // NaN: the default is expected
};

class IniReadFloatTest : public ::testing::TestWithParam<FloatReadCase> {};

TEST_P(IniReadFloatTest, AcceptsEitherSeparator) {
  IniFile ini;
  ini.WriteString("S", "k", GetParam().text);
  const double def = -777.25;
  double want = std::isnan(GetParam().expected) ? def : GetParam().expected;
  EXPECT_DOUBLE_EQ(ini.ReadFloat("S", "k", def), want) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Cases, IniReadFloatTest,
                         ::testing::Values(FloatReadCase{"1.5", 1.5}, FloatReadCase{"1,5", 1.5},
                                           FloatReadCase{"-2.25E3", -2250}, FloatReadCase{"+4", 4},
                                           FloatReadCase{"1E-5", 1e-5},
                                           FloatReadCase{"45292.5416666667", 45292.5416666667},
                                           FloatReadCase{".5", 0.5}, FloatReadCase{"0", 0},
                                           FloatReadCase{"", NAN}, FloatReadCase{"abc", NAN},
                                           FloatReadCase{"1.2.3", NAN},
                                           FloatReadCase{"1,234.5", NAN}, FloatReadCase{"1e", NAN},
                                           FloatReadCase{"+-1", NAN}, FloatReadCase{"INF", NAN},
                                           FloatReadCase{"-inf", NAN}, FloatReadCase{"NAN", NAN},
                                           FloatReadCase{"1e999", NAN},
                                           FloatReadCase{"0x10", NAN}));

// ---------------------------------------------------------------------------
// Typed writes

struct FloatWriteCase {
  double value;
  char separator;
  const char* text;
};

class IniWriteFloatTest : public ::testing::TestWithParam<FloatWriteCase> {};

TEST_P(IniWriteFloatTest, FormatsAndReadsBack) {
  const auto& c = GetParam();
  IniFile ini;
  ASSERT_TRUE(ini.WriteFloat("S", "k", c.value, c.separator));
  EXPECT_EQ(ini.ReadString("S", "k"), c.text);
  if (std::isfinite(c.value)) {
    double back = ini.ReadFloat("S", "k", -1);
    EXPECT_NEAR(back, c.value, std::fabs(c.value) * 1e-14) << c.text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniWriteFloatTest,
    ::testing::Values(FloatWriteCase{0.0, '.', "0"}, FloatWriteCase{1.0, '.', "1"},
                      FloatWriteCase{-2.5, '.', "-2.5"}, FloatWriteCase{43831.5, '.', "43831.5"},
                      FloatWriteCase{43831.5, ',', "43831,5"},
                      FloatWriteCase{45292.541666666664, '.', "45292.5416666667"},
                      FloatWriteCase{0.1 + 0.2, '.', "0.3"}, FloatWriteCase{100.0, '.', "100"},
                      FloatWriteCase{1e-5, '.', "0.00001"}, FloatWriteCase{1.5e-6, '.', "1.5E-6"},
                      FloatWriteCase{1.5e-6, ',', "1,5E-6"},
                      FloatWriteCase{999999999999999.0, '.', "999999999999999"},
                      FloatWriteCase{1e15, '.', "1E15"}, FloatWriteCase{1e20, '.', "1E20"},
                      FloatWriteCase{-123456789012345678.0, '.', "-1.23456789012346E17"},
                      FloatWriteCase{INFINITY, '.', "INF"}, FloatWriteCase{NAN, '.', "NAN"}));

TEST(IniWriteTest, IntegersAndBooleans) {
  IniFile ini;
  ini.WriteInteger("S", "i", -17);
  ini.WriteInteger("S", "max", INT32_MAX);
  ini.WriteBool("S", "t", true);
  ini.WriteBool("S", "f", false);
  EXPECT_EQ(ini.ReadSectionValues("S"), (Lines{"i=-17", "max=2147483647", "t=1", "f=0"}));
  EXPECT_EQ(ini.ReadInteger("S", "max", 0), INT32_MAX);
  EXPECT_TRUE(ini.ReadBool("S", "t", false));
  EXPECT_FALSE(ini.ReadBool("S", "f", true));
}

TEST(IniWriteTest, KeepsFileOrder) {
  IniFile ini = FromText("[A]\nk1=1\nk2=2\n[B]\nx=1\n");
  ini.WriteString("a", "K1", "one");  // in place, original spelling kept
  ini.WriteString("A", "k3", "3");    // appended to its section
  ini.WriteString("C", "c", "1");     // new section at the end
  EXPECT_EQ(ini.ToText(),
            "[A]\r\nk1=one\r\nk2=2\r\nk3=3\r\n\r\n[B]\r\nx=1\r\n\r\n[C]\r\nc=1\r\n\r\n");

  // An erased section comes back at the end, not in its old place.
  ini.EraseSection("a");
  ini.WriteString("A", "k", "v");
  EXPECT_EQ(ini.ReadSections(), (Lines{"B", "C", "A"}));
}

TEST(IniWriteTest, NormalisesLikeALoadWould) {
  IniFile ini;
  EXPECT_TRUE(ini.WriteString(" S ", " k ", "  v  "));
  EXPECT_TRUE(ini.WriteString("S", "multi", "line1\r\nline2\rline3\n"));
  EXPECT_TRUE(ini.WriteString("S\nT", "k", "v"));
  EXPECT_EQ(ini.ReadString("S", "k"), "v");
  EXPECT_EQ(ini.ReadString("S", "multi"), "line1  line2 line3");
  EXPECT_TRUE(ini.SectionExists("S T"));

  // Whatever was written reads the same after a trip through the file form.
  IniFile reloaded = FromText(ini.ToText());
  EXPECT_EQ(reloaded.ToText(), ini.ToText());
  EXPECT_EQ(reloaded.ReadString("S", "multi"), "line1  line2 line3");
}

TEST(IniWriteTest, RefusesKeysAReloadWouldMisread) {
  IniFile ini;
  for (const char* key : {"a=b", "=", ";comment", "[x", " ;x"}) {
    EXPECT_FALSE(ini.WriteString("S", key, "v]")) << key;
  }
  EXPECT_FALSE(ini.SectionExists("S"));
  EXPECT_TRUE(ini.WriteString("S", "", "empty name"));
  EXPECT_TRUE(ini.WriteString("S", "a;b", "v"));
  EXPECT_TRUE(ini.WriteString("S", "x[y]", "v"));
  IniFile reloaded = FromText(ini.ToText());
  EXPECT_EQ(reloaded.ReadSectionValues("S"), (Lines{"=empty name", "a;b=v", "x[y]=v"}));
}

TEST(IniWriteTest, EraseDeleteAndClear) {
  IniFile ini = FromText("[A]\nk=1\nj=2\n[B]\nk=3\n");
  ini.DeleteKey("A", "K");
  ini.DeleteKey("A", "missing");
  ini.DeleteKey("missing", "k");
  EXPECT_EQ(ini.ReadSectionValues("A"), (Lines{"j=2"}));
  EXPECT_EQ(ini.ReadString("A", "j"), "2");  // index still right after the shift

  ini.EraseSection("missing");
  ini.EraseSection("a");
  EXPECT_FALSE(ini.SectionExists("A"));
  EXPECT_EQ(ini.ReadString("B", "k"), "3");

  ini.Clear();
  EXPECT_EQ(ini.ToText(), "");
  EXPECT_TRUE(ini.ReadSections().empty());
  ini.WriteString("B", "k", "new");
  EXPECT_EQ(ini.ToText(), "[B]\r\nk=new\r\n\r\n");
}

TEST(IniWriteTest, LoadReplacesContent) {
  IniFile ini = FromText("[A]\nk=1\n");
  ini.LoadFromText("[B]\nk=2\n");
  EXPECT_FALSE(ini.SectionExists("A"));
  EXPECT_EQ(ini.ReadString("B", "k"), "2");
}

// ---------------------------------------------------------------------------
// Hostile input

TEST(IniRobustnessTest, HugeInput) {
  std::string text = "[Big]\r\n";
  const int kKeys = 100000;
  for (int i = 0; i < kKeys; ++i)
    text += "Key" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
  text += "long=" + std::string(4 << 20, 'x') + "\r\n\r\n";
  for (int i = 0; i < 20000; ++i)
    text += "[S" + std::to_string(i) + "]\r\nk=" + std::to_string(i) + "\r\n\r\n";

  IniFile ini = FromText(text);
  EXPECT_EQ(ini.ReadSection("big").size(), static_cast<size_t>(kKeys) + 1);
  EXPECT_EQ(ini.ReadInteger("BIG", "key99999", -1), 99999);
  EXPECT_EQ(ini.ReadString("Big", "long").size(), 4u << 20);
  EXPECT_EQ(ini.ReadInteger("s19999", "K", -1), 19999);
  EXPECT_EQ(ini.ReadSections().size(), 20001u);
  EXPECT_EQ(ini.ToText(), text);
}

TEST(IniRobustnessTest, RandomBytesLoadAndSettle) {
  // Whatever the input, one load normalises it: loading the written text
  // again must give the same text.
  std::mt19937 rng(20240607);
  const std::string alphabet = "[]=; \t\r\nab\xC3\xA9\xFF\0"s;
  for (int round = 0; round < 300; ++round) {
    std::string input;
    size_t len = rng() % 400;
    for (size_t i = 0; i < len; ++i) input += alphabet[rng() % alphabet.size()];
    IniFile ini = FromText(input);
    std::string once = ini.ToText();
    EXPECT_EQ(FromText(once).ToText(), once) << "round " << round;
    for (const auto& s : ini.ReadSections()) {
      for (const auto& k : ini.ReadSection(s)) EXPECT_TRUE(ini.ValueExists(s, k));
    }
  }
}

// ---------------------------------------------------------------------------
// Files

class IniFileOnDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("vx_ini_" + std::string(info->name()) + "_" +
            std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  static void Put(const fs::path& p, const std::string& bytes) {
    std::ofstream f(p, std::ios::binary);
    f << bytes;
  }
  static std::string Get(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  }
  Lines DirNames() const {
    Lines names;
    for (const auto& e : fs::directory_iterator(dir_))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

TEST_F(IniFileOnDiskTest, ReadsEveryEncoding) {
  const std::string body = "[Gerät]\r\nName=Überwachung\r\n";
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"utf8", body},
      {"utf8bom", "\xEF\xBB\xBF" + body},
      {"utf16le", "\xFF\xFE" + Utf16LeBytes(Utf8ToUtf16(body))},
      {"ansi",
       "[Ger\xE4t]\r\nName=\xDC"
       "berwachung\r\n"},
  };
  for (const auto& c : cases) {
    fs::path p = dir_ / (std::string(c.name) + ".ini");
    Put(p, c.bytes);
    IniFile ini;
    EXPECT_TRUE(ini.LoadFromFile(p)) << c.name;
    EXPECT_EQ(ini.FileName().string(), p.string());
    EXPECT_EQ(ini.ReadString("GERÄT", "name"), "Überwachung") << c.name;
  }
}

TEST_F(IniFileOnDiskTest, MissingFileIsEmptyAndCreatedOnUpdate) {
  fs::path p = dir_ / "new.ini";
  IniFile ini(p);
  EXPECT_EQ(ini.FileName().string(), p.string());
  EXPECT_TRUE(ini.ReadSections().empty());
  EXPECT_FALSE(ini.LoadFromFile(p));

  ini.WriteString("Settings", "Name", "Müller");
  ini.WriteInteger("Settings", "Count", 3);
  ASSERT_TRUE(ini.UpdateFile());
  // UTF-8 without BOM, CR LF, an empty line after each section.
  EXPECT_EQ(Get(p), "[Settings]\r\nName=M\xC3\xBCller\r\nCount=3\r\n\r\n");
  EXPECT_EQ(DirNames(), (Lines{"new.ini"}));

  IniFile again(p);
  EXPECT_EQ(again.ReadString("settings", "name"), "Müller");
}

TEST_F(IniFileOnDiskTest, UnreadablePathLeavesObjectEmpty) {
  IniFile ini = FromText("[A]\nk=v\n");
  fs::create_directory(dir_ / "folder.ini");
  EXPECT_FALSE(ini.LoadFromFile(dir_ / "folder.ini"));
  EXPECT_TRUE(ini.ReadSections().empty());
}

TEST_F(IniFileOnDiskTest, UpdateReplacesWholeFile) {
  fs::path p = dir_ / "Scan.ini";
  Put(p, "[Old]\nlots=" + std::string(1000, 'x') + "\n; comment\n");
  IniFile ini(p);
  ini.EraseSection("Old");
  ini.WriteString("New", "k", "v");
  ASSERT_TRUE(ini.UpdateFile());
  EXPECT_EQ(Get(p), "[New]\r\nk=v\r\n\r\n");
  // No scratch file and no moved-aside copy stays behind.
  EXPECT_EQ(DirNames(), (Lines{"Scan.ini"}));
}

TEST_F(IniFileOnDiskTest, UpdateOverwritesStaleScratchFile) {
  fs::path p = dir_ / "a.ini";
  Put(fs::path(p) += std::string(IniFile::kTempSuffix),
      "left over from a crash, longer than the file");
  IniFile ini = FromText("[A]\nk=1\n");
  ini.SetFileName(p);
  ASSERT_TRUE(ini.UpdateFile());
  EXPECT_EQ(Get(p), "[A]\r\nk=1\r\n\r\n");
  EXPECT_EQ(DirNames(), (Lines{"a.ini"}));
}

// The retry: the first attempt fails because a folder stands where the file
// goes; the injected wait stands in for the pause and for whatever frees the
// path in the meantime.
struct RetryCase {
  const char* name;
  bool freed_during_wait;
};

class IniUpdateRetryTest : public IniFileOnDiskTest,
                           public ::testing::WithParamInterface<RetryCase> {};

TEST_P(IniUpdateRetryTest, RetriesOnceAfterTheDelay) {
  fs::path p = dir_ / "Devices.ini";
  fs::create_directories(p / "sub");
  IniFile ini = FromText("[1]\nHardId=PCI\\VEN_8086\n");
  ini.SetFileName(p);
  EXPECT_EQ(ini.RetryDelay(), std::chrono::milliseconds(1000));

  std::vector<std::chrono::milliseconds> waits;
  ini.SetRetryWait([&](std::chrono::milliseconds d) {
    waits.push_back(d);
    if (GetParam().freed_during_wait) fs::remove_all(p);
  });
  std::vector<std::pair<int, std::string>> failures;
  bool ok = ini.UpdateFileWith([&](int attempt, const fs::path& path, uint32_t code) {
    failures.emplace_back(attempt, path.string());
    EXPECT_NE(code, 0u);
  });

  EXPECT_EQ(waits, (std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(1000)}));
  if (GetParam().freed_during_wait) {
    EXPECT_TRUE(ok);
    EXPECT_EQ(failures, (std::vector<std::pair<int, std::string>>{{1, p.string()}}));
    EXPECT_EQ(Get(p), "[1]\r\nHardId=PCI\\VEN_8086\r\n\r\n");
  } else {
    EXPECT_FALSE(ok);
    EXPECT_EQ(failures,
              (std::vector<std::pair<int, std::string>>{{1, p.string()}, {2, p.string()}}));
    EXPECT_TRUE(fs::is_directory(p / "sub"));  // the folder is never touched
  }
  EXPECT_EQ(DirNames(), (Lines{"Devices.ini"}));
}

INSTANTIATE_TEST_SUITE_P(Cases, IniUpdateRetryTest,
                         ::testing::Values(RetryCase{"SecondAttemptSucceeds", true},
                                           RetryCase{"BothAttemptsFail", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileOnDiskTest, FailedUpdateLeavesOldFileAsItWas) {
  fs::path p = dir_ / "x.status";
  Put(p, "[Settings]\r\nStatus=Downloaded\r\n");
  // A folder in place of the scratch file makes every attempt fail before
  // the old file is touched.
  fs::path scratch = fs::path(p) += std::string(IniFile::kTempSuffix);
  fs::create_directories(scratch / "keep");

  IniFile ini(p);
  ini.WriteString("Settings", "Status", "Installed");
  int waits = 0;
  ini.SetRetryWait([&](std::chrono::milliseconds) { ++waits; });
  EXPECT_FALSE(ini.UpdateFile(IniUpdateLog::Numbered("CreateInstallSnapshots", 2)));
  EXPECT_EQ(waits, 1);
  EXPECT_EQ(Get(p), "[Settings]\r\nStatus=Downloaded\r\n");
  EXPECT_TRUE(fs::is_directory(scratch / "keep"));
}

TEST_F(IniFileOnDiskTest, UpdateFailsWithoutUsableName) {
  int waits = 0;
  IniFile unnamed;
  unnamed.SetRetryWait([&](std::chrono::milliseconds) { ++waits; });
  EXPECT_FALSE(unnamed.UpdateFile());

  IniFile no_folder;
  no_folder.SetFileName(dir_ / "missing" / "a.ini");
  no_folder.SetRetryWait([&](std::chrono::milliseconds) { ++waits; });
  EXPECT_FALSE(no_folder.UpdateFile());
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
  EXPECT_EQ(waits, 2);
}

TEST_F(IniFileOnDiskTest, SaveToFileIsOneSilentAttempt) {
  IniFile ini = FromText("[A]\nk=v\n");
  uint32_t code = 99;
  ASSERT_TRUE(ini.SaveToFile(dir_ / "copy.ini", code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(Get(dir_ / "copy.ini"), ini.ToText());
  EXPECT_FALSE(ini.SaveToFile(dir_, code));
  EXPECT_NE(code, 0u);
}

TEST(IniUpdateLogTest, MessagePairs) {
  IniUpdateLog plain;
  EXPECT_EQ(plain.first, "Ini.UpdateFile fail");
  EXPECT_EQ(plain.second, "Ini.UpdateFile fail 2");
  IniUpdateLog numbered = IniUpdateLog::Numbered("TInstallReport.Save", 3);
  EXPECT_EQ(numbered.tag, "TInstallReport.Save");
  EXPECT_EQ(numbered.first, "Ini.UpdateFile fail 3");
  EXPECT_EQ(numbered.second, "Ini.UpdateFile fail 3.2");
}

}  // namespace
}  // namespace vx
