// page_sizes: what each page costs, so that a front end can predict where a
// part of a given size must end. For every page, in the state in which cat
// copies it, the objects reachable from it (not through /Parent, not into
// other pages) are sized once; objects
// reached from several pages are listed apart, so that a part counts each
// of them once.
//
//   SharedObject: <index> <bytes>            indices from 0, in order
//   Page: <n> <own bytes> [<shared index>...] n from 1
//
// Unless keep_fonts is given, a font program that parts carry as a subset
// is not sized whole: its fixed part and each glyph a page draws count as
// objects of their own, so that a part pays once for each glyph it uses.

#include "tovix/FontSubsets.h"
#include "tovix/Operations.h"
#include "tovix/Output.h"

#include <algorithm>
#include <charconv>
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

// Every object sized once; pages list them by index.
struct Objects {
  std::vector<Reached> all;
  std::unordered_map<QPDFObjGen, std::uint32_t, ObjGenHash> byId;
  std::unordered_map<std::uint64_t, std::uint32_t> byGlyph; // program and glyph

  // The entry for `key` in `map`, made on first use.
  template <typename Map, typename Key>
  Reached& at(Map& map, const Key& key, std::uint32_t& index) {
    const auto [it, added] = map.try_emplace(key, static_cast<std::uint32_t>(all.size()));
    if (added)
      all.emplace_back();
    index = it->second;
    return all[index];
  }
};

// Counts page `n` (from 1) as one more page that reaches `r`; false when
// it was counted already.
bool reachedBy(Reached& r, std::size_t n) {
  if (r.lastPage == n)
    return false;
  r.lastPage = n;
  r.pages = std::min(r.pages + 1, 2);
  return true;
}

// Every indirect object page `n` reaches, once; `subsetted` streams are left out.
std::vector<std::uint32_t> walk(QPDFObjectHandle page, std::size_t n, Objects& objects,
                                const std::set<QPDFObjGen>& subsetted) {
  std::vector<std::uint32_t> found;
  std::vector<QPDFObjectHandle> stack{page};
  bool first = true;
  while (!stack.empty()) {
    QPDFObjectHandle oh = stack.back();
    stack.pop_back();
    if (oh.isIndirect()) {
      if (!first && isPageTreeNode(oh))
        continue; // another page, or the page tree
      if (subsetted.count(oh.getObjGen()) != 0)
        continue;
      std::uint32_t index = 0;
      Reached& r = objects.at(objects.byId, oh.getObjGen(), index);
      if (r.pages == 0)
        r.bytes = sizeOf(oh);
      if (!reachedBy(r, n))
        continue;
      found.push_back(index);
    }
    first = false;
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

void append(std::string& out, std::uint64_t v) {
  char buf[24];
  const auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
  out.append(buf, end);
}

} // namespace

void pageSizes(Context& ctx, OpenedInput& in) {
  auto& pages = pagesOf(in);
  // Sized as cat copies them: with what they inherit, trimmed resources.
  prepareSource(in);
  for (std::size_t i = 0; i < pages.size(); ++i)
    readyToCopy(in, i);
  Objects objects;
  std::vector<std::vector<std::uint32_t>> perPage;
  perPage.reserve(pages.size());
  for (std::size_t i = 0; i < pages.size(); ++i) {
    FontWeights fonts;
    if (!ctx.cmd.keepFonts)
      fonts = fontWeightsOf(in, i);
    std::vector<std::uint32_t> found =
        walk(pages[i].getObjectHandle(), i + 1, objects, fonts.programs);
    for (const FontWeights::Item& item : fonts.items) {
      const std::uint64_t key = (static_cast<std::uint64_t>(item.program.getObj()) << 28) |
                                (static_cast<std::uint64_t>(item.program.getGen() & 0x3FF) << 18) |
                                static_cast<std::uint64_t>(item.glyph + 1);
      std::uint32_t index = 0;
      Reached& r = objects.at(objects.byGlyph, key, index);
      r.bytes = static_cast<std::uint64_t>(item.bytes + 0.5);
      if (reachedBy(r, i + 1))
        found.push_back(index);
    }
    perPage.emplace_back(found.begin(), found.end()); // no spare capacity
  }

  std::string text;
  long next = 0;
  for (const auto& list : perPage) {
    for (const std::uint32_t index : list) {
      Reached& r = objects.all[index];
      if (r.pages > 1 && r.shared < 0) {
        r.shared = next++;
        text += "SharedObject: ";
        append(text, static_cast<std::uint64_t>(r.shared));
        text += ' ';
        append(text, r.bytes);
        text += '\n';
      }
    }
  }
  for (std::size_t i = 0; i < perPage.size(); ++i) {
    std::uint64_t own = 0;
    for (const std::uint32_t index : perPage[i]) {
      if (objects.all[index].pages <= 1)
        own += objects.all[index].bytes;
    }
    text += "Page: ";
    append(text, i + 1);
    text += ' ';
    append(text, own);
    for (const std::uint32_t index : perPage[i]) {
      if (objects.all[index].pages > 1) {
        text += ' ';
        append(text, static_cast<std::uint64_t>(objects.all[index].shared));
      }
    }
    text += '\n';
    std::vector<std::uint32_t>().swap(perPage[i]);
  }
  emit(ctx, text);
}

} // namespace sundrel::tovix
