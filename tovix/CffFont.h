#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// A bare CFF font program (FontFile3 /Type1C and /CIDFontType0C, and the
// CFF table of an OpenType font). Copies keep every glyph ID, charset,
// encoding, subroutine and dictionary; the charstrings of glyphs not kept
// become a bare endchar, so nothing else in the document changes.
namespace sundrel::tovix {

class CffFont {
public:
  // Null with the reason in `error` when the program is not one this code
  // can rewrite safely.
  static std::unique_ptr<CffFont> parse(std::string_view data, std::string& error);

  std::uint32_t glyphCount() const { return static_cast<std::uint32_t>(charstrings_.size()); }
  bool cidKeyed() const { return cidKeyed_; }
  std::size_t glyphBytes(std::uint32_t gid) const { return charstrings_[gid].size; }
  std::size_t programBytes() const { return data_.size(); }
  // Name-keyed fonts: a glyph by name, a glyph's name, and the font's own
  // encoding (code -> glyph; nothing where none).
  std::optional<std::uint32_t> glyphByName(std::string_view name) const;
  std::string glyphName(std::uint32_t gid) const;
  const std::array<std::optional<std::uint32_t>, 256>& builtinEncoding() const { return encoding_; }
  bool builtinEncodingKnown() const { return encodingKnown_; }
  // CID-keyed fonts: a glyph by CID, and a glyph's CID.
  std::optional<std::uint32_t> glyphByCid(std::uint32_t cid) const;
  std::uint32_t cidOf(std::uint32_t gid) const { return gid < sids_.size() ? sids_[gid] : 0; }

  // Adds .notdef and the base and accent glyphs of kept accented glyphs
  // (endchar with four operands) to `keep`, one flag per glyph.
  void addComponents(std::vector<bool>& keep) const;

  // The program with only the flagged glyphs drawn.
  std::string subset(const std::vector<bool>& keep) const;

private:
  struct Range {
    std::size_t begin = 0, size = 0;
  };
  struct DictEntry {
    int op = 0;
    Range operands;
    std::vector<double> values;
  };
  struct Dict {
    std::vector<DictEntry> entries;
    const DictEntry* find(int op) const;
  };
  struct PrivateDict {
    Range dict;
    Dict parsed;
    Range subrs; // the local Subrs INDEX, empty when none
    std::vector<Range> subrItems;
  };

  bool readTop(std::string& error);
  bool readCharset(std::size_t offset, std::string& error);
  bool readEncoding(std::size_t offset, std::string& error);
  bool readPrivate(const Dict& owner, PrivateDict& into, std::string& error);
  bool readCidParts(std::string& error);
  bool findAccents(std::string& error);
  std::string encodedDict(const Dict& dict,
                          const std::unordered_map<int, std::vector<double>>& replaced) const;
  std::vector<const PrivateDict*> privateDicts() const;
  std::vector<std::string> encodedPrivates() const;
  std::string charstringsIndex(const std::vector<bool>& keep) const;

  std::string data_;
  std::size_t headerEnd_ = 0; // header, Name, Top DICT, String and Global Subr INDEXes
  Range names_, topIndex_, strings_, globalSubrs_;
  Dict top_;
  std::vector<Range> stringItems_, globalItems_, charstrings_;
  std::vector<std::uint16_t> sids_; // per glyph: SID, or CID for CID-keyed fonts
  Range charset_, encodingData_, fdSelect_;
  bool cidKeyed_ = false;
  bool encodingKnown_ = true;
  std::array<std::optional<std::uint32_t>, 256> encoding_{};
  std::unordered_map<std::string, std::uint32_t> byName_;
  std::unordered_map<std::uint32_t, std::uint32_t> byCid_;
  PrivateDict private_;
  std::vector<Dict> fontDicts_; // CID-keyed: the FDArray
  std::vector<PrivateDict> fdPrivates_;
  std::vector<std::pair<std::int32_t, std::int32_t>> accents_; // per glyph: base, accent
};

} // namespace sundrel::tovix
