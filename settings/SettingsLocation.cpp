#include "settings/SettingsLocation.h"

#include "bridge/EngineRunner.h"
#include "settings/SettingsFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sundrel::settings {
namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string homeDirectory() {
  std::string home = environment("HOME");
  if (!home.empty())
    return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr)
    return entry->pw_dir;
  return {};
}

// Makes every missing directory of path (which ends in '/') with mode 0700,
// as the base directory rules ask; existing ones are left as they are. Empty
// on success, else the reason.
std::string makeDirectories(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string directory = path.substr(0, slash);
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
      return directory + ": " + std::strerror(errno);
  }
  return {};
}

} // namespace

std::string userConfigDirectory() {
  std::string base = environment("XDG_CONFIG_HOME");
  // The base directory rules ignore a relative path.
  if (base.empty() || base.front() != '/') {
    const std::string home = homeDirectory();
    if (home.empty())
      return {};
    base = home + (home.back() == '/' ? "" : "/") + ".config";
  }
  if (base.back() != '/')
    base += '/';
  return base + "sundrel/";
}

std::string settingsFilePath() {
  const std::string programDirectory = bridge::programDirectory();
  const std::string portable = programDirectory + std::string(kSettingsFileName);
  // A replacement is written beside the file and renamed over it, so the
  // directory must take new files too.
  if (::access(portable.c_str(), W_OK) == 0 && ::access(programDirectory.c_str(), W_OK) == 0)
    return portable;
  const std::string directory = userConfigDirectory();
  return directory.empty() ? portable : directory + std::string(kSettingsFileName);
}

SaveResult saveUserSettings(const SplitSettings& settings) {
  SaveResult result;
  result.path = settingsFilePath();
  if (const std::string directory = userConfigDirectory();
      !directory.empty() && result.path.rfind(directory, 0) == 0) {
    result.reason = makeDirectories(directory);
    if (!result.reason.empty())
      return result;
  }
  result.saved = saveSettings(settings, result.path, &result.reason);
  return result;
}

} // namespace sundrel::settings
