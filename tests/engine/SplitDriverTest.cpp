// The split driver, the part writer and the two stages against a fake engine
// that logs every command and answers from tables.

#include "bridge/EngineRunner.h"
#include "bridge/EngineSession.h"
#include "engine/PartFiles.h"
#include "engine/SplitEngine.h"

#include "tests/support/TempDir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace sundrel::engine {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using test::writeFile;

// A listed file; its size as "<kilobytes>KB" or "<bytes>".
struct Row {
  std::string path;
  std::string size;
};

// Records what a run tells; its fields also make the job (rows, limit,
// where parts go).
class RecordingHost : public SplitObserver {
public:
  std::vector<Row> rows;
  std::uint64_t limit = 102400;
  bool original = true;
  std::string folder;
  std::vector<int> positions;
  std::vector<std::pair<int, int>> ranges;
  std::vector<std::string> skipped;
  std::vector<std::string> parts;
  std::vector<std::string> failures;
  int checks = 0;                   // stop checks: one before every engine command
  std::function<bool(int)> onCheck; // told the check's number; true stops the run

  bool stopRequested() override {
    ++checks;
    return onCheck && onCheck(checks);
  }
  void progress(const FileProgress& at) override {
    if (ranges.empty() || file != at.file)
      ranges.emplace_back(0, at.pages + 1);
    file = at.file;
    positions.push_back(at.page);
  }
  void fileSkipped(const FileProgress& at) override { skipped.push_back(at.source); }
  void partWritten(const FileProgress&, const PartRecord& part) override {
    parts.push_back(part.path);
  }
  void fileFailed(const FileProgress& at, const FileReport&) override {
    failures.push_back(at.source);
  }

private:
  std::size_t file = 0;
};

std::uint64_t bytesOf(const std::string& size) {
  return std::stoull(size) * (size.ends_with("KB") ? 1024 : 1);
}

SplitJob jobOf(const RecordingHost& host, const SplitSettings& settings) {
  SplitJob job;
  job.settings = settings;
  job.settings.sizeLimit = host.limit;
  job.settings.outputMode = host.original ? settings::OutputMode::OriginalDirectory
                                          : settings::OutputMode::AlternativeDirectory;
  job.settings.outputFolder = host.folder;
  for (const Row& row : host.rows)
    job.rows.push_back({row.path, bytesOf(row.size), {}});
  return job;
}

SplitReport runSplit(RecordingHost& host, const SplitSettings& settings) {
  return engine::runSplit(jobOf(host, settings), host);
}

// The files in the private temporary folder, its marker left out.
std::size_t tempFiles() {
  std::size_t count = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(bridge::makeTempPath()).parent_path()))
    count += entry.path().filename() != ".sundrel-folder";
  return count;
}

class SplitDriverTest : public ::testing::Test {
protected:
  void SetUp() override {
    fs::copy_file(FAKE_ENGINE, program.file("tovix.dll"));
    bridge::setProgramDirectory(program.str());
    writeFile(program.file("pages.txt"), "* 5\n");
  }
  void TearDown() override { bridge::setProgramDirectory({}); }

  std::string source(const std::string& name) {
    const std::string path = files.file(name);
    writeFile(path, "%PDF-1.4 source");
    return path;
  }

  // Each engine run as its arguments joined by '|'.
  std::vector<std::string> log() {
    std::vector<std::string> lines;
    std::istringstream in(readFile(program.file("log.txt")));
    for (std::string line; std::getline(in, line);)
      lines.push_back(line);
    return lines;
  }

  // The page ranges of the probes and of the part extractions, in order.
  std::vector<std::string> catRuns() {
    std::vector<std::string> runs;
    for (const auto& line : log()) {
      const auto cat = line.find("|cat|A");
      if (cat == std::string::npos)
        continue;
      const auto end = line.find('|', cat + 6);
      const std::string range = line.substr(cat + 6, end - cat - 6);
      const std::string output = line.substr(line.rfind('|') + 1);
      const bool probe =
          output.starts_with(fs::path(bridge::makeTempPath()).parent_path().string());
      runs.push_back((probe ? "probe " : "part ") + range);
    }
    return runs;
  }

  TempDir program;
  TempDir files;
  SplitSettings settings;
  RecordingHost host;
};

TEST_F(SplitDriverTest, WorkedExample) {
  writeFile(program.file("sizes.txt"), "1-1 40000\n1-2 90000\n1-3 130000\n"
                                       "3-3 150000\n4-4 30000\n4-5 70000\n");
  const std::string pdf = source("Report.pdf");
  host.rows = {{pdf, "300KB"}};
  host.limit = 100000;
  runSplit(host, settings);

  EXPECT_EQ(catRuns(), (std::vector<std::string>{"probe 1-1", "probe 1-2", "probe 1-3", "part 1-2",
                                                 "probe 3-3", "part 3-3", "probe 4-4", "probe 4-5",
                                                 "part 4-5"}));
  EXPECT_EQ(host.positions, (std::vector<int>{1, 2, 3, 3, 3, 4, 4, 5, 6}));
  EXPECT_EQ(host.ranges, (std::vector<std::pair<int, int>>{{0, 6}}));
  const std::string base = files.file("Report part ");
  EXPECT_EQ(host.parts,
            (std::vector<std::string>{base + "0001.pdf", base + "0002.pdf", base + "0003.pdf"}));
  // The run may be stopped before every engine command.
  EXPECT_GE(host.checks, static_cast<int>(log().size()));
  EXPECT_TRUE(host.skipped.empty());
  // Probe files never outlive their measurement.
  EXPECT_EQ(tempFiles(), 0u);
}

TEST_F(SplitDriverTest, ProbeBoundaries) {
  struct Case {
    std::string name;
    std::string sizes;
    std::uint64_t limit;
    std::vector<std::string> runs;
  };
  const Case cases[] = {
      {"a probe equal to the limit does not fit",
       "1-1 500\n1-2 1000\n2-2 10\n2-3 20\n2-4 30\n2-5 40\n",
       1000,
       {"probe 1-1", "probe 1-2", "part 1-1", "probe 2-2", "probe 2-3", "probe 2-4", "probe 2-5",
        "part 2-5"}},
      {"every range fits: one part of all pages",
       "",
       100000,
       {"probe 1-1", "probe 1-2", "probe 1-3", "probe 1-4", "probe 1-5", "part 1-5"}},
      {"a first page over the limit is a part alone",
       "1-1 5000\n2-2 10\n2-3 10\n2-4 10\n2-5 10\n",
       1000,
       {"probe 1-1", "part 1-1", "probe 2-2", "probe 2-3", "probe 2-4", "probe 2-5", "part 2-5"}},
      {"limit 0: single pages",
       "",
       0,
       {"probe 1-1", "part 1-1", "probe 2-2", "part 2-2", "probe 3-3", "part 3-3", "probe 4-4",
        "part 4-4", "probe 5-5", "part 5-5"}},
      {"a probe one byte below the limit fits",
       "1-1 1999\n1-2 2000\n2-2 1\n2-3 1\n2-4 1\n2-5 1\n",
       2000,
       {"probe 1-1", "probe 1-2", "part 1-1", "probe 2-2", "probe 2-3", "probe 2-4", "probe 2-5",
        "part 2-5"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(program.file("log.txt"));
    writeFile(program.file("sizes.txt"), c.sizes);
    host = RecordingHost{};
    host.rows = {{source("a.pdf"), "200KB"}};
    host.limit = c.limit;
    runSplit(host, settings);
    EXPECT_EQ(catRuns(), c.runs);
    EXPECT_EQ(host.positions.back(), 6);
  }
}

TEST_F(SplitDriverTest, AFinishedPartThatOutgrowsTheLimitGivesBackPages) {
  // The properties stage adds 100 bytes: 1-3 measured 99950 but ends at 100050.
  writeFile(program.file("sizes.txt"), "1-1 10\n1-2 99800\n1-3 99950\n1-4 200000\n");
  writeFile(program.file("grow.txt"), "by 100\n");
  host.rows = {{source("a.pdf"), "300KB"}};
  host.limit = 100000;
  runSplit(host, settings);
  EXPECT_EQ(catRuns(), (std::vector<std::string>{"probe 1-1", "probe 1-2", "probe 1-3", "probe 1-4",
                                                 "part 1-3", "part 1-2", "probe 3-3", "probe 3-4",
                                                 "probe 3-5", "part 3-5"}));
  const std::string base = files.file("a part ");
  EXPECT_EQ(host.parts, (std::vector<std::string>{base + "0001.pdf", base + "0002.pdf"}));
  EXPECT_EQ(fs::file_size(base + "0001.pdf"), 99900u);
  EXPECT_EQ(host.positions, (std::vector<int>{1, 2, 3, 4, 4, 3, 3, 4, 5, 6}));
}

// Every part stays below the limit: only a file below it is skipped, one of
// exactly the limit is split, and sizes of 4 GiB and more stay large.
TEST_F(SplitDriverTest, SkipsOnlyFilesBelowTheLimit) {
  writeFile(program.file("pages.txt"), "* 1\n");
  const std::string under = source("under.pdf");
  host.rows = {{under, "102399"},
               {source("exact.pdf"), "102400"},
               {source("over.pdf"), "102401"},
               {source("huge.pdf"), "4294967296"}};
  const SplitReport report = runSplit(host, settings);
  EXPECT_EQ(host.skipped, std::vector<std::string>{under});
  std::vector<FileOutcome> outcomes;
  for (const auto& file : report.files)
    outcomes.push_back(file.outcome);
  EXPECT_EQ(outcomes, (std::vector<FileOutcome>{FileOutcome::SkippedTooSmall, FileOutcome::Split,
                                                FileOutcome::Split, FileOutcome::Split}));
}

TEST_F(SplitDriverTest, FilesWithoutPagesAreSkippedAndNumbersRestart) {
  writeFile(program.file("pages.txt"), "broken.pdf 0\nfirst.pdf 2\nsecond.pdf 1\n");
  writeFile(program.file("sizes.txt"), "1-1 10\n1-2 5000\n2-2 10\n");
  host.rows = {
      {source("first.pdf"), "9KB"}, {source("broken.pdf"), "9KB"}, {source("second.pdf"), "9KB"}};
  host.limit = 1000;
  runSplit(host, settings);
  EXPECT_EQ(host.parts, (std::vector<std::string>{files.file("first part 0001.pdf"),
                                                  files.file("first part 0002.pdf"),
                                                  files.file("second part 0001.pdf")}));
  EXPECT_EQ(host.failures, (std::vector<std::string>{files.file("broken.pdf")}));
  EXPECT_TRUE(host.skipped.empty());
}

TEST_F(SplitDriverTest, AProbeWithoutOutputEndsTheRun) {
  writeFile(program.file("fail.txt"), "1-2\n");
  host.rows = {{source("a.pdf"), "200KB"}, {source("b.pdf"), "200KB"}};
  runSplit(host, settings);
  EXPECT_EQ(catRuns(), (std::vector<std::string>{"probe 1-1", "probe 1-2"}));
  EXPECT_TRUE(host.parts.empty());
  EXPECT_EQ(host.failures.size(), 1u);
}

TEST_F(SplitDriverTest, EmptyListDoesNothing) {
  host.limit = 5;
  EXPECT_TRUE(runSplit(host, settings).files.empty());
  EXPECT_FALSE(fs::exists(program.file("log.txt")));
}

// The part names, checked on the extraction command; the engine writes nothing.
TEST_F(SplitDriverTest, PartNames) {
  struct Case {
    std::string source;
    std::string pattern;
    bool original;
    std::string folder;
    int part, first, last;
    std::string expected;
  };
  const std::string d = files.str() + "/";
  const Case cases[] = {
      {d + "Report.pdf", "{basename}.{pagebegin:0000}-{pageend:0000}", true, "", 3, 13, 20,
       d + "Report.0013-0020.pdf"},
      {d + "Report.pdf", "{basename} part {part:0000}", false, "/out", 3, 13, 20,
       "/out/Report part 0003.pdf"},
      {d + "Report.pdf", "{basename} part {part:0000}", false, "/out/", 3, 13, 20,
       "/out/Report part 0003.pdf"},
      {d + "Report.pdf", "{basename} part {part:0000}", false, "", 3, 13, 20,
       "/Report part 0003.pdf"},
      {d + "Scan.PDF", "{basename}", true, "", 1, 1, 1, d + "Scan.pdf"},
      {d + "a.b.pdf", "{basename}-{pageend}", true, "", 1, 1, 7, d + "a.b-0007.pdf"},
      {d + "noext", "{basename}_{part:0000}", true, "", 1, 1, 1, d + "noext_0001.pdf"},
      {d + "x.pdf", "{part:0000}-{part:0000}", true, "", 2, 1, 1, d + "0002-{part:0000}.pdf"},
      // A pattern without {basename} still names a file in the chosen folder.
      {d + "x.pdf", "fixed", true, "", 9, 1, 1, d + "fixed.pdf"},
      {d + "x.pdf", "fixed", false, "/out", 9, 1, 1, "/out/fixed.pdf"},
      {d + "x.pdf", "{basename} {part:0000}", true, "", 12345, 1, 1, d + "x 12345.pdf"},
      {d + "x.pdf", "{pageend}{pageend:0000}", true, "", 1, 3, 123456, d + "123456123456.pdf"},
      // Tokens that the file name brings in are searched after {basename}.
      {d + "{part:0000}.pdf", "{basename} {part:0000}", true, "", 4, 1, 1,
       d + "0004 {part:0000}.pdf"},
  };
  for (const auto& c : cases) {
    const PartName name = partPathFor(c.pattern, partFolder(c.source, c.original, c.folder),
                                      c.source, c.part, c.first, c.last);
    EXPECT_EQ(name.path, c.expected) << c.pattern;
  }
}

// A name that would leave the chosen folder is refused before the engine runs.
TEST_F(SplitDriverTest, PartNamesStayInTheFolder) {
  for (const std::string pattern : {"../{basename}", "{basename}/x", "/tmp/{basename}"}) {
    settings.namePattern = pattern;
    const FileReport part = writePart(jobOf(host, settings), files.file("x.pdf"), 1, 1, 1);
    EXPECT_EQ(part.failure, FailureKind::PartNotWritten) << pattern;
    EXPECT_TRUE(part.parts.empty()) << pattern;
  }
  EXPECT_FALSE(fs::exists(program.file("log.txt")));
}

TEST_F(SplitDriverTest, NeverWritesOverTheSource) {
  const std::string pdf = source("x.pdf");
  settings.namePattern = "{basename}";
  host.rows = {{pdf, "200KB"}};
  writeFile(program.file("pages.txt"), "* 2\n");
  runSplit(host, settings);
  EXPECT_EQ(readFile(pdf), "%PDF-1.4 source");
  EXPECT_TRUE(host.parts.empty());
  EXPECT_EQ(catRuns(), (std::vector<std::string>{"probe 1-1", "probe 1-2"}));
  EXPECT_FALSE(host.failures.empty());
}

// The session path gives the parts that one process per probe gives, from
// few measurements, and the finished-part check still hands back pages.
TEST_F(SplitDriverTest, SessionGivesTheSameParts) {
  std::string perPage;
  for (int page = 1; page <= 150; ++page)
    perPage += std::to_string(page) + " " +
               std::to_string(page % 7 == 0 ? 3000 : 200 + (page * 37) % 500) + "\n";
  writeFile(program.file("perpage.txt"), perPage);
  writeFile(program.file("pages.txt"), "* 150\n");
  writeFile(program.file("grow.txt"), "by 150\n");
  settings.namePattern = "{basename} {pagebegin:0000}-{pageend:0000}";
  const std::string pdf = source("doc.pdf");
  const auto split = [&](bool session) {
    fs::remove(program.file("log.txt"));
    if (session)
      writeFile(program.file("session"), "");
    else
      fs::remove(program.file("session"));
    host = RecordingHost{};
    host.rows = {{pdf, "300KB"}};
    host.limit = 20000;
    const SplitReport report = runSplit(host, settings);
    std::vector<std::pair<std::string, std::uint64_t>> parts;
    for (const auto& part : report.files.at(0).parts)
      parts.emplace_back(fs::path(part.path).filename().string(), fs::file_size(part.path));
    EXPECT_EQ(report.files.at(0).outcome, FileOutcome::Split);
    return std::pair{parts, log().size()};
  };
  const auto [byProcess, processRuns] = split(false);
  const auto [inSession, sessionCommands] = split(true);
  EXPECT_EQ(inSession, byProcess);
  EXPECT_GE(byProcess.size(), 5u);
  EXPECT_LT(sessionCommands * 2, processRuns) << sessionCommands << " " << processRuns;
  // Hidden part files never outlive the run.
  for (const auto& entry : fs::directory_iterator(files.path()))
    EXPECT_FALSE(entry.path().filename().string().starts_with(".sundrel-"));
}

// Every file's fate is in the report: parts, skips, failures with their
// kind, pages over the limit, warnings, and the files a stop left out.
TEST_F(SplitDriverTest, TheReportSaysWhatBecameOfEveryFile) {
  struct Case {
    std::string name;
    std::vector<std::string> flags; // files in the engine's folder
    std::string sizes;
    std::vector<FileOutcome> outcomes;
    FailureKind failure; // of the first failed file
    int parts;
    std::size_t oversize, warnings;
  };
  const Case cases[] = {
      {"clean",
       {},
       "",
       {FileOutcome::SkippedTooSmall, FileOutcome::Split, FileOutcome::Split},
       FailureKind::None,
       2,
       0,
       0},
      {"protected",
       {"locked.txt"},
       "",
       {FileOutcome::SkippedTooSmall, FileOutcome::Failed, FileOutcome::Split},
       FailureKind::Protected,
       1,
       0,
       0},
      {"probe fails: the rest is not reached",
       {"fail.txt"},
       "",
       {FileOutcome::SkippedTooSmall, FileOutcome::Failed, FileOutcome::NotReached},
       FailureKind::ProbeFailed,
       0,
       0,
       0},
      {"a page alone over the limit",
       {},
       "1-1 500000\n",
       {FileOutcome::SkippedTooSmall, FileOutcome::Split, FileOutcome::Split},
       FailureKind::None,
       4,
       2,
       0},
      {"properties not applied",
       {"noinfo"},
       "",
       {FileOutcome::SkippedTooSmall, FileOutcome::Split, FileOutcome::Split},
       FailureKind::None,
       2,
       0,
       2},
      {"security failed: no open part is left",
       {"nosecurity"},
       "",
       {FileOutcome::SkippedTooSmall, FileOutcome::Failed, FileOutcome::Failed},
       FailureKind::StageFailed,
       0,
       0,
       0},
      {"a page alone whose part failed is not listed as written",
       {"nosecurity"},
       "1-1 500000\n",
       {FileOutcome::SkippedTooSmall, FileOutcome::Failed, FileOutcome::Failed},
       FailureKind::StageFailed,
       0,
       0,
       0},
  };
  settings.addSecurity = 1;
  settings.keepEncryption = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* flag : {"locked.txt", "fail.txt", "noinfo", "nosecurity"})
      fs::remove(program.file(flag));
    for (const std::string& flag : c.flags)
      writeFile(program.file(flag), flag == "locked.txt" ? "b.pdf\n" : "1-1\n");
    writeFile(program.file("sizes.txt"), c.sizes);
    writeFile(program.file("pages.txt"), "* 2\n");
    host = RecordingHost{};
    host.rows = {{source("a.pdf"), "1KB"}, {source("b.pdf"), "200KB"}, {source("c.pdf"), "200KB"}};
    const SplitReport report = runSplit(host, settings);
    ASSERT_EQ(report.files.size(), 3u);
    std::vector<FileOutcome> outcomes;
    std::size_t oversize = 0, warnings = 0;
    for (const auto& file : report.files) {
      outcomes.push_back(file.outcome);
      oversize += file.oversizePages.size();
      warnings += file.warnings.size();
    }
    EXPECT_EQ(outcomes, c.outcomes);
    EXPECT_EQ(report.partCount(), c.parts);
    EXPECT_EQ(oversize, c.oversize);
    EXPECT_EQ(warnings, c.warnings);
    EXPECT_EQ(report.hasProblems(), c.failure != FailureKind::None || c.oversize || c.warnings);
    for (const auto& file : report.files) {
      if (file.outcome == FileOutcome::Failed) {
        EXPECT_EQ(file.failure, c.failure);
        EXPECT_FALSE(file.reason.empty());
        break;
      }
    }
    // No part is left that the report does not list.
    std::size_t onDisk = 0;
    for (const auto& entry : fs::directory_iterator(files.path()))
      onDisk += entry.path().filename().string().find(" part ") != std::string::npos;
    EXPECT_EQ(onDisk, static_cast<std::size_t>(c.parts));
    for (const auto& entry : fs::directory_iterator(files.path()))
      if (entry.path().filename().string().find(" part ") != std::string::npos)
        fs::remove(entry.path());
  }
}

TEST_F(SplitDriverTest, AHungEngineIsStoppedAndTheFileFails) {
  const bridge::EngineLimits saved = bridge::engineLimits();
  bridge::setEngineLimits({0, 1, 0});
  writeFile(program.file("hang"), "");
  host.rows = {{source("a.pdf"), "200KB"}};
  const SplitReport report = runSplit(host, settings);
  bridge::setEngineLimits(saved);
  ASSERT_EQ(report.files.size(), 1u);
  EXPECT_EQ(report.files[0].outcome, FileOutcome::Failed);
  EXPECT_EQ(report.files[0].failure, FailureKind::Timeout);
}

// In a session, the engine's refusal of a file (a damaged page, a source
// changed meanwhile) fails that file with the reason and the run goes on; the
// engine's note about a repaired source is a warning of the report.
TEST_F(SplitDriverTest, SessionFailsOnlyTheFileAndReportsTheEnginesNote) {
  writeFile(program.file("session"), "");
  writeFile(program.file("pages.txt"), "* 2\n");
  writeFile(program.file("damaged.txt"), "b.pdf page\nc.pdf\n");
  host.rows = {{source("b.pdf"), "200KB"}, {source("c.pdf"), "200KB"}};
  const SplitReport report = runSplit(host, settings);
  ASSERT_EQ(report.files.size(), 2u);
  EXPECT_EQ(report.files[0].outcome, FileOutcome::Failed);
  EXPECT_EQ(report.files[0].failure, FailureKind::ProbeFailed);
  EXPECT_NE(report.files[0].reason.find(source("b.pdf") + ": page 1 could not be read"),
            std::string::npos)
      << report.files[0].reason;
  EXPECT_EQ(report.files[1].outcome, FileOutcome::Split);
  EXPECT_EQ(report.files[1].warnings, std::vector<std::string>{"it is damaged and was repaired"});
  EXPECT_FALSE(report.stoppedEarly);
}

// Each of the engine's reason codes fails its file with the kind the bridge
// gives it, through a session and through one process per command; a code
// this program does not know is a failure all the same.
TEST_F(SplitDriverTest, EveryReasonCodeFailsTheFileWithItsKind) {
  const std::pair<std::string, FailureKind> cases[] = {
      {"usage", FailureKind::Unreadable},
      {"not_supported", FailureKind::Unreadable},
      {"not_found", FailureKind::Unreadable},
      {"password_required", FailureKind::Protected},
      {"password_incorrect", FailureKind::Protected},
      {"damaged", FailureKind::Unreadable},
      {"changed", FailureKind::SourceChanged},
      {"too_large", FailureKind::Unreadable},
      {"range", FailureKind::Unreadable},
      {"io", FailureKind::Unreadable},
      {"refused", FailureKind::Unreadable},
      {"failed", FailureKind::Unreadable},
      {"a_later_code", FailureKind::Unreadable},
  };
  const std::string pdf = source("a.pdf");
  for (const bool session : {true, false}) {
    if (session)
      writeFile(program.file("session"), "");
    else
      fs::remove(program.file("session"));
    for (const auto& [code, kind] : cases) {
      SCOPED_TRACE(code + (session ? " in a session" : " in a process"));
      writeFile(program.file("reason.txt"), "a.pdf " + code + "\n");
      host = RecordingHost{};
      host.rows = {{pdf, "300KB"}};
      const SplitReport report = runSplit(host, settings);
      EXPECT_EQ(report.files[0].outcome, FileOutcome::Failed);
      EXPECT_EQ(report.files[0].failure, kind);
      EXPECT_EQ(report.files[0].engineReason, bridge::reasonOfCode(code));
      EXPECT_EQ(report.files[0].reason, "refused as the table says");
    }
  }
}

// Asked to stop between engine commands, the run ends there: the parts
// finished stay, nothing half-made is left, no engine command follows, and
// the files not finished are not reached.
TEST_F(SplitDriverTest, AStopEndsTheRunBetweenCommands) {
  writeFile(program.file("perpage.txt"), "1 60000\n2 60000\n3 60000\n4 60000\n5 60000\n");
  for (const bool session : {true, false}) {
    SCOPED_TRACE(session ? "session" : "one process per command");
    if (session)
      writeFile(program.file("session"), "");
    else
      fs::remove(program.file("session"));
    fs::remove(program.file("log.txt"));
    host = RecordingHost{};
    host.rows = {{source("a.pdf"), "300KB"}, {source("b.pdf"), "300KB"}};
    std::size_t commandsAtStop = 0;
    host.onCheck = [&](int) {
      if (host.parts.size() < 1)
        return false;
      commandsAtStop = log().size();
      return true;
    };
    const SplitReport report = runSplit(host, settings);
    EXPECT_TRUE(report.stoppedEarly);
    EXPECT_EQ(report.files[0].outcome, FileOutcome::NotReached);
    EXPECT_EQ(report.files[0].parts.size(), 1u);
    EXPECT_EQ(report.files[1].outcome, FileOutcome::NotReached);
    EXPECT_EQ(log().size(), commandsAtStop);
    EXPECT_TRUE(host.failures.empty());
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(files.path()))
      left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"a part 0001.pdf", "a.pdf", "b.pdf"}));
    fs::remove(files.file("a part 0001.pdf"));
  }
}

// The job's stop flag ends an engine command in flight (one that would
// otherwise wait for its deadline): the run returns within a second, the file
// is not reached.
TEST_F(SplitDriverTest, AStopFlagEndsTheCommandInFlight) {
  writeFile(program.file("perpage.txt"), "1 60000\n2 60000\n3 60000\n4 60000\n5 60000\n");
  for (const bool session : {true, false}) {
    SCOPED_TRACE(session ? "session" : "one process per command");
    fs::remove(program.file("waiting"));
    fs::remove(program.file("session"));
    if (session)
      writeFile(program.file("session"), "");
    writeFile(program.file("wait.txt"), session ? "|measure" : "|cat|A1-2|");
    host = RecordingHost{};
    host.rows = {{source("a.pdf"), "300KB"}};
    SplitJob job = jobOf(host, settings);
    std::atomic<bool> stop{false};
    job.stop = &stop;
    std::chrono::steady_clock::time_point stoppedAt;
    std::thread stopper([&] {
      while (!fs::exists(program.file("waiting")))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      stoppedAt = std::chrono::steady_clock::now();
      stop = true;
    });
    const SplitReport report = engine::runSplit(job, host);
    const auto took = std::chrono::steady_clock::now() - stoppedAt;
    stopper.join();
    EXPECT_LT(took, std::chrono::seconds(1));
    EXPECT_TRUE(report.stopped);
    EXPECT_EQ(report.files[0].outcome, FileOutcome::NotReached);
    EXPECT_TRUE(host.failures.empty());
  }
  fs::remove(program.file("wait.txt"));
}

// A part never replaces one the same run wrote: a pattern without a part
// number, or two sources of one name split into one folder.
TEST_F(SplitDriverTest, APartNeverReplacesOneOfTheSameRun) {
  writeFile(program.file("pages.txt"), "* 2\n");
  writeFile(program.file("sizes.txt"), "1-2 500000\n");
  const std::string out = files.file("out");
  fs::create_directories(out);
  fs::create_directories(files.file("a"));
  fs::create_directories(files.file("b"));
  struct Case {
    std::string pattern;
    std::vector<std::string> sources;
    std::vector<FileOutcome> outcomes;
    std::size_t parts;
  };
  const Case cases[] = {
      {"{basename}", {"a/x.pdf"}, {FileOutcome::Failed}, 1},
      {"{basename} part {part:0000}",
       {"a/x.pdf", "b/x.pdf"},
       {FileOutcome::Split, FileOutcome::Failed},
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    for (const auto& entry : fs::directory_iterator(out))
      fs::remove(entry.path());
    settings.namePattern = c.pattern;
    host = RecordingHost{};
    host.original = false;
    host.folder = out;
    for (const auto& name : c.sources)
      host.rows.push_back({source(name), "200KB"});
    const SplitReport report = runSplit(host, settings);
    std::vector<FileOutcome> outcomes;
    for (const auto& file : report.files) {
      outcomes.push_back(file.outcome);
      if (file.outcome == FileOutcome::Failed) {
        EXPECT_EQ(file.failure, FailureKind::Overwrite);
      }
    }
    EXPECT_EQ(outcomes, c.outcomes);
    EXPECT_EQ(static_cast<std::size_t>(report.partCount()), c.parts);
    EXPECT_EQ(static_cast<std::size_t>(std::distance(fs::directory_iterator(out), {})), c.parts);
  }
}

// No part replaces a file the run lists, however it is spelled: an existing
// one by device and inode, one not there yet by its normal path. On both paths.
TEST_F(SplitDriverTest, APartNeverReplacesAListedInput) {
  writeFile(program.file("perpage.txt"), "1 60000\n2 60000\n3 60000\n4 60000\n5 60000\n");
  fs::create_directories(files.file("link"));
  for (const bool session : {true, false}) {
    for (const bool exists : {true, false}) {
      SCOPED_TRACE(std::string(session ? "session" : "process") + (exists ? ", existing" : ""));
      for (const auto& entry : fs::directory_iterator(files.path()))
        fs::remove_all(entry.path());
      writeFile(files.file("a part 0002.pdf"), "the user's");
      if (!exists)
        fs::remove(files.file("a part 0002.pdf"));
      if (!session)
        fs::remove(program.file("session"));
      else
        writeFile(program.file("session"), "");
      fs::create_directory_symlink(files.path(), files.file("link"));
      host = RecordingHost{};
      host.rows = {{source("a.pdf"), "300KB"},
                   {files.file(exists ? "link/a part 0002.pdf" : "no/../a part 0002.pdf"), "1KB"}};
      const SplitReport report = runSplit(host, settings);
      EXPECT_EQ(report.files[0].failure, FailureKind::Overwrite);
      EXPECT_EQ(report.files[0].parts.size(), 1u);
      EXPECT_EQ(readFile(files.file("a part 0002.pdf")), exists ? "the user's" : "");
    }
  }
}

// One engine process per command opens the source anew each time: one
// replaced between two commands fails the file, never mixing two documents.
TEST_F(SplitDriverTest, ASourceReplacedBetweenCommandsFailsTheFile) {
  writeFile(program.file("perpage.txt"), "1 30000\n2 30000\n3 30000\n4 30000\n5 30000\n");
  const std::string pdf = source("a.pdf");
  host.rows = {{pdf, "300KB"}};
  host.onCheck = [&](int) {
    if (host.parts.size() == 1 && !fs::exists(files.file("replaced"))) { // part 1: pages 1-3
      writeFile(files.file("replaced"), "");
      writeFile(files.file("other.pdf"), "%PDF-1.4 another document");
      fs::rename(files.file("other.pdf"), pdf);
    }
    return false;
  };
  const SplitReport report = runSplit(host, settings);
  EXPECT_EQ(report.files[0].failure, FailureKind::SourceChanged);
  ASSERT_EQ(report.files[0].parts.size(), 1u);
  EXPECT_EQ(report.files[0].parts[0].lastPage, 3);
  EXPECT_EQ(host.parts.size(), 1u);
}

// One engine process per command would show the parts' passwords to every
// user: the file is refused and no engine ever gets them.
TEST_F(SplitDriverTest, NoPasswordInAnEngineProcessArguments) {
  settings.keepEncryption = 0;
  settings.addSecurity = 1;
  settings.permissionsPassword = "owner-secret";
  host.rows = {{source("a.pdf"), "300KB"}};
  const SplitReport report = runSplit(host, settings);
  EXPECT_EQ(report.files[0].failure, FailureKind::PartNotWritten);
  EXPECT_NE(report.files[0].reason.find("process list"), std::string::npos);
  EXPECT_EQ(readFile(program.file("log.txt")).find("owner-secret"), std::string::npos);
}

// A relative source that looks like an engine word reaches the engine as an
// absolute path; a part name too long for its security copy still gets it.
TEST_F(SplitDriverTest, PathsTheEngineCannotMisread) {
  writeFile(program.file("pages.txt"), "* 1\n");
  const std::string cwd = fs::current_path();
  fs::current_path(files.path());
  for (const std::string name : {"Q=report.pdf", "output"})
    writeFile(name, "%PDF-1.4 source");
  host.rows = {{"Q=report.pdf", "200KB"}, {"output", "200KB"}};
  runSplit(host, settings);
  fs::current_path(cwd);
  const auto lines = log();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(0, lines[0].find('|')), files.file("Q=report.pdf"));
  EXPECT_EQ(host.parts.size(), 2u);

  fs::remove(program.file("log.txt"));
  settings.addSecurity = 1;
  settings.keepEncryption = 0;
  const std::string longPart = files.file(std::string(250, 'n'));
  writeFile(longPart, "%PDF part");
  EXPECT_TRUE(applySecurity(settings, longPart).done);
  EXPECT_NE(readFile(program.file("log.txt")).find("sundrel-sec-"), std::string::npos);
}

TEST(ReplaceToken, FirstOccurrenceOnly) {
  std::string text = "{a}-{a}";
  EXPECT_TRUE(replaceToken(text, "{a}", "longer value"));
  EXPECT_EQ(text, "longer value-{a}");
  EXPECT_FALSE(replaceToken(text, "{b}", "x"));
  EXPECT_EQ(text, "longer value-{a}");
  EXPECT_FALSE(replaceToken(text, "{A}", "x")); // case matters
}

// The two stages: the info file, the security command, and the part replaced.
class StagesTest : public SplitDriverTest {
protected:
  std::string part() {
    const std::string path = files.file("p part 0001.pdf");
    writeFile(path, "%PDF part");
    return path;
  }
  std::string securityArgs() {
    for (const auto& line : log())
      if (line.find("|output|") != std::string::npos &&
          line.find("encrypt_128bit") != std::string::npos)
        return line.substr(line.find("|output|"));
    return {};
  }
};

TEST_F(StagesTest, InfoTextHoldsEntriesInOrderWithDefaults) {
  struct Case {
    std::string title, subject, creator;
    std::string expected;
  };
  const std::string creator =
      "InfoBegin\nInfoKey: Creator\nInfoValue: Sundrel - https://orvane.com/sundrel\n";
  const std::string producer =
      "InfoBegin\nInfoKey: Producer\nInfoValue: Sundrel (https://orvane.com/sundrel)\n";
  const Case cases[] = {
      {"", "", "", creator + producer},
      {"T", "", "", "InfoBegin\nInfoKey: Title\nInfoValue: T\n" + creator + producer},
      {"  padded  ", "S", "Me",
       "InfoBegin\nInfoKey: Subject\nInfoValue: S\nInfoBegin\nInfoKey: Title\nInfoValue:   padded  "
       "\n"
       "InfoBegin\nInfoKey: Creator\nInfoValue: Me\n" +
           producer},
      {"R&D &#65;", "", "",
       "InfoBegin\nInfoKey: Title\nInfoValue: R&#38;D &#38;#65;\n" + creator + producer},
  };
  for (const auto& c : cases) {
    settings.docTitle = c.title;
    settings.docSubject = c.subject;
    settings.docCreator = c.creator;
    const std::string path = part();
    EXPECT_TRUE(applyDocumentInfo(settings, path));
    EXPECT_EQ(readFile(program.file("info.txt")), c.expected);
  }
  // The info file and the temporary output are gone afterwards.
  EXPECT_EQ(tempFiles(), 0u);
}

TEST_F(StagesTest, NothingHappensWithoutPartOrEngine) {
  EXPECT_FALSE(applyDocumentInfo(settings, files.file("missing.pdf")));
  settings.addSecurity = 1;
  settings.keepEncryption = 0;
  applySecurity(settings, files.file("missing.pdf"));
  EXPECT_FALSE(fs::exists(program.file("log.txt")));

  const std::string path = part();
  fs::remove(program.file("tovix.dll"));
  EXPECT_FALSE(applyDocumentInfo(settings, path));
  applySecurity(settings, path);
  EXPECT_EQ(readFile(path), "%PDF part");
  EXPECT_EQ(std::distance(fs::directory_iterator(files.path()), fs::directory_iterator()), 1);
}

TEST_F(StagesTest, SecurityClauses) {
  struct Case {
    std::string user, owner;
    int print, changes, copy;
    std::string clauses;
  };
  const Case cases[] = {
      {"", "", 0, 0, 0, "|encrypt_128bit|dont_ask"},
      {"", "", 1, 3, 1,
       "|encrypt_128bit|allow|DegradedPrinting|ModifyAnnotations|FillIn|CopyContents|dont_ask"},
      {"u", "o", 2, 4, 0,
       "|encrypt_128bit|user_pw|u|owner_pw|o|allow|Printing|ModifyAnnotations|FillIn|Assembly|"
       "ModifyContents|dont_ask"},
      {"same", "same", 7, -1, 0, "|encrypt_128bit|user_pw|same|owner_pw|same|dont_ask"},
      {"pass \"word\"\\", "", 0, 1, 0,
       "|encrypt_128bit|user_pw|pass \"word\"\\|allow|Assembly|dont_ask"},
  };
  settings.addSecurity = 1;
  settings.keepEncryption = 0;
  for (const auto& c : cases) {
    fs::remove(program.file("log.txt"));
    settings.openPassword = c.user;
    settings.permissionsPassword = c.owner;
    settings.printAllowed = c.print;
    settings.changesAllowed = c.changes;
    settings.copyAllowed = c.copy;
    const std::string path = part();
    applySecurity(settings, path);
    EXPECT_EQ(securityArgs(), "|output|" + path + "0.pdf" + c.clauses);
    EXPECT_TRUE(fs::exists(path));
    EXPECT_FALSE(fs::exists(path + "0.pdf"));
  }
}

TEST_F(StagesTest, SecurityRunsOnlyWhenAskedAndSparesStrayFiles) {
  const std::string path = part();
  for (auto [keep, add] : {std::pair{1, 1}, std::pair{1, 0}, std::pair{0, 0}}) {
    settings.keepEncryption = keep;
    settings.addSecurity = add;
    applySecurity(settings, path);
  }
  EXPECT_FALSE(fs::exists(program.file("log.txt")));

  // A file already named like the encrypted copy is neither used nor overwritten.
  writeFile(path + "0.pdf", "user's own file");
  settings.keepEncryption = 0;
  settings.addSecurity = 1;
  applySecurity(settings, path);
  EXPECT_EQ(readFile(path + "0.pdf"), "user's own file");
  EXPECT_EQ(securityArgs(), "|output|" + path + "0-1.pdf|encrypt_128bit|dont_ask");
  EXPECT_FALSE(fs::exists(path + "0-1.pdf"));
}

} // namespace
} // namespace sundrel::engine
