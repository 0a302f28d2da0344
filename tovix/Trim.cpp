#include "tovix/Trim.h"

#include "tovix/StreamData.h"
#include "tovix/Support.h"

#include <qpdf/Pl_QPDFTokenizer.hh>
#include <qpdf/QPDF.hh>

#include <cctype>
#include <cstring>
#include <memory>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace sundrel::tovix {

namespace {

const char* const kTrimmed[] = {"/Font", "/XObject"};

// Collects what the tokens say; the tokenizer and the quick scan both feed it.
class NameCollector {
public:
  explicit NameCollector(UsedNames& names) : names_(names) {}
  void open() { ++depth_; }
  void close() {
    if (depth_-- == 0)
      names_.bad = true;
  }
  void name(std::string_view value) {
    if (depth_ == 0)
      last_.assign(value);
  }
  void word(std::string_view op) {
    if (depth_ > 0)
      names_.bad = true;
    else if (!last_.empty())
      use(op);
  }
  void end() {
    if (depth_ != 0)
      names_.bad = true;
  }

private:
  // The resource type an operator takes, or null: decided by length and
  // bytes, since nearly every operator of a page takes none.
  static const char* typeOf(std::string_view op) {
    switch (op.size()) {
    case 2:
      return op == "Tf"                 ? "/Font"
             : op == "Do"               ? "/XObject"
             : op == "gs"               ? "/ExtGState"
             : op == "CS" || op == "cs" ? "/ColorSpace"
             : op == "sh"               ? "/Shading"
             : op == "DP"               ? "/Properties"
                                        : nullptr;
    case 3:
      return op == "SCN" || op == "scn" ? "/Pattern" : op == "BDC" ? "/Properties" : nullptr;
    default:
      return nullptr;
    }
  }

  void use(std::string_view op) {
    const char* type = typeOf(op);
    if (type == nullptr)
      return;
    names_.all.insert(last_);
    names_.byType[type].insert(last_);
  }

  UsedNames& names_;
  int depth_ = 0;
  std::string last_;
};

class TokenNames : public QPDFObjectHandle::TokenFilter {
public:
  explicit TokenNames(UsedNames& names) : collect_(names), names_(names) {}
  void handleToken(const QPDFTokenizer::Token& token) override {
    switch (token.getType()) {
    case QPDFTokenizer::tt_array_open:
    case QPDFTokenizer::tt_dict_open:
      collect_.open();
      break;
    case QPDFTokenizer::tt_array_close:
    case QPDFTokenizer::tt_dict_close:
      collect_.close();
      break;
    case QPDFTokenizer::tt_name:
      collect_.name(token.getValue());
      break;
    case QPDFTokenizer::tt_word:
      collect_.word(token.getValue());
      break;
    case QPDFTokenizer::tt_bad:
      names_.bad = true;
      break;
    default:
      break;
    }
  }
  void handleEOF() override { collect_.end(); }

private:
  NameCollector collect_;
  UsedNames& names_;
};

// The scan's classes of bytes, looked up once per byte.
enum ByteClass : unsigned char { kOther = 0, kSpace = 1, kDelimiter = 2, kPlain = 4, kHex = 8 };

struct ByteClasses {
  unsigned char of[256] = {};
  ByteClasses() {
    for (int c = 0; c < 256; ++c) {
      if (c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f')
        of[c] = kSpace;
      else if (std::strchr("()<>[]{}/%", c) != nullptr) // NUL too, as strchr finds it
        of[c] = kDelimiter;
      else if (c > ' ' && c < 127) // printable ASCII but delimiters
        of[c] = kPlain;
      if (std::isxdigit(c))
        of[c] |= kHex;
    }
  }
};

const ByteClasses kClasses;

bool is(char c, ByteClass kind) {
  return (kClasses.of[static_cast<unsigned char>(c)] & kind) != 0;
}
bool isSpace(char c) {
  return is(c, kSpace);
}
bool isDelimiter(char c) {
  return is(c, kDelimiter);
}
// Bytes the scan takes in names and words.
bool isPlain(char c) {
  return is(c, kPlain);
}
bool isNumber(std::string_view text) {
  std::size_t i = text[0] == '+' || text[0] == '-' ? 1 : 0;
  bool digits = false;
  bool dot = false;
  for (; i < text.size(); ++i) {
    if (text[i] >= '0' && text[i] <= '9')
      digits = true;
    else if (text[i] == '.' && !dot)
      dot = true;
    else
      return false;
  }
  return digits;
}
bool isWord(std::string_view text) {
  const char c = text[0];
  return ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '\'' || c == '"') &&
         text != "BI" && text != "ID" && text != "EI";
}

// What the page's or form's content uses, by the quick scan where it can,
// else by the tokenizer. Content past the decoding bound fails the command.
UsedNames usedNamesOf(QPDFPageObjectHelper ph) {
  const std::optional<std::string> content = boundedContent(ph);
  if (!content) {
    UsedNames unreadable;
    unreadable.bad = true;
    return unreadable;
  }
  if (auto quick = usedNamesQuickly(*content))
    return *quick;
  return usedNamesByTokenizer(*content);
}

// Trims one page or form XObject; false when its content could not be read
// cleanly or names a font or image its resources lack.
bool trimOne(QPDFPageObjectHelper ph, std::set<std::string>& unresolved, ScannedForms* forms) {
  QPDFObjectHandle oh = ph.getObjectHandle();
  const bool isPage = !oh.isFormXObject();
  UsedNames used;
  QPDF* owner = oh.getOwningQPDF();
  const std::size_t warningsBefore = owner != nullptr ? owner->numWarnings() : 0;
  // A form drawn by many pages is read once: its content never changes.
  const bool remembered = !isPage && forms != nullptr && oh.isIndirect();
  const auto scanned = remembered ? forms->find(oh.getObjGen()) : ScannedForms::iterator();
  if (remembered && scanned != forms->end()) {
    used = scanned->second;
  } else {
    try {
      used = usedNamesOf(ph);
    } catch (const Failure&) {
      throw;
    } catch (const std::exception&) {
      return false;
    }
    if (remembered)
      forms->emplace(oh.getObjGen(), used);
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

UsedNames usedNamesByTokenizer(std::string_view content) {
  UsedNames names;
  TokenNames filter(names);
  Pl_QPDFTokenizer tokenizer("content", &filter);
  tokenizer.write(reinterpret_cast<const unsigned char*>(content.data()), content.size());
  tokenizer.finish();
  return names;
}

std::optional<UsedNames> usedNamesQuickly(std::string_view content) {
  UsedNames names;
  NameCollector collect(names);
  const std::size_t n = content.size();
  std::size_t i = 0;
  while (i < n) {
    const char c = content[i];
    if (isSpace(c)) {
      ++i;
    } else if (c == '%') {
      while (i < n && content[i] != '\n' && content[i] != '\r')
        ++i;
    } else if (c == '[') {
      collect.open();
      ++i;
    } else if (c == ']') {
      collect.close();
      ++i;
    } else if (c == '<' && i + 1 < n && content[i + 1] == '<') {
      collect.open();
      i += 2;
    } else if (c == '>' && i + 1 < n && content[i + 1] == '>') {
      collect.close();
      i += 2;
    } else if (c == '<') {
      for (++i; i < n && content[i] != '>'; ++i) {
        if (!is(content[i], ByteClass(kHex | kSpace)))
          return std::nullopt;
      }
      if (i == n)
        return std::nullopt;
      ++i;
    } else if (c == '(') {
      int nesting = 1;
      for (++i; i < n && nesting > 0; ++i) {
        if (content[i] == '\\')
          ++i;
        else if (content[i] == '(')
          ++nesting;
        else if (content[i] == ')')
          --nesting;
      }
      if (nesting > 0 || i > n)
        return std::nullopt;
    } else if (c == '/') {
      const std::size_t start = i++;
      while (i < n && isPlain(content[i]))
        ++i;
      const std::string_view name = content.substr(start, i - start);
      if (name.find('#') != std::string_view::npos ||
          (i < n && !isSpace(content[i]) && !isDelimiter(content[i])))
        return std::nullopt;
      collect.name(name);
    } else if (isPlain(c)) {
      const std::size_t start = i;
      while (i < n && isPlain(content[i]))
        ++i;
      const std::string_view text = content.substr(start, i - start);
      if (i < n && !isSpace(content[i]) && !isDelimiter(content[i]))
        return std::nullopt;
      if (isNumber(text) || text == "true" || text == "false" || text == "null")
        continue;
      if (!isWord(text))
        return std::nullopt;
      collect.word(text);
    } else {
      return std::nullopt; // braces, a lone ')' or '>', NUL and bytes above ASCII
    }
  }
  collect.end();
  if (names.bad)
    return std::nullopt;
  return names;
}

void trimResources(QPDFPageObjectHelper page, ScannedForms* forms) {
  std::set<std::string> unresolved; // names used by forms that lack them
  bool failed = false;
  page.forEachFormXObject(true, [&](QPDFObjectHandle& form, QPDFObjectHandle&, const std::string&) {
    if (!trimOne(QPDFPageObjectHelper(form), unresolved, forms))
      failed = true;
  });
  if (!failed)
    trimOne(page, unresolved, forms);
}

} // namespace sundrel::tovix
