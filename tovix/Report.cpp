// dump_data: document information, ids, pages, bookmarks and page labels
// as pdftk reports them.

#include "tovix/InfoText.h"
#include "tovix/Operations.h"
#include "tovix/Outlines.h"
#include "tovix/Output.h"

#include "tovix/Trees.h"

#include <charconv>
#include <map>
#include <sstream>

namespace sundrel::tovix {

namespace {

std::string number(double v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

void dumpInfo(std::ostream& report, QPDF& pdf, bool ascii) {
  QPDFObjectHandle info = pdf.getTrailer().getKey("/Info");
  if (info.isDictionary()) {
    for (const std::string& key : info.getKeys()) {
      QPDFObjectHandle value = info.getKey(key);
      if (!value.isString())
        continue;
      report << "InfoBegin\nInfoKey: " << escapeReportValue(toUtf8(key.substr(1)), ascii)
             << "\nInfoValue: " << escapeReportValue(value.getUTF8Value(), ascii) << "\n";
    }
  }
  QPDFObjectHandle id = pdf.getTrailer().getKey("/ID");
  if (id.isArray() && id.getArrayNItems() == 2 && id.getArrayItem(0).isString() &&
      id.getArrayItem(1).isString()) {
    report << "PdfID0: " << hex(id.getArrayItem(0).getStringValue()) << "\n";
    report << "PdfID1: " << hex(id.getArrayItem(1).getStringValue()) << "\n";
  }
}

void dumpPageMedia(std::ostream& report, std::vector<QPDFPageObjectHelper>& pages) {
  for (std::size_t i = 0; i < pages.size(); ++i) {
    QPDFPageObjectHelper& page = pages[i];
    report << "PageMediaBegin\nPageMediaNumber: " << i + 1 << "\n";
    QPDFObjectHandle rotate = page.getAttribute("/Rotate", false);
    report << "PageMediaRotation: "
           << (rotate.isInteger() ? ((rotate.getIntValue() % 360) + 360) % 360 : 0) << "\n";
    QPDFObjectHandle media = page.getMediaBox();
    if (media.isRectangle()) {
      const auto r = media.getArrayAsRectangle();
      report << "PageMediaRect: " << number(r.llx) << " " << number(r.lly) << " " << number(r.urx)
             << " " << number(r.ury) << "\n";
      report << "PageMediaDimensions: " << number(r.urx - r.llx) << " " << number(r.ury - r.lly)
             << "\n";
    }
    QPDFObjectHandle crop = page.getAttribute("/CropBox", false);
    if (crop.isRectangle()) {
      const auto r = crop.getArrayAsRectangle();
      report << "PageMediaCropRect: " << number(r.llx) << " " << number(r.lly) << " "
             << number(r.urx) << " " << number(r.ury) << "\n";
    }
  }
}

const char* numberStyle(QPDFObjectHandle style) {
  const std::string s = style.isName() ? style.getName() : "";
  return s == "/D"   ? "DecimalArabicNumerals"
         : s == "/R" ? "UppercaseRomanNumerals"
         : s == "/r" ? "LowercaseRomanNumerals"
         : s == "/A" ? "UppercaseLetters"
         : s == "/a" ? "LowercaseLetters"
                     : "NoNumber";
}

void dumpPageLabels(std::ostream& report, OpenedInput& in, bool ascii) {
  for (auto [index, label] : pageLabelsOf(in)) {
    if (!label.isDictionary())
      continue;
    report << "PageLabelBegin\nPageLabelNewIndex: " << index + 1 << "\n";
    QPDFObjectHandle start = label.getKey("/St");
    report << "PageLabelStart: " << (start.isInteger() ? start.getIntValue() : 1) << "\n";
    QPDFObjectHandle prefix = label.getKey("/P");
    if (prefix.isString())
      report << "PageLabelPrefix: " << escapeReportValue(prefix.getUTF8Value(), ascii) << "\n";
    report << "PageLabelNumStyle: " << numberStyle(label.getKey("/S")) << "\n";
  }
}

} // namespace

void dumpData(Context& ctx, OpenedInput& in) {
  const bool ascii = ctx.cmd.operation == Operation::DumpData;
  std::ostringstream report;
  dumpInfo(report, *in.pdf, ascii);
  auto& pages = pagesOf(in);
  report << "NumberOfPages: " << pages.size() << "\n";
  std::map<QPDFObjGen, std::size_t> pageIndex;
  for (std::size_t i = 0; i < pages.size(); ++i)
    pageIndex.emplace(pages[i].getObjectHandle().getObjGen(), i + 1);
  dumpBookmarks(ctx, report, in, pageIndex, ascii);
  dumpPageMedia(report, pages);
  dumpPageLabels(report, in, ascii);
  emit(ctx, report.str());
}

} // namespace sundrel::tovix
