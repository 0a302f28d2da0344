#include "tovix/Xmp.h"

#include "tovix/StreamData.h"
#include "tovix/Support.h"

#include <cctype>
#include <optional>

namespace sundrel::tovix {

namespace {

// Metadata larger than this is not a packet of properties; left as it is.
constexpr std::uint64_t kXmpLimit = std::uint64_t{16} << 20;

enum class Kind { Text, Alt, Seq, Date };

struct Property {
  const char* infoKey;
  const char* name; // prefix:local, the prefixes every writer uses
  const char* ns;
  Kind kind;
};

const char* const kDc = "http://purl.org/dc/elements/1.1/";
const char* const kPdf = "http://ns.adobe.com/pdf/1.3/";
const char* const kXmpNs = "http://ns.adobe.com/xap/1.0/";

const Property kProperties[] = {{"Title", "dc:title", kDc, Kind::Alt},
                                {"Author", "dc:creator", kDc, Kind::Seq},
                                {"Subject", "dc:description", kDc, Kind::Alt},
                                {"Keywords", "pdf:Keywords", kPdf, Kind::Text},
                                {"Creator", "xmp:CreatorTool", kXmpNs, Kind::Text},
                                {"Producer", "pdf:Producer", kPdf, Kind::Text},
                                {"CreationDate", "xmp:CreateDate", kXmpNs, Kind::Date},
                                {"ModDate", "xmp:ModifyDate", kXmpNs, Kind::Date}};

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
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
    default:
      out += c;
    }
  }
  return out;
}

// A PDF date (D:YYYYMMDDHHmmSSOHH'mm') as XMP writes it; nothing when it is
// not one.
std::optional<std::string> xmpDate(const std::string& pdfDate) {
  std::string d = pdfDate.rfind("D:", 0) == 0 ? pdfDate.substr(2) : pdfDate;
  std::size_t digits = 0;
  while (digits < d.size() && digits < 14 && std::isdigit(static_cast<unsigned char>(d[digits])))
    ++digits;
  if (digits < 4 || digits % 2 != 0)
    return std::nullopt;
  std::string out = d.substr(0, 4);
  const char* separators[] = {"-", "-", "T", ":", ":"};
  for (std::size_t i = 4, s = 0; i < digits; i += 2, ++s)
    out += separators[s] + d.substr(i, 2);
  if (digits == 10)
    out += ":00"; // a time has minutes at least
  const std::string zone = d.substr(digits);
  if (digits > 8 && !zone.empty()) {
    if (zone[0] == 'Z')
      out += "Z";
    else if ((zone[0] == '+' || zone[0] == '-') && zone.size() >= 3)
      out += zone.substr(0, 3) + ":" +
             (zone.size() >= 6 && zone[3] == '\'' ? zone.substr(4, 2) : std::string("00"));
  }
  return out;
}

bool endsName(char c) {
  return c == ' ' || c == '>' || c == '/' || c == '\t' || c == '\n' || c == '\r' || c == '=';
}

// Removes every element `name` and every attribute `name` from `xml`.
void removeProperty(std::string& xml, const std::string& name) {
  for (std::size_t at = 0; (at = xml.find("<" + name, at)) != std::string::npos;) {
    const std::size_t after = at + 1 + name.size();
    if (after >= xml.size() || !endsName(xml[after])) {
      at = after;
      continue;
    }
    const std::size_t close = xml.find('>', after);
    if (close == std::string::npos)
      return;
    std::size_t end = close + 1;
    if (xml[close - 1] != '/') {
      const std::size_t closing = xml.find("</" + name + ">", close);
      if (closing == std::string::npos)
        return;
      end = closing + name.size() + 3;
    }
    xml.erase(at, end - at);
  }
  for (std::size_t at = 0; (at = xml.find(name + "=", at)) != std::string::npos;) {
    const std::size_t quote = at + name.size() + 1;
    if (at == 0 || !std::isspace(static_cast<unsigned char>(xml[at - 1])) || quote >= xml.size() ||
        (xml[quote] != '"' && xml[quote] != '\'')) {
      at = quote;
      continue;
    }
    const std::size_t end = xml.find(xml[quote], quote + 1);
    if (end == std::string::npos)
      return;
    xml.erase(at - 1, end + 1 - (at - 1));
  }
}

std::string element(const Property& p, const std::string& value) {
  const std::string open = std::string("<") + p.name + ">";
  const std::string close = std::string("</") + p.name + ">";
  switch (p.kind) {
  case Kind::Alt:
    return open + "<rdf:Alt><rdf:li xml:lang=\"x-default\">" + escaped(value) +
           "</rdf:li></rdf:Alt>" + close;
  case Kind::Seq:
    return open + "<rdf:Seq><rdf:li>" + escaped(value) + "</rdf:li></rdf:Seq>" + close;
  default:
    return open + escaped(value) + close;
  }
}

// The `about` of the packet's descriptions, which all must share it.
std::string aboutOf(const std::string& xml) {
  const std::size_t at = xml.find("rdf:about=");
  if (at == std::string::npos || at + 11 >= xml.size())
    return "";
  const char quote = xml[at + 10];
  const std::size_t end = xml.find(quote, at + 11);
  if (end == std::string::npos)
    return "";
  // Already escaped as the packet holds it; only a double quote inside a
  // single-quoted value needs its entity in the double-quoted copy.
  std::string about;
  for (const char c : xml.substr(at + 11, end - at - 11))
    about += c == '"' ? std::string("&quot;") : std::string(1, c);
  return about;
}

} // namespace

bool syncXmp(QPDF& pdf, const std::vector<std::pair<std::string, std::string>>& changed,
             std::string& why) {
  QPDFObjectHandle metadata = pdf.getRoot().getKey("/Metadata");
  if (!metadata.isStream())
    return true;
  std::optional<std::string> data;
  try {
    data = boundedStreamData(metadata, kXmpLimit);
  } catch (const std::exception&) {
    data.reset();
  }
  const std::size_t rdfEnd = data ? data->rfind("</rdf:RDF>") : std::string::npos;
  if (rdfEnd == std::string::npos) {
    why = "the XMP metadata could not be read; it was left as it was";
    return false;
  }
  std::string xml = *data;
  std::string added, namespaces;
  for (const Property& p : kProperties) {
    std::optional<std::string> value;
    for (const auto& [key, v] : changed) {
      if (key == p.infoKey)
        value = v;
    }
    if (!value)
      continue;
    removeProperty(xml, p.name);
    const std::optional<std::string> text = p.kind == Kind::Date ? xmpDate(*value) : value;
    if (!text || text->empty())
      continue;
    added += element(p, *text);
    const std::string prefix = std::string(p.name).substr(0, std::string(p.name).find(':'));
    const std::string declared = " xmlns:" + prefix + "=\"" + p.ns + "\"";
    if (namespaces.find(declared) == std::string::npos)
      namespaces += declared;
  }
  if (!added.empty())
    xml.insert(xml.rfind("</rdf:RDF>"), "<rdf:Description rdf:about=\"" + aboutOf(xml) + "\"" +
                                            namespaces + ">" + added + "</rdf:Description>\n");
  metadata.replaceStreamData(xml, QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
  return true;
}

int pdfaPart(QPDF& pdf) {
  QPDFObjectHandle metadata = pdf.getRoot().getKey("/Metadata");
  if (!metadata.isStream())
    return 0;
  std::optional<std::string> data;
  try {
    data = boundedStreamData(metadata, kXmpLimit);
  } catch (const std::exception&) {
    return 0;
  }
  // pdfaid:part="2" or <pdfaid:part>2</pdfaid:part>
  const std::size_t at = data ? data->find("pdfaid:part") : std::string::npos;
  if (at == std::string::npos)
    return 0;
  for (std::size_t i = at + 11; i < data->size() && i < at + 16; ++i) {
    if (std::isdigit(static_cast<unsigned char>((*data)[i])))
      return (*data)[i] - '0';
  }
  return 0;
}

} // namespace sundrel::tovix
