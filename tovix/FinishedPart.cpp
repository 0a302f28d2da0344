// The finished part: `cat ... update_info INFO output PART [encryption]` in
// one command, giving exactly the bytes of `cat ... output T1`, then
// `T1 update_info INFO output T2`, then `T2 output PART [encryption]`.
//
// update_info rewrites a document that libqpdf wrote itself: the objects
// keep their numbers and their object streams, the /Info entries change and
// the second /ID is new, its first one kept. So when the assembled pages
// already hold an /Info dictionary and nothing is encrypted, the part is
// that same document written once more with the new entries and the first
// /ID of the plain pages: no need to read the plain pages back. Anything
// else (no /Info to change, encryption) goes through the stages.

#include "tovix/Operations.h"
#include "tovix/Output.h"

#include <qpdf/QPDFPageDocumentHelper.hh>

namespace sundrel::tovix {

namespace {

// The stages one after the other, each written to memory and read again.
void throughStages(Context& ctx, Inputs& inputs, const std::shared_ptr<Buffer>& pages) {
  // Each later command opens the previous result without a password and
  // keeps its encryption.
  const auto withPages = openStage(pages);
  applyInfo(ctx, *withPages);
  DocumentOptions options;
  options.preserve = withPages->isEncrypted();
  options.stage = ctx.cmd.encryption != Encryption::None;
  if (ctx.cmd.keepEncryption && ctx.cmd.encryption == Encryption::None && !options.preserve) {
    // The source was opened with its password: the part gets its encryption.
    for (std::size_t i = 0; i < ctx.cmd.inputs.size(); ++i) {
      OpenedInput& in = inputs.at(i);
      if (in.pdf->isEncrypted()) {
        options.encryptLike = &in;
        break;
      }
    }
  }
  const auto withInfo = writeDocument(ctx, *withPages, options);
  if (!options.stage)
    return;
  const auto last = openStage(withInfo);
  DocumentOptions final;
  final.preserve = last->isEncrypted();
  writeDocument(ctx, *last, final);
}

// Whether no stage is encrypted: no encryption asked for or kept, and no
// input that stays encrypted.
bool plainStages(const Context& ctx, Inputs& inputs) {
  if (ctx.cmd.encryption != Encryption::None || ctx.cmd.keepEncryption)
    return false;
  for (const OpenedInput* in : inputs.distinct()) {
    if (in->keepEncryption)
      return false;
  }
  return true;
}

// Whether every stream is written as it is: one without a filter is
// compressed by the writer, which puts its new /Filter after the other
// entries, where reading it back puts it in order. XMP metadata is the
// exception: an unencrypted document's is written uncompressed, as it is.
bool streamsKeptAsTheyAre(QPDF& assembled) {
  for (QPDFObjectHandle& oh : assembled.getAllObjects()) {
    if (!oh.isStream())
      continue;
    QPDFObjectHandle dict = oh.getDict();
    QPDFObjectHandle filter = dict.getKey("/Filter");
    if (!(filter.isName() || (filter.isArray() && filter.getArrayNItems() > 0)) &&
        !dict.isDictionaryOfType("/Metadata"))
      return false;
  }
  return true;
}

// The part written from the assembled pages themselves; false (nothing
// written) when they hold no /Info dictionary of their own to change (or
// one with entries that are objects of their own), or when reading the
// plain pages back would change them.
bool fromAssembly(Context& ctx, QPDF& assembled, DocumentOptions options,
                  const std::shared_ptr<Buffer>& pages) {
  QPDFObjectHandle info = assembled.getTrailer().getKey("/Info");
  if (!info.isIndirect() || !info.isDictionary() || !streamsKeptAsTheyAre(assembled))
    return false;
  // An entry that is an object of its own may be dropped by the new
  // entries, and with it a place in the object streams.
  for (const auto& [key, value] : info.getDictAsMap()) {
    if (value.isIndirect())
      return false;
  }
  // Only the trailer of the plain pages is read, for their /ID.
  QPDFObjectHandle id = openStage(pages)->getTrailer().getKey("/ID");
  if (!id.isArray() || id.getArrayNItems() != 2)
    return false;
  applyInfo(ctx, assembled);
  assembled.getTrailer().replaceKey("/ID", QPDFObjectHandle::parse(id.unparse()));
  options.stage = false;
  writeDocument(ctx, assembled, options);
  return true;
}

} // namespace

void finishedPart(Context& ctx, Inputs& inputs) {
  const bool plain = plainStages(ctx, inputs);
  bool done = false;
  const auto pages = cat(
      ctx, inputs, true,
      [&](QPDF& assembled, const DocumentOptions& options, const std::shared_ptr<Buffer>& stage) {
        ctx.catBytes = static_cast<std::int64_t>(stage->getSize());
        // Pages that do not fit are no part, unless one page alone: the
        // caller only wanted their size, so writing them would be wasted.
        const bool over = ctx.cmd.sizeLimit > 0 && stage->getSize() >= ctx.cmd.sizeLimit &&
                          QPDFPageDocumentHelper(assembled).getAllPages().size() > 1;
        done = over || (plain && fromAssembly(ctx, assembled, options, stage));
      });
  if (!done)
    throughStages(ctx, inputs, pages);
}

} // namespace sundrel::tovix
