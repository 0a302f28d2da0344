// The catalog entries a part keeps besides its pages, bookmarks and
// destinations: what applies to any part of the document (language, viewer
// settings, the PDF/A and PDF/X identity), the opening view when it shows a
// page of the part, and the attachments in the first part alone (in every
// part they would take a share of every part's size).

#include "tovix/CatalogEntries.h"

namespace sundrel::tovix {

namespace {

QPDFObjectHandle carryNested(QPDF& out, QPDFObjectHandle value, int depth) {
  if (!value.isInitialized() || value.isNull() || depth > 64)
    return QPDFObjectHandle::newNull();
  if (value.isIndirect())
    return out.copyForeignObject(value);
  if (value.isArray()) {
    QPDFObjectHandle result = QPDFObjectHandle::newArray();
    for (QPDFObjectHandle item : value.aitems())
      result.appendItem(carryNested(out, item, depth + 1));
    return result;
  }
  if (value.isDictionary()) {
    QPDFObjectHandle result = QPDFObjectHandle::newDictionary();
    for (auto& [key, item] : value.ditems())
      result.replaceKey(key, carryNested(out, item, depth + 1));
    return result;
  }
  return value.shallowCopy();
}

// The opening destination of the part: the source's when it shows a copied
// page (explicitly, by name or by a go-to action). Other actions (scripts,
// links out) belong to the whole document and stay behind.
QPDFObjectHandle openingDestination(OpenedInput& in, QPDFObjectHandle action,
                                    const CopyMap& copies) {
  QPDFObjectHandle dest = action;
  if (action.isDictionary()) {
    QPDFObjectHandle type = action.getKey("/S");
    if (!type.isName() || type.getName() != "/GoTo")
      return {};
    dest = action.getKey("/D");
  }
  dest = resolveNamed(in, dest);
  return retarget(dest, &in, copies);
}

// The document's attachments and what presents them (a portfolio, the
// files a PDF/A-3 document is associated with); whether there were any.
bool carryAttachments(QPDF& out, QPDFObjectHandle root) {
  QPDFObjectHandle names = root.getKey("/Names");
  QPDFObjectHandle files = names.isDictionary() ? names.getKey("/EmbeddedFiles") : names;
  if (!files.isDictionary())
    return false;
  QPDFObjectHandle outRoot = out.getRoot();
  QPDFObjectHandle outNames = outRoot.getKey("/Names");
  if (!outNames.isDictionary()) {
    outNames = out.makeIndirectObject(QPDFObjectHandle::newDictionary());
    outRoot.replaceKey("/Names", outNames);
  }
  outNames.replaceKey("/EmbeddedFiles", carry(out, files));
  if (root.getKey("/AF").isArray())
    outRoot.replaceKey("/AF", carry(out, root.getKey("/AF")));
  if (root.getKey("/Collection").isDictionary())
    outRoot.replaceKey("/Collection", carry(out, root.getKey("/Collection")));
  return true;
}

// The source's page mode, unless it opens a panel the part leaves empty.
void carryPageMode(QPDFObjectHandle root, QPDFObjectHandle outRoot, bool attachments) {
  QPDFObjectHandle mode = root.getKey("/PageMode");
  if (!mode.isName())
    return;
  const std::string name = mode.getName();
  const bool applies = name == "/UseOutlines"      ? outRoot.getKey("/Outlines").isDictionary()
                       : name == "/UseOC"          ? outRoot.hasKey("/OCProperties")
                       : name == "/UseAttachments" ? attachments
                                                   : true;
  if (applies)
    outRoot.replaceKey("/PageMode", QPDFObjectHandle::newName(name));
}

} // namespace

QPDFObjectHandle carry(QPDF& out, QPDFObjectHandle value) {
  return carryNested(out, value, 0);
}

void carryCatalogEntries(QPDF& out, OpenedInput& primary, const CopyMap& copies, bool firstPart) {
  QPDFObjectHandle root = primary.pdf->getRoot();
  QPDFObjectHandle outRoot = out.getRoot();
  const std::pair<const char*, bool (QPDFObjectHandle::*)()> kept[] = {
      {"/Lang", &QPDFObjectHandle::isString},
      {"/ViewerPreferences", &QPDFObjectHandle::isDictionary},
      {"/PageLayout", &QPDFObjectHandle::isName},
      {"/OutputIntents", &QPDFObjectHandle::isArray},
      {"/Metadata", &QPDFObjectHandle::isStream},
      {"/URI", &QPDFObjectHandle::isDictionary},         // the base of relative links
      {"/Extensions", &QPDFObjectHandle::isDictionary}}; // the features the pages may use
  for (const auto& [key, ofType] : kept) {
    QPDFObjectHandle value = root.getKey(key);
    if ((value.*ofType)())
      outRoot.replaceKey(key, carry(out, value));
  }
  const bool attachments = firstPart && carryAttachments(out, root);
  carryPageMode(root, outRoot, attachments);
  QPDFObjectHandle opening = openingDestination(primary, root.getKey("/OpenAction"), copies);
  if (opening.isInitialized())
    outRoot.replaceKey("/OpenAction", opening);
}

} // namespace sundrel::tovix
