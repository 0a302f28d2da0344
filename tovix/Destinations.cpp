#include "tovix/Destinations.h"

#include <qpdf/QPDFNameTreeObjectHelper.hh>

#include "tovix/SortedNameTree.h"
#include "tovix/Trees.h"

#include <algorithm>
#include <string>

namespace sundrel::tovix {

QPDFObjectHandle retarget(QPDFObjectHandle dest, OpenedInput* in, const CopyMap& map) {
  if (dest.isDictionary())
    dest = dest.getKey("/D");
  if (!dest.isArray() || dest.getArrayNItems() < 1)
    return {};
  QPDFObjectHandle page = dest.getArrayItem(0);
  auto found = page.isIndirect() ? map.find({in, page.getObjGen()}) : map.end();
  if (found == map.end())
    return {};
  std::vector<QPDFObjectHandle> parts{found->second};
  for (int i = 1; i < dest.getArrayNItems(); ++i) {
    QPDFObjectHandle p = dest.getArrayItem(i);
    // Only plain values travel: anything else could drag objects of the input along.
    parts.push_back(p.isNumber() || p.isName() || p.isBool()
                        ? QPDFObjectHandle::parse(p.unparseResolved())
                        : QPDFObjectHandle::newNull());
  }
  if (parts.size() == 1)
    parts.push_back(QPDFObjectHandle::newName("/Fit")); // a destination names how to show it
  return QPDFObjectHandle::newArray(parts);
}

void retargetLinks(PageCopy copy, const CopyMap& map) {
  QPDFObjectHandle sourceAnnots = copy.source.getKey("/Annots");
  QPDFObjectHandle copyAnnots = copy.copy.getKey("/Annots");
  if (!sourceAnnots.isArray() || !copyAnnots.isArray() ||
      sourceAnnots.getArrayNItems() != copyAnnots.getArrayNItems())
    return;
  for (int i = 0; i < sourceAnnots.getArrayNItems(); ++i) {
    QPDFObjectHandle src = sourceAnnots.getArrayItem(i);
    QPDFObjectHandle dst = copyAnnots.getArrayItem(i);
    if (!src.isDictionary() || !dst.isDictionary() || !src.getKey("/Subtype").isName() ||
        src.getKey("/Subtype").getName() != "/Link")
      continue;
    QPDFObjectHandle action = src.getKey("/A");
    const bool goTo = action.isDictionary() && action.getKey("/S").isName() &&
                      action.getKey("/S").getName() == "/GoTo";
    QPDFObjectHandle dest = src.hasKey("/Dest") ? src.getKey("/Dest")
                            : goTo              ? action.getKey("/D")
                                                : QPDFObjectHandle();
    if (!dest.isInitialized() || !(dest.isArray() || dest.isDictionary()))
      continue; // named destinations resolve through the copied name tree
    QPDFObjectHandle fixed = retarget(dest, copy.input, map);
    if (src.hasKey("/Dest")) {
      if (fixed.isInitialized())
        dst.replaceKey("/Dest", fixed);
      else
        dst.removeKey("/Dest");
    } else if (fixed.isInitialized()) {
      QPDFObjectHandle newAction = QPDFObjectHandle::newDictionary();
      newAction.replaceKey("/S", QPDFObjectHandle::newName("/GoTo"));
      newAction.replaceKey("/D", fixed);
      dst.replaceKey("/A", newAction);
    } else {
      dst.removeKey("/A");
    }
  }
}

namespace {

QPDFObjectHandle pageOf(QPDFObjectHandle dest) {
  if (dest.isDictionary())
    dest = dest.getKey("/D");
  if (!dest.isArray() || dest.getArrayNItems() < 1)
    return {};
  return dest.getArrayItem(0);
}

void readNamedDestinations(QPDF& pdf, NamedDestinations& found) {
  auto add = [&found](std::string name, bool oldStyle, QPDFObjectHandle dest) {
    const std::size_t index = found.entries.size();
    (oldStyle ? found.byName : found.byString).emplace(name, index);
    QPDFObjectHandle page = pageOf(dest);
    if (page.isInitialized() && page.isIndirect())
      found.byPage.emplace(page.getObjGen(), index);
    found.entries.push_back({std::move(name), oldStyle, dest});
  };
  QPDFObjectHandle root = pdf.getRoot();
  QPDFObjectHandle names = root.getKey("/Names");
  QPDFObjectHandle tree = names.isDictionary() ? names.getKey("/Dests") : names;
  forEachTreeItem(tree, "/Names", [&add](QPDFObjectHandle key, QPDFObjectHandle value) {
    if (key.isString())
      add(key.getStringValue(), false, value);
  });
  QPDFObjectHandle dests = root.getKey("/Dests");
  if (dests.isDictionary()) {
    for (const std::string& key : dests.getKeys())
      add(key, true, dests.getKey(key));
  }
}

} // namespace

const NamedDestinations& namedDestinationsOf(OpenedInput& in) {
  if (!in.names) {
    auto names = std::make_shared<NamedDestinations>();
    try {
      readNamedDestinations(*in.pdf, *names);
    } catch (const std::exception& e) {
      *names = NamedDestinations{};
      names->problem = e.what();
    }
    in.names = names;
  }
  return *in.names;
}

QPDFObjectHandle resolveNamed(OpenedInput& in, QPDFObjectHandle dest) {
  if (!dest.isName() && !dest.isString())
    return dest;
  const NamedDestinations& names = namedDestinationsOf(in);
  const auto& index = dest.isName() ? names.byName : names.byString;
  auto found = index.find(dest.isName() ? dest.getName() : dest.getStringValue());
  return found == index.end() ? QPDFObjectHandle::newNull() : names.entries[found->second].dest;
}

void copyNamedDestinations(Context& ctx, QPDF& out, const std::vector<OpenedInput*>& order,
                           const CopyMap& map) {
  std::map<std::string, QPDFObjectHandle> named;    // name tree: strings
  std::map<std::string, QPDFObjectHandle> oldStyle; // catalog /Dests: names
  for (OpenedInput* in : order) {
    const NamedDestinations& names = namedDestinationsOf(*in);
    if (!names.problem.empty())
      ctx.warn("named destinations of " + shown(in->path) +
               " could not be copied: " + names.problem);
    // Only the names that lead to copied pages, in the order of the
    // source, so that the first of two equal names wins as it would there.
    std::vector<std::size_t> wanted;
    for (auto it = map.lower_bound({in, QPDFObjGen()}); it != map.end() && it->first.first == in;
         ++it) {
      auto [from, to] = names.byPage.equal_range(it->first.second);
      for (; from != to; ++from)
        wanted.push_back(from->second);
    }
    std::sort(wanted.begin(), wanted.end());
    for (std::size_t index : wanted) {
      const NamedDestinations::Entry& entry = names.entries[index];
      QPDFObjectHandle fixed = retarget(entry.dest, in, map);
      if (fixed.isInitialized())
        (entry.oldStyle ? oldStyle : named).emplace(entry.name, fixed);
    }
  }
  if (!named.empty()) {
    auto tree = QPDFNameTreeObjectHelper::newEmpty(out);
    // Plain ASCII names keep their order as name tree keys: the tree that
    // inserting them one by one gives is built at once.
    const bool plain = std::all_of(named.begin(), named.end(), [](const auto& entry) {
      return std::all_of(entry.first.begin(), entry.first.end(),
                         [](char c) { return c >= 0x20 && c < 0x7f; });
    });
    if (plain) {
      fillSortedNameTree(out, tree.getObjectHandle(), named);
    } else {
      for (const auto& [key, dest] : named)
        tree.insert(key, dest);
    }
    QPDFObjectHandle names = QPDFObjectHandle::newDictionary();
    names.replaceKey("/Dests", out.makeIndirectObject(tree.getObjectHandle()));
    out.getRoot().replaceKey("/Names", names);
  }
  if (!oldStyle.empty()) {
    QPDFObjectHandle dests = QPDFObjectHandle::newDictionary();
    for (const auto& [key, dest] : oldStyle)
      dests.replaceKey(key, dest);
    out.getRoot().replaceKey("/Dests", out.makeIndirectObject(dests));
  }
}

} // namespace sundrel::tovix
