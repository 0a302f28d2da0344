#pragma once

#include <qpdf/QPDFPageObjectHelper.hh>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

// Trimming a page's fonts and images to those its content uses.
namespace sundrel::tovix {

// The resource names that content uses: a name operand (outside arrays and
// dictionaries) followed by an operator that takes a resource.
struct UsedNames {
  bool bad = false; // the content could not be read cleanly
  std::set<std::string> all;
  std::map<std::string, std::set<std::string>> byType; // resource type -> names
  bool operator==(const UsedNames& other) const {
    return bad == other.bad && all == other.all && byType == other.byType;
  }
};

// Removes from the /Font and /XObject resources of `page` and of the form
// XObjects it draws every name that their content does not use. Shared
// resource dictionaries are copied before they are changed. Nothing is
// removed from a page or form whose content cannot be read cleanly, or that
// uses a name its own resources lack; a name that a nested form without
// resources of its own uses stays in the page's resources.
//
// The content is only tokenized, not parsed into objects: this is the cost
// of every page copied from a document whose pages share resources. Content
// is read through boundedContent: past its bound the trim throws Failure.
using ScannedForms = std::map<QPDFObjGen, UsedNames>; // what each form uses, once read
void trimResources(QPDFPageObjectHelper page, ScannedForms* forms = nullptr);

// By qpdf's content tokenizer.
UsedNames usedNamesByTokenizer(std::string_view content);

// The same by a quick scan, for content made only of what the scan reads
// exactly as the tokenizer does; nothing for anything else (inline images,
// escaped names, odd bytes, anything the tokenizer would call bad).
std::optional<UsedNames> usedNamesQuickly(std::string_view content);

} // namespace sundrel::tovix
