#include "tovix/CffFont.h"

#include "tovix/CffData.h"
#include "tovix/FontTables.h"

#include <algorithm>

namespace sundrel::tovix {

using namespace cff;

namespace {

// A DICT operand taken as an offset or a size: what does not fit the font
// (negative, fractional or too large) becomes an offset past its end, which
// every reader refuses.
std::size_t offsetOf(double value, std::size_t fontSize) {
  if (!(value >= 0) || value > static_cast<double>(fontSize) ||
      value != static_cast<double>(static_cast<std::size_t>(value)))
    return fontSize + 1;
  return static_cast<std::size_t>(value);
}

} // namespace

const CffFont::DictEntry* CffFont::Dict::find(int op) const {
  for (const auto& e : entries) {
    if (e.op == op)
      return &e;
  }
  return nullptr;
}

namespace {

template <typename Dict, typename Range> bool parseDict(std::string_view d, Range r, Dict& out) {
  std::size_t i = r.begin;
  const std::size_t end = r.begin + r.size;
  std::size_t operandStart = i;
  std::vector<double> values;
  while (i < end) {
    const int b = static_cast<unsigned char>(d[i]);
    if (b <= 21) {
      const std::size_t opStart = i++;
      int op = b;
      if (b == 12) {
        if (i >= end)
          return false;
        op = 1200 + static_cast<unsigned char>(d[i++]);
      }
      out.entries.push_back({op, {operandStart, opStart - operandStart}, values});
      values.clear();
      operandStart = i;
    } else if (b == 28 || b == 29) {
      const std::size_t n = b == 28 ? 2 : 4;
      if (i + 1 + n > end)
        return false;
      values.push_back(b == 28 ? static_cast<std::int16_t>(u16(d, i + 1))
                               : static_cast<std::int32_t>(uN(d, i + 1, 4)));
      i += 1 + n;
    } else if (b == 30) { // a real: nibbles up to 0xf; never an offset
      for (++i;; ++i) {
        if (i >= end)
          return false;
        const int n = static_cast<unsigned char>(d[i]);
        if ((n & 0x0F) == 0x0F || (n >> 4) == 0x0F)
          break;
      }
      ++i;
      values.push_back(0);
    } else if (b >= 32 && b <= 246) {
      values.push_back(b - 139);
      ++i;
    } else if (b >= 247 && b <= 254) {
      if (i + 2 > end)
        return false;
      const int w = static_cast<unsigned char>(d[i + 1]);
      values.push_back(b <= 250 ? (b - 247) * 256 + w + 108 : -(b - 251) * 256 - w - 108);
      i += 2;
    } else {
      return false;
    }
    if (values.size() > 48)
      return false;
  }
  return true;
}

} // namespace
std::unique_ptr<CffFont> CffFont::parse(std::string_view data, std::string& error) {
  auto font = std::unique_ptr<CffFont>(new CffFont);
  font->data_.assign(data);
  if (!font->readTop(error))
    return nullptr;
  return font;
}

bool CffFont::readTop(std::string& error) {
  const std::string_view d = data_;
  error = "unreadable CFF header";
  if (d.size() < 4 || d[0] != 1)
    return false;
  std::vector<Range> items;
  std::size_t pos = static_cast<unsigned char>(d[2]);
  std::size_t end = 0;
  if (!readIndex(d, pos, items, end) || items.size() != 1)
    return false;
  names_ = {pos, end - pos};
  pos = end;
  std::vector<Range> tops;
  if (!readIndex(d, pos, tops, end) || tops.size() != 1)
    return false;
  topIndex_ = {pos, end - pos};
  pos = end;
  if (!readIndex(d, pos, stringItems_, end))
    return false;
  strings_ = {pos, end - pos};
  pos = end;
  if (!readIndex(d, pos, globalItems_, end))
    return false;
  globalSubrs_ = {pos, end - pos};
  headerEnd_ = end;
  error = "unreadable Top DICT";
  if (!parseDict(d, tops[0], top_))
    return false;
  const DictEntry* type = top_.find(kCharstringType);
  const DictEntry* charStrings = top_.find(kCharStrings);
  if ((type && (type->values.empty() || type->values[0] != 2)) || !charStrings ||
      charStrings->values.empty())
    return false;
  error = "unreadable CharStrings";
  if (!readIndex(d, offsetOf(charStrings->values[0], d.size()), charstrings_, end) ||
      charstrings_.empty())
    return false;
  cidKeyed_ = top_.find(kRos) != nullptr;
  const DictEntry* charset = top_.find(kCharset);
  const DictEntry* encoding = top_.find(kEncoding);
  if (!readCharset(charset && !charset->values.empty() ? offsetOf(charset->values[0], d.size()) : 0,
                   error))
    return false;
  if (cidKeyed_) {
    if (!readCidParts(error))
      return false;
  } else {
    if (!readEncoding(
            encoding && !encoding->values.empty() ? offsetOf(encoding->values[0], d.size()) : 0,
            error) ||
        !readPrivate(top_, private_, error))
      return false;
  }
  return findAccents(error);
}

bool CffFont::readCharset(std::size_t offset, std::string& error) {
  const std::string_view d = data_;
  const std::size_t n = charstrings_.size();
  sids_.assign(1, 0);
  error = "unreadable charset";
  if (offset == 0 && !cidKeyed_) { // ISOAdobe: SIDs in glyph order
    for (std::size_t g = 1; g < n; ++g)
      sids_.push_back(static_cast<std::uint16_t>(g));
  } else if (offset <= 2 || offset >= d.size()) {
    return false; // the expert charsets are not known here
  } else {
    const int format = static_cast<unsigned char>(d[offset]);
    std::size_t pos = offset + 1;
    while (sids_.size() < n) {
      if (format == 0) {
        if (pos + 2 > d.size())
          return false;
        sids_.push_back(static_cast<std::uint16_t>(u16(d, pos)));
        pos += 2;
        continue;
      }
      if (format != 1 && format != 2)
        return false;
      const std::size_t width = format == 1 ? 1 : 2;
      if (pos + 2 + width > d.size())
        return false;
      const std::uint32_t first = u16(d, pos);
      const std::uint32_t left = uN(d, pos + 2, static_cast<int>(width));
      pos += 2 + width;
      for (std::uint32_t k = 0; k <= left && sids_.size() < n; ++k)
        sids_.push_back(static_cast<std::uint16_t>(first + k));
    }
    charset_ = {offset, pos - offset};
  }
  for (std::uint32_t g = 0; g < sids_.size(); ++g) {
    if (cidKeyed_)
      byCid_.emplace(sids_[g], g);
    else
      byName_.emplace(glyphName(g), g);
  }
  return true;
}

bool CffFont::readEncoding(std::size_t offset, std::string& error) {
  const std::string_view d = data_;
  error = "unreadable encoding";
  if (offset == 0) {
    for (int c = 0; c < 256; ++c) {
      if (kStandardEncoding[c] != nullptr)
        encoding_[static_cast<std::size_t>(c)] = glyphByName(kStandardEncoding[c]);
    }
    return true;
  }
  if (offset == 1) { // Expert: not known here
    encodingKnown_ = false;
    return true;
  }
  if (offset >= d.size())
    return false;
  const int format = static_cast<unsigned char>(d[offset]);
  std::size_t pos = offset + 1;
  if (pos >= d.size())
    return false;
  const int count = static_cast<unsigned char>(d[pos++]);
  std::uint32_t gid = 1;
  if ((format & 0x7F) == 0) {
    if (pos + static_cast<std::size_t>(count) > d.size())
      return false;
    for (int i = 0; i < count; ++i)
      encoding_[static_cast<unsigned char>(d[pos++])] = gid++;
  } else if ((format & 0x7F) == 1) {
    if (pos + 2 * static_cast<std::size_t>(count) > d.size())
      return false;
    for (int i = 0; i < count; ++i, pos += 2) {
      const int first = static_cast<unsigned char>(d[pos]);
      const int left = static_cast<unsigned char>(d[pos + 1]);
      for (int c = first; c <= first + left && c < 256; ++c)
        encoding_[static_cast<std::size_t>(c)] = gid++;
    }
  } else {
    return false;
  }
  if ((format & 0x80) != 0) { // supplements: code -> SID
    if (pos >= d.size())
      return false;
    const int sups = static_cast<unsigned char>(d[pos++]);
    if (pos + 3 * static_cast<std::size_t>(sups) > d.size())
      return false;
    for (int i = 0; i < sups; ++i, pos += 3) {
      const std::uint32_t sid = u16(d, pos + 1);
      for (std::uint32_t g = 0; g < sids_.size(); ++g) {
        if (sids_[g] == sid)
          encoding_[static_cast<unsigned char>(d[pos])] = g;
      }
    }
  }
  for (auto& e : encoding_) {
    if (e && *e >= charstrings_.size())
      e.reset();
  }
  encodingData_ = {offset, pos - offset};
  return true;
}

bool CffFont::readPrivate(const Dict& owner, PrivateDict& into, std::string& error) {
  error = "unreadable Private DICT";
  const DictEntry* entry = owner.find(kPrivate);
  if (!entry || entry->values.size() != 2 || entry->values[0] < 0 || entry->values[1] < 0)
    return false;
  const std::size_t size = offsetOf(entry->values[0], data_.size());
  const std::size_t offset = offsetOf(entry->values[1], data_.size());
  if (offset > data_.size() || size > data_.size() - offset)
    return false;
  into.dict = {offset, size};
  if (!parseDict(data_, into.dict, into.parsed))
    return false;
  if (const DictEntry* subrs = into.parsed.find(kSubrs)) {
    if (subrs->values.size() != 1 || subrs->values[0] <= 0)
      return false;
    const std::size_t at = offset + offsetOf(subrs->values[0], data_.size());
    std::size_t end = 0;
    if (!readIndex(std::string_view(data_), at, into.subrItems, end))
      return false;
    into.subrs = {at, end - at};
  }
  return true;
}

bool CffFont::readCidParts(std::string& error) {
  const std::string_view d = data_;
  error = "unreadable FDArray";
  const DictEntry* fdArray = top_.find(kFdArray);
  const DictEntry* fdSelect = top_.find(kFdSelect);
  if (!fdArray || !fdSelect || fdArray->values.size() != 1 || fdSelect->values.size() != 1)
    return false;
  std::vector<Range> dicts;
  std::size_t end = 0;
  if (!readIndex(d, offsetOf(fdArray->values[0], d.size()), dicts, end) || dicts.empty())
    return false;
  for (const Range& r : dicts) {
    Dict dict;
    PrivateDict priv;
    if (!parseDict(d, r, dict) || !readPrivate(dict, priv, error))
      return false;
    fontDicts_.push_back(std::move(dict));
    fdPrivates_.push_back(std::move(priv));
  }
  error = "unreadable FDSelect";
  const std::size_t at = offsetOf(fdSelect->values[0], d.size());
  if (at >= d.size())
    return false;
  const int format = static_cast<unsigned char>(d[at]);
  std::size_t size = 0;
  if (format == 0) {
    size = 1 + charstrings_.size();
  } else if (format == 3) {
    if (at + 3 > d.size())
      return false;
    size = 1 + 2 + 3 * static_cast<std::size_t>(u16(d, at + 1)) + 2;
  } else {
    return false;
  }
  if (at + size > d.size())
    return false;
  fdSelect_ = {at, size};
  return true;
}

std::optional<std::uint32_t> CffFont::glyphByName(std::string_view name) const {
  const auto it = byName_.find(std::string(name));
  if (it == byName_.end())
    return std::nullopt;
  return it->second;
}

std::string CffFont::glyphName(std::uint32_t gid) const {
  if (gid >= sids_.size())
    return {};
  const std::uint32_t sid = sids_[gid];
  if (sid < kCffStandardStringCount)
    return kCffStandardStrings[sid];
  const std::size_t index = sid - kCffStandardStringCount;
  if (index >= stringItems_.size())
    return {};
  return data_.substr(stringItems_[index].begin, stringItems_[index].size);
}

std::optional<std::uint32_t> CffFont::glyphByCid(std::uint32_t cid) const {
  const auto it = byCid_.find(cid);
  if (it == byCid_.end())
    return std::nullopt;
  return it->second;
}

} // namespace sundrel::tovix
