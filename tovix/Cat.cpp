// cat: the selected pages of one or more inputs as a new document, with the
// links, form fields, bookmarks and page labels that belong to them.

#include "tovix/CatalogEntries.h"
#include "tovix/Destinations.h"
#include "tovix/FontSubsets.h"
#include "tovix/Operations.h"
#include "tovix/Outlines.h"
#include "tovix/Output.h"
#include "tovix/StructTree.h"
#include "tovix/Trees.h"
#include "tovix/Trim.h"

#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <map>
#include <set>
#include <vector>

namespace sundrel::tovix {

namespace {

using XRefTables = std::map<OpenedInput*, std::map<QPDFObjGen, QPDFXRefEntry>>;

struct Selected {
  OpenedInput* input;
  std::uint64_t page; // 1-based
  const PageRange* range;
};

// `whole` receives the ranges for "every page of every input" when the
// command names none; the selection points into it.
std::vector<Selected> selectPages(Context& ctx, Inputs& inputs, std::vector<PageRange>& whole) {
  const Command& cmd = ctx.cmd;
  std::vector<Selected> selection;
  const std::vector<PageRange>* ranges = &cmd.ranges;
  if (ranges->empty()) {
    for (std::size_t i = 0; i < cmd.inputs.size(); ++i) {
      PageRange r;
      r.text = cmd.inputs[i].handle.empty() ? cmd.inputs[i].path : cmd.inputs[i].handle;
      r.input = i;
      r.whole = true;
      whole.push_back(r);
    }
    ranges = &whole;
  }
  for (const PageRange& range : *ranges) {
    OpenedInput* input = &inputs.at(range.input);
    std::vector<std::uint64_t> numbers;
    std::string error;
    if (!resolvePageRange(range, pagesOf(*input).size(), numbers, error))
      throw Failure(Reason::Range, error);
    for (std::uint64_t n : numbers)
      selection.push_back({input, n, &range});
  }
  if (selection.empty())
    throw Failure(Reason::Range, "No pages were selected by the given page ranges");
  return selection;
}

// A page that libqpdf could not read would come out blank; so would one
// whose content or resources point at a missing object. Refuse it rather
// than report success.
void checkPage(OpenedInput& in, std::uint64_t number, QPDFPageObjectHelper& page) {
  auto missing = [](QPDFObjectHandle h) { return h.isIndirect() && h.isNull(); };
  QPDFObjectHandle dict = page.getObjectHandle();
  if (!dict.isDictionary()) {
    const std::string id = dict.isIndirect() ? dict.getObjGen().unparse(' ') : std::string();
    const std::string why = problemWith(in, id);
    throw Failure(Reason::Damaged, "Damaged PDF file: " + shown(in.path) + ": page " +
                                       std::to_string(number) +
                                       (id.empty() ? "" : " (object " + id + ")") +
                                       " could not be read" + (why.empty() ? "" : ": " + why));
  }
  std::vector<QPDFObjectHandle> refs{dict.getKey("/Contents"), dict.getKey("/Resources")};
  QPDFObjectHandle contents = dict.getKey("/Contents");
  if (contents.isArray()) {
    for (auto& item : contents.aitems())
      refs.push_back(item);
  }
  for (auto& h : refs) {
    if (missing(h))
      throw Failure(Reason::Damaged, "Damaged PDF file: " + shown(in.path) + ": page " +
                                         std::to_string(number) + " refers to the missing object " +
                                         h.getObjGen().unparse(' '));
  }
}

bool isPageTreeNode(QPDFObjectHandle oh) {
  if (!oh.isDictionary())
    return false;
  QPDFObjectHandle type = oh.getKey("/Type");
  return type.isName() && (type.getName() == "/Page" || type.getName() == "/Pages");
}

// Whether the file holds `id`: libqpdf makes an object it cannot read null,
// as it does a reference to an object the file lacks.
bool holds(OpenedInput& in, QPDFObjGen id, XRefTables& xrefs) {
  auto table = xrefs.find(&in);
  if (table == xrefs.end())
    table = xrefs.emplace(&in, in.pdf->getXRefTable()).first;
  const auto entry = table->second.find(id);
  return entry != table->second.end() && entry->second.getType() != 0;
}

// Every object a copied page reaches that the file holds was read. One the
// file lacks is null for every reader alike; one it holds but that could not
// be read would leave the part's page blank or incomplete. Copying the page
// has read all it reaches, and libqpdf reports every object it fails to
// read: a file without problems needs no look. Checked once per page: what
// libqpdf has read stays read.
void checkComplete(OpenedInput& in, std::uint64_t number, XRefTables& xrefs) {
  const std::size_t index = number - 1;
  if (in.complete.size() != pagesOf(in).size())
    in.complete.assign(pagesOf(in).size(), false);
  if (in.complete[index] || !damaged(in))
    return;
  std::set<QPDFObjGen> seen;
  std::vector<QPDFObjectHandle> stack{pagesOf(in)[index].getObjectHandle()};
  while (!stack.empty()) {
    QPDFObjectHandle oh = stack.back();
    stack.pop_back();
    if (oh.isIndirect()) {
      const QPDFObjGen id = oh.getObjGen();
      if (!seen.insert(id).second || (seen.size() > 1 && isPageTreeNode(oh)))
        continue; // another page, or the page tree
      if (oh.isNull() && holds(in, id, xrefs))
        throw Failure(Reason::Damaged,
                      "Damaged PDF file: " + shown(in.path) + ": page " + std::to_string(number) +
                          " uses object " + id.unparse(' ') +
                          ", which could not be read: " + problemWith(in, id.unparse(' ')));
    }
    if (oh.isArray()) {
      for (auto& item : oh.aitems())
        stack.push_back(item);
    } else if (oh.isDictionary() || oh.isStream()) {
      // Every entry, those that lead to null among them (ditems skips them).
      for (auto& [key, value] : (oh.isStream() ? oh.getDict() : oh).getDictAsMap()) {
        if (key != "/Parent")
          stack.push_back(value);
      }
    }
  }
  in.complete[index] = true;
}

// Whether pages share resource dictionaries, so that copying one page
// would drag in what others use. Trimming means parsing content streams,
// which is wasted work when every page has resources of its own.
bool sharesResources(OpenedInput& in) {
  if (in.sharesResourcesKnown)
    return in.sharesResources;
  in.sharesResourcesKnown = true;
  std::set<QPDFObjGen> seen;
  auto sharedOnce = [&seen](QPDFObjectHandle h) {
    return h.isIndirect() && !seen.insert(h.getObjGen()).second;
  };
  static const char* const kinds[] = {"/Font",    "/XObject", "/ExtGState", "/ColorSpace",
                                      "/Pattern", "/Shading", "/Properties"};
  for (QPDFPageObjectHelper& page : pagesOf(in)) {
    QPDFObjectHandle resources = page.getObjectHandle().getKey("/Resources");
    if (sharedOnce(resources))
      return in.sharesResources = true;
    if (!resources.isDictionary())
      continue;
    for (const char* kind : kinds) {
      if (sharedOnce(resources.getKey(kind)))
        return in.sharesResources = true;
    }
  }
  return false;
}

// The new document being assembled.
struct Assembly {
  QPDF out;
  XRefTables xrefs; // of the damaged inputs, read once
  CopyMap firstCopy;
  std::vector<OpenedInput*> order; // inputs in order of first use
  std::vector<PageCopy> copies;
  std::vector<QPDFObjectHandle> labels;
  bool anyLabels = false;
  bool needAppearances = false;
  bool firstPart = false; // holds the first page of the first input
};

void prepareInput(Assembly& a, OpenedInput& in) {
  a.order.push_back(&in);
  prepareSource(in);
  if (in.forms->hasAcroForm() && in.forms->getNeedAppearances())
    a.needAppearances = true;
  a.anyLabels = a.anyLabels || !pageLabelsOf(in).empty();
}

void copyPage(Assembly& a, QPDFPageDocumentHelper& outPages, const Selected& sel,
              std::int64_t outIndex) {
  OpenedInput& in = *sel.input;
  QPDFPageObjectHelper source = pagesOf(in).at(sel.page - 1);
  checkPage(in, sel.page, source);
  readyToCopy(in, sel.page - 1);
  const QPDFObjGen sourceId = source.getObjectHandle().getObjGen();
  QPDFPageObjectHelper toCopy = source;
  const bool first = a.firstCopy.find({&in, sourceId}) == a.firstCopy.end();
  if (!first)
    toCopy = source.shallowCopyPage();
  outPages.addPage(toCopy, false);
  QPDFObjectHandle added = a.out.copyForeignObject(toCopy.getObjectHandle());
  checkComplete(in, sel.page, a.xrefs);
  if (first)
    a.firstCopy.emplace(std::make_pair(&in, sourceId), added);
  a.copies.push_back({&in, toCopy.getObjectHandle(), added});
  if (sel.range->rotation != 0 || sel.range->rotationAbsolute)
    QPDFPageObjectHelper(added).rotatePage(sel.range->rotation, !sel.range->rotationAbsolute);
  if (a.anyLabels) {
    const auto index = static_cast<long long>(sel.page - 1);
    labelsForPageRange(pageLabelsOf(in), index, index, outIndex, a.labels);
  }
}

// Everything that refers to pages, once every page has its copy: a link to
// a later page was copied before its target existed.
void finishReferences(Context& ctx, Assembly& a) {
  QPDFAcroFormDocumentHelper outForms(a.out);
  for (PageCopy& copy : a.copies)
    retargetLinks(copy, a.firstCopy);
  for (PageCopy& copy : a.copies) {
    if (copy.input->forms->hasAcroForm())
      outForms.fixCopiedAnnotations(copy.copy, copy.source, *copy.input->forms);
  }
  copyNamedDestinations(ctx, a.out, a.order, a.firstCopy);
  if (a.anyLabels && !a.labels.empty()) {
    QPDFObjectHandle tree = QPDFObjectHandle::newDictionary();
    tree.replaceKey("/Nums", QPDFObjectHandle::newArray(a.labels));
    a.out.getRoot().replaceKey("/PageLabels", tree);
  }
  if (a.needAppearances)
    outForms.setNeedAppearances(true);
  copyOutlines(ctx, a.out, a.order, a.firstCopy);
  carryLayers(a.out, a.order);
  carryStructure(a.out, *a.order.front(), a.copies, a.firstCopy);
  carryCatalogEntries(a.out, *a.order.front(), a.firstCopy, a.firstPart);
}

} // namespace

void prepareSource(OpenedInput& in) {
  if (in.prepared)
    return;
  // Inherited attributes move to the pages, so that a page copied alone
  // keeps them. Both this and reading the forms walk the whole document.
  QPDFPageDocumentHelper(*in.pdf).pushInheritedAttributesToPage();
  in.forms = std::make_unique<QPDFAcroFormDocumentHelper>(*in.pdf);
  // Copying form fields makes a direct /DR of the source indirect, which
  // would change every later copy from the same file; do it first.
  QPDFObjectHandle acroForm = in.pdf->getRoot().getKey("/AcroForm");
  QPDFObjectHandle dr = acroForm.isDictionary() ? acroForm.getKey("/DR") : QPDFObjectHandle();
  if (dr.isInitialized() && dr.isDictionary() && !dr.isIndirect())
    acroForm.replaceKey("/DR", in.pdf->makeIndirectObject(dr));
  in.prepared = true;
}

void readyToCopy(OpenedInput& in, std::size_t index) {
  if (in.ready.size() != pagesOf(in).size())
    in.ready.assign(pagesOf(in).size(), false);
  if (in.ready[index])
    return;
  QPDFPageObjectHelper& page = pagesOf(in)[index];
  // Copying a page's form fields makes its direct annotations indirect in
  // the source; doing it first keeps every copy of the page alike.
  QPDFObjectHandle annots = page.getObjectHandle().getKey("/Annots");
  if (annots.isArray()) {
    for (int i = 0; i < annots.getArrayNItems(); ++i) {
      QPDFObjectHandle annot = annots.getArrayItem(i);
      if (annot.isDictionary() && !annot.isIndirect())
        annots.setArrayItem(i, in.pdf->makeIndirectObject(annot));
    }
  }
  // Only what the page draws travels with it: resources shared with other
  // pages are trimmed to the names its content uses. Trimming again finds
  // nothing more to remove.
  if (sharesResources(in)) {
    try {
      trimResources(page, &in.scannedForms);
    } catch (const Failure& e) {
      throw Failure(e.reason(), "Failed to read PDF file: " + shown(in.path) + ": page " +
                                    std::to_string(index + 1) + ": " + e.what());
    }
  }
  in.ready[index] = true; // not before: a page that failed fails again, as in a new process
}

std::shared_ptr<Buffer> cat(Context& ctx, Inputs& inputs, bool stage, const AfterStage& after) {
  std::vector<PageRange> whole;
  const std::vector<Selected> selection = selectPages(ctx, inputs, whole);

  auto assembly = std::make_unique<Assembly>();
  Assembly& a = *assembly;
  a.out.emptyPDF();
  a.out.setSuppressWarnings(true);
  QPDFPageDocumentHelper outPages(a.out);
  std::set<OpenedInput*> prepared;
  std::int64_t outIndex = 0;
  for (const Selected& sel : selection) {
    if (prepared.insert(sel.input).second)
      prepareInput(a, *sel.input);
    copyPage(a, outPages, sel, outIndex++);
    a.firstPart = a.firstPart || (sel.input == selection.front().input && sel.page == 1);
  }
  finishReferences(ctx, a);
  if (!ctx.cmd.keepFonts) {
    std::vector<CopiedPage> pages;
    for (const Selected& sel : selection)
      pages.push_back({sel.input, static_cast<std::size_t>(sel.page - 1)});
    subsetFonts(a.out, pages);
  }

  OpenedInput& primary = *selection.front().input;
  QPDFObjectHandle info = primary.pdf->getTrailer().getKey("/Info");
  if (info.isIndirect() && info.isDictionary())
    a.out.getTrailer().replaceKey("/Info", a.out.copyForeignObject(info));

  DocumentOptions options;
  // PDF/A-1 allows no object streams: a part of such a file stays without them.
  options.fresh = pdfaPartOf(primary) != 1;
  options.minVersion = "1.3";
  options.stage = stage;
  options.sources = a.order;
  options.pages = true;
  for (OpenedInput* in : a.order) {
    // A finished part's stages stay readable without the password; its last
    // pass takes the source's encryption (see finishedPart).
    const bool keep =
        in->keepEncryption || (ctx.cmd.keepEncryption && !stage && in->pdf->isEncrypted());
    if (keep && options.encryptLike == nullptr)
      options.encryptLike = in;
    if (in->pdf->getPDFVersion() > options.minVersion)
      options.minVersion = in->pdf->getPDFVersion();
  }
  auto result = writeDocument(ctx, a.out, options);
  if (after)
    after(a.out, options, result);
  if (ctx.quickExit)
    (void)assembly.release(); // freeing a large document costs as much as writing it
  return result;
}

} // namespace sundrel::tovix
