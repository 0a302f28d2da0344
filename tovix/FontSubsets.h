#pragma once

#include <qpdf/QPDF.hh>

#include <cstdint>
#include <set>
#include <vector>

// Per-part font subsets: each embedded font program a part's pages draw
// with is written with only the glyphs they draw (plus .notdef and the
// glyphs those are built from), under a new subset tag. Glyph IDs stay
// where they are, so no content, /Widths or /W changes. When in doubt a
// program travels whole.
namespace sundrel::tovix {

struct OpenedInput;

struct CopiedPage {
  OpenedInput* input;
  std::size_t index; // from 0, in the state in which it was copied
};

// In `out`, the part whose pages are `pages` (copied already), replaces the
// copies of the font programs they use by subsets.
void subsetFonts(QPDF& out, const std::vector<CopiedPage>& pages);

// What page `index` weighs in font programs that a part subsets: each
// program's fixed part (glyph -1) and each glyph it draws, in bytes of the
// encoded stream. `programs` are those streams, not to be counted whole.
struct FontWeights {
  struct Item {
    QPDFObjGen program;
    std::int32_t glyph;
    double bytes;
  };
  std::vector<Item> items;
  std::set<QPDFObjGen> programs;
};
FontWeights fontWeightsOf(OpenedInput& in, std::size_t index);

} // namespace sundrel::tovix
