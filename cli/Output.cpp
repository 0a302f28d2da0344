#include "cli/Output.h"

#include <cstdio>

namespace sundrel::cli {
namespace {

using engine::FileOutcome;
using engine::FileReport;

const char* failureName(engine::FailureKind kind) {
  switch (kind) {
  case engine::FailureKind::Unreadable:
    return "unreadable";
  case engine::FailureKind::Protected:
    return "protected";
  case engine::FailureKind::EngineMissing:
    return "engine_missing";
  case engine::FailureKind::ProbeFailed:
    return "probe_failed";
  case engine::FailureKind::PartNotWritten:
    return "part_not_written";
  case engine::FailureKind::StageFailed:
    return "stage_failed";
  case engine::FailureKind::Overwrite:
    return "overwrite";
  case engine::FailureKind::Timeout:
    return "timeout";
  case engine::FailureKind::SourceChanged:
    return "source_changed";
  case engine::FailureKind::None:
    break;
  }
  return "failed";
}

void line(const std::string& text) {
  std::fputs((text + "\n").c_str(), stdout);
}

} // namespace

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

Outcome outcomeOf(const engine::SplitReport& report) {
  Outcome outcome = Outcome::Clean;
  for (const FileReport& file : report.files) {
    if (file.outcome == FileOutcome::Failed || file.outcome == FileOutcome::NotReached)
      return Outcome::Failed;
    if (!file.oversizePages.empty() || !file.warnings.empty())
      outcome = Outcome::Warnings;
  }
  return outcome;
}

Outcome printReportProblems(const engine::SplitReport& report) {
  for (const FileReport& file : report.files) {
    if (file.outcome == FileOutcome::NotReached)
      std::fprintf(stderr, "sundrel-split: %s: not split, the run stopped before it\n",
                   file.source.c_str());
    for (const auto& page : file.oversizePages)
      std::fprintf(stderr,
                   "sundrel-split: %s: page %d alone is %llu bytes, over the limit of %llu; it is "
                   "a part by itself\n",
                   file.source.c_str(), page.page, static_cast<unsigned long long>(page.bytes),
                   static_cast<unsigned long long>(report.limit));
    for (const auto& warning : file.warnings)
      std::fprintf(stderr, "sundrel-split: %s: %s\n", file.source.c_str(), warning.c_str());
  }
  return outcomeOf(report);
}

void printJsonFailure(const std::string& source, const std::string& reason) {
  line("{\"type\":\"failed\",\"source\":" + jsonString(source) +
       ",\"kind\":\"unreadable\",\"message\":" + jsonString(reason) + "}");
}

Outcome printJsonReport(const engine::SplitReport& report, int failedBefore) {
  int split = 0;
  int skipped = 0;
  int failed = failedBefore;
  int notReached = 0;
  for (const FileReport& file : report.files) {
    const std::string source = "\"source\":" + jsonString(file.source);
    for (const auto& part : file.parts)
      line("{\"type\":\"part\"," + source + ",\"path\":" + jsonString(part.path) + ",\"first\":" +
           std::to_string(part.firstPage) + ",\"last\":" + std::to_string(part.lastPage) +
           ",\"bytes\":" + std::to_string(part.bytes) + "}");
    split += file.outcome == FileOutcome::Split;
    skipped += file.outcome == FileOutcome::SkippedTooSmall;
    failed += file.outcome == FileOutcome::Failed;
    notReached += file.outcome == FileOutcome::NotReached;
    if (file.outcome == FileOutcome::SkippedTooSmall)
      line("{\"type\":\"skip\"," + source + ",\"message\":\"smaller than the limit\"}");
    if (file.outcome == FileOutcome::Failed)
      line("{\"type\":\"failed\"," + source + ",\"kind\":\"" + failureName(file.failure) +
           "\",\"message\":" + jsonString(file.reason) + "}");
    if (file.outcome == FileOutcome::NotReached)
      line("{\"type\":\"not_reached\"," + source + "}");
    for (const auto& page : file.oversizePages)
      line("{\"type\":\"oversize_page\"," + source + ",\"page\":" + std::to_string(page.page) +
           ",\"bytes\":" + std::to_string(page.bytes) + "}");
    for (const auto& warning : file.warnings)
      line("{\"type\":\"warning\"," + source + ",\"message\":" + jsonString(warning) + "}");
  }
  line("{\"type\":\"summary\",\"limit\":" + std::to_string(report.limit) +
       ",\"split\":" + std::to_string(split) + ",\"skipped\":" + std::to_string(skipped) +
       ",\"failed\":" + std::to_string(failed) + ",\"not_reached\":" + std::to_string(notReached) +
       ",\"parts\":" + std::to_string(report.partCount()) + "}");
  std::fflush(stdout);
  return outcomeOf(report);
}

} // namespace sundrel::cli
