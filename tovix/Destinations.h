#pragma once

#include "tovix/Inputs.h"
#include "tovix/Support.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <map>
#include <string>
#include <utility>
#include <vector>

// What leads to a page (links, named destinations, bookmarks) follows the
// page into a new document.
namespace sundrel::tovix {

// Source page -> its first copy in the output.
using CopyMap = std::map<std::pair<OpenedInput*, QPDFObjGen>, QPDFObjectHandle>;

struct PageCopy {
  OpenedInput* input;
  QPDFObjectHandle source; // page in the input
  QPDFObjectHandle copy;   // page in the output
};

// A destination (an array, or a dictionary with /D) of `in` re-targeted at
// the copy of its page, as a new direct array; an uninitialized handle when
// its page was not copied.
QPDFObjectHandle retarget(QPDFObjectHandle dest, OpenedInput* in, const CopyMap& map);

// Link annotations with explicit destinations point at the copies; links to
// pages left out lose their action instead of pointing nowhere.
void retargetLinks(PageCopy copy, const CopyMap& map);

// The named destinations of an input, read once: entries in the order of
// the name tree, then the catalog's /Dests.
struct NamedDestinations {
  struct Entry {
    std::string name;
    bool oldStyle; // from the catalog's /Dests (a name), else the name tree (a string)
    QPDFObjectHandle dest;
  };
  std::vector<Entry> entries;
  std::map<std::string, std::size_t> byString, byName; // first entry of each name
  std::multimap<QPDFObjGen, std::size_t> byPage;       // entries by target page
  std::string problem;                                 // why they could not be read
};
const NamedDestinations& namedDestinationsOf(OpenedInput& in);

// The destination that a name or string stands for; other values unchanged.
QPDFObjectHandle resolveNamed(OpenedInput& in, QPDFObjectHandle dest);

// Named destinations that lead to copied pages, so links and bookmarks that
// use names keep working.
void copyNamedDestinations(Context& ctx, QPDF& out, const std::vector<OpenedInput*>& order,
                           const CopyMap& map);

} // namespace sundrel::tovix
