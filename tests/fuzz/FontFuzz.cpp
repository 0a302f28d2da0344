// libFuzzer target: the font code's readers. The first byte picks one: a
// Type 1 program (read, subset, written), a CFF program (the same), or page
// content through the glyph-usage scan, on a page whose resources hold a
// simple font, a composite font, a Type 3 font without resources, forms
// with and without resources, a pattern and a soft mask.

#include "tovix/CffFont.h"
#include "tovix/GlyphUsage.h"
#include "tovix/Type1Font.h"

#include <qpdf/QPDF.hh>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace sundrel::tovix;

template <typename Font> void subsetEveryThird(const Font& font, std::size_t count) {
  std::vector<bool> keep(count, false);
  for (std::size_t g = 0; g < count; g += 3)
    keep[g] = true;
  font.addComponents(keep);
  (void)font.subset(keep);
}

struct Page {
  QPDF pdf;
  QPDFObjectHandle page, contents;
  Page() {
    pdf.emptyPDF();
    auto parse = [this](const char* text) { return QPDFObjectHandle::parse(&pdf, text); };
    auto indirect = [this](QPDFObjectHandle h) { return pdf.makeIndirectObject(h); };
    auto program = QPDFObjectHandle::newStream(&pdf, "program");
    auto descriptor = parse("<< /Type /FontDescriptor >>");
    descriptor.replaceKey("/FontFile", program);
    auto simple = indirect(parse("<< /Type /Font /Subtype /Type1 >>"));
    simple.replaceKey("/FontDescriptor", descriptor);
    auto composite = indirect(parse("<< /Type /Font /Subtype /Type0 /Encoding /Identity-H >>"));
    auto glyph = QPDFObjectHandle::newStream(&pdf, "0 0 m 1 1 l S /F1 1 Tf (g) Tj /X1 Do");
    auto type3 = indirect(parse("<< /Type /Font /Subtype /Type3 /Encoding << /Differences "
                                "[0 /g 97 /g] >> /CharProcs << >> >>"));
    type3.getKey("/CharProcs").replaceKey("/g", glyph);
    auto inherits = QPDFObjectHandle::newStream(&pdf, "BT (inherits) Tj /X2 Do ET");
    inherits.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    auto own = QPDFObjectHandle::newStream(&pdf, "BT /F1 1 Tf (own) Tj ET /X1 Do");
    own.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    own.getDict().replaceKey("/Resources", parse("<< >>"));
    own.getDict()
        .getKey("/Resources")
        .replaceKey("/Font", QPDFObjectHandle::newDictionary({{"/F1", simple}}));
    auto pattern = QPDFObjectHandle::newStream(&pdf, "BT /F0 1 Tf <0001> Tj ET");
    pattern.getDict().replaceKey("/PatternType", QPDFObjectHandle::newInteger(1));
    auto resources = parse("<< >>");
    resources.replaceKey("/Font", QPDFObjectHandle::newDictionary(
                                      {{"/F1", simple}, {"/F0", composite}, {"/T3", type3}}));
    resources.replaceKey("/XObject",
                         QPDFObjectHandle::newDictionary({{"/X1", inherits}, {"/X2", own}}));
    resources.replaceKey("/Pattern", QPDFObjectHandle::newDictionary({{"/P1", pattern}}));
    auto state = parse("<< /SMask << >> >>");
    state.replaceKey("/Font", QPDFObjectHandle::newArray({composite, parse("1")}));
    state.getKey("/SMask").replaceKey("/G", own);
    resources.replaceKey("/ExtGState", QPDFObjectHandle::newDictionary({{"/G1", state}}));
    page = indirect(parse("<< /Type /Page /MediaBox [0 0 1 1] >>"));
    page.replaceKey("/Resources", resources);
    contents = QPDFObjectHandle::newStream(&pdf, "");
    page.replaceKey("/Contents", contents);
  }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  if (size < 1)
    return 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string error;
  switch (data[0] % 3) {
  case 0:
    if (auto font = Type1Font::parse(input, input.size() / 2, input.size() / 3, error))
      subsetEveryThird(*font, font->glyphCount());
    break;
  case 1:
    if (auto font = CffFont::parse(input, error))
      subsetEveryThird(*font, font->glyphCount());
    break;
  default: {
    static Page* page = new Page;
    page->contents.replaceStreamData(std::string(input), QPDFObjectHandle::newNull(),
                                     QPDFObjectHandle::newNull());
    (void)scanPageFonts(page->page);
  }
  }
  return 0;
}
