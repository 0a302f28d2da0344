#include "engine/SplitEngine.h"

#include "bridge/EngineRunner.h"
#include "engine/PartFiles.h"
#include "engine/SplitRun.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace sundrel::engine {
namespace {

using bridge::quoteArgument;

std::string rangeText(int firstPage, int lastPage) {
  return "A" + std::to_string(firstPage) + "-" + std::to_string(lastPage);
}

std::string pagesText(int firstPage, int lastPage) {
  return firstPage == lastPage
             ? "page " + std::to_string(firstPage)
             : "pages " + std::to_string(firstPage) + "-" + std::to_string(lastPage);
}

std::string withReason(const std::string& text, const std::string& engineOutput) {
  const std::string reason = engineErrorLine(engineOutput);
  return reason.empty() ? text : text + ": " + reason;
}

// A path beside the part for the encrypted copy that no file holds yet, so a
// stray file is never taken for the engine's output nor overwritten by it.
// A name too long for the file system falls back to a short one.
std::string securityOutputPath(const std::string& partPath) {
  const std::size_t slash = partPath.rfind('/');
  const std::size_t nameLength = partPath.size() - (slash == std::string::npos ? 0 : slash + 1);
  if (nameLength + 8 > NAME_MAX) {
    std::string candidate = partPath.substr(0, slash + 1) + "sundrel-sec-XXXXXX";
    const int fd = ::mkstemp(candidate.data());
    if (fd < 0)
      return {};
    ::close(fd);
    ::unlink(candidate.c_str());
    return candidate;
  }
  std::string candidate = partPath + "0.pdf";
  for (int n = 1; fileExists(candidate); ++n)
    candidate = partPath + "0-" + std::to_string(n) + ".pdf";
  return candidate;
}

// The security stage of a part under its staging name: the encrypted copy
// is another staging file beside it, a name the leftover cleanup knows.
bool secureStagedPart(const SplitSettings& settings, const std::string& folder,
                      const std::string& staging) {
  if (!wantsSecurity(settings))
    return true;
  std::string error;
  const std::string encrypted = makeStagingFile(folder, error);
  if (encrypted.empty())
    return false;
  const int exitCode = bridge::runCommandBlocking(
      quoteArgument(bridge::programFilePath(bridge::kEngineFileName)) + " " +
      quoteArgument(staging) + " output " + quoteArgument(encrypted) + encryptionClauses(settings) +
      " dont_ask");
  // The copy was made empty: only an engine that succeeded has filled it.
  const bool replaced =
      exitCode == 0 && fileSize(encrypted).value_or(0) > 0 && replaceFile(encrypted, staging);
  removeStagingFile(encrypted);
  return replaced;
}

struct PartOutcome {
  std::string path;    // the part's own name; empty when the file failed
  std::string staging; // where the finished part waits to be put in place
};

// Extracts a part and gives it its stages under a hidden name in the part's
// folder, so that no half-done part ever carries the part's own name; the
// caller puts it in place. The file fails, with the reason, when a stage it
// needs does not work.
PartOutcome stageOnePart(SplitRun& run, FileReport& file, const std::string& source, int partNumber,
                         int firstPage, int lastPage) {
  const SplitSettings& settings = run.settings;
  const std::string folder =
      partFolder(source, run.host.originalDirectorySelected(), run.host.outputFolder());
  const PartName name =
      partPathFor(settings.namePattern, folder, source, partNumber, firstPage, lastPage);
  if (name.path.empty()) {
    failFile(run, file, FailureKind::PartNotWritten, name.error);
    return {};
  }
  if (!partPathAllowed(run, file, source, name.path))
    return {};
  std::string error;
  const std::string staging = makeStagingFile(folder, error);
  if (staging.empty()) {
    failFile(run, file, FailureKind::PartNotWritten, error);
    return {};
  }

  std::string output;
  const std::string arguments = "A=" + quoteArgument(source) + " cat " +
                                rangeText(firstPage, lastPage) + " output " +
                                quoteArgument(staging);
  if (bridge::runEngine(arguments, output) != 0 || fileSize(staging).value_or(0) == 0) {
    removeStagingFile(staging);
    failFile(run, file, FailureKind::PartNotWritten,
             withReason("the engine could not write " + name.path,
                        withPartName(output, staging, name.path)));
    return {};
  }
  if (!applyDocumentInfo(settings, staging))
    file.warnings.push_back("the document properties were not applied to " + name.path);
  if (!secureStagedPart(settings, folder, staging)) {
    // A part that was to be protected is never left open.
    removeStagingFile(staging);
    failFile(run, file, FailureKind::StageFailed,
             "the security could not be applied to " + name.path + ", so the part was removed");
    return {};
  }
  return {name.path, staging};
}

bool placePart(SplitRun& run, FileReport& file, const PartOutcome& part) {
  if (!placeStagedPart(part.staging, part.path)) {
    failFile(run, file, FailureKind::PartNotWritten,
             "the part " + part.path + " could not be put in place: " + std::strerror(errno));
    return false;
  }
  run.written.insert(part.path);
  return true;
}

// The page count of the per-process path, or 0 with the file failed.
int pageCountByProcess(SplitRun& run, FileReport& file, const std::string& source) {
  const std::string enginePath = bridge::programFilePath(bridge::kEngineFileName);
  if (!fileExists(enginePath)) {
    failFile(run, file, FailureKind::EngineMissing,
             "the PDF engine was not found at " + enginePath);
    return 0;
  }
  std::string output;
  const int pages = bridge::getPageCount(source, output);
  if (pages > 0)
    return pages;
  const std::string reason = engineErrorLine(output);
  failFile(run, file, classifyOpenFailure(reason),
           reason.empty() ? "the engine found no pages in it" : reason);
  return 0;
}

// What identifies the source between two engine processes: each one opens
// it anew, so a file replaced or rewritten between them would give parts of
// two documents.
struct SourceState {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t seconds = 0;
  long nanoseconds = 0;
  bool operator==(const SourceState&) const = default;
};

std::optional<SourceState> sourceState(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0)
    return std::nullopt;
  return SourceState{info.st_dev, info.st_ino, info.st_size, info.st_mtim.tv_sec,
                     info.st_mtim.tv_nsec};
}

FileResult sourceChanged(SplitRun& run, FileReport& file) {
  std::string reason = "it was replaced or changed on disk while it was being split, so the split "
                       "stopped";
  if (!file.parts.empty())
    reason += " after page " + std::to_string(file.parts.back().lastPage) +
              " (the parts up to there hold the file as it was)";
  return failFile(run, file, FailureKind::SourceChanged, reason + "; split it again");
}

// One probe of the per-process path: the range's size, or nothing with the
// file failed (the source changed, or the engine wrote nothing).
struct Probe {
  std::optional<std::uint64_t> bytes;
  FileResult next = FileResult::Continue;
};

Probe probeRange(SplitRun& run, FileReport& file, const std::string& source, int first, int last,
                 const std::function<bool()>& changed) {
  if (changed())
    return {std::nullopt, sourceChanged(run, file)};
  const std::string probePath = bridge::makeTempPath(".pdf");
  // The probe path is quoted like every other path: a blank in the temporary
  // directory must not end the run.
  std::string output;
  if (!probePath.empty())
    bridge::runEngine("A=" + quoteArgument(source) + " cat " + rangeText(first, last) + " output " +
                          quoteArgument(probePath),
                      output);
  const auto length = fileSize(probePath);
  if (!probePath.empty())
    std::remove(probePath.c_str());
  if (changed())
    return {std::nullopt, sourceChanged(run, file)};
  if (probePath.empty() || !length)
    return {std::nullopt,
            failFile(run, file, FailureKind::ProbeFailed,
                     withReason("the engine could not extract " + pagesText(first, last), output),
                     FileResult::StopRun)};
  return {length};
}

// Why a file cannot go to one engine process per command (empty when it
// can): that path writes every part, and every argument of a process is
// visible to every user of the machine, so no password may travel in one.
std::string perProcessRefusal(const SplitRun& run, bool sourcePassword, bool oneLine) {
  const std::string cause =
      oneLine ? "this engine runs one process per command"
              : "its path or the output folder holds a line break, which no engine session "
                "takes, so the engine would run one process per command";
  const std::string change = oneLine ? "; use the engine that comes with Sundrel (tovix.dll)"
                                     : "; rename the file or folder without the line break";
  if (run.host.dryRun())
    return "a dry run needs an engine that measures without writing, but " + cause + change;
  if (sourcePassword)
    return "its password would be visible to every user in the process list: " + cause + change;
  const SplitSettings& settings = run.settings;
  if (wantsSecurity(settings) &&
      (!settings.openPassword.empty() || !settings.permissionsPassword.empty()))
    return "the passwords that the Options give the parts would be visible to every user in "
           "the process list: " +
           cause + change;
  return {};
}

} // namespace

FileResult failFile(SplitRun& run, FileReport& file, FailureKind kind, const std::string& reason,
                    FileResult next) {
  file.outcome = FileOutcome::Failed;
  file.failure = kind;
  file.reason = reason;
  run.host.fileFailed(file.source, reason);
  return next;
}

FailureKind classifyOpenFailure(const std::string& message) {
  if (message.find("PASSWORD REQUIRED") != std::string::npos ||
      message.find("password is incorrect") != std::string::npos)
    return FailureKind::Protected;
  if (message.find("ran out of time or memory") != std::string::npos ||
      message.find("took too long") != std::string::npos)
    return FailureKind::Timeout;
  return FailureKind::Unreadable;
}

bool partPathAllowed(SplitRun& run, FileReport& file, const std::string& source,
                     const std::string& partPath) {
  // A pattern can name the source itself; the source is never overwritten.
  if (sameFile(partPath, source)) {
    failFile(run, file, FailureKind::Overwrite,
             "the part name " + partPath +
                 " is the source file itself; change the name pattern or the output folder");
    return false;
  }
  // Nor is any other file the run lists, however it is spelled: an earlier
  // part listed again, or a file of the same name in the output folder.
  const std::string listed = run.inputs.replacedBy(partPath);
  if (!listed.empty()) {
    failFile(run, file, FailureKind::Overwrite,
             "its part " + partPath + " would replace " + listed +
                 ", which is listed for this run too; choose another output folder or name "
                 "pattern, or take that file off the list");
    return false;
  }
  if (run.written.count(partPath) != 0) {
    failFile(run, file, FailureKind::Overwrite,
             "its part " + partPath +
                 " would replace a part this run already wrote; put {part:0000} in the name "
                 "pattern, or split files of the same name into different folders");
    return false;
  }
  return true;
}

bool replaceToken(std::string& text, std::string_view token, std::string_view value) {
  const std::size_t at = text.find(token);
  if (at == std::string::npos)
    return false;
  text.replace(at, token.size(), value);
  return true;
}

std::string writePart(SplitHost& host, const SplitSettings& settings, const std::string& sourcePath,
                      const std::string& /*rangeText*/, int partNumber, int firstPage,
                      int lastPage) {
  SplitRun run(host, settings);
  run.inputs.add(sourcePath);
  FileReport file;
  file.source = sourcePath;
  const PartOutcome part = stageOnePart(run, file, sourcePath, partNumber, firstPage, lastPage);
  return !part.path.empty() && placePart(run, file, part) ? part.path : std::string();
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

bool applySecurity(const SplitSettings& settings, const std::string& partPath) {
  if (!wantsSecurity(settings))
    return true;
  if (!fileExists(partPath))
    return false;
  const std::string newPath = securityOutputPath(partPath);
  if (newPath.empty())
    return false;
  bridge::registerCleanupPath(newPath);
  const int exitCode = bridge::runCommandBlocking(
      quoteArgument(bridge::programFilePath(bridge::kEngineFileName)) + " " +
      quoteArgument(partPath) + " output " + quoteArgument(newPath) + encryptionClauses(settings) +
      " dont_ask");
  const bool replaced = fileExists(newPath) && exitCode == 0 && replaceFile(newPath, partPath);
  if (!replaced)
    std::remove(newPath.c_str());
  bridge::unregisterCleanupPath(newPath);
  return replaced;
}

FileResult splitByProcess(SplitRun& run, FileReport& file, const std::string& source) {
  SplitHost& host = run.host;
  const std::uint32_t limit = run.limit;
  int partNumber = 1;
  // Every command must read the file that the first one read.
  const std::optional<SourceState> state = sourceState(source);
  const auto changed = [&] { return sourceState(source) != state; };
  const int pages = pageCountByProcess(run, file, source);
  if (pages <= 0)
    return FileResult::Continue;

  host.setProgressRange(0, pages + 1);
  int firstPage = 1;
  int lastPage = 1;
  for (;;) {
    host.setProgressPos(lastPage);
    const Probe probe = probeRange(run, file, source, firstPage, lastPage, changed);
    if (!probe.bytes)
      return probe.next;
    const std::uint64_t length = *probe.bytes;

    if (length < limit) {
      host.pumpDialogMessages();
      ++lastPage;
      if (lastPage <= pages)
        continue;
    }
    if (lastPage == firstPage) {
      // A single page that does not fit alone is a part by itself.
      file.oversizePages.push_back({firstPage, length});
      ++lastPage;
    }

    host.setProgressPos(lastPage);
    for (;;) {
      const PartOutcome part = stageOnePart(run, file, source, partNumber, firstPage, lastPage - 1);
      if (part.path.empty())
        return FileResult::Continue;
      // The properties and the encryption add a few hundred bytes to what the
      // probe measured; a finished part that no longer fits gives its last
      // page to the next part.
      if (changed()) {
        removeStagingFile(part.staging);
        return sourceChanged(run, file);
      }
      const auto bytes = fileSize(part.staging);
      if (lastPage - 1 == firstPage || !bytes || *bytes < limit) {
        if (!placePart(run, file, part))
          return FileResult::Continue;
        file.parts.push_back({part.path, firstPage, lastPage - 1, bytes.value_or(0)});
        host.partWritten(part.path, firstPage, lastPage - 1, bytes.value_or(0));
        break;
      }
      removeStagingFile(part.staging);
      --lastPage;
      host.setProgressPos(lastPage);
    }
    ++partNumber;
    if (lastPage == pages + 1)
      break;
    firstPage = lastPage;
  }
  file.outcome = FileOutcome::Split;
  return FileResult::Continue;
}

SplitReport runSplit(SplitHost& host, SplitSettings& settings) {
  SplitReport report;
  const int rows = host.rowCount();
  if (rows < 1)
    return report;
  // Negative text wraps to a very large limit, as an unsigned comparison takes it.
  settings.sizeLimit = static_cast<std::uint32_t>(bridge::parseLeadingInt(host.sizeEditText()));
  SplitRun run(host, settings);
  run.limit = settings.sizeLimit;
  report.limit = run.limit;
  report.files.resize(static_cast<std::size_t>(rows));
  for (int row = 0; row < rows; ++row) {
    report.files[static_cast<std::size_t>(row)].source = host.rowPath(row);
    run.inputs.add(host.rowPath(row));
  }

  const std::string enginePath = bridge::programFilePath(bridge::kEngineFileName);
  bool offersSession = true; // until the engine fails the handshake
  for (int row = 0; row < rows; ++row) {
    FileReport& file = report.files[static_cast<std::size_t>(row)];
    const std::string sizeText = host.rowSizeText(row);
    const auto listedKb = static_cast<std::uint32_t>(bridge::parseLeadingInt(sizeText));
    // 64-bit so that files of 4 GiB and more are not taken for small ones.
    if (static_cast<std::uint64_t>(listedKb) * 1024u <= run.limit) {
      file.outcome = FileOutcome::SkippedTooSmall;
      host.showSkipMessage("\"" + file.source + "\" is too small, we will skip this PDF file.");
      continue;
    }
    const std::string source = absolutePath(file.source);
    const std::uint64_t sourceBytes = fileSize(source).value_or(0);
    bridge::setCommandDeadlineMs(bridge::engineDeadlineMs(sourceBytes));
    // One engine for the whole run when it offers a session; a session that
    // died is started again for the next file.
    if (!run.session.active() && offersSession && fileExists(enginePath))
      offersSession = run.session.start(enginePath);
    const std::string password = host.rowPassword(row);
    FileResult result = FileResult::Continue;
    // A session command is one line: a path with a line break in it goes to
    // one process per command instead of being cut.
    const bool oneLine = (source + host.outputFolder()).find_first_of("\r\n") == std::string::npos;
    if (run.session.active() && oneLine) {
      result = splitInSession(run, file, source, password, sourceBytes);
    } else {
      const std::string refusal = perProcessRefusal(run, !password.empty(), oneLine);
      if (!refusal.empty())
        failFile(run, file, FailureKind::PartNotWritten, refusal);
      else
        result = splitByProcess(run, file, source);
    }
    if (result == FileResult::StopRun) {
      report.stoppedEarly = row + 1 < rows;
      break;
    }
  }
  run.session.stop();
  if (!run.infoPath.empty()) {
    std::remove(run.infoPath.c_str());
    bridge::unregisterCleanupPath(run.infoPath);
  }
  bridge::setCommandDeadlineMs(0);
  return report;
}

} // namespace sundrel::engine
