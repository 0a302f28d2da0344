#pragma once

#include "tovix/Inputs.h"
#include "tovix/Output.h"
#include "tovix/Support.h"

#include <qpdf/Buffer.hh>

#include <functional>
#include <memory>

// The engine's operations, each writing its result to the command's output.
namespace sundrel::tovix {

// Runs the command of `ctx`: opens its inputs (from ctx.cache when the
// operation only reads them) and performs the operation. Returns ExitOk or
// ExitWarnings; throws on failure.
int execute(Context& ctx);

// dump_data and dump_data_utf8: the report of pdftk's format.
void dumpData(Context& ctx, OpenedInput& in);

// update_info and update_info_utf8: the document with new Info entries.
void updateInfo(Context& ctx, OpenedInput& in);

// The Info entries of the command's info file applied to `pdf`.
void applyInfo(Context& ctx, QPDF& pdf);

// What a finished part does with the assembled document once its stage is
// written: `options` are those the stage was written with.
using AfterStage = std::function<void(QPDF& assembled, const DocumentOptions& options,
                                      const std::shared_ptr<Buffer>& stage)>;

// cat (and a copy of several inputs): the selected pages as a new document.
// A stage (the first of a finished part) is returned instead of written, and
// handed to `after` while the assembled document still exists.
std::shared_ptr<Buffer> cat(Context& ctx, Inputs& inputs, bool stage = false,
                            const AfterStage& after = {});

// Prepares an input for copying pages, once per opened file.
void prepareSource(OpenedInput& in);

// Puts page `index` (from 0) of a prepared input into the state in which it
// is copied, once: its annotations indirect and, when the document's pages
// share resources, its resources trimmed to what it draws. Doing it again
// would change nothing, so copies made later from a kept input equal those
// of a fresh one.
void readyToCopy(OpenedInput& in, std::size_t index);

// The finished part: what cat, then update_info, then the encryption when
// given give one after the other, byte for byte.
void finishedPart(Context& ctx, Inputs& inputs);

// page_sizes: per page, the bytes of what only it uses and the objects it
// shares with other pages.
void pageSizes(Context& ctx, OpenedInput& in);

} // namespace sundrel::tovix
