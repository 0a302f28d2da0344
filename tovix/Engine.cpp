#include "tovix/Engine.h"
#include "tovix/Xmp.h"

#include "tovix/Command.h"
#include "tovix/Inputs.h"
#include "tovix/Operations.h"
#include "tovix/Output.h"
#include "tovix/Support.h"

#include <qpdf/QPDFExc.hh>

#include <sys/stat.h>

#include <memory>

namespace sundrel::tovix {

std::string shown(const std::string& path) {
  constexpr std::size_t limit = 240;
  if (path.size() <= limit)
    return path;
  return path.substr(0, limit / 2) + "..." + path.substr(path.size() - limit / 2);
}

std::string oneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r')
      c = ' ';
  }
  return text;
}

Refusal currentRefusal() {
  try {
    throw;
  } catch (const Failure& e) {
    return {e.reason(), e.what()};
  } catch (const QPDFExc& e) {
    return {Reason::Damaged, oneLine(e.what())};
  } catch (const std::bad_alloc&) {
    return {Reason::Failed, "out of memory"};
  } catch (const std::exception& e) {
    return {Reason::Failed, oneLine(e.what())};
  } catch (...) {
    return {Reason::Failed, "unexpected failure"};
  }
}

namespace {

void perform(Context& ctx, Inputs& inputs) {
  const Command& cmd = ctx.cmd;
  switch (cmd.operation) {
  case Operation::DumpData:
  case Operation::DumpDataUtf8:
    dumpData(ctx, inputs.front());
    break;
  case Operation::PageSizes:
    pageSizes(ctx, inputs.front());
    break;
  case Operation::UpdateInfo:
  case Operation::UpdateInfoUtf8:
    updateInfo(ctx, inputs.front());
    break;
  case Operation::Copy:
    if (cmd.inputs.size() == 1) {
      DocumentOptions options;
      options.preserve = inputs.front().keepEncryption;
      options.sources = {&inputs.front()};
      writeDocument(ctx, *inputs.front().pdf, options);
      break;
    }
    [[fallthrough]];
  case Operation::Cat:
    if (cmd.chainInfo)
      finishedPart(ctx, inputs);
    else
      cat(ctx, inputs);
    break;
  }
}

// Refuses a session's own standard input or output as an input, the info
// file or the output, however it is spelled (/dev/stdin, /proc/self/fd/1, a
// FIFO): reading it would swallow the next commands, writing it would put a
// document ahead of the answer.
void refuseChannels(const Context& ctx) {
  const Command& cmd = ctx.cmd;
  auto channelOf = [&ctx](const std::string& path) -> const Channel* {
    struct stat st {};
    if (ctx.channels.empty() || path == "-" || ::stat(path.c_str(), &st) != 0)
      return nullptr;
    for (const Channel& channel : ctx.channels) {
      if (channel.dev == st.st_dev && channel.ino == st.st_ino)
        return &channel;
    }
    return nullptr;
  };
  const auto refusal = [](const std::string& path, const Channel& channel) {
    return ": " + shown(path) + " is this session's " + channel.what + "; give a file";
  };
  for (const Input& in : cmd.inputs) {
    if (const Channel* channel = channelOf(in.path))
      throw Failure(Reason::Refused, "Failed to open PDF file" + refusal(in.path, *channel));
  }
  if (!cmd.infoPath.empty()) {
    if (const Channel* channel = channelOf(cmd.infoPath))
      throw Failure(Reason::Refused, "Failed to open info file" + refusal(cmd.infoPath, *channel));
  }
  if (cmd.hasOutput) {
    if (const Channel* channel = channelOf(cmd.output))
      throw Failure(Reason::Refused,
                    "Unable to open file for writing" + refusal(cmd.output, *channel));
  }
}

} // namespace

int execute(Context& ctx) {
  const Command& cmd = ctx.cmd;
  refuseChannels(ctx);
  checkOutput(ctx);
  // A session keeps the inputs that pages are taken from; update_info and a
  // plain copy change or write the whole document, so they open their own.
  const bool cached = cmd.operation != Operation::UpdateInfo &&
                      cmd.operation != Operation::UpdateInfoUtf8 &&
                      !(cmd.operation == Operation::Copy && cmd.inputs.size() == 1);
  auto inputs = std::make_unique<Inputs>();
  inputs->open(cmd, ctx.cache, cached);
  try {
    perform(ctx, *inputs);
  } catch (...) {
    for (const OpenedInput* in : inputs->distinct()) {
      if (cached && ctx.cache != nullptr)
        ctx.cache->drop(in);
    }
    throw;
  }
  inputs->reportRepairs(ctx);
  // Encryption is not allowed in PDF/A: whoever needs the parts as PDF/A
  // must hear that they are not.
  if (cmd.encryption != Encryption::None && !cmd.inputs.empty() && pdfaPartOf(inputs->front()) > 0)
    ctx.warn(shown(inputs->front().path) +
             " is a PDF/A document; encrypted, its output is no longer PDF/A");
  if (ctx.quickExit)
    (void)inputs.release(); // freeing a large document costs as much as reading it
  return ctx.warnings ? ExitWarnings : ExitOk;
}

namespace {

const char* const usage =
    "tovix.dll: the Sundrel PDF engine (pdftk command language)\n"
    "usage: tovix.dll <input PDF files | HANDLE=file> [input_pw <passwords>]\n"
    "         [cat <page ranges> [update_info <file>] | dump_data | dump_data_utf8 |\n"
    "          update_info <file> | update_info_utf8 <file> | page_sizes]\n"
    "         output <file | -> | measure\n"
    "         [encrypt_40bit | encrypt_128bit | encrypt_aes128]\n"
    "         [user_pw <pw>] [owner_pw <pw>] [allow <permissions>] [dont_ask | do_ask]\n"
    "         [keep_encryption] [keep_fonts]   (keep_fonts: embedded fonts travel whole)\n"
    "         [size_limit <bytes>]   (cat ... update_info: pages that reach it are not written)\n"
    "       tovix.dll --session   (commands on standard input, one per line)\n";

} // namespace

int run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, std::FILE* in) {
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::fputs(usage, args.empty() ? err : out);
    return args.empty() ? ExitError : ExitOk;
  }
  ParseResult parsed = parseCommand(args);
  if (!parsed.ok) {
    std::fprintf(err, "%s\n",
                 bridge::errorLine(parsed.unsupported ? Reason::NotSupported : Reason::Usage,
                                   oneLine(parsed.error))
                     .c_str());
    return ExitError;
  }
  Context ctx{parsed.command, out, err, in};
  ctx.quickExit = true;
  int code = ExitError;
  Refusal refusal;
  try {
    code = execute(ctx);
  } catch (...) {
    refusal = currentRefusal();
  }
  // The coded error line comes first, where a program reads it.
  if (code == ExitError)
    std::fprintf(err, "%s\n", bridge::errorLine(refusal.reason, refusal.text).c_str());
  for (const std::string& message : ctx.messages)
    std::fprintf(err, "%s\n", message.c_str());
  if (code != ExitError && parsed.command.measure)
    std::fprintf(out, "%llu\n", static_cast<unsigned long long>(ctx.bytes));
  return code;
}

} // namespace sundrel::tovix
