#pragma once
// Small PDFs written at test time, so that no test but the corpus ones needs
// files from outside the repository. Page i shows the text "Page i".

#include <optional>
#include <string>
#include <vector>

namespace sundrel::test {

enum class Cipher { Rc4_128, Aes128 };

// Encryption that allows printing at low resolution only. An empty user
// password opens the file without one (an owner-only lock).
struct PdfLock {
  std::string userPassword;
  std::string ownerPassword;
  Cipher cipher = Cipher::Rc4_128;
};

struct PdfShape {
  int pages = 6;
  std::string title;               // Info /Title, as a literal PDF string body
  bool outline = false;            // "Chapter i" -> page i, "Section 2.1" under Chapter 2 -> page 3
  bool image = false;              // a 30000-byte image drawn on page 1 only, in shared resources
  int pageImageBytes = 0;          // every page draws an image of its own this large, listed in
                                   // the resources all pages share
  bool form = false;               // text field "name1" on page 1, "name2" on page 2
  std::vector<int> missingContent; // pages whose content refers to a missing object
  bool links = false;              // page 1 links to page 3 directly, page 2 by the name (chap3)
  bool damagedXref = false;        // every cross-reference offset is wrong; readers must repair
  int pdfaPart = 0;                // XMP metadata that claims PDF/A of this part (0: none)
  std::optional<PdfLock> lock;

  PdfShape& withPages(int n) { return pages = n, *this; }
  PdfShape& withTitle(std::string t) { return title = std::move(t), *this; }
  PdfShape& withOutline() { return outline = true, *this; }
  PdfShape& withImage() { return image = true, *this; }
  PdfShape& withPageImages(int bytes) { return pageImageBytes = bytes, *this; }
  PdfShape& withForm() { return form = true, *this; }
  PdfShape& withLinks() { return links = true, *this; }
  PdfShape& withMissingContent(int page) { return missingContent.push_back(page), *this; }
  PdfShape& withDamagedXref() { return damagedXref = true, *this; }
  PdfShape& withPdfaClaim(int part) { return pdfaPart = part, *this; }
  PdfShape& withLock(PdfLock l) { return lock = std::move(l), *this; }
};

// Writes the document; throws when libqpdf cannot encrypt it.
void writePdf(const std::string& path, const PdfShape& shape);

} // namespace sundrel::test
