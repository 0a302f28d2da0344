#include "tovix/Trees.h"

#include "tovix/Inputs.h"

#include <qpdf/QPDF.hh>

#include <set>
#include <vector>

namespace sundrel::tovix {

void forEachTreeItem(QPDFObjectHandle root, const std::string& itemsKey,
                     const std::function<void(QPDFObjectHandle, QPDFObjectHandle)>& visit) {
  std::set<QPDFObjGen> seen;
  std::vector<QPDFObjectHandle> stack{root};
  while (!stack.empty()) {
    QPDFObjectHandle node = stack.back();
    stack.pop_back();
    if (!node.isDictionary() || (node.isIndirect() && !seen.insert(node.getObjGen()).second))
      continue;
    QPDFObjectHandle items = node.getKey(itemsKey);
    if (items.isArray()) {
      const int n = items.getArrayNItems();
      for (int i = 0; i + 1 < n; i += 2)
        visit(items.getArrayItem(i), items.getArrayItem(i + 1));
    }
    QPDFObjectHandle kids = node.getKey("/Kids");
    if (kids.isArray()) {
      for (int i = kids.getArrayNItems() - 1; i >= 0; --i)
        stack.push_back(kids.getArrayItem(i));
    }
  }
}

PageLabelMap readPageLabels(QPDF& pdf) {
  PageLabelMap map;
  QPDFObjectHandle root = pdf.getRoot().getKey("/PageLabels");
  if (!root.isDictionary())
    return map;
  forEachTreeItem(root, "/Nums", [&map](QPDFObjectHandle key, QPDFObjectHandle value) {
    if (key.isInteger() && key.getIntValue() >= 0)
      map.emplace(key.getIntValue(), value);
  });
  return map;
}

const PageLabelMap& pageLabelsOf(OpenedInput& in) {
  if (!in.labels)
    in.labels = std::make_shared<PageLabelMap>(readPageLabels(*in.pdf));
  return *in.labels;
}

namespace {

// A label of the new document: the style and prefix travel as plain values,
// never as references into the source.
QPDFObjectHandle labelAt(const PageLabelMap& map, long long index) {
  auto it = map.upper_bound(index);
  if (it == map.begin())
    return QPDFObjectHandle::newNull();
  --it;
  QPDFObjectHandle label = it->second;
  if (!label.isDictionary())
    return QPDFObjectHandle::newNull();
  QPDFObjectHandle result = QPDFObjectHandle::newDictionary();
  QPDFObjectHandle style = label.getKey("/S");
  if (style.isName())
    result.replaceKey("/S", QPDFObjectHandle::newName(style.getName()));
  QPDFObjectHandle prefix = label.getKey("/P");
  if (prefix.isString())
    result.replaceKey("/P", QPDFObjectHandle::newString(prefix.getStringValue()));
  QPDFObjectHandle start = label.getKey("/St");
  const long long first = start.isInteger() ? start.getIntValue() : 1;
  result.replaceKey("/St", QPDFObjectHandle::newInteger(first + (index - it->first)));
  return result;
}

std::string unparsed(QPDFObjectHandle dict, const char* key) {
  return dict.getKey(key).unparse();
}

} // namespace

void labelsForPageRange(const PageLabelMap& map, long long first, long long last,
                        long long newFirst, std::vector<QPDFObjectHandle>& labels) {
  QPDFObjectHandle label = labelAt(map, first);
  if (label.isNull()) {
    // as the page would be numbered in a document without labels
    label = QPDFObjectHandle::newDictionary();
    label.replaceKey("/St", QPDFObjectHandle::newInteger(1 + newFirst));
  }
  bool implied = false;
  if (labels.size() >= 2) {
    QPDFObjectHandle prev = labels.back();
    QPDFObjectHandle prevIndex = labels[labels.size() - 2];
    implied = prevIndex.isInteger() && unparsed(label, "/S") == unparsed(prev, "/S") &&
              unparsed(label, "/P") == unparsed(prev, "/P") &&
              label.getKey("/St").getIntValue() - prev.getKey("/St").getIntValue() ==
                  newFirst - prevIndex.getIntValue();
  }
  if (!implied) {
    labels.push_back(QPDFObjectHandle::newInteger(newFirst));
    labels.push_back(label);
  }
  for (long long i = first + 1; i <= last; ++i) {
    if (map.count(i) != 0 && (label = labelAt(map, i)).isDictionary()) {
      labels.push_back(QPDFObjectHandle::newInteger(i + newFirst - first));
      labels.push_back(label);
    }
  }
}

} // namespace sundrel::tovix
