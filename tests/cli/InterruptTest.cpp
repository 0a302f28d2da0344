// Runs of sundrel-split ended by a signal at each stage of a part, through a
// stand-in engine that waits at the chosen command: no part is ever left
// half done under its own name, and nothing of the run stays behind.

#include "tests/support/PdfFixtures.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestEnv.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace sundrel::test {
namespace {

namespace fs = std::filesystem;

class Interrupt : public ::testing::Test {
protected:
  void SetUp() override {
    const fs::path split = fs::path(binDir()) / "sundrel-split";
    if (!fs::exists(split))
      GTEST_SKIP() << "sundrel-split is not built";
    fs::copy_file(split, program.path() / "sundrel-split");
    fs::copy_file(FAKE_ENGINE, program.path() / "tovix.dll");
    writeFile(program.file("pages.txt"), "* 5\n");
    // Pages of 30000 bytes below 100000: parts 1-3 and 4-5.
    writeFile(program.file("perpage.txt"), "1 30000\n2 30000\n3 30000\n4 30000\n5 30000\n");
    writeFile(program.file("secure.ini"), "[Output Security]\nFileEncry=0\nAddSecuritySet=1\n");
    writeFile(work.file("x.pdf"), std::string(200000, 'x'));
    fs::create_directories(out());
    fs::create_directories(temp());
  }

  std::string out() { return work.file("out"); }
  std::string temp() { return work.file("tmp"); }

  pid_t start() {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setenv("TMPDIR", temp().c_str(), 1);
      ::setenv("XDG_CONFIG_HOME", work.file("config").c_str(), 1);
      const std::string program = this->program.file("sundrel-split");
      const std::string settings = "--settings=" + this->program.file("secure.ini");
      const std::string folder = "--output-dir=" + out();
      const std::string source = work.file("x.pdf");
      if (!::freopen("/dev/null", "w", stdout) || !::freopen("/dev/null", "w", stderr))
        std::_Exit(126);
      ::execl(program.c_str(), program.c_str(), "--quiet", "--size=100000", settings.c_str(),
              folder.c_str(), source.c_str(), static_cast<char*>(nullptr));
      std::_Exit(127);
    }
    return pid;
  }

  int finish(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
  }

  // What the folder holds, hidden files included.
  static std::vector<std::string> names(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder))
      found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
  }

  TempDir program;
  TempDir work;
};

TEST_F(Interrupt, NoStageLeavesAHalfDonePart) {
  struct Stage {
    const char* name;
    bool session;
    std::string waitAt; // a text of the command to stop at
  };
  const Stage stages[] = {
      {"probe", false, "|cat|A1-2|"},
      {"part extraction", false, "|output|" + out() + "/.sundrel-"},
      {"properties", false, "|update_info|"},
      {"security", false, "|encrypt_128bit|"},
      {"session measurement", true, "|measure"},
      {"session's finished part", true, "|encrypt_128bit"},
  };
  for (const auto& stage : stages) {
    for (const int signal : {SIGTERM, SIGINT, SIGKILL}) {
      SCOPED_TRACE(std::string(stage.name) + ", signal " + std::to_string(signal));
      fs::remove(program.file("waiting"));
      fs::remove(program.file("session"));
      if (stage.session)
        writeFile(program.file("session"), "");
      writeFile(program.file("wait.txt"), stage.waitAt);

      const pid_t pid = start();
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (!fs::exists(program.file("waiting")) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      const bool reached = fs::exists(program.file("waiting"));
      ::kill(pid, signal);
      const int status = finish(pid);
      ASSERT_TRUE(reached) << "the stage was never reached";
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);

      for (const auto& name : names(out()))
        EXPECT_EQ(name[0], '.') << "a part under its own name: " << name;
      if (signal != SIGKILL) {
        EXPECT_TRUE(names(out()).empty());
        EXPECT_TRUE(names(temp()).empty());
      }

      // The next run removes what a killed one left and splits the file whole.
      fs::remove(program.file("wait.txt"));
      EXPECT_EQ(finish(start()), 0);
      EXPECT_EQ(names(out()), (std::vector<std::string>{"x part 0001.pdf", "x part 0002.pdf"}));
      EXPECT_TRUE(names(temp()).empty());
      for (const auto& name : names(out()))
        fs::remove(fs::path(out()) / name);
    }
  }
}

// The real engine, stopped by SIGINT or SIGTERM at some moment of a long
// split (two files side by side), leaves no hidden file of its own in the
// output folder: the front end removes it after stopping the engine.
TEST(InterruptRealEngine, NoEngineFileStaysBehind) {
  const fs::path split = fs::path(binDir()) / "sundrel-split";
  if (!fs::exists(split) || !fs::exists(fs::path(binDir()) / "tovix.dll"))
    GTEST_SKIP() << "sundrel-split or the engine is not built";
  TempDir work;
  for (const char* name : {"a.pdf", "b.pdf"})
    writePdf(work.file(name), PdfShape{}.withPages(300).withPageImages(20000));
  const std::string out = work.file("out");
  for (int attempt = 0; attempt < 6; ++attempt) {
    const int signal = attempt % 2 == 0 ? SIGINT : SIGTERM;
    SCOPED_TRACE("attempt " + std::to_string(attempt));
    fs::remove_all(out);
    fs::create_directories(out);
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (!::freopen("/dev/null", "w", stdout) || !::freopen("/dev/null", "w", stderr))
        std::_Exit(126);
      ::execl(split.c_str(), split.c_str(), "-q", "-j", "2", "--size=100000",
              ("--output-dir=" + out).c_str(), work.file("a.pdf").c_str(),
              work.file("b.pdf").c_str(), static_cast<char*>(nullptr));
      std::_Exit(127);
    }
    // Some parts first, then the signal at a moment that moves with the attempt.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::distance(fs::directory_iterator(out), fs::directory_iterator()) < 2 &&
           std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(7 * attempt));
    ::kill(pid, signal);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);
    for (const auto& entry : fs::directory_iterator(out))
      EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
  }
}

} // namespace
} // namespace sundrel::test
