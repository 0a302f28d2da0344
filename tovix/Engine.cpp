#include "tovix/Engine.h"

#include "tovix/Command.h"
#include "tovix/Inputs.h"
#include "tovix/Operations.h"
#include "tovix/Output.h"
#include "tovix/Support.h"

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

namespace {

int execute(Context& ctx) {
  const Command& cmd = ctx.cmd;
  checkOutput(ctx);
  Inputs inputs;
  inputs.open(cmd);
  switch (cmd.operation) {
  case Operation::DumpData:
  case Operation::DumpDataUtf8:
    dumpData(ctx, inputs.front());
    break;
  case Operation::UpdateInfo:
  case Operation::UpdateInfoUtf8:
    updateInfo(ctx, inputs.front());
    break;
  case Operation::Copy:
    if (inputs.all().size() == 1) {
      DocumentOptions options;
      options.preserve = inputs.front().keepEncryption;
      writeDocument(ctx, *inputs.front().pdf, options);
      break;
    }
    [[fallthrough]];
  case Operation::Cat:
    cat(ctx, inputs);
    break;
  }
  inputs.reportRepairs(ctx);
  return ctx.warnings ? ExitWarnings : ExitOk;
}

} // namespace

int run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, std::FILE* in) {
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::fputs("tovix.dll: the Sundrel PDF engine (pdftk command language)\n"
               "usage: tovix.dll <input PDF files | HANDLE=file> [input_pw <passwords>]\n"
               "         [cat <page ranges> | dump_data | dump_data_utf8 |\n"
               "          update_info <file> | update_info_utf8 <file>]\n"
               "         output <file | -> [encrypt_40bit | encrypt_128bit | encrypt_aes128]\n"
               "         [user_pw <pw>] [owner_pw <pw>] [allow <permissions>] "
               "[dont_ask | do_ask]\n",
               args.empty() ? err : out);
    return args.empty() ? ExitError : ExitOk;
  }
  ParseResult parsed = parseCommand(args);
  if (!parsed.ok) {
    std::fprintf(err, "Error: %s\n", oneLine(parsed.error).c_str());
    return ExitError;
  }
  try {
    Context ctx{parsed.command, out, err, in};
    return execute(ctx);
  } catch (const Failure& e) {
    std::fprintf(err, "Error: %s\n", e.what());
  } catch (const std::exception& e) {
    std::fprintf(err, "Error: %s\n", oneLine(e.what()).c_str());
  } catch (...) {
    std::fputs("Error: unexpected failure\n", err);
  }
  return ExitError;
}

} // namespace sundrel::tovix
