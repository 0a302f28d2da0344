#pragma once

#include "tovix/Destinations.h"
#include "tovix/Inputs.h"
#include "tovix/Support.h"

#include <qpdf/QPDF.hh>

#include <cstddef>
#include <map>
#include <ostream>
#include <vector>

// Bookmarks: reported by dump_data, carried over by cat.
namespace sundrel::tovix {

// BookmarkBegin records of `pdf`, pages numbered by `pageIndex`.
void dumpBookmarks(Context& ctx, std::ostream& report, OpenedInput& in,
                   const std::map<QPDFObjGen, std::size_t>& pageIndex, bool ascii);

// Keeps the bookmarks that lead to a copied page, re-targeted at the copy;
// the children of a dropped bookmark move up to its place.
void copyOutlines(Context& ctx, QPDF& out, const std::vector<OpenedInput*>& order,
                  const CopyMap& map);

} // namespace sundrel::tovix
