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

// The length of the well-formed UTF-8 sequence at text[at], 0 when the
// byte there starts none (overlong forms, surrogates and values past
// U+10FFFF are not well formed).
std::size_t utf8Length(const std::string& text, std::size_t at) {
  const auto byte = [&](std::size_t i) {
    return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
  };
  const unsigned lead = byte(at);
  const auto follows = [&](std::size_t i, unsigned low = 0x80, unsigned high = 0xBF) {
    return byte(i) >= low && byte(i) <= high;
  };
  if (lead < 0x80)
    return 1;
  if (lead >= 0xC2 && lead <= 0xDF)
    return follows(at + 1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    const unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
    const unsigned high = lead == 0xED ? 0x9F : 0xBF;
    return follows(at + 1, low, high) && follows(at + 2) ? 3 : 0;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    const unsigned low = lead == 0xF0 ? 0x90 : 0x80;
    const unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
    return follows(at + 1, low, high) && follows(at + 2) && follows(at + 3) ? 4 : 0;
  }
  return 0;
}

} // namespace

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const char c = text[at];
    const auto byte = static_cast<unsigned char>(c);
    const std::size_t length = utf8Length(text, at);
    char escaped[8];
    if (length == 0) {
      // A byte that is no UTF-8 becomes a lone low surrogate, U+DC80 to
      // U+DCFF, as Python's "surrogateescape" reads it: the exact name comes
      // back with os.fsencode.
      std::snprintf(escaped, sizeof escaped, "\\u%04x", 0xDC00u + byte);
      out += escaped;
      ++at;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out.append(text, at, length);
    }
    at += length;
  }
  return out + "\"";
}

std::string tsvField(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
    case '\t':
      out += "\\t";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    case '\\':
      out += "\\\\";
      break;
    default:
      out += c;
    }
  }
  return out;
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
