// Copies of a CFF font with fewer glyphs drawn, and the glyphs that
// accented glyphs are built from.

#include "tovix/CffData.h"
#include "tovix/CffFont.h"
#include "tovix/FontTables.h"

namespace sundrel::tovix {

using namespace cff;

namespace {

void putInt5(std::string& out, double value) {
  const auto v = static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
  out += static_cast<char>(29);
  for (int shift = 24; shift >= 0; shift -= 8)
    out += static_cast<char>((v >> shift) & 0xFF);
}

std::string makeIndex(const std::vector<std::string_view>& items) {
  std::size_t total = 1;
  for (const auto& item : items)
    total += item.size();
  const int offSize = total < 0x100 ? 1 : total < 0x10000 ? 2 : total < 0x1000000 ? 3 : 4;
  std::string out;
  out += static_cast<char>(items.size() >> 8);
  out += static_cast<char>(items.size() & 0xFF);
  if (items.empty())
    return out;
  out += static_cast<char>(offSize);
  std::size_t offset = 1;
  auto putOffset = [&] {
    for (int shift = 8 * (offSize - 1); shift >= 0; shift -= 8)
      out += static_cast<char>((offset >> shift) & 0xFF);
  };
  putOffset();
  for (const auto& item : items) {
    offset += item.size();
    putOffset();
  }
  for (const auto& item : items)
    out.append(item.data(), item.size());
  return out;
}

std::size_t indexSize(std::size_t count, std::size_t dataBytes) {
  if (count == 0)
    return 2;
  const std::size_t total = dataBytes + 1;
  const std::size_t offSize = total < 0x100 ? 1 : total < 0x10000 ? 2 : total < 0x1000000 ? 3 : 4;
  return 3 + (count + 1) * offSize + dataBytes;
}

std::uint32_t subrBias(std::size_t count) {
  return count < 1240 ? 107 : count < 33900 ? 1131 : 32768;
}

// Follows a Type 2 charstring far enough to find an accented glyph (endchar
// with four operands), counting stems so that hint masks are skipped right.
class AccentScan {
public:
  AccentScan(std::string_view data, const std::vector<std::pair<std::size_t, std::size_t>>& global,
             const std::vector<std::pair<std::size_t, std::size_t>>& local)
      : data_(data), global_(global), local_(local) {}

  // False when the charstring cannot be followed.
  bool run(std::size_t begin, std::size_t size, int& base, int& accent) {
    base = accent = -1;
    done_ = false;
    return call(begin, size, 0, base, accent);
  }

private:
  bool call(std::size_t begin, std::size_t size, int depth, int& base, int& accent) {
    if (depth > 10)
      return false;
    const std::size_t end = begin + size;
    for (std::size_t i = begin; i < end && !done_;) {
      if (++steps_ > 200000)
        return false;
      const int v = static_cast<unsigned char>(data_[i]);
      if (v >= 32 || v == 28) {
        std::size_t length = v <= 246 ? 1 : v <= 254 ? 2 : 5;
        if (v == 28)
          length = 3;
        if (i + length > end)
          return false;
        double value = v - 139;
        if (v == 28)
          value = static_cast<std::int16_t>(u16(data_, i + 1));
        else if (v >= 247 && v <= 250)
          value = (v - 247) * 256 + static_cast<unsigned char>(data_[i + 1]) + 108;
        else if (v >= 251 && v <= 254)
          value = -(v - 251) * 256 - static_cast<unsigned char>(data_[i + 1]) - 108;
        else if (v == 255)
          value = static_cast<std::int32_t>(uN(data_, i + 1, 4)) / 65536.0;
        stack_.push_back(value);
        if (stack_.size() > 96)
          return false;
        i += length;
        continue;
      }
      ++i;
      if (v == 10 || v == 29) { // callsubr, callgsubr
        if (stack_.empty())
          return false;
        const auto& subrs = v == 10 ? local_ : global_;
        const double n = stack_.back() + subrBias(subrs.size());
        stack_.pop_back();
        if (n < 0 || n >= static_cast<double>(subrs.size()))
          return false;
        const auto& subr = subrs[static_cast<std::size_t>(n)];
        if (!call(subr.first, subr.second, depth + 1, base, accent))
          return false;
      } else if (v == 11) { // return
        return true;
      } else if (v == 14) { // endchar
        if (stack_.size() >= 4) {
          base = static_cast<int>(stack_[stack_.size() - 2]);
          accent = static_cast<int>(stack_[stack_.size() - 1]);
        }
        done_ = true;
      } else if (v == 1 || v == 3 || v == 18 || v == 23) { // stems
        stems_ += stack_.size() / 2;
        stack_.clear();
      } else if (v == 19 || v == 20) { // hintmask, cntrmask
        stems_ += stack_.size() / 2;
        stack_.clear();
        i += (stems_ + 7) / 8;
      } else if (v == 12) {
        if (i >= end)
          return false;
        const int op = static_cast<unsigned char>(data_[i++]);
        if (op != 0 && (op < 34 || op > 37))
          return false; // arithmetic and storage: not followed
        stack_.clear();
      } else {
        stack_.clear();
      }
    }
    return true;
  }

  std::string_view data_;
  const std::vector<std::pair<std::size_t, std::size_t>>& global_;
  const std::vector<std::pair<std::size_t, std::size_t>>& local_;
  std::vector<double> stack_;
  std::size_t stems_ = 0;
  std::size_t steps_ = 0;
  bool done_ = false;
};

} // namespace

bool CffFont::findAccents(std::string& error) {
  accents_.assign(charstrings_.size(), {-1, -1});
  if (cidKeyed_)
    return true; // CID-keyed fonts have no accented glyphs of this kind
  using Items = std::vector<std::pair<std::size_t, std::size_t>>;
  Items global, local;
  for (const Range& r : globalItems_)
    global.emplace_back(r.begin, r.size);
  for (const Range& r : private_.subrItems)
    local.emplace_back(r.begin, r.size);
  for (std::size_t g = 0; g < charstrings_.size(); ++g) {
    AccentScan scan(data_, global, local);
    int base = -1, accent = -1;
    if (!scan.run(charstrings_[g].begin, charstrings_[g].size, base, accent)) {
      error = "charstring " + std::to_string(g) + " could not be followed";
      return false;
    }
    if (base < 0)
      continue;
    auto glyph = [this](int code) -> std::int32_t {
      const char* name = code >= 0 && code < 256 ? kStandardEncoding[code] : nullptr;
      const auto gid = name ? glyphByName(name) : std::nullopt;
      return gid ? static_cast<std::int32_t>(*gid) : -1;
    };
    accents_[g] = {glyph(base), glyph(accent)};
  }
  return true;
}

void CffFont::addComponents(std::vector<bool>& keep) const {
  keep.resize(charstrings_.size(), false);
  keep[0] = true;
  const std::vector<bool> asked = keep;
  for (std::size_t g = 0; g < charstrings_.size(); ++g) {
    if (!asked[g])
      continue;
    for (const std::int32_t part : {accents_[g].first, accents_[g].second}) {
      if (part >= 0)
        keep[static_cast<std::size_t>(part)] = true;
    }
  }
}

std::string
CffFont::encodedDict(const Dict& dict,
                     const std::unordered_map<int, std::vector<double>>& replaced) const {
  std::string out;
  for (const DictEntry& e : dict.entries) {
    const auto it = replaced.find(e.op);
    if (it != replaced.end()) {
      for (const double v : it->second)
        putInt5(out, v);
    } else {
      out.append(data_, e.operands.begin, e.operands.size);
    }
    if (e.op >= 1200) {
      out += static_cast<char>(12);
      out += static_cast<char>(e.op - 1200);
    } else {
      out += static_cast<char>(e.op);
    }
  }
  return out;
}

std::vector<const CffFont::PrivateDict*> CffFont::privateDicts() const {
  std::vector<const PrivateDict*> privates;
  if (cidKeyed_) {
    for (const PrivateDict& p : fdPrivates_)
      privates.push_back(&p);
  } else {
    privates.push_back(&private_);
  }
  return privates;
}

// Each Private DICT with its local Subrs right after it.
std::vector<std::string> CffFont::encodedPrivates() const {
  std::vector<std::string> privateBytes;
  for (const PrivateDict* p : privateDicts()) {
    std::unordered_map<int, std::vector<double>> subrs;
    if (p->subrs.size > 0)
      subrs[kSubrs] = {0};
    const std::size_t size = encodedDict(p->parsed, subrs).size();
    if (p->subrs.size > 0)
      subrs[kSubrs] = {static_cast<double>(size)};
    privateBytes.push_back(encodedDict(p->parsed, subrs));
  }
  return privateBytes;
}

std::string CffFont::charstringsIndex(const std::vector<bool>& keep) const {
  static const char endchar[] = {kEndchar};
  std::vector<std::string_view> glyphs;
  glyphs.reserve(charstrings_.size());
  for (std::size_t g = 0; g < charstrings_.size(); ++g) {
    if (g < keep.size() && keep[g])
      glyphs.emplace_back(data_.data() + charstrings_[g].begin, charstrings_[g].size);
    else
      glyphs.emplace_back(endchar, 1);
  }
  return makeIndex(glyphs);
}

std::string CffFont::subset(const std::vector<bool>& keep) const {
  // Every offset is written in five bytes, so sizes are known before the
  // offsets are: lay out once with zeros, then with the real values.
  const bool customCharset = charset_.size > 0;
  const bool customEncoding = encodingData_.size > 0;
  const std::vector<const PrivateDict*> privates = privateDicts();
  const std::vector<std::string> privateBytes = encodedPrivates();
  std::unordered_map<int, std::vector<double>> topValues;
  topValues[kCharStrings] = {0};
  if (customCharset)
    topValues[kCharset] = {0};
  if (customEncoding)
    topValues[kEncoding] = {0};
  if (cidKeyed_) {
    topValues[kFdArray] = {0};
    topValues[kFdSelect] = {0};
  } else {
    topValues[kPrivate] = {0, 0};
  }
  const std::size_t topSize = encodedDict(top_, topValues).size();
  std::size_t pos =
      names_.begin + names_.size + indexSize(1, topSize) + strings_.size + globalSubrs_.size;
  auto place = [&pos](std::size_t size) {
    const std::size_t at = pos;
    pos += size;
    return static_cast<double>(at);
  };
  if (customCharset)
    topValues[kCharset] = {place(charset_.size)};
  if (customEncoding)
    topValues[kEncoding] = {place(encodingData_.size)};
  std::vector<double> privateAt;
  std::string fdArray;
  if (cidKeyed_) {
    topValues[kFdSelect] = {place(fdSelect_.size)};
    std::vector<std::string> dicts;
    std::size_t total = 0;
    for (const Dict& fd : fontDicts_) {
      dicts.push_back(encodedDict(fd, {{kPrivate, {0, 0}}}));
      total += dicts.back().size();
    }
    topValues[kFdArray] = {place(indexSize(dicts.size(), total))};
    for (std::size_t i = 0; i < privates.size(); ++i)
      privateAt.push_back(place(privateBytes[i].size() + privates[i]->subrs.size));
    std::vector<std::string_view> views;
    for (std::size_t i = 0; i < fontDicts_.size(); ++i) {
      dicts[i] = encodedDict(
          fontDicts_[i], {{kPrivate, {static_cast<double>(privateBytes[i].size()), privateAt[i]}}});
      views.push_back(dicts[i]);
    }
    fdArray = makeIndex(views);
  } else {
    privateAt.push_back(place(privateBytes[0].size() + private_.subrs.size));
    topValues[kPrivate] = {static_cast<double>(privateBytes[0].size()), privateAt[0]};
  }
  topValues[kCharStrings] = {static_cast<double>(pos)};

  std::string out(data_, 0, names_.begin + names_.size);
  const std::string top = encodedDict(top_, topValues);
  out += makeIndex({top});
  out.append(data_, strings_.begin, strings_.size + globalSubrs_.size);
  if (customCharset)
    out.append(data_, charset_.begin, charset_.size);
  if (customEncoding)
    out.append(data_, encodingData_.begin, encodingData_.size);
  if (cidKeyed_) {
    out.append(data_, fdSelect_.begin, fdSelect_.size);
    out += fdArray;
  }
  for (std::size_t i = 0; i < privates.size(); ++i) {
    out += privateBytes[i];
    out.append(data_, privates[i]->subrs.begin, privates[i]->subrs.size);
  }
  return out + charstringsIndex(keep);
}

} // namespace sundrel::tovix
