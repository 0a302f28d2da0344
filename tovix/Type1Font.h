#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// A Type 1 font program as PDF embeds it (FontFile): a clear part, a private
// part under eexec encryption and a trailer. Read once, it gives the glyph
// names, the built-in encoding and the accents that glyphs borrow (seac), and
// writes copies that keep only some glyphs. Subrs and OtherSubrs always stay
// whole, so kept charstrings are copied byte for byte.
namespace sundrel::tovix {

class Type1Font {
public:
  // Reads the program (PFB segments or the PDF layout, binary or hex eexec);
  // null with the reason in `error` when it is not one this code can rewrite
  // safely. `length1` is the PDF's /Length1 (a hint; the text decides).
  static std::unique_ptr<Type1Font> parse(std::string_view program, std::size_t length1,
                                          std::size_t length2, std::string& error);

  std::size_t glyphCount() const { return glyphs_.size(); }
  const std::string& glyphName(std::uint32_t index) const { return glyphs_[index].name; }
  std::optional<std::uint32_t> glyphIndex(std::string_view name) const;
  // What a glyph adds to a copy, and the whole program, in bytes.
  std::size_t glyphBytes(std::uint32_t index) const {
    return glyphs_[index].end - glyphs_[index].begin;
  }
  std::size_t programBytes() const { return clear_.size() + plain_.size() + trailer_.size(); }

  // The font's own encoding: a glyph name per code, empty where none.
  const std::array<std::string, 256>& builtinEncoding() const { return encoding_; }

  // Adds to `keep` (one flag per glyph) .notdef and the base and accent
  // glyphs of every kept accented glyph (seac).
  void addComponents(std::vector<bool>& keep) const;

  struct Subset {
    std::string program;
    std::size_t length1 = 0, length2 = 0, length3 = 0;
  };
  // The program with only the glyphs flagged in `keep`.
  Subset subset(const std::vector<bool>& keep) const;

private:
  struct Glyph {
    std::string name;
    std::size_t begin = 0, end = 0;      // its entry in plain_, up to the next entry
    std::size_t data = 0, size = 0;      // its charstring in plain_
    std::int32_t base = -1, accent = -1; // seac components, by glyph index
  };

  bool readPrivate(std::string& error);
  bool findComponents(std::string& error);

  std::string clear_;   // up to and including "eexec" and the blanks after it
  std::string plain_;   // the decrypted private part, its four leading bytes included
  std::string trailer_; // zeros and cleartomark
  int lenIV_ = 4;
  std::array<std::string, 256> encoding_;
  std::vector<Glyph> glyphs_;
  std::unordered_map<std::string, std::uint32_t> byName_;
  std::size_t countBegin_ = 0, countEnd_ = 0; // the CharStrings dictionary's size
  std::size_t entriesBegin_ = 0, entriesEnd_ = 0;
  std::vector<std::pair<std::size_t, std::size_t>> subrs_; // charstrings of Subrs in plain_
};

// The eexec and charstring ciphers (r = 55665 and r = 4330).
std::string type1Decrypt(std::string_view data, std::uint16_t key);
std::string type1Encrypt(std::string_view data, std::uint16_t key);

} // namespace sundrel::tovix
