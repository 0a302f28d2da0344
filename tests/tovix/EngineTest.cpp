// Runs tovix.dll as a process and checks its results with pdfinfo,
// pdftotext and qpdf. Checks of the command lines the program issues also
// run against pdftk when it is installed (the Interop suites).

#include "tests/tovix/Harness.h"

#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace sundrel::tovix::test {
namespace {

std::vector<std::string> expectedTexts(std::initializer_list<int> pages) {
  std::vector<std::string> texts;
  for (int p : pages)
    texts.push_back("Page " + std::to_string(p));
  return texts;
}

bool oneErrorLine(const RunResult& r) {
  return r.err.rfind("Error: ", 0) == 0 && std::count(r.err.begin(), r.err.end(), '\n') == 1;
}

// ---------------------------------------------------------------------------
// The program's command lines, against every installed engine.

class Interop : public ::testing::TestWithParam<std::string> {
protected:
  void SetUp() override {
    engine = GetParam() == "tovix" ? enginePath() : pdftkPath();
    if (engine.empty())
      GTEST_SKIP() << "pdftk is not installed; the comparison is skipped";
    source = dir.file("src file.pdf");
    writePdf(source, PdfShape{}.withPages(6).withTitle("Source"));
  }
  bool isPdftk() const { return GetParam() == "pdftk"; }
  RunResult run(std::vector<std::string> args) {
    args.insert(args.begin(), engine);
    return runProgram(args);
  }
  TempDir dir;
  std::string engine;
  std::string source;
};

TEST_P(Interop, DumpDataReportsPageCount) {
  const std::string report = dir.file("pdf1.tmp.txt");
  const RunResult r = run({source, "dump_data", "output", report, "dont_ask"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(readFile(report).find("NumberOfPages: 6\n"), std::string::npos) << readFile(report);
  EXPECT_NE(readFile(report).find("InfoKey: Title\nInfoValue: Source\n"), std::string::npos);
}

TEST_P(Interop, CatWritesExactlyTheRange) {
  const std::string out = dir.file("src file part 0001.pdf");
  const RunResult r = run({"A=" + source, "cat", "A2-4", "output", out});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(pageTexts(out), expectedTexts({2, 3, 4}));
  EXPECT_TRUE(qpdfCheckClean(out));
}

TEST_P(Interop, UpdateInfoWithInfoBeginLines) {
  const std::string info = dir.file("info.txt");
  const std::string out = dir.file("pdf2.tmp.pdf");
  writeFile(info, "InfoBegin\r\nInfoKey: Title\r\nInfoValue: New title\r\n"
                  "InfoBegin\r\nInfoKey: Author\r\nInfoValue: Someone\r\n");
  const RunResult r = run({source, "update_info", info, "output", out, "dont_ask"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(infoValue(out, "Title"), "New title");
  EXPECT_EQ(infoValue(out, "Author"), "Someone");
}

TEST_P(Interop, UpdateInfoWithoutInfoBeginLines) {
  const std::string info = dir.file("info.txt");
  const std::string out = dir.file("pdf3.tmp.pdf");
  writeFile(info, "InfoKey: Title\r\nInfoValue: T\r\nInfoKey: Author\r\nInfoValue: A\r\n");
  const RunResult r = run({source, "update_info", info, "output", out, "dont_ask"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(infoValue(out, "Title"), "T");
  if (isPdftk()) {
    // deliberate difference (README): pdftk-java skips every pair after the first
    EXPECT_EQ(infoValue(out, "Author"), "<missing>");
    return;
  }
  EXPECT_EQ(infoValue(out, "Author"), "A");
}

TEST_P(Interop, Encrypt128WithBothPasswordsAndPermissions) {
  const std::string out = source + "0.pdf";
  const RunResult r =
      run({source, "output", out, "encrypt_128bit", "user_pw", "open", "owner_pw", "perm", "allow",
           "DegradedPrinting", "ModifyAnnotations", "FillIn", "CopyContents", "dont_ask"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto enc = encryption(out, "perm");
  EXPECT_EQ(enc["R"], "3");
  EXPECT_EQ(enc["User password"], "open");
  EXPECT_TRUE(enc.count("Supplied password is owner password"));
  EXPECT_EQ(enc["print low resolution"], "allowed");
  EXPECT_EQ(enc["print high resolution"], "not allowed");
  EXPECT_EQ(enc["modify annotations"], "allowed");
  EXPECT_EQ(enc["modify forms"], "allowed");
  EXPECT_EQ(enc["extract for any purpose"], "allowed");
  EXPECT_EQ(enc["modify document assembly"], "not allowed");
  EXPECT_EQ(enc["modify other"], "not allowed");
  EXPECT_EQ(encryption(out, "open")["User password"], "open");
  EXPECT_EQ(pageCount(out), -1) << "opens without a password";
}

TEST_P(Interop, RangeBeyondTheEndIsRefused) {
  const std::string out = dir.file("o.pdf");
  const RunResult r = run({"A=" + source, "cat", "A5-7", "output", out});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Range end page number exceeds size of PDF"), std::string::npos) << r.err;
  EXPECT_FALSE(exists(out));
}

INSTANTIATE_TEST_SUITE_P(Engines, Interop, ::testing::Values("tovix", "pdftk"),
                         [](const auto& info) { return info.param; });

// ---------------------------------------------------------------------------
// Our engine only.

class Tovix : public ::testing::Test {
protected:
  RunResult run(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), enginePath());
    return runProgram(args, input);
  }
  std::string make(const std::string& name, const PdfShape& shape) {
    const std::string path = dir.file(name);
    writePdf(path, shape);
    return path;
  }
  TempDir dir;
};

TEST_F(Tovix, CatRangeForms) {
  const std::string a = make("a.pdf", PdfShape{}.withPages(6));
  const std::string b = make("b.pdf", PdfShape{}.withPages(3));
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> texts;
  };
  const std::vector<Case> cases = {
      {{"A=" + a, "cat", "A5-3"}, expectedTexts({5, 4, 3})},
      {{"A=" + a, "cat", "Aend"}, expectedTexts({6})},
      {{"A=" + a, "cat", "Ar2-end"}, expectedTexts({5, 6})},
      {{"A=" + a, "cat", "A1-2", "A6", "A1"}, expectedTexts({1, 2, 6, 1})},
      {{"A=" + a, "cat", "A1-endodd"}, expectedTexts({1, 3, 5})},
      {{"A=" + a, "cat", "A"}, expectedTexts({1, 2, 3, 4, 5, 6})},
      {{a, "cat", "2-3"}, expectedTexts({2, 3})},
      {{"A=" + a, "B=" + b, "cat", "B3", "A1", "B1-2"}, expectedTexts({3, 1, 1, 2})},
      {{a, b}, expectedTexts({1, 2, 3, 4, 5, 6, 1, 2, 3})},
  };
  for (const Case& c : cases) {
    const std::string out = dir.file("out.pdf");
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"output", out});
    const RunResult r = run(args);
    ASSERT_EQ(r.exitCode, 0) << args[2] << ": " << r.err;
    EXPECT_EQ(pageTexts(out), c.texts) << args[2];
    EXPECT_TRUE(qpdfCheckClean(out)) << args[2];
    ::unlink(out.c_str());
  }
}

TEST_F(Tovix, CatIsDeterministicAndKeepsOnlyWhatThePagesUse) {
  const std::string src = make("img.pdf", PdfShape{}.withPages(4).withImage());
  const std::string one = dir.file("one.pdf"), two = dir.file("two.pdf");
  ASSERT_EQ(run({"A=" + src, "cat", "A2-3", "output", one}).exitCode, 0);
  ASSERT_EQ(run({"A=" + src, "cat", "A2-3", "output", two}).exitCode, 0);
  EXPECT_EQ(readFile(one), readFile(two)) << "probe and final extraction must match";
  // the 30000-byte image is drawn on page 1 only, from resources all pages share
  EXPECT_LT(fileSize(one), 6000);
  const std::string first = dir.file("first.pdf");
  ASSERT_EQ(run({"A=" + src, "cat", "A1-2", "output", first}).exitCode, 0);
  EXPECT_GT(fileSize(first), 30000);
  EXPECT_EQ(pageTexts(first), expectedTexts({1, 2}));
}

TEST_F(Tovix, BookmarksIntoTheRangeAreKeptAndRetargeted) {
  const std::string src = make("outline.pdf", PdfShape{}.withPages(5).withOutline());
  const std::string out = dir.file("out.pdf");
  ASSERT_EQ(run({"A=" + src, "cat", "A2-3", "output", out}).exitCode, 0);
  const std::string json = qpdfJson(out, "outlines");
  EXPECT_EQ(json.find("Chapter 1"), std::string::npos) << json;
  EXPECT_EQ(json.find("Chapter 4"), std::string::npos);
  for (const char* title : {"Chapter 2", "Section 2.1", "Chapter 3"})
    EXPECT_NE(json.find(title), std::string::npos) << title;
  // Chapter 2 lands on the new page 1, its child and Chapter 3 on page 2
  const auto c2 = json.find("Chapter 2"), s21 = json.find("Section 2.1");
  EXPECT_NE(json.rfind("\"destpageposfrom1\": 1", c2), std::string::npos);
  EXPECT_NE(json.find("\"destpageposfrom1\": 2", s21), std::string::npos);
  EXPECT_EQ(json.find("\"destpageposfrom1\": null"), std::string::npos) << json;
  EXPECT_TRUE(qpdfCheckClean(out));
}

// Object number of the output's page `n` and of the first page object that
// `text` refers to after `key`, read from the QDF form.
int pageObject(const std::string& q, int n) {
  const auto at = q.find("%% Page " + std::to_string(n) + "\n");
  if (at == std::string::npos)
    return -1;
  const auto obj = q.find(" 0 obj", at);
  const auto lineStart = q.rfind('\n', obj) + 1;
  return std::atoi(q.c_str() + lineStart);
}

int referenceAfter(const std::string& q, const std::string& key) {
  const auto at = q.find(key);
  if (at == std::string::npos)
    return -1;
  std::size_t p = at + key.size();
  while (p < q.size() && (q[p] == ' ' || q[p] == '\n' || q[p] == '['))
    ++p;
  return std::atoi(q.c_str() + p);
}

TEST_F(Tovix, LinksAndNamedDestinationsFollowTheCopies) {
  const std::string src = make("links.pdf", PdfShape{}.withPages(4).withLinks());
  const std::string out = dir.file("out.pdf");
  ASSERT_EQ(run({"A=" + src, "cat", "A1-3", "output", out}).exitCode, 0);
  const std::string q = qdf(out);
  const int page3 = pageObject(q, 3);
  ASSERT_GT(page3, 0) << q;
  // the direct link on page 1 was copied before page 3 existed
  EXPECT_EQ(referenceAfter(q, "/Dest ["), page3);
  EXPECT_EQ(referenceAfter(q, "(chap3)"), page3);
  EXPECT_TRUE(qpdfCheckClean(out));

  // without the target page, no link leads to a missing page
  ASSERT_EQ(run({"A=" + src, "cat", "A1-2", "output", out}).exitCode, 0);
  const std::string q2 = qdf(out);
  EXPECT_EQ(q2.find("/Dest ["), std::string::npos);
  EXPECT_EQ(q2.find("null"), std::string::npos) << q2;
}

TEST_F(Tovix, FormFieldsOfTheRangeKeepWorking) {
  const std::string src = make("form.pdf", PdfShape{}.withPages(3).withForm());
  const std::string out = dir.file("out.pdf");
  ASSERT_EQ(run({"A=" + src, "cat", "A2-3", "output", out}).exitCode, 0);
  const std::string json = qpdfJson(out, "acroform");
  EXPECT_NE(json.find("\"fullname\": \"name2\""), std::string::npos) << json;
  EXPECT_EQ(json.find("name1"), std::string::npos) << "fields of other pages are dropped";
  EXPECT_NE(json.find("\"pageposfrom1\": 1"), std::string::npos);
  EXPECT_TRUE(qpdfCheckClean(out));
}

TEST_F(Tovix, UpdateInfoAppliesEveryPairOfTheProgramsFile) {
  const std::string src = make("p.pdf", PdfShape{}.withPages(2).withTitle("Old"));
  const std::string info = dir.file("i.txt"), out = dir.file("o.pdf");
  // exactly what the program writes: pairs without InfoBegin, CRLF, raw UTF-8
  writeFile(info, "InfoKey: Subject\r\nInfoValue:  spaced subject \r\n"
                  "InfoKey: Title\r\nInfoValue: Caf\xC3\xA9 &#8364;\r\n"
                  "InfoKey: Author\r\nInfoValue: A\r\nInfoKey: Keywords\r\nInfoValue: k1, k2\r\n"
                  "InfoKey: Creator\r\nInfoValue: Sundrel - x\r\n"
                  "InfoKey: Producer\r\nInfoValue: Sundrel (x)\r\n");
  const RunResult r = run({src, "update_info", info, "output", out, "dont_ask"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(infoValue(out, "Subject"), " spaced subject ");
  EXPECT_EQ(infoValue(out, "Title"), "Caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(infoValue(out, "Author"), "A");
  EXPECT_EQ(infoValue(out, "Keywords"), "k1, k2");
  EXPECT_EQ(infoValue(out, "Creator"), "Sundrel - x");
  EXPECT_EQ(infoValue(out, "Producer"), "Sundrel (x)");
  EXPECT_EQ(pageTexts(out), expectedTexts({1, 2}));
}

TEST_F(Tovix, UpdateInfoWithUnpairedLinesWarns) {
  const std::string src = make("p.pdf", PdfShape{}.withPages(1));
  const std::string info = dir.file("i.txt"), out = dir.file("o.pdf");
  writeFile(info, "InfoKey: Title\nInfoValue: T\nInfoKey: Dangling\n");
  const RunResult r = run({src, "update_info_utf8", info, "output", out});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_NE(r.err.find("Warning:"), std::string::npos);
  EXPECT_EQ(infoValue(out, "Title"), "T");
}

TEST_F(Tovix, EncryptionStrengthsAndPasswords) {
  const std::string src = make("p.pdf", PdfShape{}.withPages(1));
  struct Case {
    std::vector<std::string> clauses;
    std::string password; // to check with
    std::map<std::string, std::string> expected;
  };
  const std::vector<Case> cases = {
      // only a user password: the owner password is the same
      {{"encrypt_128bit", "user_pw", "u"},
       "u",
       {{"R", "3"}, {"User password", "u"}, {"Supplied password is owner password", ""}}},
      // no password, nothing allowed: still encrypted, nothing granted
      {{"encrypt_128bit"},
       "",
       {{"R", "3"},
        {"print low resolution", "not allowed"},
        {"extract for any purpose", "not allowed"},
        {"modify annotations", "not allowed"}}},
      {{"encrypt_128bit", "owner_pw", "o", "allow", "Printing", "Assembly"},
       "o",
       {{"R", "3"},
        {"User password", ""},
        {"print high resolution", "allowed"},
        {"modify document assembly", "allowed"},
        {"modify other", "not allowed"}}},
      {{"encrypt_40bit", "user_pw", "u", "owner_pw", "o"}, "o", {{"R", "2"}}},
      {{"encrypt_aes128", "user_pw", "u", "owner_pw", "o", "allow", "AllFeatures"},
       "o",
       {{"R", "4"}, {"modify other", "allowed"}, {"print high resolution", "allowed"}}},
  };
  for (const Case& c : cases) {
    const std::string out = dir.file("e.pdf");
    std::vector<std::string> args{src, "output", out};
    args.insert(args.end(), c.clauses.begin(), c.clauses.end());
    args.push_back("dont_ask");
    const RunResult r = run(args);
    ASSERT_EQ(r.exitCode, 0) << c.clauses.size() << ": " << r.err;
    auto enc = encryption(out, c.password);
    for (const auto& [key, value] : c.expected)
      EXPECT_EQ(enc[key], value) << key << " with " << args[3];
    EXPECT_TRUE(qpdfCheckClean(out) || !c.password.empty());
    ::unlink(out.c_str());
  }
}

TEST_F(Tovix, OutputThatIsAnInputIsRefusedInAnySpelling) {
  const std::string src = make("in.pdf", PdfShape{}.withPages(3));
  const std::string before = readFile(src);
  ASSERT_EQ(::symlink(src.c_str(), dir.file("link.pdf").c_str()), 0);
  ASSERT_EQ(::link(src.c_str(), dir.file("hard.pdf").c_str()), 0);
  const std::string spellings[] = {src, dir.path() + "/./in.pdf", dir.path() + "//in.pdf",
                                   dir.file("link.pdf"), dir.file("hard.pdf")};
  for (const std::string& out : spellings) {
    RunResult r = run({"A=" + src, "cat", "A1", "output", out});
    EXPECT_EQ(r.exitCode, 1) << out;
    EXPECT_NE(r.err.find("matches an input filename"), std::string::npos) << r.err;
    r = run({src, "output", out, "encrypt_128bit", "dont_ask"});
    EXPECT_EQ(r.exitCode, 1) << out;
  }
  EXPECT_EQ(readFile(src), before);
}

TEST_F(Tovix, BadInputsGiveOneErrorLineAndNoOutput) {
  const std::string good = make("good.pdf", PdfShape{}.withPages(3));
  writeFile(dir.file("empty.pdf"), "");
  writeFile(dir.file("text.pdf"), "This is not a PDF.\n");
  writeFile(dir.file("truncated.pdf"), readFile(good).substr(0, 300));
  make("missing.pdf", PdfShape{}.withPages(2).withMissingContent(2));
  writeFile(dir.file("info.txt"), "InfoKey: Title\nInfoValue: x\n");
  const std::string out = dir.file("out.pdf");
  const std::string longName = dir.path() + "/" + std::string(4000, 'n') + ".pdf";
  const std::vector<std::vector<std::string>> cases = {
      {"A=" + dir.file("empty.pdf"), "cat", "A1", "output", out},
      {"A=" + dir.file("text.pdf"), "cat", "A1", "output", out},
      {"A=" + dir.file("truncated.pdf"), "cat", "A1", "output", out},
      {"A=" + dir.file("missing.pdf"), "cat", "A2", "output", out},
      {"A=" + dir.file("nonexistent.pdf"), "cat", "A1", "output", out},
      {"A=" + good, "cat", "A0", "output", out},
      {"A=" + good, "cat", "A999999999999", "output", out},
      {"A=" + good, "cat", "A-", "output", out},
      {"A=" + good, "cat", "A1", "output", out, "sideways"},
      {"A=" + good, "shuffle", "A1", "output", out},
      {good, "update_info", dir.file("no-info.txt"), "output", out},
      {"A=" + good, "cat", "A1", "output", dir.file("good.pdf/out.pdf")},
      {"A=" + good, "cat", "A1", "output", dir.file("no/such/dir/out.pdf")},
      {"A=" + good, "cat", "A1", "output", longName},
      {"A=" + good, "cat", "A1", "output", dir.path()},
  };
  for (const auto& args : cases) {
    const RunResult r = run(args);
    EXPECT_EQ(r.exitCode, 1) << args[0] << " " << args[2];
    EXPECT_TRUE(oneErrorLine(r)) << r.err;
    EXPECT_FALSE(exists(out)) << args[0] << " " << args[2];
  }
  // nothing but the inputs is left behind: no temporary files
  auto names = dir.entries();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"empty.pdf", "good.pdf", "info.txt", "missing.pdf",
                                             "text.pdf", "truncated.pdf"}));
}

TEST_F(Tovix, FailureLeavesAnExistingOutputUntouched) {
  const std::string src = make("in.pdf", PdfShape{}.withPages(2));
  const std::string out = dir.file("out.pdf");
  writeFile(out, "previous");
  EXPECT_EQ(run({"A=" + src, "cat", "A3", "output", out}).exitCode, 1);
  EXPECT_EQ(readFile(out), "previous");
  // do_ask: a "no" keeps it, a "yes" replaces it
  EXPECT_EQ(run({"A=" + src, "cat", "A1", "output", out, "do_ask"}, "n\n").exitCode, 1);
  EXPECT_EQ(readFile(out), "previous");
  EXPECT_EQ(run({"A=" + src, "cat", "A1", "output", out, "do_ask"}, "y\n").exitCode, 0);
  EXPECT_EQ(pageTexts(out), expectedTexts({1}));
  // dont_ask (the default) replaces it
  EXPECT_EQ(run({"A=" + src, "cat", "A2", "output", out, "dont_ask"}).exitCode, 0);
  EXPECT_EQ(pageTexts(out), expectedTexts({2}));
}

// A pipe (like a device) is written as it stands, never replaced by a file;
// one that nobody reads fails at once.
TEST_F(Tovix, OutputToAPipeStaysAPipe) {
  const std::string src = make("in.pdf", PdfShape{}.withPages(2));
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(run({"A=" + src, "cat", "A1", "output", fifo}).exitCode, 1);

  // Our own reader, and a writer held open until the engine is done, so the
  // reader sees the end only then.
  const int readEnd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  const int holdEnd = ::open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(readEnd, 0);
  ASSERT_GE(holdEnd, 0);
  ::fcntl(readEnd, F_SETFL, 0);
  std::string received;
  std::thread reader([&] {
    char buffer[4096];
    for (ssize_t n; (n = ::read(readEnd, buffer, sizeof buffer)) > 0;)
      received.append(buffer, static_cast<std::size_t>(n));
  });
  const RunResult r = run({"A=" + src, "cat", "A1", "output", fifo});
  ::close(holdEnd);
  reader.join();
  ::close(readEnd);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(received.rfind("%PDF-", 0), 0u);
  struct stat info {};
  ASSERT_EQ(::stat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST_F(Tovix, StandardOutputAndDumpDataVariants) {
  const std::string src = make("in.pdf", PdfShape{}.withPages(3).withTitle("Caf\\351 <&>"));
  RunResult r = run({"A=" + src, "cat", "A2", "output", "-"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.rfind("%PDF-", 0), 0u);
  writeFile(dir.file("piped.pdf"), r.out);
  EXPECT_EQ(pageTexts(dir.file("piped.pdf")), expectedTexts({2}));

  r = run({src, "dump_data"});
  EXPECT_NE(r.out.find("InfoValue: Caf&#233; &lt;&amp;&gt;\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("NumberOfPages: 3\n"), std::string::npos);
  EXPECT_NE(r.out.find("PageMediaDimensions: 300 200\n"), std::string::npos);
  r = run({src, "dump_data_utf8"});
  EXPECT_NE(r.out.find("InfoValue: Caf\xC3\xA9 <&>\n"), std::string::npos) << r.out;
}

TEST_F(Tovix, EncryptedInputs) {
  const std::string ownerOnly =
      make("owner-only.pdf", PdfShape{}.withPages(4).withLock({"", "master"}));
  const std::string out = dir.file("out.pdf");

  // opens without a password: the extract keeps its encryption and restrictions
  ASSERT_EQ(run({"A=" + ownerOnly, "cat", "A1-3", "output", out}).exitCode, 0);
  auto enc = encryption(out, "");
  EXPECT_EQ(enc["R"], "3");
  EXPECT_EQ(enc["print high resolution"], "not allowed");
  EXPECT_EQ(pageCount(out), 3);
  const long long size = fileSize(out);
  ASSERT_EQ(run({"A=" + ownerOnly, "cat", "A1-3", "output", out}).exitCode, 0);
  EXPECT_EQ(fileSize(out), size) << "sizes of repeated extractions must agree";
  // ... unless new encryption is asked for
  ASSERT_EQ(run({ownerOnly, "output", out, "encrypt_aes128", "owner_pw", "x"}).exitCode, 0);
  EXPECT_EQ(encryption(out, "x")["R"], "4");

  // needs a user password, with either cipher
  for (const Cipher cipher : {Cipher::Rc4_128, Cipher::Aes128}) {
    const std::string userPw =
        make("user-pw.pdf", PdfShape{}.withPages(2).withLock({"asdfzxcv", "owner", cipher}));
    const std::string plain = dir.file("plain.pdf");
    RunResult r = run({"A=" + userPw, "cat", "A1", "output", plain});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(oneErrorLine(r)) << r.err;
    EXPECT_NE(r.err.find("PASSWORD REQUIRED"), std::string::npos);
    r = run({"A=" + userPw, "input_pw", "A=wrong", "cat", "A1", "output", plain});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(exists(plain));
    r = run({"A=" + userPw, "input_pw", "A=asdfzxcv", "cat", "A1", "output", plain});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(encryption(plain, "").count("File is not encrypted"), 1u);
    EXPECT_EQ(pageTexts(plain), expectedTexts({1}));
    ::unlink(plain.c_str());
  }
}

TEST_F(Tovix, CorpusExtractionsAreCompleteAndClean) {
  struct Case {
    const char* file;
    const char* range;
    int pages;
  };
  const Case cases[] = {{"pdfjs__pdkids.pdf", "A21-40", 20},
                        {"pypdf-samples__GeoTopo-komprimiert.pdf", "A1-20", 20},
                        {"pypdf-samples__libreoffice-form.pdf", "A1", 1},
                        {"qpdf__bookmarks-1.pdf", "A30-1", 30}};
  for (const Case& c : cases) {
    const std::string src = corpusFile(c.file);
    if (src.empty())
      GTEST_SKIP() << c.file << " is not in the corpus folder " << sundrel::test::corpusDir();
    const std::string out = dir.file("out.pdf");
    const RunResult r = run({"A=" + src, "cat", c.range, "output", out});
    ASSERT_EQ(r.exitCode, 0) << c.file << ": " << r.err;
    EXPECT_EQ(pageCount(out), c.pages) << c.file;
    EXPECT_TRUE(qpdfCheckClean(out)) << c.file;
    const RunResult d = run({out, "dump_data"});
    EXPECT_NE(d.out.find("NumberOfPages: " + std::to_string(c.pages)), std::string::npos);
  }
}

TEST_F(Tovix, RepairedInputStillSucceeds) {
  const std::string src = make("damaged.pdf", PdfShape{}.withPages(4).withDamagedXref());
  const std::string out = dir.file("out.pdf");
  const RunResult r = run({"A=" + src, "cat", "A2-3", "output", out});
  EXPECT_EQ(r.exitCode, 0) << "the program takes exit 0 as written: " << r.err;
  EXPECT_NE(r.err.find("repaired"), std::string::npos);
  EXPECT_EQ(pageTexts(out), expectedTexts({2, 3}));
}

} // namespace
} // namespace sundrel::tovix::test
