// The session client against a shell stand-in for the engine: handshake,
// status lines, payloads, and an engine that dies, hangs or talks nonsense.

#include "bridge/EngineSession.h"

#include "tests/support/TempDir.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sundrel::bridge {
namespace {

namespace fs = std::filesystem;

// Answers by the command's first word; "exec" so that killing the shell
// kills what it runs.
constexpr const char* kStandIn = R"(#!/bin/sh
[ "$1" = "--session" ] || exit 1
echo "tovix-session 1"
while IFS= read -r line; do
  case "$line" in
    payload*) printf '0 5 ok\nhello' ;;
    die*) exit 0 ;;
    hang*) exec sleep 30 ;;
    garbage*) echo "what?" ;;
    *) echo "0 42 got $line" ;;
  esac
done
)";

class EngineSessionTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::ofstream(engine) << kStandIn;
    fs::permissions(engine, fs::perms::owner_all);
  }
  static bool alive(pid_t pid) { return pid > 0 && ::kill(pid, 0) == 0; }

  test::TempDir dir;
  std::string engine = dir.file("tovix.dll");
};

TEST_F(EngineSessionTest, AnswersOneStatusLinePerCommand) {
  EngineSession session;
  ASSERT_TRUE(session.start(engine));
  EngineAnswer answer = session.request("A=\"x y.pdf\" cat A1-2 measure", false, 5000);
  EXPECT_TRUE(answer.answered);
  EXPECT_EQ(answer.exitCode, 0);
  EXPECT_EQ(answer.bytes, 42u);
  EXPECT_EQ(answer.message, "got A=\"x y.pdf\" cat A1-2 measure");
  // A line break inside a command cannot start a second command.
  answer = session.request("one\ntwo", false, 5000);
  EXPECT_EQ(answer.message, "got one two");
  answer = session.request("payload", true, 5000);
  EXPECT_EQ(answer.payload, "hello");
  answer = session.request("after", false, 5000);
  EXPECT_EQ(answer.message, "got after");
  const pid_t pid = session.pid();
  session.stop();
  EXPECT_FALSE(alive(pid));
}

TEST_F(EngineSessionTest, AnEngineThatDiesHangsOrBabblesIsNeverAnAnswer) {
  struct Case {
    std::string command;
    std::string message;
  };
  const Case cases[] = {
      {"die", "the engine stopped"},
      {"hang", "the engine took too long and was stopped"},
      {"garbage", "the engine answered something unexpected"},
  };
  for (const Case& c : cases) {
    EngineSession session;
    ASSERT_TRUE(session.start(engine));
    const pid_t pid = session.pid();
    const EngineAnswer answer = session.request(c.command, false, 300);
    EXPECT_FALSE(answer.answered) << c.command;
    EXPECT_EQ(answer.message, c.message);
    EXPECT_FALSE(session.active());
    EXPECT_FALSE(alive(pid)) << c.command;
    EXPECT_FALSE(session.request("again", false, 300).answered);
  }
}

TEST_F(EngineSessionTest, EnginesWithoutASessionFailTheHandshake) {
  for (const std::string script :
       {"#!/bin/sh\nexit 1\n", "#!/bin/sh\necho usage: x\n", "#!/bin/sh\n", "not a program"}) {
    std::ofstream(engine, std::ios::trunc) << script;
    EngineSession session;
    EXPECT_FALSE(session.start(engine)) << script;
    EXPECT_FALSE(session.active());
  }
  EngineSession session;
  EXPECT_FALSE(session.start(dir.file("missing")));
}

// The engine never outlives the program that started it.
TEST_F(EngineSessionTest, TheEngineEndsWithTheFrontEnd) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t frontEnd = ::fork();
  if (frontEnd == 0) {
    EngineSession session;
    const pid_t pid = session.start(engine) ? session.pid() : -1;
    (void)!::write(fds[1], &pid, sizeof pid);
    ::pause();
    ::_exit(0);
  }
  pid_t enginePid = -1;
  ASSERT_EQ(::read(fds[0], &enginePid, sizeof enginePid), static_cast<ssize_t>(sizeof enginePid));
  ASSERT_GT(enginePid, 0);
  ::kill(frontEnd, SIGKILL);
  ::waitpid(frontEnd, nullptr, 0);
  bool gone = false;
  for (int i = 0; i < 100 && !gone; ++i) {
    // The orphan is reaped by init; a zombie counts as gone.
    std::ifstream stat("/proc/" + std::to_string(enginePid) + "/stat");
    std::string pid, name, state;
    gone = !(stat >> pid >> name >> state) || state == "Z";
    if (!gone)
      ::usleep(10000);
  }
  EXPECT_TRUE(gone);
  ::close(fds[0]);
  ::close(fds[1]);
}

TEST(EngineLimits, DeadlineGrowsWithTheSource) {
  const EngineLimits saved = engineLimits();
  setEngineLimits({0, 10, 3});
  EXPECT_EQ(engineDeadlineMs(0), 10000);
  EXPECT_EQ(engineDeadlineMs(std::uint64_t{100} << 20), 310000);
  setEngineLimits(saved);
}

} // namespace
} // namespace sundrel::bridge
