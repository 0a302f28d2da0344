// Damaged and hostile sources: a part holds its pages as an independent
// reader sees them in the source, or the command fails with the reason.
// Streams travel as they are encoded; what the engine must decode is bounded.

#include "tests/tovix/Harness.h"

#include <gtest/gtest.h>
#include <qpdf/Buffer.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_Flate.hh>

#include <functional>
#include <memory>

namespace sundrel::tovix::test {
namespace {

RunResult engine(const std::vector<std::string>& args) {
  std::vector<std::string> argv{enginePath()};
  argv.insert(argv.end(), args.begin(), args.end());
  return runProgram(argv, "", 120);
}

std::vector<std::string> pagesFrom(int first, int last) {
  std::vector<std::string> texts;
  for (int page = first; page <= last; ++page)
    texts.push_back("Page " + std::to_string(page));
  return texts;
}

// One object holds an integer of 21 digits, which no reader can take.
void withHugeInteger(const std::string& path, int object) {
  auto objects = textPages(6);
  objects[object].insert(objects[object].rfind(">>"), " /Huge 123456789012345678901 ");
  writeObjects(path, objects);
}

// The objects of pages 5 and 6 blanked out (a damaged region of a disk),
// the cross-reference table still pointing at them.
void lostPages(const std::string& path) {
  writeObjects(path, textPages(6));
  std::string whole = readFile(path);
  const std::size_t from = whole.find("\n18 0 obj"), to = whole.find("\nxref");
  writeFile(path, whole.replace(from, to - from, to - from, ' '));
}

TEST(Damage, APartWithAnUnreadablePageOrObjectFailsWithTheReason) {
  const struct {
    const char* what;
    std::function<void(const std::string&)> write;
    const char* range;
    const char* refusal; // null: the part is written, complete
  } cases[] = {
      {"a page dictionary holding a 21-digit integer", [](auto& p) { withHugeInteger(p, 12); },
       "A1-3", "page 2 (object 12 0) could not be read: object 12/0: error reading object"},
      {"the font of every page holding one", [](auto& p) { withHugeInteger(p, 3); }, "A4",
       "page 4 uses object 3 0, which could not be read"},
      {"pages that the damage does not reach", [](auto& p) { withHugeInteger(p, 12); }, "A3-5",
       nullptr},
      {"lost pages", lostPages, "A4-6", "page 5 (object 18 0) could not be read"},
      {"the pages around them", lostPages, "A1-4", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string src = dir.file("src.pdf"), out = dir.file("out.pdf");
    c.write(src);
    const RunResult r = engine({"A=" + src, "cat", c.range, "output", out});
    if (c.refusal != nullptr) {
      EXPECT_EQ(r.exitCode, 1);
      EXPECT_NE(r.err.find(c.refusal), std::string::npos) << r.err;
      EXPECT_FALSE(exists(out));
      continue;
    }
    // Repaired, and every page whole: exit 0 with a note.
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("is damaged and was repaired"), std::string::npos) << r.err;
    const int first = c.range[1] - '0', last = c.range[3] - '0';
    EXPECT_EQ(pageTexts(out), pagesFrom(first, last));
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
  auto objects = textPages(pages);
  objects[4] = "<< /Font << /F1 3 0 R >> /XObject << /Fm 5 0 R >> >>";
  objects[5] = "<< /Type /XObject /Subtype /Form /BBox [0 0 10 10] /Filter [/FlateDecode "
               "/FlateDecode] /Length " +
               std::to_string(stream.size()) + " >>\nstream\n" + stream + "\nendstream";
  for (int i = 0; i < pages; ++i) {
    std::string& page = objects[10 + 2 * i];
    page.replace(page.find("<< /Font"), page.find("/Contents") - page.find("<< /Font"), "4 0 R ");
    std::string& content = objects[11 + 2 * i];
    const std::size_t begin = content.find("stream\n") + 7;
    const std::string text =
        "q /Fm Do Q " + content.substr(begin, content.rfind("\nendstream") - begin);
    content = "<< /Length " + std::to_string(text.size()) + " >>\nstream\n" + text + "\nendstream";
  }
  writeObjects(path, objects);
}

TEST(Damage, NestedFiltersTravelEncodedAndWhatIsDecodedIsBounded) {
  TempDir dir;
  const std::string src = dir.file("src.pdf"), out = dir.file("out.pdf");
  nestedForm(src, 20, std::uint64_t{16} << 20);
  RunResult r = engine({"A=" + src, "cat", "A1-end", "output", out});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // Decoded and compressed again, the form alone would take 16 KB.
  EXPECT_LT(fileSize(out), fileSize(src) + 2000);
  EXPECT_EQ(pageTexts(out), pagesFrom(1, 20));
  EXPECT_TRUE(qpdfCheckClean(out));

  // Past the bound, every command that must read the form fails and says why.
  nestedForm(src, 3, (std::uint64_t{256} << 20) + 1);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"A=" + src, "cat", "A2", "output", out},
        std::vector<std::string>{"A=" + src, "page_sizes"}}) {
    r = engine(args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(": the content of object 5 0 decodes to more than 256 MiB"),
              std::string::npos)
        << r.err;
  }
}

} // namespace
} // namespace sundrel::tovix::test
