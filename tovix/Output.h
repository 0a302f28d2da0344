#pragma once

#include "tovix/Inputs.h"
#include "tovix/Support.h"

#include <qpdf/QPDF.hh>

#include <string>

// Writing results: reports and documents, to a file or standard output,
// with the encryption the command asks for.
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
};

// Writes `pdf` to the output. Encryption given in the command wins over
// `options`; an unencrypted result is deterministic (same input, same bytes).
void writeDocument(Context& ctx, QPDF& pdf, const DocumentOptions& options);

} // namespace sundrel::tovix
