#pragma once

#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <cstdint>
#include <optional>
#include <string>

// Reading decoded stream data, bounded. Parts copy streams as they are
// encoded; only what the engine itself must read (content scanned for the
// resources it uses) is decoded, and always through these functions, so that
// a few kilobytes of nested filters can never expand into gigabytes.
namespace sundrel::tovix {

// The most decoded bytes read from one stream, or from one page's or form's
// content (its streams together). Real content stays far below: the largest
// pages of maps and drawings decode to tens of megabytes. A hostile file
// reaches it in a few kilobytes (flate inside flate).
inline constexpr std::uint64_t kDecodedLimit = std::uint64_t{256} << 20;

// The decoded data of `stream` (every filter libqpdf decodes), at most
// `limit` bytes. Empty when the data cannot be decoded cleanly (damaged,
// a filter libqpdf does not decode); throws Failure, naming the object and
// the bound, when the decoded data grows past it.
std::optional<std::string> boundedStreamData(QPDFObjectHandle stream,
                                             std::uint64_t limit = kDecodedLimit);

// The content of a page or form XObject as a reader sees it: its streams
// decoded and joined by line breaks, at most `limit` bytes together. Empty
// and throwing as boundedStreamData.
std::optional<std::string> boundedContent(QPDFPageObjectHelper pageOrForm,
                                          std::uint64_t limit = kDecodedLimit);

// The decoded data of `stream` when it was read cleanly through the
// functions above a moment ago, else null: the content that trimming a page
// reads is read again for the glyphs it draws. Only data that every decode
// level gives alike (no filter, or Flate without parameters) is kept.
const std::string* recentlyDecoded(QPDFObjectHandle stream);

} // namespace sundrel::tovix
