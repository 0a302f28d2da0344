#pragma once

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <map>
#include <string>

// A name tree of a new document from entries already in order, built as
// libqpdf's name tree helper builds it when each entry is inserted after the
// one before (the same nodes, created in the same order, so the written
// document is the same), without its search and its item-by-item moves.
namespace sundrel::tovix {

// Fills `root`, an empty name tree of `out` (QPDFNameTreeObjectHelper::
// newEmpty), with `entries`. Their keys must be plain ASCII, whose order as
// name tree keys is that of the map.
void fillSortedNameTree(QPDF& out, QPDFObjectHandle root,
                        const std::map<std::string, QPDFObjectHandle>& entries);

} // namespace sundrel::tovix
