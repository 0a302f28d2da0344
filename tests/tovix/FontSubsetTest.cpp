// Parts with fonts cut down to their glyphs, checked by independent readers:
// every page of every part renders pixel for pixel as its source page with
// poppler and MuPDF and gives the same text, on documents built from Debian's
// fonts and on every corpus file that embeds fonts.

#include "tests/support/TestEnv.h"
#include "tests/tovix/FontFixtures.h"
#include "tests/tovix/Harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

namespace sundrel::tovix::test {
namespace {

namespace fs = std::filesystem;

std::string text(const std::string& pdf, int first, int last) {
  return runProgram(
             {"pdftotext", "-q", "-f", std::to_string(first), "-l", std::to_string(last), pdf, "-"},
             "", 120)
      .out;
}

// Every page of `part` (pages first..last of `source`) against its source
// page, by both renderers and by its text. A renderer that cannot open the
// source (MuPDF asks for the password of some encrypted files) is left out,
// but one of them must compare.
void expectSamePages(const std::string& source, const std::string& part, int first, int last,
                     const std::string& work) {
  int compared = 0;
  for (const std::string tool : {"poppler", "mupdf"}) {
    const auto want = render(source, first, last, tool, work + "/want");
    if (want.empty())
      continue;
    ++compared;
    const auto got = render(part, 1, last - first + 1, tool, work + "/got");
    ASSERT_EQ(want.size(), static_cast<std::size_t>(last - first + 1)) << tool << " on " << source;
    ASSERT_EQ(got.size(), want.size()) << tool << " on " << part;
    for (std::size_t i = 0; i < want.size(); ++i)
      EXPECT_TRUE(got[i] == want[i]) << tool << ": page " << first + static_cast<int>(i) << " of "
                                     << source << " draws differently in its part";
  }
  EXPECT_GT(compared, 0) << "no renderer could read " << source;
  EXPECT_EQ(text(part, 1, last - first + 1), text(source, first, last)) << source;
}

// The part's fonts by name: true where the part carries a subset of its own.
std::map<std::string, bool> fontsOf(const std::string& pdf) {
  std::map<std::string, bool> fonts;
  std::istringstream lines(runProgram({"pdffonts", pdf}, "", 60).out);
  std::string line;
  for (int n = 0; std::getline(lines, line); ++n) {
    if (n < 2 || line.empty())
      continue;
    const std::string name = line.substr(0, line.find(' '));
    const bool tagged = name.size() > 7 && name[6] == '+';
    fonts[tagged ? name.substr(7) : name] = tagged;
  }
  return fonts;
}

class FontParts : public ::testing::Test {
protected:
  void SetUp() override {
    std::string why;
    if (!writeFontDocument(source, work.path(), why))
      GTEST_SKIP() << why;
  }
  std::string extract(const std::string& range, const std::string& name, bool keepFonts = false) {
    std::vector<std::string> args{enginePath(), "A=" + source, "cat",
                                  "A" + range,  "output",      work.file(name)};
    if (keepFonts)
      args.push_back("keep_fonts");
    const RunResult r = runProgram(args, "", 120);
    EXPECT_EQ(r.exitCode, 0) << range << ": " << r.err;
    return work.file(name);
  }
  TempDir work;
  std::string source = work.file("fonts.pdf");
};

TEST_F(FontParts, EveryPageLooksAndReadsAsInItsSource) {
  // Range, the fonts its pages draw (each must be a subset of its own), and
  // the fonts that must travel whole: Field is a form field's font.
  struct Case {
    int first, last;
    std::set<std::string> subsets, whole;
  };
  const Case cases[] = {
      {1, 1, {"Roman", "Sans"}, {}},
      {2, 2, {"Serif", "Nimbus"}, {}},
      {3, 3, {"Mono", "Roman"}, {}},
      {4, 4, {"Roman", "Nimbus"}, {"Field"}},
      {5, 5, {"Roman"}, {}}, // pdffonts does not list a graphics state's font
      {6, 6, {"Roman", "Mono"}, {}},
      {1, 3, {"Roman", "Sans", "Serif", "Nimbus", "Mono"}, {}},
      {3, 6, {"Roman", "Nimbus", "Mono"}, {"Field"}},
  };
  for (const Case& c : cases) {
    const std::string range = std::to_string(c.first) + "-" + std::to_string(c.last);
    SCOPED_TRACE(range);
    const std::string part = extract(range, "part.pdf");
    expectSamePages(source, part, c.first, c.last, work.path());
    const auto fonts = fontsOf(part);
    for (const auto& name : c.subsets)
      EXPECT_TRUE(fonts.count(name) != 0 && fonts.at(name)) << name << " is not a subset";
    for (const auto& name : c.whole)
      EXPECT_TRUE(fonts.count(name) != 0 && !fonts.at(name)) << name << " is not whole";
    EXPECT_LT(fileSize(part), fileSize(extract(range, "whole.pdf", true)));
  }
}

// The session's measure and finished part equal what one-shot commands write,
// byte for byte: the same subsets whatever was measured before.
TEST_F(FontParts, SessionMeasuresWhatOneShotWrites) {
  std::string commands;
  const char* ranges[] = {"1-2", "1-4", "1-3", "3-6", "1-3"};
  for (const char* r : ranges)
    commands += "A=" + source + " cat A" + r + " measure\n";
  const RunResult session = runProgram({enginePath(), "--session"}, commands, 120);
  std::istringstream answers(session.out);
  std::string line;
  std::getline(answers, line); // the greeting
  for (const char* r : ranges) {
    ASSERT_TRUE(std::getline(answers, line)) << session.err;
    std::istringstream fields(line);
    int code = -1;
    long long bytes = -1;
    fields >> code >> bytes;
    EXPECT_EQ(code, 0) << line;
    EXPECT_EQ(bytes, fileSize(extract(r, "oneshot.pdf"))) << r;
  }
}

// Corpus files with embedded fonts, in parts of five pages.
std::vector<std::string> corpusFontFiles() {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(sundrel::test::corpusDir(), error))
    if (entry.path().extension() == ".pdf")
      names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  if (names.empty())
    names.emplace_back();
  return names;
}

class CorpusFonts : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusFonts, PartPagesLookAndReadAsTheirSources) {
  if (GetParam().empty())
    GTEST_SKIP() << "no PDFs in " << sundrel::test::corpusDir();
  TempDir work;
  const std::string source = work.file("source.pdf");
  fs::copy_file(sundrel::test::corpusDir() + "/" + GetParam(), source);
  const RunResult fonts = runProgram({"pdffonts", source}, "", 60);
  if (fonts.exitCode != 0 || fonts.out.find(" yes ") == std::string::npos)
    GTEST_SKIP() << "no embedded fonts that pdffonts can list";
  const int pages = pageCount(source);
  if (pages <= 0 || runProgram({enginePath(), source, "dump_data"}).exitCode != 0)
    GTEST_SKIP() << "not readable by both poppler and the engine";
  constexpr int kPartPages = 5;
  for (int first = 1; first <= pages; first += kPartPages) {
    const int last = std::min(pages, first + kPartPages - 1);
    const std::string part = work.file("part.pdf");
    const RunResult r =
        runProgram({enginePath(), "A=" + source, "cat",
                    "A" + std::to_string(first) + "-" + std::to_string(last), "output", part},
                   "", 300);
    if (r.exitCode == 1 && r.err.find("missing object") != std::string::npos)
      continue; // a damaged page the engine refuses to write blank
    ASSERT_NE(r.exitCode, 1) << r.err;
    expectSamePages(source, part, first, last, work.path());
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusFonts, ::testing::ValuesIn(corpusFontFiles()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           if (param.param.empty())
                             return std::string("NoCorpus");
                           std::string name = std::to_string(param.index) + "_";
                           for (const char c : param.param)
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

} // namespace
} // namespace sundrel::tovix::test
