#include "engine/BoundarySearch.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

namespace sundrel::engine {

bool PageWeights::parse(const std::string& report, int pages) {
  own.assign(static_cast<std::size_t>(std::max(pages, 0)), 0);
  shared.assign(own.size(), {});
  sharedBytes.clear();
  std::istringstream lines(report);
  std::string line;
  int seenPages = 0;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string key;
    fields >> key;
    if (key == "SharedObject:") {
      std::size_t index = 0;
      std::uint64_t bytes = 0;
      if (!(fields >> index >> bytes) || index != sharedBytes.size())
        return false;
      sharedBytes.push_back(bytes);
    } else if (key == "Page:") {
      int page = 0;
      std::uint64_t bytes = 0;
      if (!(fields >> page >> bytes) || page < 1 || page > pages)
        return false;
      const auto at = static_cast<std::size_t>(page - 1);
      own[at] = bytes;
      std::uint32_t index = 0;
      while (fields >> index) {
        if (index >= sharedBytes.size())
          return false;
        shared[at].push_back(index);
      }
      ++seenPages;
    }
  }
  return seenPages == pages;
}

PageWeights PageWeights::uniform(int pages, std::uint64_t fileBytes) {
  PageWeights weights;
  const std::uint64_t each = pages > 0 ? std::max<std::uint64_t>(1, fileBytes / pages) : 1;
  weights.own.assign(static_cast<std::size_t>(std::max(pages, 0)), each);
  weights.shared.assign(weights.own.size(), {});
  return weights;
}

SizeModel::SizeModel(PageWeights weights) : weights_(std::move(weights)) {}

void SizeModel::beginPart(int first, std::uint64_t limit) {
  // A part of many pages starts the next one from what it cost as a whole.
  // The slope its last measurements gave is what a page or two near its
  // end cost, and predicts a part of other pages badly (with per-part font
  // subsets, by ten pages and more); its fixed cost hardly counts there.
  // A part of a few pages keeps the fit, fixed cost and all.
  constexpr int kManyPages = 16;
  const Point* whole = nullptr;
  for (const Point& p : points_) {
    if (p.bytes < static_cast<double>(limit) && p.weight > 0 &&
        (whole == nullptr || p.weight > whole->weight))
      whole = &p;
  }
  if (whole != nullptr && first - first_ >= kManyPages) {
    const double slope = whole->bytes / whole->weight;
    if (slope > 0 && std::isfinite(slope)) {
      ratio_ = slope;
      overhead_ = 0;
    }
  }
  first_ = first;
  cumulative_.clear();
  seen_.clear();
  points_.clear();
}

double SizeModel::weight(int last) {
  const int pages = static_cast<int>(weights_.own.size());
  last = std::min(last, pages);
  while (first_ + static_cast<int>(cumulative_.size()) <= last) {
    const auto page = static_cast<std::size_t>(first_ - 1 + static_cast<int>(cumulative_.size()));
    double total = cumulative_.empty() ? 0.0 : cumulative_.back();
    total += static_cast<double>(weights_.own[page]);
    for (const std::uint32_t index : weights_.shared[page]) {
      if (seen_.insert(index).second)
        total += static_cast<double>(weights_.sharedBytes[index]);
    }
    cumulative_.push_back(total);
  }
  if (last < first_)
    return 0.0;
  return cumulative_[static_cast<std::size_t>(last - first_)];
}

void SizeModel::observe(int last, std::uint64_t bytes) {
  points_.push_back({weight(last), static_cast<double>(bytes)});
  refit();
}

void SizeModel::refit() {
  if (points_.empty())
    return;
  // The two measurements nearest in weight to the newest one describe the
  // boundary region best.
  const Point newest = points_.back();
  if (points_.size() >= 2) {
    const Point* other = nullptr;
    for (std::size_t i = 0; i + 1 < points_.size(); ++i) {
      const Point& p = points_[i];
      if (p.weight == newest.weight)
        continue;
      if (other == nullptr ||
          std::fabs(p.weight - newest.weight) < std::fabs(other->weight - newest.weight))
        other = &p;
    }
    if (other != nullptr) {
      const double slope = (newest.bytes - other->bytes) / (newest.weight - other->weight);
      if (slope > 0 && std::isfinite(slope)) {
        ratio_ = slope;
        overhead_ = newest.bytes - slope * newest.weight;
        return;
      }
    }
  }
  if (newest.weight > 0) {
    const double slope = (newest.bytes - overhead_) / newest.weight;
    if (slope > 0 && std::isfinite(slope)) {
      ratio_ = slope;
      return;
    }
    ratio_ = newest.bytes / newest.weight;
    overhead_ = 0;
  }
}

int SizeModel::predictLast(std::uint64_t limit, int lo, int hi) {
  const auto target = static_cast<double>(limit);
  int best = lo;
  for (int k = std::max(lo + 1, first_); k < hi; ++k) {
    if (overhead_ + ratio_ * weight(k) >= target)
      break;
    best = k;
  }
  return best;
}

PartEnd findPartEnd(int first, int pages, std::uint64_t limit, SizeModel& model,
                    const MeasureFn& measure) {
  PartEnd result;
  model.beginPart(first, limit);
  int lo = first - 1; // size(first..lo) < limit (the empty range)
  int hi = pages + 1; // size(first..hi) >= limit (past the end: the rest fits)
  std::map<int, std::uint64_t> sizes;
  constexpr int kGuidedProbes = 4;
  while (hi - lo > 1) {
    int k = 0;
    bool alone = false; // first alone expected to reach the limit: a part whatever it measures
    if (result.measurements < kGuidedProbes) {
      const int expected = model.predictLast(limit, lo, hi);
      k = expected == hi - 1 ? expected : expected + 1;
      alone = expected < first && k == first;
    } else if (hi == pages + 1) {
      // The model keeps falling short: gallop towards the end.
      k = std::min(pages, lo + std::max(1, 2 * (lo - first + 1)));
    } else {
      k = lo + (hi - lo) / 2;
    }
    k = std::clamp(k, lo + 1, hi - 1);
    const Measurement m = measure(k, k == hi - 1 || alone);
    ++result.measurements;
    if (!m.ok)
      return result;
    sizes[k] = m.bytes;
    model.observe(k, m.bytes);
    if (m.bytes < limit)
      lo = k;
    else
      hi = k;
  }
  result.ok = true;
  result.single = lo < first;
  result.last = result.single ? first : lo;
  const auto known = sizes.find(result.last);
  if (known != sizes.end())
    result.bytes = known->second;
  return result;
}

} // namespace sundrel::engine
