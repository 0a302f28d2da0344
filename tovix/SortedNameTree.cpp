#include "tovix/SortedNameTree.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

namespace sundrel::tovix {

namespace {

// libqpdf splits a node of more kids than this, and a leaf of more names.
constexpr std::size_t kSplitThreshold = 32;

struct Node {
  bool leaf = true;
  std::vector<std::size_t> items; // entries (a leaf) or nodes (kids), by index
};

// The tree's shape, worked out before any object is made: node 0 is the
// root, the others are numbered in the order libqpdf makes them.
class Shape {
public:
  Shape() : nodes_(1), path_{0} {}

  // The entry after all others, as the helper's iterator inserts it: into
  // the last leaf, which splits when it grows too large.
  void append(std::size_t entry) {
    nodes_[path_.back()].items.push_back(entry);
    split(path_.size() - 1);
  }

  const std::vector<Node>& nodes() const { return nodes_; }

  // The first or last entry under node `i`.
  std::size_t limit(std::size_t i, bool last) const {
    while (!nodes_[i].leaf)
      i = last ? nodes_[i].items.back() : nodes_[i].items.front();
    return last ? nodes_[i].items.back() : nodes_[i].items.front();
  }

  // libqpdf gives the root /Limits too when a kid of it splits, and never
  // updates them after: they hold the first and last entries of then.
  const std::optional<std::pair<std::size_t, std::size_t>>& rootLimits() const {
    return rootLimits_;
  }

private:
  // As libqpdf splits the node at `depth` of the path: a root keeps its
  // object and hands its content to a new first kid; the second half (from
  // the middle pair or kid on) moves to a new node right after it, where
  // later entries go; the parent may then split in turn.
  void split(std::size_t depth) {
    const Node& node = nodes_[path_[depth]];
    const std::size_t n = node.leaf ? 2 * node.items.size() : node.items.size();
    if (n <= (node.leaf ? 2 * kSplitThreshold : kSplitThreshold))
      return;
    const bool root = depth == 0;
    if (root) {
      rootLimits_.reset();
      nodes_.push_back(std::move(nodes_[0]));
      nodes_[0] = Node{false, {nodes_.size() - 1}};
      path_.insert(path_.begin() + 1, nodes_.size() - 1);
      depth = 1;
    }
    const std::size_t first = path_[depth];
    const std::size_t start = (n / 2) & ~std::size_t{1}; // in array entries
    const std::size_t keep = nodes_[first].leaf ? start / 2 : start;
    Node second{nodes_[first].leaf, {}};
    second.items.assign(nodes_[first].items.begin() + static_cast<std::ptrdiff_t>(keep),
                        nodes_[first].items.end());
    nodes_[first].items.resize(keep);
    nodes_.push_back(std::move(second));
    std::vector<std::size_t>& kids = nodes_[path_[depth - 1]].items;
    kids.insert(std::find(kids.begin(), kids.end(), first) + 1, nodes_.size() - 1);
    path_[depth] = nodes_.size() - 1;
    if (root)
      return;
    if (depth == 1)
      rootLimits_.emplace(limit(0, false), limit(0, true));
    split(depth - 1);
  }

  std::vector<Node> nodes_;
  std::optional<std::pair<std::size_t, std::size_t>> rootLimits_;
  std::vector<std::size_t> path_; // from the root to the last leaf
};

} // namespace

void fillSortedNameTree(QPDF& out, QPDFObjectHandle root,
                        const std::map<std::string, QPDFObjectHandle>& entries) {
  if (entries.empty())
    return;
  std::vector<QPDFObjectHandle> keys, values;
  Shape shape;
  for (const auto& [name, value] : entries) {
    shape.append(keys.size());
    keys.push_back(QPDFObjectHandle::newUnicodeString(name));
    values.push_back(value);
  }
  const std::vector<Node>& nodes = shape.nodes();
  std::vector<QPDFObjectHandle> objects{root};
  for (std::size_t i = 1; i < nodes.size(); ++i)
    objects.push_back(out.makeIndirectObject(QPDFObjectHandle::newDictionary()));
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    std::vector<QPDFObjectHandle> items;
    for (std::size_t item : nodes[i].items) {
      if (nodes[i].leaf) {
        items.push_back(keys[item]);
        items.push_back(values[item]);
      } else {
        items.push_back(objects[item]);
      }
    }
    objects[i].removeKey(nodes[i].leaf ? "/Kids" : "/Names");
    objects[i].replaceKey(nodes[i].leaf ? "/Names" : "/Kids", QPDFObjectHandle::newArray(items));
    if (i != 0)
      objects[i].replaceKey("/Limits", QPDFObjectHandle::newArray({keys[shape.limit(i, false)],
                                                                   keys[shape.limit(i, true)]}));
  }
  if (const auto& limits = shape.rootLimits())
    root.replaceKey("/Limits",
                    QPDFObjectHandle::newArray({keys[limits->first], keys[limits->second]}));
}

} // namespace sundrel::tovix
