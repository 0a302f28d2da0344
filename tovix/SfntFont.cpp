#include "tovix/SfntFont.h"

#include <hb-subset.h>
#include <hb.h>

#include <algorithm>

namespace sundrel::tovix {

namespace {

std::uint32_t be(std::string_view d, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = 0; i < bytes; ++i)
    v = (v << 8) | static_cast<unsigned char>(d[at + static_cast<std::size_t>(i)]);
  return v;
}

std::uint32_t tagOf(const char* tag) {
  return HB_TAG(tag[0], tag[1], tag[2], tag[3]);
}

void putBe(std::string& out, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
}

std::uint32_t checksum(std::string_view d, std::size_t offset, std::size_t length) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < length; i += 4) {
    std::uint32_t word = 0;
    for (std::size_t k = 0; k < 4; ++k)
      word = (word << 8) | (i + k < length ? static_cast<unsigned char>(d[offset + i + k]) : 0u);
    sum += word;
  }
  return sum;
}

// Whether the subtable at `at` has a format this code reads and fits `d`.
bool knownSubtable(std::string_view d, std::size_t at) {
  if (at + 4 > d.size())
    return false;
  switch (be(d, at, 2)) {
  case 0:
    return at + 6 + 256 <= d.size();
  case 6:
    return at + 10 <= d.size() && at + 10 + 2 * std::size_t{be(d, at + 8, 2)} <= d.size();
  case 4: {
    if (at + 14 > d.size())
      return false;
    const std::size_t segments = be(d, at + 6, 2) / 2;
    return at + 16 + 8 * segments <= d.size();
  }
  case 12:
    return at + 16 <= d.size() && be(d, at + 12, 4) <= (d.size() - at - 16) / 12;
  default:
    return false;
  }
}

// Every glyph `code` maps to in a subtable that knownSubtable accepted: all
// matching segments or groups, not a binary search, since readers differ on
// tables whose segments are out of order or overlap.
void lookupSubtable(std::string_view d, std::size_t at, std::uint32_t code,
                    std::vector<std::uint32_t>& glyphs) {
  auto found = [&glyphs](std::uint32_t g) {
    if (g != 0)
      glyphs.push_back(g);
  };
  const std::uint32_t format = be(d, at, 2);
  if (format == 0) {
    if (code < 256)
      found(static_cast<unsigned char>(d[at + 6 + code]));
  } else if (format == 6) {
    const std::uint32_t first = be(d, at + 6, 2), count = be(d, at + 8, 2);
    if (code >= first && code - first < count)
      found(be(d, at + 10 + 2 * (code - first), 2));
  } else if (format == 12) {
    const std::uint32_t groups = be(d, at + 12, 4);
    for (std::uint32_t i = 0; i < groups; ++i) {
      const std::size_t p = at + 16 + 12 * std::size_t{i};
      const std::uint32_t first = be(d, p, 4);
      if (code >= first && code <= be(d, p + 4, 4))
        found(be(d, p + 8, 4) + (code - first));
    }
  } else if (code <= 0xFFFF) { // format 4
    const std::size_t segments = be(d, at + 6, 2) / 2;
    const std::size_t ends = at + 14, starts = ends + 2 * segments + 2;
    const std::size_t deltas = starts + 2 * segments, ranges = deltas + 2 * segments;
    for (std::size_t s = 0; s < segments; ++s) {
      const std::uint32_t start = be(d, starts + 2 * s, 2);
      if (code > be(d, ends + 2 * s, 2) || code < start)
        continue;
      const std::uint32_t delta = be(d, deltas + 2 * s, 2), range = be(d, ranges + 2 * s, 2);
      if (range == 0) {
        found((code + delta) & 0xFFFF);
        continue;
      }
      const std::size_t p = ranges + 2 * s + range + 2 * std::size_t{code - start};
      const std::uint32_t g = p + 2 <= d.size() ? be(d, p, 2) : 0;
      if (g != 0)
        found((g + delta) & 0xFFFF);
    }
  }
}

} // namespace

SfntFont::~SfntFont() {
  hb_font_destroy(font_);
  hb_face_destroy(face_);
  hb_blob_destroy(blob_);
}

std::unique_ptr<SfntFont> SfntFont::parse(std::string_view data, std::string& error) {
  auto font = std::unique_ptr<SfntFont>(new SfntFont);
  font->data_.assign(data);
  const std::string_view d = font->data_;
  error = "not a TrueType or OpenType font";
  if (d.size() < 12)
    return nullptr;
  const std::uint32_t version = be(d, 0, 4);
  if (version != 0x00010000 && version != tagOf("OTTO") && version != tagOf("true"))
    return nullptr;
  const std::size_t count = be(d, 4, 2);
  if (12 + 16 * count > d.size())
    return nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t rec = 12 + 16 * i;
    Table t{be(d, rec, 4), be(d, rec + 8, 4), be(d, rec + 12, 4)};
    if (t.offset > d.size() || t.length > d.size() - t.offset)
      return nullptr;
    font->tables_.push_back(t);
  }
  const Table* maxp = font->table("maxp");
  if (!maxp || maxp->length < 6)
    return nullptr;
  font->glyphCount_ = be(d, maxp->offset + 4, 2);
  if (const Table* cff = font->table("CFF ")) {
    font->cff_ = CffFont::parse(d.substr(cff->offset, cff->length), error);
    if (!font->cff_)
      return nullptr;
  } else if (!font->table("glyf") || !font->table("loca")) {
    error = "neither glyf nor CFF outlines";
    return nullptr;
  }
  if (!font->readCmap(error))
    return nullptr;
  font->blob_ = hb_blob_create(font->data_.data(), static_cast<unsigned>(font->data_.size()),
                               HB_MEMORY_MODE_READONLY, nullptr, nullptr);
  font->face_ = hb_face_create(font->blob_, 0);
  font->font_ = hb_font_create(font->face_);
  return font;
}

const SfntFont::Table* SfntFont::table(const char* tag) const {
  const std::uint32_t wanted = tagOf(tag);
  for (const Table& t : tables_) {
    if (t.tag == wanted)
      return &t;
  }
  return nullptr;
}

bool SfntFont::readCmap(std::string& error) {
  const Table* cmap = table("cmap");
  if (!cmap)
    return true;
  const std::string_view d = std::string_view(data_).substr(cmap->offset, cmap->length);
  error = "unreadable cmap";
  if (d.size() < 4)
    return false;
  const std::size_t count = be(d, 2, 2);
  if (4 + 8 * count > d.size())
    return false;
  for (std::size_t i = 0; i < count; ++i) {
    Cmap sub;
    sub.platform = static_cast<std::uint16_t>(be(d, 4 + 8 * i, 2));
    sub.encoding = static_cast<std::uint16_t>(be(d, 6 + 8 * i, 2));
    sub.offset = cmap->offset + be(d, 8 + 8 * i, 4);
    if (!knownSubtable(data_, sub.offset)) {
      cmapsComplete_ = false;
      continue;
    }
    cmaps_.push_back(sub);
  }
  return true;
}

void SfntFont::lookup(const Cmap& cmap, std::uint32_t code,
                      std::vector<std::uint32_t>& glyphs) const {
  lookupSubtable(data_, cmap.offset, code, glyphs);
}

std::size_t SfntFont::glyphBytes(std::uint32_t gid) const {
  if (cff_)
    return gid < cff_->glyphCount() ? cff_->glyphBytes(gid) : 0;
  const Table* head = table("head");
  const Table* loca = table("loca");
  if (!head || !loca || head->length < 54 || gid >= glyphCount_)
    return 0;
  const std::string_view d = data_;
  const bool longOffsets = be(d, head->offset + 50, 2) != 0;
  const std::size_t width = longOffsets ? 4 : 2;
  const std::size_t at = loca->offset + width * gid;
  if (at + 2 * width > loca->offset + loca->length)
    return 0;
  const std::uint32_t start = be(d, at, static_cast<int>(width));
  const std::uint32_t end = be(d, at + width, static_cast<int>(width));
  return end > start ? (end - start) * (longOffsets ? 1u : 2u) : 0;
}

std::optional<std::uint32_t> SfntFont::glyphByPostName(std::string_view name) const {
  if (cff_)
    return cff_->cidKeyed() ? std::nullopt : cff_->glyphByName(name);
  hb_codepoint_t glyph = 0;
  if (!hb_font_get_glyph_from_name(font_, name.data(), static_cast<int>(name.size()), &glyph))
    return std::nullopt;
  return glyph;
}

std::string SfntFont::withTable(std::uint32_t tag, const std::string& replacement) const {
  const std::size_t count = tables_.size();
  std::string out(data_, 0, 12 + 16 * count);
  std::size_t headAt = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const Table& t = tables_[i];
    const std::string_view body = t.tag == tag ? std::string_view(replacement)
                                               : std::string_view(data_).substr(t.offset, t.length);
    while (out.size() % 4 != 0)
      out += '\0';
    const std::size_t rec = 12 + 16 * i;
    if (t.tag == tagOf("head"))
      headAt = out.size();
    putBe(out, rec + 8, static_cast<std::uint32_t>(out.size()));
    putBe(out, rec + 12, static_cast<std::uint32_t>(body.size()));
    out.append(body);
    if (t.tag == tagOf("head") && body.size() >= 12)
      putBe(out, headAt + 8, 0);
    putBe(out, rec + 4, checksum(out, out.size() - body.size(), body.size()));
  }
  while (out.size() % 4 != 0)
    out += '\0';
  if (headAt != 0 && headAt + 12 <= out.size())
    putBe(out, headAt + 8, 0xB1B0AFBAu - checksum(out, 0, out.size()));
  return out;
}

std::string SfntFont::subset(const std::vector<bool>& keep, bool keepCmap,
                             std::string& error) const {
  if (cff_) {
    const Table* cff = table("CFF ");
    return withTable(cff->tag, cff_->subset(keep));
  }
  hb_subset_input_t* input = hb_subset_input_create_or_fail();
  if (!input) {
    error = "out of memory";
    return {};
  }
  hb_set_t* glyphs = hb_subset_input_glyph_set(input);
  hb_set_add(glyphs, 0);
  for (std::size_t g = 0; g < keep.size() && g < glyphCount_; ++g) {
    if (keep[g])
      hb_set_add(glyphs, static_cast<hb_codepoint_t>(g));
  }
  hb_subset_input_set_flags(input, HB_SUBSET_FLAGS_RETAIN_GIDS | HB_SUBSET_FLAGS_NOTDEF_OUTLINE |
                                       HB_SUBSET_FLAGS_GLYPH_NAMES | HB_SUBSET_FLAGS_NAME_LEGACY |
                                       HB_SUBSET_FLAGS_PASSTHROUGH_UNRECOGNIZED);
  hb_set_t* passThrough = hb_subset_input_set(input, HB_SUBSET_SETS_NO_SUBSET_TABLE_TAG);
  hb_set_t* drop = hb_subset_input_set(input, HB_SUBSET_SETS_DROP_TABLE_TAG);
  // PDF readers draw glyph IDs: layout tables only pull in more glyphs.
  for (const char* tag : {"GSUB", "GPOS", "GDEF", "JSTF", "BASE", "morx", "kerx", "kern"})
    hb_set_add(drop, tagOf(tag));
  // Embedded bitmaps stay as they are: their glyph IDs do not move.
  for (const char* tag : {"EBDT", "EBLC", "EBSC", "VDMX"}) {
    hb_set_del(drop, tagOf(tag));
    hb_set_add(passThrough, tagOf(tag));
  }
  if (keepCmap) {
    hb_set_add(passThrough, tagOf("cmap"));
    hb_set_add(passThrough, tagOf("post"));
  }
  hb_face_t* result = hb_subset_or_fail(face_, input);
  hb_subset_input_destroy(input);
  if (!result) {
    error = "the subsetter refused the font";
    return {};
  }
  hb_blob_t* blob = hb_face_reference_blob(result);
  unsigned length = 0;
  const char* bytes = hb_blob_get_data(blob, &length);
  std::string out(bytes ? bytes : "", bytes ? length : 0);
  hb_blob_destroy(blob);
  hb_face_destroy(result);
  if (out.empty())
    error = "the subsetter gave nothing";
  return out;
}

} // namespace sundrel::tovix
