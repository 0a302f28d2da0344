#pragma once
// The text of the one message box that ends a run with problems: files that
// failed or were not reached first, then single pages over the limit, then
// warnings, and last how many parts were written and where.

#include "engine/SplitReport.h"

#include <QString>

namespace sundrel::ui {

// The message for a report with problems; meant to be shown only when
// report.hasProblems().
QString problemMessage(const engine::SplitReport& report);

// The message for a report without problems: how many parts from how many
// files went to which folders.
QString runSummary(const engine::SplitReport& report);

} // namespace sundrel::ui
