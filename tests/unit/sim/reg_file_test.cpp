#include "platform/sim/reg_file.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"

namespace vx::sim {

// Readable failure output instead of gtest's byte dumps; static so another
// test file may define its own.
static void PrintTo(const RegFileValue& v, std::ostream* os) {
  *os << "{name=\"" << v.name << "\" type=" << v.type << " remove=" << v.remove << " data=";
  static constexpr char kDigits[] = "0123456789abcdef";
  for (unsigned char b : v.data) *os << kDigits[b >> 4] << kDigits[b & 0xF] << ' ';
  *os << "}";
}

static void PrintTo(const RegFileKey& k, std::ostream* os) {
  *os << "\n[" << (k.remove ? "-" : "") << k.path << "]";
  for (const RegFileValue& v : k.values) {
    *os << "\n  ";
    PrintTo(v, os);
  }
}

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

std::string Sz(std::string_view utf8) { return Utf16LeBytes(Utf8ToUtf16(utf8)) + std::string(2, '\0'); }

std::string Multi(std::initializer_list<std::string_view> items) {
  std::string out;
  for (std::string_view s : items) out += Sz(s);
  return out + std::string(2, '\0');
}

std::string Le(uint64_t v, int size) {
  std::string out;
  for (int i = 0; i < size; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
  return out;
}

std::string Bytes(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out += static_cast<char>(b);
  return out;
}

bool IsHexPair(char a, char b) {
  return std::isxdigit(static_cast<unsigned char>(a)) && std::isxdigit(static_cast<unsigned char>(b));
}

std::string Pattern(size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += static_cast<char>((i * 37 + 11) & 0xFF);
  return out;
}

RegFileValue Val(std::string name, uint32_t type, std::string data) {
  RegFileValue v;
  v.name = std::move(name);
  v.type = type;
  v.data = std::move(data);
  return v;
}

RegFileValue Removal(std::string name) {
  RegFileValue v;
  v.name = std::move(name);
  v.remove = true;
  return v;
}

RegFileKey Key(std::string path, std::vector<RegFileValue> values = {}, bool remove = false) {
  RegFileKey k;
  k.path = std::move(path);
  k.values = std::move(values);
  k.remove = remove;
  return k;
}

// What regedit writes: BOM + UTF-16LE.
std::string Utf16File(std::string_view utf8) { return "\xFF\xFE" + Utf16LeBytes(Utf8ToUtf16(utf8)); }

std::string FileText(std::string_view file) {
  EXPECT_GE(file.size(), 2u);
  EXPECT_EQ(file.substr(0, 2), "\xFF\xFE") << "no UTF-16LE byte order mark";
  return Utf16ToUtf8(FromUtf16LeBytes(file.substr(2)));
}

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    EXPECT_NE(end, std::string_view::npos) << "line without CR LF ending";
    if (end == std::string_view::npos) end = text.size();
    out.emplace_back(text.substr(start, end - start));
    start = end + 2;
  }
  return out;
}

// Writes one key holding `v` and returns the lines the value occupies.
std::vector<std::string> WrittenValueLines(const RegFileValue& v) {
  std::vector<std::string> lines = Lines(FileText(WriteRegFile({Key("HKEY_LOCAL_MACHINE\\K", {v})})));
  // header, blank, [key], value..., blank
  EXPECT_GE(lines.size(), 5u);
  if (lines.size() < 5) return {};
  EXPECT_EQ(lines.back(), "");
  return {lines.begin() + 3, lines.end() - 1};
}

std::vector<RegFileKey> ParseOk(std::string_view bytes) {
  std::vector<RegFileKey> keys;
  RegFileError err;
  EXPECT_TRUE(ParseRegFile(bytes, keys, err)) << "line " << err.line << ": " << err.reason;
  return keys;
}

// A registry holding every kind of value the simulated machines carry, plus
// the awkward cases for the text form.
std::vector<RegFileKey> EveryKindOfValue() {
  return {
      Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantrix",
          {
              Val("", kRegSz, Sz("Default text")),
              Val("Empty", kRegSz, Sz("")),
              Val("Quoted \"name\"", kRegSz, Sz("say \"hi\" to C:\\Program Files\\")),
              Val("Ends in backslash", kRegSz, Sz("C:\\")),
              Val("Größe Ключ 😀", kRegSz, Sz("Привет, été 😀")),
              Val("@", kRegSz, Sz("a value literally named @")),
              Val("a=b", kRegSz, Sz("=;[not] a comment")),
              Val(";semicolon", kRegSz, Sz(";")),
              Val("\tTabs and  spaces ", kRegSz, Sz("\tx ")),
              Val("Expand", kRegExpandSz, Sz("%SystemRoot%\\system32")),
              Val("Multi", kRegMultiSz, Multi({"one", "", "три"})),
              Val("MultiEmpty", kRegMultiSz, Multi({})),
              Val("Dword", kRegDword, Le(0xDEADBEEF, 4)),
              Val("DwordZero", kRegDword, Le(0, 4)),
              Val("Qword", kRegQword, Le(0x0123456789ABCDEFull, 8)),
              Val("Binary", kRegBinary, Bytes({0x00, 0xFF, 0x7F})),
              Val("LongBinary", kRegBinary, Pattern(1000)),
              Val("BinaryEmpty", kRegBinary, ""),
              Val("None", kRegNone, ""),
              Val("NoneWithData", kRegNone, Bytes({1, 2})),
              Val("Custom", 0x12345678, Bytes({9})),
              Val("SzWithoutTerminator", kRegSz, Utf16LeBytes(u"abc")),
              Val("SzWithLineBreak", kRegSz, Sz("two\r\nlines")),
              Val("SzOddLength", kRegSz, "x"),
              Val("ShortDword", kRegDword, Bytes({1, 2})),
              Removal("Deleted"),
              Removal(""),
          }),
      Key("HKEY_CURRENT_USER\\Software\\Old", {}, true),
      Key("HKEY_CURRENT_USER\\Software\\Ünïcode\\Ключ [x]"),
      Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantrix", {Val("Again", kRegDword, Le(1, 4))}),
      Key("HKEY_USERS"),
  };
}

TEST(RegFileWrite, MatchesRegeditLayout) {
  std::vector<RegFileKey> keys = {
      Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantrix",
          {
              Val("", kRegSz, Sz("default")),
              Val("Path", kRegSz, Sz("C:\\Program Files\\Vantrix")),
              Val("Quote \"q\"", kRegSz, Sz("say \"hi\"")),
              Val("Count", kRegDword, Le(0xabcd, 4)),
              Val("Expand", kRegExpandSz, Sz("%a%")),
              Removal("Gone"),
          }),
      Key("HKEY_CURRENT_USER\\Software\\Old", {Val("ignored", kRegSz, Sz("x"))}, true),
      Key("HKEY_CLASSES_ROOT\\.vx"),
  };
  std::string expected =
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantrix]\r\n"
      "@=\"default\"\r\n"
      "\"Path\"=\"C:\\\\Program Files\\\\Vantrix\"\r\n"
      "\"Quote \\\"q\\\"\"=\"say \\\"hi\\\"\"\r\n"
      "\"Count\"=dword:0000abcd\r\n"
      "\"Expand\"=hex(2):25,00,61,00,25,00,00,00\r\n"
      "\"Gone\"=-\r\n"
      "\r\n"
      "[-HKEY_CURRENT_USER\\Software\\Old]\r\n"
      "\r\n"
      "[HKEY_CLASSES_ROOT\\.vx]\r\n"
      "\r\n";
  std::string file = WriteRegFile(keys);
  EXPECT_EQ(FileText(file), expected);
  EXPECT_EQ(file, Utf16File(expected));
}

TEST(RegFileWrite, EmptyListIsHeaderOnly) {
  std::string file = WriteRegFile({});
  EXPECT_EQ(FileText(file), std::string(kHeader) + "\r\n\r\n");
  EXPECT_TRUE(ParseOk(file).empty());
}

struct ValueFormCase {
  const char* label;
  RegFileValue value;
  const char* line;
};

void PrintTo(const ValueFormCase& c, std::ostream* os) { *os << c.label; }

class RegFileValueForm : public ::testing::TestWithParam<ValueFormCase> {};

// Each value must be written in the form regedit would use where that form
// carries the bytes exactly, and in hex(N) otherwise; either way it must
// read back unchanged.
TEST_P(RegFileValueForm, WritesExpectedLineAndReadsBack) {
  const ValueFormCase& c = GetParam();
  std::vector<std::string> lines = WrittenValueLines(c.value);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], c.line);

  std::vector<RegFileKey> keys = ParseOk(WriteRegFile({Key("HKEY_LOCAL_MACHINE\\K", {c.value})}));
  ASSERT_EQ(keys.size(), 1u);
  ASSERT_EQ(keys[0].values.size(), 1u);
  EXPECT_EQ(keys[0].values[0], c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, RegFileValueForm,
    ::testing::Values(
        ValueFormCase{"plain", Val("v", kRegSz, Sz("text")), "\"v\"=\"text\""},
        ValueFormCase{"empty_string", Val("v", kRegSz, Sz("")), "\"v\"=\"\""},
        ValueFormCase{"escapes", Val("a\"b\\c", kRegSz, Sz("\\\"")), "\"a\\\"b\\\\c\"=\"\\\\\\\"\""},
        ValueFormCase{"default", Val("", kRegSz, Sz("d")), "@=\"d\""},
        ValueFormCase{"at_sign_name", Val("@", kRegSz, Sz("d")), "\"@\"=\"d\""},
        ValueFormCase{"non_ascii", Val("Ключ", kRegSz, Sz("é😀")), "\"Ключ\"=\"é😀\""},
        ValueFormCase{"sz_no_terminator", Val("v", kRegSz, Utf16LeBytes(u"a")), "\"v\"=hex(1):61,00"},
        ValueFormCase{"sz_zero_bytes", Val("v", kRegSz, ""), "\"v\"=hex(1):"},
        ValueFormCase{"sz_line_break", Val("v", kRegSz, Sz("a\nb")), "\"v\"=hex(1):61,00,0a,00,62,00,00,00"},
        ValueFormCase{"sz_embedded_nul", Val("v", kRegSz, Sz(std::string_view("a\0b", 3))),
                      "\"v\"=hex(1):61,00,00,00,62,00,00,00"},
        ValueFormCase{"sz_odd_length", Val("v", kRegSz, "a"), "\"v\"=hex(1):61"},
        ValueFormCase{"sz_lone_surrogate", Val("v", kRegSz, Bytes({0x00, 0xD8, 0, 0})),
                      "\"v\"=hex(1):00,d8,00,00"},
        ValueFormCase{"dword", Val("v", kRegDword, Le(0xABCD, 4)), "\"v\"=dword:0000abcd"},
        ValueFormCase{"dword_max", Val("v", kRegDword, Le(0xFFFFFFFF, 4)), "\"v\"=dword:ffffffff"},
        ValueFormCase{"dword_short", Val("v", kRegDword, Bytes({1, 2, 3})), "\"v\"=hex(4):01,02,03"},
        ValueFormCase{"qword", Val("v", kRegQword, Le(0x1122334455667788ull, 8)),
                      "\"v\"=hex(b):88,77,66,55,44,33,22,11"},
        ValueFormCase{"binary", Val("v", kRegBinary, Bytes({0, 0xAB, 0xFF})), "\"v\"=hex:00,ab,ff"},
        ValueFormCase{"binary_empty", Val("v", kRegBinary, ""), "\"v\"=hex:"},
        ValueFormCase{"none_empty", Val("v", kRegNone, ""), "\"v\"=hex(0):"},
        ValueFormCase{"expand", Val("v", kRegExpandSz, Sz("%a%")), "\"v\"=hex(2):25,00,61,00,25,00,00,00"},
        ValueFormCase{"multi", Val("v", kRegMultiSz, Multi({"a", "b"})),
                      "\"v\"=hex(7):61,00,00,00,62,00,00,00,00,00"},
        ValueFormCase{"other_type", Val("v", 0x20000, Bytes({1})), "\"v\"=hex(20000):01"},
        ValueFormCase{"removal", Removal("v"), "\"v\"=-"},
        ValueFormCase{"default_removal", Removal(""), "@=-"}),
    [](const ::testing::TestParamInfo<ValueFormCase>& info) { return std::string(info.param.label); });

struct WrapCase {
  const char* label;
  std::string name;
  uint32_t type;
  size_t size;
  std::vector<size_t> bytes_per_line;
};

void PrintTo(const WrapCase& c, std::ostream* os) { *os << c.label; }

class RegFileHexWrap : public ::testing::TestWithParam<WrapCase> {};

// Line breaks must fall where regedit puts them (no line wider than 80
// columns counting the backslash, decided before knowing whether the next
// byte is the last), so our exports diff cleanly against real ones.
TEST_P(RegFileHexWrap, BreaksWhereRegeditDoes) {
  const WrapCase& c = GetParam();
  RegFileValue v = Val(c.name, c.type, Pattern(c.size));
  std::vector<std::string> lines = WrittenValueLines(v);
  ASSERT_EQ(lines.size(), c.bytes_per_line.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    bool last = i + 1 == lines.size();
    if (i > 0) {
      EXPECT_EQ(line.substr(0, 2), "  ") << "line " << i;
      EXPECT_NE(line[2], ' ');
    }
    if (!last) {
      EXPECT_EQ(line.substr(line.size() - 2), ",\\") << "line " << i;
      // Only a first line whose prefix is already too long may exceed it.
      if (i > 0 || c.bytes_per_line[0] > 1) {
        EXPECT_LE(Utf8ToUtf16(line).size(), 80u) << line;
      }
    }
    std::string_view bytes = line;
    if (i == 0) bytes = bytes.substr(bytes.find(':', bytes.rfind("=hex")) + 1);
    size_t count = 0;
    for (size_t p = 0; p + 1 < bytes.size(); ++p)
      if (IsHexPair(bytes[p], bytes[p + 1])) ++count, ++p;
    EXPECT_EQ(count, c.bytes_per_line[i]) << "line " << i << ": " << line;
  }
  std::vector<RegFileKey> keys = ParseOk(WriteRegFile({Key("HKEY_LOCAL_MACHINE\\K", {v})}));
  ASSERT_EQ(keys.size(), 1u);
  ASSERT_EQ(keys[0].values.size(), 1u);
  EXPECT_EQ(keys[0].values[0], v);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, RegFileHexWrap,
    ::testing::Values(
        // "Favorites"=hex: is 16 columns: 21 bytes reach exactly column 80.
        WrapCase{"prefix16_long", "Favorites", kRegBinary, 100, {21, 25, 25, 25, 4}},
        WrapCase{"prefix16_fits", "Favorites", kRegBinary, 21, {21}},
        WrapCase{"prefix16_one_over", "Favorites", kRegBinary, 22, {21, 1}},
        // The last byte would fit, but regedit has already broken the line.
        WrapCase{"lone_last_byte", "RequiredPds", kRegMultiSz, 20, {19, 1}},
        WrapCase{"default_value", "", kRegExpandSz, 46, {23, 23}},
        WrapCase{"continuation_exactly_full", "Favorites", kRegBinary, 46, {21, 25}},
        WrapCase{"empty", "x", kRegBinary, 0, {0}},
        // Columns are UTF-16 units, not UTF-8 bytes: "Größe" is 5 wide.
        WrapCase{"non_ascii_name", "Größe", kRegBinary, 30, {22, 8}},
        WrapCase{"name_wider_than_line", std::string(100, 'n'), kRegBinary, 30, {1, 25, 4}}),
    [](const ::testing::TestParamInfo<WrapCase>& info) { return std::string(info.param.label); });

TEST(RegFileRoundTrip, EveryKindOfValueSurvives) {
  std::vector<RegFileKey> keys = EveryKindOfValue();
  std::string file = WriteRegFile(keys);
  std::vector<RegFileKey> back = ParseOk(file);
  EXPECT_EQ(back, keys);
  // And the re-export is identical, so repeated import/export is stable.
  EXPECT_EQ(WriteRegFile(back), file);
}

TEST(RegFileRoundTrip, ValuesUnderDeletedKeyAreDropped) {
  std::vector<RegFileKey> keys = {Key("HKEY_CURRENT_USER\\X", {Val("a", kRegSz, Sz("b"))}, true)};
  std::vector<RegFileKey> back = ParseOk(WriteRegFile(keys));
  ASSERT_EQ(back.size(), 1u);
  EXPECT_TRUE(back[0].remove);
  EXPECT_TRUE(back[0].values.empty());
}

TEST(RegFileRead, Regedit4AnsiFile) {
  std::string file =
      "REGEDIT4\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n"
      "\"Caf\xE9\"=\"cr\xE8me \x80\"\r\n"
      "\"Expand\"=hex(2):25,53,79,73,74,65,6d,52,6f,6f,74,25,5c,e9,00\r\n"
      "\"Multi\"=hex(7):61,62,00,e9,00,00\r\n"
      "\"NoTerminator\"=hex(2):61,62\r\n"
      "\"Sz\"=hex(1):78,00\r\n"
      "\"Bin\"=hex:e9,00\r\n"
      "\"Num\"=dword:00000010\r\n"
      "\r\n";
  std::vector<RegFileKey> expected = {
      Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Old", {
                                                   Val("Café", kRegSz, Sz("crème €")),
                                                   Val("Expand", kRegExpandSz, Sz("%SystemRoot%\\é")),
                                                   Val("Multi", kRegMultiSz, Multi({"ab", "é"})),
                                                   Val("NoTerminator", kRegExpandSz, Utf16LeBytes(u"ab")),
                                                   Val("Sz", kRegSz, Sz("x")),
                                                   Val("Bin", kRegBinary, Bytes({0xE9, 0x00})),
                                                   Val("Num", kRegDword, Le(16, 4)),
                                               })};
  EXPECT_EQ(ParseOk(file), expected);
}

TEST(RegFileRead, Regedit4Utf8File) {
  std::string file =
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Neu]\n"
      "\"Größe\"=hex(2):c3,a9,00\n";
  std::vector<RegFileKey> expected = {
      Key("HKEY_CURRENT_USER\\Software\\Neu", {Val("Größe", kRegExpandSz, Sz("é"))})};
  EXPECT_EQ(ParseOk(file), expected);
}

TEST(RegFileRead, Version5HexStringsStayRaw) {
  // Unlike REGEDIT4, version 5 hex(2) data are already UTF-16LE.
  std::string file = std::string(kHeader) + "\n[HKLM\\K]\n\"e\"=hex(2):41,00,00,00\n";
  std::vector<RegFileKey> keys = ParseOk(Utf16File(file));
  ASSERT_EQ(keys.size(), 1u);
  ASSERT_EQ(keys[0].values.size(), 1u);
  EXPECT_EQ(keys[0].values[0].data, Sz("A"));
}

TEST(RegFileRead, DeletionForms) {
  std::string text = std::string(kHeader) +
                     "\r\n\r\n"
                     "[-HKEY_CURRENT_USER\\Software\\Old]\r\n"
                     "\r\n"
                     "[HKCU\\Software\\New]\r\n"
                     "\"gone\"=-\r\n"
                     "@=-\r\n"
                     "\"spaced\" = - ; comment\r\n"
                     "\r\n"
                     "[-HKLM\\SOFTWARE\\A\\B]\r\n";
  std::vector<RegFileKey> expected = {
      Key("HKEY_CURRENT_USER\\Software\\Old", {}, true),
      Key("HKEY_CURRENT_USER\\Software\\New", {Removal("gone"), Removal(""), Removal("spaced")}),
      Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\B", {}, true),
  };
  EXPECT_EQ(ParseOk(Utf16File(text)), expected);
}

// Hand-written and third-party files deviate from regedit's own output in
// harmless ways that regedit still imports.
TEST(RegFileRead, AcceptsHarmlessVariations) {
  std::string text = "\xEF\xBB\xBF" + std::string(kHeader) +
                     "  \n"
                     "; a comment line\n"
                     "   ; an indented comment\n"
                     "\n"
                     "[hklm\\Software\\MiXeD Case]\n"
                     "  \"indented\"=\"x\" ; trailing comment\n"
                     "\"spaces\" = \"y\"\n"
                     "\"\"=\"empty name is the default\"\n"
                     "\"upper\"=hex:AB,Cd\n"
                     "\"short dword\"=DWORD:1f\n"
                     "\"padded dword\"=dword: 0000002a \n"
                     "\"single digits\"=hex:1,2,f\n"
                     "\"trailing comma\"=hex:01,02,\n"
                     "\"type in upper case\"=hex(B):01,00,00,00,00,00,00,00\n"
                     "\"continued\"=hex:01,02,\\\n"
                     "    03 , 04,\\  ; comment after the backslash\n"
                     "\t05\n"
                     "\"lone\"=hex(0):\n"
                     "[HKEY_Current_User]\n";
  std::vector<RegFileKey> expected = {
      Key("HKEY_LOCAL_MACHINE\\Software\\MiXeD Case",
          {
              Val("indented", kRegSz, Sz("x")),
              Val("spaces", kRegSz, Sz("y")),
              Val("", kRegSz, Sz("empty name is the default")),
              Val("upper", kRegBinary, Bytes({0xAB, 0xCD})),
              Val("short dword", kRegDword, Le(0x1F, 4)),
              Val("padded dword", kRegDword, Le(42, 4)),
              Val("single digits", kRegBinary, Bytes({1, 2, 15})),
              Val("trailing comma", kRegBinary, Bytes({1, 2})),
              Val("type in upper case", kRegQword, Le(1, 8)),
              Val("continued", kRegBinary, Bytes({1, 2, 3, 4, 5})),
              Val("lone", kRegNone, ""),
          }),
      Key("HKEY_CURRENT_USER"),
  };
  EXPECT_EQ(ParseOk(text), expected);
}

TEST(RegFileRead, RootAbbreviations) {
  struct Case {
    const char* written;
    const char* expanded;
  };
  const Case cases[] = {
      {"HKLM", "HKEY_LOCAL_MACHINE"},  {"HKCU", "HKEY_CURRENT_USER"},
      {"HKCR", "HKEY_CLASSES_ROOT"},   {"HKU", "HKEY_USERS"},
      {"HKCC", "HKEY_CURRENT_CONFIG"}, {"hkcc", "HKEY_CURRENT_CONFIG"},
      {"HKEY_USERS", "HKEY_USERS"},    {"hkey_classes_root", "HKEY_CLASSES_ROOT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.written);
    EXPECT_EQ(ExpandRegRoot(c.written), c.expanded);
    std::vector<RegFileKey> keys =
        ParseOk(std::string(kHeader) + "\n[" + c.written + "\\Sub\\Key]\n[-" + c.written + "]\n");
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].path, std::string(c.expanded) + "\\Sub\\Key");
    EXPECT_EQ(keys[1].path, c.expanded);
  }
  for (const char* bad : {"", "HKEY_FOO", "HKLM2", "HKEY_PERFORMANCE_DATA", "HK"}) {
    EXPECT_EQ(ExpandRegRoot(bad), "") << bad;
  }
}

TEST(RegFileRead, RepeatedKeysStayInFileOrder) {
  std::string text = std::string(kHeader) +
                     "\n[HKLM\\A]\n\"x\"=dword:1\n[HKLM\\B]\n[HKLM\\A]\n\"x\"=dword:2\n\"X\"=dword:3\n";
  std::vector<RegFileKey> expected = {
      Key("HKEY_LOCAL_MACHINE\\A", {Val("x", kRegDword, Le(1, 4))}),
      Key("HKEY_LOCAL_MACHINE\\B"),
      Key("HKEY_LOCAL_MACHINE\\A", {Val("x", kRegDword, Le(2, 4)), Val("X", kRegDword, Le(3, 4))}),
  };
  EXPECT_EQ(ParseOk(text), expected);
}

struct BadCase {
  const char* label;
  std::string text;  // lines separated by '\n'
  int line;
  const char* reason;  // a part of the expected message
};

void PrintTo(const BadCase& c, std::ostream* os) { *os << c.label; }

class RegFileMalformed : public ::testing::TestWithParam<BadCase> {};

// The same mistakes must be found on the same line whichever encoding and
// line ending the file uses.
TEST_P(RegFileMalformed, ReportsLineAndReason) {
  const BadCase& c = GetParam();
  const std::string crlf = ReplaceAll(c.text, "\n", "\r\n");
  for (const std::string& bytes : {c.text, crlf, Utf16File(crlf)}) {
    std::vector<RegFileKey> keys = {Key("HKEY_USERS\\stale")};
    RegFileError err;
    EXPECT_FALSE(ParseRegFile(bytes, keys, err));
    EXPECT_EQ(err.line, c.line) << err.reason;
    EXPECT_NE(err.reason.find(c.reason), std::string::npos) << "got: " << err.reason;
    EXPECT_TRUE(keys.empty()) << "a failed parse must not hand back part of the file";
  }
}

const std::string kTop = std::string(kHeader) + "\n\n[HKLM\\K]\n";  // values start on line 4

INSTANTIATE_TEST_SUITE_P(
    Cases, RegFileMalformed,
    ::testing::Values(
        BadCase{"empty_file", "", 1, "missing header"}, BadCase{"blank_only", "\n\n", 1, "missing header"},
        BadCase{"wrong_header", "Windows Registry Editor Version 4.00\n[HKLM\\K]\n", 1, "missing header"},
        BadCase{"header_not_first", "\n" + std::string(kHeader) + "\n", 1, "missing header"},
        BadCase{"value_before_key", std::string(kHeader) + "\n\n\"a\"=\"b\"\n", 3,
                "value outside of any key"},
        BadCase{"default_before_key", std::string(kHeader) + "\n@=\"b\"\n", 2, "value outside of any key"},
        BadCase{"value_under_deleted_key", std::string(kHeader) + "\n[-HKLM\\K]\n\"a\"=-\n", 3,
                "value under a deleted key"},
        BadCase{"unknown_root", std::string(kHeader) + "\n\n[HKEY_FOO\\Bar]\n", 3, "unknown root 'HKEY_FOO'"},
        BadCase{"unknown_root_deleted", std::string(kHeader) + "\n[-Software\\Bar]\n", 2,
                "unknown root 'Software'"},
        BadCase{"key_not_closed", std::string(kHeader) + "\n[HKLM\\K\n", 2, "expected ']'"},
        BadCase{"key_text_after", std::string(kHeader) + "\n[HKLM\\K] x\n", 2, "expected ']'"},
        BadCase{"key_empty", std::string(kHeader) + "\n[]\n", 2, "empty key path"},
        BadCase{"key_deleted_empty", std::string(kHeader) + "\n[-]\n", 2, "empty key path"},
        BadCase{"key_double_backslash", std::string(kHeader) + "\n[HKLM\\A\\\\B]\n", 2, "empty key name"},
        BadCase{"key_trailing_backslash", std::string(kHeader) + "\n[HKLM\\A\\]\n", 2, "empty key name"},
        BadCase{"garbage_line", kTop + "\"a\"=\"b\"\nthis is not a value\n", 5, "expected a [key]"},
        BadCase{"missing_equals", kTop + "\"a\" \"b\"\n", 4, "expected '=' after value name"},
        BadCase{"default_missing_equals", kTop + "@\"b\"\n", 4, "expected '=' after value name"},
        BadCase{"name_with_stray_quote", kTop + "\"a\"b\"=\"c\"\n", 4, "expected '=' after value name"},
        BadCase{"name_unterminated", kTop + "\"abc=1\n", 4, "unterminated value name"},
        BadCase{"name_quote_swallowed", kTop + "\"abc=\"\n", 4, "expected '=' after value name"},
        BadCase{"name_bad_escape", kTop + "\"a\\b\"=\"c\"\n", 4, "bad escape '\\b' in value name"},
        BadCase{"string_unterminated", kTop + "\"a\"=\"abc\n\"b\"=\"c\"\n", 4, "unterminated string"},
        BadCase{"string_ends_in_escape", kTop + "\"a\"=\"abc\\\"\n", 4, "unterminated string"},
        BadCase{"string_single_backslash", kTop + "\"p\"=\"C:\\Windows\"\n", 4, "bad escape '\\W'"},
        BadCase{"string_text_after", kTop + "\"a\"=\"say \"hi\"\"\n", 4, "unexpected text after string"},
        BadCase{"no_data", kTop + "\"a\"=\n", 4, "missing value data"},
        BadCase{"no_data_comment", kTop + "\"a\"= ; nothing\n", 4, "missing value data"},
        BadCase{"removal_text_after", kTop + "\"a\"=-1\n", 4, "unexpected text after '=-'"},
        BadCase{"unknown_type", kTop + "\"a\"=qword:01\n", 4, "unknown value type 'qword'"},
        BadCase{"bare_number", kTop + "\"a\"=123\n", 4, "unknown value type '123'"},
        BadCase{"dword_not_hex", kTop + "\"a\"=dword:xyz\n", 4, "bad dword value 'xyz'"},
        BadCase{"dword_too_long", kTop + "\"a\"=dword:123456789\n", 4, "bad dword value '123456789'"},
        BadCase{"dword_empty", kTop + "\"a\"=dword:\n", 4, "bad dword value ''"},
        BadCase{"dword_negative", kTop + "\"a\"=dword:-1\n", 4, "bad dword value '-1'"},
        BadCase{"hex_bad_byte", kTop + "\"a\"=hex:01,zz\n", 4, "bad hex byte 'zz'"},
        BadCase{"hex_three_digits", kTop + "\"a\"=hex:123\n", 4, "bad hex byte '123'"},
        BadCase{"hex_space_in_byte", kTop + "\"a\"=hex:0 1\n", 4, "bad hex byte '0 1'"},
        BadCase{"hex_double_comma", kTop + "\"a\"=hex:01,,02\n", 4, "missing hex byte"},
        BadCase{"hex_leading_comma", kTop + "\"a\"=hex:,01\n", 4, "missing hex byte"},
        BadCase{"hex_lone_comma", kTop + "\"a\"=hex:,\n", 4, "missing hex byte"},
        BadCase{"hex_error_on_continuation", kTop + "\"a\"=hex:01,\\\n  02,\\\n  zz\n", 6,
                "bad hex byte 'zz'"},
        BadCase{"hex_error_after_continuation", kTop + "\"a\"=hex:01,\\\n  02\n  03\n", 6,
                "expected a [key]"},
        BadCase{"hex_no_colon", kTop + "\"a\"=hex 01\n", 4, "expected ':'"},
        BadCase{"hex_bad_type", kTop + "\"a\"=hex(zz):01\n", 4, "bad value type 'hex(zz)'"},
        BadCase{"hex_unclosed_type", kTop + "\"a\"=hex(2:01\n", 4, "bad value type 'hex(2'"},
        BadCase{"hex_empty_type", kTop + "\"a\"=hex():01\n", 4, "bad value type 'hex()'"},
        BadCase{"hex_type_too_big", kTop + "\"a\"=hex(123456789):01\n", 4, "bad value type"},
        BadCase{"hex_word_glued", kTop + "\"a\"=hexa:01\n", 4, "bad value type 'hexa'"},
        BadCase{"error_after_good_keys", kTop + "\"a\"=dword:1\n\n[HKCU\\B]\n\"b\"=dword:\n", 7,
                "bad dword value"}),
    [](const ::testing::TestParamInfo<BadCase>& info) { return std::string(info.param.label); });

TEST(RegFileRead, SuccessClearsPreviousError) {
  std::vector<RegFileKey> keys = {Key("HKEY_USERS\\stale")};
  RegFileError err{7, "old"};
  ASSERT_TRUE(ParseRegFile(std::string(kHeader) + "\n", keys, err));
  EXPECT_TRUE(keys.empty());
  EXPECT_EQ(err.line, 0);
  EXPECT_EQ(err.reason, "");
}

// Any damage to a file, cut short or with a byte changed, ends in either a
// result or an error naming an existing line; never a crash.
TEST(RegFileRead, DamagedFilesFailCleanly) {
  std::vector<RegFileKey> keys = EveryKindOfValue();
  // The long binary adds only run time here; its wrapping is covered above.
  std::erase_if(keys[0].values, [](const RegFileValue& v) { return v.data.size() > 100; });
  const std::string file = WriteRegFile(keys);
  const std::string text = FileText(file);
  const int line_count = static_cast<int>(Lines(text).size()) + 1;
  auto check = [&](std::string_view bytes) {
    std::vector<RegFileKey> keys;
    RegFileError err;
    if (!ParseRegFile(bytes, keys, err)) {
      EXPECT_GE(err.line, 1);
      EXPECT_LE(err.line, line_count);
      EXPECT_FALSE(err.reason.empty());
    }
  };
  for (size_t n = 0; n <= file.size(); ++n) check(std::string_view(file).substr(0, n));
  for (size_t n = 0; n <= text.size(); ++n) check(std::string_view(text).substr(0, n));
  const std::string_view replacements("\"\\,[]=;-:()\n\r\0z\xFF", 16);
  for (size_t i = 0; i < text.size(); i += 3) {
    for (char r : replacements) {
      std::string damaged = text;
      damaged[i] = r;
      check(damaged);
    }
  }
}

}  // namespace
}  // namespace vx::sim
