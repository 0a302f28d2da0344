// A part is the same document, only shorter: the catalog entries that apply
// to its pages travel with them. One fixture holds them all; each row cuts
// a part and checks it with qpdf, pdfinfo or the renderers.

#include "tests/tovix/Harness.h"

#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <vector>

namespace sundrel::tovix::test {
namespace {

using H = QPDFObjectHandle;

H stream(QPDF& pdf, const std::string& dict, const std::string& data) {
  H s = QPDFObjectHandle::newStream(&pdf, data);
  for (auto& [key, value] : H::parse(dict).ditems())
    s.getDict().replaceKey(key, value);
  return s;
}

const char* const kXmp = R"(<?xpacket begin="" id="W5M0MpCehiHzreSzNTczkc9d"?>
<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">
<rdf:Description rdf:about="" xmlns:pdfaid="http://www.aiim.org/pdfa/ns/id/" pdfaid:part="2" pdfaid:conformance="B"/>
<rdf:Description rdf:about="" xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:title><rdf:Alt><rdf:li xml:lang="x-default">Old title</rdf:li></rdf:Alt></dc:title></rdf:Description>
</rdf:RDF></x:xmpmeta>
<?xpacket end="w"?>)";

// Tagged text on every page: Document > H1 (page 1), Document > Sect >
// P (page 2), P (page 3, its content by a marked-content reference).
void addTags(QPDF& pdf, std::vector<QPDFPageObjectHelper>& pages) {
  H root = pdf.makeIndirectObject(H::parse("<< /Type /StructTreeRoot /ParentTreeNextKey 3 >>"));
  auto element = [&](const char* type, H parent) {
    H e = pdf.makeIndirectObject(H::parse(std::string("<< /S /") + type + " >>"));
    e.replaceKey("/P", parent);
    return e;
  };
  H doc = element("Document", root), h1 = element("H1", doc), sect = element("Sect", doc);
  H p2 = element("P", sect), p3 = element("P", sect);
  root.replaceKey("/K", doc);
  doc.replaceKey("/K", H::newArray({h1, sect}));
  // An element without content: reading it must not count as damage.
  sect.replaceKey("/K", H::newArray({p2, p3, element("Figure", sect)}));
  H nums = H::newArray();
  const H elements[] = {h1, p2, p3};
  for (int i = 0; i < 3; ++i) {
    H page = pages[i].getObjectHandle();
    const std::string text = "Tagged " + std::to_string(i + 1);
    pages[i].addPageContents(
        stream(pdf, "<< >>",
               "BT /F1 12 Tf 100 100 Td /P << /MCID 0 >> BDC (" + text + ") Tj EMC ET"),
        false);
    page.replaceKey("/StructParents", H::newInteger(i));
    H e = elements[i];
    e.replaceKey("/Pg", page);
    e.replaceKey("/K",
                 i < 2 ? H::newInteger(0) : H::parse("<< /Type /MCR /MCID 0 >>").shallowCopy());
    if (i == 2)
      e.getKey("/K").replaceKey("/Pg", page);
    nums.appendItem(H::newInteger(i));
    nums.appendItem(H::newArray({e}));
  }
  H tree = H::newDictionary();
  tree.replaceKey("/Nums", nums);
  root.replaceKey("/ParentTree", tree);
  root.replaceKey("/RoleMap", H::parse("<< /Chapter /Sect >>"));
  pdf.getRoot().replaceKey("/StructTreeRoot", root);
  pdf.getRoot().replaceKey("/MarkInfo", H::parse("<< /Marked true >>"));
}

// Three pages with bookmarks; page 2 draws a hidden blue square and a shown
// red one on layers; the catalog has every document-wide entry a part keeps.
void writeDocument(const std::string& path, const std::string& work) {
  writePdf(work, PdfShape{}.withPages(3).withOutline().withTitle("Old title"));
  QPDF pdf;
  pdf.processFile(work.c_str());
  auto pages = QPDFPageDocumentHelper(pdf).getAllPages();
  auto group = [&](const char* name) {
    return pdf.makeIndirectObject(H::parse(std::string("<< /Type /OCG /Name (") + name + ") >>"));
  };
  H hidden = group("Hidden"), shown = group("Shown"), unused = group("Unused");
  H page2 = pages[1].getObjectHandle();
  H resources = page2.getKey("/Resources").shallowCopy();
  H props = H::newDictionary();
  props.replaceKey("/L1", hidden);
  props.replaceKey("/L2", shown);
  resources.replaceKey("/Properties", props);
  page2.replaceKey("/Resources", resources);
  pages[1].addPageContents(stream(pdf, "<< >>",
                                  "/OC /L1 BDC 0 0 1 rg 20 20 200 200 re f EMC "
                                  "/OC /L2 BDC 1 0 0 rg 300 300 100 100 re f EMC"),
                           false);
  H root = pdf.getRoot();
  addTags(pdf, pages);
  H ocp = H::parse("<< /D << /BaseState /ON /ON [] /Order [ (Art) ] /RBGroups [ ] >> >>");
  ocp.replaceKey("/OCGs", H::newArray({hidden, shown, unused}));
  H d = ocp.getKey("/D");
  d.replaceKey("/OFF", H::newArray({hidden, unused}));
  d.getKey("/Order").appendItem(H::newArray({H::newString("Art"), hidden, shown, unused}));
  d.getKey("/RBGroups").appendItem(H::newArray({hidden, unused}));
  root.replaceKey("/OCProperties", ocp);
  root.replaceKey("/Metadata", stream(pdf, "<< /Type /Metadata /Subtype /XML >>", kXmp));
  H intent = H::parse("<< /Type /OutputIntent /S /GTS_PDFA1 /OutputConditionIdentifier (sRGB) >>");
  intent.replaceKey("/DestOutputProfile", stream(pdf, "<< /N 3 >>", "not a real profile"));
  root.replaceKey("/OutputIntents", H::newArray({intent}));
  root.replaceKey("/Lang", H::newString("en-GB"));
  root.replaceKey("/ViewerPreferences", H::parse("<< /DisplayDocTitle true >>"));
  root.replaceKey("/PageLayout", H::newName("/TwoColumnLeft"));
  root.replaceKey("/PageMode", H::newName("/UseOutlines"));
  root.replaceKey("/OpenAction", H::newArray({pages[2].getObjectHandle(), H::newName("/Fit")}));
  H file = stream(pdf, "<< /Type /EmbeddedFile >>", "attached data");
  H filespec = H::parse("<< /Type /Filespec /F (data.txt) /EF << >> >>");
  filespec.getKey("/EF").replaceKey("/F", file);
  H names = H::newDictionary();
  names.replaceKey("/EmbeddedFiles", H::parse("<< /Names [ (data.txt) ] >>").shallowCopy());
  names.getKey("/EmbeddedFiles").getKey("/Names").appendItem(pdf.makeIndirectObject(filespec));
  root.replaceKey("/Names", names);
  QPDFWriter writer(pdf, path.c_str());
  writer.setStaticID(true);
  writer.write();
}

struct Row {
  const char* name;
  const char* range;
  bool finished;  // through update_info, as a split's part is written
  bool encrypted; // and then encrypted: no longer PDF/A, which the engine says
  std::function<void(const std::string& source, const std::string& part, const std::string& dir)>
      check;
};

bool has(const std::string& text, const std::string& what) {
  return text.find(what) != std::string::npos;
}

const Row kRows[] = {
    {"HiddenLayerStaysHidden", "2", false, false,
     [](const std::string& source, const std::string& part, const std::string& dir) {
       for (const char* tool : {"poppler", "mupdf"})
         EXPECT_TRUE(render(part, 1, 1, tool, dir + "/got") ==
                     render(source, 2, 2, tool, dir + "/want"))
             << tool;
       const std::string text = qdf(part);
       EXPECT_TRUE(has(text, "(Shown)") && !has(text, "(Unused)")) << "unused groups stay behind";
       EXPECT_TRUE(has(text, "/BaseState /ON")) << text;
       EXPECT_FALSE(has(text, "/RBGroups [\n      [")) << "a radio group of one is no group";
     }},
    {"PdfaIdentityAndXmpAgreeAfterProperties", "2-3", true, false,
     [](const std::string&, const std::string& part, const std::string&) {
       const std::string meta = runProgram({"pdfinfo", "-meta", part}, "", 30).out;
       EXPECT_TRUE(has(meta, "pdfaid:part=\"2\"")) << meta;
       EXPECT_TRUE(has(meta, ">New title<") && !has(meta, "Old title")) << meta;
       EXPECT_EQ(infoValue(part, "Title"), "New title");
       EXPECT_TRUE(has(qdf(part), "/OutputConditionIdentifier (sRGB)"));
     }},
    {"ViewerSettingsAndOpeningPage", "2-3", false, false,
     [](const std::string&, const std::string& part, const std::string&) {
       const std::string text = qdf(part);
       for (const char* entry : {"/Lang (en-GB)", "/DisplayDocTitle true",
                                 "/PageLayout /TwoColumnLeft", "/PageMode /UseOutlines"})
         EXPECT_TRUE(has(text, entry)) << entry;
       EXPECT_FALSE(has(text, "/EmbeddedFiles")) << "attachments go with the first part only";
       const auto opening = text.find("/OpenAction [");
       const auto pageTwo = text.find(" 0 obj", text.find("%% Page 2"));
       ASSERT_TRUE(opening != std::string::npos && pageTwo != std::string::npos);
       const int target = std::atoi(text.c_str() + opening + 13);
       EXPECT_EQ(target, std::atoi(text.c_str() + text.rfind('\n', pageTwo) + 1))
           << "opens at the part's second page";
     }},
    {"FirstPartTakesAttachmentsNotForeignOpening", "1", false, false,
     [](const std::string&, const std::string& part, const std::string&) {
       const std::string text = qdf(part);
       EXPECT_TRUE(has(text, "/EmbeddedFiles") && has(text, "attached data"));
       EXPECT_FALSE(has(text, "/OpenAction")) << "its page is not in the part";
     }},
    {"TagsOfItsPagesOnly", "2-3", false, false,
     [](const std::string&, const std::string& part, const std::string&) {
       const RunResult tags = runProgram({"pdfinfo", "-struct-text", part}, "", 30);
       EXPECT_EQ(tags.out, "Document\n  Sect\n    P (block)\n      \"Tagged 2\"\n    P "
                           "(block)\n      \"Tagged 3\"\n")
           << tags.err;
       EXPECT_EQ(infoValue(part, "Tagged"), "yes");
       const std::string text = qdf(part);
       for (const char* entry :
            {"/StructParents 0", "/StructParents 1", "/ParentTreeNextKey 2", "/Chapter /Sect"})
         EXPECT_TRUE(has(text, entry)) << entry;
     }},
    {"EncryptedPdfaPartIsSaidNotToBePdfa", "1", true, true,
     [](const std::string&, const std::string& part, const std::string&) {
       EXPECT_EQ(encryption(part, "u").count("R"), 1u) << "encrypted";
     }},
};

void PrintTo(const Row& row, std::ostream* os) {
  *os << row.name;
}

class DocumentParts : public ::testing::TestWithParam<Row> {};

TEST_P(DocumentParts, KeepWhatAppliesToTheirPages) {
  const Row& row = GetParam();
  TempDir dir;
  const std::string source = dir.file("source.pdf");
  writeDocument(source, dir.file("plain.pdf"));
  const std::string part = dir.file("part.pdf");
  std::vector<std::string> args{enginePath(), "A=" + source, "cat", std::string("A") + row.range};
  if (row.finished) {
    writeFile(dir.file("info.txt"), "InfoKey: Title\nInfoValue: New title\n");
    args.insert(args.end(), {"update_info", dir.file("info.txt")});
  }
  args.insert(args.end(), {"output", part});
  if (row.encrypted)
    args.insert(args.end(), {"encrypt_128bit", "user_pw", "u"});
  const RunResult r = runProgram(args, "", 60);
  ASSERT_EQ(r.exitCode, row.encrypted ? 3 : 0) << r.err;
  EXPECT_EQ(has(r.err, "no longer PDF/A"), row.encrypted) << r.err;
  EXPECT_FALSE(has(r.err, "damaged")) << r.err;
  EXPECT_TRUE(row.encrypted || qpdfCheckClean(part));
  row.check(source, part, dir.path());
  // A split's session makes the same part in one command, byte for byte.
  if (row.encrypted)
    return;
  std::string command = "A=\"" + source + "\" cat A" + row.range;
  if (row.finished)
    command += " update_info \"" + dir.file("info.txt") + "\"";
  const std::string inSession = dir.file("session.pdf");
  runProgram({enginePath(), "--session"}, command + " output \"" + inSession + "\"\n", 60);
  EXPECT_EQ(readFile(inSession), readFile(part));
}

INSTANTIATE_TEST_SUITE_P(Rows, DocumentParts, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

// The tagged text of a document in reading order, by poppler.
std::string taggedText(const std::string& pdf) {
  std::istringstream lines(runProgram({"pdfinfo", "-struct-text", pdf}, "", 120).out);
  std::string text, line;
  while (std::getline(lines, line)) {
    if (const auto quote = line.find('"'); quote != std::string::npos)
      text += line.substr(quote) + "\n";
  }
  return text;
}

// Corpus files with tags and layers, cut in three: the parts' tagged text
// adds up to the source's, and a middle page draws as in the source.
TEST(DocumentCorpus, PartsOfTaggedLayeredAndAttachingFilesAddUp) {
  const char* const files[] = {"opf__316267.pdf",
                               "pdfplumber__chelsea_pdta.pdf",
                               "pdfplumber__2023-06-20-PV.pdf",
                               "pypdf__Seige_of_Vicksburg_Sample_OCR.pdf",
                               "opf__064034.pdf",
                               "pypdf-samples__with-attachment.pdf"};
  int tried = 0;
  for (const char* name : files) {
    const std::string source = corpusFile(name);
    if (source.empty())
      continue;
    ++tried;
    TempDir dir;
    const int pages = pageCount(source);
    ASSERT_GT(pages, 0) << name;
    std::string parts;
    for (int first = 1, n = 0; first <= pages; ++n) {
      const int last = std::min(pages, first + std::max(1, pages / 3) - 1);
      const std::string part = dir.file("part" + std::to_string(n) + ".pdf");
      const RunResult r =
          runProgram({enginePath(), "A=" + source, "cat",
                      "A" + std::to_string(first) + "-" + std::to_string(last), "output", part},
                     "", 120);
      ASSERT_TRUE(r.exitCode == 0 || r.exitCode == 3) << name << ": " << r.err;
      parts += taggedText(part);
      // The document's attachments go with the first part only.
      const std::string attached = runProgram({"pdfdetach", "-list", part}, "", 60).out;
      EXPECT_EQ(attached, first == 1 ? runProgram({"pdfdetach", "-list", source}, "", 60).out
                                     : "0 embedded files\n")
          << name << " part " << n;
      const int middle = (first + last) / 2;
      for (const char* tool : {"poppler", "mupdf"})
        EXPECT_TRUE(render(part, middle - first + 1, middle - first + 1, tool, dir.file("got")) ==
                    render(source, middle, middle, tool, dir.file("want")))
            << name << " page " << middle << " by " << tool;
      first = last + 1;
    }
    EXPECT_EQ(parts, taggedText(source)) << name;
  }
  if (tried == 0)
    GTEST_SKIP() << "the corpus is not here";
}

} // namespace
} // namespace sundrel::tovix::test
