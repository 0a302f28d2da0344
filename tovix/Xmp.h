#pragma once

#include <qpdf/QPDF.hh>

#include <string>
#include <utility>
#include <vector>

// The catalog's XMP metadata kept in agreement with the Info dictionary, as
// PDF/A requires of a document that has both.
namespace sundrel::tovix {

// Gives the XMP properties that match the Info entries in `changed` (key
// without slash, UTF-8 value; empty removes it) the same values: Title,
// Author, Subject, Keywords, Creator, Producer, CreationDate, ModDate.
// Other keys are left alone. False, with `why`, when the document has XMP
// metadata that cannot be read or changed (it is then left as it was).
bool syncXmp(QPDF& pdf, const std::vector<std::pair<std::string, std::string>>& changed,
             std::string& why);

// The part of PDF/A (1, 2, 3, 4) the document's XMP metadata claims; 0 for none.
int pdfaPart(QPDF& pdf);

} // namespace sundrel::tovix
