#include "engine/SplitEngine.h"

#include "bridge/EngineRunner.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace sundrel::engine {
namespace {

using bridge::quoteArgument;

constexpr std::string_view kProductAddress = "https://orvane.com/sundrel";

bool fileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

// True when both paths name one existing file, however they are spelled.
bool sameFile(const std::string& a, const std::string& b) {
  struct stat infoA {};
  struct stat infoB {};
  return ::stat(a.c_str(), &infoA) == 0 && ::stat(b.c_str(), &infoB) == 0 &&
         infoA.st_dev == infoB.st_dev && infoA.st_ino == infoB.st_ino;
}

std::string formatPage(int number) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%04d", number);
  return buffer;
}

std::string rangeText(int firstPage, int lastPage) {
  return "A" + std::to_string(firstPage) + "-" + std::to_string(lastPage);
}

struct PathPieces {
  std::string directory; // with its trailing separator, empty when there is none
  std::string fileName;  // without the extension
  std::string extension; // the last dot and what follows it, or empty
};

PathPieces splitPath(const std::string& path) {
  PathPieces pieces;
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  pieces.directory = path.substr(0, nameStart);
  const std::string name = path.substr(nameStart);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) {
    pieces.fileName = name;
  } else {
    pieces.fileName = name.substr(0, dot);
    pieces.extension = name.substr(dot);
  }
  return pieces;
}

// Copies a file byte for byte; false (and no target) when anything failed.
bool copyFile(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  if (!in || !out)
    return false;
  out << in.rdbuf();
  out.close();
  if (!out) {
    std::remove(to.c_str());
    return false;
  }
  return true;
}

// Puts replacement in the place of target in one step, so target is never
// missing: a rename, or across file systems a copy beside target renamed over it.
bool replaceFile(const std::string& replacement, const std::string& target) {
  if (std::rename(replacement.c_str(), target.c_str()) == 0)
    return true;
  std::string staging = target + ".XXXXXX";
  const int fd = ::mkstemp(staging.data());
  if (fd < 0)
    return false;
  ::close(fd);
  if (!copyFile(replacement, staging) || std::rename(staging.c_str(), target.c_str()) != 0) {
    std::remove(staging.c_str());
    return false;
  }
  std::remove(replacement.c_str());
  return true;
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

// A path beside the part for the encrypted copy that no file holds yet, so a
// stray file is never taken for the engine's output nor overwritten by it.
std::string securityOutputPath(const std::string& partPath) {
  std::string candidate = partPath + "0.pdf";
  for (int n = 1; fileExists(candidate); ++n)
    candidate = partPath + "0-" + std::to_string(n) + ".pdf";
  return candidate;
}

} // namespace

bool replaceToken(std::string& text, std::string_view token, std::string_view value) {
  const std::size_t at = text.find(token);
  if (at == std::string::npos)
    return false;
  text.replace(at, token.size(), value);
  return true;
}

std::string writePart(SplitHost& host, const SplitSettings& settings, const std::string& sourcePath,
                      const std::string& range, int partNumber, int firstPage, int lastPage) {
  const PathPieces pieces = splitPath(sourcePath);
  std::string outputBase;
  if (host.originalDirectorySelected()) {
    outputBase = pieces.directory + pieces.fileName;
  } else {
    outputBase = host.outputFolder();
    if (outputBase.empty() || outputBase.back() != '/')
      outputBase += '/';
    outputBase += pieces.fileName;
  }

  std::string partName = settings.namePattern;
  replaceToken(partName, "{basename}", outputBase);
  replaceToken(partName, "{pagebegin:0000}", formatPage(firstPage));
  replaceToken(partName, "{pageend:0000}", formatPage(lastPage));
  replaceToken(partName, "{pageend}", formatPage(lastPage));
  replaceToken(partName, "{part:0000}", formatPage(partNumber));
  const std::string partPath = partName + ".pdf";

  // A pattern can name the source itself; the source is never overwritten.
  if (sameFile(partPath, sourcePath)) {
    host.fileFailed(sourcePath, "the part name " + partPath + " is the source file itself");
    return {};
  }

  const std::string arguments =
      "A=" + quoteArgument(sourcePath) + " cat " + range + " output " + quoteArgument(partPath);
  if (bridge::runEngine(arguments) != 0) {
    host.fileFailed(sourcePath, "the engine could not write " + partPath);
    return {};
  }
  applyDocumentInfo(settings, partPath);
  applySecurity(settings, partPath);
  return partPath;
}

bool applyDocumentInfo(const SplitSettings& settings, const std::string& partPath) {
  if (!fileExists(partPath))
    return false;
  const std::string text = infoText(settings);
  const std::string enginePath = bridge::programFilePath(bridge::kEngineFileName);
  if (!fileExists(enginePath))
    return false;

  const std::string infoPath = bridge::makeTempPath(".txt");
  if (infoPath.empty())
    return false;
  {
    std::ofstream info(infoPath, std::ios::trunc);
    if (!info)
      return false;
    info << text;
    info.close();
    if (!info) {
      std::remove(infoPath.c_str());
      return false;
    }
  }

  const std::string outputPath = bridge::makeTempPath(".pdf");
  bool replaced = false;
  if (!outputPath.empty()) {
    bridge::runCommandBlocking(quoteArgument(enginePath) + " " + quoteArgument(partPath) +
                               " update_info " + quoteArgument(infoPath) + " output " +
                               quoteArgument(outputPath) + " dont_ask");
    replaced = fileExists(outputPath) && replaceFile(outputPath, partPath);
    std::remove(outputPath.c_str());
  }
  std::remove(infoPath.c_str());
  return replaced;
}

void applySecurity(const SplitSettings& settings, const std::string& partPath) {
  if (settings.keepEncryption != 0 || settings.addSecurity == 0 || !fileExists(partPath))
    return;
  const std::string newPath = securityOutputPath(partPath);
  bridge::runCommandBlocking(quoteArgument(bridge::programFilePath(bridge::kEngineFileName)) + " " +
                             quoteArgument(partPath) + " output " + quoteArgument(newPath) +
                             encryptionClauses(settings) + " dont_ask");
  if (fileExists(newPath) && !replaceFile(newPath, partPath))
    std::remove(newPath.c_str());
}

void runSplit(SplitHost& host, SplitSettings& settings) {
  const int rows = host.rowCount();
  if (rows < 1)
    return;
  // Negative text wraps to a very large limit, as an unsigned comparison takes it.
  settings.sizeLimit = static_cast<std::uint32_t>(bridge::parseLeadingInt(host.sizeEditText()));
  const std::uint32_t limit = settings.sizeLimit;

  for (int row = 0; row < rows; ++row) {
    const std::string sizeText = host.rowSizeText(row);
    const std::string sourcePath = host.rowPath(row);
    // 64-bit so that files of 4 GiB and more are not taken for small ones.
    const auto listedKb = static_cast<std::uint32_t>(bridge::parseLeadingInt(sizeText));
    if (static_cast<std::uint64_t>(listedKb) * 1024u <= limit) {
      host.showSkipMessage("\"" + sourcePath + "\" is too small, we will skip this PDF file.");
      continue;
    }

    int partNumber = 1;
    const int pages = bridge::getPageCount(sourcePath);
    if (pages <= 0) {
      host.fileFailed(sourcePath, "the engine found no pages (unreadable, damaged or protected)");
      continue;
    }

    host.setProgressRange(0, pages + 1);
    int firstPage = 1;
    int lastPage = 1;
    for (;;) {
      host.setProgressPos(lastPage);
      const std::string probePath = bridge::makeTempPath(".pdf");
      // The probe path is quoted like every other path: a blank in the temporary
      // directory must not end the run.
      if (!probePath.empty())
        bridge::runEngine("A=" + quoteArgument(sourcePath) + " cat " +
                          rangeText(firstPage, lastPage) + " output " + quoteArgument(probePath));
      struct stat info {};
      if (probePath.empty() || ::stat(probePath.c_str(), &info) != 0) {
        host.fileFailed(sourcePath, "the engine could not extract pages " +
                                        std::to_string(firstPage) + "-" + std::to_string(lastPage) +
                                        "; the run stops here");
        return;
      }
      const auto length = static_cast<std::uint64_t>(info.st_size);
      std::remove(probePath.c_str());

      if (length < limit) {
        host.pumpDialogMessages();
        ++lastPage;
        if (lastPage <= pages)
          continue;
      }
      if (lastPage == firstPage)
        ++lastPage; // a single page that does not fit alone is a part by itself

      host.setProgressPos(lastPage);
      for (;;) {
        const std::string partPath =
            writePart(host, settings, sourcePath, rangeText(firstPage, lastPage - 1), partNumber,
                      firstPage, lastPage - 1);
        // The properties and the encryption add a few hundred bytes to what the
        // probe measured; a finished part that no longer fits gives its last
        // page to the next part.
        struct stat part {};
        if (partPath.empty())
          break;
        if (lastPage - 1 == firstPage || ::stat(partPath.c_str(), &part) != 0 ||
            static_cast<std::uint64_t>(part.st_size) < limit) {
          host.partWritten(partPath, firstPage, lastPage - 1);
          break;
        }
        std::remove(partPath.c_str());
        --lastPage;
        host.setProgressPos(lastPage);
      }
      ++partNumber;
      if (lastPage == pages + 1)
        break;
      firstPage = lastPage;
    }
  }
}

} // namespace sundrel::engine
