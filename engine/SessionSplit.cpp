// The split through the engine's session: the source stays open in the
// engine, a model predicts where each part ends, and measurements confirm it,
// so a part costs a few extractions instead of one per page. The finished
// part comes from the measurement that confirmed it, properties and security
// applied in the same pass.

#include "bridge/EngineRunner.h"
#include "engine/BoundarySearch.h"
#include "engine/PartFiles.h"
#include "engine/SplitRun.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace sundrel::engine {
namespace {

using bridge::quoteArgument;

struct FinishedPart {
  int last = 0;            // 0: none
  std::string staging;     // the finished part under a hidden name in the part folder
  std::uint64_t plain = 0; // size of the plain extraction
  std::uint64_t bytes = 0; // size of the finished part
};

class SessionFile {
public:
  SessionFile(SplitRun& run, FileReport& file, const std::string& source,
              const std::string& password, int deadlineMs)
      : run_(run), file_(file), source_(source), handle_("A=" + quoteArgument(source)),
        deadlineMs_(deadlineMs) {
    // The password goes over the session's pipe, never into an argument list.
    if (!password.empty()) {
      handle_ += " input_pw " + quoteArgument("A=" + password);
      // Without this the engine writes what it opened with a password unprotected.
      if (run.settings.keepEncryption != 0)
        keep_ = " keep_encryption";
    }
    // Our engine cuts each part's fonts down to its glyphs unless told not to.
    if (run.settings.subsetFonts == 0)
      keep_ += " keep_fonts";
  }
  ~SessionFile() { discard(); }
  SessionFile(const SessionFile&) = delete;
  SessionFile& operator=(const SessionFile&) = delete;

  FileResult split();
  // Puts the engine's last warning about the source into the report.
  void reportWarning() {
    if (!engineWarning_.empty())
      file_.warnings.push_back(engineWarning_);
  }

private:
  bridge::EngineAnswer ask(const std::string& command, bool payload) {
    bridge::EngineAnswer answer = run_.session.request(command, payload, deadlineMs_);
    if (answer.answered && answer.exitCode != 1)
      noteWarning(answer.message);
    return answer;
  }

  // The engine's warning about the source (a damaged file it repaired) goes
  // into the report once, in its latest words.
  void noteWarning(std::string_view message) {
    if (message.starts_with("cat_bytes="))
      message.remove_prefix(std::min(message.size(), message.find(' ') + 1));
    constexpr std::string_view prefix = "Warning: ";
    if (!message.starts_with(prefix))
      return;
    message.remove_prefix(prefix.size());
    // "<source> is damaged ..." is shown beside the source's name already.
    const bool named = message.starts_with(source_ + " ");
    if (named)
      message.remove_prefix(source_.size());
    engineWarning_ = (named ? "it" : "") + std::string(message);
  }

  std::string range(int first, int last) const {
    return " cat A" + std::to_string(first) + "-" + std::to_string(last);
  }

  FileResult fail(FailureKind kind, const std::string& reason,
                  FileResult next = FileResult::Continue) {
    return failFile(run_, file_, kind, reason, next);
  }

  // An engine that died or hung is never taken for an answer.
  FileResult engineLost(const bridge::EngineAnswer& answer, FileResult next) {
    return fail(answer.message.find("too long") != std::string::npos ? FailureKind::Timeout
                                                                     : FailureKind::ProbeFailed,
                answer.message, next);
  }

  int pageCount();
  PageWeights weights(int pages);
  Measurement measure(int first, int last);
  bool finish(int first, int last, std::string& error);
  bool ensureInfoFile();
  void discard() {
    if (!finished_.staging.empty())
      removeStagingFile(finished_.staging);
    finished_ = {};
  }

  SplitRun& run_;
  FileReport& file_;
  const std::string& source_;
  std::string handle_;
  std::string keep_;
  int deadlineMs_;
  std::string folder_;
  FinishedPart finished_;
  std::string stageError_;
  std::string engineWarning_;
  int partNumber_ = 1;
};

int SessionFile::pageCount() {
  const bridge::EngineAnswer answer = ask(handle_ + " dump_data output -", true);
  if (!answer.answered) {
    engineLost(answer, FileResult::Continue);
    return 0;
  }
  if (answer.exitCode == 1) {
    const std::string reason =
        answer.message.starts_with("Error: ") ? answer.message.substr(7) : answer.message;
    fail(classifyOpenFailure(reason), reason);
    return 0;
  }
  constexpr std::string_view key = "NumberOfPages:";
  const std::size_t at = answer.payload.find(key);
  const int pages =
      at == std::string::npos
          ? 0
          : bridge::parseLeadingInt(std::string_view(answer.payload).substr(at + key.size()));
  if (pages <= 0)
    fail(FailureKind::Unreadable, "the engine found no pages in it");
  return pages;
}

PageWeights SessionFile::weights(int pages) {
  const bridge::EngineAnswer answer = ask(handle_ + " page_sizes output -" + keep_, true);
  PageWeights weights;
  if (answer.answered && answer.exitCode != 1 && weights.parse(answer.payload, pages))
    return weights;
  return PageWeights::uniform(pages, fileSize(source_).value_or(0));
}

Measurement SessionFile::measure(int first, int last) {
  const bridge::EngineAnswer answer = ask(handle_ + range(first, last) + " measure" + keep_, false);
  if (!answer.answered || answer.exitCode == 1) {
    stageError_ = answer.message;
    return {};
  }
  return {true, answer.bytes};
}

bool SessionFile::ensureInfoFile() {
  if (!run_.infoPath.empty())
    return true;
  const std::string path = bridge::makeTempPath(".txt");
  if (path.empty())
    return false;
  std::ofstream info(path, std::ios::trunc);
  info << infoText(run_.settings);
  info.close();
  if (!info) {
    std::remove(path.c_str());
    return false;
  }
  run_.infoPath = path;
  bridge::registerCleanupPath(path);
  return true;
}

// Writes first..last as a finished part under a hidden name in the part
// folder: extraction, properties and security in one engine command. A dry
// run only measures it: nothing is written in the user's folders.
bool SessionFile::finish(int first, int last, std::string& error) {
  discard();
  if (!ensureInfoFile()) {
    error = "the properties could not be prepared in the temporary folder";
    return false;
  }
  const bool dryRun = run_.host.dryRun();
  const std::string staging = dryRun ? std::string() : makeStagingFile(folder_, error);
  if (!dryRun && staging.empty())
    return false;
  std::string command = handle_ + range(first, last) + " update_info " +
                        quoteArgument(run_.infoPath) +
                        (dryRun ? " measure" : " output " + quoteArgument(staging));
  if (wantsSecurity(run_.settings))
    command += encryptionClauses(run_.settings);
  command += keep_;
  const bridge::EngineAnswer answer = ask(command, false);
  if (!answer.answered || answer.exitCode == 1) {
    removeStagingFile(staging);
    const std::string message =
        answer.message.starts_with("Error: ") ? answer.message.substr(7) : answer.message;
    error = withPartName(
        message, staging,
        partPathFor(run_.settings.namePattern, folder_, source_, partNumber_, first, last).path);
    return false;
  }
  constexpr std::string_view key = "cat_bytes=";
  const std::size_t at = answer.message.find(key);
  if (at == std::string::npos) {
    removeStagingFile(staging);
    error = "the engine did not say the part's size";
    return false;
  }
  finished_.last = last;
  finished_.staging = staging;
  finished_.plain = std::strtoull(answer.message.c_str() + at + key.size(), nullptr, 10);
  finished_.bytes = dryRun ? answer.bytes : fileSize(staging).value_or(answer.bytes);
  return true;
}

// Why a real run could not put parts into folder; empty when it could.
std::string folderProblem(const std::string& folder) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0)
    return "the folder " + folder + " does not exist yet: a real run needs it made first";
  if (!S_ISDIR(info.st_mode))
    return folder + " is not a folder: a real run could not write these parts";
  if (::access(folder.c_str(), W_OK | X_OK) != 0)
    return "the folder " + folder + " cannot be written: a real run could not write these parts";
  return {};
}

FileResult SessionFile::split() {
  SplitHost& host = run_.host;
  const std::uint32_t limit = run_.limit;
  const int pages = pageCount();
  if (pages <= 0)
    return FileResult::Continue;
  folder_ = partFolder(source_, host.originalDirectorySelected(), host.outputFolder());
  SizeModel model(weights(pages));

  host.setProgressRange(0, pages + 1);
  int first = 1;
  partNumber_ = 1;
  while (first <= pages) {
    host.setProgressPos(first);
    int reached = first;
    int refused = first; // the range the engine refused last
    const PartEnd end = findPartEnd(first, pages, limit, model, [&](int last, bool candidate) {
      Measurement m;
      std::string error;
      if (candidate && finish(first, last, error)) {
        m = {true, finished_.plain};
      } else {
        if (candidate)
          stageError_ = error;
        m = measure(first, last);
      }
      if (!m.ok)
        refused = last;
      if (m.ok && m.bytes < limit && last > reached) {
        reached = last;
        host.setProgressPos(last);
      }
      host.pumpDialogMessages();
      return m;
    });
    if (!end.ok) {
      // The engine's reason is about this file (a damaged page, a source
      // changed while it was split): the run goes on with the next one.
      discard();
      const std::string what = "the engine could not extract pages " + std::to_string(first) + "-" +
                               std::to_string(refused);
      const std::string reason =
          stageError_.starts_with("Error: ") ? stageError_.substr(7) : stageError_;
      return fail(FailureKind::ProbeFailed, reason.empty() ? what : what + ": " + reason);
    }
    int last = end.last;
    if (end.single)
      file_.oversizePages.push_back({first, end.bytes});

    // The properties and the encryption add a few hundred bytes to what was
    // measured; a finished part that no longer fits gives its last page to
    // the next part.
    for (;;) {
      if (finished_.last != last) {
        std::string error;
        if (!finish(first, last, error))
          return fail(FailureKind::StageFailed,
                      "part " + std::to_string(partNumber_) + " could not be written: " + error);
      }
      if (last == first || finished_.bytes < limit)
        break;
      discard();
      --last;
    }

    const PartName name =
        partPathFor(run_.settings.namePattern, folder_, source_, partNumber_, first, last);
    if (name.path.empty())
      return fail(FailureKind::PartNotWritten, name.error);
    if (!partPathAllowed(run_, file_, source_, name.path))
      return FileResult::Continue;
    const std::uint64_t bytes = finished_.bytes;
    if (host.dryRun())
      discard();
    else if (!placeStagedPart(finished_.staging, name.path)) {
      finished_ = {};
      return fail(FailureKind::PartNotWritten,
                  "the part " + name.path + " could not be put in place: " + std::strerror(errno));
    }
    finished_ = {};
    run_.written.insert(name.path);
    file_.parts.push_back({name.path, first, last, bytes});
    host.partWritten(name.path, first, last, bytes);
    host.setProgressPos(last + 1);
    first = last + 1;
    ++partNumber_;
  }
  // A dry run makes nothing, not even the folder, but says what a real run needs.
  if (const std::string problem = host.dryRun() ? folderProblem(folder_) : std::string();
      !problem.empty())
    file_.warnings.push_back(problem);
  file_.outcome = FileOutcome::Split;
  return FileResult::Continue;
}

} // namespace

FileResult splitInSession(SplitRun& run, FileReport& file, const std::string& source,
                          const std::string& password, std::uint64_t sourceBytes) {
  SessionFile session(run, file, source, password, bridge::engineDeadlineMs(sourceBytes));
  const FileResult result = session.split();
  // A failed file says why; a note that it was repaired would only blur that.
  if (file.outcome != FileOutcome::Failed)
    session.reportWarning();
  return result;
}

} // namespace sundrel::engine
