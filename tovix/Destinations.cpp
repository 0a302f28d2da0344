#include "tovix/Destinations.h"

#include <qpdf/QPDFNameTreeObjectHelper.hh>

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

void copyNamedDestinations(Context& ctx, QPDF& out, const std::vector<OpenedInput*>& order,
                           const CopyMap& map) {
  std::map<std::string, QPDFObjectHandle> named;    // name tree: strings
  std::map<std::string, QPDFObjectHandle> oldStyle; // catalog /Dests: names
  for (OpenedInput* in : order) {
    try {
      QPDFObjectHandle root = in->pdf->getRoot();
      QPDFObjectHandle names = root.getKey("/Names");
      QPDFObjectHandle tree = names.isDictionary() ? names.getKey("/Dests") : names;
      if (tree.isDictionary()) {
        for (auto [key, value] : QPDFNameTreeObjectHelper(tree, *in->pdf)) {
          QPDFObjectHandle fixed = retarget(value, in, map);
          if (fixed.isInitialized())
            named.emplace(key, fixed);
        }
      }
      QPDFObjectHandle dests = root.getKey("/Dests");
      if (dests.isDictionary()) {
        for (const std::string& key : dests.getKeys()) {
          QPDFObjectHandle fixed = retarget(dests.getKey(key), in, map);
          if (fixed.isInitialized())
            oldStyle.emplace(key, fixed);
        }
      }
    } catch (const std::exception& e) {
      ctx.warn("named destinations of " + shown(in->given->path) +
               " could not be copied: " + e.what());
    }
  }
  if (!named.empty()) {
    auto tree = QPDFNameTreeObjectHelper::newEmpty(out);
    for (const auto& [key, dest] : named)
      tree.insert(key, dest);
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
