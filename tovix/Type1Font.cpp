#include "tovix/Type1Font.h"

#include "tovix/FontTables.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace sundrel::tovix {

namespace {

constexpr std::uint16_t kEexecKey = 55665;
constexpr std::uint16_t kCharstringKey = 4330;

bool isBlank(char c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}
bool isDelimiter(char c) {
  return std::strchr("()<>[]{}/%", c) != nullptr;
}
bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int hexValue(char c) {
  return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// PostScript tokens, as far as font programs need them; the data after
// `<n> RD ` is returned as one binary token.
class PsScanner {
public:
  enum class Kind { End, Name, Word, Number, Delimiter, String, Binary, Error };
  struct Token {
    Kind kind = Kind::End;
    std::string_view text; // a name without its slash; a binary's bytes
    std::size_t begin = 0; // where the token (or the RD word) starts
    long value = 0;        // an integer's value
    bool integer = false;
  };

  PsScanner(std::string_view text, std::size_t pos, const std::set<std::string>& rd)
      : text_(text), pos_(pos), rd_(rd) {}

  Token next() {
    const Token token = read();
    lastInteger_ = token.kind == Kind::Number && token.integer && token.value >= 0;
    lastValue_ = token.value;
    return token;
  }

private:
  Token read() {
    skipBlanks();
    Token t;
    t.begin = pos_;
    if (pos_ >= text_.size())
      return t;
    const char c = text_[pos_];
    if (c == '/') {
      const std::size_t start = ++pos_;
      while (pos_ < text_.size() && !isBlank(text_[pos_]) && !isDelimiter(text_[pos_]))
        ++pos_;
      t.kind = Kind::Name;
      t.text = text_.substr(start, pos_ - start);
      return t;
    }
    if (c == '(')
      return string(t);
    if (c == '<' && pos_ + 1 < text_.size() && text_[pos_ + 1] != '<') {
      const std::size_t close = text_.find('>', pos_);
      if (close == std::string_view::npos)
        return error(t);
      pos_ = close + 1;
      t.kind = Kind::String;
      return t;
    }
    if (isDelimiter(c)) {
      const bool twice = (c == '<' || c == '>') && pos_ + 1 < text_.size() && text_[pos_ + 1] == c;
      t.kind = Kind::Delimiter;
      t.text = text_.substr(pos_, twice ? 2 : 1);
      pos_ += t.text.size();
      return t;
    }
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !isBlank(text_[pos_]) && !isDelimiter(text_[pos_]))
      ++pos_;
    t.text = text_.substr(start, pos_ - start);
    if (number(t))
      return t;
    if (lastInteger_ && rd_.count(std::string(t.text)) != 0)
      return binary(t);
    t.kind = Kind::Word;
    return t;
  }

  void skipBlanks() {
    while (pos_ < text_.size()) {
      if (isBlank(text_[pos_])) {
        ++pos_;
      } else if (text_[pos_] == '%') {
        while (pos_ < text_.size() && text_[pos_] != '\n' && text_[pos_] != '\r')
          ++pos_;
      } else {
        break;
      }
    }
  }

  static bool number(Token& t) {
    std::size_t i = t.text[0] == '-' || t.text[0] == '+' ? 1 : 0;
    if (i == t.text.size())
      return false;
    bool dot = false;
    long value = 0;
    for (std::size_t k = i; k < t.text.size(); ++k) {
      const char d = t.text[k];
      if (d == '.' && !dot) {
        dot = true;
      } else if (d >= '0' && d <= '9') {
        if (!dot && value < 100000000)
          value = value * 10 + (d - '0');
      } else {
        return false;
      }
    }
    t.kind = Kind::Number;
    t.integer = !dot;
    t.value = t.text[0] == '-' ? -value : value;
    return true;
  }

  Token string(Token& t) {
    int depth = 0;
    for (; pos_ < text_.size(); ++pos_) {
      const char c = text_[pos_];
      if (c == '\\') {
        ++pos_;
      } else if (c == '(') {
        ++depth;
      } else if (c == ')' && --depth == 0) {
        ++pos_;
        t.kind = Kind::String;
        return t;
      }
    }
    return error(t);
  }

  Token binary(Token& t) {
    // One blank separates the word from the data.
    const auto size = static_cast<std::size_t>(lastValue_);
    if (pos_ + 1 + size > text_.size())
      return error(t);
    t.kind = Kind::Binary;
    t.text = text_.substr(pos_ + 1, size);
    pos_ += 1 + size;
    return t;
  }

  Token error(Token& t) {
    pos_ = text_.size();
    t.kind = Kind::Error;
    return t;
  }

  std::string_view text_;
  std::size_t pos_;
  const std::set<std::string>& rd_;
  bool lastInteger_ = false;
  long lastValue_ = 0;
};

// The words that read binary data: RD and -| by convention, and any name
// the font defines as {string currentfile exch readstring pop}.
std::set<std::string> binaryWords(std::string_view plain) {
  std::set<std::string> words{"RD", "-|"};
  for (std::size_t at = plain.find("readstring"); at != std::string_view::npos;
       at = plain.find("readstring", at + 1)) {
    const std::size_t from = at > 80 ? at - 80 : 0;
    const std::size_t slash = plain.rfind('/', at);
    if (slash == std::string_view::npos || slash < from)
      continue;
    std::size_t end = slash + 1;
    while (end < at && !isBlank(plain[end]) && !isDelimiter(plain[end]))
      ++end;
    if (end > slash + 1)
      words.emplace(plain.substr(slash + 1, end - slash - 1));
  }
  return words;
}

// Where the encrypted part starts: after "eexec" and the blanks that follow
// (the first cipher byte is never a blank).
std::size_t clearLength(std::string_view program) {
  const std::size_t at = program.find("eexec");
  if (at == std::string_view::npos)
    return std::string_view::npos;
  std::size_t end = at + 5;
  while (end < program.size() && isBlank(program[end]) && program[end] != '\0')
    ++end;
  return end;
}

// Splits a PFB file into its clear, binary and trailing segments.
bool unwrapPfb(std::string_view pfb, std::string& clear, std::string& binary,
               std::string& trailer) {
  std::size_t pos = 0;
  int segment = 0;
  while (pos + 2 <= pfb.size() && static_cast<unsigned char>(pfb[pos]) == 0x80) {
    const int type = static_cast<unsigned char>(pfb[pos + 1]);
    if (type == 3)
      return segment >= 2;
    if (pos + 6 > pfb.size())
      return false;
    std::size_t size = 0;
    for (int i = 3; i >= 0; --i)
      size = (size << 8) | static_cast<unsigned char>(pfb[pos + 2 + static_cast<std::size_t>(i)]);
    pos += 6;
    if (size > pfb.size() - pos)
      return false;
    std::string& into = segment == 0 ? clear : segment == 1 ? binary : trailer;
    into.append(pfb.substr(pos, size));
    if (segment < 2)
      ++segment;
    pos += size;
  }
  return segment >= 2;
}

// Splits the PDF layout: clear text, encrypted data (binary or hex), trailer.
bool splitProgram(std::string_view program, std::size_t length1, std::size_t length2,
                  std::string& clear, std::string& binary, std::string& trailer) {
  const std::size_t clearEnd = clearLength(program);
  if (clearEnd == std::string_view::npos || clearEnd >= program.size())
    return false;
  clear.assign(program.substr(0, clearEnd));
  std::string_view rest = program.substr(clearEnd);
  std::size_t encrypted = rest.size();
  if (length1 == clearEnd && length2 > 0 && length2 <= rest.size()) {
    encrypted = length2;
  } else {
    // The trailer: zeros (and blanks) before cleartomark.
    std::size_t mark = rest.rfind("cleartomark");
    if (mark != std::string_view::npos) {
      while (mark > 0 && (rest[mark - 1] == '0' || isBlank(rest[mark - 1])))
        --mark;
      encrypted = mark;
    }
  }
  const bool hex = rest.size() >= 4 && std::all_of(rest.begin(), rest.begin() + 4, isHexDigit);
  if (!hex) {
    binary.assign(rest.substr(0, encrypted));
    trailer.assign(rest.substr(encrypted));
    return binary.size() > 4;
  }
  int high = -1;
  std::size_t i = 0;
  for (; i < rest.size(); ++i) {
    const char c = rest[i];
    if (isBlank(c))
      continue;
    if (!isHexDigit(c))
      break;
    if (high < 0) {
      high = hexValue(c);
    } else {
      binary += static_cast<char>(high * 16 + hexValue(c));
      high = -1;
    }
  }
  trailer.assign(rest.substr(i));
  return binary.size() > 4;
}

double pop(std::vector<double>& stack) {
  const double v = stack.back();
  stack.pop_back();
  return v;
}

// Reads a Type 1 charstring (decrypted) far enough to find seac and its
// operands; false when the operands cannot be known.
bool findSeac(std::string_view cs, bool& seac, int& base, int& accent) {
  std::vector<double> stack;
  for (std::size_t i = 0; i < cs.size();) {
    const int v = static_cast<unsigned char>(cs[i]);
    if (v >= 32) {
      if (v <= 246) {
        stack.push_back(v - 139);
        i += 1;
      } else if (v <= 254) {
        if (i + 1 >= cs.size())
          return false;
        const int w = static_cast<unsigned char>(cs[i + 1]);
        stack.push_back(v <= 250 ? (v - 247) * 256 + w + 108 : -(v - 251) * 256 - w - 108);
        i += 2;
      } else {
        if (i + 4 >= cs.size())
          return false;
        std::uint32_t n = 0;
        for (int k = 1; k <= 4; ++k)
          n = (n << 8) | static_cast<unsigned char>(cs[i + static_cast<std::size_t>(k)]);
        stack.push_back(static_cast<std::int32_t>(n));
        i += 5;
      }
      if (stack.size() > 64)
        return false;
      continue;
    }
    if (v == 12) {
      if (i + 1 >= cs.size())
        return false;
      const int op = static_cast<unsigned char>(cs[i + 1]);
      i += 2;
      if (op == 6) { // seac: asb adx ady bchar achar
        if (stack.size() < 5)
          return false;
        const double a = stack[stack.size() - 1];
        const double b = stack[stack.size() - 2];
        if (a < 0 || a > 255 || b < 0 || b > 255 || a != static_cast<int>(a) ||
            b != static_cast<int>(b))
          return false;
        seac = true;
        base = static_cast<int>(b);
        accent = static_cast<int>(a);
        stack.clear();
      } else if (op == 12) { // div
        if (stack.size() < 2)
          return false;
        const double d = pop(stack);
        const double n = pop(stack);
        stack.push_back(d != 0 ? n / d : 0);
      } else if (op == 16) { // callothersubr: its arguments move to the PostScript stack
        if (stack.size() < 2)
          return false;
        pop(stack);
        const double count = pop(stack);
        if (count < 0 || count > static_cast<double>(stack.size()))
          return false;
        stack.resize(stack.size() - static_cast<std::size_t>(count));
      } else if (op == 17) { // pop: a value back from the PostScript stack
        stack.push_back(0);
      } else {
        stack.clear();
      }
      continue;
    }
    i += 1;
    if (v == 10) { // callsubr
      if (stack.empty())
        return false;
      pop(stack);
    } else if (v != 11) { // return keeps the stack
      stack.clear();
    }
  }
  return true;
}

} // namespace

std::string type1Decrypt(std::string_view data, std::uint16_t key) {
  std::string out(data.size(), '\0');
  std::uint16_t r = key;
  for (std::size_t i = 0; i < data.size(); ++i) {
    const auto c = static_cast<unsigned char>(data[i]);
    out[i] = static_cast<char>(c ^ (r >> 8));
    r = static_cast<std::uint16_t>((c + r) * 52845u + 22719u);
  }
  return out;
}

std::string type1Encrypt(std::string_view data, std::uint16_t key) {
  std::string out(data.size(), '\0');
  std::uint16_t r = key;
  for (std::size_t i = 0; i < data.size(); ++i) {
    const auto c = static_cast<unsigned char>(static_cast<unsigned char>(data[i]) ^ (r >> 8));
    out[i] = static_cast<char>(c);
    r = static_cast<std::uint16_t>((c + r) * 52845u + 22719u);
  }
  return out;
}

std::unique_ptr<Type1Font> Type1Font::parse(std::string_view program, std::size_t length1,
                                            std::size_t length2, std::string& error) {
  auto font = std::unique_ptr<Type1Font>(new Type1Font);
  std::string binary;
  const bool pfb = !program.empty() && static_cast<unsigned char>(program[0]) == 0x80;
  if (pfb ? !unwrapPfb(program, font->clear_, binary, font->trailer_)
          : !splitProgram(program, length1, length2, font->clear_, binary, font->trailer_)) {
    error = "no eexec section";
    return nullptr;
  }
  font->plain_ = type1Decrypt(binary, kEexecKey);
  // The built-in encoding, from the clear part.
  const std::set<std::string> none;
  PsScanner clear(font->clear_, 0, none);
  for (auto t = clear.next(); t.kind != PsScanner::Kind::End; t = clear.next()) {
    if (t.kind != PsScanner::Kind::Name || t.text != "Encoding")
      continue;
    t = clear.next();
    if (t.kind == PsScanner::Kind::Word && t.text == "StandardEncoding") {
      for (int c = 0; c < 256; ++c)
        font->encoding_[static_cast<std::size_t>(c)] =
            kStandardEncoding[c] ? kStandardEncoding[c] : "";
      break;
    }
    // dup <code> /<name> put ... up to def
    long code = -1;
    for (; t.kind != PsScanner::Kind::End && t.kind != PsScanner::Kind::Error; t = clear.next()) {
      if (t.kind == PsScanner::Kind::Word && t.text == "def")
        break;
      if (t.kind == PsScanner::Kind::Number && t.integer)
        code = t.value;
      else if (t.kind == PsScanner::Kind::Name && code >= 0 && code < 256)
        font->encoding_[static_cast<std::size_t>(code)] = std::string(t.text);
      else
        code = -1;
    }
    break;
  }
  if (!font->readPrivate(error) || !font->findComponents(error))
    return nullptr;
  return font;
}

bool Type1Font::readPrivate(std::string& error) {
  const std::set<std::string> rd = binaryWords(plain_);
  PsScanner s(plain_, std::min<std::size_t>(4, plain_.size()), rd);
  enum class State { Before, Header, Entries, After } state = State::Before;
  bool inSubrs = false;
  for (auto t = s.next(); t.kind != PsScanner::Kind::End; t = s.next()) {
    if (t.kind == PsScanner::Kind::Error) {
      error = "unreadable private dictionary";
      return false;
    }
    if (state == State::Entries) {
      if (t.kind == PsScanner::Kind::Name) {
        if (!glyphs_.empty() && glyphs_.back().size == 0)
          break; // an entry without a charstring
        if (!glyphs_.empty())
          glyphs_.back().end = t.begin;
        Glyph g;
        g.name = std::string(t.text);
        g.begin = t.begin;
        glyphs_.push_back(std::move(g));
      } else if (t.kind == PsScanner::Kind::Binary) {
        if (glyphs_.empty() || glyphs_.back().size != 0)
          break;
        glyphs_.back().data = static_cast<std::size_t>(t.text.data() - plain_.data());
        glyphs_.back().size = t.text.size();
      } else if (t.kind == PsScanner::Kind::Word && t.text == "end") {
        if (glyphs_.empty() || glyphs_.back().size == 0)
          break;
        glyphs_.back().end = t.begin;
        entriesEnd_ = t.begin;
        state = State::After;
      }
      continue;
    }
    if (t.kind == PsScanner::Kind::Binary) {
      if (state == State::Header)
        break;
      if (inSubrs || state == State::After)
        subrs_.emplace_back(static_cast<std::size_t>(t.text.data() - plain_.data()), t.text.size());
    } else if (t.kind == PsScanner::Kind::Name && state == State::Header) {
      entriesBegin_ = t.begin;
      state = State::Entries;
      Glyph g;
      g.name = std::string(t.text);
      g.begin = t.begin;
      glyphs_.push_back(std::move(g));
    } else if (t.kind == PsScanner::Kind::Name && t.text == "lenIV") {
      const auto v = s.next();
      if (v.kind == PsScanner::Kind::Number && v.integer)
        lenIV_ = static_cast<int>(v.value);
    } else if (t.kind == PsScanner::Kind::Name && t.text == "Subrs") {
      inSubrs = true;
    } else if (t.kind == PsScanner::Kind::Name && t.text == "CharStrings" &&
               state == State::Before) {
      const auto count = s.next();
      if (count.kind != PsScanner::Kind::Number || !count.integer)
        continue;
      countBegin_ = count.begin;
      countEnd_ = count.begin + count.text.size();
      inSubrs = false;
      state = State::Header;
    }
  }
  if (state != State::After || glyphs_.empty()) {
    error = "no CharStrings dictionary";
    return false;
  }
  if (lenIV_ > 64) {
    error = "lenIV out of range";
    return false;
  }
  for (std::uint32_t i = 0; i < glyphs_.size(); ++i)
    byName_.emplace(glyphs_[i].name, i);
  return true;
}

bool Type1Font::findComponents(std::string& error) {
  auto plainCharstring = [this](std::size_t data, std::size_t size) {
    const std::string_view raw(plain_.data() + data, size);
    if (lenIV_ < 0)
      return std::string(raw);
    const std::string decrypted = type1Decrypt(raw, kCharstringKey);
    const auto skip = std::min(decrypted.size(), static_cast<std::size_t>(lenIV_));
    return decrypted.substr(skip);
  };
  // An accent hidden in a subroutine could not be followed.
  for (const auto& [data, size] : subrs_) {
    bool seac = false;
    int base = 0, accent = 0;
    if (findSeac(plainCharstring(data, size), seac, base, accent) && seac) {
      error = "seac inside Subrs";
      return false;
    }
  }
  for (Glyph& g : glyphs_) {
    bool seac = false;
    int base = 0, accent = 0;
    if (!findSeac(plainCharstring(g.data, g.size), seac, base, accent)) {
      error = "unreadable charstring of /" + g.name;
      return false;
    }
    if (!seac)
      continue;
    auto component = [this](int code) -> std::int32_t {
      const char* name = kStandardEncoding[code];
      const auto index = name ? glyphIndex(name) : std::nullopt;
      return index ? static_cast<std::int32_t>(*index) : -1;
    };
    g.base = component(base);
    g.accent = component(accent);
  }
  return true;
}

std::optional<std::uint32_t> Type1Font::glyphIndex(std::string_view name) const {
  const auto it = byName_.find(std::string(name));
  if (it == byName_.end())
    return std::nullopt;
  return it->second;
}

void Type1Font::addComponents(std::vector<bool>& keep) const {
  keep.resize(glyphs_.size(), false);
  if (const auto notdef = glyphIndex(".notdef"))
    keep[*notdef] = true;
  // Components are plain glyphs (seac does not nest), so one pass is enough.
  const std::vector<bool> asked = keep;
  for (std::size_t i = 0; i < glyphs_.size(); ++i) {
    if (!asked[i])
      continue;
    if (glyphs_[i].base >= 0)
      keep[static_cast<std::size_t>(glyphs_[i].base)] = true;
    if (glyphs_[i].accent >= 0)
      keep[static_cast<std::size_t>(glyphs_[i].accent)] = true;
  }
}

Type1Font::Subset Type1Font::subset(const std::vector<bool>& keep) const {
  std::string plain;
  plain.reserve(plain_.size());
  std::size_t kept = 0;
  for (std::size_t i = 0; i < glyphs_.size(); ++i)
    kept += i < keep.size() && keep[i] ? 1 : 0;
  plain.append(plain_, 0, countBegin_);
  plain += std::to_string(kept);
  plain.append(plain_, countEnd_, entriesBegin_ - countEnd_);
  for (std::size_t i = 0; i < glyphs_.size(); ++i) {
    if (i < keep.size() && keep[i])
      plain.append(plain_, glyphs_[i].begin, glyphs_[i].end - glyphs_[i].begin);
  }
  plain.append(plain_, entriesEnd_, std::string::npos);
  Subset out;
  const std::string binary = type1Encrypt(plain, kEexecKey);
  out.program = clear_ + binary + trailer_;
  out.length1 = clear_.size();
  out.length2 = binary.size();
  out.length3 = trailer_.size();
  return out;
}

} // namespace sundrel::tovix
