// The font programs' subsetters against independent readers (t1utils'
// t1disasm for Type 1, HarfBuzz for CFF and TrueType), and the glyph-usage
// scan against a table of content streams.

#include "tests/tovix/FontFixtures.h"
#include "tests/tovix/Harness.h"
#include "tovix/GlyphUsage.h"
#include "tovix/SfntFont.h"
#include "tovix/Type1Font.h"

#include <gtest/gtest.h>
#include <hb.h>
#include <qpdf/QPDF.hh>

#include <map>
#include <regex>

namespace sundrel::tovix::test {
namespace {

// t1disasm's text split into the part before the charstrings and one
// entry per glyph.
struct Disassembly {
  std::string head;
  std::map<std::string, std::string> glyphs;
};

Disassembly disassemble(const std::string& program, const std::string& dir) {
  writeFile(dir + "/font.bin", program);
  const std::string text = runProgram({"t1disasm", dir + "/font.bin"}).out;
  Disassembly d;
  const std::size_t start = text.find("/CharStrings");
  d.head = std::regex_replace(text.substr(0, start), std::regex(R"(\s+$)"), "");
  const std::regex glyph(R"(\n(/[^ \n]+) \{\n([\s\S]*?)\n\t\})");
  const std::string rest = text.substr(start);
  for (std::sregex_iterator it(rest.begin(), rest.end(), glyph), end; it != end; ++it)
    d.glyphs[(*it)[1]] = (*it)[2];
  return d;
}

TEST(Type1Subset, KeepsAskedGlyphsTheirAccentsAndEverythingElseAsT1disasmReadsIt) {
  TempDir work;
  std::string why;
  const std::string pfb = seacType1(work.path(), why);
  if (pfb.empty())
    GTEST_SKIP() << why;
  std::string error;
  auto font = Type1Font::parse(pfb, 0, 0, error);
  ASSERT_TRUE(font) << error;
  const Disassembly whole = disassemble(pfb, work.path());
  ASSERT_EQ(whole.glyphs.size(), font->glyphCount());
  // Glyphs asked for, and what the subset must hold.
  const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
      {{"a"}, {"/.notdef", "/a"}},
      {{"Aacute", "z"}, {"/.notdef", "/A", "/Aacute", "/acute", "/z"}},
      {{}, {"/.notdef"}},
  };
  for (const auto& [asked, expected] : cases) {
    std::vector<bool> keep(font->glyphCount(), false);
    for (const std::string& name : asked)
      keep[*font->glyphIndex(name)] = true;
    font->addComponents(keep);
    const Type1Font::Subset subset = font->subset(keep);
    EXPECT_EQ(subset.length1 + subset.length2 + subset.length3, subset.program.size());
    const Disassembly part = disassemble(subset.program, work.path());
    std::vector<std::string> names;
    for (const auto& [name, charstring] : part.glyphs) {
      names.push_back(name);
      EXPECT_EQ(charstring, whole.glyphs.at(name)) << name;
    }
    EXPECT_EQ(names, expected);
    // Subrs, OtherSubrs and the rest stay as they were.
    EXPECT_EQ(part.head, whole.head);
  }
  // The same font as hex eexec (PFA) reads the same.
  const std::string pfaPath = "/usr/share/fonts/type1/urw-base35/NimbusRoman-Regular.t1";
  if (exists(pfaPath)) {
    const std::string pfa = readFile(pfaPath);
    auto hex = Type1Font::parse(pfa, 0, 0, error);
    ASSERT_TRUE(hex) << error;
    EXPECT_EQ(hex->glyphCount(), font->glyphCount());
  }
}

// HarfBuzz's view of a font: each glyph's extents and name.
std::vector<std::string> glyphsSeenByHarfBuzz(const std::string& data) {
  hb_blob_t* blob = hb_blob_create(data.data(), static_cast<unsigned>(data.size()),
                                   HB_MEMORY_MODE_READONLY, nullptr, nullptr);
  hb_face_t* face = hb_face_create(blob, 0);
  hb_font_t* font = hb_font_create(face);
  std::vector<std::string> glyphs;
  for (unsigned g = 0; g < hb_face_get_glyph_count(face); ++g) {
    hb_glyph_extents_t e{};
    char name[64] = "";
    hb_font_get_glyph_extents(font, g, &e);
    hb_font_get_glyph_name(font, g, name, sizeof name);
    glyphs.push_back(std::string(name) + " " + std::to_string(e.x_bearing) + " " +
                     std::to_string(e.y_bearing) + " " + std::to_string(e.width) + " " +
                     std::to_string(e.height));
  }
  hb_font_destroy(font);
  hb_face_destroy(face);
  hb_blob_destroy(blob);
  return glyphs;
}

// Kept glyphs keep their outlines and IDs; the others draw nothing.
TEST(SfntSubset, OutlinesOfKeptGlyphsStayUnderTheirIds) {
  struct Case {
    std::string path;
    std::vector<std::string> asked; // by name; components follow
    std::vector<std::string> kept;  // drawn in the subset besides .notdef
  };
  const Case cases[] = {
      {openTypeFont(), {"a", "Aacute"}, {"a", "Aacute"}},
      // DejaVu draws Aacute from A and a combining acute: both travel.
      {trueTypeFont(), {"a", "Aacute"}, {"a", "Aacute", "A", "Acute"}},
  };
  for (const Case& c : cases) {
    if (c.path.empty())
      GTEST_SKIP() << "fonts-urw-base35 or fonts-dejavu-core is not installed";
    SCOPED_TRACE(c.path);
    std::string error;
    auto font = SfntFont::parse(readFile(c.path), error);
    ASSERT_TRUE(font) << error;
    const auto before = glyphsSeenByHarfBuzz(readFile(c.path));
    std::vector<bool> keep(font->glyphCount(), false);
    for (const std::string& name : c.asked)
      keep[*font->glyphByPostName(name)] = true;
    if (font->cff())
      font->cff()->addComponents(keep);
    const std::string subset = font->subset(keep, true, error);
    ASSERT_FALSE(subset.empty()) << error;
    const auto after = glyphsSeenByHarfBuzz(subset);
    ASSERT_LE(after.size(), before.size());
    std::set<std::string> drawn;
    for (std::size_t g = 1; g < after.size(); ++g) {
      if (after[g].substr(after[g].find(' ')) != " 0 0 0 0") {
        EXPECT_EQ(after[g], before[g]) << "glyph " << g;
        drawn.insert(after[g].substr(0, after[g].find(' ')));
      }
    }
    EXPECT_EQ(drawn, std::set<std::string>(c.kept.begin(), c.kept.end()));
  }
}

// A page with one simple font (F1, code = byte) and one composite (F0,
// code = two bytes), each with a program of its own, and `content`.
struct ScanCase {
  const char* name;
  std::string content;
  std::vector<std::uint32_t> f1, f0; // codes expected
  bool f1Whole = false;
};

struct Scanned {
  PageFontUse use;
  QPDFObjGen f1, f0;
};

Scanned scan(const std::string& content, QPDF& pdf) {
  pdf.emptyPDF();
  auto parse = [&](const std::string& text) { return QPDFObjectHandle::parse(&pdf, text); };
  auto program = QPDFObjectHandle::newStream(&pdf, "not parsed");
  auto indirect = [&](QPDFObjectHandle h) { return pdf.makeIndirectObject(h); };
  auto descriptor = parse("<< /Type /FontDescriptor >>");
  descriptor.replaceKey("/FontFile2", program);
  auto f1 = indirect(parse("<< /Type /Font /Subtype /TrueType >>"));
  f1.replaceKey("/FontDescriptor", descriptor);
  auto f0 = indirect(parse("<< /Type /Font /Subtype /Type0 /Encoding /Identity-H >>"));
  auto form = QPDFObjectHandle::newStream(&pdf, "BT (k) Tj ET");
  form.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
  auto resources = parse("<< /ExtGState << /G1 << >> >> >>");
  resources.replaceKey("/Font", QPDFObjectHandle::newDictionary({{"/F1", f1}, {"/F0", f0}}));
  resources.replaceKey("/XObject", QPDFObjectHandle::newDictionary({{"/X1", form}}));
  resources.getKey("/ExtGState")
      .getKey("/G1")
      .replaceKey("/Font", QPDFObjectHandle::newArray({f0, parse("9")}));
  auto page = indirect(parse("<< /Type /Page /MediaBox [0 0 10 10] >>"));
  page.replaceKey("/Resources", resources);
  page.replaceKey("/Contents", QPDFObjectHandle::newStream(&pdf, content));
  return {scanPageFonts(page), f1.getObjGen(), f0.getObjGen()};
}

TEST(GlyphUsage, CodesShownInEachFont) {
  const ScanCase cases[] = {
      {"show", "BT /F1 9 Tf (ab) Tj ET", {'a', 'b'}, {}},
      {"escapes",
       R"x(BT /F1 9 Tf (\101\(\)\\x\
y) Tj ET)x",
       {'(', ')', 'A', '\\', 'x', 'y'},
       {}},
      {"hex, odd digit", "BT /F1 9 Tf <41 4> Tj ET", {0x40, 0x41}, {}},
      {"arrays and quotes",
       "BT /F1 9 Tf [(a) -20 (b)] TJ (c) ' 1 2 (d) \" ET",
       {'a', 'b', 'c', 'd'},
       {}},
      {"composite", "BT /F0 9 Tf <00410102> Tj ET", {}, {0x41, 0x102}},
      {"q restores the font", "BT /F1 9 Tf ET q BT /F0 9 Tf ET Q BT (z) Tj ET", {'z'}, {}},
      {"a form keeps the font it is drawn with", "BT /F1 9 Tf ET /X1 Do", {'k'}, {}},
      {"a graphics state sets the font", "BT /F1 9 Tf /G1 gs <0007> Tj ET", {}, {7}},
      {"a line end in a string reads as 0x0A",
       "BT /F1 9 Tf (a\rb) Tj ET",
       {'\n', '\r', 'a', 'b'},
       {}},
      {"inline image data is skipped",
       "BI /W 4 /H 1 /BPC 8 /CS /G ID (x)) EI BT /F1 9 Tf (q) Tj ET",
       {'q'},
       {}},
      {"an unreadable stream keeps its fonts whole",
       "BT /F1 9 Tf (never closed Tj ET",
       {},
       {},
       true},
  };
  for (const ScanCase& c : cases) {
    QPDF pdf;
    const Scanned scanned = scan(c.content, pdf);
    const PageFontUse& use = scanned.use;
    auto codesOf = [&](QPDFObjGen font) {
      const auto it = use.codes.find(font);
      return it == use.codes.end() ? std::vector<std::uint32_t>{} : it->second;
    };
    auto sorted = [](std::vector<std::uint32_t> v) {
      std::sort(v.begin(), v.end());
      return v;
    };
    EXPECT_FALSE(use.failed) << c.name;
    EXPECT_EQ(codesOf(scanned.f1), sorted(c.f1)) << c.name;
    EXPECT_EQ(codesOf(scanned.f0), sorted(c.f0)) << c.name;
    EXPECT_EQ(use.wholePrograms.size(), c.f1Whole ? 1u : 0u) << c.name;
  }
}

} // namespace
} // namespace sundrel::tovix::test
