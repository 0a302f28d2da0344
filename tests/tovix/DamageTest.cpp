// Damaged and hostile sources: a part holds its pages as an independent
// reader sees them in the source, or the command fails with the reason.
// Streams travel as they are encoded; what the engine must decode is bounded.

#include "tests/tovix/Harness.h"

#include <gtest/gtest.h>
#include <qpdf/Buffer.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_Flate.hh>

#include <memory>

namespace sundrel::tovix::test {
namespace {

std::vector<std::string> pagesFrom(int first, int last) {
  std::vector<std::string> texts;
  for (int page = first; page <= last; ++page)
    texts.push_back("Page " + std::to_string(page));
  return texts;
}

TEST(Damage, APartWithAnUnreadablePageOrObjectFailsWithTheReason) {
  const struct {
    const char* what;
    int huge;  // this object holds an integer of 21 digits, which no reader takes
    bool lost; // the objects of pages 5 and 6 blanked out, as in a damaged region of a disk
    int first, last;
    const char* refusal; // null: the part is written, complete
  } cases[] = {
      {"an unreadable page", 12, false, 1, 3,
       "page 2 (object 12 0) could not be read: object 12/0: error reading object"},
      {"the unreadable font of every page", 3, false, 4, 4,
       "page 4 uses object 3 0, which could not be read"},
      {"pages the damage does not reach", 12, false, 3, 5, nullptr},
      {"lost pages", 0, true, 4, 6, "page 5 (object 18 0) could not be read"},
      {"the pages around them", 0, true, 1, 4, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string src = dir.file("src.pdf"), out = dir.file("out.pdf");
    auto objects = textPages(6);
    if (c.huge > 0)
      objects[c.huge].insert(objects[c.huge].rfind(">>"), "/Huge 123456789012345678901 ");
    writeObjects(src, objects);
    std::string bytes = readFile(src);
    const std::size_t from = bytes.find("\n18 0 obj"), to = bytes.find("\nxref");
    if (c.lost)
      writeFile(src, bytes.replace(from, to - from, to - from, ' '));
    const std::string range = "A" + std::to_string(c.first) + "-" + std::to_string(c.last);
    const RunResult r = runProgram({enginePath(), "A=" + src, "cat", range, "output", out});
    if (c.refusal != nullptr) {
      EXPECT_EQ(r.exitCode, 1);
      EXPECT_EQ(r.err.rfind("Error: [damaged] ", 0), 0u) << r.err;
      EXPECT_NE(r.err.find(c.refusal), std::string::npos) << r.err;
      EXPECT_FALSE(exists(out));
      continue;
    }
    // Repaired, every page whole: exit 0 with a note.
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("is damaged and was repaired"), std::string::npos) << r.err;
    EXPECT_EQ(pageTexts(out), pagesFrom(c.first, c.last));
    EXPECT_TRUE(qpdfCheckClean(out));
  }
}

// `pages` pages drawing a form XObject (its content `decoded` bytes, flate
// inside flate) through resources they all share, so that cat reads the
// form's content to trim them.
void nestedForm(const std::string& path, int pages, std::uint64_t decoded) {
  Pl_Buffer data("form");
  Pl_Flate outer("outer", &data, Pl_Flate::a_deflate);
  Pl_Flate inner("inner", &outer, Pl_Flate::a_deflate);
  const std::string chunk = std::string(1 << 20, ' ').replace(0, 14, "0 0 m 1 1 l S\n");
  for (std::uint64_t done = 0; done < decoded; done += chunk.size())
    inner.write(reinterpret_cast<const unsigned char*>(chunk.data()), chunk.size());
  inner.finish();
  const std::unique_ptr<Buffer> bytes(data.getBuffer());
  const std::string stream(reinterpret_cast<const char*>(bytes->getBuffer()), bytes->getSize());
  auto objects = textPages(pages, 0, "4 0 R", "q /Fm Do Q ");
  objects[4] = "<< /Font << /F1 3 0 R >> /XObject << /Fm 5 0 R >> >>";
  objects[5] = "<< /Type /XObject /Subtype /Form /BBox [0 0 10 10] /Filter [/FlateDecode "
               "/FlateDecode] /Length " +
               std::to_string(stream.size()) + " >>\nstream\n" + stream + "\nendstream";
  writeObjects(path, objects);
}

TEST(Damage, NestedFiltersTravelEncodedAndWhatIsDecodedIsBounded) {
  TempDir dir;
  const std::string src = dir.file("src.pdf"), out = dir.file("out.pdf");
  nestedForm(src, 20, std::uint64_t{16} << 20);
  const RunResult r = runProgram({enginePath(), "A=" + src, "cat", "A1-end", "output", out});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // Decoded and compressed again, the form alone would take 16 KB.
  EXPECT_LT(fileSize(out), fileSize(src) + 2000);
  EXPECT_EQ(pageTexts(out), pagesFrom(1, 20));
  EXPECT_TRUE(qpdfCheckClean(out));

  // Past the bound, every command that must read the form fails and says why.
  nestedForm(src, 3, (std::uint64_t{256} << 20) + 1);
  const RunResult cat = runProgram({enginePath(), "A=" + src, "cat", "A2", "output", out});
  for (const RunResult& run : {cat, runProgram({enginePath(), "A=" + src, "page_sizes"})}) {
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.rfind("Error: [too_large] ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(": the content of object 5 0 decodes to more than 256 MiB"),
              std::string::npos)
        << run.err;
  }
}

} // namespace
} // namespace sundrel::tovix::test
