#pragma once

#include <qpdf/QPDFPageObjectHelper.hh>

// Trimming a page's fonts and images to those its content uses.
namespace sundrel::tovix {

// Removes from the /Font and /XObject resources of `page` and of the form
// XObjects it draws every name that their content does not use. Shared
// resource dictionaries are copied before they are changed. Nothing is
// removed from a page or form whose content cannot be read cleanly, or that
// uses a name its own resources lack; a name that a nested form without
// resources of its own uses stays in the page's resources.
//
// The content is only tokenized, not parsed into objects: this is the cost
// of every page copied from a document whose pages share resources.
void trimResources(QPDFPageObjectHelper page);

} // namespace sundrel::tovix
