#pragma once

#include "tovix/Destinations.h"
#include "tovix/Inputs.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <vector>

// The document-wide entries of a catalog that a new document of some of its
// pages keeps: what applies to those pages, nothing that would mislead.
namespace sundrel::tovix {

// `value` of another document as an object of `out`: indirect objects
// copied (once, as libqpdf copies them), direct arrays and dictionaries
// rebuilt around them.
QPDFObjectHandle carry(QPDF& out, QPDFObjectHandle value);

// Optional content: the groups that the copied pages use (they came with the
// pages), with the configurations restricted to them, so that every group
// keeps the visibility it has in its source. `order` lists the inputs in the
// order of their first copied page.
void carryLayers(QPDF& out, const std::vector<OpenedInput*>& order);

// The primary input's language, viewer settings, output intents, XMP
// metadata and the opening destination when its page was copied; its
// embedded files only when `firstPart` (the part holds its first page).
// Called once bookmarks and layers are in place.
void carryCatalogEntries(QPDF& out, OpenedInput& primary, const CopyMap& copies, bool firstPart);

} // namespace sundrel::tovix
