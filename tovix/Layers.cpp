// Optional content (layers). A part keeps the groups its pages use: they
// came with the pages, which refer to them from their resources and
// annotations. The configurations keep only those groups, each with the
// visibility it has in its source; a group left out of /OCGs would be shown
// by some readers whatever the source says.

#include "tovix/CatalogEntries.h"

#include <map>
#include <set>
#include <utility>
#include <vector>

namespace sundrel::tovix {

namespace {

using Kept = std::map<QPDFObjGen, QPDFObjectHandle>; // source group -> its copy

std::vector<QPDFObjectHandle> itemsOf(QPDFObjectHandle list) {
  return list.isArray() ? list.getArrayAsVector() : std::vector<QPDFObjectHandle>();
}

// Restricts a list of groups to the kept ones. `nested` lists (/Order) may
// hold lists of their own and labels; a nested list left without a group is
// dropped. `seen` stops lists that hold themselves.
std::pair<QPDFObjectHandle, bool> restrictList(QPDFObjectHandle list, const Kept& kept, bool nested,
                                               std::set<QPDFObjGen>& seen, int depth = 0) {
  QPDFObjectHandle result = QPDFObjectHandle::newArray();
  bool anyGroup = false;
  if (!list.isArray() || depth > 64 || (list.isIndirect() && !seen.insert(list.getObjGen()).second))
    return {result, false};
  for (QPDFObjectHandle item : list.aitems()) {
    if (item.isDictionary() && item.isIndirect()) {
      const auto k = kept.find(item.getObjGen());
      if (k != kept.end()) {
        result.appendItem(k->second);
        anyGroup = true;
      }
    } else if (nested && item.isArray()) {
      auto [inner, hasGroup] = restrictList(item, kept, true, seen, depth + 1);
      if (hasGroup) {
        result.appendItem(inner);
        anyGroup = true;
      }
    } else if (nested && item.isString()) {
      result.appendItem(QPDFObjectHandle::newString(item.getStringValue()));
    }
  }
  return {result, anyGroup};
}

QPDFObjectHandle restrictFlat(QPDFObjectHandle list, const Kept& kept) {
  std::set<QPDFObjGen> seen;
  return restrictList(list, kept, false, seen).first;
}

// A configuration dictionary with its lists of groups restricted.
QPDFObjectHandle restrictConfig(QPDF& out, QPDFObjectHandle config, const Kept& kept) {
  QPDFObjectHandle result = QPDFObjectHandle::newDictionary();
  if (!config.isDictionary())
    return result;
  for (auto& [key, value] : config.ditems()) {
    if (key == "/ON" || key == "/OFF" || key == "/Locked") {
      result.replaceKey(key, restrictFlat(value, kept));
    } else if (key == "/Order") {
      std::set<QPDFObjGen> seen;
      result.replaceKey(key, restrictList(value, kept, true, seen).first);
    } else if (key == "/RBGroups") {
      QPDFObjectHandle groups = QPDFObjectHandle::newArray();
      for (QPDFObjectHandle group : itemsOf(value)) {
        QPDFObjectHandle members = restrictFlat(group, kept);
        if (members.getArrayNItems() > 1)
          groups.appendItem(members);
      }
      result.replaceKey(key, groups);
    } else if (key == "/AS") {
      QPDFObjectHandle uses = QPDFObjectHandle::newArray();
      for (QPDFObjectHandle use : itemsOf(value)) {
        if (!use.isDictionary())
          continue;
        QPDFObjectHandle groups = restrictFlat(use.getKey("/OCGs"), kept);
        if (groups.getArrayNItems() == 0)
          continue;
        QPDFObjectHandle copy = QPDFObjectHandle::newDictionary();
        copy.replaceKey("/Event", carry(out, use.getKey("/Event")));
        copy.replaceKey("/Category", carry(out, use.getKey("/Category")));
        copy.replaceKey("/OCGs", groups);
        uses.appendItem(copy);
      }
      result.replaceKey(key, uses);
    } else if (!value.isDictionary() && !value.isArray() && !value.isStream()) {
      result.replaceKey(key, carry(out, value)); // /Name, /Creator, /BaseState, /Intent, /ListMode
    }
  }
  return result;
}

// Whether `group` is on in the configuration `config`.
bool isOn(QPDFObjectHandle config, QPDFObjectHandle group) {
  auto listed = [&](const char* key) {
    QPDFObjectHandle list = config.getKey(key);
    if (!list.isArray())
      return false;
    for (QPDFObjectHandle item : list.aitems()) {
      if (item.isIndirect() && item.getObjGen() == group.getObjGen())
        return true;
    }
    return false;
  };
  if (listed("/OFF"))
    return false;
  if (listed("/ON"))
    return true;
  QPDFObjectHandle base = config.getKey("/BaseState");
  return !(base.isName() && base.getName() == "/OFF");
}

struct Layers {
  QPDFObjectHandle properties; // of the first input that has any
  QPDFObjectHandle groups = QPDFObjectHandle::newArray();
  Kept kept;
  std::vector<std::pair<OpenedInput*, QPDFObjectHandle>> later; // other inputs' properties
};

// The groups of `properties` that came with the copied pages. A group the
// pages did not use is copied now and so numbered past what they brought.
void keepUsedGroups(QPDF& out, QPDFObjectHandle properties, Layers& layers) {
  QPDFObjectHandle groups = properties.getKey("/OCGs");
  if (!groups.isArray())
    return;
  const std::size_t copiedBefore = out.getObjectCount();
  for (QPDFObjectHandle group : groups.aitems()) {
    if (!group.isIndirect() || !group.isDictionary() || layers.kept.count(group.getObjGen()) != 0)
      continue;
    QPDFObjectHandle copy = out.copyForeignObject(group);
    if (static_cast<std::size_t>(copy.getObjectID()) <= copiedBefore) {
      layers.kept.emplace(group.getObjGen(), copy);
      layers.groups.appendItem(copy);
    }
  }
}

} // namespace

void carryLayers(QPDF& out, const std::vector<OpenedInput*>& order) {
  Layers layers;
  for (OpenedInput* in : order) {
    QPDFObjectHandle properties = in->pdf->getRoot().getKey("/OCProperties");
    if (!properties.isDictionary())
      continue;
    keepUsedGroups(out, properties, layers);
    if (!layers.properties.isInitialized())
      layers.properties = properties;
    else
      layers.later.emplace_back(in, properties);
  }
  if (layers.kept.empty())
    return;
  QPDFObjectHandle source = layers.properties;
  QPDFObjectHandle defaults = restrictConfig(out, source.getKey("/D"), layers.kept);
  // Groups of further inputs keep their own default visibility, listed
  // explicitly; their panel entries follow the first input's.
  for (auto& [in, properties] : layers.later) {
    QPDFObjectHandle theirDefaults = properties.getKey("/D");
    QPDFObjectHandle theirGroups = properties.getKey("/OCGs");
    for (QPDFObjectHandle group : itemsOf(theirGroups)) {
      const auto k = group.isIndirect() ? layers.kept.find(group.getObjGen()) : layers.kept.end();
      if (k == layers.kept.end())
        continue;
      const char* key =
          isOn(theirDefaults.isDictionary() ? theirDefaults : QPDFObjectHandle::newDictionary(),
               group)
              ? "/ON"
              : "/OFF";
      if (!defaults.getKey(key).isArray())
        defaults.replaceKey(key, QPDFObjectHandle::newArray());
      defaults.getKey(key).appendItem(k->second);
    }
    QPDFObjectHandle order = restrictConfig(out, theirDefaults, layers.kept).getKey("/Order");
    if (order.isArray() && order.getArrayNItems() > 0) {
      if (!defaults.getKey("/Order").isArray())
        defaults.replaceKey("/Order", QPDFObjectHandle::newArray());
      for (QPDFObjectHandle item : order.aitems())
        defaults.getKey("/Order").appendItem(item);
    }
  }
  QPDFObjectHandle result = QPDFObjectHandle::newDictionary();
  result.replaceKey("/OCGs", layers.groups);
  result.replaceKey("/D", defaults);
  QPDFObjectHandle configs = source.getKey("/Configs");
  if (configs.isArray()) {
    QPDFObjectHandle restricted = QPDFObjectHandle::newArray();
    for (QPDFObjectHandle config : configs.aitems())
      restricted.appendItem(restrictConfig(out, config, layers.kept));
    result.replaceKey("/Configs", restricted);
  }
  out.getRoot().replaceKey("/OCProperties", result);
}

} // namespace sundrel::tovix
