#include "tovix/InfoText.h"

#include <cstdint>

namespace sundrel::tovix {

namespace {

void appendUtf8(std::string& out, std::uint32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
    cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at `pos`; false when it is malformed.
bool nextCodePoint(const std::string& s, std::size_t& pos, std::uint32_t& cp) {
  const auto b0 = static_cast<unsigned char>(s[pos]);
  int extra = 0;
  if (b0 < 0x80) {
    cp = b0;
  } else if ((b0 & 0xE0) == 0xC0 && b0 >= 0xC2) {
    cp = b0 & 0x1F;
    extra = 1;
  } else if ((b0 & 0xF0) == 0xE0) {
    cp = b0 & 0x0F;
    extra = 2;
  } else if ((b0 & 0xF8) == 0xF0 && b0 <= 0xF4) {
    cp = b0 & 0x07;
    extra = 3;
  } else {
    return false;
  }
  if (pos + static_cast<std::size_t>(extra) >= s.size())
    return false;
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(s[pos + static_cast<std::size_t>(k)]);
    if ((b & 0xC0) != 0x80)
      return false;
    cp = (cp << 6) | (b & 0x3F);
  }
  if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return false;
  pos += static_cast<std::size_t>(extra) + 1;
  return true;
}

bool isValidUtf8(const std::string& s) {
  std::size_t pos = 0;
  std::uint32_t cp = 0;
  while (pos < s.size()) {
    if (!nextCodePoint(s, pos, cp))
      return false;
  }
  return true;
}

} // namespace

std::string toUtf8(const std::string& bytes) {
  if (isValidUtf8(bytes))
    return bytes;
  std::string out;
  for (char c : bytes)
    appendUtf8(out, static_cast<unsigned char>(c));
  return out;
}

std::string decodeReferences(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
      continue;
    }
    const std::size_t semi = text.find(';', i);
    if (semi == std::string::npos || semi - i > 12) {
      out += text[i];
      continue;
    }
    const std::string name = text.substr(i + 1, semi - i - 1);
    static const std::pair<const char*, char> named[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    bool done = false;
    for (const auto& [entity, ch] : named) {
      if (name == entity) {
        out += ch;
        done = true;
      }
    }
    if (!done && name.size() >= 2 && name[0] == '#') {
      const bool hex = name[1] == 'x' || name[1] == 'X';
      const std::size_t start = hex ? 2 : 1;
      std::uint32_t cp = 0;
      bool valid = start < name.size();
      for (std::size_t k = start; k < name.size() && valid; ++k) {
        const char c = name[k];
        int digit = -1;
        if (c >= '0' && c <= '9')
          digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
          digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
          digit = c - 'A' + 10;
        valid = digit >= 0 && cp <= 0x10FFFF;
        cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit < 0 ? 0 : digit);
      }
      if (valid && cp != 0) {
        appendUtf8(out, cp);
        done = true;
      }
    }
    if (done)
      i = semi;
    else
      out += text[i];
  }
  return out;
}

InfoUpdate parseInfoUpdate(const std::string& text) {
  InfoUpdate update;
  std::string key;
  bool haveKey = false;
  std::size_t lineNo = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos)
      end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (lineNo == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
      line.erase(0, 3);

    auto field = [&](const char* name, std::string& value) {
      const std::string prefix = name;
      if (line.compare(0, prefix.size(), prefix) != 0)
        return false;
      value = line.substr(prefix.size());
      // one separating blank belongs to the syntax; further blanks are data
      if (!value.empty() && value[0] == ' ')
        value.erase(0, 1);
      return true;
    };

    std::string value;
    if (field("InfoKey:", value)) {
      while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.pop_back();
      while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.erase(0, 1);
      if (!value.empty() && value[0] == '/')
        value.erase(0, 1);
      if (haveKey)
        update.problems.push_back("line " + std::to_string(lineNo) + ": InfoKey " + key +
                                  " has no InfoValue");
      key = decodeReferences(toUtf8(value));
      haveKey = !key.empty();
      if (!haveKey)
        update.problems.push_back("line " + std::to_string(lineNo) + ": empty InfoKey");
    } else if (field("InfoValue:", value)) {
      if (!haveKey) {
        update.problems.push_back("line " + std::to_string(lineNo) + ": InfoValue without InfoKey");
        continue;
      }
      update.entries.emplace_back(key, decodeReferences(toUtf8(value)));
      haveKey = false;
    } else if (line.compare(0, 9, "InfoBegin") == 0) {
      if (haveKey)
        update.problems.push_back("line " + std::to_string(lineNo) + ": InfoKey " + key +
                                  " has no InfoValue");
      haveKey = false;
    }
    // Other records (bookmarks, page labels, PdfID, blank lines) are not ours to change.
  }
  if (haveKey)
    update.problems.push_back("InfoKey " + key + " has no InfoValue");
  return update;
}

std::string escapeReportValue(const std::string& utf8, bool asciiOnly) {
  std::string out;
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    std::uint32_t cp = 0;
    if (!nextCodePoint(utf8, pos, cp)) {
      cp = 0xFFFD;
      ++pos;
    }
    if (cp == '\n' || cp == '\r') {
      out += "&#" + std::to_string(cp) + ";";
    } else if (asciiOnly) {
      switch (cp) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        if (cp < 0x80)
          out += static_cast<char>(cp);
        else
          out += "&#" + std::to_string(cp) + ";";
      }
    } else {
      appendUtf8(out, cp);
    }
  }
  return out;
}

} // namespace sundrel::tovix
