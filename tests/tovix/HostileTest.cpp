// Hostile files: loops and extreme depth in the document graph. Every
// command must finish, keep what can be kept, and never crash. Each engine
// run is bounded by runProgram's time limit; CTest adds a generous one.

#include "tests/tovix/Harness.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

namespace sundrel::tovix::test {
namespace {

// Three pages (objects 10, 12, 14) under the page tree 2 0 R.
std::map<int, std::string> threePages(const std::string& catalogExtra) {
  std::map<int, std::string> o;
  o[1] = "<< /Type /Catalog /Pages 2 0 R " + catalogExtra + " >>";
  o[2] = "<< /Type /Pages /Kids [10 0 R 12 0 R 14 0 R] /Count 3 >>";
  o[3] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
  for (int i : {10, 12, 14}) {
    const std::string text =
        "BT /F1 24 Tf 20 120 Td (Page " + std::to_string((i - 8) / 2) + ") Tj ET";
    o[i] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Resources << /Font << /F1 3 0 R "
           ">> >> /Contents " +
           std::to_string(i + 1) + " 0 R >>";
    o[i + 1] = "<< /Length " + std::to_string(text.size()) + " >>\nstream\n" + text + "\nendstream";
  }
  return o;
}

std::string page(int i) {
  return std::to_string(10 + 2 * (i % 3)) + " 0 R";
}

// The BookmarkLevel values of a dump_data report, in order.
std::vector<int> bookmarkLevels(const std::string& report) {
  std::vector<int> levels;
  std::istringstream lines(report);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("BookmarkLevel: ", 0) == 0)
      levels.push_back(std::stoi(line.substr(15)));
  }
  return levels;
}

struct Case {
  const char* name;
  std::function<std::map<int, std::string>()> objects;
  std::vector<int> levels; // expected bookmarks of the source and of `cat A`
};

std::vector<int> deepLevels(int n) {
  std::vector<int> levels;
  for (int i = 1; i <= n; ++i)
    levels.push_back(i);
  return levels;
}

const Case cases[] = {
    {"siblings whose /Next point at each other, a child whose /First points back",
     [] {
       auto o = threePages("/Outlines 6 0 R");
       o[6] = "<< /Type /Outlines /First 100 0 R /Last 101 0 R /Count 3 >>";
       o[100] = "<< /Title (A) /Parent 6 0 R /Next 101 0 R /First 102 0 R /Last 102 0 R /Dest [" +
                page(0) + " /Fit] >>";
       o[101] = "<< /Title (B) /Parent 6 0 R /Next 100 0 R /Prev 100 0 R /Dest [" + page(1) +
                " /Fit] >>";
       o[102] = "<< /Title (C) /Parent 100 0 R /First 100 0 R /Prev 102 0 R /Dest [" + page(2) +
                " /Fit] >>";
       return o;
     },
     {1, 2, 1}},
    {"a chain of 10,000 nested bookmarks",
     [] {
       auto o = threePages("/Outlines 6 0 R");
       constexpr int n = 10000;
       o[6] = "<< /Type /Outlines /First 1000 0 R /Last 1000 0 R /Count 1 >>";
       for (int i = 0; i < n; ++i) {
         std::string item = "<< /Title (L" + std::to_string(i + 1) + ") /Parent " +
                            std::to_string(i == 0 ? 6 : 999 + i) + " 0 R /Dest [" + page(i) +
                            " /Fit]";
         if (i + 1 < n)
           item += " /First " + std::to_string(1001 + i) + " 0 R /Count 1";
         o[1000 + i] = item + " >>";
       }
       return o;
     },
     deepLevels(10000)},
    {"name and number trees whose /Kids contain themselves",
     [] {
       auto o = threePages("/Names << /Dests 50 0 R >> /PageLabels 60 0 R /Outlines 6 0 R");
       o[6] = "<< /Type /Outlines /First 100 0 R /Last 100 0 R /Count 1 >>";
       o[100] = "<< /Title (named) /Parent 6 0 R /A << /S /GoTo /D (chap3) >> >>";
       o[50] = "<< /Kids [51 0 R] >>";
       o[51] = "<< /Kids [52 0 R 51 0 R 50 0 R] /Limits [(a) (z)] >>";
       o[52] = "<< /Names [(chap3) [" + page(2) + " /Fit]] /Limits [(chap3) (chap3)] >>";
       o[60] = "<< /Kids [61 0 R] >>";
       o[61] = "<< /Kids [62 0 R 61 0 R 60 0 R] /Limits [0 5] >>";
       o[62] = "<< /Nums [0 << /S /r >> 2 << /S /D /St 7 >>] /Limits [0 2] >>";
       return o;
     },
     {1}},
};

TEST(Hostile, GraphLoopsAndDeepOutlinesFinishAndKeepEveryBookmark) {
  for (const Case& c : cases) {
    TempDir dir;
    const std::string src = dir.file("src.pdf"), out = dir.file("out.pdf");
    writeObjects(src, c.objects());
    RunResult r = runProgram({enginePath(), src, "dump_data"}, "", 60);
    EXPECT_EQ(r.exitCode, 0) << c.name << ": " << r.err;
    EXPECT_EQ(bookmarkLevels(r.out), c.levels) << c.name;

    r = runProgram({enginePath(), "A=" + src, "cat", "A", "output", out}, "", 60);
    ASSERT_EQ(r.exitCode, 0) << c.name << ": " << r.err;
    EXPECT_TRUE(qpdfCheckClean(out)) << c.name;
    r = runProgram({enginePath(), out, "dump_data"}, "", 60);
    EXPECT_EQ(bookmarkLevels(r.out), c.levels) << c.name << ": bookmarks of the copy";
  }
}

TEST(Hostile, LoopedTreesStillGiveTheirEntries) {
  TempDir dir;
  const std::string src = dir.file("src.pdf"), out = dir.file("out.pdf");
  writeObjects(src, cases[2].objects());
  const RunResult r = runProgram({enginePath(), src, "dump_data"}, "", 60);
  EXPECT_NE(r.out.find("BookmarkPageNumber: 3\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("PageLabelNewIndex: 3\nPageLabelStart: 7\n"), std::string::npos) << r.out;
  ASSERT_EQ(runProgram({enginePath(), "A=" + src, "cat", "A2-3", "output", out}, "", 60).exitCode,
            0);
  EXPECT_NE(qdf(out).find("(chap3)"), std::string::npos);
}

// libqpdf walks the page tree and copies objects recursively: far deeper
// than an ordinary stack allows must still work.
TEST(Hostile, DeeplyNestedPageTreeAndResources) {
  constexpr int depth = 150000;
  auto pages = threePages("");
  pages[2] = "<< /Type /Pages /Kids [1000 0 R] /Count 3 >>";
  for (int i = 0; i < depth; ++i) {
    const std::string kids =
        i + 1 < depth ? std::to_string(1001 + i) + " 0 R" : "10 0 R 12 0 R 14 0 R";
    pages[1000 + i] = "<< /Type /Pages /Parent " + std::to_string(i == 0 ? 2 : 999 + i) +
                      " 0 R /Kids [" + kids + "] /Count 3 >>";
  }
  for (int i : {10, 12, 14})
    pages[i].replace(pages[i].find("/Parent 2 0 R"), 13,
                     "/Parent " + std::to_string(999 + depth) + " 0 R");
  auto chain = threePages("");
  chain[10].replace(chain[10].find("/Font"), 5, "/Properties << /P1 1000 0 R >> /Font");
  for (int i = 0; i < depth; ++i)
    chain[1000 + i] = i + 1 < depth ? "<< /N " + std::to_string(1001 + i) + " 0 R >>" : "<< >>";

  for (const auto* objects : {&pages, &chain}) {
    TempDir dir;
    const std::string src = dir.file("src.pdf"), out = dir.file("out.pdf");
    writeObjects(src, *objects);
    const RunResult r = runProgram({enginePath(), "A=" + src, "cat", "A1", "output", out}, "", 120);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(pageTexts(out), std::vector<std::string>{"Page 1"});
  }
}

} // namespace
} // namespace sundrel::tovix::test
