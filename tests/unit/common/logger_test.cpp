#include "common/logger.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/closing.h"
#include "common/locale_format.h"
#include "common/log_file.h"
#include "common/log_writer.h"
#include "common/text.h"
#include "platform/platform.h"
#include "support/test_machine.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

std::string ReadBytes(const fs::path& file) {
  std::ifstream f(file, std::ios::binary);
  std::ostringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void WriteBytes(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream f(file, std::ios::binary | std::ios::trunc);
  f << bytes;
}

// A stamped line without its time: texts start with ": " or "ERROR (".
std::string Unstamped(const std::string& line) {
  if (line.rfind("Multiple", 0) == 0) return line;
  for (const char* start : {" : ", " ERROR ("}) {
    size_t at = line.find(start);
    if (at != std::string::npos) return line.substr(at + 1);
  }
  return line;
}

Lines Texts(const Lines& lines) {
  Lines out;
  for (const auto& l : lines) out.push_back(Unstamped(l));
  return out;
}

// Waits for a condition the writer thread brings about; bounded so that a
// broken writer fails the test instead of hanging it.
template <class Pred>
bool Eventually(Pred pred) {
  for (int i = 0; i < 500; ++i) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return pred();
}

// Timing that leaves all writing to FlushLog, so tests decide when files
// change.
LogTiming QuietTiming() {
  LogTiming t;
  t.write_check_ms = 3600000;
  t.queue_move_ms = 3600000;
  t.cycle_ms = 10;
  return t;
}

class LogTest : public test::MachineFixture {
 protected:
  void SetUp() override {
    MachineFixture::SetUp();
    SetLogTiming(QuietTiming());
    folder_ = tmp_.path() / "Data";
  }
  void TearDown() override {
    StopLog();
    SetLogDebugHooks({});
    SetLogZipFunction({});
    SetLogTiming(LogTiming{});
    SetProgramClosing(false);
    ForgetLogDebugMode();
    MachineFixture::TearDown();
  }
  fs::path MainLog() const { return folder_ / "program.log"; }
  fs::path ErrorLog() const { return folder_ / "program_error.log"; }
  // The main log's texts without the blank lines that end appended batches.
  Lines MainTexts() const {
    Lines out;
    for (auto& t : Texts(log_file::ReadLines(MainLog())))
      if (!t.empty()) out.push_back(std::move(t));
    return out;
  }

  test::TempDir tmp_;
  fs::path folder_;
};

// ---------------------------------------------------------------------------
// Texts

struct TextCase {
  const char* name;
  std::string tag, message, params;
  uint32_t code;
  std::string expected;
};

class ErrorTextTest : public test::MachineFixture,
                      public ::testing::WithParamInterface<TextCase> {};

TEST_P(ErrorTextTest, Builds) {
  const auto& c = GetParam();
  std::string expected = c.expected;
  if (!platform::IsSimulated() && c.code != 0) {
    // Windows answers in its own words; the frame around them is ours.
    expected = expected.substr(0, expected.rfind("): ") + 3) + SystemErrorText(c.code);
  }
  EXPECT_EQ(BuildErrorText(c.tag, c.message, c.params, c.code), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ErrorTextTest,
    ::testing::Values(
        TextCase{"all", "XFile.DeleteFolder", "DeleteFile fail", "C:\\x", 5,
                 "ERROR (): XFile.DeleteFolder MESS: DeleteFile fail PARAMS: C:\\x LAST_ERR (5, "
                 "00000005): Access is denied"},
        TextCase{"tag_only", "InstallInfDriver", "", "", 0, "ERROR (): InstallInfDriver"},
        TextCase{"no_params", "T.M", "Create fail", "", 0, "ERROR (): T.M MESS: Create fail"},
        TextCase{"no_message", "T.M", "", "p", 0, "ERROR (): T.M PARAMS: p"},
        TextCase{"negative_code", "T.M", "m", "", 0xE000020B,
                 "ERROR (): T.M MESS: m LAST_ERR (-536870389, E000020B): The device instance "
                 "does not exist in the system"},
        TextCase{"unknown_code", "T.M", "", "", 424242,
                 "ERROR (): T.M LAST_ERR (424242, 00067932): "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LogTextTest, MessageTexts) {
  struct Case {
    std::string text, params, expected;
  };
  for (const auto& c : {Case{"TDriversList.Scan", "", ": TDriversList.Scan"},
                        Case{"GenerateDriverResult", "42 devices",
                             ": GenerateDriverResult PARAMS: 42 devices"},
                        Case{"", "", ": "}}) {
    EXPECT_EQ(BuildMessageText(c.text, c.params), c.expected);
  }
}

TEST_F(LogTest, SystemErrorTextIsTrimmed) {
  for (uint32_t code : {0u, 2u, 3u, 5u, 6u, 8u, 13u, 32u, 80u, 87u, 112u, 122u, 183u, 234u, 259u,
                        1460u, 1011u, 1018u, 1630u}) {
    std::string text = SystemErrorText(code);
    ASSERT_FALSE(text.empty()) << code;
    EXPECT_NE(text.back(), '.') << code;
    EXPECT_GT(static_cast<unsigned char>(text.back()), 0x20) << code;
  }
  if (platform::IsSimulated()) {
    EXPECT_EQ(SystemErrorText(2), "The system cannot find the file specified");
    EXPECT_EQ(SystemErrorText(424242), "");
  }
}

TEST(LocaleFormatTest, TimePictures) {
  platform::LocalTime t;
  t.hour = 13;
  t.minute = 5;
  t.second = 9;
  platform::LocalTime midnight;
  struct Case {
    const char* picture;
    const platform::LocalTime& time;
    const char* expected;
  };
  for (const auto& c : {Case{"h:mm:ss tt", t, "1:05:09 PM"}, Case{"HH:mm:ss", t, "13:05:09"},
                        Case{"hh.m.s t", t, "01.5.9 P"}, Case{"H:mm 'Uhr'", t, "13:05 Uhr"},
                        Case{"h:mm:ss tt", midnight, "12:00:00 AM"},
                        Case{"'o''clock' H", midnight, "o'clock 0"}}) {
    EXPECT_EQ(FormatTimePicture(c.picture, c.time), c.expected) << c.picture;
  }
  EXPECT_EQ(FormatTimePicture("tt", t, "vorm.", "nachm."), "nachm.");
}

TEST(LocaleFormatTest, DatePictures) {
  platform::LocalTime t;
  t.year = 2024;
  t.month = 3;
  t.day = 7;
  t.day_of_week = 4;
  struct Case {
    const char* picture;
    const char* expected;
  };
  for (const auto& c : {Case{"M/d/yyyy", "3/7/2024"}, Case{"dd.MM.yyyy", "07.03.2024"},
                        Case{"yyyy-MM-dd", "2024-03-07"}, Case{"d-MMM-yy", "7-Mar-24"},
                        Case{"dddd, MMMM d, yyyy", "Thursday, March 7, 2024"},
                        Case{"ddd 'd' d", "Thu d 7"}}) {
    EXPECT_EQ(FormatDatePicture(c.picture, t), c.expected) << c.picture;
  }
}

// ---------------------------------------------------------------------------
// Files

TEST_F(LogTest, WritesUtf16LeWithBomAndCrLf) {
  StartLog(folder_);
  LogMessage("Caf\xC3\xA9 \xE2\x82\xAC");  // "Café €"
  FlushLog();
  std::string first = ReadBytes(MainLog());
  Lines lines = log_file::ReadLines(MainLog());
  ASSERT_EQ(lines.size(), 1u);
  std::string expected = "\xFF\xFE" + Utf16LeBytes(Utf8ToUtf16(lines[0] + "\r\n"));
  EXPECT_EQ(first, expected);
  EXPECT_EQ(Unstamped(lines[0]), ": Caf\xC3\xA9 \xE2\x82\xAC");

  // An append ends with an empty line; a new file does not.
  LogMessage("second");
  FlushLog();
  std::string both = ReadBytes(MainLog());
  Lines now = log_file::ReadLines(MainLog());
  ASSERT_EQ(now.size(), 3u);
  EXPECT_EQ(both, expected + Utf16LeBytes(Utf8ToUtf16(now[1] + "\r\n\r\n")));
}

struct RotateCase {
  const char* name;
  uintmax_t size;
  bool older_exists;
  bool rotated;
};

class LogRotateTest : public LogTest, public ::testing::WithParamInterface<RotateCase> {};

TEST_P(LogRotateTest, AtTheBoundary) {
  const auto& c = GetParam();
  std::string old_log = "\xFF\xFE" + std::string(c.size - 2, 'x');
  WriteBytes(MainLog(), old_log);
  if (c.older_exists) WriteBytes(folder_ / "program_prev.log", "old generation");
  StartLog(folder_);
  LogMessage("after");
  FlushLog();
  std::string now = ReadBytes(MainLog());
  if (c.rotated) {
    EXPECT_EQ(ReadBytes(folder_ / "program_prev.log"), old_log);
    ASSERT_GE(now.size(), 2u);
    EXPECT_EQ(now.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(MainTexts(), Lines{": after"});
  } else {
    EXPECT_EQ(now.substr(0, old_log.size()), old_log);
    EXPECT_EQ(fs::exists(folder_ / "program_prev.log"), c.older_exists);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, LogRotateTest,
    ::testing::Values(RotateCase{"exactly_limit", 400000, false, false},
                      RotateCase{"one_above", 400001, false, true},
                      RotateCase{"one_above_replaces_older", 400001, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LogTest, UnwritableFolderKeepsLinesUntilItCanWrite) {
  // A plain file where a folder should be: nothing under it can be made.
  fs::path blocker = tmp_.path() / "blocker";
  WriteBytes(blocker, "not a folder");
  folder_ = blocker / "Data";
  StartLog(folder_);
  LogMessage("one");
  LogError("T.M", "Create fail", "p1");
  LogMessage("two");
  FlushLog();
  EXPECT_FALSE(fs::exists(MainLog()));

  fs::remove(blocker);
  LogMessage("three");
  FlushLog();
  EXPECT_EQ(MainTexts(), (Lines{": one", "ERROR (): T.M MESS: Create fail PARAMS: p1", ": two",
                                ": three"}));
  LogError("T.M", "second");
  Lines report = log_file::ReadLines(ErrorLog());
  int separators = 0;
  for (const auto& l : report) separators += l == "========================================";
  EXPECT_EQ(separators, 2) << "the report written while the folder was blocked is kept";
}

TEST_F(LogTest, EmptyFolderDiscardsLinesAndCreatesNothing) {
  StartLog(fs::path());
  LogMessage("dropped");
  FlushLog();
  EXPECT_TRUE(IsLogRunning());
  EXPECT_FALSE(fs::exists(MainLog()));
}

// ---------------------------------------------------------------------------
// Repeats

TEST_F(LogTest, RepeatedMessageBecomesOneLineAndASummary) {
  StartLog(folder_);
  for (int i = 0; i < 50; ++i) LogMessage("same");
  LogError("T.M", "boom");
  FlushLog();
  EXPECT_EQ(MainTexts(),
            (Lines{": same", "Multiple logs: : same Count: 49", "ERROR (): T.M MESS: boom"}));
}

TEST_F(LogTest, OnlyImmediateRepeatsOfTheSameKindAreCounted) {
  StartLog(folder_);
  LogMessage("m");
  LogMessage("m");
  LogMessage("n");  // a message releases the message summary too
  LogError("B", "");
  LogError("C", "");  // alternating different errors are all written
  LogError("B", "");
  LogMessage("");  // an empty text is ": " and repeats like any other
  LogMessage("");
  LogMessage("");
  LogError("D", "");
  FlushLog();
  EXPECT_EQ(MainTexts(), (Lines{": m", "Multiple logs: : m Count: 1", ": n", "ERROR (): B",
                                "ERROR (): C", "ERROR (): B", ": ", "Multiple logs: :  Count: 2",
                                "ERROR (): D"}));
}

TEST_F(LogTest, RepeatedErrorIsSummedAtTheNextWrite) {
  // Every error's report flushes the log, and a flush writes the pending
  // error repeats in the write-time form (no stamp, no blank after the colon).
  StartLog(folder_);
  LogError("T.M", "again");
  LogError("T.M", "again");
  LogError("T.M", "again");
  LogMessage("later");
  FlushLog();
  EXPECT_EQ(MainTexts(), (Lines{"ERROR (): T.M MESS: again",
                                "Multiple errors:ERROR (): T.M MESS: again Count: 1",
                                "Multiple errors:ERROR (): T.M MESS: again Count: 1", ": later"}));
  Lines all = Texts(AllLogLines());
  EXPECT_EQ(all, (Lines{"ERROR (): T.M MESS: again", ": later"}));
}

// ---------------------------------------------------------------------------
// Error reports

TEST_F(LogTest, ErrorReportCopiesTheTwentyOneLinesBeforeTheLast) {
  StartLog(folder_);
  for (int i = 0; i < 30; ++i) LogMessage("line " + std::to_string(i));
  LogError("TDriversList.Scan", "Common error", "bad thing");
  Lines main = log_file::ReadLines(MainLog());
  ASSERT_EQ(main.size(), 31u);
  Lines report = log_file::ReadLines(ErrorLog());
  ASSERT_EQ(report.size(), 1u + 1u + 21u + 1u);
  std::string error = "ERROR (): TDriversList.Scan MESS: Common error PARAMS: bad thing";
  std::string first_line = report[0];
  EXPECT_EQ(first_line.substr(first_line.size() - error.size() - 2), ": " + error);
  EXPECT_EQ(report[1], "Last log entries:");
  EXPECT_EQ(Lines(report.begin() + 2, report.end() - 1), Lines(main.begin() + 9, main.end() - 1));
  EXPECT_EQ(Unstamped(report[2]), ": line 9");
  EXPECT_EQ(report.back(), "========================================");
}

TEST_F(LogTest, ErrorReportOnAShortLogCopiesAllButTheLastLine) {
  StartLog(folder_);
  LogMessage("a");
  LogMessage("b");
  FlushLog();  // the next batch is appended, so the log ends with an empty line
  LogError("T.M", "first");
  Lines main = log_file::ReadLines(MainLog());
  ASSERT_EQ(main.size(), 4u);
  Lines report = log_file::ReadLines(ErrorLog());
  ASSERT_EQ(report.size(), 6u);
  EXPECT_EQ(Texts(Lines(report.begin() + 2, report.end() - 1)),
            (Lines{": a", ": b", "ERROR (): T.M MESS: first"}));
}

// ---------------------------------------------------------------------------
// Lists

TEST_F(LogTest, CaptureListTakesLinesAwayFromTheAllLinesList) {
  StartLog(folder_);
  LogMessage("before");
  BeginLogCapture();
  LogMessage("inside 1");
  LogError("T.M", "inside 2");
  Lines captured = EndLogCapture();
  LogMessage("after");
  EXPECT_EQ(Texts(captured), (Lines{": inside 1", "ERROR (): T.M MESS: inside 2"}));
  EXPECT_EQ(Texts(AllLogLines()), (Lines{": before", ": after"}));
  BeginLogCapture();
  EXPECT_TRUE(EndLogCapture().empty());
}

// ---------------------------------------------------------------------------
// Lifecycle and the writer thread

TEST_F(LogTest, StopAndRestart) {
  EXPECT_FALSE(IsLogCreated());
  LogMessage("before start");
  StartLog(folder_);
  EXPECT_TRUE(IsLogCreated());
  EXPECT_TRUE(IsLogRunning());
  LogMessage("A");
  StopLog();
  EXPECT_FALSE(IsLogCreated());
  EXPECT_FALSE(IsLogRunning());
  EXPECT_FALSE(IsLogAlive());
  LogMessage("B");
  LogError("T.M", "dropped");
  EXPECT_TRUE(AllLogLines().empty());
  StartLog(folder_);
  LogMessage("C");
  StopLog();
  EXPECT_EQ(MainTexts(), (Lines{": A", ": C"}));
  EXPECT_FALSE(fs::exists(ErrorLog()));
}

TEST_F(LogTest, ClosingFlagBlocksStartLog) {
  SetProgramClosing(true);
  StartLog(folder_);
  EXPECT_FALSE(IsLogCreated());
}

TEST_F(LogTest, WriterThreadWritesOnItsOwnAndEndsOnTheClosingFlag) {
  LogTiming fast;
  fast.queue_move_ms = 5;
  fast.write_check_ms = 10;
  fast.cycle_ms = 5;
  fast.idle_write_ms = 0;
  SetLogTiming(fast);
  StartLog(folder_);
  EXPECT_TRUE(IsLogAlive());
  LogMessage("by the thread");
  EXPECT_TRUE(Eventually([&] { return MainTexts() == Lines{": by the thread"}; }));

  SetProgramClosing(true);
  LogMessage("last words");
  EXPECT_TRUE(Eventually([] { return !IsLogCreated(); }));
  EXPECT_FALSE(IsLogAlive());
  EXPECT_EQ(MainTexts(), (Lines{": by the thread", ": last words"}));
}

TEST_F(LogTest, ManyThreadsLoseNoLine) {
  StartLog(folder_);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 500; ++i) LogMessage("t" + std::to_string(t) + " " + std::to_string(i));
    });
  }
  for (auto& th : threads) th.join();
  StopLog();
  EXPECT_EQ(MainTexts().size(), 2000u);
}

TEST(LogWithoutMachineTest, WorksBeforeAnyMachineIsAttached) {
  if (platform::IsAttached() && platform::IsSimulated()) GTEST_SKIP() << "a machine is attached";
  test::TempDir dir;
  StartLog(dir.path());
  LogMessage("pure unit");
  LogError("T.M", "no machine", "", 2);
  EXPECT_FALSE(IsLogDebugMode());
  StopLog();
  Lines texts = Texts(log_file::ReadLines(dir.path() / "program.log"));
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[0], ": pure unit");
  EXPECT_EQ(texts[1].rfind("ERROR (): T.M MESS: no machine LAST_ERR (2, 00000002): ", 0), 0u);
  EXPECT_TRUE(fs::exists(dir.path() / "program_error.log"));
}

// ---------------------------------------------------------------------------
// Developer aids

class DebugAidTest : public LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    if (!platform::IsSimulated())
      GTEST_SKIP() << "the marker files live in the root of the real drive C";
  }
  void Mark(const char* windows_path) {
    WriteBytes(platform::Sys().HostPath(windows_path), "");
  }
};

TEST_F(DebugAidTest, DebugWindowOpensOnErrorsOnTheMainThread) {
  Mark("c:\\debug.log.pc");
  ForgetLogDebugMode();
  std::atomic<int> shown{0}, handed_over{0};
  std::atomic<bool> shown_here{false};
  std::thread::id main_id = std::this_thread::get_id();
  LogDebugHooks hooks;
  hooks.show_window = [&] {
    ++shown;
    shown_here = std::this_thread::get_id() == main_id;
  };
  // The test's main thread waits in join, so the hand-over runs the call
  // itself, as a GUI's blocking call would on its message loop.
  hooks.run_on_main_thread = [&](const std::function<void()>& fn) {
    ++handed_over;
    fn();
  };
  SetLogDebugHooks(hooks);
  StartLog(folder_);
  EXPECT_TRUE(IsLogDebugMode());
  LogMessage("no window for messages");
  EXPECT_EQ(shown, 0);
  LogError("T.M", "on main");
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(shown_here);
  std::thread worker([] { LogError("T.M", "on worker"); });
  worker.join();
  EXPECT_EQ(handed_over, 1);
  EXPECT_EQ(shown, 2);
  EXPECT_NE(DebugWindowText().find("on worker"), std::string::npos);
}

TEST_F(DebugAidTest, NoDebugWindowWithoutTheMarker) {
  ForgetLogDebugMode();
  std::atomic<int> shown{0};
  LogDebugHooks hooks;
  hooks.show_window = [&] { ++shown; };
  SetLogDebugHooks(hooks);
  StartLog(folder_);
  LogError("T.M", "quiet");
  EXPECT_FALSE(IsLogDebugMode());
  EXPECT_EQ(shown, 0);
}

TEST_F(DebugAidTest, DebugBackupPacksTheDiagnosticFilesWhenMarked) {
  std::vector<std::vector<fs::path>> calls;
  fs::path archive;
  SetLogZipFunction([&](const std::vector<fs::path>& files, const fs::path& zip) {
    calls.push_back(files);
    archive = zip;
    return true;
  });
  StartLog(folder_);
  CreateDebugBackup("scan");
  EXPECT_TRUE(calls.empty());

  Mark("c:\\debug.pc");
  WriteBytes(folder_ / "b.DUL", "");
  WriteBytes(folder_ / "a.dul", "");
  CreateDebugBackup("scan");
  ASSERT_EQ(calls.size(), 1u);
  ASSERT_EQ(calls[0].size(), 11u);
  EXPECT_EQ(calls[0][0], folder_ / "Devices.ini");
  EXPECT_EQ(calls[0][8], folder_ / "program_error_prev.log");
  EXPECT_EQ(calls[0][9].filename(), "a.dul");
  EXPECT_EQ(calls[0][10].filename(), "b.DUL");
  std::string name = PathUtf8(archive.filename());
  EXPECT_EQ(archive.parent_path(), folder_);
  EXPECT_EQ(name.rfind("Debug_", 0), 0u);
  EXPECT_EQ(name.substr(name.size() - 9), "_scan.zip");
  for (char c : name.substr(6, name.size() - 15))
    EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '-') << name;
  EXPECT_EQ(MainTexts()[0].rfind(": CreateDebugBackup PARAMS: Save backup to ", 0), 0u);
}

TEST_F(LogTest, DebugWindowTextJoinsBothGenerations) {
  WriteBytes(folder_ / "program_prev.log", "\xFF\xFE" + Utf16LeBytes(u"older\r\n"));
  StartLog(folder_);
  LogMessage("newer");
  std::string text = DebugWindowText();
  EXPECT_EQ(text.rfind("older\r\n", 0), 0u);
  EXPECT_NE(text.find(": newer"), std::string::npos);
}

TEST(DebugFilterTest, CopyFiltered) {
  struct Case {
    const char* filter;
    const char* clipboard;
    const char* expected;
  };
  const std::string pane = "1 : alpha\r\n2 : beta\r\n3 : Alpha beta";
  for (const auto& c : {Case{"", "", "1 : alpha\r\n2 : beta\r\n3 : Alpha beta"},
                        Case{" beta ", "alpha", "2 : beta\r\n3 : Alpha beta"},
                        Case{"", "  alpha\r\n", "1 : alpha"}, Case{"zeta", "", ""}}) {
    EXPECT_EQ(FilterDebugText(pane, c.filter, c.clipboard), c.expected) << c.filter;
  }
}

}  // namespace
}  // namespace vx
