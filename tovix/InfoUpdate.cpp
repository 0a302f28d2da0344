// update_info: the document with the Info entries of a pdftk info file.

#include "tovix/InfoText.h"
#include "tovix/Operations.h"
#include "tovix/Output.h"
#include "tovix/Xmp.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace sundrel::tovix {

namespace {

std::string readInfoFile(Context& ctx) {
  const std::string& path = ctx.cmd.infoPath;
  std::string text;
  if (path == "-") {
    if (ctx.in == nullptr)
      throw Failure(Reason::Refused,
                    "The info file cannot be standard input in a session; give a file");
    char buf[4096];
    std::size_t n = 0;
    while (ctx.in != nullptr && (n = std::fread(buf, 1, sizeof buf, ctx.in)) > 0)
      text.append(buf, n);
    return text;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
    throw Failure(Reason::Io,
                  "Failed to open info file: " + shown(path) + ": " +
                      (S_ISDIR(st.st_mode) ? "it is a directory" : std::strerror(errno)));
  std::ifstream file(path, std::ios::binary);
  if (!file)
    throw Failure(Reason::Io,
                  "Failed to open info file: " + shown(path) + ": " + std::strerror(errno));
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

} // namespace

void applyInfo(Context& ctx, QPDF& pdf) {
  const InfoUpdate update = parseInfoUpdate(readInfoFile(ctx));
  for (const std::string& problem : update.problems)
    ctx.warn("info file " + shown(ctx.cmd.infoPath) + ": " + problem);
  QPDFObjectHandle info = pdf.getTrailer().getKey("/Info");
  if (!info.isDictionary()) {
    info = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
    pdf.getTrailer().replaceKey("/Info", info);
  }
  for (const auto& [key, value] : update.entries) {
    const std::string name = "/" + key;
    if (value.empty())
      info.removeKey(name); // pdftk: an empty value removes the entry
    else
      info.replaceKey(name, QPDFObjectHandle::newUnicodeString(value));
  }
  // A PDF/A reader checks that the XMP metadata says what /Info says.
  std::string why;
  if (!syncXmp(pdf, update.entries, why))
    ctx.warn(why);
}

void updateInfo(Context& ctx, OpenedInput& in) {
  applyInfo(ctx, *in.pdf);
  DocumentOptions options;
  options.preserve = in.keepEncryption;
  options.sources = {&in};
  writeDocument(ctx, *in.pdf, options);
}

} // namespace sundrel::tovix
