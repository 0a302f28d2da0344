#include "tovix/Trim.h"

#include <qpdf/Pl_Discard.hh>
#include <qpdf/QPDF.hh>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace sundrel::tovix {

namespace {

const char* const kTrimmed[] = {"/Font", "/XObject"};

// The resource names that content uses: a name operand (outside arrays and
// dictionaries) followed by an operator that takes a resource.
class UsedNames : public QPDFObjectHandle::TokenFilter {
public:
  void handleToken(const QPDFTokenizer::Token& token) override {
    switch (token.getType()) {
    case QPDFTokenizer::tt_array_open:
    case QPDFTokenizer::tt_dict_open:
      ++depth_;
      break;
    case QPDFTokenizer::tt_array_close:
    case QPDFTokenizer::tt_dict_close:
      if (depth_-- == 0)
        bad = true;
      break;
    case QPDFTokenizer::tt_name:
      if (depth_ == 0)
        last_ = token.getValue();
      break;
    case QPDFTokenizer::tt_word:
      if (depth_ > 0)
        bad = true;
      else if (!last_.empty())
        use(token.getValue());
      break;
    case QPDFTokenizer::tt_bad:
      bad = true;
      break;
    default:
      break;
    }
  }
  void handleEOF() override {
    if (depth_ != 0)
      bad = true;
  }

  bool bad = false;
  std::set<std::string> all;
  std::map<std::string, std::set<std::string>> byType; // resource type -> names

private:
  void use(const std::string& op) {
    static const std::map<std::string, std::string> types = {
        {"CS", "/ColorSpace"}, {"cs", "/ColorSpace"}, {"gs", "/ExtGState"},   {"Tf", "/Font"},
        {"SCN", "/Pattern"},   {"scn", "/Pattern"},   {"BDC", "/Properties"}, {"DP", "/Properties"},
        {"sh", "/Shading"},    {"Do", "/XObject"}};
    auto type = types.find(op);
    if (type == types.end())
      return;
    all.insert(last_);
    byType[type->second].insert(last_);
  }

  int depth_ = 0;
  std::string last_;
};

// Trims one page or form XObject; false when its content could not be read
// cleanly or names a font or image its resources lack.
bool trimOne(QPDFPageObjectHelper ph, std::set<std::string>& unresolved) {
  QPDFObjectHandle oh = ph.getObjectHandle();
  const bool isPage = !oh.isFormXObject();
  UsedNames used;
  QPDF* owner = oh.getOwningQPDF();
  const std::size_t warningsBefore = owner != nullptr ? owner->numWarnings() : 0;
  try {
    Pl_Discard discard;
    ph.filterContents(&used, &discard);
  } catch (const std::exception&) {
    return false;
  }
  if (used.bad || (owner != nullptr && owner->numWarnings() > warningsBefore))
    return false;

  QPDFObjectHandle resources = ph.getAttribute("/Resources", true);
  std::vector<QPDFObjectHandle> dicts;
  std::set<std::string> known;
  if (resources.isDictionary()) {
    for (const char* kind : kTrimmed) {
      QPDFObjectHandle dict = resources.getKey(kind);
      if (!dict.isDictionary())
        continue;
      dict = resources.replaceKeyAndGetNew(kind, dict.shallowCopy());
      dicts.push_back(dict);
      for (const std::string& key : dict.getKeys())
        known.insert(key);
    }
  }
  bool lacking = false;
  for (const char* kind : kTrimmed) {
    for (const std::string& name : used.byType[kind]) {
      if (known.count(name) == 0) {
        unresolved.insert(name);
        lacking = true;
      }
    }
  }
  if (lacking && resources.isDictionary())
    return false;
  for (QPDFObjectHandle& dict : dicts) {
    for (const std::string& key : dict.getKeys()) {
      if (!(isPage && unresolved.count(key) != 0) && used.all.count(key) == 0)
        dict.removeKey(key);
    }
  }
  return true;
}

} // namespace

void trimResources(QPDFPageObjectHelper page) {
  std::set<std::string> unresolved; // names used by forms that lack them
  bool failed = false;
  page.forEachFormXObject(true, [&](QPDFObjectHandle& form, QPDFObjectHandle&, const std::string&) {
    if (!trimOne(QPDFPageObjectHelper(form), unresolved))
      failed = true;
  });
  if (!failed)
    trimOne(page, unresolved);
}

} // namespace sundrel::tovix
