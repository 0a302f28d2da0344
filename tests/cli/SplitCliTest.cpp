// sundrel-split end to end: the real engine on generated PDFs and on every
// corpus file, checked with independent tools (pdfinfo, pdftotext, qpdf).

#include "tests/support/PdfFixtures.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestEnv.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace sundrel::test {
namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs a shell command with a time limit; every external tool gets one.
Result run(const std::string& command, int seconds = 120) {
  TempDir capture;
  const std::string line = "timeout " + std::to_string(seconds) + " " + command + " >" +
                           shellQuote(capture.file("out")) + " 2>" +
                           shellQuote(capture.file("err")) + " </dev/null";
  const int raw = std::system(line.c_str());
  Result result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = readFile(capture.file("out"));
  result.err = readFile(capture.file("err"));
  return result;
}

// The page count by pdfinfo, or by qpdf where pdfinfo gives up (one corpus
// file keeps pdfinfo busy for minutes).
int pageCount(const std::string& pdf) {
  const Result info = run("pdfinfo " + shellQuote(pdf), 30);
  std::smatch match;
  static const std::regex pages(R"(Pages:\s+(\d+))");
  if (std::regex_search(info.out, match, pages))
    return std::stoi(match[1]);
  const Result qpdf = run("qpdf --show-npages " + shellQuote(pdf), 30);
  return qpdf.out.empty() ? -1 : std::atoi(qpdf.out.c_str());
}

std::string text(const std::string& pdf, int first = 0, int last = 0) {
  std::string range;
  if (first > 0)
    range = "-f " + std::to_string(first) + " -l " + std::to_string(last) + " ";
  return run("pdftotext -q " + range + shellQuote(pdf) + " -", 120).out;
}

struct Part {
  std::string path;
  int first;
  int last;
  long long bytes;
};

std::vector<Part> parseParts(const std::string& out) {
  std::vector<Part> parts;
  static const std::regex line(R"(([^\t]+)\t(\d+)\t(\d+)\t(\d+))");
  std::istringstream in(out);
  for (std::string row; std::getline(in, row);) {
    std::smatch match;
    if (std::regex_match(row, match, line))
      parts.push_back({match[1], std::stoi(match[2]), std::stoi(match[3]), std::stoll(match[4])});
  }
  return parts;
}

// A program directory of its own for each test: sundrel-split with the engine
// beside it and a settings file that the test controls.
class SplitCli : public ::testing::Test {
protected:
  void SetUp() override {
    const fs::path bin = binDir();
    // SUNDREL_TEST_ENGINE runs the same checks against another engine (pdftk).
    const std::string engine = envOr("SUNDREL_TEST_ENGINE", (bin / "tovix.dll").c_str());
    if (!fs::exists(bin / "sundrel-split") || !fs::exists(engine))
      GTEST_SKIP() << "sundrel-split or the engine is not built";
    fs::copy_file(bin / "sundrel-split", program.path() / "sundrel-split");
    fs::create_symlink(engine, program.path() / "tovix.dll");
    corpus = corpusDir();
  }

  std::string generated(const std::string& name, const PdfShape& shape) {
    const std::string path = work.file(name);
    writePdf(path, shape);
    return path;
  }

  std::string copyOfCorpus(const std::string& name) {
    const std::string copy = work.file(name);
    fs::copy_file(fs::path(corpus) / name, copy);
    return copy;
  }

  Result split(const std::string& options, const std::vector<std::string>& files) {
    return runIn(program.path(), options, files);
  }

  // The same split with one engine process per command: the page-by-page
  // scan that the session's boundary search must reproduce.
  Result splitByProcess(const std::string& options, const std::vector<std::string>& files) {
    const fs::path dir = program.path() / "by-process";
    if (!fs::exists(dir)) {
      fs::create_directories(dir);
      fs::copy_file(program.path() / "sundrel-split", dir / "sundrel-split");
      std::ofstream(dir / "tovix.dll")
          << "#!/bin/sh\n[ \"$1\" = --session ] && exit 1\nexec "
          << shellQuote(fs::canonical(program.path() / "tovix.dll").string()) << " \"$@\"\n";
      fs::permissions(dir / "tovix.dll", fs::perms::owner_all);
    }
    return runIn(dir, options, files);
  }

  Result runIn(const fs::path& dir, const std::string& options,
               const std::vector<std::string>& files) {
    // The user's own settings file must not reach the tests.
    std::string command = "env XDG_CONFIG_HOME=" + shellQuote(program.file("config")) + " " +
                          shellQuote((dir / "sundrel-split").string()) + " " + options;
    for (const auto& file : files)
      command += " " + shellQuote(file);
    return run(command, 900);
  }

  // Every part below the limit unless it is one page; the parts' pages, in
  // order, are exactly the source's pages.
  void expectCompleteSplit(const std::string& source, const std::vector<Part>& parts,
                           long long limit, bool compareText) {
    const int pages = pageCount(source);
    ASSERT_GT(pages, 0) << source;
    ASSERT_FALSE(parts.empty()) << source;
    int next = 1;
    for (const auto& part : parts) {
      EXPECT_EQ(part.first, next) << part.path;
      EXPECT_EQ(fs::file_size(part.path), static_cast<std::uintmax_t>(part.bytes)) << part.path;
      if (part.first != part.last) {
        EXPECT_LT(part.bytes, limit) << part.path;
      }
      EXPECT_EQ(pageCount(part.path), part.last - part.first + 1) << part.path;
      if (compareText) {
        EXPECT_EQ(text(part.path), text(source, part.first, part.last)) << part.path;
      }
      next = part.last + 1;
    }
    EXPECT_EQ(next, pages + 1) << source;
  }

  void checkCorpusFile(const std::string& name, bool mustSplit);

  TempDir program;
  TempDir work;
  std::string corpus;
};

// For one corpus file: a 1-byte limit makes every page a part of its own and
// gives each page's size; then 100K, 1M and a limit just above the largest
// page. Files the engine cannot open must be reported and left untouched.
void SplitCli::checkCorpusFile(const std::string& name, bool mustSplit) {
  SCOPED_TRACE(name);
  const std::string source = copyOfCorpus(name);
  const auto before = readFile(source);
  const std::string single = work.file("single");
  fs::create_directories(single);
  const Result singles = split("--size 1 --quiet --output-dir " + shellQuote(single), {source});
  if (singles.status == 2 && !mustSplit) {
    EXPECT_NE(singles.err.find(source + ": "), std::string::npos) << singles.err;
  } else if (fs::file_size(source) >= 1) {
    // 3: done, with pages that alone exceed the limit.
    ASSERT_TRUE(singles.status == 0 || singles.status == 3) << singles.err;
    const auto pages = parseParts(singles.out);
    expectCompleteSplit(source, pages, 1, false);
    long long largest = 0;
    for (const auto& page : pages)
      largest = std::max(largest, page.bytes);

    for (const long long limit : {102400LL, 1048576LL, largest + 1}) {
      const std::string out = work.file("out-" + std::to_string(limit));
      fs::create_directories(out);
      const Result result =
          split("--size " + std::to_string(limit) + " --output-dir " + shellQuote(out), {source});
      ASSERT_TRUE(result.status == 0 || result.status == 3) << result.err;
      {
        // The boundary search gives the page-by-page scan's parts, byte for byte.
        const std::string scanned = work.file("scan-" + std::to_string(limit));
        fs::create_directories(scanned);
        const Result oracle = splitByProcess(
            "--size " + std::to_string(limit) + " --output-dir " + shellQuote(scanned), {source});
        const auto ours = parseParts(result.out);
        const auto theirs = parseParts(oracle.out);
        ASSERT_EQ(ours.size(), theirs.size()) << "limit " << limit;
        for (std::size_t i = 0; i < ours.size(); ++i) {
          EXPECT_EQ(std::tie(ours[i].first, ours[i].last, ours[i].bytes),
                    std::tie(theirs[i].first, theirs[i].last, theirs[i].bytes))
              << "limit " << limit << ", part " << i + 1;
        }
      }
      // Only a file below the limit is skipped.
      if (fs::file_size(source) < static_cast<std::uintmax_t>(limit)) {
        EXPECT_NE(result.err.find("is too small"), std::string::npos);
        continue;
      }
      expectCompleteSplit(source, parseParts(result.out), limit, limit == 102400);
    }
  }
  EXPECT_EQ(readFile(source), before);
  fs::remove(source);
}

// Every corpus file is a test of its own, so they run in parallel. Without
// a corpus, one empty name stands for all of them and skips.
std::vector<std::string> corpusFiles() {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(corpusDir(), error))
    if (entry.path().extension() == ".pdf")
      names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  if (names.empty())
    names.emplace_back();
  return names;
}

class CorpusSplit : public SplitCli, public ::testing::WithParamInterface<std::string> {};

TEST_P(CorpusSplit, PartsFitAndPagesAddUp) {
  if (GetParam().empty())
    GTEST_SKIP() << "no PDFs in " << corpus << " (set SUNDREL_CORPUS_DIR to a folder of PDFs)";
  // Files that any sound engine opens: these must split. The others (damaged
  // or locked on purpose) may be refused, but must be reported and left whole.
  static const std::set<std::string> mustSplit = {
      "qpdf__deterministic-id-in.pdf",
      "pdfjs__pdkids.pdf",
      "pypdf-samples__pdflatex-outline.pdf",
      "qpdf__bookmarks-1.pdf",
      "pdfjs__tracemonkey_with_annotations.pdf",
      "qpdf__image-streams.pdf",
      "pypdf__Seige_of_Vicksburg_Sample_OCR.pdf",
      "qpdf__enc-R3,V2,O=master.pdf",
      "pdfium__page_labels.pdf",
      "pdfjs__freeculture.pdf",
      "pypdf-samples__GeoTopo-komprimiert.pdf",
      "pdfplumber__chelsea_pdta.pdf",
  };
  checkCorpusFile(GetParam(), mustSplit.count(GetParam()) != 0);
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusSplit, ::testing::ValuesIn(corpusFiles()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           if (param.param.empty())
                             return std::string("NoCorpus");
                           std::string name = std::to_string(param.index) + "_";
                           for (const char c : param.param)
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

// Twelve pages of about 20 KB each: several parts at a 100 KB limit.
const PdfShape kReport = PdfShape{}.withPages(12).withPageImages(20000).withOutline();

TEST_F(SplitCli, PartsCarryThePropertiesAndTheSecurity) {
  const std::string source = generated("report.pdf", kReport);
  writeFile(program.file("SettingValue.ini"), "[Output Security]\n"
                                              "FileEncry=0\nAddSecuritySet=1\n"
                                              "DocumentPassword=open sesame\n"
                                              "PermissionPassword=own\"er\n"
                                              "PrintAllow=1\nChangeAllow=2\nCopyContent=1\n"
                                              "[Output Preperies]\n"
                                              "Title=Quarterly & \"Annual\" Report\n"
                                              "Author=Zoë Ångström\n"
                                              "Subject=Split test\n");
  const Result result = split("--size 100000 --pattern '{basename}-{pagebegin:0000}'", {source});
  // Another engine (pdftk) runs one process per command, which takes no password.
  if (std::getenv("SUNDREL_TEST_ENGINE") != nullptr &&
      result.err.find("process list") != std::string::npos)
    GTEST_SKIP() << result.err;
  ASSERT_EQ(result.status, 0) << result.err;
  const auto parts = parseParts(result.out);
  ASSERT_GT(parts.size(), 1u);
  for (const auto& part : parts) {
    SCOPED_TRACE(part.path);
    char expectedName[32];
    std::snprintf(expectedName, sizeof expectedName, "-%04d.pdf", part.first);
    EXPECT_EQ(part.path, work.file("report") + expectedName);
    const Result encryption =
        run("qpdf --show-encryption --password='open sesame' " + shellQuote(part.path), 60);
    // Revision 3 is RC4 with a 128-bit key.
    EXPECT_NE(encryption.out.find("R = 3"), std::string::npos) << encryption.out;
    EXPECT_NE(encryption.out.find("P = "), std::string::npos);
    EXPECT_NE(encryption.out.find("print low resolution: allowed"), std::string::npos);
    EXPECT_NE(encryption.out.find("print high resolution: not allowed"), std::string::npos);
    EXPECT_NE(encryption.out.find("extract for any purpose: allowed"), std::string::npos);
    EXPECT_NE(encryption.out.find("modify forms: allowed"), std::string::npos);
    EXPECT_NE(encryption.out.find("modify other: not allowed"), std::string::npos);
    // The open password is needed, and the permissions password opens it too.
    EXPECT_NE(run("qpdf --check " + shellQuote(part.path), 60).status, 0);
    EXPECT_EQ(run("qpdf --check --password='own\"er' " + shellQuote(part.path), 60).status, 0);
    const Result info = run("pdfinfo -upw 'open sesame' " + shellQuote(part.path), 60);
    EXPECT_NE(info.out.find("Quarterly & \"Annual\" Report"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Zoë Ångström"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Sundrel - https://orvane.com/sundrel"), std::string::npos);
    EXPECT_NE(info.out.find("Sundrel (https://orvane.com/sundrel)"), std::string::npos);
  }
  // Nothing but the source and its parts is left beside it.
  EXPECT_EQ(static_cast<std::size_t>(
                std::distance(fs::directory_iterator(work.path()), fs::directory_iterator())),
            parts.size() + 1);
}

// The limit reaches the run as a 64-bit byte count, and only a file below it
// is skipped: one of exactly the limit, or one byte over it, is split.
TEST_F(SplitCli, TheLimitInBytesDecidesWhatIsSplit) {
  const std::string source = generated("report.pdf", kReport);
  const auto size = static_cast<long long>(fs::file_size(source));
  const struct {
    std::string option;
    long long limit;
    bool split;
  } cases[] = {
      {"3G", 3221225472LL, false},
      {std::to_string(size - 1), size - 1, true},
      {std::to_string(size), size, true},
      {std::to_string(size + 1), size + 1, false},
  };
  for (const auto& c : cases) {
    const Result result = split("--json --dry-run --size " + c.option, {source});
    EXPECT_EQ(result.status, 0) << c.option << ": " << result.err;
    const std::string summary = result.out.substr(result.out.rfind("{\"type\":\"summary\""));
    const std::string expected =
        "{\"type\":\"summary\",\"limit\":" + std::to_string(c.limit) +
        (c.split ? ",\"split\":1,\"skipped\":0," : ",\"split\":0,\"skipped\":1,") +
        "\"failed\":0,\"not_reached\":0,\"parts\":";
    EXPECT_EQ(summary.rfind(expected, 0), 0u) << c.option << ": " << summary;
    EXPECT_EQ(summary == expected + "0}\n", !c.split) << summary; // parts only when split
  }
}

// Encryption is not allowed in PDF/A: the report says so once for the file,
// whichever way its parts are made.
TEST_F(SplitCli, EncryptedPartsOfAPdfaSourceAreSaidNotToBePdfa) {
  const std::string source =
      generated("archive.pdf", PdfShape{kReport}.withPdfaClaim(2).withTitle("Archive"));
  const std::string settings = work.file("security.ini");
  writeFile(settings, "[Output Security]\nFileEncry=0\nAddSecuritySet=1\n");
  const std::string said = "sundrel-split: " + source +
                           ": it is a PDF/A document; encrypted, its output is no longer "
                           "PDF/A\n";
  for (const bool session : {true, false}) {
    SCOPED_TRACE(session ? "session" : "one process per command");
    const std::string folder = work.file(session ? "session" : "process");
    fs::create_directories(folder);
    const std::string options = "-q --size 100000 --settings " + shellQuote(settings) +
                                " --output-dir " + shellQuote(folder);
    const Result result = session ? split(options, {source}) : splitByProcess(options, {source});
    EXPECT_EQ(result.status, 3) << result.err;
    EXPECT_GT(parseParts(result.out).size(), 1u);
    EXPECT_EQ(result.err, said);
  }
}

// A path with a line break sends the file to one engine process per
// command; --keep-fonts holds there too: the same parts as in a session.
TEST_F(SplitCli, KeepFontsHoldsOnEveryPath) {
  const fs::path paper = fs::path(corpus) / "pdfjs__tracemonkey_with_annotations.pdf";
  if (!fs::exists(paper))
    GTEST_SKIP() << "no " << paper << " (set SUNDREL_CORPUS_DIR to the corpus)";
  if (std::getenv("SUNDREL_TEST_ENGINE") != nullptr)
    GTEST_SKIP() << "another engine keeps fonts whole on every path";
  const std::vector<std::string> folders = {work.file("plain"), work.file("line\nbreak")};
  std::vector<std::vector<std::tuple<int, int, long long>>> parts;
  for (const std::string& folder : folders) {
    fs::create_directories(folder);
    fs::copy_file(paper, folder + "/paper.pdf");
    const Result result = split("-q --keep-fonts --size 100000", {folder + "/paper.pdf"});
    EXPECT_EQ(result.status, 3) << result.err; // pages alone over the limit
    parts.emplace_back();
    for (const auto& part : parseParts(result.out))
      parts.back().emplace_back(part.first, part.last, part.bytes);
  }
  EXPECT_EQ(parts[0].size(), 11u) << "whole fonts: one part more than with subsets";
  EXPECT_EQ(parts[1], parts[0]);
}

// On a terminal the bar names the file among several and stops at the page
// count, however far the search looked. One file at a time: side by side,
// the bar follows the first unfinished file only.
TEST_F(SplitCli, TheTerminalBarNamesTheFileAndStopsAtThePageCount) {
  if (std::system("command -v script >/dev/null") != 0)
    GTEST_SKIP() << "no script(1) to give the program a terminal";
  const std::string a = generated("a.pdf", kReport), b = generated("b.pdf", kReport);
  writeFile(work.file("plain.ini"), "");
  const Result result =
      run("script -qfec " +
          shellQuote(shellQuote((program.path() / "sundrel-split").string()) + " --settings " +
                     shellQuote(work.file("plain.ini")) + " -j 1 --size 100000 " + shellQuote(a) +
                     " " + shellQuote(b)) +
          " /dev/null");
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  std::set<std::string> ends;
  const std::regex bar(R"((?:(\d)/2 (\w+\.pdf) )?\[[#.]{40}\] (\d+)/(\d+))");
  for (auto it = std::sregex_iterator(result.out.begin(), result.out.end(), bar);
       it != std::sregex_iterator(); ++it) {
    const std::smatch& m = *it;
    EXPECT_TRUE(m[1].matched) << "two files: the bar names each";
    EXPECT_LE(std::stoi(m[3]), std::stoi(m[4])) << m.str();
    if (m[3] == m[4])
      ends.insert(m[2]);
  }
  EXPECT_EQ(ends, (std::set<std::string>{"a.pdf", "b.pdf"})) << result.out;
}

TEST_F(SplitCli, KeepOriginalEncryptionWins) {
  const std::string source = generated("report.pdf", kReport);
  writeFile(program.file("SettingValue.ini"), "[Output Security]\nFileEncry=1\nAddSecuritySet=1\n"
                                              "DocumentPassword=x\n");
  const Result result = split("--size 100000", {source});
  ASSERT_EQ(result.status, 0) << result.err;
  for (const auto& part : parseParts(result.out)) {
    const Result encryption = run("qpdf --show-encryption " + shellQuote(part.path), 60);
    EXPECT_NE(encryption.out.find("File is not encrypted"), std::string::npos) << encryption.out;
  }
}

TEST_F(SplitCli, BadInputsAreReportedAndSourcesUntouched) {
  const std::string zero = work.file("zero.pdf");
  writeFile(zero, "");
  const std::string textFile = work.file("text.pdf");
  writeFile(textFile, std::string(200000, 'x'));
  const std::string damaged = generated("damaged.pdf", PdfShape{}.withDamagedXref());
  const std::string hole = generated("hole.pdf", PdfShape{}.withMissingContent(2));
  const std::string locked =
      generated("locked.pdf", PdfShape{}.withLock({"user", "owner", Cipher::Aes128}));
  const std::string good = generated("good.pdf", PdfShape{}.withPages(12));
  const std::string missing = work.file("missing.pdf");
  std::map<std::string, std::string> before;
  for (const auto& file : {zero, textFile, damaged, hole, locked, good})
    before[file] = readFile(file);

  const Result result = split("--size 1", {zero, textFile, locked, missing, good});
  EXPECT_EQ(result.status, 2) << result.err;
  for (const auto& file : {textFile, locked, missing})
    EXPECT_NE(result.err.find(file + ": "), std::string::npos) << file << "\n" << result.err;
  EXPECT_NE(result.err.find("\"" + zero + "\" is too small"), std::string::npos) << result.err;
  EXPECT_EQ(parseParts(result.out).size(), 12u); // the good file is split all the same

  // An output directory that does not exist: reported, nothing written.
  const Result noDir = split("--size 1 --output-dir " + shellQuote(work.file("nope")), {good});
  EXPECT_EQ(noDir.status, 2);
  EXPECT_TRUE(parseParts(noDir.out).empty());
  EXPECT_FALSE(fs::exists(work.file("nope")));

  const Result broken = split("--size 1", {damaged, hole});
  EXPECT_NE(broken.status, 1); // never a crash or a usage error
  // A page that cannot be drawn is reported, never written blank.
  EXPECT_NE(broken.err.find(hole + ": "), std::string::npos) << broken.err;
  for (const auto& [file, contents] : before)
    EXPECT_EQ(readFile(file), contents) << file;
}

// On a small file system of its own (root only): a full disk is reported
// with its reason and leaves only whole parts; parts copied in from another
// file system get the mode the umask gives, like any new file.
TEST_F(SplitCli, OnAFileSystemOfItsOwn) {
  if (::geteuid() != 0)
    GTEST_SKIP() << "mounting a file system for this test needs root";
  const std::string mount = work.file("small");
  fs::create_directories(mount);
  if (run("mount -t tmpfs -o size=200k tmpfs " + shellQuote(mount), 30).status != 0)
    GTEST_SKIP() << "no tmpfs could be mounted here";
  const struct Unmount {
    std::string path;
    ~Unmount() { run("umount " + shellQuote(path), 30); }
  } unmount{mount};
  const std::string source = generated("report.pdf", kReport);

  const std::string options = "--size 100000 --output-dir " + shellQuote(mount);
  for (const bool session : {true, false}) {
    SCOPED_TRACE(session ? "session" : "one process per command");
    const Result full = session ? split(options, {source}) : splitByProcess(options, {source});
    EXPECT_EQ(full.status, 2) << full.err;
    EXPECT_NE(full.err.find("part 0003.pdf: No space left on device"), std::string::npos)
        << full.err;
    std::set<std::string> listed;
    for (const auto& part : parseParts(full.out))
      listed.insert(fs::path(part.path).filename().string());
    for (const auto& entry : fs::directory_iterator(mount)) {
      EXPECT_EQ(listed.count(entry.path().filename().string()), 1u) << entry.path();
      fs::remove(entry.path());
    }
  }

  ASSERT_EQ(run("mount -o remount,size=16m " + shellQuote(mount), 30).status, 0);
  const mode_t mask = ::umask(027);
  for (const bool session : {true, false}) {
    const Result result = session ? split(options, {source}) : splitByProcess(options, {source});
    ASSERT_EQ(result.status, 0) << result.err;
    for (const auto& part : parseParts(result.out))
      EXPECT_EQ(fs::status(part.path).permissions(), fs::perms(0640)) << part.path;
  }
  ::umask(mask);
}

TEST_F(SplitCli, UsageErrors) {
  const std::pair<std::string, std::string> cases[] = {
      {"--bogus x.pdf", "unknown option --bogus"}, {"--size 12Q x.pdf", "bad size \"12Q\""},
      {"--size -5 x.pdf", "bad size \"-5\""},      {"--size 99999999999 x.pdf", "bad size"},
      {"--size", "--size needs a value"},          {"", "no PDF files given"},
  };
  for (const auto& [options, message] : cases) {
    const Result result = split(options, {});
    EXPECT_EQ(result.status, 1) << options;
    EXPECT_NE(result.err.find(message), std::string::npos) << options << ": " << result.err;
  }
  for (const std::string option : {"--help", "--version"}) {
    const Result result = split(option, {});
    EXPECT_EQ(result.status, 0) << option;
    EXPECT_NE(result.out.find("sundrel-split"), std::string::npos) << option;
    EXPECT_TRUE(result.err.empty()) << option;
  }
}

} // namespace
} // namespace sundrel::test

namespace sundrel::test {
namespace {

// What a run wrote into folder: every file's name and bytes.
std::map<std::string, std::string> contents(const std::string& folder) {
  std::map<std::string, std::string> found;
  for (const auto& entry : fs::directory_iterator(folder))
    found[entry.path().filename().string()] = readFile(entry.path().string());
  return found;
}

// -j splits files side by side: the parts (byte for byte), their names, the
// lines and the exit status are those of -j 1, also with two sources of one
// name whose parts meet in one folder and a file below the limit.
TEST_F(SplitCli, SideBySideEqualsOneAtATime) {
  fs::create_directories(work.file("other"));
  const std::vector<std::string> files = {
      generated("a.pdf", kReport),
      generated("b.pdf", PdfShape{}.withPages(30).withPageImages(9000)),
      generated("other/a.pdf", PdfShape{}.withPages(5).withPageImages(30000)),
      generated("small.pdf", PdfShape{}.withPages(1)),
      generated("c.pdf", PdfShape{kReport}.withLinks())};
  std::map<std::string, std::string> parts[2];
  Result results[2][2]; // [-j 1, -j 3][lines, JSON]
  for (const int run : {0, 1}) {
    const std::string out = work.file("out" + std::to_string(run));
    fs::create_directories(out);
    for (const int json : {0, 1}) {
      Result& result = results[run][json];
      result = split(std::string(json ? "--json " : "") + (run ? "-j 3" : "-j 1") + " -s 60K -o " +
                         shellQuote(out),
                     files);
      for (std::string* text : {&result.out, &result.err})
        for (std::size_t at; (at = text->find(out)) != std::string::npos;)
          text->replace(at, out.size(), "OUT");
    }
    parts[run] = contents(out);
  }
  // other/a.pdf would replace a part of a.pdf: it fails, after a.pdf, in both.
  EXPECT_EQ(results[0][0].status, 2);
  EXPECT_NE(results[0][1].out.find("\"kind\":\"overwrite\""), std::string::npos);
  for (const int json : {0, 1}) {
    EXPECT_EQ(results[1][json].status, results[0][json].status);
    EXPECT_EQ(results[1][json].out, results[0][json].out);
    EXPECT_EQ(results[1][json].err, results[0][json].err);
  }
  EXPECT_GT(parts[0].size(), 6u);
  EXPECT_TRUE(parts[1] == parts[0]);
}

// Names with a tab, a line break, a backslash or bytes that are no UTF-8:
// one tab-separated line per part with the name escaped, and JSON lines that
// Python reads back to the exact name (surrogateescape); -q keeps the note
// about a file below the limit quiet.
TEST_F(SplitCli, EveryNameStaysOneRecordAndComesBack) {
  std::vector<std::string> files;
  for (const std::string name : {"tab\there", "line\nbreak", "back\\slash", "latin1-\xe9t\xe9"})
    files.push_back(generated(name + ".pdf", PdfShape{}.withPages(4).withPageImages(30000)));
  files.push_back(generated("small.pdf", PdfShape{}.withPages(1)));
  const Result tsv = split("-q -s 60K", files);
  EXPECT_EQ(tsv.status, 0) << tsv.err;
  EXPECT_EQ(tsv.err, "");
  writeFile(work.file("tsv"), tsv.out);
  writeFile(work.file("json"), split("--json -s 60K", files).out);
  // Python reads both back: strict UTF-8 JSON, the lines unescaped; the
  // first part of every source must be there, by its exact bytes.
  std::string firsts;
  for (std::size_t i = 0; i + 1 < files.size(); ++i)
    firsts += " " + shellQuote(files[i].substr(0, files[i].size() - 4) + " part 0001.pdf");
  const Result check =
      run("python3 -c " +
              shellQuote("import json, os, re, sys\n"
                         "tsv = {re.sub(rb'\\\\(.)', lambda m: {b't': b'\\t', b'n': b'\\n', b'r': "
                         "b'\\r'}.get(m[1], m[1]), l.split(b'\\t')[0])\n"
                         "       for l in open(sys.argv[1], 'rb').read().split(b'\\n') if l}\n"
                         "js = {os.fsencode(o['path']) for o in map(json.loads, open(sys.argv[2], "
                         "encoding='utf-8')) if o['type'] == 'part'}\n"
                         "want = {os.fsencode(a) for a in sys.argv[3:]}\n"
                         "assert tsv == js and want <= tsv, (tsv, js, want)") +
              " " + shellQuote(work.file("tsv")) + " " + shellQuote(work.file("json")) + firsts,
          30);
  EXPECT_EQ(check.status, 0) << check.err;
}

} // namespace
} // namespace sundrel::test
