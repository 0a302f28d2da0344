#include "engine/PartFiles.h"

#include "bridge/EngineRunner.h"
#include "bridge/OwnFiles.h"
#include "engine/SplitEngine.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <limits>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace sundrel::engine {
namespace {

using bridge::quoteArgument;

constexpr std::string_view kProductAddress = "https://orvane.com/sundrel";

std::string formatNumber(int number) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%04d", number);
  return buffer;
}

// Copies a file byte for byte into an open descriptor; false when anything failed.
bool copyInto(const std::string& from, int fd) {
  std::ifstream in(from, std::ios::binary);
  if (!in)
    return false;
  char buffer[65536];
  while (in) {
    in.read(buffer, sizeof buffer);
    const std::streamsize count = in.gcount();
    std::size_t done = 0;
    while (done < static_cast<std::size_t>(count)) {
      const ssize_t n = ::write(fd, buffer + done, static_cast<std::size_t>(count) - done);
      if (n <= 0)
        return false;
      done += static_cast<std::size_t>(n);
    }
  }
  return in.eof() && ::fsync(fd) == 0;
}

// The engine decodes "&#N;" in info values; an ampersand is written as one so
// that a value reaches the part exactly as typed.
std::string infoValue(std::string_view value) {
  std::string out;
  for (const char c : value) {
    if (c == '&')
      out += "&#38;";
    else
      out += c;
  }
  return out;
}

} // namespace

bool fileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

std::optional<std::uint64_t> fileSize(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0)
    return std::nullopt;
  return static_cast<std::uint64_t>(info.st_size);
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat infoA {};
  struct stat infoB {};
  return ::stat(a.c_str(), &infoA) == 0 && ::stat(b.c_str(), &infoB) == 0 &&
         infoA.st_dev == infoB.st_dev && infoA.st_ino == infoB.st_ino;
}

std::string absolutePath(const std::string& path) {
  if (path.empty())
    return path;
  std::error_code error;
  const auto absolute = std::filesystem::absolute(path, error);
  if (error)
    return path;
  return absolute.lexically_normal().string();
}

namespace {

// path made absolute, with the links of the folders that exist resolved.
std::string normalPath(const std::string& path) {
  const std::string absolute = absolutePath(path);
  std::error_code error;
  const auto normal = std::filesystem::weakly_canonical(absolute, error);
  return error ? absolute : normal.string();
}

// The process's umask, read without changing it: setting it to read it
// would give files that other threads make meanwhile the wrong mode.
mode_t currentUmask() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "Umask:") {
      std::string octal;
      status >> octal;
      return static_cast<mode_t>(std::strtoul(octal.c_str(), nullptr, 8));
    }
    status.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
  }
  // A kernel without the line: the old way, setting it to read it.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

} // namespace

void ListedInputs::add(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0)
    files_.emplace(std::pair{info.st_dev, info.st_ino}, path);
  paths_.emplace(normalPath(path), path);
}

std::string ListedInputs::replacedBy(const std::string& partPath) const {
  struct stat info {};
  if (::stat(partPath.c_str(), &info) == 0) {
    const auto file = files_.find({info.st_dev, info.st_ino});
    if (file != files_.end())
      return file->second;
  }
  const auto path = paths_.find(normalPath(partPath));
  return path == paths_.end() ? std::string() : path->second;
}

std::string partFolder(const std::string& sourcePath, bool originalDirectory,
                       const std::string& outputFolder) {
  std::string folder;
  if (originalDirectory) {
    const std::size_t slash = sourcePath.rfind('/');
    folder = slash == std::string::npos ? std::string() : sourcePath.substr(0, slash + 1);
  } else {
    folder = outputFolder;
  }
  if (folder.empty() || folder.back() != '/')
    folder += '/';
  return folder;
}

PartName partPathFor(const std::string& pattern, const std::string& folder,
                     const std::string& sourcePath, int partNumber, int firstPage, int lastPage) {
  const std::size_t slash = sourcePath.rfind('/');
  std::string fileName = sourcePath.substr(slash == std::string::npos ? 0 : slash + 1);
  const std::size_t dot = fileName.rfind('.');
  if (dot != std::string::npos)
    fileName.erase(dot);

  std::string name = pattern;
  const std::pair<std::string_view, std::string> tokens[] = {
      {"{basename}", fileName},
      {"{pagebegin:0000}", formatNumber(firstPage)},
      {"{pageend:0000}", formatNumber(lastPage)},
      {"{pageend}", formatNumber(lastPage)},
      {"{part:0000}", formatNumber(partNumber)},
  };
  // A pattern need not hold every token: one it lacks is no failure.
  for (const auto& [token, value] : tokens)
    (void)replaceToken(name, token, value);
  name += ".pdf";
  // Every part stays in the chosen folder: a name that holds a folder of its
  // own could climb out of it or name one that does not exist.
  if (name.find('/') != std::string::npos)
    return {{},
            "the name pattern gives \"" + name +
                "\", which names another folder; remove the \"/\" from the name pattern"};
  return {folder + name, {}};
}

bool replaceFile(const std::string& replacement, const std::string& target) {
  if (std::rename(replacement.c_str(), target.c_str()) == 0)
    return true;
  std::string staging = target + ".XXXXXX";
  const int fd = ::mkstemp(staging.data());
  if (fd < 0)
    return false;
  // mkstemp makes the file private; a part gets the mode a plain creation gives.
  const bool copied = ::fchmod(fd, 0666 & ~currentUmask()) == 0 && copyInto(replacement, fd);
  const bool closed = ::close(fd) == 0;
  if (!copied || !closed || std::rename(staging.c_str(), target.c_str()) != 0) {
    std::remove(staging.c_str());
    return false;
  }
  std::remove(replacement.c_str());
  return true;
}

std::string makeStagingFile(const std::string& folder, std::string& error) {
  // The process id in the name lets a later run remove what a killed one left.
  static std::mutex tidying;
  static std::set<std::string> tidied;
  {
    const std::lock_guard lock(tidying);
    if (tidied.insert(folder).second)
      bridge::removeLeftoverStagingFiles(folder);
  }
  std::string staging = folder + ".sundrel-" + std::to_string(::getpid()) + "-XXXXXX";
  const bridge::CleanupSection section;
  const int fd = ::mkstemp(staging.data());
  if (fd < 0) {
    error = "no part can be written in " + folder + ": " + std::strerror(errno);
    return {};
  }
  // An engine that writes into the file keeps its mode: give it the umask's.
  const bool modeSet = ::fchmod(fd, 0666 & ~currentUmask()) == 0;
  const int modeError = errno;
  ::close(fd);
  if (!modeSet) {
    ::unlink(staging.c_str());
    error = "no part can be written in " + folder + ": " + std::strerror(modeError);
    return {};
  }
  bridge::registerCleanupPath(staging);
  return staging;
}

void removeStagingFile(const std::string& staging) {
  if (staging.empty())
    return;
  std::remove(staging.c_str());
  bridge::unregisterCleanupPath(staging);
}

std::string withPartName(std::string message, const std::string& staging,
                         const std::string& partPath) {
  for (std::size_t at = 0;
       !staging.empty() && (at = message.find(staging, at)) != std::string::npos;
       at += partPath.size())
    message.replace(at, staging.size(), partPath);
  return message;
}

bool placeStagedPart(const std::string& staging, const std::string& partPath) {
  const bool placed = replaceFile(staging, partPath);
  const int error = errno;
  removeStagingFile(staging);
  errno = error;
  return placed;
}

std::string infoText(const SplitSettings& settings) {
  struct Entry {
    std::string_view key;
    const std::string& value;
  };
  const std::string defaultCreator = "Sundrel - " + std::string(kProductAddress);
  const std::string defaultProducer = "Sundrel (" + std::string(kProductAddress) + ")";
  const Entry entries[] = {
      {"Subject", settings.docSubject},
      {"Title", settings.docTitle},
      {"Author", settings.docAuthor},
      {"Keywords", settings.docKeywords},
      {"Creator", settings.docCreator.empty() ? defaultCreator : settings.docCreator},
      {"Producer", settings.docProducer.empty() ? defaultProducer : settings.docProducer},
  };
  std::string text;
  for (const auto& entry : entries) {
    if (entry.value.empty())
      continue;
    // InfoBegin before each entry: some engines apply only the first entry without it.
    text += "InfoBegin\nInfoKey: ";
    text += entry.key;
    text += "\nInfoValue: ";
    text += infoValue(entry.value);
    text += '\n';
  }
  return text;
}

std::string encryptionClauses(const SplitSettings& settings) {
  std::string clauses = " encrypt_128bit";
  if (!settings.openPassword.empty())
    clauses += " user_pw  " + quoteArgument(settings.openPassword);
  if (!settings.permissionsPassword.empty())
    clauses += " owner_pw  " + quoteArgument(settings.permissionsPassword);
  std::string permissions;
  permissions += settings::permissionKeywords(settings::kPrintChoices, settings.printAllowed);
  permissions += settings::permissionKeywords(settings::kChangeChoices, settings.changesAllowed);
  if (settings.copyAllowed != 0)
    permissions += settings::kCopyKeyword;
  if (!permissions.empty())
    clauses += " allow" + permissions;
  return clauses;
}

bool wantsSecurity(const SplitSettings& settings) {
  return settings.keepEncryption == 0 && settings.addSecurity != 0;
}

} // namespace sundrel::engine
