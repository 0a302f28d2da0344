// page_sizes: what each page costs, so that a front end can predict where a
// part of a given size must end. For every page, in the state in which cat
// copies it, the objects reachable from it (not through /Parent, not into
// other pages) are sized once; objects
// reached from several pages are listed apart, so that a part counts each
// of them once.
//
//   SharedObject: <index> <bytes>            indices from 0, in order
//   Page: <n> <own bytes> [<shared index>...] n from 1

#include "tovix/Operations.h"
#include "tovix/Output.h"

#include <algorithm>
#include <sstream>
#include <unordered_map>

namespace sundrel::tovix {

namespace {

struct ObjGenHash {
  std::size_t operator()(const QPDFObjGen& og) const {
    return std::hash<long long>()((static_cast<long long>(og.getObj()) << 16) ^ og.getGen());
  }
};

struct Reached {
  std::size_t lastPage = 0; // the page (from 1) whose walk saw it last
  int pages = 0;            // how many pages reach it, up to 2
  std::uint64_t bytes = 0;
  long shared = -1; // its SharedObject index
};

// Roughly what the object takes in a file: its text, plus a stream's
// encoded data.
std::uint64_t sizeOf(QPDFObjectHandle oh) {
  constexpr std::uint64_t frame = 20; // "N G obj" ... "endobj"
  if (!oh.isStream())
    return oh.unparse().size() + frame;
  QPDFObjectHandle dict = oh.getDict();
  QPDFObjectHandle length = dict.getKey("/Length");
  const std::uint64_t data = length.isInteger() && length.getIntValue() >= 0
                                 ? static_cast<std::uint64_t>(length.getIntValue())
                                 : oh.getRawStreamData()->getSize();
  return dict.unparse().size() + data + frame + 18; // "stream" ... "endstream"
}

bool isPageTreeNode(QPDFObjectHandle oh) {
  if (!oh.isDictionary())
    return false;
  QPDFObjectHandle type = oh.getKey("/Type");
  return type.isName() && (type.getName() == "/Page" || type.getName() == "/Pages");
}

using ReachMap = std::unordered_map<QPDFObjGen, Reached, ObjGenHash>;

// Every indirect object page `n` reaches, once.
std::vector<Reached*> walk(QPDFObjectHandle page, std::size_t n, ReachMap& reached) {
  std::vector<Reached*> found;
  std::vector<QPDFObjectHandle> stack{page};
  while (!stack.empty()) {
    QPDFObjectHandle oh = stack.back();
    stack.pop_back();
    if (oh.isIndirect()) {
      if (found.size() > 0 && isPageTreeNode(oh))
        continue; // another page, or the page tree
      Reached& r = reached[oh.getObjGen()];
      if (r.lastPage == n)
        continue;
      if (r.pages == 0)
        r.bytes = sizeOf(oh);
      r.lastPage = n;
      r.pages = std::min(r.pages + 1, 2);
      found.push_back(&r);
    }
    if (oh.isArray()) {
      for (auto& item : oh.aitems())
        stack.push_back(item);
    } else if (oh.isDictionary() || oh.isStream()) {
      for (auto& [key, value] : (oh.isStream() ? oh.getDict() : oh).ditems()) {
        if (key != "/Parent")
          stack.push_back(value);
      }
    }
  }
  return found;
}

} // namespace

void pageSizes(Context& ctx, OpenedInput& in) {
  auto& pages = pagesOf(in);
  // Sized as cat copies them: with what they inherit, trimmed resources.
  prepareSource(in);
  for (std::size_t i = 0; i < pages.size(); ++i)
    readyToCopy(in, i);
  ReachMap reached;
  std::vector<std::vector<Reached*>> perPage;
  perPage.reserve(pages.size());
  for (std::size_t i = 0; i < pages.size(); ++i)
    perPage.push_back(walk(pages[i].getObjectHandle(), i + 1, reached));

  std::ostringstream shared, report;
  long next = 0;
  for (auto& objects : perPage) {
    for (Reached* r : objects) {
      if (r->pages > 1 && r->shared < 0) {
        r->shared = next++;
        shared << "SharedObject: " << r->shared << " " << r->bytes << "\n";
      }
    }
  }
  for (std::size_t i = 0; i < perPage.size(); ++i) {
    std::uint64_t own = 0;
    std::ostringstream list;
    for (Reached* r : perPage[i]) {
      if (r->pages > 1)
        list << " " << r->shared;
      else
        own += r->bytes;
    }
    report << "Page: " << i + 1 << " " << own << list.str() << "\n";
  }
  emit(ctx, shared.str() + report.str());
}

} // namespace sundrel::tovix
