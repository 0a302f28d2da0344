#pragma once

#include "tovix/Inputs.h"
#include "tovix/Support.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>

#include <memory>
#include <string>
#include <vector>

// Writing results: reports and documents, to a file, standard output or
// memory, or only counted (`measure`), with the encryption asked for.
namespace sundrel::tovix {

// Checks the output name before any work, so that no temporary file is made
// for a name that could never be created, and an input is never replaced.
void checkOutput(Context& ctx);

// Writes a text report to the output (standard output without one).
void emit(Context& ctx, const std::string& data);

struct DocumentOptions {
  bool preserve = false;              // keep the document's own encryption
  OpenedInput* encryptLike = nullptr; // else take this input's encryption
  bool fresh = false;                 // a new document: generate object streams
  std::string minVersion;             // at least this PDF version
  // A stage of a finished part: written to memory, without the command's encryption.
  bool stage = false;
  // The inputs whose data the writer reads. The result is kept only when none
  // of them changed in place meanwhile, and, for `pages` (a new document of
  // their pages), when libqpdf could read from them all it needed.
  std::vector<OpenedInput*> sources;
  bool pages = false;
};

// Writes `pdf` to the command's output (or counts it), or for a stage
// returns it. Encryption given in the command wins over `options`; an
// unencrypted result is deterministic (same input, same bytes).
std::shared_ptr<Buffer> writeDocument(Context& ctx, QPDF& pdf, const DocumentOptions& options);

// Opens a stage written by writeDocument, as a later command would open the
// file (without a password).
std::unique_ptr<QPDF> openStage(const std::shared_ptr<Buffer>& stage);

} // namespace sundrel::tovix
