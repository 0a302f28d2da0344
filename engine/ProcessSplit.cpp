// The split with one engine process per command, for any engine that speaks
// the pdftk language: each range grows one page at a time, measured by a
// probe extraction into a temporary file; each part is extracted again into
// its final file and given its properties and security in two more commands.

#include "bridge/EngineRunner.h"
#include "bridge/OwnFiles.h"
#include "engine/PartFiles.h"
#include "engine/SplitEngine.h"
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

std::string engineCommand(const std::string& arguments) {
  return quoteArgument(bridge::programFilePath(bridge::kEngineFileName)) + " " + arguments;
}

// Why a stage's engine run did not give its output.
StageResult stageFailure(const bridge::ProcessResult& run, const std::string& what) {
  const bridge::EngineMessage engine = bridge::engineFailure(run);
  return {false, engine.text.empty() ? what : what + ": " + engine.text};
}

// An encryption run's outcome: its copy `from` (`made` when the engine left
// one) put in the place of `to`.
StageResult encryptedCopyInPlace(const bridge::ProcessResult& run, bool made,
                                 const std::string& from, const std::string& to) {
  if (!bridge::engineWrote(run) || !made)
    return stageFailure(run, "the engine did not encrypt it");
  if (!replaceFile(from, to))
    return {false, std::string("the encrypted copy could not replace it: ") + std::strerror(errno)};
  StageResult result;
  result.done = true;
  // A warning: a PDF/A source's part is no longer PDF/A once encrypted.
  if (run.exited(bridge::kEngineWarnings))
    result.warning = bridge::readEngineWarning(run.output);
  return result;
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
StageResult secureStagedPart(const SplitSettings& settings, const std::string& folder,
                             const std::string& staging, int deadlineMs) {
  if (!wantsSecurity(settings))
    return {true, {}};
  std::string error;
  const std::string encrypted = makeStagingFile(folder, error);
  if (encrypted.empty())
    return {false, error};
  const bridge::ProcessResult run = bridge::runCommandBlocking(
      engineCommand(quoteArgument(staging) + " output " + quoteArgument(encrypted) +
                    encryptionClauses(settings) + " dont_ask"),
      deadlineMs);
  // The copy was made empty: only an engine that succeeded has filled it.
  StageResult result =
      encryptedCopyInPlace(run, fileSize(encrypted).value_or(0) != 0, encrypted, staging);
  removeStagingFile(encrypted);
  return result;
}

// Our engine (the one that offered a session) cuts each part's fonts to its
// glyphs unless told not to; another engine knows no such word.
std::string fontChoice(const FileSplit& file) {
  return file.worker.offersSession && file.run.settings.subsetFonts == 0 ? " keep_fonts" : "";
}

struct StagedPart {
  std::string path;    // the part's own name; empty when the file failed
  std::string staging; // where the finished part waits to be put in place
};

// Extracts a part and gives it its stages under a hidden name in the part's
// folder, so that no half-done part ever carries the part's own name; the
// caller puts it in place. The part's name is claimed; the file fails, with
// the reason, when a stage it needs does not work (the name given back).
StagedPart stageOnePart(FileSplit& file, int partNumber, int firstPage, int lastPage) {
  const SplitSettings& settings = file.run.settings;
  const std::string folder =
      partFolder(file.source, settings.outputMode == settings::OutputMode::OriginalDirectory,
                 settings.outputFolder);
  const PartName name =
      partPathFor(settings.namePattern, folder, file.source, partNumber, firstPage, lastPage);
  if (name.path.empty()) {
    file.fail(FailureKind::PartNotWritten, name.error);
    return {};
  }
  if (file.stopRequested()) {
    file.fail(FailureKind::None, {});
    return {};
  }
  if (!file.claimPartPath(name.path))
    return {};
  std::string error;
  const std::string staging = makeStagingFile(folder, error);
  const auto failed = [&](FailureKind kind, const std::string& reason,
                          EngineReason engineReason = EngineReason::None) {
    removeStagingFile(staging);
    file.run.releasePart(name.path);
    file.fail(kind, reason, FileResult::Continue, engineReason);
    return StagedPart{};
  };
  if (staging.empty())
    return failed(FailureKind::PartNotWritten, error);

  const bridge::ProcessResult run = bridge::runEngine(
      "A=" + quoteArgument(file.source) + " cat " + rangeText(firstPage, lastPage) + " output " +
          quoteArgument(staging) + fontChoice(file),
      file.deadlineMs, file.run.job.stop);
  if (!run.succeeded() || fileSize(staging).value_or(0) == 0) {
    bridge::EngineMessage engine = bridge::engineFailure(run);
    if (engine.reason == EngineReason::None)
      engine = {EngineReason::Unknown, "it wrote nothing"};
    return failed(bridge::failureKind(engine.reason, FailureKind::PartNotWritten),
                  "the engine could not write " + name.path + ": " +
                      withPartName(engine.text, staging, name.path),
                  engine.reason);
  }
  if (file.stopRequested())
    return failed(FailureKind::None, {});
  if (const StageResult info = applyDocumentInfo(settings, staging, file.deadlineMs); !info)
    file.warn("the document properties were not applied to " + name.path + " (" +
              withPartName(info.reason, staging, name.path) + ")");
  if (file.stopRequested())
    return failed(FailureKind::None, {});
  // A part that was to be protected is never left open.
  const StageResult secured = secureStagedPart(settings, folder, staging, file.deadlineMs);
  if (!secured)
    return failed(FailureKind::StageFailed, "the security could not be applied to " + name.path +
                                                ", so the part was removed: " +
                                                withPartName(secured.reason, staging, name.path));
  // Said of the hidden copy, it holds for the source and every part: once.
  if (const std::string said = withPartName(secured.warning, staging + " ", "it ");
      !said.empty() && !file.warnedOfSecurity) {
    file.warnedOfSecurity = true;
    file.warn(said);
  }
  return {name.path, staging};
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

FileResult sourceChanged(FileSplit& file) {
  std::string reason = "it was replaced or changed on disk while it was being split, so the split "
                       "stopped";
  if (!file.report.parts.empty())
    reason += " after page " + std::to_string(file.report.parts.back().lastPage) +
              " (the parts up to there hold the file as it was)";
  return file.fail(FailureKind::SourceChanged, reason + "; split it again");
}

// One probe: the range's size, or nothing with the file failed (the source
// changed, the run was stopped, or the engine wrote nothing).
struct Probe {
  std::optional<std::uint64_t> bytes;
  FileResult next = FileResult::Continue;
};

Probe probeRange(FileSplit& file, int first, int last, const std::function<bool()>& changed) {
  if (changed())
    return {std::nullopt, sourceChanged(file)};
  if (file.stopRequested())
    return {std::nullopt, file.fail(FailureKind::None, {})};
  const std::string probePath = bridge::makeTempPath(".pdf");
  // The probe path is quoted like every other path: a blank in the temporary
  // directory must not end the run.
  bridge::ProcessResult run;
  if (!probePath.empty())
    run = bridge::runEngine("A=" + quoteArgument(file.source) + " cat " + rangeText(first, last) +
                                " output " + quoteArgument(probePath) + fontChoice(file),
                            file.deadlineMs, file.run.job.stop);
  const auto length = fileSize(probePath);
  if (!probePath.empty())
    std::remove(probePath.c_str());
  if (changed())
    return {std::nullopt, sourceChanged(file)};
  if (!probePath.empty() && bridge::engineWrote(run) && length)
    return {length};
  const bridge::EngineMessage engine =
      probePath.empty()
          ? bridge::EngineMessage{EngineReason::Failed, "no temporary name for the probe"}
          : bridge::engineFailure(run);
  // An engine that gave no output is not to be trusted with the next files.
  return {std::nullopt, file.failFor(engine, FailureKind::ProbeFailed,
                                     "the engine could not extract " + pagesText(first, last),
                                     FileResult::StopRun)};
}

// Makes the part first..last, giving back its last pages while the finished
// part (properties and security add to what was measured) does not fit.
// Returns the page after the part, or 0 with the file failed.
int writeFittingPart(FileSplit& file, int partNumber, int first, int end,
                     const std::function<bool()>& changed, FileResult& result) {
  for (;;) {
    const StagedPart part = stageOnePart(file, partNumber, first, end - 1);
    if (part.path.empty()) {
      result = file.stopped() ? FileResult::StopRun : FileResult::Continue;
      return 0;
    }
    const auto giveBack = [&] {
      removeStagingFile(part.staging);
      file.run.releasePart(part.path);
    };
    if (changed()) {
      giveBack();
      result = sourceChanged(file);
      return 0;
    }
    const auto bytes = fileSize(part.staging);
    if (end - 1 == first || !bytes || *bytes < file.run.limit) {
      if (!placeStagedPart(part.staging, part.path)) {
        file.run.releasePart(part.path);
        result = file.fail(FailureKind::PartNotWritten,
                           "the part " + part.path +
                               " could not be put in place: " + std::strerror(errno));
        return 0;
      }
      file.partDone({part.path, first, end - 1, bytes.value_or(0)});
      return end;
    }
    giveBack();
    --end;
    file.reach(end);
  }
}

} // namespace

StageResult applyDocumentInfo(const SplitSettings& settings, const std::string& partPath,
                              int deadlineMs) {
  if (!fileExists(partPath))
    return {false, "the part is not there"};
  const std::string enginePath = bridge::programFilePath(bridge::kEngineFileName);
  if (!fileExists(enginePath))
    return {false, "the PDF engine was not found at " + enginePath};
  const std::string infoPath = bridge::makeTempPath(".txt");
  if (infoPath.empty())
    return {false, "no name for the properties in the temporary folder"};
  {
    const bridge::CleanupSection section;
    std::ofstream info(infoPath, std::ios::trunc);
    info << infoText(settings);
    info.close();
    if (!info) {
      std::remove(infoPath.c_str());
      return {false, "the properties could not be written to the temporary folder"};
    }
  }
  const std::string outputPath = bridge::makeTempPath(".pdf");
  StageResult result{false, "no name for the updated part in the temporary folder"};
  if (!outputPath.empty()) {
    const bridge::ProcessResult run = bridge::runCommandBlocking(
        quoteArgument(enginePath) + " " + quoteArgument(partPath) + " update_info " +
            quoteArgument(infoPath) + " output " + quoteArgument(outputPath) + " dont_ask",
        deadlineMs);
    if (!bridge::engineWrote(run) || !fileExists(outputPath))
      result = stageFailure(run, "the engine did not update it");
    else if (!replaceFile(outputPath, partPath))
      result = {false,
                std::string("the updated copy could not replace it: ") + std::strerror(errno)};
    else
      result = {true, {}};
    std::remove(outputPath.c_str());
  }
  std::remove(infoPath.c_str());
  return result;
}

StageResult applySecurity(const SplitSettings& settings, const std::string& partPath) {
  if (!wantsSecurity(settings))
    return {true, {}};
  if (!fileExists(partPath))
    return {false, "the part is not there"};
  const std::string newPath = securityOutputPath(partPath);
  if (newPath.empty())
    return {false, std::string("no name for the encrypted copy: ") + std::strerror(errno)};
  bridge::registerCleanupPath(newPath);
  const bridge::ProcessResult run = bridge::runCommandBlocking(
      engineCommand(quoteArgument(partPath) + " output " + quoteArgument(newPath) +
                    encryptionClauses(settings) + " dont_ask"));
  StageResult result = encryptedCopyInPlace(run, fileExists(newPath), newPath, partPath);
  if (!result)
    std::remove(newPath.c_str());
  bridge::unregisterCleanupPath(newPath);
  return result;
}

FileReport writePart(const SplitJob& job, const std::string& sourcePath, int partNumber,
                     int firstPage, int lastPage) {
  SplitObserver quiet;
  SplitJob one = job;
  one.rows = {{sourcePath, 0, {}}};
  SplitRun run(one, quiet);
  Worker worker;
  FileReport report;
  report.source = sourcePath;
  FileSplit file(run, worker, report, 0, quiet);
  const StagedPart part = stageOnePart(file, partNumber, firstPage, lastPage);
  if (part.path.empty())
    return report;
  if (!placeStagedPart(part.staging, part.path)) {
    file.fail(FailureKind::PartNotWritten,
              "the part " + part.path + " could not be put in place: " + std::strerror(errno));
    return report;
  }
  file.partDone({part.path, firstPage, lastPage, fileSize(part.path).value_or(0)});
  report.outcome = FileOutcome::Split;
  return report;
}

FileResult splitByProcess(FileSplit& file) {
  // Every command must read the file that the first one read.
  const std::optional<SourceState> state = sourceState(file.source);
  const auto changed = [&] { return sourceState(file.source) != state; };
  const bridge::PageCount count = bridge::countPages(file.source, file.deadlineMs);
  if (count.pages <= 0)
    return file.failFor(count.failure, FailureKind::Unreadable, {});
  const int pages = count.pages;
  file.setPages(pages);
  int partNumber = 1;
  int firstPage = 1;
  int lastPage = 1;
  for (;;) {
    file.reach(lastPage);
    const Probe probe = probeRange(file, firstPage, lastPage, changed);
    if (!probe.bytes)
      return probe.next;
    if (*probe.bytes < file.run.limit) {
      ++lastPage;
      if (lastPage <= pages)
        continue;
    }
    // A single page that does not fit alone is a part by itself.
    const bool alone = lastPage == firstPage;
    if (alone)
      ++lastPage;
    file.reach(lastPage);
    FileResult result = FileResult::Continue;
    const int part = firstPage;
    lastPage = writeFittingPart(file, partNumber, firstPage, lastPage, changed, result);
    if (lastPage == 0)
      return result;
    if (alone)
      file.report.oversizePages.push_back({part, *probe.bytes});
    ++partNumber;
    if (lastPage == pages + 1)
      break;
    firstPage = lastPage;
  }
  file.report.outcome = FileOutcome::Split;
  return FileResult::Continue;
}

} // namespace sundrel::engine
