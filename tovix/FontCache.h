#pragma once

#include "tovix/CffFont.h"
#include "tovix/GlyphUsage.h"
#include "tovix/SfntFont.h"
#include "tovix/Type1Font.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>

#include <bitset>
#include <map>
#include <memory>
#include <string>
#include <vector>

// What an opened input keeps about its fonts: each font program read once,
// each font dictionary's codes mapped to glyphs once, each page's glyphs
// found once, and recent subsets, so that measuring a part again and then
// writing it costs no more font work.
namespace sundrel::tovix {

struct OpenedInput;

struct FontProgram {
  enum class Kind { Type1, Cff, Sfnt } kind = Kind::Type1;
  std::unique_ptr<Type1Font> type1;
  std::unique_ptr<CffFont> cff;
  std::unique_ptr<SfntFont> sfnt;
  bool broken = false; // not read: it stays whole
  std::string why;
  std::uint32_t glyphCount = 0;
  // What the stream's encoded bytes are for: the part every copy keeps,
  // and each glyph's share.
  double baseCost = 0;
  std::vector<float> glyphCost;

  const CffFont* cffFont() const { return cff ? cff.get() : sfnt ? sfnt->cff() : nullptr; }
};

// A font dictionary's way from codes to glyphs of its program.
struct FontFace {
  QPDFObjGen program; // none: not embedded, a Type 3 font, or not subsettable
  bool composite = false;
  bool whole = false; // whatever it shows, the program stays whole
  // Simple fonts: the glyphs a code can reach (codeGlyphs from
  // codeStart[c] to codeStart[c + 1]), and codes whose glyph cannot be told
  // (their use keeps the program whole). Codes are added in order.
  std::array<std::uint16_t, 257> codeStart{};
  std::vector<std::uint16_t> codeGlyphs;
  std::bitset<256> unresolved;
  void addCode(std::size_t code, const std::vector<std::uint16_t>& glyphs) {
    codeStart[code] = static_cast<std::uint16_t>(codeGlyphs.size());
    codeGlyphs.insert(codeGlyphs.end(), glyphs.begin(), glyphs.end());
    codeStart[code + 1] = static_cast<std::uint16_t>(codeGlyphs.size());
  }
  // Composite fonts: CID to glyph.
  enum class CidMap { Identity, Table, Charset } cidMap = CidMap::Identity;
  std::vector<std::uint16_t> cidToGid;
};

// The glyphs one page draws, by font program.
struct PageGlyphs {
  struct Program {
    QPDFObjGen id;
    std::vector<std::uint16_t> glyphs; // sorted
    std::vector<QPDFObjGen> fonts;     // font dictionaries that draw with it, sorted
  };
  std::vector<Program> programs; // sorted by id
  std::vector<QPDFObjGen> whole; // programs that stay whole, sorted
  bool failed = false;           // no font of this page may lose glyphs
};

struct SubsetResult {
  std::shared_ptr<Buffer> data; // compressed with Flate
  std::size_t length1 = 0, length2 = 0, length3 = 0;
  std::string tag;
  std::vector<std::string> names; // kept glyph names (Type 1), for /CharSet
  std::vector<bool> keep;
};

struct FontCache {
  std::map<QPDFObjGen, std::unique_ptr<FontProgram>> programs;
  std::map<QPDFObjGen, std::unique_ptr<FontFace>> faces;
  std::vector<std::unique_ptr<PageGlyphs>> pages;
  bool formsKnown = false;
  std::set<QPDFObjGen> formPrograms; // fonts form fields type with

  // Subsets of the last two parts assembled: a part is measured, then the
  // same range written; older subsets are dropped.
  using SubsetKey = std::pair<QPDFObjGen, std::vector<std::uint16_t>>;
  struct Kept {
    std::shared_ptr<const SubsetResult> subset;
    std::uint64_t lastUse = 0;
  };
  std::map<SubsetKey, Kept> subsets;
  std::uint64_t generation = 0;
};

FontCache& fontCacheOf(OpenedInput& in);
// The program stream `id` of the input, read on first use; `key` is the
// descriptor's key that holds it (/FontFile, /FontFile2 or /FontFile3).
FontProgram& programOf(OpenedInput& in, QPDFObjGen id, const std::string& key);
// The face of font dictionary `id`, made on first use.
const FontFace& faceOf(OpenedInput& in, QPDFObjGen id);
// Page `index` (from 0), in the state in which it is copied.
const PageGlyphs& pageGlyphsOf(OpenedInput& in, std::size_t index);
// The programs that form fields use.
const std::set<QPDFObjGen>& formProgramsOf(OpenedInput& in);

} // namespace sundrel::tovix
