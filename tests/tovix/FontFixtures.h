#pragma once
// A six-page document whose fonts come from Debian's font packages, each
// page drawing its text a different way: Type 1 with an accent made by seac
// (fonts-urw-base35, reassembled with t1utils), TrueType with composite
// glyphs and as a CID font (fonts-dejavu-core), OpenType CFF and bare CFF,
// forms in forms, an annotation's appearance, a form field, a Type 3 font,
// a tiling pattern and a font set by a graphics state.

#include <string>

namespace sundrel::tovix::test {

// Font files the fixtures read; empty when a package is missing.
std::string type1Font(); // a PFB file
std::string trueTypeFont(const char* name = "DejaVuSans.ttf");
std::string openTypeFont(const char* name = "NimbusSans-Regular.otf");

// The PFB with /Aacute rebuilt as seac(A, acute); empty (and `why` set)
// without t1utils.
std::string seacType1(const std::string& workDir, std::string& why);
// The CFF table of an OpenType font.
std::string cffTable(const std::string& otf);

// Writes the document; false with the reason when a font or tool is missing.
// Page by page, the fonts it embeds (by BaseFont):
//   1 Roman (Type 1, seac), Sans (TrueType)
//   2 Serif (CID TrueType, Identity-H), Nimbus (OpenType CFF)
//   3 Mono (bare CFF) in the page, Roman in a form inside a form
//   4 Nimbus in an annotation's appearance, Field (TrueType) in a form field
//   5 Roman in a tiling pattern, Nimbus set by a graphics state, a Type 3 font
//   6 Roman and Mono again, other letters
bool writeFontDocument(const std::string& path, const std::string& workDir, std::string& why);

} // namespace sundrel::tovix::test
