#pragma once
// What sundrel-split prints about a run: the problems in text on standard
// error, or everything as JSON lines on standard output.

#include "engine/SplitReport.h"

#include <string>

namespace sundrel::cli {

enum class Outcome { Clean, Warnings, Failed };

// What the report means for the exit status.
Outcome outcomeOf(const engine::SplitReport& report);

// One "sundrel-split: ..." line on standard error for each problem that was
// not told during the run: files not reached, pages alone over the limit,
// warnings.
Outcome printReportProblems(const engine::SplitReport& report);

// The whole report as JSON lines on standard output: parts, skips, failures,
// files not reached, pages over the limit, warnings, and last one summary
// (the limit in bytes, files split, skipped, failed, not reached, parts).
// failedBefore: files that failed before the run (not there), told already.
Outcome printJsonReport(const engine::SplitReport& report, int failedBefore);
void printJsonFailure(const std::string& source, const std::string& reason);

// A JSON string literal of text, valid UTF-8 whatever text holds: a byte
// that is no UTF-8 is written as the lone surrogate \udc80 to \udcff
// (Python's "surrogateescape"), so the exact bytes can be recovered.
std::string jsonString(const std::string& text);

// A field of a tab-separated line: tab, line feed, carriage return and
// backslash written as \t, \n, \r and \\, so one line stays one record.
std::string tsvField(const std::string& text);

} // namespace sundrel::cli
