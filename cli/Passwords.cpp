#include "cli/Passwords.h"

#include "bridge/EngineRunner.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace sundrel::cli {

namespace {

std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    lines.push_back(line);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return lines;
}

std::string lineName(std::size_t index) {
  return "line " + std::to_string(index + 1);
}

std::string absolute(const std::string& path) {
  if (!path.empty() && path.front() == '/')
    return path;
  char buffer[4096];
  const char* cwd = ::getcwd(buffer, sizeof buffer);
  return cwd == nullptr ? path : std::string(cwd) + "/" + path;
}

} // namespace

std::optional<PasswordBook::FileKey> PasswordBook::keyOf(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0)
    return std::nullopt;
  return FileKey{info.st_dev, info.st_ino};
}

std::string PasswordBook::parse(std::string_view text, std::vector<std::string>& warnings) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") // a byte-order mark some editors write
    text.remove_prefix(3);
  const std::vector<std::string_view> lines = splitLines(text);
  std::vector<std::size_t> used;
  bool anyTab = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!lines[i].empty())
      used.push_back(i);
    anyTab = anyTab || lines[i].find('\t') != std::string_view::npos;
  }
  if (used.empty())
    return "it holds no password";
  if (used.size() == 1 && !anyTab) {
    everyFile = std::string(lines[used.front()]);
    return {};
  }

  std::map<FileKey, std::size_t> lineOf;
  for (const std::size_t i : used) {
    const std::size_t tab = lines[i].find('\t');
    if (tab == std::string_view::npos)
      return lineName(i) + ": expected a path, a tab and the password (or one line holding "
                           "the password of every file)";
    const std::string path(lines[i].substr(0, tab));
    const std::string password(lines[i].substr(tab + 1));
    if (path.empty())
      return lineName(i) + ": no path before the tab";
    if (password.empty())
      return lineName(i) + ": no password after the tab";
    const std::optional<FileKey> key = keyOf(path);
    if (!key) {
      warnings.push_back(lineName(i) + ": no file " + path + "; the line is not used");
      continue;
    }
    const auto [known, added] = lineOf.emplace(*key, i);
    if (!added && byFile[*key] != password)
      return lineName(i) + ": " + path + " is the file of " + lineName(known->second) +
             ", with another password";
    byFile[*key] = password;
  }
  return {};
}

std::optional<std::string> PasswordBook::find(const std::string& path) const {
  if (const std::optional<FileKey> key = keyOf(path)) {
    const auto found = byFile.find(*key);
    if (found != byFile.end())
      return found->second;
  }
  return everyFile;
}

void PasswordBook::remember(const std::string& path, const std::string& password) {
  if (const std::optional<FileKey> key = keyOf(path))
    byFile[*key] = password;
}

std::string readPasswordFile(const std::string& path, PasswordBook& book,
                             std::vector<std::string>& warnings) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return "cannot read the password file " + path;
  std::ostringstream text;
  text << in.rdbuf();
  const std::string error = book.parse(text.str(), warnings);
  return error.empty() ? error : "password file " + path + ": " + error;
}

bool needsPassword(const std::string& path) {
  const std::string engine = bridge::programFilePath(bridge::kEngineFileName);
  if (::access(engine.c_str(), X_OK) != 0)
    return false;
  // An absolute path, so that a name like "A=b.pdf" is never taken for a handle.
  // A check that fails for another reason is not a password to ask for: the
  // run says what it is.
  const bridge::ProcessResult check = bridge::runCommandBlocking(
      bridge::quoteArgument(engine) + " " + bridge::quoteArgument(absolute(path)) +
      " dump_data output - dont_ask");
  return bridge::engineFailure(check).reason == bridge::EngineReason::PasswordRequired;
}

namespace {

// The terminal as it was before the prompt; a signal that ends the program
// at the prompt must not leave the echo off.
termios savedTerminal{};
struct sigaction savedInt {};
struct sigaction savedTerm {};

void restoreAndRaise(int signal) {
  ::tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
  ::sigaction(SIGINT, &savedInt, nullptr);
  ::sigaction(SIGTERM, &savedTerm, nullptr);
  ::raise(signal);
}

} // namespace

std::optional<std::string> askPassword(const std::string& path) {
  const bool terminal = ::tcgetattr(STDIN_FILENO, &savedTerminal) == 0;
  if (terminal) {
    struct sigaction action {};
    action.sa_handler = restoreAndRaise;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &savedInt);
    ::sigaction(SIGTERM, &action, &savedTerm);
    termios quiet = savedTerminal;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  // Only now: whatever is typed after the prompt shows is not echoed.
  std::fprintf(stderr, "Password for %s (empty to leave it): ", path.c_str());
  std::fflush(stderr);
  std::string line;
  const bool got = static_cast<bool>(std::getline(std::cin, line));
  if (terminal) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
    ::sigaction(SIGINT, &savedInt, nullptr);
    ::sigaction(SIGTERM, &savedTerm, nullptr);
  }
  std::fputc('\n', stderr);
  if (!line.empty() && line.back() == '\r')
    line.pop_back();
  if (!got || line.empty())
    return std::nullopt;
  return line;
}

} // namespace sundrel::cli
