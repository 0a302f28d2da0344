#pragma once

#include "tovix/CffFont.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct hb_blob_t;
struct hb_face_t;
struct hb_font_t;

// TrueType and OpenType font programs (FontFile2, FontFile3 /OpenType): the
// glyphs a code can reach through every cmap subtable and the PostScript
// names, and copies with fewer glyphs under the same glyph IDs: glyf fonts
// by HarfBuzz's subsetter (hinting kept, composite glyphs closed over), CFF
// flavoured ones by rewriting their CFF table.
namespace sundrel::tovix {

class SfntFont {
public:
  ~SfntFont();
  SfntFont(const SfntFont&) = delete;
  SfntFont& operator=(const SfntFont&) = delete;

  static std::unique_ptr<SfntFont> parse(std::string_view data, std::string& error);

  std::uint32_t glyphCount() const { return glyphCount_; }
  // What a glyph's outline takes, and the whole program, in bytes.
  std::size_t glyphBytes(std::uint32_t gid) const;
  std::size_t programBytes() const { return data_.size(); }
  // The CFF table's font, for CFF-flavoured fonts.
  const CffFont* cff() const { return cff_.get(); }

  struct Cmap {
    std::uint16_t platform = 0, encoding = 0;
    std::size_t offset = 0; // of the subtable in the font
  };
  const std::vector<Cmap>& cmaps() const { return cmaps_; }
  // Adds the glyphs `code` maps to in `cmap` (more than one where the
  // subtable's segments overlap).
  void lookup(const Cmap& cmap, std::uint32_t code, std::vector<std::uint32_t>& glyphs) const;
  // False when a cmap subtable has a format not read here.
  bool cmapsComplete() const { return cmapsComplete_; }
  std::optional<std::uint32_t> glyphByPostName(std::string_view name) const;

  // The program with only the flagged glyphs. `keepCmap`: the cmap and post
  // tables travel unchanged (simple fonts, whose codes reach glyphs through
  // them). Empty with `error` set when the subsetter refuses.
  std::string subset(const std::vector<bool>& keep, bool keepCmap, std::string& error) const;

private:
  SfntFont() = default;
  struct Table {
    std::uint32_t tag = 0;
    std::size_t offset = 0, length = 0;
  };
  const Table* table(const char* tag) const;
  bool readCmap(std::string& error);
  std::string withTable(std::uint32_t tag, const std::string& replacement) const;

  std::string data_;
  std::vector<Table> tables_;
  std::uint32_t glyphCount_ = 0;
  std::unique_ptr<CffFont> cff_;
  std::vector<Cmap> cmaps_;
  bool cmapsComplete_ = true;
  hb_blob_t* blob_ = nullptr;
  hb_face_t* face_ = nullptr;
  hb_font_t* font_ = nullptr;
};

} // namespace sundrel::tovix
