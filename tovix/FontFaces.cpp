// From a page's character codes to the glyphs of the embedded font programs
// that draw them, the way PDF readers pick glyphs. Where readers differ, every
// glyph any of them could pick is kept; where a code's glyph cannot be told,
// the program stays whole.

#include "tovix/FontCache.h"
#include "tovix/FontTables.h"
#include "tovix/Inputs.h"
#include "tovix/Operations.h"

#include <algorithm>
#include <unordered_map>

namespace sundrel::tovix {

namespace {

constexpr std::size_t kProgramLimit = 32u << 20;

bool isName(QPDFObjectHandle h, const char* name) {
  return h.isName() && h.getName() == name;
}

std::size_t intOf(QPDFObjectHandle h) {
  return h.isInteger() && h.getIntValue() > 0 ? static_cast<std::size_t>(h.getIntValue()) : 0;
}

const char* const* namedEncoding(const std::string& name) {
  if (name == "/WinAnsiEncoding")
    return kWinAnsiEncoding;
  if (name == "/MacRomanEncoding")
    return kMacRomanEncoding;
  if (name == "/StandardEncoding")
    return kStandardEncoding;
  return nullptr;
}

// The names /Encoding gives codes (base encoding and differences). False
// when it names an encoding not known here. `base` tells whether a base
// encoding was named.
bool encodingNames(QPDFObjectHandle font, std::array<std::string, 256>& names, bool& base) {
  QPDFObjectHandle encoding = font.getKey("/Encoding");
  QPDFObjectHandle baseName = encoding;
  QPDFObjectHandle differences;
  if (encoding.isDictionary()) {
    baseName = encoding.getKey("/BaseEncoding");
    differences = encoding.getKey("/Differences");
  } else if (!encoding.isNull() && !encoding.isName()) {
    return false;
  }
  base = baseName.isName();
  if (base) {
    const char* const* table = namedEncoding(baseName.getName());
    if (!table)
      return false;
    for (std::size_t c = 0; c < 256; ++c)
      names[c] = table[c] ? table[c] : "";
  } else if (!baseName.isNull()) {
    return false;
  }
  if (differences.isInitialized() && differences.isArray()) {
    long code = -1;
    for (auto& item : differences.aitems()) {
      if (item.isInteger()) {
        code = static_cast<long>(item.getIntValue());
      } else if (item.isName()) {
        if (code >= 0 && code < 256)
          names[static_cast<std::size_t>(code)] = item.getName().substr(1);
        if (code >= 0)
          ++code;
      } else {
        return false;
      }
    }
  } else if (differences.isInitialized() && !differences.isNull()) {
    return false;
  }
  return true;
}

void add(std::vector<std::uint16_t>& glyphs, std::uint32_t g, std::uint32_t count) {
  if (g < count && std::find(glyphs.begin(), glyphs.end(), g) == glyphs.end())
    glyphs.push_back(static_cast<std::uint16_t>(g));
}

// Type 1 and CFF fonts: by name, and by the font's own encoding where a
// code has no name (a reader may fall back to it).
void nameKeyedFace(FontFace& face, const FontProgram& program, QPDFObjectHandle font) {
  std::array<std::string, 256> names;
  bool base = false;
  if (!encodingNames(font, names, base)) {
    face.whole = true;
    return;
  }
  const CffFont* cff = program.cffFont();
  for (std::size_t c = 0; c < 256; ++c) {
    std::optional<std::uint32_t> builtin;
    if (program.type1) {
      const std::string& n = program.type1->builtinEncoding()[c];
      builtin = n.empty() ? std::nullopt : program.type1->glyphIndex(n);
    } else if (cff && cff->builtinEncodingKnown()) {
      builtin = cff->builtinEncoding()[c];
    } else if (!base && names[c].empty()) {
      face.unresolved.set(c);
    }
    std::vector<std::uint16_t> glyphs;
    if (!names[c].empty()) {
      const auto g =
          program.type1 ? program.type1->glyphIndex(names[c]) : cff->glyphByName(names[c]);
      if (!g)
        face.unresolved.set(c); // readers differ in what they draw then
      else
        add(glyphs, *g, program.glyphCount);
    } else if (builtin) {
      add(glyphs, *builtin, program.glyphCount);
    }
    face.addCode(c, glyphs);
  }
}

const std::unordered_map<std::string, std::uint32_t>& macRomanCodes() {
  static const auto* codes = [] {
    auto* m = new std::unordered_map<std::string, std::uint32_t>;
    for (std::uint32_t c = 0; c < 256; ++c) {
      if (kMacRomanEncoding[c])
        m->emplace(kMacRomanEncoding[c], c);
    }
    return m;
  }();
  return *codes;
}

// TrueType: every cmap subtable at the code (and the symbol area's copies
// of it), at the Unicode value and Mac code of its name, the name in the
// post table; the code itself where the font has no cmap.
void trueTypeFace(FontFace& face, const FontProgram& program, QPDFObjectHandle font) {
  std::array<std::string, 256> names;
  bool base = false;
  if (!encodingNames(font, names, base)) {
    face.whole = true;
    return;
  }
  const bool hasEncoding = !font.getKey("/Encoding").isNull();
  const SfntFont& sfnt = *program.sfnt;
  const CffFont* cff = sfnt.cff();
  const auto& cmaps = sfnt.cmaps();
  const std::uint32_t count = program.glyphCount;
  std::vector<std::uint32_t> hits;
  auto byCmap = [&](std::uint32_t code, std::vector<std::uint16_t>& glyphs, bool macOnly) {
    for (const SfntFont::Cmap& cmap : cmaps) {
      if (macOnly && cmap.platform != 1)
        continue;
      hits.clear();
      sfnt.lookup(cmap, code, hits);
      for (const std::uint32_t g : hits)
        add(glyphs, g, count);
    }
  };
  for (std::uint32_t c = 0; c < 256; ++c) {
    std::vector<std::uint16_t> glyphs;
    for (const std::uint32_t code : {c, 0xF000 | c, 0xF100 | c, 0xF200 | c})
      byCmap(code, glyphs, false);
    if (cmaps.empty() || !sfnt.cmapsComplete())
      add(glyphs, c, count);
    if (cff && cff->builtinEncodingKnown() && cff->builtinEncoding()[c])
      add(glyphs, *cff->builtinEncoding()[c], count);
    std::vector<std::pair<std::string, bool>> candidates; // name, must resolve
    if (!names[c].empty())
      candidates.emplace_back(names[c], true);
    if (!hasEncoding) {
      for (const char* const* table : {kStandardEncoding, kWinAnsiEncoding, kMacRomanEncoding}) {
        if (table[c])
          candidates.emplace_back(table[c], false);
      }
    }
    for (const auto& [name, needed] : candidates) {
      bool found = false;
      for (const std::uint32_t u : unicodesOfName(name)) {
        byCmap(u, glyphs, false);
        found = true;
      }
      const auto mac = macRomanCodes().find(name);
      if (mac != macRomanCodes().end())
        byCmap(mac->second, glyphs, true);
      if (const auto g = sfnt.glyphByPostName(name)) {
        add(glyphs, *g, count);
        found = true;
      }
      if (!found && needed)
        face.unresolved.set(c);
    }
    face.addCode(c, glyphs);
  }
}

// Composite fonts: Identity-H/V codes are CIDs; the CIDFont maps them to glyphs.
void compositeFace(FontFace& face, const FontProgram& program, QPDFObjectHandle descendant,
                   QPDFObjectHandle font) {
  face.composite = true;
  QPDFObjectHandle encoding = font.getKey("/Encoding");
  if (!isName(encoding, "/Identity-H") && !isName(encoding, "/Identity-V")) {
    face.whole = true;
    return;
  }
  const CffFont* cff = program.cffFont();
  if (isName(descendant.getKey("/Subtype"), "/CIDFontType0") && cff) {
    face.cidMap = cff->cidKeyed() ? FontFace::CidMap::Charset : FontFace::CidMap::Identity;
    return;
  }
  QPDFObjectHandle map = descendant.getKey("/CIDToGIDMap");
  if (map.isStream()) {
    std::string data;
    if (!readStream(map, data, 1u << 20)) {
      face.whole = true;
      return;
    }
    face.cidMap = FontFace::CidMap::Table;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2)
      face.cidToGid.push_back(static_cast<std::uint16_t>(
          (static_cast<unsigned char>(data[i]) << 8) | static_cast<unsigned char>(data[i + 1])));
  } else if (!map.isNull() && !isName(map, "/Identity")) {
    face.whole = true;
  }
}

void readProgram(FontProgram& p, QPDFObjectHandle stream, const std::string& key) {
  std::string data;
  if (!readStream(stream, data, kProgramLimit)) {
    p.broken = true;
    p.why = "unreadable stream";
    return;
  }
  QPDFObjectHandle dict = stream.getDict();
  const std::string subtype =
      dict.getKey("/Subtype").isName() ? dict.getKey("/Subtype").getName() : "";
  std::string error;
  std::size_t bytes = 0;
  if (key == "/FontFile") {
    p.kind = FontProgram::Kind::Type1;
    p.type1 = Type1Font::parse(data, intOf(dict.getKey("/Length1")), intOf(dict.getKey("/Length2")),
                               error);
    p.glyphCount = p.type1 ? static_cast<std::uint32_t>(p.type1->glyphCount()) : 0;
    bytes = p.type1 ? p.type1->programBytes() : 0;
  } else if (key == "/FontFile2" || subtype == "/OpenType") {
    p.kind = FontProgram::Kind::Sfnt;
    p.sfnt = SfntFont::parse(data, error);
    p.glyphCount = p.sfnt ? p.sfnt->glyphCount() : 0;
    bytes = p.sfnt ? p.sfnt->programBytes() : 0;
  } else if (subtype == "/Type1C" || subtype == "/CIDFontType0C") {
    p.kind = FontProgram::Kind::Cff;
    p.cff = CffFont::parse(data, error);
    p.glyphCount = p.cff ? p.cff->glyphCount() : 0;
    bytes = p.cff ? p.cff->programBytes() : 0;
  } else {
    error = "unknown program type " + subtype;
  }
  if (!p.type1 && !p.sfnt && !p.cff) {
    p.broken = true;
    p.why = error;
    return;
  }
  if (p.glyphCount == 0 || p.glyphCount > 65535) {
    p.broken = true;
    p.why = "glyph count out of range";
    return;
  }
  // What the encoded stream spends on each glyph, by its share of the program.
  const double ratio = static_cast<double>(stream.getRawStreamData()->getSize()) /
                       static_cast<double>(bytes ? bytes : 1);
  double glyphs = 0;
  p.glyphCost.resize(p.glyphCount);
  for (std::uint32_t g = 0; g < p.glyphCount; ++g) {
    const std::size_t b = p.type1 ? p.type1->glyphBytes(g)
                          : p.cff ? p.cff->glyphBytes(g)
                                  : p.sfnt->glyphBytes(g);
    p.glyphCost[g] = static_cast<float>(static_cast<double>(b) * ratio);
    glyphs += static_cast<double>(b);
  }
  p.baseCost = std::max(0.0, static_cast<double>(bytes) - glyphs) * ratio;
}

// The font dictionary's face; `program` is its FontFile stream when embedded.
std::unique_ptr<FontFace> makeFace(OpenedInput& in, QPDFObjectHandle font) {
  auto face = std::make_unique<FontFace>();
  QPDFObjectHandle descendant = font;
  const bool composite = isName(font.getKey("/Subtype"), "/Type0");
  if (composite) {
    QPDFObjectHandle list = font.getKey("/DescendantFonts");
    descendant = list.isArray() && list.getArrayNItems() == 1 ? list.getArrayItem(0)
                                                              : QPDFObjectHandle::newNull();
  }
  QPDFObjectHandle descriptor =
      descendant.isDictionary() ? descendant.getKey("/FontDescriptor") : QPDFObjectHandle();
  if (!descriptor.isInitialized() || !descriptor.isDictionary())
    return face;
  for (const char* key : {"/FontFile", "/FontFile2", "/FontFile3"}) {
    QPDFObjectHandle file = descriptor.getKey(key);
    if (!file.isStream())
      continue;
    face->program = file.getObjGen();
    FontProgram& program = programOf(in, face->program, key);
    if (program.broken) {
      face->whole = true;
    } else if (composite) {
      compositeFace(*face, program, descendant, font);
    } else if (program.kind == FontProgram::Kind::Sfnt) {
      trueTypeFace(*face, program, font);
    } else {
      nameKeyedFace(*face, program, font);
    }
    break;
  }
  return face;
}

// The glyphs `codes` reach in `face`; false when one of them cannot be told.
bool glyphsFor(const FontFace& face, const FontProgram& program,
               const std::vector<std::uint32_t>& codes, std::vector<std::uint16_t>& glyphs) {
  if (!program.type1)
    glyphs.push_back(0); // .notdef; a Type 1 font's is found by name
  for (const std::uint32_t c : codes) {
    if (!face.composite) {
      if (c > 255 || face.unresolved.test(c))
        return false;
      glyphs.insert(glyphs.end(), face.codeGlyphs.begin() + face.codeStart[c],
                    face.codeGlyphs.begin() + face.codeStart[c + 1]);
      continue;
    }
    std::optional<std::uint32_t> g;
    if (face.cidMap == FontFace::CidMap::Identity)
      g = c;
    else if (face.cidMap == FontFace::CidMap::Table)
      g = c < face.cidToGid.size() ? std::optional<std::uint32_t>(face.cidToGid[c]) : 0u;
    else
      g = program.cffFont()->glyphByCid(c);
    if (g && *g < program.glyphCount)
      glyphs.push_back(static_cast<std::uint16_t>(*g));
  }
  std::sort(glyphs.begin(), glyphs.end());
  glyphs.erase(std::unique(glyphs.begin(), glyphs.end()), glyphs.end());
  return true;
}

std::unique_ptr<PageGlyphs> findPageGlyphs(OpenedInput& in, std::size_t index) {
  auto page = std::make_unique<PageGlyphs>();
  const PageFontUse use = scanPageFonts(pagesOf(in)[index].getObjectHandle());
  if (use.failed) {
    page->failed = true;
    return page;
  }
  std::set<QPDFObjGen> whole(use.wholePrograms.begin(), use.wholePrograms.end());
  const std::set<QPDFObjGen>& forms = formProgramsOf(in);
  whole.insert(forms.begin(), forms.end());
  std::map<QPDFObjGen, PageGlyphs::Program> programs;
  for (const auto& [fontId, codes] : use.codes) {
    const FontFace& face = faceOf(in, fontId);
    if (face.program.getObj() == 0)
      continue;
    FontProgram& program = *fontCacheOf(in).programs.at(face.program);
    PageGlyphs::Program& entry = programs[face.program];
    entry.id = face.program;
    entry.fonts.push_back(fontId);
    std::vector<std::uint16_t> glyphs;
    if (face.whole || program.broken || use.wholeFonts.count(fontId) != 0 ||
        !glyphsFor(face, program, codes, glyphs)) {
      whole.insert(face.program);
      continue;
    }
    std::vector<std::uint16_t> merged;
    std::set_union(entry.glyphs.begin(), entry.glyphs.end(), glyphs.begin(), glyphs.end(),
                   std::back_inserter(merged));
    entry.glyphs.swap(merged);
  }
  for (auto& [id, entry] : programs) {
    if (whole.count(id) == 0)
      page->programs.push_back(std::move(entry));
  }
  page->whole.assign(whole.begin(), whole.end());
  return page;
}

} // namespace

FontCache& fontCacheOf(OpenedInput& in) {
  if (!in.fonts)
    in.fonts = std::make_shared<FontCache>();
  return *in.fonts;
}

FontProgram& programOf(OpenedInput& in, QPDFObjGen id, const std::string& key) {
  auto& slot = fontCacheOf(in).programs[id];
  if (!slot) {
    slot = std::make_unique<FontProgram>();
    try {
      QPDFObjectHandle stream = in.pdf->getObject(id);
      if (!stream.isStream())
        slot->broken = true;
      else
        readProgram(*slot, stream, key);
    } catch (const std::exception& e) {
      slot->broken = true;
      slot->why = e.what();
    }
  }
  return *slot;
}

const FontFace& faceOf(OpenedInput& in, QPDFObjGen id) {
  FontCache& cache = fontCacheOf(in);
  auto& slot = cache.faces[id];
  if (!slot) {
    try {
      slot = makeFace(in, in.pdf->getObject(id));
    } catch (const std::exception&) {
      slot = std::make_unique<FontFace>();
      slot->whole = true;
    }
  }
  return *slot;
}

const PageGlyphs& pageGlyphsOf(OpenedInput& in, std::size_t index) {
  FontCache& cache = fontCacheOf(in);
  if (cache.pages.size() != pagesOf(in).size())
    cache.pages.resize(pagesOf(in).size());
  auto& slot = cache.pages.at(index);
  if (!slot) {
    try {
      slot = findPageGlyphs(in, index);
    } catch (const std::exception&) {
      slot = std::make_unique<PageGlyphs>();
      slot->failed = true;
    }
  }
  return *slot;
}

const std::set<QPDFObjGen>& formProgramsOf(OpenedInput& in) {
  FontCache& cache = fontCacheOf(in);
  if (!cache.formsKnown) {
    cache.formsKnown = true;
    QPDFObjectHandle acroForm = in.pdf->getRoot().getKey("/AcroForm");
    if (acroForm.isDictionary())
      collectPrograms(acroForm.getKey("/DR"), cache.formPrograms);
  }
  return cache.formPrograms;
}

} // namespace sundrel::tovix
