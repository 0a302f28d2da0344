#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The pdftk command language as far as this engine speaks it: inputs with
// optional handles and passwords, one operation, an output clause with
// encryption options. Parsing is pure (no file access) so that it can be
// fuzzed and tested on its own.
namespace sundrel::tovix {

struct Input {
  std::string handle; // upper-case letters, or empty for a bare file name
  std::string path;
  std::string password;
  bool hasPassword = false;
};

enum class Operation { Copy, Cat, DumpData, DumpDataUtf8, UpdateInfo, UpdateInfoUtf8, PageSizes };

// One end of a page range: a page number, `end`, or `rN` (N-th page from the end).
struct PageRef {
  enum class Kind { Number, End, FromEnd } kind = Kind::Number;
  std::uint64_t value = 0; // saturated at UINT64_MAX for absurdly long digit strings
};

struct PageRange {
  std::string text;   // the token as given, for error messages
  std::size_t input;  // index into Command::inputs
  bool whole = false; // a handle alone: every page
  PageRef first;
  PageRef last; // equal to first for a single page
  enum class Parity { All, Even, Odd } parity = Parity::All;
  int rotation = 0;              // degrees: 0, 90, 180, 270
  bool rotationAbsolute = false; // north/east/south/west set it, left/right/down add it
};

enum class Encryption { None, Rc4_40, Rc4_128, Aes128 };

struct Permissions {
  bool printing = false;
  bool degradedPrinting = false;
  bool modifyContents = false;
  bool assembly = false;
  bool copyContents = false;
  bool screenReaders = false;
  bool modifyAnnotations = false;
  bool fillIn = false;
};

struct Command {
  std::vector<Input> inputs;
  Operation operation = Operation::Copy;
  std::vector<PageRange> ranges; // cat only; empty means every page of every input
  std::string infoPath;   // update_info, or cat followed by update_info; "-" is standard input
  bool chainInfo = false; // cat ... update_info FILE: the finished part in one command
  bool hasOutput = false;
  std::string output;   // "-" is standard output
  bool measure = false; // `measure` in place of the output clause: the size, nothing written
  Encryption encryption = Encryption::None;
  bool hasUserPassword = false;
  std::string userPassword;
  bool hasOwnerPassword = false;
  std::string ownerPassword;
  Permissions allow;
  bool ask = false; // do_ask: confirm before replacing an existing output
  // keep_encryption: the output keeps the encryption of an input that was
  // opened with its password (inputs opened without one keep theirs anyway)
  bool keepEncryption = false;
  // keep_fonts: embedded fonts are copied whole rather than cut down to the
  // glyphs the output's pages draw
  bool keepFonts = false;
  // size_limit N, with cat ... update_info: when the plain pages come to N
  // bytes or more and are more than one page, they are not a part and
  // nothing is written (the answer still gives their size)
  std::uint64_t sizeLimit = 0;
};

struct ParseResult {
  bool ok = false;
  std::string error;        // one line, without the "Error: " prefix
  bool unsupported = false; // the error names a pdftk operation this engine does not perform
  Command command;
};

// Parses the arguments after the program name.
ParseResult parseCommand(const std::vector<std::string>& args);

// Parses one page-range token of `cat` against the declared inputs; on
// failure returns false and sets `error`.
bool parsePageRange(const std::string& token, const std::vector<Input>& inputs, PageRange& range,
                    std::string& error);

// Resolves a range to 1-based page numbers of a document with `pageCount`
// pages, in the order they are to be written. On failure returns false and
// sets `error` in pdftk's words.
bool resolvePageRange(const PageRange& range, std::uint64_t pageCount,
                      std::vector<std::uint64_t>& pages, std::string& error);

} // namespace sundrel::tovix
