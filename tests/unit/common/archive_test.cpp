#include "common/archive.h"

#include <random>
#include <set>

#include "platform/seven_zip.h"
#include "common/text.h"
#include "support/test_files.h"
#include "support/test_machine.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using platform::seven_zip::Format;
using platform::seven_zip::NewEntry;
using test::ReadAll;
using test::WriteAll;

// Every regular file below dir, as generic relative paths.
std::set<std::string> FilesBelow(const fs::path& dir) {
  std::set<std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_regular_file()) out.insert(PathUtf8(fs::relative(it->path(), dir).generic_string()));
  }
  return out;
}

std::string Noise(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

class ArchiveTest : public test::MachineFixture {
 protected:
  test::TempDir tmp_;
  fs::path Sandbox() const { return tmp_.path(); }
};

TEST_F(ArchiveTest, RoundTripBothFormatsWithProgress) {
  std::vector<NewEntry> entries = {{"a.txt", {}, std::string("alpha")},
                                   {"sub/b.bin", {}, Noise(300000, 1)},
                                   {"sub/deeper/c.txt", {}, std::string("")}};
  for (auto [format, ext] : {std::pair{Format::kZip, ".zip"}, std::pair{Format::kSevenZip, ".7z"}}) {
    SCOPED_TRACE(ext);
    fs::path arc = Sandbox() / (std::string("round") + ext);
    std::string error;
    ASSERT_TRUE(platform::seven_zip::Write(arc, format, entries, 5, error)) << error;
    fs::path out = Sandbox() / (std::string("out") + ext);
    uint64_t last_done = 0, last_total = 0;
    int calls = 0;
    ASSERT_TRUE(UnZipFile(arc, out, [&](uint64_t done, uint64_t total) {
      ++calls;
      last_done = done;
      last_total = total;
      return true;
    }));
    EXPECT_GT(calls, 0);
    EXPECT_EQ(last_done, last_total);
    for (const auto& e : entries) EXPECT_EQ(ReadAll(out / U8Path(e.name)), *e.data) << e.name;
  }
}

TEST_F(ArchiveTest, CancelInTheMiddleFailsAndLeavesNoFiles) {
  std::vector<NewEntry> entries;
  for (int i = 0; i < 8; ++i) entries.push_back({"f" + std::to_string(i) + ".bin", {}, Noise(400000, i)});
  for (auto [format, ext] : {std::pair{Format::kZip, ".zip"}, std::pair{Format::kSevenZip, ".7z"}}) {
    SCOPED_TRACE(ext);
    fs::path arc = Sandbox() / (std::string("big") + ext);
    std::string error;
    // 7z at level 0 stores each file on its own, so progress moves per file.
    ASSERT_TRUE(platform::seven_zip::Write(arc, format, entries, 0, error)) << error;
    fs::path out = Sandbox() / (std::string("cancel") + ext);
    bool saw_middle = false;
    EXPECT_FALSE(UnZipFile(arc, out, [&](uint64_t done, uint64_t total) {
      if (done > 0 && done < total) saw_middle = true;
      return done == 0;  // cancel at the first report past the start
    }));
    EXPECT_TRUE(saw_middle);
    EXPECT_TRUE(FilesBelow(out).empty());
  }
}

TEST_F(ArchiveTest, ExtensionDecidesTheFormatInAnyCase) {
  fs::path src = Sandbox() / "in" / "x.txt";
  WriteAll(src, "x");
  fs::path upper = Sandbox() / "PACK.ZIP";
  ASSERT_TRUE(ZipFile({src}, upper));
  EXPECT_TRUE(UnZipFile(upper, Sandbox() / "up"));
  EXPECT_EQ(ReadAll(Sandbox() / "up" / "x.txt"), "x");

  fs::path rar = Sandbox() / "pack.rar";
  fs::copy_file(upper, rar);
  EXPECT_TRUE(UnZipFile(rar, Sandbox() / "rar"));
  EXPECT_TRUE(fs::is_directory(Sandbox() / "rar"));
  EXPECT_TRUE(FilesBelow(Sandbox() / "rar").empty());
}

TEST_F(ArchiveTest, ZipFileStoresBareNamesAndReplacesTheOldArchive) {
  fs::path a = Sandbox() / "one" / "a.log", b = Sandbox() / "two" / "deep" / "b.log";
  WriteAll(a, "first");
  WriteAll(b, "second");
  fs::path arc = Sandbox() / "diag.zip";
  WriteAll(arc, "old archive bytes");
  ASSERT_TRUE(ZipFile({a, Sandbox() / "missing.log", b, Sandbox() / "one"}, arc));
  fs::path out = Sandbox() / "x";
  ASSERT_TRUE(UnZipFile(arc, out));
  EXPECT_EQ(FilesBelow(out), (std::set<std::string>{"a.log", "b.log"}));
  EXPECT_EQ(ReadAll(out / "b.log"), "second");
}

TEST_F(ArchiveTest, ZipFileWithNothingToPackWritesNothing) {
  fs::path arc = Sandbox() / "none.zip";
  EXPECT_FALSE(ZipFile({Sandbox() / "nope1", Sandbox() / "nope2"}, arc));
  EXPECT_FALSE(fs::exists(arc));
  WriteAll(arc, "keep me");
  EXPECT_FALSE(ZipFile({Sandbox() / "nope1"}, arc));
  EXPECT_EQ(ReadAll(arc), "keep me");
}

TEST_F(ArchiveTest, UnreadableArchiveFails) {
  fs::path arc = Sandbox() / "junk.7z";
  WriteAll(arc, "this is not an archive");
  EXPECT_FALSE(UnZipFile(arc, Sandbox() / "junk"));
  EXPECT_FALSE(UnZipFile(Sandbox() / "absent.zip", Sandbox() / "absent"));
}

TEST(SafeEntryPathTest, AcceptsPlainAndRejectsEscapes) {
  struct Case {
    const char* name;
    const char* expect;  // generic relative path, or null for rejected
  } cases[] = {
      {"a.txt", "a.txt"},
      {"sub/dir/file.inf", "sub/dir/file.inf"},
      {"sub\\win\\file.sys", "sub/win/file.sys"},
      {"./x//y", "x/y"},
      {"COMPANY/x", "COMPANY/x"},
      {"..", nullptr},
      {"con.d/x", nullptr},  // the stem before the dot decides
      {"../evil", nullptr},
      {"a/../../evil", nullptr},
      {"..\\evil", nullptr},
      {"/etc/passwd", nullptr},
      {"\\windows\\x", nullptr},
      {"C:\\evil", nullptr},
      {"C:evil", nullptr},
      {"\\\\server\\share\\x", nullptr},
      {"//server/share/x", nullptr},
      {"\\\\?\\C:\\x", nullptr},
      {"\\\\.\\PhysicalDrive0", nullptr},
      {"file.txt:stream", nullptr},
      {"CON", nullptr},
      {"nul.txt", nullptr},
      {"sub/Com1.log", nullptr},
      {"LPT9", nullptr},
      {"aux /x", nullptr},
      {"COM\xC2\xB9", nullptr},
      {"a/.. /b", nullptr},
      {"...", nullptr},
      {"trail. ", nullptr},
      {"bad\x01name", nullptr},
      {"what?.txt", nullptr},
      {"", nullptr},
      {"./", nullptr},
  };
  for (const auto& c : cases) {
    auto got = SafeEntryPath(c.name);
    if (c.expect) {
      ASSERT_TRUE(got) << c.name;
      EXPECT_EQ(PathUtf8(got->generic_string()), c.expect) << c.name;
    } else {
      EXPECT_FALSE(got) << c.name << " -> " << (got ? PathUtf8(*got) : "");
    }
  }
}

// Archives whose entries try to leave the target. Each is extracted into a
// folder inside a sandbox; afterwards the sandbox holds nothing new besides
// that folder, and only the harmless entry is inside it.
const char* const kHostileNames[] = {
    "../evil1.txt", "..\\evil2.txt", "sub/../../evil3.txt", "sub\\..\\..\\evil4.txt",
    "/tmp/vx_evil5.txt", "\\vx_evil6.txt", "C:\\vx_evil7.txt", "C:vx_evil8.txt",
    "\\\\server\\share\\evil9.txt", "//server/share/evil10.txt", "\\\\?\\C:\\vx_evil11.txt",
    "\\\\.\\PhysicalDrive0", "good.txt:ads", "CON", "nul.txt", "com1.log", "LPT9",
    "aux/x.txt", "sub/.. /evil12.txt", "...", "evil\x01.txt", "sub/./../../evil13.txt",
};

int g_hostile_cases = 0;

TEST_F(ArchiveTest, HostileNamesStayInside) {
  for (auto [format, ext] : {std::pair{Format::kZip, ".zip"}, std::pair{Format::kSevenZip, ".7z"}}) {
    SCOPED_TRACE(ext);
    fs::path box = Sandbox() / (std::string("box") + std::string(ext + 1));
    fs::path target = box / "a" / "b" / "target";
    fs::create_directories(target.parent_path());
    for (const char* name : kHostileNames) {
      SCOPED_TRACE(name);
      ++g_hostile_cases;
      fs::path arc = box / (std::string("h") + ext);
      std::string error;
      ASSERT_TRUE(platform::seven_zip::Write(arc, format,
                                   {{name, {}, std::string("evil")}, {"ok/inner.txt", {}, std::string("fine")}},
                                   -1, error))
          << error;
      fs::remove_all(target);
      EXPECT_TRUE(UnZipFile(arc, target));
      EXPECT_EQ(FilesBelow(target), (std::set<std::string>{"ok/inner.txt"}));
      EXPECT_EQ(FilesBelow(box), (std::set<std::string>{"a/b/target/ok/inner.txt", "h" + std::string(ext)}));
      EXPECT_FALSE(fs::exists("/tmp/vx_evil5.txt"));
    }
  }
}

TEST_F(ArchiveTest, LinkEntriesAreNotFollowed) {
  const uint32_t kLink = 0x8000u | (0120777u << 16);
  for (auto [format, ext] : {std::pair{Format::kZip, ".zip"}, std::pair{Format::kSevenZip, ".7z"}}) {
    SCOPED_TRACE(ext);
    fs::path box = Sandbox() / (std::string("links") + std::string(ext + 1));
    fs::path target = box / "target";
    fs::create_directories(box);
    fs::path arc = box / (std::string("l") + ext);
    std::string error;
    std::vector<NewEntry> entries = {{"up", {}, std::string(".."), kLink},
                                     {"abs", {}, PathUtf8(box), kLink},
                                     {"up/escaped.txt", {}, std::string("evil")},
                                     {"abs/escaped2.txt", {}, std::string("evil")},
                                     {"plain.txt", {}, std::string("fine")}};
    ++g_hostile_cases;
    ASSERT_TRUE(platform::seven_zip::Write(arc, format, entries, -1, error)) << error;
    UnZipFile(arc, target);
    EXPECT_FALSE(fs::exists(box / "escaped.txt"));
    EXPECT_FALSE(fs::exists(box / "escaped2.txt"));
    EXPECT_FALSE(fs::is_symlink(target / "up"));
    EXPECT_FALSE(fs::is_symlink(target / "abs"));
    EXPECT_EQ(ReadAll(target / "plain.txt"), "fine");
  }
}

#ifndef _WIN32
TEST_F(ArchiveTest, LinksPlantedInTheTargetAreNotFollowed) {
  fs::path outside = Sandbox() / "outside";
  fs::path target = Sandbox() / "planted";
  fs::create_directories(outside);
  fs::create_directories(target);
  fs::create_directory_symlink(outside, target / "door");
  fs::create_symlink(outside / "victim.txt", target / "file.txt");
  fs::path arc = Sandbox() / "p.zip";
  std::string error;
  ++g_hostile_cases;
  ASSERT_TRUE(platform::seven_zip::Write(arc, Format::kZip,
                               {{"door/x.txt", {}, std::string("evil")}, {"file.txt", {}, std::string("evil")}},
                               -1, error));
  UnZipFile(arc, target);
  EXPECT_TRUE(FilesBelow(outside).empty());
  EXPECT_FALSE(fs::exists(outside / "victim.txt"));
}
#endif

// Damaged archives: truncations and byte flips of valid ones. Nothing may
// crash or land outside; failures are reported as failures.
TEST_F(ArchiveTest, DamagedArchivesFailCleanly) {
  std::vector<NewEntry> entries = {{"a.txt", {}, std::string(5000, 'a')}, {"d/b.bin", {}, Noise(20000, 7)}};
  std::mt19937 rng(12345);
  for (auto [format, ext] : {std::pair{Format::kZip, ".zip"}, std::pair{Format::kSevenZip, ".7z"}}) {
    SCOPED_TRACE(ext);
    fs::path good = Sandbox() / (std::string("good") + ext);
    std::string error;
    ASSERT_TRUE(platform::seven_zip::Write(good, format, entries, 5, error)) << error;
    std::string bytes = ReadAll(good);
    fs::path box = Sandbox() / (std::string("dmg") + std::string(ext + 1));
    fs::path target = box / "t";
    fs::path bad = box / (std::string("bad") + ext);
    fs::create_directories(box);
    for (int round = 0; round < 120; ++round) {
      ++g_hostile_cases;
      std::string b = bytes;
      if (round % 3 == 0) {
        b.resize(rng() % b.size());
      } else {
        for (int k = 0; k < 1 + round % 7; ++k) b[rng() % b.size()] = static_cast<char>(rng());
      }
      WriteAll(bad, b);
      fs::remove_all(target);
      bool ok = UnZipFile(bad, target);
      auto files = FilesBelow(box);
      for (const auto& f : files) EXPECT_TRUE(f == bad.filename().string() || f.starts_with("t/")) << f;
      if (ok) {
        // A success must mean intact content for what was extracted.
        if (fs::exists(target / "a.txt")) {
          EXPECT_EQ(ReadAll(target / "a.txt"), *entries[0].data);
        }
        if (fs::exists(target / "d" / "b.bin")) {
          EXPECT_EQ(ReadAll(target / "d" / "b.bin"), *entries[1].data);
        }
      }
    }
  }
}

TEST(ArchiveCorpusSize, Report) {
  // Printed so the count of hostile inputs tried shows in the test log.
  std::printf("hostile archive cases tried: %d\n", g_hostile_cases);
}

}  // namespace
}  // namespace vx
