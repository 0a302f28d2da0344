// A part of a tagged document is a tagged document: its structure tree
// holds the elements whose content lies on the part's pages, and their
// ancestors. The source's tree is read once per input into an index by
// page, so a part costs in proportion to what it keeps.

#include "tovix/StructTree.h"

#include "tovix/CatalogEntries.h"
#include "tovix/Trees.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>

namespace sundrel::tovix {

struct StructIndex {
  struct Element {
    QPDFObjectHandle dict;
    int parent = -1; // -1: a kid of the root
    int position = 0;
  };
  // Content of an element: a marked-content id (an integer), a marked-content
  // or an object reference (a dictionary), on one page.
  struct Content {
    int element;
    int position;
    QPDFObjGen page;
    QPDFObjectHandle item;
  };
  QPDFObjectHandle root;
  std::vector<Element> elements;
  std::vector<Content> contents;
  std::multimap<QPDFObjGen, std::size_t> contentsByPage;
  std::map<QPDFObjGen, int> byObject;            // indirect elements
  std::map<long long, QPDFObjectHandle> parents; // the parent tree
};

namespace {

// Every read is checked first: libqpdf counts a dictionary operation on
// another type as a problem with the file, which would call it damaged.
bool isType(QPDFObjectHandle dict, const char* type) {
  if (!dict.isDictionary())
    return false;
  QPDFObjectHandle t = dict.getKey("/Type");
  return t.isName() && t.getName() == type;
}

QPDFObjGen pageOf(QPDFObjectHandle dict, QPDFObjGen inherited) {
  QPDFObjectHandle page = dict.getKey("/Pg");
  return page.isIndirect() ? page.getObjGen() : inherited;
}

// Reads the tree once: every element reached once, however often named.
std::shared_ptr<StructIndex> readStructure(QPDFObjectHandle root) {
  auto index = std::make_shared<StructIndex>();
  index->root = root;
  forEachTreeItem(root.getKey("/ParentTree"), "/Nums",
                  [&](QPDFObjectHandle key, QPDFObjectHandle v) {
                    if (key.isInteger())
                      index->parents.emplace(key.getIntValue(), v);
                  });
  struct Pending {
    QPDFObjectHandle kid;
    int parent;
    int position;
    QPDFObjGen page;
  };
  std::vector<Pending> stack;
  auto pushKids = [&stack](QPDFObjectHandle kids, int parent, QPDFObjGen page) {
    if (!kids.isArray()) {
      if (kids.isInteger() || kids.isDictionary())
        stack.push_back({kids, parent, 0, page});
      return;
    }
    for (int i = kids.getArrayNItems() - 1; i >= 0; --i)
      stack.push_back({kids.getArrayItem(i), parent, i, page});
  };
  std::set<QPDFObjGen> seen;
  pushKids(root.getKey("/K"), -1, QPDFObjGen());
  while (!stack.empty()) {
    Pending p = stack.back();
    stack.pop_back();
    const bool content = p.kid.isInteger() || isType(p.kid, "/MCR") || isType(p.kid, "/OBJR");
    if (content && p.parent >= 0) {
      const QPDFObjGen page = p.kid.isInteger() ? p.page : pageOf(p.kid, p.page);
      index->contentsByPage.emplace(page, index->contents.size());
      index->contents.push_back({p.parent, p.position, page, p.kid});
      continue;
    }
    if (content || !p.kid.isDictionary() ||
        (p.kid.isIndirect() && !seen.insert(p.kid.getObjGen()).second))
      continue;
    const int element = static_cast<int>(index->elements.size());
    index->elements.push_back({p.kid, p.parent, p.position});
    if (p.kid.isIndirect())
      index->byObject.emplace(p.kid.getObjGen(), element);
    pushKids(p.kid.getKey("/K"), element, pageOf(p.kid, p.page));
  }
  return index;
}

// Entries of an element that travel as they are; /P, /K and /Pg are made
// anew, and references to other elements (/Ref) stay behind with them.
const char* const kElementEntries[] = {"/Type", "/S",    "/ID",  "/A",          "/C", "/R",
                                       "/T",    "/Lang", "/Alt", "/ActualText", "/E", "/NS"};

class Builder {
public:
  Builder(QPDF& out, OpenedInput& in, StructIndex& index, const CopyMap& pages)
      : out_(out), in_(in), index_(index), pages_(pages) {}

  // Keeps the content on `page` (a source page with a copy) and what holds it.
  void keepPage(QPDFObjGen page) {
    const auto [first, last] = index_.contentsByPage.equal_range(page);
    for (auto it = first; it != last; ++it) {
      StructIndex::Content& c = index_.contents[it->second];
      QPDFObjectHandle item = contentCopy(c);
      if (item.isInitialized())
        kids_[c.element].push_back({c.position, item});
      for (int e = c.element; e >= 0 && kept_.count(e) == 0; e = index_.elements[e].parent)
        kept_.emplace(e, out_.makeIndirectObject(QPDFObjectHandle::newDictionary()));
    }
  }

  void noteAnnotation(QPDFObjGen source, QPDFObjectHandle copy) { annots_.emplace(source, copy); }

  // The copy of the element `source` stands for, if kept.
  QPDFObjectHandle copyOf(QPDFObjectHandle source) const {
    const auto e =
        source.isIndirect() ? index_.byObject.find(source.getObjGen()) : index_.byObject.end();
    if (e == index_.byObject.end())
      return QPDFObjectHandle::newNull();
    const auto k = kept_.find(e->second);
    return k == kept_.end() ? QPDFObjectHandle::newNull() : k->second;
  }

  // The new tree's root, its elements filled in.
  QPDFObjectHandle finish(QPDFObjectHandle parentTree, long long nextKey) {
    std::vector<std::pair<int, QPDFObjectHandle>> top;
    for (auto& [e, copy] : kept_) {
      StructIndex::Element& element = index_.elements[e];
      for (const char* key : kElementEntries) {
        if (element.dict.hasKey(key))
          copy.replaceKey(key, carry(out_, element.dict.getKey(key)));
      }
      QPDFObjectHandle page = element.dict.getKey("/Pg");
      const auto pageCopy =
          page.isIndirect() ? pages_.find({&in_, page.getObjGen()}) : pages_.end();
      if (pageCopy != pages_.end())
        copy.replaceKey("/Pg", pageCopy->second);
      if (element.parent >= 0)
        kids_[element.parent].push_back({element.position, copy});
      else
        top.push_back({element.position, copy});
    }
    // Each element's kids in the source's order: its content, then the
    // kept elements, sorted together by their place in its /K.
    for (auto& [e, copy] : kept_) {
      auto& kids = kids_[e];
      std::stable_sort(kids.begin(), kids.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
      QPDFObjectHandle k = QPDFObjectHandle::newArray();
      for (auto& kid : kids)
        k.appendItem(kid.second);
      copy.replaceKey("/K", k);
      const int parent = index_.elements[e].parent;
      copy.replaceKey("/P", parent >= 0 ? kept_.at(parent) : rootCopy_);
    }
    std::stable_sort(top.begin(), top.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QPDFObjectHandle k = QPDFObjectHandle::newArray();
    for (auto& kid : top)
      k.appendItem(kid.second);
    rootCopy_.replaceKey("/Type", QPDFObjectHandle::newName("/StructTreeRoot"));
    rootCopy_.replaceKey("/K", k);
    rootCopy_.replaceKey("/ParentTree", parentTree);
    rootCopy_.replaceKey("/ParentTreeNextKey", QPDFObjectHandle::newInteger(nextKey));
    for (const char* key : {"/RoleMap", "/ClassMap"}) {
      if (index_.root.getKey(key).isDictionary())
        rootCopy_.replaceKey(key, carry(out_, index_.root.getKey(key)));
    }
    return rootCopy_;
  }

private:
  // A content item as the part holds it: references lead to the copies.
  QPDFObjectHandle contentCopy(StructIndex::Content& c) {
    QPDFObjectHandle pageCopy = pages_.at({&in_, c.page});
    if (c.item.isInteger())
      return QPDFObjectHandle::newInteger(c.item.getIntValue());
    QPDFObjectHandle copy = QPDFObjectHandle::newDictionary();
    copy.replaceKey("/Type", carry(out_, c.item.getKey("/Type")));
    copy.replaceKey("/Pg", pageCopy);
    if (isType(c.item, "/MCR")) {
      copy.replaceKey("/MCID", carry(out_, c.item.getKey("/MCID")));
      if (c.item.getKey("/Stm").isStream()) // content of a form the page draws, copied with it
        copy.replaceKey("/Stm", carry(out_, c.item.getKey("/Stm")));
      return copy;
    }
    // Only annotations are followed; any other object stays behind.
    QPDFObjectHandle obj = c.item.getKey("/Obj");
    const auto annot = obj.isIndirect() ? annots_.find(obj.getObjGen()) : annots_.end();
    if (annot == annots_.end())
      return {};
    copy.replaceKey("/Obj", annot->second);
    return copy;
  }

  QPDF& out_;
  OpenedInput& in_;
  StructIndex& index_;
  const CopyMap& pages_;
  std::map<QPDFObjGen, QPDFObjectHandle> annots_; // source annotation -> its copy
  std::map<int, QPDFObjectHandle> kept_;          // element -> its copy
  std::map<int, std::vector<std::pair<int, QPDFObjectHandle>>> kids_;
  QPDFObjectHandle rootCopy_ = out_.makeIndirectObject(QPDFObjectHandle::newDictionary());
};

} // namespace

namespace {

bool isFirstCopy(PageCopy copy, const CopyMap& firstCopy) {
  const auto found = firstCopy.find({copy.input, copy.source.getObjGen()});
  return found != firstCopy.end() && found->second.getObjGen() == copy.copy.getObjGen();
}

// The annotations of a page copy beside those of its source.
std::vector<std::pair<QPDFObjectHandle, QPDFObjectHandle>> annotationPairs(PageCopy copy) {
  std::vector<std::pair<QPDFObjectHandle, QPDFObjectHandle>> pairs;
  QPDFObjectHandle source = copy.source.getKey("/Annots");
  QPDFObjectHandle copied = copy.copy.getKey("/Annots");
  if (!source.isArray() || !copied.isArray() || source.getArrayNItems() != copied.getArrayNItems())
    return pairs;
  for (int i = 0; i < source.getArrayNItems(); ++i) {
    if (copied.getArrayItem(i).isDictionary())
      pairs.emplace_back(source.getArrayItem(i), copied.getArrayItem(i));
  }
  return pairs;
}

} // namespace

void carryStructure(QPDF& out, OpenedInput& primary, const std::vector<PageCopy>& copies,
                    const CopyMap& firstCopy) {
  QPDFObjectHandle root = primary.pdf->getRoot().getKey("/StructTreeRoot");
  if (!root.isDictionary())
    return;
  if (!primary.structure)
    primary.structure = readStructure(root);
  StructIndex& index = *primary.structure;
  Builder builder(out, primary, index, firstCopy);
  for (PageCopy copy : copies) {
    if (copy.input == &primary && isFirstCopy(copy, firstCopy)) {
      for (auto& [source, copied] : annotationPairs(copy)) {
        if (source.isIndirect())
          builder.noteAnnotation(source.getObjGen(), copied);
      }
    }
  }
  for (PageCopy copy : copies) {
    if (copy.input == &primary && isFirstCopy(copy, firstCopy))
      builder.keepPage(copy.source.getObjGen());
  }
  // The parent tree anew: keys in the order of the part's pages.
  QPDFObjectHandle nums = QPDFObjectHandle::newArray();
  long long next = 0;
  std::set<QPDFObjGen> numbered; // annotations a later copy of their page shares
  auto add = [&](QPDFObjectHandle holder, const char* key, QPDFObjectHandle value) {
    nums.appendItem(QPDFObjectHandle::newInteger(next));
    nums.appendItem(value);
    holder.replaceKey(key, QPDFObjectHandle::newInteger(next++));
    if (holder.isIndirect())
      numbered.insert(holder.getObjGen());
  };
  for (PageCopy copy : copies) {
    const bool ours = copy.input == &primary && isFirstCopy(copy, firstCopy);
    QPDFObjectHandle key = copy.source.getKey("/StructParents");
    copy.copy.removeKey("/StructParents");
    const auto found =
        ours && key.isInteger() ? index.parents.find(key.getIntValue()) : index.parents.end();
    if (found != index.parents.end() && found->second.isArray()) {
      QPDFObjectHandle mapped = QPDFObjectHandle::newArray();
      for (QPDFObjectHandle item : found->second.aitems())
        mapped.appendItem(builder.copyOf(item));
      add(copy.copy, "/StructParents", mapped);
    }
    for (auto& [source, copied] : annotationPairs(copy)) {
      QPDFObjectHandle annotKey =
          source.isDictionary() ? source.getKey("/StructParent") : QPDFObjectHandle::newNull();
      if (copied.isIndirect() && numbered.count(copied.getObjGen()) != 0)
        continue;
      copied.removeKey("/StructParent");
      const auto parent = ours && annotKey.isInteger() ? index.parents.find(annotKey.getIntValue())
                                                       : index.parents.end();
      if (parent != index.parents.end() && !builder.copyOf(parent->second).isNull())
        add(copied, "/StructParent", builder.copyOf(parent->second));
    }
  }
  QPDFObjectHandle parentTree = QPDFObjectHandle::newDictionary();
  parentTree.replaceKey("/Nums", nums);
  QPDFObjectHandle outRoot = out.getRoot();
  outRoot.replaceKey("/StructTreeRoot", builder.finish(out.makeIndirectObject(parentTree), next));
  QPDFObjectHandle markInfo = primary.pdf->getRoot().getKey("/MarkInfo");
  if (markInfo.isDictionary())
    outRoot.replaceKey("/MarkInfo", carry(out, markInfo));
}

} // namespace sundrel::tovix
