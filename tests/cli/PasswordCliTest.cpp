// sundrel-split with protected sources: a protected file without its password, the prompt on a
// terminal, no password in any process's arguments, and what the parts of a protected source get.

#include "tests/support/TempDir.h"
#include "tests/support/TestEnv.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace sundrel::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPassword = "Secret#1";

// A PDF of `pages` pages, each with about 3 KB of content, written by hand.
std::string pdfWithPages(int pages) {
  std::vector<std::string> objects{"<< /Type /Catalog /Pages 2 0 R >>", ""};
  std::string kids;
  for (int page = 0; page < pages; ++page) {
    const int pageObject = int(objects.size()) + 1;
    kids += std::to_string(pageObject) + " 0 R ";
    objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents " +
                      std::to_string(pageObject + 1) + " 0 R >>");
    std::string content;
    for (int line = 0; line < 200; ++line)
      content += "0 0 m " + std::to_string(page + line) + " 100 l S\n";
    objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
                      "\nendstream");
  }
  objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>";
  std::string pdf = "%PDF-1.4\n";
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const std::size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (const std::size_t offset : offsets) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
    pdf += entry;
  }
  return pdf + "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
         " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
}

struct Result {
  int status = -1;
  std::string err;
};

class PasswordCli : public ::testing::Test {
protected:
  void SetUp() override {
    const fs::path bin = binDir();
    if (!fs::exists(bin / "sundrel-split") || !fs::exists(bin / "tovix.dll") ||
        std::system("qpdf --version >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "sundrel-split, the engine or qpdf is missing";
    fs::copy_file(bin / "sundrel-split", program.path() / "sundrel-split");
    fs::create_symlink(bin / "tovix.dll", program.path() / "tovix.dll");
    fs::create_directory(work.path() / "out");
    plain = work.file("plain.pdf");
    writeFile(plain, pdfWithPages(6));
    locked = work.file("locked.pdf");
    ASSERT_EQ(
        std::system(("qpdf --encrypt " + std::string(kPassword) + " owner 128 --use-aes=y -- " +
                     shellQuote(plain) + " " + shellQuote(locked))
                        .c_str()),
        0);
  }

  // The command line (stdin empty, not a terminal) with a settings file of
  // our own.
  std::string command(const std::string& options, const std::string& settings = "") {
    writeFile(program.file("settings.ini"), settings);
    return shellQuote(program.file("sundrel-split")) + " --quiet --size 1024 --output-dir " +
           shellQuote(work.file("out")) + " --settings " +
           shellQuote(program.file("settings.ini")) + " " + options;
  }
  Result split(const std::string& options, const std::string& settings = "") {
    const int raw = std::system((command(options, settings) + " 2>" + shellQuote(work.file("err")) +
                                 " >/dev/null </dev/null")
                                    .c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(work.file("err"))};
  }
  std::vector<std::string> parts(const std::string& stem) const {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(work.path() / "out"))
      if (entry.path().filename().string().rfind(stem + " part", 0) == 0)
        found.push_back(entry.path().string());
    return found;
  }

  TempDir program;
  TempDir work;
  std::string plain;
  std::string locked;
};

TEST_F(PasswordCli, ProtectedFileWithoutPasswordFailsAlone) {
  const Result result = split(shellQuote(locked) + " " + shellQuote(plain));
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find(locked), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("PASSWORD REQUIRED"), std::string::npos) << result.err;
  EXPECT_TRUE(parts("locked").empty());
  EXPECT_FALSE(parts("plain").empty());
}

TEST_F(PasswordCli, AsksOnATerminalOnlyForTheProtectedFileWithoutEcho) {
  const std::string line = command(shellQuote(plain) + " " + shellQuote(locked));
  int terminal = -1;
  const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::execl("/bin/sh", "sh", "-c", ("exec " + line).c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::string seen;
  bool answered = false;
  for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
       std::chrono::steady_clock::now() < until;) {
    pollfd ready{terminal, POLLIN, 0};
    if (::poll(&ready, 1, 100) <= 0)
      continue;
    char buffer[512];
    const ssize_t got = ::read(terminal, buffer, sizeof buffer);
    if (got <= 0)
      break; // the program ended
    seen.append(buffer, std::size_t(got));
    if (!answered && seen.find("Password for") != std::string::npos) {
      ASSERT_EQ(::write(terminal, "Secret#1\n", 9), 9);
      answered = true;
    }
  }
  // A program still waiting for an answer must not hang the suite.
  if (::waitpid(child, nullptr, WNOHANG) == 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
  }
  ::close(terminal);
  EXPECT_TRUE(answered) << seen;
  EXPECT_NE(seen.find("Password for " + locked), std::string::npos) << seen;
  EXPECT_EQ(seen.find("Password for " + plain), std::string::npos) << seen;
  EXPECT_EQ(seen.find(kPassword), std::string::npos) << seen; // not echoed
}

// Every process's arguments while sundrel-split runs with a password file.
TEST_F(PasswordCli, NoPasswordInAnyProcessArguments) {
  writeFile(work.file("passwords.txt"), std::string(kPassword) + "\n");
  const std::string line = command("--password-file " + shellQuote(work.file("passwords.txt")) +
                                   " " + shellQuote(locked)) +
                           " >/dev/null 2>&1 </dev/null";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::execl("/bin/sh", "sh", "-c", ("exec " + line).c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  bool sawEngine = false; // the scan does see the run's engine
  std::string leaked;
  while (::waitpid(child, nullptr, WNOHANG) == 0) {
    if (DIR* proc = ::opendir("/proc")) {
      while (const dirent* entry = ::readdir(proc)) {
        const std::string arguments = readFile(std::string("/proc/") + entry->d_name + "/cmdline");
        // Only this run's programs: tests running beside it may pass the
        // password to qpdf on purpose.
        const bool ours = arguments.find("tovix.dll") != std::string::npos ||
                          arguments.find("sundrel-split") != std::string::npos;
        if (ours && arguments.find(kPassword) != std::string::npos)
          leaked = arguments;
        sawEngine = sawEngine || arguments.find("tovix.dll") != std::string::npos;
      }
      ::closedir(proc);
    }
  }
  EXPECT_TRUE(sawEngine);
  EXPECT_EQ(leaked, "");
}

// Right password: the parts keep the source's encryption with "Keep original
// file encryption", and have none with it cleared and no security added. A
// wrong password writes nothing. Needs the split to hand rowPassword to the
// engine.
TEST_F(PasswordCli, PartsOfAProtectedSource) {
  // The AES-128 source of every test, and an RC4-128 one.
  const std::string rc4 = work.file("rc4.pdf");
  ASSERT_EQ(std::system(("qpdf --allow-weak-crypto --encrypt " + std::string(kPassword) +
                         " owner 128 --use-aes=n -- " + shellQuote(plain) + " " + shellQuote(rc4))
                            .c_str()),
            0);
  const std::string passwords = work.file("passwords.txt");
  for (const auto& [source, cipher] : {std::pair{locked, "AESv2"}, std::pair{rc4, "'R = 3'"}}) {
    SCOPED_TRACE(source);
    const std::string stem = fs::path(source).stem().string();
    writeFile(passwords, source + "\t" + kPassword + "\n");
    Result result = split("--password-file " + shellQuote(passwords) + " " + shellQuote(source),
                          "[Output Security]\nFileEncry=1\n");
    ASSERT_TRUE(result.status == 0 || result.status == 3) << result.err; // 3: a page over the limit
    ASSERT_FALSE(parts(stem).empty());
    for (const auto& part : parts(stem)) {
      EXPECT_NE(std::system(("qpdf --check " + shellQuote(part) + " >/dev/null 2>&1").c_str()), 0)
          << part << " opens without the password";
      EXPECT_EQ(std::system(("qpdf --show-encryption --password=" + std::string(kPassword) + " " +
                             shellQuote(part) + " | grep -q " + cipher)
                                .c_str()),
                0)
          << part;
      fs::remove(part);
    }

    result = split("--password-file " + shellQuote(passwords) + " " + shellQuote(source),
                   "[Output Security]\nFileEncry=0\nAddSecuritySet=0\n");
    ASSERT_TRUE(result.status == 0 || result.status == 3) << result.err;
    for (const auto& part : parts(stem)) {
      EXPECT_EQ(std::system(("qpdf --show-encryption " + shellQuote(part) +
                             " | grep -q 'File is not encrypted'")
                                .c_str()),
                0)
          << part;
      fs::remove(part);
    }
  }

  writeFile(passwords, "wrong\n");
  const Result result =
      split("--password-file " + shellQuote(passwords) + " " + shellQuote(locked));
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("incorrect"), std::string::npos) << result.err;
  EXPECT_TRUE(parts("locked").empty());
}

} // namespace
} // namespace sundrel::test
