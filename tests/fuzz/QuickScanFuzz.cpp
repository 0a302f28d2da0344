// Differential: wherever the quick content scan answers, it must answer
// exactly what qpdf's content tokenizer does.

#include "tovix/Trim.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  if (const auto quick = sundrel::tovix::usedNamesQuickly(content)) {
    if (!(*quick == sundrel::tovix::usedNamesByTokenizer(content)))
      std::abort();
  }
  return 0;
}
