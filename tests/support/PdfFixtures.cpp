#include "tests/support/PdfFixtures.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>

namespace sundrel::test {
namespace {

// Object numbers: 1 catalog, 2 pages, 3 font, 4 shared resources, 5 image,
// 6 outline root, 7 AcroForm, 8 Info; page i: 10+3i page, 11+3i content,
// 12+3i widget/field; outline items from 1000, page images from 3000.
using Objects = std::map<int, std::string>;

int pageId(int i) {
  return 10 + 3 * i;
}
std::string ref(int id) {
  return std::to_string(id) + " 0 R";
}

// Deterministic bytes that do not compress.
std::string noise(std::size_t n, std::uint32_t seed) {
  std::string s(n, '\0');
  std::uint32_t x = seed;
  for (auto& c : s) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  return s;
}

std::string stream(const std::string& dict, const std::string& data) {
  return "<< " + (dict.empty() ? "" : dict + " ") + "/Length " + std::to_string(data.size()) +
         " >>\nstream\n" + data + "\nendstream";
}

void addCatalog(Objects& obj, const PdfShape& shape) {
  const int n = shape.pages;
  std::string kids;
  for (int i = 1; i <= n; ++i)
    kids += ref(pageId(i)) + " ";
  std::string catalog = "<< /Type /Catalog /Pages 2 0 R";
  if (shape.outline)
    catalog += " /Outlines 6 0 R /PageMode /UseOutlines";
  if (shape.form)
    catalog += " /AcroForm 7 0 R";
  if (shape.links && n >= 3)
    catalog += " /Names << /Dests << /Names [(chap3) [" + ref(pageId(3)) + " /Fit]] >> >>";
  if (shape.pdfaPart > 0) {
    catalog += " /Metadata 9 0 R";
    obj[9] = stream(
        "/Type /Metadata /Subtype /XML",
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
        "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
        "rdf:about=\"\" xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\" pdfaid:part=\"" +
            std::to_string(shape.pdfaPart) + "\" pdfaid:conformance=\"B\"/></rdf:RDF></x:xmpmeta>");
  }
  obj[1] = catalog + " >>";
  obj[2] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(n) + " >>";
  obj[3] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";
  std::string images;
  if (shape.image) {
    images += " /Im1 5 0 R";
    obj[5] = stream("/Type /XObject /Subtype /Image /Width 100 /Height 100 /ColorSpace /DeviceRGB "
                    "/BitsPerComponent 8",
                    noise(30000, 12345));
  }
  for (int i = 1; shape.pageImageBytes > 0 && i <= n; ++i) {
    images += " /P" + std::to_string(i) + " " + ref(3000 + i);
    obj[3000 + i] =
        stream("/Type /XObject /Subtype /Image /Width " + std::to_string(shape.pageImageBytes) +
                   " /Height 1 /ColorSpace /DeviceGray /BitsPerComponent 8",
               noise(static_cast<std::size_t>(shape.pageImageBytes), 777u + i));
  }
  obj[4] =
      "<< /Font << /F1 3 0 R >>" + (images.empty() ? "" : " /XObject <<" + images + " >>") + " >>";
}

void addPages(Objects& obj, const PdfShape& shape) {
  const int n = shape.pages;
  std::string fields;
  for (int i = 1; i <= n; ++i) {
    const bool missing = std::count(shape.missingContent.begin(), shape.missingContent.end(), i);
    std::string page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Resources 4 0 R "
                       "/Contents " +
                       ref(missing ? 9999 : pageId(i) + 1);
    if (shape.links && i <= 2 && n >= 3) {
      const std::string target =
          i == 1 ? "/Dest [" + ref(pageId(3)) + " /Fit]" : "/A << /S /GoTo /D (chap3) >>";
      page += " /Annots [<< /Type /Annot /Subtype /Link /Rect [0 0 50 50] /Border [0 0 0] " +
              target + " >>]";
    }
    if (shape.form && i <= 2) {
      page += " /Annots [" + ref(pageId(i) + 2) + "]";
      obj[pageId(i) + 2] = "<< /Type /Annot /Subtype /Widget /FT /Tx /T (name" + std::to_string(i) +
                           ") /V (value" + std::to_string(i) + ") /Rect [20 20 200 50] /P " +
                           ref(pageId(i)) + " /DA (/Helv 12 Tf 0 g) /F 4 >>";
      fields += ref(pageId(i) + 2) + " ";
    }
    obj[pageId(i)] = page + " >>";
    std::string content = "BT /F1 24 Tf 20 120 Td (Page " + std::to_string(i) + ") Tj ET";
    if (shape.image && i == 1)
      content += "\nq 50 0 0 50 200 20 cm /Im1 Do Q";
    if (shape.pageImageBytes > 0)
      content += "\nq 100 0 0 10 150 20 cm /P" + std::to_string(i) + " Do Q";
    obj[pageId(i) + 1] = stream("", content);
  }
  if (shape.form)
    obj[7] =
        "<< /Fields [" + fields + "] /DA (/Helv 12 Tf 0 g) /DR << /Font << /Helv 3 0 R >> >> >>";
}

void addOutline(Objects& obj, int n) {
  // top-level items 1000+i, the nested one 2000
  for (int i = 1; i <= n; ++i) {
    std::string item = "<< /Title (Chapter " + std::to_string(i) + ") /Parent 6 0 R /Dest [" +
                       ref(pageId(i)) + " /XYZ 0 200 0]";
    if (i > 1)
      item += " /Prev " + ref(1000 + i - 1);
    if (i < n)
      item += " /Next " + ref(1000 + i + 1);
    if (i == 2 && n >= 3)
      item += " /First 2000 0 R /Last 2000 0 R /Count 1";
    obj[1000 + i] = item + " >>";
  }
  if (n >= 3)
    obj[2000] = "<< /Title (Section 2.1) /Parent 1002 0 R /Dest [" + ref(pageId(3)) + " /Fit] >>";
  obj[6] = "<< /Type /Outlines /First 1001 0 R /Last " + ref(1000 + n) + " /Count " +
           std::to_string(n + (n >= 3 ? 1 : 0)) + " >>";
}

// The file with a classic cross-reference table; `shift` moves every offset
// in it, which damages it.
std::string serialize(const Objects& obj, bool withInfo, long shift) {
  std::string out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  const int size = obj.rbegin()->first + 1;
  std::map<int, std::size_t> offsets;
  for (const auto& [id, body] : obj) {
    offsets[id] = out.size();
    out += std::to_string(id) + " 0 obj\n" + body + "\nendobj\n";
  }
  const std::size_t xref = out.size();
  out += "xref\n0 " + std::to_string(size) + "\n0000000000 65535 f \n";
  char line[32];
  for (int id = 1; id < size; ++id) {
    const auto it = offsets.find(id);
    if (it == offsets.end())
      std::snprintf(line, sizeof line, "0000000000 00000 f \n");
    else
      std::snprintf(line, sizeof line, "%010ld 00000 n \n", static_cast<long>(it->second) + shift);
    out += line;
  }
  out += "trailer\n<< /Size " + std::to_string(size) + " /Root 1 0 R" +
         (withInfo ? " /Info 8 0 R" : "") + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return out;
}

void encrypt(const std::string& bytes, const std::string& path, const PdfLock& lock) {
  QPDF pdf;
  pdf.processMemoryFile("fixture", bytes.data(), bytes.size());
  QPDFWriter writer(pdf, path.c_str());
  const char* user = lock.userPassword.c_str();
  const char* owner = lock.ownerPassword.c_str();
  if (lock.cipher == Cipher::Aes128)
    writer.setR4EncryptionParametersInsecure(user, owner, false, false, false, false, false, false,
                                             qpdf_r3p_low, true, true);
  else
    writer.setR3EncryptionParametersInsecure(user, owner, false, false, false, false, false, false,
                                             qpdf_r3p_low);
  writer.write();
}

} // namespace

void writePdf(const std::string& path, const PdfShape& shape) {
  Objects obj;
  addCatalog(obj, shape);
  addPages(obj, shape);
  if (shape.outline)
    addOutline(obj, shape.pages);
  if (!shape.title.empty())
    obj[8] = "<< /Title (" + shape.title + ") >>";
  const std::string bytes = serialize(obj, !shape.title.empty(), shape.damagedXref ? 7 : 0);
  if (shape.lock) {
    encrypt(bytes, path, *shape.lock);
    return;
  }
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

} // namespace sundrel::test
