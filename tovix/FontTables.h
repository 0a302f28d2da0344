#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// The fixed data that reading fonts needs: the base encodings of PDF, the
// CFF standard strings and the Unicode values of glyph names.
namespace sundrel::tovix {

// Glyph names by code; nullptr where the encoding has none.
extern const char* const kStandardEncoding[256];
extern const char* const kWinAnsiEncoding[256];
extern const char* const kMacRomanEncoding[256];

// CFF's predefined strings: SIDs 0 to 390.
constexpr std::uint32_t kCffStandardStringCount = 391;
extern const char* const kCffStandardStrings[kCffStandardStringCount];

// The Unicode values of a glyph name: the names of the Latin fonts that
// PDF's encodings use, uniXXXX and uXXXX[XX]; empty when unknown.
std::vector<std::uint32_t> unicodesOfName(std::string_view name);

} // namespace sundrel::tovix
