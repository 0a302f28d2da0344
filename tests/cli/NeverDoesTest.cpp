// What sundrel-split never does, one case per fault class, through the real
// program and engine: remove anything but its own exact names, write a part
// over a listed input, put a password in a process's arguments, drop the
// security of a settings file, change a folder in a dry run, call a lost
// part list a success, or fail for a TMPDIR it cannot use.

#include "tests/support/PdfFixtures.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestEnv.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

namespace sundrel::test {
namespace {

namespace fs = std::filesystem;

// Every file and folder under root with its contents, hidden ones included.
std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    found[entry.path().lexically_relative(root)] =
        entry.is_directory() ? "<folder>" : readFile(entry.path());
  return found;
}

// A process id that no process has: a child that has ended.
std::string deadPid() {
  const pid_t child = ::fork();
  if (child == 0)
    ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return std::to_string(child);
}

// Runs command through sh, scanning every process's arguments meanwhile;
// gives the exit status and the arguments of any process that held secret.
int runScanning(const std::string& command, const std::string& secret, std::string& leaked) {
  const pid_t child = ::fork();
  if (child == 0) {
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    std::error_code error;
    for (auto it = fs::directory_iterator("/proc", error);
         !secret.empty() && !error && it != fs::directory_iterator(); it.increment(error)) {
      const std::string arguments = readFile(it->path() / "cmdline");
      if (arguments.find("tovix.dll") != std::string::npos &&
          arguments.find(secret) != std::string::npos)
        leaked = arguments;
    }
    ::usleep(secret.empty() ? 10000 : 0);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Work {
  TempDir dir;
  TempDir capture; // the run's standard error, exit status and part list
  std::string path(const std::string& name) const { return dir.file(name); }
  std::string q(const std::string& name) const { return shellQuote(path(name)); }
  std::string env;                           // assignments before the program
  std::string err;                           // what it said
  std::map<std::string, std::string> before; // what setup wants unchanged
};

struct Case {
  std::string name;
  std::function<std::string(Work&)> setup; // gives the arguments
  std::string output;                      // where the part list goes
  int status;
  std::string message; // on standard error
  std::function<void(Work&)> check;
  std::string secret = {}; // no process's arguments may hold it
};

const std::string kSecureSettings =
    "[Output Security]\nFileEncry=0\nAddSecuritySet=1\nDocumentPassword=Pw4Parts\n";

// The parts in folder, with no hidden file beside them.
int partsIn(const std::string& folder) {
  int parts = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename();
    EXPECT_NE(name[0], '.') << "a hidden file is left: " << name;
    parts += name.find(" part ") != std::string::npos;
  }
  return parts;
}

// Makes folder (mode 0700) in the work folder, with the named files in it.
void folder(Work& work, const std::string& name, std::initializer_list<std::string> files) {
  fs::create_directories(work.path(name));
  fs::permissions(work.path(name), fs::perms::owner_all, fs::perm_options::replace);
  for (const std::string& file : files)
    writeFile(work.path(name + "/" + file), "x");
}

TEST(NeverDoes, WhatItMustNot) {
  const fs::path bin = binDir();
  if (!fs::exists(bin / "sundrel-split") || !fs::exists(bin / "tovix.dll"))
    GTEST_SKIP() << "sundrel-split or the engine is not built";
  // A program folder of its own: no settings file beside the program.
  const TempDir program;
  fs::copy_file(bin / "sundrel-split", program.path() / "sundrel-split");
  fs::create_symlink(bin / "tovix.dll", program.path() / "tovix.dll");
  const std::string split = shellQuote(program.file("sundrel-split")) + " -s 50000 ";
  const std::string dead = deadPid();
  const auto intoO = [](Work& w) { return "-o " + w.q("o") + " " + w.q("doc.pdf"); };
  const auto allParts = [](Work& w) { EXPECT_EQ(partsIn(w.path("o")), 3); };
  const Case cases[] = {
      {"cleanup removes its own exact names only",
       [&](Work& w) {
         folder(w, "T/sundrel-2024-reports", {"q1.txt"});
         folder(w, "T/sundrel-" + dead + "-Ab12Cd", {"pdf1.tmp"}); // no marker: not ours
         folder(w, "o/.sundrel-2023-backup", {"x"});
         folder(w, "o/.tovix-" + dead + "-mine", {"f"});
         folder(w, "o", {".tovix-" + dead + "-mine.pdf", ".tovix-" + dead + "-Ab12Cd.pdf"});
         w.before = snapshot(w.path(""));
         // What a killed run left: removed.
         folder(w, "T/sundrel-" + dead + "-Zz99Yy", {"pdfA1.tmp.pdf"});
         writeFile(w.path("T/sundrel-" + dead + "-Zz99Yy/.sundrel-folder"),
                   "Sundrel private temporary folder of process " + dead + "\n");
         folder(w, "o", {".sundrel-" + dead + "-Qw12Er", ".tovix-" + dead + "-As34Df"});
         w.env = "TMPDIR=" + w.q("T");
         return intoO(w);
       },
       "", 0, "",
       [](Work& w) {
         for (int part = 1; part <= 3; ++part)
           fs::remove(w.path("o/doc part 000" + std::to_string(part) + ".pdf"));
         EXPECT_EQ(snapshot(w.path("")), w.before);
       }},
      {"no part over a listed input",
       [](Work& w) {
         writePdf(w.path("doc part 0002.pdf"), PdfShape{}.withPages(2).withTitle("Other"));
         w.before["other"] = readFile(w.path("doc part 0002.pdf"));
         return w.q("doc.pdf") + " " + w.q("./doc part 0002.pdf");
       },
       "", 2, "would replace",
       [](Work& w) {
         EXPECT_EQ(readFile(w.path("doc part 0002.pdf")), w.before["other"]);
         EXPECT_NE(w.err.find("would replace " + w.path("./doc part 0002.pdf")), std::string::npos);
       }},
      {"no password in a process's arguments",
       [](Work& w) {
         folder(w, "in\nside", {});
         fs::rename(w.path("doc.pdf"), w.path("in\nside/doc.pdf"));
         writeFile(w.path("s.ini"), kSecureSettings);
         return "--settings " + w.q("s.ini") + " " + w.q("in\nside/doc.pdf");
       },
       "", 2, "would be visible to every user",
       [](Work& w) { EXPECT_EQ(partsIn(w.path("in\nside")), 0); }, "Pw4Parts"},
      {"a byte order mark keeps the security",
       [](Work& w) {
         writeFile(w.path("s.ini"), "\xEF\xBB\xBF" + kSecureSettings);
         return "--settings " + w.q("s.ini") + " " + w.q("doc.pdf");
       },
       "", 0, "",
       [](Work& w) {
         const std::string check = "qpdf --check " + w.q("doc part 0001.pdf") + " >/dev/null 2>&1";
         EXPECT_NE(std::system(check.c_str()), 0);
         EXPECT_EQ(std::system((check + " --password=Pw4Parts").c_str()), 0);
       }},
      {"a dry run changes nothing and measures what a real run writes",
       [&](Work& w) {
         writeFile(w.path("s.ini"), kSecureSettings);
         folder(w, "o/.tovix-" + dead + "-mine", {"f"});
         folder(w, "o", {".sundrel-" + dead + "-Qw12Er"});
         w.before = snapshot(w.path("o"));
         return "--dry-run --settings " + w.q("s.ini") + " " + intoO(w);
       },
       "", 0, "",
       [&](Work& w) {
         EXPECT_EQ(snapshot(w.path("o")), w.before);
         const std::string real = split + "--settings " + w.q("s.ini") + " " + intoO(w);
         EXPECT_EQ(std::system((real + " | cmp -s - " + w.capture.file("out")).c_str()), 0);
       }},
      {"a dry run into a folder not yet made",
       [](Work& w) { return "--dry-run -o " + w.q("nope") + " " + w.q("doc.pdf"); }, "", 3,
       "does not exist yet: a real run needs it made first",
       [](Work& w) { EXPECT_FALSE(fs::exists(w.path("nope"))); }},
      {"a full disk under the part list", intoO, ">/dev/full", 2,
       "could not be written: No space left", allParts},
      {"a closed standard output", intoO, ">&-", 2,
       "could not be written: standard output is closed", allParts},
      {"a reader gone from the pipe", intoO, "| true", 2, "could not be written: Broken pipe",
       allParts},
      {"a TMPDIR with a line break",
       [](Work& w) {
         folder(w, "T\nx", {});
         w.env = "TMPDIR=" + w.q("T\nx");
         return w.q("doc.pdf");
       },
       "", 0, "", [](Work& w) { EXPECT_TRUE(fs::is_empty(w.path("T\nx"))); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Work work;
    fs::create_directories(work.path("o"));
    writePdf(work.path("doc.pdf"), PdfShape{}.withPages(6).withPageImages(20000));
    const std::string arguments = c.setup(work);
    const std::string command =
        "export XDG_CONFIG_HOME=" + shellQuote(work.capture.file("cfg")) + "; (" + work.env + " " +
        split + arguments + " 2>" + shellQuote(work.capture.file("err")) + "; echo $? >" +
        shellQuote(work.capture.file("status")) + ") " +
        (c.output.empty() ? ">" + shellQuote(work.capture.file("out")) : c.output);
    std::string leaked;
    ASSERT_EQ(runScanning("timeout 300 sh -c " + shellQuote(command), c.secret, leaked), 0);
    EXPECT_EQ(leaked, "");
    EXPECT_EQ(std::atoi(readFile(work.capture.file("status")).c_str()), c.status);
    work.err = readFile(work.capture.file("err"));
    EXPECT_NE(work.err.find(c.message), std::string::npos) << work.err;
    c.check(work);
  }
}

} // namespace
} // namespace sundrel::test
