// tovix.dll --session driven through its pipes as a front end drives it:
// the handshake, one status line per command, payloads, the input cache and
// its checks, measuring, the finished part, and the end of the session.

#include "tests/tovix/Harness.h"

#include "bridge/EngineRunner.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>
#include <tuple>

extern char** environ;

namespace sundrel::tovix::test {
namespace {

struct Status {
  int code = -1;
  long long bytes = -1;
  std::string message;
  std::string payload;
};

// One engine in a session. Every read waits at most a minute, so a hung
// engine fails the test instead of blocking it.
class Session {
public:
  Session() {
    int toEngine[2], fromEngine[2];
    if (::pipe2(toEngine, O_CLOEXEC) != 0 || ::pipe2(fromEngine, O_CLOEXEC) != 0)
      throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toEngine[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromEngine[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, errors.file("err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    for (int fd : {toEngine[0], toEngine[1], fromEngine[0], fromEngine[1]})
      posix_spawn_file_actions_addclose(&actions, fd);
    std::string engine = enginePath(), flag = "--session";
    char* argv[] = {engine.data(), flag.data(), nullptr};
    ::posix_spawn(&pid, engine.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toEngine[0]);
    ::close(fromEngine[1]);
    in = toEngine[1];
    out = fromEngine[0];
    handshake = line();
  }
  ~Session() {
    closeInput();
    if (pid > 0 && !ended(10))
      ::kill(pid, SIGKILL), ended(10);
    ::close(out);
  }

  Status send(const std::string& command) {
    const std::string text = command + "\n";
    if (::write(in, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
      return {};
    Status s;
    std::istringstream fields(line());
    fields >> s.code >> s.bytes;
    fields.get();
    std::getline(fields, s.message);
    if (s.code != 1 && command.find("output -") != std::string::npos)
      s.payload = read(static_cast<std::size_t>(s.bytes));
    return s;
  }
  void closeInput() {
    if (in >= 0)
      ::close(in), in = -1;
  }
  // Whether the engine ended within `seconds`.
  bool ended(int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid)
        return pid = -1, true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  std::string stderrText() const { return readFile(errors.file("err")); }

  std::string handshake;
  pid_t pid = -1;

private:
  std::string read(std::size_t n) {
    std::string data;
    while (data.size() < n) {
      pollfd p{out, POLLIN, 0};
      if (::poll(&p, 1, 60000) <= 0)
        break;
      char buf[65536];
      const ssize_t got = ::read(out, buf, std::min(sizeof buf, n - data.size()));
      if (got <= 0)
        break;
      data.append(buf, static_cast<std::size_t>(got));
    }
    return data;
  }
  std::string line() {
    std::string text;
    for (std::string c = read(1); c.size() == 1 && c[0] != '\n'; c = read(1))
      text += c;
    return text;
  }

  TempDir errors;
  int in = -1, out = -1;
};

std::string q(const std::string& s) {
  return bridge::quoteArgument(s);
}

RunResult oneShot(std::vector<std::string> args) {
  args.insert(args.begin(), enginePath());
  return runProgram(args, "", 120);
}

std::string firstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

TEST(Session, HandshakeStatusLinesPayloadsAndEnd) {
  TempDir dir;
  const std::string src = dir.file("src file.pdf");
  writePdf(src, PdfShape{}.withPages(4).withImage().withOutline());
  Session s;
  EXPECT_EQ(s.handshake, "tovix-session 1");
  Status st = s.send("");
  EXPECT_EQ((std::pair{st.code, st.message}),
            (std::pair{1, std::string("Error: [usage] empty command")}));
  st = s.send("A=" + q(src) + " cat A9 measure");
  EXPECT_EQ(st.code, 1);
  EXPECT_EQ(st.message.rfind("Error: [range] Range start page number exceeds size of PDF", 0), 0u);
  st = s.send(q(src) + " dump_data output -\r");
  EXPECT_EQ(st.code, 0);
  EXPECT_EQ(st.message, "ok");
  EXPECT_EQ(st.payload, oneShot({src, "dump_data"}).out);

  // page 1 alone draws the image that all pages' resources name: it is page 1's own
  st = s.send("A=" + q(src) + " page_sizes output -");
  EXPECT_EQ(st.code, 0);
  std::istringstream report(st.payload);
  std::string kind;
  std::vector<long long> own;
  long long shared = 0, n = 0, bytes = 0;
  while (report >> kind) {
    if (kind == "SharedObject:") {
      report >> n >> bytes;
      EXPECT_EQ(n, shared++);
    } else {
      report >> n >> bytes;
      own.push_back(bytes);
      std::getline(report, kind);
    }
  }
  ASSERT_EQ(own.size(), 4u);
  EXPECT_GT(own[0], 30000);
  EXPECT_LT(own[1], 1000);
  EXPECT_GT(shared, 0) << "the font";

  st = s.send("A=" + q(src) + " cat A2 output " + q(dir.file("out.pdf")));
  EXPECT_EQ(st.bytes, fileSize(dir.file("out.pdf")));
  s.closeInput();
  EXPECT_TRUE(s.ended(5)) << "stdin EOF ends the session";
  EXPECT_EQ(s.stderrText(), "");
}

// Measuring answers the size of the same cat in a fresh process, and
// extractions repeated from the cached source (after page_sizes and other
// ranges) give its very bytes; so does a finished part those of cat and
// update_info one after the other.
TEST(Session, CorpusMeasureAndRepeatedExtractionsEqualOneShot) {
  const std::string corpus = corpusFile("MANIFEST.tsv");
  if (corpus.empty())
    GTEST_SKIP() << "corpus not found";
  const std::string dirPath = corpus.substr(0, corpus.rfind('/'));
  TempDir dir;
  Session s;
  int checked = 0;
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dirPath)) {
    if (e.path().extension() == ".pdf")
      names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string src = dirPath + "/" + name;
    const Status dump = s.send(q(src) + " dump_data output -");
    const auto at = dump.payload.find("NumberOfPages: ");
    if (dump.code == 1 || at == std::string::npos)
      continue;
    const int pages = std::atoi(dump.payload.c_str() + at + 15);
    // sizing every page readies them all for copying, before any copy
    EXPECT_EQ(s.send("A=" + q(src) + " page_sizes measure").code == 1, false) << name;
    const std::string ranges[] = {"A1",
                                  "A" + std::to_string(std::max(1, pages / 3)) + "-" +
                                      std::to_string(std::max(1, 2 * pages / 3)),
                                  "A1-end"};
    for (const std::string& range : ranges) {
      const std::string one = dir.file("one.pdf"), again = dir.file("again.pdf");
      const RunResult r = oneShot({"A=" + src, "cat", range, "output", one});
      const Status measured = s.send("A=" + q(src) + " cat " + range + " measure");
      const Status written = s.send("A=" + q(src) + " cat " + range + " output " + q(again));
      ASSERT_EQ(measured.code == 1, r.exitCode == 1) << name << " " << range << measured.message;
      if (r.exitCode == 1)
        continue;
      EXPECT_EQ(measured.bytes, fileSize(one)) << name << " " << range;
      EXPECT_EQ(written.bytes, fileSize(one)) << name << " " << range;
      // encrypted results (a kept source encryption) differ in their random /ID only
      const bool encrypted = encryption(one, "").count("File is not encrypted") == 0;
      if (readFile(again) != readFile(one)) {
        EXPECT_TRUE(encrypted) << name << " " << range;
      }
      // The finished part, as cat and update_info give it one after the other.
      const std::string part = dir.file("part.pdf"), info = dir.file("info.txt");
      writeFile(info, "InfoKey: Title\nInfoValue: Part\nInfoKey: Producer\nInfoValue:\n");
      const RunResult updated = oneShot({one, "update_info", info, "output", again});
      const Status finished = s.send("A=" + q(src) + " cat " + range + " update_info " + q(info) +
                                     " output " + q(part));
      EXPECT_EQ(finished.code, 0) << name << " " << range << finished.message;
      EXPECT_TRUE(encrypted || (updated.exitCode == 0 && readFile(part) == readFile(again)))
          << name << " " << range;
      ++checked;
    }
  }
  EXPECT_GT(checked, 0);
}

// One command gives exactly what cat, update_info and the encryption give
// one after the other.
TEST(Session, FinishedPartEqualsTheSeparateCommands) {
  TempDir dir;
  const std::string src = dir.file("src.pdf"), info = dir.file("info.txt");
  writePdf(src, PdfShape{}.withPages(6).withTitle("Old").withOutline().withLinks().withForm());
  writeFile(info, "InfoKey: Title\r\nInfoValue: Caf\xC3\xA9 part\r\nInfoKey: Creator\r\nInfoValue: "
                  "Sundrel\r\nInfoKey: Dangling\r\n");
  const std::vector<std::vector<std::string>> securities = {
      {}, {"encrypt_128bit", "user_pw", "u s", "owner_pw", "o\"o", "allow", "Printing"}};
  Session s;
  for (const auto& security : securities) {
    const std::string t1 = dir.file("t1.pdf"), t2 = dir.file("t2.pdf"), t3 = dir.file("t3.pdf");
    ASSERT_EQ(oneShot({"A=" + src, "cat", "A2-5", "output", t1}).exitCode, 0);
    const RunResult withInfo = oneShot({t1, "update_info", info, "output", t2});
    ASSERT_EQ(withInfo.exitCode, 3) << "the dangling line warns";
    std::string separate = t2, command = "A=" + q(src) + " cat A2-5 update_info " + q(info) +
                                         " output " + q(dir.file("part.pdf"));
    if (!security.empty()) {
      std::vector<std::string> args{t2, "output", t3};
      args.insert(args.end(), security.begin(), security.end());
      ASSERT_EQ(oneShot(args).exitCode, 0);
      separate = t3;
      for (const std::string& word : security)
        command += " " + q(word);
    }
    const Status st = s.send(command);
    EXPECT_EQ(st.code, 3) << st.message;
    // First the same warning; the repaired source's note follows it.
    EXPECT_EQ(st.message.rfind(
                  "cat_bytes=" + std::to_string(fileSize(t1)) + " " + firstLine(withInfo.err), 0),
              0u)
        << st.message;
    EXPECT_EQ(st.bytes, fileSize(dir.file("part.pdf")));
    if (security.empty()) {
      EXPECT_EQ(readFile(dir.file("part.pdf")), readFile(separate));
      continue;
    }
    EXPECT_EQ(encryption(dir.file("part.pdf"), "o\"o"), encryption(separate, "o\"o"));
    for (const std::string& pdf : {dir.file("part.pdf"), separate})
      runProgram({"qpdf", "--decrypt", "--password=o\"o", "--static-id", pdf, pdf + ".plain"});
    EXPECT_EQ(readFile(dir.file("part.pdf") + ".plain"), readFile(separate + ".plain"));
    EXPECT_FALSE(readFile(separate + ".plain").empty());
  }
}

// Pages that reach the size limit are no part, unless one page alone:
// nothing is written, and the answer still gives their size.
TEST(Session, AFinishedPartThatReachesItsSizeLimitIsNotWritten) {
  TempDir dir;
  const std::string src = dir.file("src.pdf"), info = dir.file("info.txt");
  writePdf(src, PdfShape{}.withPages(6).withTitle("Old"));
  writeFile(info, "InfoKey: Title\nInfoValue: Part\n");
  Session s;
  for (const auto& [range, over, written] :
       {std::tuple{"A2-5", 0, false}, {"A2-5", 1, true}, {"A3", 0, true}}) {
    const long long plain = s.send("A=" + q(src) + " cat " + range + " measure").bytes;
    const std::string part = dir.file("part.pdf");
    std::filesystem::remove(part);
    const Status st = s.send("A=" + q(src) + " cat " + range + " update_info " + q(info) +
                             " output " + q(part) + " size_limit " + std::to_string(plain + over));
    EXPECT_EQ(st.message, "cat_bytes=" + std::to_string(plain) + " ok");
    EXPECT_EQ(exists(part), written) << range << " " << over;
    EXPECT_EQ(st.bytes, written ? fileSize(part) : 0);
  }
  EXPECT_EQ(dir.entries().size(), 3u) << "no staging file left";
}

// A manual as TeX makes it: named destinations in a name tree of small
// leaves, nested bookmarks that lead by name, by action or directly.
// Bookmark b (from 0) leads to page 1 + b; every 6th is a chapter, the
// others alternate between a section and a subsection of it.
constexpr int kManualPages = 24;
int bookmarkLevel(int b) {
  return b % 6 == 0 ? 1 : b % 2 == 1 ? 2 : 3;
}
std::string pageRef(int page) {
  return std::to_string(10 + 2 * (page - 1)) + " 0 R";
}
std::string destName(int page, char c) {
  return (page < 10 ? "p0" : "p") + std::to_string(page) + "." + c;
}
std::string ref(int id) {
  return std::to_string(id) + " 0 R";
}

void writeManual(const std::string& path) {
  auto o = textPages(kManualPages);
  std::string kids, items;
  for (int page = 1, n = 0; page <= kManualPages; ++page) {
    for (char c = 'a'; c <= 'h'; ++c, ++n) { // in order, six to a leaf
      o[1000 + n] = "[" + pageRef(page) + " /XYZ 0 200 null]";
      items += "(" + destName(page, c) + ") " + ref(1000 + n) + " ";
      if (n % 6 == 5) {
        const std::string first = items.substr(1, items.find(')') - 1);
        o[3000 + n] =
            "<< /Names [" + items + "] /Limits [(" + first + ") (" + destName(page, c) + ")] >>";
        kids += ref(3000 + n) + " ";
        items.clear();
      }
    }
  }
  o[500] = "<< /Kids [" + kids + "] >>";
  std::map<int, std::vector<int>> children; // outline node -> its items
  std::vector<int> last(4, 600);            // the last item at each level
  std::map<int, std::string> body;
  for (int b = 0; b < kManualPages; ++b) {
    const int level = bookmarkLevel(b), id = 601 + b, parent = last[level - 1];
    const std::string name = destName(b + 1, 'c');
    body[id] = "/Title (B" + std::to_string(b) + ") /Parent " + ref(parent) +
               (b % 3 == 0   ? " /A << /S /GoTo /D (" + name + ") >>"
                : b % 3 == 1 ? " /Dest (" + name + ")"
                             : " /Dest [" + pageRef(b + 1) + " /Fit]");
    children[parent].push_back(id);
    last[level] = id;
  }
  body[600] = "/Type /Outlines";
  for (auto& [node, list] : children) {
    body[node] += " /First " + ref(list.front()) + " /Last " + ref(list.back()) + " /Count " +
                  std::to_string(list.size());
    for (std::size_t i = 0; i + 1 < list.size(); ++i)
      body[list[i]] += " /Next " + ref(list[i + 1]);
  }
  for (const auto& [id, text] : body)
    o[id] = "<< " + text + " >>";
  o[1] = "<< /Type /Catalog /Pages 2 0 R /Names << /Dests 500 0 R >> /Outlines 600 0 R "
         "/PageLabels << /Nums [0 << /S /r >> 4 << /S /D >> 20 << /S /D /P (A-) >>] >> >>";
  writeObjects(path, o);
}

// What a part of `pages` (source page numbers, in order) must hold, and what
// independent readers find in it: bookmarks as "level title page" (a dropped
// bookmark's children move up to its nearest kept ancestor) and named
// destinations as "page name".
std::vector<std::string> expectedManualPart(const std::vector<int>& pages) {
  auto at = [&](int page) {
    auto it = std::find(pages.begin(), pages.end(), page);
    return it == pages.end() ? 0 : static_cast<int>(it - pages.begin()) + 1;
  };
  std::vector<std::string> result;
  // Per level, the depth in the part of the last bookmark there, or of its
  // nearest kept ancestor when it was dropped (0: none).
  std::vector<int> depthAt(4, 0);
  for (int b = 0; b < kManualPages; ++b) {
    const int level = bookmarkLevel(b);
    depthAt[level] = 0;
    for (int up = level - 1; up >= 1; --up) {
      if (depthAt[up] > 0) {
        depthAt[level] = depthAt[up];
        break;
      }
    }
    if (at(b + 1) == 0)
      continue;
    depthAt[level] += 1;
    result.push_back(std::to_string(depthAt[level]) + " B" + std::to_string(b) + " " +
                     std::to_string(at(b + 1)));
  }
  std::vector<std::string> dests;
  for (int page = 1; page <= kManualPages; ++page)
    for (char c = 'a'; c <= 'h'; ++c)
      if (at(page) != 0)
        dests.push_back(std::to_string(at(page)) + " " + destName(page, c));
  std::sort(dests.begin(), dests.end());
  result.insert(result.end(), dests.begin(), dests.end());
  return result;
}

std::vector<std::string> manualPartFound(const std::string& pdf) {
  std::vector<std::string> result, dests;
  std::istringstream outline(runProgram({"mutool", "show", pdf, "outline"}, "", 30).out);
  for (std::string line; std::getline(outline, line);) {
    const std::size_t quote = line.find('"'), page = line.find("#page=");
    if (quote == std::string::npos || page == std::string::npos)
      continue;
    const std::string title = line.substr(quote + 1, line.find('"', quote + 1) - quote - 1);
    result.push_back(std::to_string(quote - 1) + " " + title + " " +
                     std::to_string(std::atoi(line.c_str() + page + 6)));
  }
  std::istringstream list(runProgram({"pdfinfo", "-dests", pdf}, "", 30).out);
  for (std::string line; std::getline(list, line);) {
    const std::size_t quote = line.find('"');
    if (quote != std::string::npos)
      dests.push_back(std::to_string(std::atoi(line.c_str())) + " " +
                      line.substr(quote + 1, line.rfind('"') - quote - 1));
  }
  std::sort(dests.begin(), dests.end());
  result.insert(result.end(), dests.begin(), dests.end());
  return result;
}

// The bookmarks and named destinations of the pages taken, and only those,
// command after command of one session: what is read once per source and
// kept never goes stale, finished parts and repeated pages included.
TEST(Session, PartsOfAManualKeepTheirBookmarksAndDestinations) {
  TempDir dir;
  const std::string src = dir.file("manual.pdf"), info = dir.file("info.txt");
  writeManual(src);
  writeFile(info, "InfoKey: Title\nInfoValue: Part\n");
  const struct {
    std::string ranges;
    std::vector<int> pages;
    bool finished;
  } cases[] = {
      {"A5-9", {5, 6, 7, 8, 9}, false},
      {"A1-end", {}, false},
      {"A14-15 A4", {14, 15, 4}, true},
      {"A8 A7-8", {8, 7, 8}, false},
      {"A2-11", {2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, true},
      {"A24", {24}, true},
  };
  Session s;
  ASSERT_EQ(s.send("A=" + q(src) + " page_sizes output -").code, 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ranges);
    std::vector<int> pages = c.pages; // none: every page
    for (int page = 1; c.pages.empty() && page <= kManualPages; ++page)
      pages.push_back(page);
    const std::string part = dir.file("part.pdf");
    const Status st =
        s.send("A=" + q(src) + " cat " + c.ranges +
               (c.finished ? " update_info " + q(info) : std::string()) + " output " + q(part));
    ASSERT_EQ(st.code, 0) << st.message;
    EXPECT_EQ(manualPartFound(part), expectedManualPart(pages));
  }
}

// A session reads on from the file it opened, whatever its path names
// later: a source moved over or deleted between two commands still gives the
// first document's pages, whether it was read whole or is read as needed.
// One changed in place cannot be read consistently: that command and every
// later one on the file fail, rather than read another version.
TEST(Session, ASourceChangedBetweenCommandsIsNeverMixed) {
  TempDir dir;
  const std::string src = dir.file("src.pdf"), other = dir.file("other.pdf");
  const std::size_t large = std::size_t{65} << 20;
  const auto replace = [&] {
    writeObjects(other, textPages(2));
    ::rename(other.c_str(), src.c_str());
  };
  const struct {
    const char* what;
    std::size_t padding;
    std::function<void()> change;
    bool fails;
  } cases[] = {
      {"replaced", 0, replace, false},
      {"large, replaced", large, replace, false},
      {"rewritten in place", 0, [&] { writeFile(src, readFile(src) + "\n% more\n"); }, true},
      {"large, truncated", large, [&] { (void)!::truncate(src.c_str(), 4000); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    writeObjects(src, textPages(5, c.padding));
    const std::string part = dir.file("part.pdf");
    ::unlink(part.c_str());
    Session s;
    ASSERT_EQ(s.send("A=" + q(src) + " dump_data output -").code, 0);
    c.change();
    const Status st = s.send("A=" + q(src) + " cat A2-4 output " + q(part));
    if (!c.fails) {
      EXPECT_EQ(st.code, 0) << st.message;
      EXPECT_EQ(pageTexts(part), (std::vector<std::string>{"Page 2", "Page 3", "Page 4"}));
      continue;
    }
    EXPECT_EQ(st.code, 1);
    EXPECT_NE(st.message.find("was changed"), std::string::npos) << st.message;
    EXPECT_FALSE(exists(part));
    EXPECT_NE(s.send("A=" + q(src) + " cat A1 measure").message.find("was changed"),
              std::string::npos)
        << "never opened again";
  }
}

// The session's own standard input and output are never a command's file,
// however they are named: reading one would swallow the next commands,
// writing one would put a document ahead of the answer.
TEST(Session, ItsOwnInputAndOutputAreRefused) {
  TempDir dir;
  const std::string src = dir.file("src.pdf");
  writePdf(src, PdfShape{}.withPages(2));
  const struct {
    std::string command;
    std::string refusal;
  } cases[] = {
      {"A=/dev/stdin cat A1 measure", "Failed to open PDF file: /dev/stdin is this session's "
                                      "standard input"},
      {q(src) + " update_info /proc/self/fd/0 output " + q(dir.file("x.pdf")),
       "Failed to open info file: /proc/self/fd/0 is this session's standard input"},
      {"A=" + q(src) + " cat A1 output /dev/stdout",
       "Unable to open file for writing: /dev/stdout is this session's standard output"},
  };
  Session s;
  for (const auto& c : cases) {
    const Status st = s.send(c.command);
    EXPECT_EQ(st.code, 1) << c.command;
    EXPECT_EQ(st.message.rfind("Error: [refused] " + c.refusal, 0), 0u) << st.message;
    // the channel still carries exactly one answer per command
    EXPECT_EQ(s.send("A=" + q(src) + " cat A2 measure").code, 0) << c.command;
  }
  EXPECT_TRUE(dir.entries().size() == 1) << "nothing written";
}

// Every refusal starts with its reason code, the same in the one-shot error
// line and in the session's answer; a source changed under the session says
// so too.
TEST(Session, RefusalsCarryTheirReasonCode) {
  TempDir dir;
  const std::string src = dir.file("src.pdf"), out = dir.file("out.pdf");
  writePdf(src, PdfShape{}.withPages(2));
  const std::string locked = dir.file("locked.pdf");
  writePdf(locked, PdfShape{}.withLock({"user", "owner", Cipher::Aes128}));
  const std::string junk = dir.file("junk.pdf");
  writeFile(junk, std::string(4000, 'x'));
  const struct {
    std::vector<std::string> args;
    std::string code;
  } cases[] = {
      {{src, "cat", "1"}, "usage"},
      {{src, "burst", "output", out}, "not_supported"},
      {{src, "cat", "1", "output", out, "flatten"}, "not_supported"},
      {{dir.file("missing.pdf"), "dump_data"}, "not_found"},
      {{locked, "dump_data"}, "password_required"},
      {{locked, "input_pw", "wrong", "dump_data"}, "password_incorrect"},
      {{junk, "dump_data"}, "damaged"},
      {{src, "cat", "9", "output", out}, "range"},
      {{src, "cat", "1", "output", dir.file("no/such/folder.pdf")}, "io"},
      {{src, "output", src}, "refused"},
  };
  Session s;
  for (const auto& c : cases) {
    const std::string expected = "Error: [" + c.code + "] ";
    const RunResult r = oneShot(c.args);
    EXPECT_EQ(r.exitCode, 1) << c.code;
    EXPECT_EQ(firstLine(r.err).rfind(expected, 0), 0u) << r.err;
    std::string command;
    for (const std::string& arg : c.args)
      command += q(arg) + " ";
    const Status st = s.send(command);
    EXPECT_EQ(st.code, 1) << c.code;
    EXPECT_EQ(st.message.rfind(expected, 0), 0u) << st.message;
  }
  EXPECT_EQ(s.send("A=" + q(src) + " cat A1 measure").code, 0);
  writePdf(src, PdfShape{}.withPages(3));
  EXPECT_EQ(s.send("A=" + q(src) + " cat A1 measure").message.rfind("Error: [changed] ", 0), 0u);
}

// libqpdf can leave a document half changed when a command fails on it (a
// page tree that loops): the next command must fail the same way, not crash.
TEST(Session, AFailedCommandDoesNotSpoilTheNext) {
  TempDir dir;
  const std::string src = dir.file("loop.pdf");
  std::map<int, std::string> objects;
  objects[1] = "<< /Type /Catalog /Pages 2 0 R >>";
  objects[2] = "<< /Type /Pages /Kids [10 0 R 3 0 R] /Count 2 >>";
  objects[3] = "<< /Type /Pages /Parent 2 0 R /Kids [11 0 R 2 0 R] /Count 1 >>";
  for (int page : {10, 11})
    objects[page] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 10 10] >>";
  writeObjects(src, objects);
  const std::string error = firstLine(oneShot({src, "dump_data"}).err);
  ASSERT_EQ(error.rfind("Error: ", 0), 0u);
  Session s;
  for (const char* command : {" dump_data", " page_sizes measure", " cat A1 measure"})
    EXPECT_EQ(s.send("A=" + q(src) + command).message, error) << command;
}

TEST(Session, PasswordsTravelInTheCommand) {
  TempDir dir;
  const std::string plain = dir.file("plain.pdf"), locked = dir.file("locked \"pw\".pdf");
  const std::string password = "p \"w\" \\";
  writePdf(plain, PdfShape{}.withPages(3));
  ASSERT_EQ(oneShot({plain, "output", locked, "encrypt_aes128", "user_pw", password}).exitCode, 0);
  Session s;
  const std::string cat = "A=" + q(locked) + " cat A2 measure";
  const std::string with = "A=" + q(locked) + " input_pw A=" + q(password) + " cat A2 measure";
  EXPECT_NE(s.send(cat).message.find("PASSWORD REQUIRED"), std::string::npos);
  const Status st = s.send(with);
  EXPECT_EQ(st.code, 0) << st.message;
  EXPECT_EQ(st.bytes, fileSize((oneShot({"A=" + locked, "input_pw", "A=" + password, "cat", "A2",
                                         "output", dir.file("one.pdf")}),
                                dir.file("one.pdf"))));
  EXPECT_EQ(s.send("A=" + q(locked) + " input_pw A=wrong cat A2 measure").code, 1);
}

// The engine never outlives its front end, even while the pipe to it
// stays open elsewhere.
TEST(Session, EndsWhenTheFrontEndDies) {
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  const pid_t frontEnd = ::fork();
  if (frontEnd == 0) {
    Session s;
    // a process of its own keeps the engine's input open: no end of input
    const pid_t holder = ::fork();
    if (holder == 0) {
      ::pause();
      ::_exit(0);
    }
    const pid_t pids[] = {s.pid, holder};
    (void)!::write(report[1], pids, sizeof pids);
    ::pause();
    ::_exit(0);
  }
  pid_t pids[2] = {};
  ASSERT_EQ(::read(report[0], pids, sizeof pids), static_cast<ssize_t>(sizeof pids));
  ::kill(frontEnd, SIGKILL);
  ::waitpid(frontEnd, nullptr, 0);
  bool gone = false;
  for (int i = 0; i < 20 && !gone; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::string stat = readFile("/proc/" + std::to_string(pids[0]) + "/stat");
    gone = stat.empty() || stat.find(") Z") != std::string::npos;
  }
  EXPECT_TRUE(gone) << "the engine still runs a second after its front end died";
  ::kill(pids[1], SIGKILL);
  ::close(report[0]);
  ::close(report[1]);
}

} // namespace
} // namespace sundrel::tovix::test
