// libFuzzer target: the engine's argument, page-range and info-file parsers.
// The input is split at NUL bytes into arguments; the first byte also picks
// the page count that ranges are resolved against.

#include "tovix/Command.h"
#include "tovix/InfoText.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args;
  std::string current;
  for (char c : text) {
    if (c == '\0') {
      args.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  args.push_back(current);

  const sundrel::tovix::ParseResult parsed = sundrel::tovix::parseCommand(args);
  const std::uint64_t pageCount = size > 0 ? data[0] : 0;
  if (parsed.ok) {
    for (const auto& range : parsed.command.ranges) {
      std::vector<std::uint64_t> pages;
      std::string error;
      if (sundrel::tovix::resolvePageRange(range, pageCount, pages, error) &&
          pages.size() > pageCount)
        __builtin_trap(); // a range never selects more pages than it spans
    }
  }
  const auto update = sundrel::tovix::parseInfoUpdate(text);
  for (const auto& [key, value] : update.entries)
    (void)sundrel::tovix::escapeReportValue(value, true);
  (void)sundrel::tovix::toUtf8(text);
  return 0;
}
