#pragma once

#include "tovix/Destinations.h"
#include "tovix/Inputs.h"

#include <qpdf/QPDF.hh>

#include <vector>

// The structure tree (tags) of a tagged document, trimmed to the pages of a
// part: the elements whose content lies on them, with their ancestors.
namespace sundrel::tovix {

// Gives `out` the structure of `primary` that its copied pages hold, with
// a parent tree of its own: the pages' /StructParents and the annotations'
// /StructParent renumbered into it. Pages of other inputs, and later copies
// of a page, lose theirs. Nothing when `primary` is not tagged. /MarkInfo
// and the role and class maps go with the tree.
void carryStructure(QPDF& out, OpenedInput& primary, const std::vector<PageCopy>& copies,
                    const CopyMap& firstCopy);

} // namespace sundrel::tovix
