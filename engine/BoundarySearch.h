#pragma once
// Finds where a part must end with few measurements: a model predicts the
// size of a page range from what its pages hold (objects shared by several
// pages counted once), and measurements confirm the boundary, so the result
// is the part that growing the range one page at a time would give.

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

namespace sundrel::engine {

// The engine's page_sizes report: what each page holds alone, and which
// objects it shares with other pages.
struct PageWeights {
  std::vector<std::uint64_t> own;                 // index 0 is page 1
  std::vector<std::vector<std::uint32_t>> shared; // per page: indices into sharedBytes
  std::vector<std::uint64_t> sharedBytes;

  // Reads the report; false when it does not describe exactly `pages` pages.
  bool parse(const std::string& report, int pages);
  // Every page the same share of the file, for engines without the report.
  static PageWeights uniform(int pages, std::uint64_t fileBytes);
};

// size(first..last) ~ overhead + ratio * weight(first..last), fitted to the
// measurements of the current part and carried over to the next part.
class SizeModel {
public:
  explicit SizeModel(PageWeights weights);

  // `limit`: the previous part's, which its measurements were judged by.
  void beginPart(int first, std::uint64_t limit);
  double weight(int last);
  void observe(int last, std::uint64_t bytes);
  // The largest last page in [lo, hi - 1] predicted to stay below limit; lo
  // when none is.
  int predictLast(std::uint64_t limit, int lo, int hi);

private:
  void refit();

  PageWeights weights_;
  int first_ = 1;
  std::vector<double> cumulative_; // cumulative_[i]: weight of first..first+i
  std::unordered_set<std::uint32_t> seen_;
  double overhead_ = 0;
  double ratio_ = 1;
  struct Point {
    double weight;
    double bytes;
  };
  std::vector<Point> points_;
};

struct Measurement {
  bool ok = false;
  std::uint64_t bytes = 0; // size of the plain extraction of first..last
};

// Measures first..last. `candidate`: the range is likely the part (last is
// the part's last page if the range fits, or first alone is expected to
// reach the limit), so the caller may produce the finished part in the same
// pass.
using MeasureFn = std::function<Measurement(int last, bool candidate)>;

struct PartEnd {
  bool ok = false;
  int last = 0;
  bool single = false;     // first alone reaches the limit
  std::uint64_t bytes = 0; // measured size of first..last when known
  int measurements = 0;
};

// Finds the smallest k >= first with size(first..k) >= limit and returns
// k - 1 (first when k == first; pages when there is no such k). Where sizes
// grow with the range, this is exactly the page-by-page result; where they
// do not, the part is still below the limit or a single page.
PartEnd findPartEnd(int first, int pages, std::uint64_t limit, SizeModel& model,
                    const MeasureFn& measure);

} // namespace sundrel::engine
