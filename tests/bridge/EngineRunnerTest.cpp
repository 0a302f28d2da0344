#include "bridge/EngineRunner.h"

#include "tests/support/TempDir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <tuple>

namespace sundrel::bridge {
namespace {

using test::TempDir;

TEST(SplitCommandLine, FollowsWindowsRules) {
  struct Case {
    std::string line;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {R"("C:\App\tovix.dll" A="C:\Docs\big.pdf" cat A1-12 output "C:\Docs\big part 0001.pdf")",
       {R"(C:\App\tovix.dll)", R"(A=C:\Docs\big.pdf)", "cat", "A1-12", "output",
        R"(C:\Docs\big part 0001.pdf)"}},
      {"a  b\t c", {"a", "b", "c"}},
      {"  ", {}},
      {R"(a\\b "c\\d")", {R"(a\\b)", R"(c\\d)"}},
      {R"("a\"b")", {R"(a"b)"}},
      {R"("a\\\"b")", {R"(a\"b)"}},
      {R"("a\\" b)", {R"(a\)", "b"}},
      {R"("")", {""}},
      {R"(user_pw  "p w")", {"user_pw", "p w"}},
      {R"("a""b")", {R"(a"b)"}},
      {R"(x"y z"w)", {"xy zw"}},
      {R"("unterminated arg)", {"unterminated arg"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(splitCommandLine(c.line), c.args) << c.line;
}

TEST(QuoteArgument, SurvivesTheSplitWhateverTheValueHolds) {
  const std::string values[] = {"",
                                "plain",
                                "with blank",
                                R"(quote"inside)",
                                R"(trailing\)",
                                R"(trailing\\)",
                                R"(\"mixed\\"")",
                                "/tmp/dir with \"quotes\"/a.pdf",
                                "tab\tand\nnewline",
                                "\xC3\xA9t\xC3\xA9"};
  for (const auto& value : values) {
    const auto args = splitCommandLine("prog " + quoteArgument(value) + " next");
    ASSERT_EQ(args.size(), 3u) << value;
    EXPECT_EQ(args[1], value);
    EXPECT_EQ(args[2], "next");
  }
  // A plain value is quoted exactly as the documented command lines show it.
  EXPECT_EQ(quoteArgument("/home/a b/x.pdf"), "\"/home/a b/x.pdf\"");
}

TEST(ParseLeadingInt, ReadsLikeAtoi) {
  const std::pair<std::string, int> cases[] = {{"12", 12},
                                               {"  \t12", 12},
                                               {"-3x", -3},
                                               {"+7", 7},
                                               {"2000abc", 2000},
                                               {"abc", 0},
                                               {"", 0},
                                               {"- 4", 0},
                                               {"99999999999", 2147483647},
                                               {"-99999999999", -2147483648LL}};
  for (const auto& [text, value] : cases)
    EXPECT_EQ(parseLeadingInt(text), value) << text;
}

TEST(MakeTempPath, GivesUnusedPrivateNamesWithTheSuffix) {
  const std::string a = makeTempPath(".pdf");
  const std::string b = makeTempPath(".pdf");
  const std::string c = makeTempPath();
  ASSERT_FALSE(a.empty());
  EXPECT_NE(a, b);
  const auto name = std::filesystem::path(a).filename().string();
  EXPECT_EQ(name.rfind("pdf", 0), 0u);
  EXPECT_TRUE(name.ends_with(".tmp.pdf")) << name;
  EXPECT_EQ(name.find_first_not_of("0123456789ABCDEF", 3), name.size() - 8) << name;
  EXPECT_TRUE(c.ends_with(".tmp"));
  EXPECT_FALSE(std::filesystem::exists(a));
  EXPECT_FALSE(std::filesystem::exists(c));

  struct stat info {};
  ASSERT_EQ(::stat(std::filesystem::path(a).parent_path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

// A coded error line, an engine without codes (pdftk-java's lines, an older
// tovix.dll's), and no error line at all.
TEST(EngineReasons, ReadFromCodesOrFromTheWordsOfEnginesWithout) {
  struct Case {
    std::string output;
    EngineReason reason;
    std::string text;
  };
  const Case cases[] = {
      {"Error: [password_required] Failed to open PDF file: a.pdf: OWNER OR USER PASSWORD "
       "REQUIRED, but not given\n",
       EngineReason::PasswordRequired,
       "Failed to open PDF file: a.pdf: OWNER OR USER PASSWORD REQUIRED, but not given"},
      {"Warning: x\nError: [too_large] the content decodes to more than 256 MiB\n",
       EngineReason::TooLarge, "the content decodes to more than 256 MiB"},
      {"Error: [a_new_code] something new\n", EngineReason::Unknown, "something new"},
      {"Error: Failed to open input PDF file: \n   enc.pdf\n   OWNER OR USER PASSWORD REQUIRED, "
       "but incorrect\nErrors encountered.  No output created.\n",
       EngineReason::PasswordIncorrect,
       "Failed to open input PDF file: enc.pdf OWNER OR USER PASSWORD REQUIRED, but incorrect"},
      {"Error: Failed to open input PDF file: \n   x.pdf\n   OWNER PASSWORD REQUIRED, but not "
       "given\n",
       EngineReason::PasswordRequired,
       "Failed to open input PDF file: x.pdf OWNER PASSWORD REQUIRED, but not given"},
      {"Error: Unable to find file.\nError: Failed to open input PDF file: \n   m.pdf\n",
       EngineReason::NotFound, "Unable to find file."},
      {"Error: Range end page number exceeds size of PDF\n   here: 5-2000\n", EngineReason::Range,
       "Range end page number exceeds size of PDF here: 5-2000"},
      {"Error: Failed to open PDF file: b.pdf: the given input_pw password is incorrect",
       EngineReason::PasswordIncorrect,
       "Failed to open PDF file: b.pdf: the given input_pw password is incorrect"},
      {"Error: something else\n", EngineReason::Unknown, "something else"},
      {"", EngineReason::Unknown, ""},
  };
  for (const Case& c : cases) {
    const EngineMessage message = readEngineError(c.output);
    EXPECT_EQ(message.reason, c.reason) << c.output;
    EXPECT_EQ(message.text, c.text) << c.output;
  }
  // Every code the engine writes is read back as its reason.
  for (int r = int(EngineReason::Usage); r <= int(EngineReason::Failed); ++r) {
    const auto reason = EngineReason(r);
    EXPECT_EQ(readEngineError(errorLine(reason, "words")).reason, reason) << reasonCode(reason);
  }
}

class RunCommandTest : public ::testing::Test {
protected:
  void TearDown() override {
    setThreadPumpHook({});
    setTraceHook({});
    setProgramDirectory({});
  }
};

// How a child ended, the same in both wait modes.
TEST_F(RunCommandTest, SaysHowTheChildEnded) {
  using Ending = ProcessResult::Ending;
  struct Case {
    std::string command;
    Ending ending;
    int exitCode;
    int signal;
    std::string described;
  };
  const Case cases[] = {
      {R"(/bin/sh -c "exit 7")", Ending::Exited, 7, 0, "exited with code 7"},
      {R"(/bin/sh -c "exit 0")", Ending::Exited, 0, 0, "exited with code 0"},
      {R"(/bin/sh -c "kill -9 $$")", Ending::Signalled, -1, 9, "was ended by signal 9"},
      {R"("/nonexistent/tovix.dll" x)", Ending::NotStarted, -1, 0,
       "could not be started: /nonexistent/tovix.dll: No such file or directory"},
      {"", Ending::NotStarted, -1, 0, "could not be started: there is no command"},
      {"/bin/sleep 5", Ending::TimedOut, -1, 0, "ran past its time limit"},
  };
  for (const auto& c : cases) {
    for (const WaitMode mode : {WaitMode::Blocking, WaitMode::Pumping}) {
      const ProcessResult result = runProcess(c.command, {mode, 300, nullptr});
      EXPECT_EQ(result.ending, c.ending) << c.command;
      EXPECT_EQ(std::tie(result.exitCode, result.signal), std::tie(c.exitCode, c.signal))
          << c.command;
      EXPECT_EQ(result.describe().rfind(c.described, 0), 0u) << result.describe();
    }
  }
  // A cancel flag set from another thread ends the child within a step.
  std::atomic<bool> cancel{false};
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    cancel = true;
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(runProcess("/bin/sleep 30", {WaitMode::Blocking, 60000, &cancel}).ending,
            Ending::Cancelled);
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(RunCommandTest, CapturesLargeOutputInOrderAndEmptyOutput) {
  std::string expected;
  for (int i = 1; i <= 200000; ++i)
    expected += std::to_string(i) + "\n";
  ASSERT_GT(expected.size(), 1u << 20);
  const ProcessResult large = runCommandPumping("/usr/bin/seq 1 200000");
  EXPECT_TRUE(large.succeeded());
  EXPECT_EQ(large.output, expected);
  EXPECT_EQ(runCommandPumping("/bin/true").output, "");
  // Standard error arrives through the same pipe; standard input is empty.
  EXPECT_EQ(runCommandPumping(R"(/bin/sh -c "echo out; echo err >&2; cat; echo end")").output,
            "out\nerr\nend\n");
}

TEST_F(RunCommandTest, OnlyTheResponsiveModePumpsAndBothTrace) {
  int pumps = 0;
  std::vector<std::string> traced;
  setThreadPumpHook([&] { ++pumps; });
  setTraceHook([&](std::string_view line) { traced.emplace_back(line); });

  EXPECT_TRUE(runCommandBlocking("/bin/sleep 0.2").succeeded());
  EXPECT_EQ(pumps, 0);
  EXPECT_TRUE(runCommandPumping("/bin/sleep 0.2").succeeded());
  EXPECT_GT(pumps, 2);
  // A command run on another thread never runs the window's pump.
  std::thread([] { EXPECT_TRUE(runCommandPumping("/bin/sleep 0.2").succeeded()); }).join();
  EXPECT_LT(pumps, 40);
  EXPECT_EQ(traced, std::vector<std::string>(3, "/bin/sleep 0.2\n"));
}

TEST_F(RunCommandTest, ChildThatLeavesItsPipeToADescendantStillEnds) {
  // The grandchild keeps the pipe open for 30 s; the run ends with the child.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(runCommandBlocking(R"(/bin/sh -c "sleep 30 & exit 3")").exited(3));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST_F(RunCommandTest, RunEngineUsesTheEngineBesideTheProgram) {
  TempDir dir;
  const std::string engine = dir.file("tovix.dll");
  test::writeFile(engine, "#!/bin/sh\nprintf '%s|' \"$@\" > \"$(dirname \"$0\")/args\"\nexit 4\n");
  std::filesystem::permissions(engine, std::filesystem::perms::owner_all);
  setProgramDirectory(dir.str());
  std::vector<std::string> traced;
  setTraceHook([&](std::string_view line) { traced.emplace_back(line); });

  EXPECT_EQ(programFilePath("SettingValue.ini"), dir.str() + "/SettingValue.ini");
  EXPECT_EQ(runEngine("").ending, ProcessResult::Ending::NotStarted);
  EXPECT_TRUE(traced.empty()); // nothing started
  EXPECT_TRUE(runEngine(R"(A="/x/a b.pdf" cat A1-2 output "/y/p""q.pdf")").exited(4));
  EXPECT_EQ(test::readFile(dir.file("args")), "A=/x/a b.pdf|cat|A1-2|output|/y/p\"q.pdf|");
  ASSERT_EQ(traced.size(), 1u);
  EXPECT_EQ(traced[0].rfind("\"" + engine + "\" A=", 0), 0u);
}

TEST(ProgramFilePath, DefaultsToTheExecutableDirectory) {
  const auto exe = std::filesystem::read_symlink("/proc/self/exe");
  EXPECT_EQ(programFilePath("tovix.dll"), (exe.parent_path() / "tovix.dll").string());
}

// Build tree: files beside the program. Installed: the program alone in bin/,
// its engine and skin in the private directory; a file beside it still wins.
TEST_F(RunCommandTest, ProgramFilesBesideTheProgramOrInTheInstalledDirectory) {
  TempDir prefix;
  const std::filesystem::path bin = prefix.path() / "bin";
  const std::filesystem::path installed = bin / std::string(kInstalledFilesDirectory);
  std::filesystem::create_directories(installed);
  setProgramDirectory(bin.string());
  test::writeFile((installed / "tovix.dll").string(), "");
  test::writeFile((installed / "xpblue.smf").string(), "");
  test::writeFile((bin / "xpblue.smf").string(), "");

  EXPECT_EQ(programFilePath("tovix.dll"),
            bin.string() + "/" + std::string(kInstalledFilesDirectory) + "tovix.dll");
  EXPECT_EQ(programFilePath("xpblue.smf"), bin.string() + "/xpblue.smf");
  EXPECT_EQ(programFilePath("SettingValue.ini"), bin.string() + "/SettingValue.ini");
}

// getPageCount against a stand-in engine that writes a prepared report.
class PageCountTest : public RunCommandTest {
protected:
  void SetUp() override {
    engine = dir.file("tovix.dll");
    test::writeFile(engine, "#!/bin/sh\n"
                            "d=$(dirname \"$0\")\n"
                            "printf '%s|' \"$@\" >> \"$d/calls\"\n"
                            "[ -f \"$d/report\" ] && cp \"$d/report\" \"$4\"\n"
                            "exit 0\n");
    std::filesystem::permissions(engine, std::filesystem::perms::owner_all);
    setProgramDirectory(dir.str());
  }
  int countWithReport(const std::string& report) {
    test::writeFile(dir.file("report"), report);
    return getPageCount(pdf);
  }
  TempDir dir;
  std::string engine;
  std::string pdf = "/data/with \"quote\" and blank.pdf";
};

TEST_F(PageCountTest, ParsesTheReport) {
  const std::pair<std::string, int> cases[] = {
      {"InfoBegin\nNumberOfPages:    12\n", 12},
      {"NumberOfPages:\t7\n", 7},
      {"NumberOfPages:\n5\n", 5},
      {"NumberOfPages:\r\n9\r\n", 9},
      {"NumberOfPages: x\n", 0},
      {"NumberOfPages: 3\nNumberOfPages: 8\n", 3},
      {"NumberOfPages: +4\n", 4},
      {"NumberOfPages: 15 pages\n", 15},
      {"PageMediaBegin\n", 0},
      {"", 0},
  };
  for (const auto& [report, pages] : cases)
    EXPECT_EQ(countWithReport(report), pages) << report;
}

TEST_F(PageCountTest, IssuesTheDumpCommandAndCleansUp) {
  EXPECT_EQ(countWithReport("NumberOfPages: 2\n"), 2);
  const std::string calls = test::readFile(dir.file("calls"));
  // The path with a quote and a blank arrives as one argument.
  ASSERT_EQ(calls.rfind(pdf + "|dump_data|output|", 0), 0u) << calls;
  EXPECT_TRUE(calls.ends_with(".tmp.txt|dont_ask|")) << calls;
  const std::string report = calls.substr(pdf.size() + 18, calls.size() - pdf.size() - 18 - 10);
  EXPECT_FALSE(std::filesystem::exists(report)) << report;
}

TEST_F(PageCountTest, StartsNothingWithoutPathOrEngine) {
  EXPECT_EQ(countWithReport("NumberOfPages: 2\n"), 2);
  std::filesystem::remove(dir.file("calls"));
  pdf.clear();
  EXPECT_EQ(countWithReport("NumberOfPages: 2\n"), 0);
  std::filesystem::remove(engine);
  pdf = "/x.pdf";
  EXPECT_EQ(countWithReport("NumberOfPages: 2\n"), 0);
  EXPECT_FALSE(std::filesystem::exists(dir.file("calls")));
  // No engine: nothing runs, and the count says so.
  setProgramDirectory("/nonexistent");
  EXPECT_EQ(getPageCount("/x.pdf"), 0);
  EXPECT_EQ(countPages("/x.pdf").failure.reason, EngineReason::EngineMissing);
}

} // namespace
} // namespace sundrel::bridge
