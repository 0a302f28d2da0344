#pragma once
// Where a test finds the built programs and the corpus: the
// environment variable of the same name, else the build's own paths.

#include <cstdlib>
#include <string>

namespace sundrel::test {

inline std::string envOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

// text as one word for /bin/sh, whatever it holds.
inline std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

inline std::string binDir() {
  return envOr("SUNDREL_BIN_DIR", SUNDREL_DEFAULT_BIN_DIR);
}
inline std::string corpusDir() {
  return envOr("SUNDREL_CORPUS_DIR", SUNDREL_DEFAULT_CORPUS_DIR);
}

} // namespace sundrel::test
