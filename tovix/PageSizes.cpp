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

#include "tovix/FontCache.h"
#include "tovix/FontSubsets.h"
#include "tovix/Operations.h"
#include "tovix/Output.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <unordered_map>

namespace sundrel::tovix {

namespace {

struct ObjGenHash {
  std::size_t operator()(const QPDFObjGen& og) const {
    return std::hash<long long>()((static_cast<long long>(og.getObj()) << 16) ^ og.getGen());
  }
};

// An indirect object as the walk sees it: its size, and the indirect
// objects its own direct structure leads to, in the order a depth-first walk
// meets them. Read once, however many pages reach it: a font or an image
// shared by every page costs its entries once, not once per page.
struct Node {
  QPDFObjectHandle object; // until it is read
  QPDFObjGen id;
  bool classified = false;
  bool pageTreeNode = false;
  bool read = false;
  std::uint64_t bytes = 0;
  std::vector<Node*> next;
  std::size_t lastPage = 0; // the page (from 1) whose walk saw it last
  int pages = 0;            // how many pages reach it, up to 2
  long shared = -1;         // its SharedObject index
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

class Graph {
public:
  Node& node(QPDFObjectHandle oh) {
    auto [it, added] = nodes_.try_emplace(oh.getObjGen());
    if (added) {
      it->second.object = oh;
      it->second.id = oh.getObjGen();
    }
    return it->second;
  }

  // The node of one glyph of a subsetted font program.
  Node& glyph(QPDFObjGen program, int glyph) {
    const std::uint64_t key = (static_cast<std::uint64_t>(program.getObj()) << 28) |
                              (static_cast<std::uint64_t>(program.getGen() & 0x3FF) << 18) |
                              static_cast<std::uint64_t>(glyph + 1);
    Node& n = glyphs_[key];
    n.read = true;
    n.classified = true;
    return n;
  }

  static bool isIn(const Node& n, const std::set<QPDFObjGen>& set) {
    return !set.empty() && set.count(n.id) != 0;
  }

  // Whether `n` is a page or a node of the page tree, where walks end.
  bool pageTreeNode(Node& n) {
    if (!n.classified) {
      n.classified = true;
      n.pageTreeNode = isPageTreeNode(n.object);
    }
    return n.pageTreeNode;
  }

  // Reads `n` once: its size and where its entries lead (not through
  // /Parent; entries whose value is null lead nowhere).
  void read(Node& n) {
    if (n.read)
      return;
    n.read = true;
    pageTreeNode(n); // later walks ask, once the handle is gone
    QPDFObjectHandle oh = n.object;
    n.object = QPDFObjectHandle();
    n.bytes = sizeOf(oh);
    std::vector<QPDFObjectHandle> stack;
    push(oh, stack);
    while (!stack.empty()) {
      QPDFObjectHandle item = stack.back();
      stack.pop_back();
      if (item.isIndirect())
        n.next.push_back(&node(item));
      else
        push(item, stack);
    }
  }

private:
  static void push(QPDFObjectHandle oh, std::vector<QPDFObjectHandle>& stack) {
    if (oh.isArray()) {
      for (QPDFObjectHandle& item : oh.getArrayAsVector())
        stack.push_back(item);
    } else if (oh.isDictionary() || oh.isStream()) {
      for (auto& [key, value] : (oh.isStream() ? oh.getDict() : oh).getDictAsMap()) {
        if (key != "/Parent" && !value.isNull())
          stack.push_back(value);
      }
    }
  }

  std::unordered_map<QPDFObjGen, Node, ObjGenHash> nodes_;
  std::unordered_map<std::uint64_t, Node> glyphs_; // program and glyph
};

// Every indirect object page `n` reaches, once, in depth-first order; other
// pages and the page tree end the walk, and `subsetted` font programs are
// left out (their glyphs are counted apart).
std::vector<Node*> walk(Graph& graph, QPDFObjectHandle page, std::size_t n,
                        const std::set<QPDFObjGen>& subsetted) {
  std::vector<Node*> found;
  struct Frame {
    Node* node;
    std::size_t next = 0;
  };
  std::vector<Frame> stack;
  auto enter = [&](Node& node) {
    if ((!found.empty() && graph.pageTreeNode(node)) || node.lastPage == n ||
        graph.isIn(node, subsetted))
      return;
    graph.read(node);
    node.lastPage = n;
    node.pages = std::min(node.pages + 1, 2);
    found.push_back(&node);
    stack.push_back({&node});
  };
  enter(graph.node(page));
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next == top.node->next.size()) {
      stack.pop_back();
      continue;
    }
    enter(*top.node->next[top.next++]);
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
  for (std::size_t i = 0; i < pages.size(); ++i) {
    readyToCopy(in, i);
    // Its glyphs right after its trim, which has just decoded its content.
    if (!ctx.cmd.keepFonts)
      pageGlyphsOf(in, i);
  }
  Graph graph;
  std::vector<std::vector<Node*>> perPage;
  perPage.reserve(pages.size());
  for (std::size_t i = 0; i < pages.size(); ++i) {
    FontWeights fonts;
    if (!ctx.cmd.keepFonts)
      fonts = fontWeightsOf(in, i);
    std::vector<Node*> found = walk(graph, pages[i].getObjectHandle(), i + 1, fonts.programs);
    for (const FontWeights::Item& item : fonts.items) {
      Node& r = graph.glyph(item.program, item.glyph);
      r.bytes = static_cast<std::uint64_t>(item.bytes + 0.5);
      if (r.lastPage != i + 1) {
        r.lastPage = i + 1;
        r.pages = std::min(r.pages + 1, 2);
        found.push_back(&r);
      }
    }
    perPage.emplace_back(found.begin(), found.end()); // no spare capacity
  }

  std::string text;
  long next = 0;
  for (const auto& list : perPage) {
    for (Node* r : list) {
      if (r->pages > 1 && r->shared < 0) {
        r->shared = next++;
        text += "SharedObject: ";
        append(text, static_cast<std::uint64_t>(r->shared));
        text += ' ';
        append(text, r->bytes);
        text += '\n';
      }
    }
  }
  for (std::size_t i = 0; i < perPage.size(); ++i) {
    std::uint64_t own = 0;
    for (const Node* r : perPage[i]) {
      if (r->pages <= 1)
        own += r->bytes;
    }
    text += "Page: ";
    append(text, i + 1);
    text += ' ';
    append(text, own);
    for (const Node* r : perPage[i]) {
      if (r->pages > 1) {
        text += ' ';
        append(text, static_cast<std::uint64_t>(r->shared));
      }
    }
    text += '\n';
    std::vector<Node*>().swap(perPage[i]);
  }
  emit(ctx, text);
}

} // namespace sundrel::tovix
