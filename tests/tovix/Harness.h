#pragma once

// Runs engines as processes and checks their results with independent
// tools (pdfinfo, pdftotext, qpdf). Every external program runs under a
// time limit.

#include "tests/support/PdfFixtures.h"

#include <map>
#include <string>
#include <vector>

namespace sundrel::tovix::test {

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs argv[0] (looked up in PATH when it has no slash) under `timeout`.
RunResult runProgram(const std::vector<std::string>& argv, const std::string& input = "",
                     int seconds = 30);

// Our engine from the build tree.
std::string enginePath();
// pdftk when installed, else empty.
std::string pdftkPath();

// A private directory removed with everything in it.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  std::vector<std::string> entries() const;

private:
  std::string path_;
};

// Test documents come from the shared fixture writer.
using sundrel::test::Cipher;
using sundrel::test::PdfLock;
using sundrel::test::PdfShape;
using sundrel::test::writePdf;
// A PDF of the given objects (number -> body), catalog 1 0 R; `trailer` adds
// trailer entries.
void writeObjects(const std::string& path, const std::map<int, std::string>& objects,
                  const std::string& trailer = "");

// Pages (objects 10, 12, ...) that draw `draw`, then show "Page i" in the font
// 3 0 R; each has `resources` of its own unless they name an object. `padding`
// bytes in an object no page uses make the file as large as a test needs.
std::map<int, std::string> textPages(int pages, std::size_t padding = 0,
                                     const std::string& resources = "<< /Font << /F1 3 0 R >> >>",
                                     const std::string& draw = "");

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& data);
bool exists(const std::string& path);
long long fileSize(const std::string& path);

// Checkers.
int pageCount(const std::string& pdf);                      // pdfinfo; -1 on failure
std::vector<std::string> pageTexts(const std::string& pdf); // pdftotext, trimmed, one per page
std::string infoValue(const std::string& pdf, const std::string& key); // pdfinfo, exact
bool qpdfCheckClean(const std::string& pdf);
// qpdf --show-encryption lines as key -> value ("R", "P", "User password", permission names).
std::map<std::string, std::string> encryption(const std::string& pdf, const std::string& password);
std::string qpdfJson(const std::string& pdf, const std::string& key);
// The file in qpdf's QDF form: plain text, pages marked "%% Page N".
std::string qdf(const std::string& pdf);

// Pages first..last of `pdf` as images, one per page, by "poppler" (pdftoppm) or "mupdf"
// (mutool draw), drawn into `dir` (emptied first).
std::vector<std::string> render(const std::string& pdf, int first, int last,
                                const std::string& tool, const std::string& dir);

std::string corpusFile(const std::string& name); // empty when the corpus is missing

} // namespace sundrel::tovix::test
