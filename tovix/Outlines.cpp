#include "tovix/Outlines.h"

#include "tovix/InfoText.h"

#include <qpdf/QPDFOutlineDocumentHelper.hh>
#include <qpdf/QPDFOutlineObjectHelper.hh>

#include <string>

namespace sundrel::tovix {

namespace {

void dumpItems(std::ostream& report, std::vector<QPDFOutlineObjectHelper> items, int level,
               const std::map<QPDFObjGen, std::size_t>& pageIndex, bool ascii) {
  if (level > 64)
    return;
  for (QPDFOutlineObjectHelper& item : items) {
    std::size_t target = 0;
    QPDFObjectHandle page = item.getDestPage();
    if (page.isIndirect()) {
      auto found = pageIndex.find(page.getObjGen());
      if (found != pageIndex.end())
        target = found->second;
    }
    report << "BookmarkBegin\nBookmarkTitle: " << escapeReportValue(item.getTitle(), ascii)
           << "\nBookmarkLevel: " << level << "\nBookmarkPageNumber: " << target << "\n";
    dumpItems(report, item.getKids(), level + 1, pageIndex, ascii);
  }
}

struct OutlineNode {
  std::string title;
  QPDFObjectHandle dest; // a direct array
  QPDFObjectHandle color;
  QPDFObjectHandle flags;
  bool open = false;
  std::vector<OutlineNode> kids;
};

void collect(std::vector<QPDFOutlineObjectHelper> items, OpenedInput* in, const CopyMap& map,
             std::vector<OutlineNode>& nodes, int depth) {
  if (depth > 64)
    return;
  for (QPDFOutlineObjectHelper& item : items) {
    std::vector<OutlineNode> kids;
    collect(item.getKids(), in, map, kids, depth + 1);
    QPDFObjectHandle dest = retarget(item.getDest(), in, map);
    if (!dest.isInitialized()) {
      for (auto& kid : kids)
        nodes.push_back(std::move(kid));
      continue;
    }
    OutlineNode node;
    node.title = item.getTitle();
    node.dest = dest;
    QPDFObjectHandle oh = item.getObjectHandle();
    QPDFObjectHandle color = oh.getKey("/C");
    if (color.isArray() && color.getArrayNItems() == 3)
      node.color = QPDFObjectHandle::parse(color.unparseResolved());
    QPDFObjectHandle flags = oh.getKey("/F");
    if (flags.isInteger())
      node.flags = QPDFObjectHandle::newInteger(flags.getIntValue());
    node.open = item.getCount() > 0;
    node.kids = std::move(kids);
    nodes.push_back(std::move(node));
  }
}

// Links the nodes under `parent`; returns how many items are visible.
long long link(QPDF& out, QPDFObjectHandle parent, std::vector<OutlineNode>& nodes) {
  long long visible = 0;
  QPDFObjectHandle prev;
  QPDFObjectHandle firstItem;
  for (OutlineNode& node : nodes) {
    QPDFObjectHandle item = out.makeIndirectObject(QPDFObjectHandle::newDictionary());
    item.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(node.title));
    item.replaceKey("/Parent", parent);
    item.replaceKey("/Dest", node.dest);
    if (node.color.isInitialized())
      item.replaceKey("/C", node.color);
    if (node.flags.isInitialized())
      item.replaceKey("/F", node.flags);
    if (prev.isInitialized()) {
      prev.replaceKey("/Next", item);
      item.replaceKey("/Prev", prev);
    } else {
      firstItem = item;
    }
    prev = item;
    ++visible;
    if (!node.kids.empty()) {
      const long long below = link(out, item, node.kids);
      item.replaceKey("/Count", QPDFObjectHandle::newInteger(node.open ? below : -below));
      if (node.open)
        visible += below;
    }
  }
  if (firstItem.isInitialized()) {
    parent.replaceKey("/First", firstItem);
    parent.replaceKey("/Last", prev);
  }
  return visible;
}

} // namespace

void dumpBookmarks(Context& ctx, std::ostream& report, OpenedInput& in,
                   const std::map<QPDFObjGen, std::size_t>& pageIndex, bool ascii) {
  try {
    QPDFOutlineDocumentHelper outlines(*in.pdf);
    dumpItems(report, outlines.getTopLevelOutlines(), 1, pageIndex, ascii);
  } catch (const std::exception& e) {
    ctx.warn("bookmarks of " + shown(in.given->path) + " could not be read: " + e.what());
  }
}

void copyOutlines(Context& ctx, QPDF& out, const std::vector<OpenedInput*>& order,
                  const CopyMap& map) {
  std::vector<OutlineNode> nodes;
  for (OpenedInput* in : order) {
    try {
      QPDFOutlineDocumentHelper outlines(*in->pdf);
      if (outlines.hasOutlines())
        collect(outlines.getTopLevelOutlines(), in, map, nodes, 0);
    } catch (const std::exception& e) {
      ctx.warn("bookmarks of " + shown(in->given->path) + " could not be copied: " + e.what());
    }
  }
  if (nodes.empty())
    return;
  QPDFObjectHandle root = out.makeIndirectObject(QPDFObjectHandle::newDictionary());
  root.replaceKey("/Type", QPDFObjectHandle::newName("/Outlines"));
  const long long visible = link(out, root, nodes);
  root.replaceKey("/Count", QPDFObjectHandle::newInteger(visible));
  out.getRoot().replaceKey("/Outlines", root);
}

} // namespace sundrel::tovix
