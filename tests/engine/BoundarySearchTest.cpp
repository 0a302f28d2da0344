// The boundary search against the page-by-page scan it replaces, on
// synthetic documents whose range sizes are known exactly.

#include "engine/BoundarySearch.h"

#include <gtest/gtest.h>
#include <random>

namespace sundrel::engine {
namespace {

struct Doc {
  std::vector<std::uint64_t> pages; // bytes each page adds
  std::uint64_t shared = 0;         // bytes every range carries once (fonts, overhead)
  int wobble = 0;                   // +-bytes of noise per range: sizes need not grow

  std::uint64_t size(int first, int last) const {
    std::uint64_t total = shared;
    for (int p = first; p <= last; ++p)
      total += pages[static_cast<std::size_t>(p - 1)];
    if (wobble != 0)
      total += static_cast<std::uint64_t>((first * 7919 + last * 104729) % (2 * wobble));
    return total;
  }
};

using Ranges = std::vector<std::pair<int, int>>;

// What growing each range one page at a time gives.
Ranges scan(const Doc& doc, std::uint64_t limit) {
  Ranges parts;
  const int pages = static_cast<int>(doc.pages.size());
  for (int first = 1; first <= pages;) {
    int k = first;
    while (k <= pages && doc.size(first, k) < limit)
      ++k;
    const int last = k == first ? first : k - 1;
    parts.emplace_back(first, last);
    first = last + 1;
  }
  return parts;
}

Ranges search(const Doc& doc, std::uint64_t limit, PageWeights weights, int& measurements) {
  Ranges parts;
  SizeModel model(std::move(weights));
  const int pages = static_cast<int>(doc.pages.size());
  measurements = 0;
  for (int first = 1; first <= pages;) {
    const PartEnd end = findPartEnd(first, pages, limit, model, [&](int last, bool) {
      return Measurement{true, doc.size(first, last)};
    });
    EXPECT_TRUE(end.ok);
    measurements += end.measurements;
    parts.emplace_back(first, end.last);
    first = end.last + 1;
  }
  return parts;
}

Doc randomDoc(int pages, std::uint64_t low, std::uint64_t high, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<std::uint64_t> bytes(low, high);
  Doc doc;
  for (int i = 0; i < pages; ++i)
    doc.pages.push_back(bytes(random));
  return doc;
}

PageWeights exactWeights(const Doc& doc) {
  PageWeights weights = PageWeights::uniform(static_cast<int>(doc.pages.size()), 0);
  weights.own = doc.pages;
  return weights;
}

TEST(BoundarySearch, GivesThePageByPageParts) {
  struct Case {
    std::string name;
    Doc doc;
    std::uint64_t limit;
    bool uniformWeights; // the model knows only the file's size
  };
  Doc oversize = randomDoc(40, 5000, 30000, 3);
  oversize.pages[0] = 500000;
  oversize.pages[17] = 200000;
  oversize.pages[18] = 150000;
  Doc heavyFonts = randomDoc(300, 2000, 9000, 4);
  heavyFonts.shared = 60000;
  const Case cases[] = {
      {"even pages", Doc{std::vector<std::uint64_t>(200, 10000)}, 100000, false},
      {"varied pages", randomDoc(500, 1000, 40000, 1), 1000000, false},
      {"varied, model blind", randomDoc(500, 1000, 40000, 2), 300000, true},
      {"single pages over the limit", oversize, 100000, false},
      {"shared fonts", heavyFonts, 100000, false},
      {"whole file fits", randomDoc(30, 100, 200, 5), 1000000, false},
      {"limit below every page", randomDoc(20, 5000, 6000, 6), 1000, false},
  };
  for (const Case& c : cases) {
    int measurements = 0;
    const PageWeights weights = c.uniformWeights
                                    ? PageWeights::uniform(static_cast<int>(c.doc.pages.size()),
                                                           c.doc.size(1, 1) * c.doc.pages.size())
                                    : exactWeights(c.doc);
    const Ranges parts = search(c.doc, c.limit, weights, measurements);
    EXPECT_EQ(parts, scan(c.doc, c.limit)) << c.name;
    // Few measurements per part, not one per page.
    EXPECT_LE(measurements, 6 * static_cast<int>(parts.size()) + 10) << c.name;
  }
}

// Where a range can be smaller than a shorter one, every part still fits
// or is a single page, and the parts cover the document in order.
TEST(BoundarySearch, SizesThatDoNotGrowStillGiveValidParts) {
  for (unsigned seed = 10; seed < 20; ++seed) {
    Doc doc = randomDoc(150, 100, 20000, seed);
    doc.wobble = 15000;
    const std::uint64_t limit = 120000;
    int measurements = 0;
    const Ranges parts = search(doc, limit, exactWeights(doc), measurements);
    int next = 1;
    for (const auto& [first, last] : parts) {
      EXPECT_EQ(first, next);
      EXPECT_TRUE(first == last || doc.size(first, last) < limit) << first << "-" << last;
      next = last + 1;
    }
    EXPECT_EQ(next, 151);
  }
}

TEST(BoundarySearch, AFailedMeasurementEndsTheSearch) {
  SizeModel model(PageWeights::uniform(10, 10000));
  const PartEnd end = findPartEnd(1, 10, 5000, model, [](int, bool) { return Measurement{}; });
  EXPECT_FALSE(end.ok);
  EXPECT_EQ(end.measurements, 1);
}

TEST(PageWeights, ReadsTheReportAndRefusesAWrongOne) {
  PageWeights weights;
  ASSERT_TRUE(weights.parse("SharedObject: 0 500\nSharedObject: 1 70\n"
                            "Page: 1 100 0 1\nPage: 2 200 0\nPage: 3 300\n",
                            3));
  SizeModel model(weights);
  model.beginPart(1, 1000);
  EXPECT_EQ(model.weight(3), 100 + 200 + 300 + 500 + 70); // shared objects counted once
  model.beginPart(2, 1000);
  EXPECT_EQ(model.weight(3), 200 + 300 + 500);
  for (const char* bad : {"Page: 1 100\n", "Page: 1 100 0\nPage: 2 1\nPage: 3 1\n",
                          "SharedObject: 1 5\nPage: 1 1\nPage: 2 1\nPage: 3 1\n"})
    EXPECT_FALSE(weights.parse(bad, 3)) << bad;
}

} // namespace
} // namespace sundrel::engine
