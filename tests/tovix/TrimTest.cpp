// The quick scan of page content must read every content it accepts exactly
// as qpdf's tokenizer does, and leave the rest to the tokenizer.

#include "tovix/Trim.h"

#include "tests/support/TestEnv.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <qpdf/Buffer.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

namespace sundrel::tovix {
namespace {

TEST(QuickScan, ReadsWhatTheTokenizerReads) {
  const char* const accepted[] = {
      "BT /F1 12 Tf (Hi \\) (nested) there) Tj ET q /Im1 Do Q",
      "/GS1 gs /CS0 cs 0.5 .5 -1 +2. scn /P0 sh % comment /F9 Tf\n/F2 9 Tf",
      "[(a) 12 (b)] TJ << /MCID 3 >> BDC /Prop DP <48656c6c6f> Tj T* d0 ' \"",
      "/F1 1 Tf [ /Name ] TJ true false null",
      "",
      "/OnlyAName",
      "/F1 1 Tf ]", // a close without an open is bad: the tokenizer decides
      "[ /F1 1 Tf", // so is a word inside an array
      "BI /W 1 /H 1 ID x EI /F1 1 Tf",
      "/A#20B Do",
      "{ } /F1 Tf",
      "/F1 1 Tf 1.2.3 x",
      "(unclosed",
      "<4g> Tj",
      "/F1 Tf \x80",
  };
  int quick = 0;
  for (const std::string_view content : accepted) {
    SCOPED_TRACE(content);
    if (const auto scanned = usedNamesQuickly(content)) {
      ++quick;
      EXPECT_EQ(*scanned, usedNamesByTokenizer(content));
    }
  }
  EXPECT_EQ(quick, 6);
}

// Every page and form of the corpus that the scan accepts reads the same.
TEST(QuickScan, AgreesOnTheCorpus) {
  const std::string corpus = sundrel::test::corpusDir();
  std::error_code error;
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus, error)) {
    if (entry.path().extension() != ".pdf")
      continue;
    try {
      QPDF pdf;
      pdf.setSuppressWarnings(true);
      pdf.processFile(entry.path().c_str());
      for (auto& page : QPDFPageDocumentHelper(pdf).getAllPages()) {
        std::vector<QPDFPageObjectHelper> contents{page};
        page.forEachFormXObject(true, [&](QPDFObjectHandle& form, QPDFObjectHandle&,
                                          const std::string&) { contents.emplace_back(form); });
        for (auto& item : contents) {
          Pl_Buffer buffer("content");
          item.pipeContents(&buffer);
          std::unique_ptr<Buffer> data(buffer.getBuffer());
          const std::string_view text(reinterpret_cast<const char*>(data->getBuffer()),
                                      data->getSize());
          if (const auto scanned = usedNamesQuickly(text)) {
            ++checked;
            ASSERT_EQ(*scanned, usedNamesByTokenizer(text)) << entry.path();
          }
        }
      }
    } catch (const std::exception&) {
      // Files qpdf cannot read are other tests' business.
    }
  }
  if (checked == 0)
    GTEST_SKIP() << "no corpus pages in " << corpus;
}

} // namespace
} // namespace sundrel::tovix
