#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Page content as operators with their operands, read the way PDF readers
// read it: strings decoded, inline image data skipped. Only what following
// text and resources needs is kept of each operand.
namespace sundrel::tovix {

struct ContentOperand {
  enum class Kind { Number, Name, String, Array, Dictionary, Other } kind = Kind::Other;
  std::string text;                 // a name without its slash, or a string's bytes
  std::vector<std::string> strings; // an array's strings, in order
  std::string_view raw;             // a number as written (valid during the call)
  // A string that held a bare end of line, which readers take as 0x0A;
  // `alternative` holds it with the bytes as written.
  bool hasAlternative = false;
  std::string alternative;
};

class ContentHandler {
public:
  virtual ~ContentHandler() = default;
  // `operands` are those since the previous operator.
  virtual void onOperator(std::string_view op, const std::vector<ContentOperand>& operands) = 0;
};

// Reads `content`; false when it cannot be read cleanly (a string or array
// that does not end, an unbalanced bracket, an inline image without its end),
// in which case some operators may not have been seen.
bool readContent(std::string_view content, ContentHandler& handler);

} // namespace sundrel::tovix
