#pragma once

#include "tovix/Inputs.h"
#include "tovix/Support.h"

// The engine's operations, each writing its result to the command's output.
namespace sundrel::tovix {

// dump_data and dump_data_utf8: the report of pdftk's format.
void dumpData(Context& ctx, OpenedInput& in);

// update_info and update_info_utf8: the document with new Info entries.
void updateInfo(Context& ctx, OpenedInput& in);

// cat (and a copy of several inputs): the selected pages as a new document.
void cat(Context& ctx, Inputs& inputs);

} // namespace sundrel::tovix
