#pragma once

#include <qpdf/QPDFObjGen.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

// Which character codes a page shows in each font: its content and all it
// draws (form XObjects, annotation appearances, tiling patterns, soft masks,
// Type 3 glyphs), and which font programs it reaches in ways that are not
// followed, so that those travel whole.
namespace sundrel::tovix {

struct PageFontUse {
  // Every font dictionary of the resources that were read, with the codes
  // shown in it (sorted; CIDs for composite fonts), possibly none.
  std::map<QPDFObjGen, std::vector<std::uint32_t>> codes;
  // Composite fonts whose codes could not be taken as CIDs, and fonts met
  // as direct dictionaries: their programs stay whole.
  std::set<QPDFObjGen> wholeFonts;
  std::set<QPDFObjGen> wholePrograms; // font program streams that stay whole
  // The page could not be followed at all (a damaged object on the way):
  // no font of it may lose glyphs.
  bool failed = false;
};

// Reads what `page` (a page dictionary, its inherited attributes already on
// it) shows. Never throws for damaged content: what cannot be read makes the
// programs it could use whole.
PageFontUse scanPageFonts(QPDFObjectHandle page);

// The font program streams reachable from `root` (a document's /AcroForm
// /DR, for instance): fonts that must stay whole.
void collectPrograms(QPDFObjectHandle root, std::set<QPDFObjGen>& programs);

// A stream's decoded data; false (and `data` empty) when it cannot be
// decoded cleanly or exceeds `limit` bytes.
bool readStream(QPDFObjectHandle stream, std::string& data, std::size_t limit);

} // namespace sundrel::tovix
