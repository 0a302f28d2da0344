// libFuzzer target: the engine's reading of PDF files. The input is written
// to a file and read by dump_data, page_sizes and two measured cats (one
// page, every page), as a session would run them. The work runs on a thread
// with a large stack, as in the engine, so that only a fault of the engine
// ends the run, not the recursion depth libqpdf allows on that stack.

#include "tovix/Command.h"
#include "tovix/Inputs.h"
#include "tovix/Operations.h"

#include <pthread.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Job {
  const std::string* path;
};

void* runCommands(void* arg) {
  using namespace sundrel::tovix;
  const std::string& path = *static_cast<Job*>(arg)->path;
  const std::vector<std::vector<std::string>> commands = {
      {path, "dump_data"},
      {"A=" + path, "page_sizes", "measure"},
      {"A=" + path, "cat", "A1", "measure"},
      {"A=" + path, "cat", "A", "measure"},
  };
  std::FILE* sink = std::fopen("/dev/null", "w");
  InputCache cache;
  for (const auto& args : commands) {
    const ParseResult parsed = parseCommand(args);
    Context ctx(parsed.command, sink, nullptr, nullptr, &cache);
    try {
      execute(ctx);
    } catch (const std::exception&) {
      // a refused file is a result, not a fault
    }
  }
  std::fclose(sink);
  return nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = [] {
    char name[] = "/tmp/tovix-fuzz-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd >= 0)
      ::close(fd);
    return std::string(name);
  }();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr)
    return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  Job job{&path};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, std::size_t{256} << 20);
  pthread_t thread;
  if (pthread_create(&thread, &attr, runCommands, &job) == 0)
    pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  return 0;
}
