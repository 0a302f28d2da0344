#include "engine/SplitReport.h"

namespace sundrel::engine {

int SplitReport::partCount() const {
  int count = 0;
  for (const FileReport& file : files)
    count += static_cast<int>(file.parts.size());
  return count;
}

bool SplitReport::hasProblems() const {
  if (stoppedEarly)
    return true;
  for (const FileReport& file : files) {
    if (file.outcome == FileOutcome::Failed || file.outcome == FileOutcome::NotReached ||
        !file.oversizePages.empty() || !file.warnings.empty())
      return true;
  }
  return false;
}

EngineReason engineReasonOf(const FileReport& file) {
  if (file.engineReason != EngineReason::None)
    return file.engineReason;
  return bridge::reasonOfText(file.reason);
}

} // namespace sundrel::engine
