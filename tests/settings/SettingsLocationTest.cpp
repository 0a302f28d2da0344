// Where the settings live: the user's configuration directory by the base
// directory rules, or a writable file beside the program (portable use).

#include "settings/SettingsLocation.h"
#include "bridge/EngineRunner.h"
#include "settings/SettingsFile.h"

#include "tests/support/TempDir.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sundrel::settings {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// Sets or clears an environment variable for the scope.
class ScopedEnv {
public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name(name) {
    if (const char* old = std::getenv(name))
      previous = old;
    value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { previous ? ::setenv(name, previous->c_str(), 1) : ::unsetenv(name); }

private:
  const char* name;
  std::optional<std::string> previous;
};

mode_t modeOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

class SettingsLocation : public ::testing::Test {
protected:
  void SetUp() override { bridge::setProgramDirectory(program.str()); }
  void TearDown() override { bridge::setProgramDirectory({}); }
  TempDir program;
  TempDir home;
};

TEST_F(SettingsLocation, UserDirectoryFollowsTheBaseDirectoryRules) {
  struct Case {
    std::optional<std::string> xdg, home;
    std::string expected;
  };
  const Case cases[] = {
      {"/x/cfg", "/h", "/x/cfg/sundrel/"},
      {"/x/cfg/", "/h", "/x/cfg/sundrel/"},
      {"", "/h", "/h/.config/sundrel/"},
      {std::nullopt, "/h/", "/h/.config/sundrel/"},
      {"relative/cfg", "/h", "/h/.config/sundrel/"}, // a relative path is ignored
  };
  for (const auto& c : cases) {
    ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
    ScopedEnv homeVar("HOME", c.home);
    EXPECT_EQ(userConfigDirectory(), c.expected) << c.xdg.value_or("(unset)");
  }
}

TEST_F(SettingsLocation, UserFileIsMadePrivateAndAPortableFileKeepsItsPlace) {
  ScopedEnv xdg("XDG_CONFIG_HOME", home.file("config"));
  const std::string user = home.file("config/sundrel/SettingValue.ini");
  EXPECT_EQ(settingsFilePath(), user);
  SplitSettings options;
  options.openPassword = "secret";
  const SaveResult saved = saveUserSettings(options);
  ASSERT_TRUE(saved.saved) << saved.reason;
  EXPECT_EQ(saved.path, user);
  EXPECT_EQ(modeOf(home.file("config")), 0700u);
  EXPECT_EQ(modeOf(home.file("config/sundrel")), 0700u);
  EXPECT_EQ(modeOf(user), 0600u);
  EXPECT_NE(readFile(user).find("DocumentPassword=secret\n"), std::string::npos);

  // A settings file beside the program wins, and a save keeps its mode.
  const std::string portable = program.file("SettingValue.ini");
  writeFile(portable, "[TabSelect]\nTabNumber=2\n");
  ::chmod(portable.c_str(), 0640);
  EXPECT_EQ(settingsFilePath(), portable);
  ASSERT_TRUE(saveUserSettings(options).saved);
  EXPECT_EQ(modeOf(portable), 0640u);
  EXPECT_NE(readFile(portable).find("DocumentPassword=secret\n"), std::string::npos);
}

// A portable file that this user cannot write does not stop the options from
// being kept: they go to the user's directory. Run without root, which
// permission bits do not stop.
TEST_F(SettingsLocation, ReadOnlyPortableFileGivesWayToTheUserDirectory) {
  writeFile(program.file("SettingValue.ini"), "");
  ::chmod(program.file("SettingValue.ini").c_str(), 0444);
  // Open to everyone: only the file's own mode keeps this user out.
  ::chmod(program.str().c_str(), 0777);
  ::chmod(home.str().c_str(), 0777);
  ScopedEnv xdg("XDG_CONFIG_HOME", home.file("config"));
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
      ::_exit(3);
    const SaveResult saved = saveUserSettings(SplitSettings{});
    ::_exit(!saved.saved ? 2 : saved.path == home.file("config/sundrel/SettingValue.ini") ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
}

TEST_F(SettingsLocation, FailedSaveSaysWhy) {
  writeFile(home.file("plain"), "x");
  ScopedEnv xdg("XDG_CONFIG_HOME", home.file("plain/config"));
  const SaveResult saved = saveUserSettings(SplitSettings{});
  EXPECT_FALSE(saved.saved);
  EXPECT_EQ(saved.path, home.file("plain/config/sundrel/SettingValue.ini"));
  EXPECT_NE(saved.reason.find("Not a directory"), std::string::npos) << saved.reason;
}

} // namespace
} // namespace sundrel::settings
