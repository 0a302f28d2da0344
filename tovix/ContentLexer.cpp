#include "tovix/ContentLexer.h"

#include <cstdlib>

namespace sundrel::tovix {

namespace {

// Character classes: 1 white space, 2 delimiter, 0 regular.
struct Classes {
  unsigned char of[256] = {};
  Classes() {
    for (const char c : std::string_view(" \n\r\t\f\0", 6))
      of[static_cast<unsigned char>(c)] = 1;
    for (const char c : std::string_view("()<>[]{}/%"))
      of[static_cast<unsigned char>(c)] = 2;
  }
};
const Classes kClasses;

bool isSpace(char c) {
  return kClasses.of[static_cast<unsigned char>(c)] == 1;
}
bool isDelimiter(char c) {
  return kClasses.of[static_cast<unsigned char>(c)] == 2;
}
bool isRegular(char c) {
  return kClasses.of[static_cast<unsigned char>(c)] == 0;
}
int hexValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

class Lexer {
public:
  Lexer(std::string_view text, ContentHandler& handler) : s_(text), handler_(handler) {}

  bool run() {
    while (true) {
      skipSpace();
      if (i_ >= s_.size())
        return opens_.empty();
      const char c = s_[i_];
      bool ok = true;
      if (c == '/')
        ok = name();
      else if (c == '(')
        ok = literal();
      else if (c == '<' && i_ + 1 < s_.size() && s_[i_ + 1] == '<')
        ok = open(ContentOperand::Kind::Dictionary, 2);
      else if (c == '>' && i_ + 1 < s_.size() && s_[i_ + 1] == '>')
        ok = close(ContentOperand::Kind::Dictionary, 2);
      else if (c == '<')
        ok = hex();
      else if (c == '[')
        ok = open(ContentOperand::Kind::Array, 1);
      else if (c == ']')
        ok = close(ContentOperand::Kind::Array, 1);
      else if (isRegular(c))
        ok = word();
      else
        ok = false; // braces, a lone ')' or '>'
      if (!ok)
        return false;
    }
  }

private:
  void skipSpace() {
    while (i_ < s_.size()) {
      if (isSpace(s_[i_])) {
        ++i_;
      } else if (s_[i_] == '%') {
        while (i_ < s_.size() && s_[i_] != '\n' && s_[i_] != '\r')
          ++i_;
      } else {
        return;
      }
    }
  }

  ContentOperand& push(ContentOperand::Kind kind) {
    operands_.emplace_back();
    operands_.back().kind = kind;
    return operands_.back();
  }

  bool name() {
    ContentOperand& op = push(ContentOperand::Kind::Name);
    for (++i_; i_ < s_.size() && isRegular(s_[i_]); ++i_) {
      if (s_[i_] == '#' && i_ + 2 < s_.size() && hexValue(s_[i_ + 1]) >= 0 &&
          hexValue(s_[i_ + 2]) >= 0) {
        op.text += static_cast<char>(hexValue(s_[i_ + 1]) * 16 + hexValue(s_[i_ + 2]));
        i_ += 2;
      } else {
        op.text += s_[i_];
      }
    }
    return true;
  }

  bool literal() {
    std::string text, written;
    bool bareReturn = false;
    int depth = 1;
    for (++i_; i_ < s_.size(); ++i_) {
      const char c = s_[i_];
      if (c == '\\') {
        if (++i_ >= s_.size())
          return false;
        const char e = s_[i_];
        char out = e;
        switch (e) {
        case 'n':
          out = '\n';
          break;
        case 'r':
          out = '\r';
          break;
        case 't':
          out = '\t';
          break;
        case 'b':
          out = '\b';
          break;
        case 'f':
          out = '\f';
          break;
        case '\r':
          if (i_ + 1 < s_.size() && s_[i_ + 1] == '\n')
            ++i_;
          continue;
        case '\n':
          continue;
        default:
          if (e >= '0' && e <= '7') {
            int value = e - '0';
            for (int k = 0; k < 2 && i_ + 1 < s_.size() && s_[i_ + 1] >= '0' && s_[i_ + 1] <= '7';
                 ++k)
              value = value * 8 + (s_[++i_] - '0');
            out = static_cast<char>(value & 0xFF);
          }
        }
        text += out;
        written += out;
        continue;
      }
      if (c == '(') {
        ++depth;
      } else if (c == ')' && --depth == 0) {
        ++i_;
        addString(std::move(text), bareReturn ? &written : nullptr);
        return true;
      }
      if (c == '\r') { // an end of line in a string reads as one line feed
        bareReturn = true;
        written += c;
        if (i_ + 1 < s_.size() && s_[i_ + 1] == '\n')
          written += s_[++i_];
        text += '\n';
        continue;
      }
      text += c;
      written += c;
    }
    return false;
  }

  bool hex() {
    std::string text;
    int high = -1;
    for (++i_; i_ < s_.size(); ++i_) {
      const char c = s_[i_];
      if (c == '>') {
        ++i_;
        if (high >= 0)
          text += static_cast<char>(high * 16);
        addString(std::move(text), nullptr);
        return true;
      }
      if (isSpace(c))
        continue;
      const int v = hexValue(c);
      if (v < 0)
        return false;
      if (high < 0) {
        high = v;
      } else {
        text += static_cast<char>(high * 16 + v);
        high = -1;
      }
    }
    return false;
  }

  void addString(std::string text, const std::string* written) {
    if (!opens_.empty() && opens_.back().kind == ContentOperand::Kind::Array) {
      auto& strings = operands_[opens_.back().at].strings;
      strings.push_back(std::move(text));
      if (written)
        strings.push_back(*written);
      return;
    }
    ContentOperand& op = push(ContentOperand::Kind::String);
    op.text = std::move(text);
    if (written) {
      op.hasAlternative = true;
      op.alternative = *written;
    }
  }

  bool open(ContentOperand::Kind kind, std::size_t length) {
    i_ += length;
    if (!opens_.empty() && opens_.back().kind == ContentOperand::Kind::Array) {
      opens_.push_back({kind, opens_.back().at}); // nested: strings go to the outer array
      return opens_.size() < 64;
    }
    push(kind);
    opens_.push_back({kind, operands_.size() - 1});
    return opens_.size() < 64;
  }

  bool close(ContentOperand::Kind kind, std::size_t length) {
    i_ += length;
    if (opens_.empty() || opens_.back().kind != kind)
      return false;
    const std::size_t at = opens_.back().at;
    opens_.pop_back();
    // Whatever came inside is folded into the opening operand.
    if (opens_.empty() || opens_.back().at != at)
      operands_.resize(at + 1);
    return true;
  }

  bool word() {
    const std::size_t start = i_;
    while (i_ < s_.size() && isRegular(s_[i_]))
      ++i_;
    const std::string_view w = s_.substr(start, i_ - start);
    const char c = w[0];
    if ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.') {
      push(ContentOperand::Kind::Number).raw = w;
      return true;
    }
    if (w == "true" || w == "false" || w == "null") {
      push(ContentOperand::Kind::Other);
      return true;
    }
    if (!opens_.empty())
      return false; // an operator inside an array or dictionary
    if (w == "ID")
      return imageData();
    if (w != "BI")
      handler_.onOperator(w, operands_);
    operands_.clear();
    return true;
  }

  // The bytes of an inline image, up to its EI: by its size when it is
  // stored plainly, else at the first EI between blanks.
  bool imageData() {
    std::size_t length = plainImageLength();
    operands_.clear();
    if (i_ < s_.size())
      ++i_; // the one blank after ID
    auto endsAt = [this](std::size_t at) {
      return at + 1 < s_.size() && s_[at] == 'E' && s_[at + 1] == 'I' &&
             (at + 2 == s_.size() || isSpace(s_[at + 2]) || isDelimiter(s_[at + 2]));
    };
    if (length != 0 && i_ + length <= s_.size()) {
      std::size_t at = i_ + length;
      while (at < s_.size() && isSpace(s_[at]))
        ++at;
      if (endsAt(at)) {
        i_ = at + 2;
        return true;
      }
    }
    for (std::size_t at = i_; at + 1 < s_.size(); ++at) {
      if ((at == i_ || isSpace(s_[at - 1])) && endsAt(at)) {
        i_ = at + 2;
        return true;
      }
    }
    return false;
  }

  std::size_t plainImageLength() const {
    double width = 0, height = 0, bits = 0, components = 0;
    bool mask = false;
    auto number = [](const ContentOperand& op) {
      return op.kind == ContentOperand::Kind::Number ? std::atof(std::string(op.raw).c_str()) : 0;
    };
    for (std::size_t k = 0; k + 1 < operands_.size(); k += 2) {
      const std::string& key = operands_[k].text;
      const ContentOperand& value = operands_[k + 1];
      if (key == "F" || key == "Filter")
        return 0;
      if (key == "W" || key == "Width")
        width = number(value);
      else if (key == "H" || key == "Height")
        height = number(value);
      else if (key == "BPC" || key == "BitsPerComponent")
        bits = number(value);
      else if (key == "IM" || key == "ImageMask")
        mask = true;
      else if (key == "CS" || key == "ColorSpace") {
        const std::string& cs = value.text;
        components = value.kind == ContentOperand::Kind::Array ? 1
                     : cs == "G" || cs == "DeviceGray"         ? 1
                     : cs == "RGB" || cs == "DeviceRGB"        ? 3
                     : cs == "CMYK" || cs == "DeviceCMYK"      ? 4
                     : cs == "I" || cs == "Indexed"            ? 1
                                                               : 0;
      }
    }
    if (mask) {
      bits = 1;
      components = 1;
    }
    if (!(width > 0 && width <= 1e6 && height > 0 && height <= 1e6 && bits > 0 && bits <= 32 &&
          components > 0))
      return 0;
    const auto row = static_cast<std::size_t>((width * components * bits + 7) / 8);
    return row * static_cast<std::size_t>(height);
  }

  struct Open {
    ContentOperand::Kind kind;
    std::size_t at;
  };
  std::string_view s_;
  std::size_t i_ = 0;
  ContentHandler& handler_;
  std::vector<ContentOperand> operands_;
  std::vector<Open> opens_;
};

} // namespace

bool readContent(std::string_view content, ContentHandler& handler) {
  Lexer lexer(content, handler);
  return lexer.run();
}

} // namespace sundrel::tovix
