// libFuzzer target: splitting never fails, and a quoted value always comes back whole.
#include "bridge/EngineRunner.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  (void)sundrel::bridge::splitCommandLine(text);
  const auto args =
      sundrel::bridge::splitCommandLine("prog " + sundrel::bridge::quoteArgument(text));
  if (args.size() != 2 || args[1] != text)
    std::abort();
  return 0;
}
