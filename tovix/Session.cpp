// The engine as a session: one process serves a whole run, reading commands
// from standard input and answering each with one status line,
//   <exit code> <bytes> <message>
// followed by <bytes> of payload when the command wrote to standard output.

#include "tovix/Engine.h"
#include "tovix/Inputs.h"
#include "tovix/Operations.h"
#include "tovix/Process.h"

#include "bridge/EngineRunner.h"

#include <malloc.h>
#ifdef SUNDREL_MIMALLOC
#include <mimalloc.h>
#endif
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <memory>

namespace sundrel::tovix {

namespace {

// Inputs kept open between commands: the source being split, and a few others.
constexpr std::size_t kKeptInputs = 3;
constexpr std::size_t kLongestLine = 1 << 20;

struct Answer {
  int code = ExitError;
  std::uint64_t bytes = 0;
  std::string message;
  std::string payload;
};

// Reads one line without its line break (and a CR before it); false at the
// end of input. A line longer than kLongestLine comes back empty with
// `tooLong` set.
bool readLine(std::FILE* in, std::string& line, bool& tooLong) {
  line.clear();
  tooLong = false;
  int c = 0;
  while ((c = std::getc(in)) != EOF && c != '\n') {
    if (line.size() < kLongestLine)
      line += static_cast<char>(c);
    else
      tooLong = true;
  }
  if (c == EOF && line.empty() && !tooLong)
    return false;
  if (!line.empty() && line.back() == '\r')
    line.pop_back();
  if (tooLong)
    line.clear();
  return true;
}

Answer answer(const std::vector<std::string>& args, InputCache& cache,
              const std::vector<Channel>& channels) {
  Answer a;
  ParseResult parsed = parseCommand(args);
  if (!parsed.ok) {
    a.message = bridge::errorLine(parsed.unsupported ? Reason::NotSupported : Reason::Usage,
                                  oneLine(parsed.error));
    return a;
  }
  char* data = nullptr;
  std::size_t size = 0;
  std::FILE* payload = ::open_memstream(&data, &size);
  if (payload == nullptr) {
    a.message = bridge::errorLine(Reason::Failed, "out of memory");
    return a;
  }
  Context ctx{parsed.command, payload, nullptr, nullptr, &cache};
  ctx.channels = channels;
  try {
    a.code = execute(ctx);
  } catch (...) {
    const Refusal refusal = currentRefusal();
    a.message = bridge::errorLine(refusal.reason, refusal.text);
  }
  std::fclose(payload);
  std::unique_ptr<char, decltype(&std::free)> owned(data, &std::free);
  if (a.code == ExitError)
    return a;
  a.payload.assign(data, size);
  a.bytes = size > 0 ? size : ctx.bytes;
  a.message = ctx.messages.empty() ? "ok" : ctx.messages.front();
  // Every warning in the one line: "Warning: first; second".
  for (std::size_t i = 1; i < ctx.messages.size(); ++i) {
    const std::string& more = ctx.messages[i];
    a.message += "; " + (more.rfind("Warning: ", 0) == 0 ? more.substr(9) : more);
  }
  if (ctx.catBytes >= 0)
    a.message = "cat_bytes=" + std::to_string(ctx.catBytes) + " " + a.message;
  return a;
}

} // namespace

void runSession(std::FILE* in, std::FILE* out) {
  // Never outlive the front end: killed when it goes, ended when it is gone.
  const pid_t parent = ::getppid();
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (parent == 1 || ::getppid() != parent)
    return;
  setCrashLine(
      1, "1 0 Error: [failed] the engine failed on this file (nested too deeply or damaged)\n");
  std::fputs("tovix-session 1\n", out);
  std::fflush(out);

  std::vector<Channel> channels;
  const std::pair<std::FILE*, const char*> ends[] = {
      {in, "standard input, which carries its commands"},
      {out, "standard output, which carries its answers"}};
  for (const auto& [file, what] : ends) {
    struct stat st {};
    if (::fstat(::fileno(file), &st) == 0)
      channels.push_back({st.st_dev, st.st_ino, what});
  }
  InputCache cache;
  std::string line;
  bool tooLong = false;
  int sinceTrim = 0;
  while (readLine(in, line, tooLong)) {
    Answer a;
    const auto args = bridge::splitCommandLine(line);
    if (tooLong)
      a.message = bridge::errorLine(Reason::Usage, "command line too long");
    else if (args.empty())
      a.message = bridge::errorLine(Reason::Usage, "empty command");
    else
      a = answer(args, cache, channels);
    // A path in a message may hold a line break; the answer stays one line.
    std::fprintf(out, "%d %llu %s\n", a.code, static_cast<unsigned long long>(a.bytes),
                 oneLine(a.message).c_str());
    std::fwrite(a.payload.data(), 1, a.payload.size(), out);
    std::fflush(out);
    cache.trim(kKeptInputs);
    // A command's output document is freed by now. Giving its memory back
    // after every command costs more than many small commands themselves
    // (the next one faults the pages in again): do it after a large output
    // and now and then, so the session does not keep what it no longer uses.
    constexpr std::uint64_t kLargeOutput = 8u << 20;
    if (a.bytes >= kLargeOutput || a.payload.size() >= kLargeOutput || ++sinceTrim >= 64) {
#ifdef SUNDREL_MIMALLOC
      mi_collect(true);
#else
      ::malloc_trim(0);
#endif
      sinceTrim = 0;
    }
  }
}

} // namespace sundrel::tovix
