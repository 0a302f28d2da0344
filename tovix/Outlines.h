#pragma once

#include "tovix/Destinations.h"
#include "tovix/Inputs.h"
#include "tovix/Support.h"

#include <qpdf/QPDF.hh>

#include <cstddef>
#include <map>
#include <ostream>
#include <string>
#include <vector>

// Bookmarks: reported by dump_data, carried over by cat. The tree is read
// with an explicit stack and one visited set for the whole document, so every
// level is kept however deep, and items that point back (loops through /Next
// or /First) are read once. /Last, /Prev, /Parent and /Count are never
// followed: the tree is rebuilt from /First and /Next alone.
namespace sundrel::tovix {

struct OutlineItem {
  std::string title;
  QPDFObjectHandle dest; // its destination resolved through the names: array or dictionary
  QPDFObjectHandle color;
  QPDFObjectHandle flags;
  bool open = false;
  int level = 1;    // 1 for the top level
  long parent = -1; // index of the parent item, -1 at the top level
};

// Every item in reading order (an item before its children, children before
// the next sibling).
struct Outline {
  std::vector<OutlineItem> items;
  // Items by the page their destination names, so that a copy looks only at
  // the bookmarks of the pages it takes.
  std::multimap<QPDFObjGen, std::size_t> byPage;
  std::string problem; // why the rest could not be read
};

// The bookmarks of an input, read once.
const Outline& outlineOf(OpenedInput& in);

// BookmarkBegin records, pages numbered by `pageIndex`.
void dumpBookmarks(Context& ctx, std::ostream& report, OpenedInput& in,
                   const std::map<QPDFObjGen, std::size_t>& pageIndex, bool ascii);

// Keeps the bookmarks that lead to a copied page, re-targeted at the copy;
// the children of a dropped bookmark move up to its place.
void copyOutlines(Context& ctx, QPDF& out, const std::vector<OpenedInput*>& order,
                  const CopyMap& map);

} // namespace sundrel::tovix
