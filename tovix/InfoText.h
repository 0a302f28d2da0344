#pragma once

#include <string>
#include <utility>
#include <vector>

// The text formats of dump_data and update_info: pdftk's records of
// "Key: value" lines with XML-style character references.
namespace sundrel::tovix {

struct InfoUpdate {
  std::vector<std::pair<std::string, std::string>> entries; // key (no slash), UTF-8 value
  std::vector<std::string> problems; // lines that could not be used, one message each
};

// Reads InfoKey:/InfoValue: pairs, with or without InfoBegin lines, LF or
// CRLF line ends. Every complete pair is applied in order; other pdftk
// records (bookmarks, page labels, ids) are skipped. Character references
// (&#N; &#xN; &amp; &lt; &gt; &quot; &apos;) are decoded. Bytes that are
// not valid UTF-8 are taken as Latin-1, so a file in either encoding works.
InfoUpdate parseInfoUpdate(const std::string& text);

// Escapes a UTF-8 value for a dump_data report: in ASCII mode every
// non-ASCII character becomes &#N; and the XML specials become entities,
// as pdftk writes them; in UTF-8 mode the text is kept, only line breaks
// are escaped so that a record stays on one line.
std::string escapeReportValue(const std::string& utf8, bool asciiOnly);

// Decodes character references in `text` (see parseInfoUpdate).
std::string decodeReferences(const std::string& text);

// Returns `bytes` as UTF-8: unchanged when already valid UTF-8, otherwise
// read as Latin-1.
std::string toUtf8(const std::string& bytes);

} // namespace sundrel::tovix
