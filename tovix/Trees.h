#pragma once

#include <qpdf/QPDFObjectHandle.hh>

#include <functional>
#include <map>
#include <string>

// Name and number trees read with a visited set: a node reached twice (a
// /Kids loop or a shared subtree) is read once, so hostile files cost time
// linear in their size.
namespace sundrel::tovix {

// Calls `visit` for every key/value pair under `root` in tree order.
// `itemsKey` is "/Names" or "/Nums".
void forEachTreeItem(
    QPDFObjectHandle root, const std::string& itemsKey,
    const std::function<void(QPDFObjectHandle key, QPDFObjectHandle value)>& visit);

// Page labels of a document: page index (from 0) -> label dictionary.
using PageLabelMap = std::map<long long, QPDFObjectHandle>;
PageLabelMap readPageLabels(QPDF& pdf);

// The page labels of an input, read once.
struct OpenedInput;
const PageLabelMap& pageLabelsOf(OpenedInput& in);

// Appends to `labels` (a /Nums array in the making) the labels that the
// source pages `first`..`last` (from 0) keep as pages `newFirst`.. of a new
// document, adding nothing that the previous entry already implies.
void labelsForPageRange(const PageLabelMap& map, long long first, long long last,
                        long long newFirst, std::vector<QPDFObjectHandle>& labels);

} // namespace sundrel::tovix
