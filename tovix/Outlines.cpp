#include "tovix/Outlines.h"

#include "tovix/InfoText.h"

#include <algorithm>
#include <set>
#include <unordered_map>

namespace sundrel::tovix {

namespace {

// Where a bookmark leads: /Dest, else the destination of a GoTo action.
QPDFObjectHandle destinationOf(OpenedInput& in, QPDFObjectHandle item) {
  QPDFObjectHandle dest = item.getKey("/Dest");
  if (dest.isNull()) {
    QPDFObjectHandle action = item.getKey("/A");
    if (action.isDictionary() && action.getKey("/S").isName() &&
        action.getKey("/S").getName() == "/GoTo")
      dest = action.getKey("/D");
  }
  return resolveNamed(in, dest);
}

OutlineItem readItem(OpenedInput& in, QPDFObjectHandle oh, int level, long parent) {
  OutlineItem item;
  item.level = level;
  item.parent = parent;
  QPDFObjectHandle title = oh.getKey("/Title");
  if (title.isString())
    item.title = title.getUTF8Value();
  item.dest = destinationOf(in, oh);
  QPDFObjectHandle color = oh.getKey("/C");
  if (color.isArray() && color.getArrayNItems() == 3)
    item.color = QPDFObjectHandle::parse(color.unparseResolved());
  QPDFObjectHandle flags = oh.getKey("/F");
  if (flags.isInteger())
    item.flags = QPDFObjectHandle::newInteger(flags.getIntValue());
  QPDFObjectHandle count = oh.getKey("/Count");
  item.open = count.isInteger() && count.getIntValue() > 0;
  return item;
}

void readOutline(OpenedInput& in, Outline& outline) {
  QPDFObjectHandle root = in.pdf->getRoot().getKey("/Outlines");
  if (!root.isDictionary())
    return;
  // One frame per level being read: the next sibling to read there.
  struct Frame {
    QPDFObjectHandle next;
    long parent;
    int level;
  };
  std::set<QPDFObjGen> seen;
  std::vector<Frame> stack{{root.getKey("/First"), -1, 1}};
  while (!stack.empty()) {
    QPDFObjectHandle oh = stack.back().next;
    if (!oh.isDictionary() || (oh.isIndirect() && !seen.insert(oh.getObjGen()).second)) {
      stack.pop_back(); // end of the siblings, or an item read before
      continue;
    }
    const Frame frame = stack.back();
    stack.back().next = oh.getKey("/Next");
    outline.items.push_back(readItem(in, oh, frame.level, frame.parent));
    const long index = static_cast<long>(outline.items.size()) - 1;
    stack.push_back({oh.getKey("/First"), index, frame.level + 1});
  }
}

QPDFObjectHandle pageOf(QPDFObjectHandle dest) {
  if (dest.isDictionary())
    dest = dest.getKey("/D");
  if (!dest.isArray() || dest.getArrayNItems() < 1)
    return QPDFObjectHandle::newNull();
  return dest.getArrayItem(0);
}

} // namespace

const Outline& outlineOf(OpenedInput& in) {
  if (!in.outline) {
    auto outline = std::make_shared<Outline>();
    try {
      readOutline(in, *outline);
    } catch (const std::exception& e) {
      outline->problem = e.what();
    }
    for (std::size_t i = 0; i < outline->items.size(); ++i) {
      // The page as a copy finds it (retarget): an indirect first entry.
      QPDFObjectHandle page = pageOf(outline->items[i].dest);
      if (page.isIndirect())
        outline->byPage.emplace(page.getObjGen(), i);
    }
    in.outline = outline;
  }
  return *in.outline;
}

void dumpBookmarks(Context& ctx, std::ostream& report, OpenedInput& in,
                   const std::map<QPDFObjGen, std::size_t>& pageIndex, bool ascii) {
  const Outline& outline = outlineOf(in);
  if (!outline.problem.empty())
    ctx.warn("bookmarks of " + shown(in.path) + " could not be read: " + outline.problem);
  for (const OutlineItem& item : outline.items) {
    std::size_t target = 0;
    QPDFObjectHandle page = pageOf(item.dest);
    if (page.isIndirect()) {
      auto found = pageIndex.find(page.getObjGen());
      if (found != pageIndex.end())
        target = found->second;
    }
    report << "BookmarkBegin\nBookmarkTitle: " << escapeReportValue(item.title, ascii)
           << "\nBookmarkLevel: " << item.level << "\nBookmarkPageNumber: " << target << "\n";
  }
}

namespace {

// A bookmark of the new document.
struct Kept {
  const OutlineItem* item;
  QPDFObjectHandle dest;
  long parent; // index into the kept items, -1 for the top level
  QPDFObjectHandle oh;
  long long visible = 0; // visible items below it
};

// Links the kept items (in reading order) into an outline tree under `root`;
// returns how many items are visible at the top.
long long link(QPDF& out, QPDFObjectHandle root, std::vector<Kept>& kept) {
  std::vector<QPDFObjectHandle> last(kept.size() + 1); // last child so far, per parent (+1)
  for (Kept& k : kept) {
    QPDFObjectHandle parent = k.parent < 0 ? root : kept[k.parent].oh;
    k.oh = out.makeIndirectObject(QPDFObjectHandle::newDictionary());
    k.oh.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(k.item->title));
    k.oh.replaceKey("/Parent", parent);
    k.oh.replaceKey("/Dest", k.dest);
    if (k.item->color.isInitialized())
      k.oh.replaceKey("/C", k.item->color);
    if (k.item->flags.isInitialized())
      k.oh.replaceKey("/F", k.item->flags);
    QPDFObjectHandle& prev = last[k.parent + 1];
    if (prev.isInitialized()) {
      prev.replaceKey("/Next", k.oh);
      k.oh.replaceKey("/Prev", prev);
    } else {
      parent.replaceKey("/First", k.oh);
    }
    parent.replaceKey("/Last", k.oh);
    prev = k.oh;
  }
  // Counts from the deepest items up: children come after their parent.
  long long top = 0;
  for (auto k = kept.rbegin(); k != kept.rend(); ++k) {
    const long long shown = 1 + (k->item->open ? k->visible : 0);
    (k->parent < 0 ? top : kept[k->parent].visible) += shown;
  }
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (last[i + 1].isInitialized())
      kept[i].oh.replaceKey("/Count", QPDFObjectHandle::newInteger(
                                          kept[i].item->open ? kept[i].visible : -kept[i].visible));
  }
  return top;
}

// The kept index of `index` or of its nearest kept ancestor, -1 for none.
// Ancestors come before their children in reading order, so an answer
// stays true once found: it is remembered along the path.
long nearestKept(const Outline& outline, long index, std::unordered_map<long, long>& keptAs) {
  std::vector<long> path;
  long found = -1;
  for (long at = index; at >= 0; at = outline.items[static_cast<std::size_t>(at)].parent) {
    auto known = keptAs.find(at);
    if (known != keptAs.end()) {
      found = known->second;
      break;
    }
    path.push_back(at);
  }
  for (long at : path)
    keptAs[at] = found;
  return found;
}

} // namespace

void copyOutlines(Context& ctx, QPDF& out, const std::vector<OpenedInput*>& order,
                  const CopyMap& map) {
  std::vector<Kept> kept;
  for (OpenedInput* in : order) {
    const Outline& outline = outlineOf(*in);
    if (!outline.problem.empty())
      ctx.warn("bookmarks of " + shown(in->path) + " could not be copied: " + outline.problem);
    // Only the items that lead to a copied page, in reading order: the
    // cost follows the pages copied, not the size of the outline.
    std::vector<std::size_t> wanted;
    for (auto it = map.lower_bound({in, QPDFObjGen()}); it != map.end() && it->first.first == in;
         ++it) {
      auto [from, to] = outline.byPage.equal_range(it->first.second);
      for (; from != to; ++from)
        wanted.push_back(from->second);
    }
    std::sort(wanted.begin(), wanted.end());
    // For each item looked at, its own index among the kept ones, or that of
    // its nearest kept ancestor when it is dropped (its children move up).
    std::unordered_map<long, long> keptAs;
    for (std::size_t i : wanted) {
      const OutlineItem& item = outline.items[i];
      QPDFObjectHandle dest = retarget(item.dest, in, map);
      if (!dest.isInitialized())
        continue;
      const long parent = nearestKept(outline, item.parent, keptAs);
      keptAs[static_cast<long>(i)] = static_cast<long>(kept.size());
      kept.push_back({&item, dest, parent, {}, 0});
    }
  }
  if (kept.empty())
    return;
  QPDFObjectHandle root = out.makeIndirectObject(QPDFObjectHandle::newDictionary());
  root.replaceKey("/Type", QPDFObjectHandle::newName("/Outlines"));
  const long long visible = link(out, root, kept);
  root.replaceKey("/Count", QPDFObjectHandle::newInteger(visible));
  out.getRoot().replaceKey("/Outlines", root);
}

} // namespace sundrel::tovix
