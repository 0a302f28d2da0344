#include "tests/tovix/FontFixtures.h"

#include "tests/tovix/Harness.h"

#include <hb.h>

#include <map>
#include <regex>

namespace sundrel::tovix::test {
namespace {

std::uint32_t be32(const std::string& d, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i)
    v = (v << 8) | static_cast<unsigned char>(d[at + i]);
  return v;
}

std::string found(const std::string& path) {
  return exists(path) ? path : std::string();
}

std::string stream(const std::string& dict, const std::string& data) {
  return "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
         "\nendstream";
}

std::string descriptor(const std::string& name, const std::string& fileKey, int file) {
  return "<< /Type /FontDescriptor /FontName /" + name +
         " /Flags 32 /FontBBox [-200 -300 1200 1000] /ItalicAngle 0 /Ascent 900 /Descent -250"
         " /CapHeight 700 /StemV 80 /" +
         fileKey + " " + std::to_string(file) + " 0 R >>";
}

// The glyph IDs of `text` (UTF-8) in the TrueType font, as a hex string.
std::string glyphHex(const std::string& fontPath, const std::string& text) {
  const std::string data = readFile(fontPath);
  hb_blob_t* blob = hb_blob_create(data.data(), static_cast<unsigned>(data.size()),
                                   HB_MEMORY_MODE_READONLY, nullptr, nullptr);
  hb_face_t* face = hb_face_create(blob, 0);
  hb_font_t* font = hb_font_create(face);
  hb_buffer_t* buffer = hb_buffer_create();
  hb_buffer_add_utf8(buffer, text.c_str(), -1, 0, -1);
  std::string hex = "<";
  unsigned count = 0;
  const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
  char digits[8];
  for (unsigned i = 0; i < count; ++i) {
    hb_codepoint_t glyph = 0;
    hb_font_get_nominal_glyph(font, info[i].codepoint, &glyph);
    std::snprintf(digits, sizeof digits, "%04X", glyph);
    hex += digits;
  }
  hb_buffer_destroy(buffer);
  hb_font_destroy(font);
  hb_face_destroy(face);
  hb_blob_destroy(blob);
  return hex + ">";
}

// PFB segments as a FontFile stream with its three lengths.
std::string type1Stream(const std::string& pfb) {
  std::string parts[3];
  std::size_t pos = 0;
  for (int segment = 0; segment < 3 && pos + 6 <= pfb.size() && pfb[pos + 1] != 3; ++segment) {
    std::size_t size = 0; // little-endian
    for (std::size_t k = 5; k >= 2; --k)
      size = (size << 8) | static_cast<unsigned char>(pfb[pos + k]);
    parts[segment] = pfb.substr(pos + 6, size);
    pos += 6 + size;
  }
  return stream("/Length1 " + std::to_string(parts[0].size()) + " /Length2 " +
                    std::to_string(parts[1].size()) + " /Length3 " +
                    std::to_string(parts[2].size()),
                parts[0] + parts[1] + parts[2]);
}

} // namespace

std::string type1Font() {
  return found("/usr/share/fonts/X11/Type1/NimbusRoman-Regular.pfb");
}

std::string trueTypeFont(const char* name) {
  return found(std::string("/usr/share/fonts/truetype/dejavu/") + name);
}

std::string openTypeFont(const char* name) {
  return found(std::string("/usr/share/fonts/opentype/urw-base35/") + name);
}

std::string seacType1(const std::string& workDir, std::string& why) {
  const RunResult text = runProgram({"t1disasm", type1Font()});
  if (text.exitCode != 0 || text.out.empty()) {
    why = "t1utils (t1disasm, t1asm) are not installed";
    return {};
  }
  // Aacute drawn as A with the acute placed over it (StandardEncoding codes).
  const std::regex aacute(R"((/Aacute \{\n)[\s\S]*?(\n\t\}))");
  const std::string patched =
      std::regex_replace(text.out, aacute, "$1\t15 722 hsbw\n\t0 186 0 65 194 seac$2",
                         std::regex_constants::format_first_only);
  writeFile(workDir + "/seac.txt", patched);
  const RunResult assembled =
      runProgram({"t1asm", "-b", workDir + "/seac.txt", workDir + "/seac.pfb"});
  if (assembled.exitCode != 0) {
    why = "t1asm failed: " + assembled.err;
    return {};
  }
  return readFile(workDir + "/seac.pfb");
}

std::string cffTable(const std::string& otf) {
  const std::string data = readFile(otf);
  const std::size_t tables =
      data.size() >= 12
          ? (static_cast<unsigned char>(data[4]) << 8 | static_cast<unsigned char>(data[5]))
          : 0;
  for (std::size_t i = 0; i < tables && 12 + 16 * (i + 1) <= data.size(); ++i) {
    const std::size_t record = 12 + 16 * i;
    if (data.compare(record, 4, "CFF ") == 0)
      return data.substr(be32(data, record + 8), be32(data, record + 12));
  }
  return {};
}

namespace {

// Objects 10 to 28: the fonts (font, descriptor, program) and a Type 3 font.
void fontObjects(std::map<int, std::string>& obj, const std::string& roman) {
  const std::string sans = trueTypeFont(), serif = trueTypeFont("DejaVuSerif.ttf");
  const std::string nimbus = openTypeFont(), mono = openTypeFont("NimbusMonoPS-Regular.otf");
  // Roman: codes 1 and 2 through /Differences over the font's own encoding.
  obj[10] = "<< /Type /Font /Subtype /Type1 /BaseFont /Roman /FontDescriptor 11 0 R"
            " /Encoding << /Differences [1 /Aacute /eacute] >> >>";
  obj[11] = descriptor("Roman", "FontFile", 12);
  obj[12] = type1Stream(roman);
  const std::string sansData = readFile(sans);
  obj[13] = "<< /Type /Font /Subtype /TrueType /BaseFont /Sans /FontDescriptor 14 0 R"
            " /Encoding /WinAnsiEncoding >>";
  obj[14] = descriptor("Sans", "FontFile2", 15);
  obj[15] = stream("/Length1 " + std::to_string(sansData.size()), sansData);
  obj[16] = "<< /Type /Font /Subtype /Type0 /BaseFont /Serif /Encoding /Identity-H"
            " /DescendantFonts [17 0 R] >>";
  obj[17] = "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Serif /FontDescriptor 18 0 R"
            " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>"
            " /CIDToGIDMap /Identity /DW 600 >>";
  obj[18] = descriptor("Serif", "FontFile2", 19);
  const std::string serifData = readFile(serif);
  obj[19] = stream("/Length1 " + std::to_string(serifData.size()), serifData);
  obj[20] = "<< /Type /Font /Subtype /Type1 /BaseFont /Nimbus /FontDescriptor 21 0 R"
            " /Encoding /WinAnsiEncoding >>";
  obj[21] = descriptor("Nimbus", "FontFile3", 22);
  obj[22] = stream("/Subtype /OpenType", readFile(nimbus));
  obj[23] = "<< /Type /Font /Subtype /Type1 /BaseFont /Mono /FontDescriptor 24 0 R"
            " /Encoding /WinAnsiEncoding >>";
  obj[24] = descriptor("Mono", "FontFile3", 25);
  obj[25] = stream("/Subtype /Type1C", cffTable(mono));
  obj[26] = "<< /Type /Font /Subtype /Type3 /FontMatrix [0.001 0 0 0.001 0 0]"
            " /FontBBox [0 0 1000 1000] /FirstChar 97 /LastChar 98 /Widths [1000 1000]"
            " /Encoding << /Differences [97 /a /b] >> /CharProcs << /a 27 0 R /b 28 0 R >> >>";
  obj[27] = stream("", "1000 0 0 0 900 900 d1 0 0 900 900 re f");
  obj[28] = stream("", "1000 0 d0 0 0 m 900 450 l 0 900 l f");
}

// Objects 30 to 47: shared resources, forms, a pattern, the form field and
// an annotation.
void drawnObjects(std::map<int, std::string>& obj) {
  // Resources every page shares, so that each page's are trimmed first.
  obj[30] = "<< /Font << /F1 10 0 R /F2 13 0 R /F3 16 0 R /F4 20 0 R /F5 23 0 R /T3 26 0 R >>"
            " /XObject << /Fo1 31 0 R /Fi1 32 0 R >> /Pattern << /P1 33 0 R >>"
            " /ExtGState << /GS1 << /Font [20 0 R 14] >> >> >>";
  // An outer form with no resources of its own draws an inner one that has some.
  obj[31] = stream("/Type /XObject /Subtype /Form /BBox [0 0 400 80]",
                   "BT /F5 11 Tf 10 50 Td (outer form in Mono) Tj ET /Fi1 Do");
  obj[32] = stream("/Type /XObject /Subtype /Form /BBox [0 0 400 40]"
                   " /Resources << /Font << /F1 10 0 R >> >>",
                   "BT /F1 13 Tf 10 10 Td (inner form: Roman \\001) Tj ET");
  obj[33] = stream("/Type /Pattern /PatternType 1 /PaintType 1 /TilingType 1"
                   " /BBox [0 0 60 24] /XStep 60 /YStep 24"
                   " /Resources << /Font << /F1 10 0 R >> >>",
                   "BT /F1 10 Tf 2 8 Td (pat!) Tj ET");
  // A form field types with Field: it must travel whole.
  const std::string fieldData = readFile(trueTypeFont("DejaVuSansMono.ttf"));
  obj[45] = "<< /Type /Font /Subtype /TrueType /BaseFont /Field /FontDescriptor 46 0 R"
            " /Encoding /WinAnsiEncoding >>";
  obj[46] = descriptor("Field", "FontFile2", 47);
  obj[47] = stream("/Length1 " + std::to_string(fieldData.size()), fieldData);
  obj[40] = "<< /Fields [41 0 R] /DR << /Font << /F6 45 0 R >> >> /DA (/F6 12 Tf 0 g) >>";
  obj[41] = "<< /Type /Annot /Subtype /Widget /FT /Tx /T (name) /V (Widget text)"
            " /DA (/F6 12 Tf 0 g) /Rect [20 100 300 130] /P 108 0 R /AP << /N 42 0 R >> >>";
  obj[42] = stream("/Type /XObject /Subtype /Form /BBox [0 0 280 30]"
                   " /Resources << /Font << /F6 45 0 R >> >>",
                   "/Tx BMC BT /F6 12 Tf 2 10 Td (Widget text) Tj ET EMC");
  obj[43] = "<< /Type /Annot /Subtype /Square /Rect [20 20 300 60] /AP << /N 44 0 R >> >>";
  obj[44] = stream("/Type /XObject /Subtype /Form /BBox [0 0 280 40]"
                   " /Resources << /Font << /F4 20 0 R >> >>",
                   "0 0 280 40 re S BT /F4 14 Tf 8 14 Td (Annotated square) Tj ET");
}

} // namespace

bool writeFontDocument(const std::string& path, const std::string& workDir, std::string& why) {
  const std::string sans = trueTypeFont(), serif = trueTypeFont("DejaVuSerif.ttf");
  const std::string nimbus = openTypeFont(), mono = openTypeFont("NimbusMonoPS-Regular.otf");
  if (type1Font().empty() || sans.empty() || serif.empty() || nimbus.empty() || mono.empty() ||
      trueTypeFont("DejaVuSansMono.ttf").empty()) {
    why = "fonts-urw-base35 or fonts-dejavu-core is not installed";
    return false;
  }
  const std::string roman = seacType1(workDir, why);
  if (roman.empty())
    return false;
  std::map<int, std::string> obj;
  obj[1] = "<< /Type /Catalog /Pages 2 0 R /AcroForm 40 0 R >>";
  fontObjects(obj, roman);
  drawnObjects(obj);
  const std::string contents[6] = {
      "BT /F1 24 Tf 20 150 Td (Roman \\001 \\002 seac) Tj /F2 20 Tf 0 -50 Td"
      " (Sans \\301\\351\\361 \\334ber) Tj ET",
      "BT /F3 20 Tf 20 150 Td " + glyphHex(serif, "αβγδ Жизнь") +
          " Tj /F4 20 Tf 0 -50 Td (Open Type CFF) Tj ET",
      "BT /F5 18 Tf 20 150 Td (Bare CFF mono) Tj ET q 1 0 0 1 20 40 cm /Fo1 Do Q",
      "BT /F1 14 Tf 20 170 Td (Annotations) Tj ET",
      "q /Pattern cs /P1 scn 20 120 240 60 re f Q BT /GS1 gs 20 80 Td (Graphics state font) Tj ET"
      " BT /T3 20 Tf 20 30 Td (abba) Tj ET",
      "BT /F1 20 Tf 20 150 Td (Quick zephyr vex) Tj /F5 16 Tf 0 -40 Td (jumps 0123) Tj ET",
  };
  std::string kids;
  for (int i = 0; i < 6; ++i) {
    const int page = 100 + 2 * (i + 1);
    kids += std::to_string(page) + " 0 R ";
    obj[page] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 420 200] /Resources 30 0 R"
                " /Contents " +
                std::to_string(page + 1) + " 0 R" + (i == 3 ? " /Annots [41 0 R 43 0 R]" : "") +
                " >>";
    obj[page + 1] = stream("", contents[i]);
  }
  obj[2] = "<< /Type /Pages /Kids [" + kids + "] /Count 6 >>";
  writeObjects(path, obj);
  return true;
}

} // namespace sundrel::tovix::test
