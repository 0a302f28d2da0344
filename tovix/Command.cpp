#include "tovix/Command.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstddef>
#include <limits>

namespace sundrel::tovix {

namespace {

std::string lower(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool isHandle(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

bool isOperation(const std::string& kw) {
  return kw == "cat" || kw == "dump_data" || kw == "dump_data_utf8" || kw == "update_info" ||
         kw == "update_info_utf8" || kw == "page_sizes";
}

bool isUpdateInfo(const std::string& kw) {
  return kw == "update_info" || kw == "update_info_utf8";
}

// What ends the output-less part of a command.
bool isOutputClause(const std::string& token) {
  const std::string kw = lower(token);
  return kw == "output" || kw == "measure";
}

// pdftk operations that this engine knows by name but does not perform.
bool isUnsupportedOperation(const std::string& kw) {
  static const char* const names[] = {"shuffle",
                                      "burst",
                                      "rotate",
                                      "generate_fdf",
                                      "fill_form",
                                      "background",
                                      "multibackground",
                                      "stamp",
                                      "multistamp",
                                      "dump_data_fields",
                                      "dump_data_fields_utf8",
                                      "dump_data_annots",
                                      "attach_files",
                                      "unpack_files"};
  return std::any_of(std::begin(names), std::end(names), [&](const char* n) { return kw == n; });
}

// pdftk output options that this engine knows by name but does not apply.
bool isUnsupportedOutputOption(const std::string& kw) {
  static const char* const names[] = {"flatten",       "uncompress", "keep_first_id",
                                      "keep_final_id", "drop_xfa",   "need_appearances"};
  return std::any_of(std::begin(names), std::end(names), [&](const char* n) { return kw == n; });
}

bool isSectionKeyword(const std::string& token) {
  const std::string kw = lower(token);
  return kw == "input_pw" || kw == "output" || kw == "measure" || isOperation(kw) ||
         isUnsupportedOperation(kw);
}

// Sets the permission named by `kw`; false when it is not a permission keyword.
bool applyPermission(const std::string& kw, Permissions& p) {
  if (kw == "printing") {
    p.printing = p.degradedPrinting = true;
  } else if (kw == "degradedprinting") {
    p.degradedPrinting = true;
  } else if (kw == "modifycontents") {
    // pdftk grants assembly along with content changes
    p.modifyContents = p.assembly = true;
  } else if (kw == "assembly") {
    p.assembly = true;
  } else if (kw == "copycontents") {
    // copying for any purpose includes copying for screen readers
    p.copyContents = p.screenReaders = true;
  } else if (kw == "screenreaders") {
    p.screenReaders = true;
  } else if (kw == "modifyannotations") {
    p.modifyAnnotations = p.fillIn = true;
  } else if (kw == "fillin") {
    p.fillIn = true;
  } else if (kw == "allfeatures") {
    p = Permissions{true, true, true, true, true, true, true, true};
  } else {
    return false;
  }
  return true;
}

// Reads digits at `pos`; saturates instead of overflowing.
bool readNumber(const std::string& s, std::size_t& pos, std::uint64_t& value) {
  const std::size_t start = pos;
  value = 0;
  constexpr std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
  while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
    const auto digit = static_cast<std::uint64_t>(s[pos] - '0');
    value = value > (max - digit) / 10 ? max : value * 10 + digit;
    ++pos;
  }
  return pos > start;
}

bool startsWith(const std::string& s, std::size_t pos, const char* word) {
  return s.compare(pos, std::char_traits<char>::length(word), word) == 0;
}

bool readPageRef(const std::string& s, std::size_t& pos, PageRef& ref) {
  if (startsWith(s, pos, "end")) {
    ref = {PageRef::Kind::End, 0};
    pos += 3;
    return true;
  }
  if (s.size() > pos + 1 && s[pos] == 'r' && s[pos + 1] >= '0' && s[pos + 1] <= '9') {
    ++pos;
    ref.kind = PageRef::Kind::FromEnd;
    return readNumber(s, pos, ref.value);
  }
  ref.kind = PageRef::Kind::Number;
  return readNumber(s, pos, ref.value);
}

std::string describe(const PageRef& ref) {
  switch (ref.kind) {
  case PageRef::Kind::End:
    return "end";
  case PageRef::Kind::FromEnd:
    return "r" + std::to_string(ref.value);
  case PageRef::Kind::Number:
    break;
  }
  return std::to_string(ref.value);
}

} // namespace

bool parsePageRange(const std::string& token, const std::vector<Input>& inputs, PageRange& range,
                    std::string& error) {
  range = PageRange{};
  range.text = token;
  std::size_t pos = 0;
  while (pos < token.size() && token[pos] >= 'A' && token[pos] <= 'Z')
    ++pos;
  const std::string handle = token.substr(0, pos);
  if (handle.empty()) {
    range.input = 0;
  } else {
    auto it = std::find_if(inputs.begin(), inputs.end(),
                           [&](const Input& in) { return in.handle == handle; });
    if (it == inputs.end()) {
      error = "Given handle has no associated file: " + handle + ", used here: " + token;
      return false;
    }
    range.input = static_cast<std::size_t>(it - inputs.begin());
  }

  const bool hasRef = pos < token.size() && (token[pos] == 'r' || startsWith(token, pos, "end") ||
                                             (token[pos] >= '0' && token[pos] <= '9'));
  if (hasRef) {
    if (!readPageRef(token, pos, range.first)) {
      error = "Unexpected text in page range: " + token;
      return false;
    }
    range.last = range.first;
    if (pos < token.size() && token[pos] == '-') {
      ++pos;
      if (!readPageRef(token, pos, range.last)) {
        error = "Missing range end page number in page range: " + token;
        return false;
      }
    }
    for (const PageRef* ref : {&range.first, &range.last}) {
      if (ref->kind != PageRef::Kind::End && ref->value == 0) {
        error = "Invalid page number " + describe(*ref) + " in page range: " + token +
                " (pages are numbered from 1)";
        return false;
      }
    }
  } else {
    if (handle.empty()) {
      error = "Unexpected text in page range: " + token;
      return false;
    }
    range.whole = true;
  }

  if (startsWith(token, pos, "even")) {
    range.parity = PageRange::Parity::Even;
    pos += 4;
  } else if (startsWith(token, pos, "odd")) {
    range.parity = PageRange::Parity::Odd;
    pos += 3;
  }

  struct Turn {
    const char* word;
    int degrees;
    bool absolute;
  };
  static const Turn turns[] = {{"north", 0, true},  {"east", 90, true},   {"south", 180, true},
                               {"west", 270, true}, {"left", 270, false}, {"right", 90, false},
                               {"down", 180, false}};
  for (const Turn& t : turns) {
    if (startsWith(token, pos, t.word)) {
      range.rotation = t.degrees;
      range.rotationAbsolute = t.absolute;
      pos += std::char_traits<char>::length(t.word);
      break;
    }
  }

  if (pos != token.size()) {
    if (!hasRef && pos == handle.size() && token[pos] == '-')
      error = "Missing range start page number in page range: " + token;
    else
      error = "Unexpected text in page range: " + token;
    return false;
  }
  return true;
}

bool resolvePageRange(const PageRange& range, std::uint64_t pageCount,
                      std::vector<std::uint64_t>& pages, std::string& error) {
  if (pageCount == 0) {
    error = "Input PDF has no pages, used here: " + range.text;
    return false;
  }
  std::uint64_t first = 1;
  std::uint64_t last = pageCount;
  if (!range.whole) {
    auto value = [&](const PageRef& ref, const char* which, std::uint64_t& out) {
      switch (ref.kind) {
      case PageRef::Kind::End:
        out = pageCount;
        return true;
      case PageRef::Kind::FromEnd:
        if (ref.value > pageCount) {
          error = std::string("Range ") + which +
                  " page number exceeds size of PDF; here: " + range.text +
                  "; input PDF has: " + std::to_string(pageCount) + " pages";
          return false;
        }
        out = pageCount - ref.value + 1;
        return true;
      case PageRef::Kind::Number:
        break;
      }
      if (ref.value > pageCount) {
        error = std::string("Range ") + which +
                " page number exceeds size of PDF; here: " + range.text +
                "; input PDF has: " + std::to_string(pageCount) + " pages";
        return false;
      }
      out = ref.value;
      return true;
    };
    if (!value(range.first, "start", first) || !value(range.last, "end", last))
      return false;
  }
  const bool descending = first > last;
  for (std::uint64_t p = first;; p = descending ? p - 1 : p + 1) {
    const bool even = p % 2 == 0;
    if (range.parity == PageRange::Parity::All || (range.parity == PageRange::Parity::Even) == even)
      pages.push_back(p);
    if (p == last)
      break;
  }
  return true;
}

namespace {

// The command line being read, section by section. Each section reader
// starts at args[i], stops after its section and returns an error message,
// or an empty text when the section is fine.
struct Reader {
  const std::vector<std::string>& args;
  Command& cmd;
  std::size_t i = 0;
  bool encryptionGiven = false;
  bool unsupported = false;

  bool more() const { return i < args.size(); }
  std::string word() const { return lower(args[i]); }
};

// Inputs: everything up to the first keyword.
std::string readInputs(Reader& r) {
  Command& cmd = r.cmd;
  for (; r.more() && !isSectionKeyword(r.args[r.i]); ++r.i) {
    const std::string& token = r.args[r.i];
    Input in;
    const std::size_t eq = token.find('=');
    if (eq != std::string::npos && isHandle(token.substr(0, eq))) {
      in.handle = token.substr(0, eq);
      in.path = token.substr(eq + 1);
      for (const Input& other : cmd.inputs) {
        if (other.handle == in.handle)
          return "Handle " + in.handle + " is assigned to more than one file";
      }
    } else {
      in.path = token;
    }
    if (in.path.empty())
      return "Missing file name in input: " + token;
    cmd.inputs.push_back(std::move(in));
  }
  return cmd.inputs.empty() ? "No input files given" : "";
}

std::string readPasswords(Reader& r) {
  if (!r.more() || r.word() != "input_pw")
    return "";
  Command& cmd = r.cmd;
  std::size_t next = 0; // passwords without a handle go to the inputs in order
  for (++r.i; r.more() && !isSectionKeyword(r.args[r.i]); ++r.i) {
    const std::string& token = r.args[r.i];
    const std::size_t eq = token.find('=');
    Input* target = nullptr;
    std::string password = token;
    if (eq != std::string::npos && isHandle(token.substr(0, eq))) {
      const std::string handle = token.substr(0, eq);
      for (Input& in : cmd.inputs) {
        if (in.handle == handle)
          target = &in;
      }
      password = token.substr(eq + 1);
      if (target == nullptr)
        return "Given handle has no associated file: " + handle + ", used here: " + token;
    } else {
      if (next >= cmd.inputs.size())
        return "More input passwords than input files: " + token;
      target = &cmd.inputs[next++];
    }
    target->password = password;
    target->hasPassword = true;
  }
  return "";
}

// The file name after update_info (of its own or after cat).
std::string readInfoPath(Reader& r, const std::string& keyword) {
  if (!r.more() || isOutputClause(r.args[r.i]))
    return "Missing info file name after " + keyword;
  r.cmd.infoPath = r.args[r.i++];
  return "";
}

std::string readCat(Reader& r) {
  Command& cmd = r.cmd;
  cmd.operation = Operation::Cat;
  for (; r.more() && !isOutputClause(r.args[r.i]) && !isUpdateInfo(r.word()); ++r.i) {
    PageRange range;
    std::string error;
    if (!parsePageRange(r.args[r.i], cmd.inputs, range, error))
      return error;
    cmd.ranges.push_back(std::move(range));
  }
  if (!r.more() || !isUpdateInfo(r.word()))
    return "";
  // The finished part: the pages, then the properties, in one command.
  cmd.chainInfo = true;
  const std::string keyword = r.word();
  ++r.i;
  return readInfoPath(r, keyword);
}

std::string readOperation(Reader& r) {
  if (!r.more() || isOutputClause(r.args[r.i]))
    return "";
  Command& cmd = r.cmd;
  const std::string kw = r.word();
  if (isUnsupportedOperation(kw)) {
    r.unsupported = true;
    return "The operation " + r.args[r.i] + " is not supported by this engine";
  }
  if (kw == "input_pw")
    return "input_pw given more than once";
  ++r.i;
  if (kw == "cat")
    return readCat(r);
  if (kw == "dump_data" || kw == "dump_data_utf8") {
    cmd.operation = kw == "dump_data" ? Operation::DumpData : Operation::DumpDataUtf8;
  } else if (kw == "page_sizes") {
    cmd.operation = Operation::PageSizes;
  } else { // update_info, update_info_utf8
    cmd.operation = kw == "update_info" ? Operation::UpdateInfo : Operation::UpdateInfoUtf8;
    return readInfoPath(r, kw);
  }
  return "";
}

std::string readOutput(Reader& r) {
  if (!r.more())
    return "";
  Command& cmd = r.cmd;
  if (r.word() == "measure") {
    cmd.measure = true;
    ++r.i;
    return "";
  }
  if (r.word() != "output")
    return "Unexpected data before output: " + r.args[r.i];
  if (++r.i >= r.args.size())
    return "Missing output file name after output";
  cmd.output = r.args[r.i++];
  cmd.hasOutput = true;
  return cmd.output.empty() ? "Empty output file name" : "";
}

// Encryption, permissions and prompting, after the output.
std::string readOptions(Reader& r) {
  Command& cmd = r.cmd;
  for (; r.more(); ++r.i) {
    const std::string kw = r.word();
    if (kw == "encrypt_40bit" || kw == "encrypt_128bit" || kw == "encrypt_aes128") {
      if (r.encryptionGiven)
        return "More than one encryption strength given: " + r.args[r.i];
      r.encryptionGiven = true;
      cmd.encryption = kw == "encrypt_40bit"    ? Encryption::Rc4_40
                       : kw == "encrypt_128bit" ? Encryption::Rc4_128
                                                : Encryption::Aes128;
    } else if (kw == "user_pw" || kw == "owner_pw") {
      if (r.i + 1 >= r.args.size())
        return "Missing password after " + r.args[r.i];
      const bool user = kw == "user_pw";
      (user ? cmd.hasUserPassword : cmd.hasOwnerPassword) = true;
      (user ? cmd.userPassword : cmd.ownerPassword) = r.args[++r.i];
    } else if (kw == "allow") {
      while (r.i + 1 < r.args.size() && applyPermission(lower(r.args[r.i + 1]), cmd.allow))
        ++r.i;
    } else if (kw == "keep_encryption") {
      cmd.keepEncryption = true;
    } else if (kw == "keep_fonts") {
      cmd.keepFonts = true;
    } else if (kw == "size_limit") {
      const std::string value = r.i + 1 < r.args.size() ? r.args[++r.i] : std::string();
      const char* end = value.data() + value.size();
      const auto [at, ec] = std::from_chars(value.data(), end, cmd.sizeLimit);
      if (value.empty() || ec != std::errc() || at != end || cmd.sizeLimit == 0)
        return "size_limit needs a number of bytes above 0";
    } else if (kw == "dont_ask" || kw == "do_ask") {
      cmd.ask = kw == "do_ask";
    } else if (kw != "verbose" && kw != "compress") {
      // (verbose and compress are accepted for pdftk compatibility; streams
      // are always compressed)
      r.unsupported = isUnsupportedOutputOption(kw);
      return "Unexpected data in output section: " + r.args[r.i];
    }
  }
  return "";
}

} // namespace

ParseResult parseCommand(const std::vector<std::string>& args) {
  ParseResult result;
  Command& cmd = result.command;
  Reader reader{args, cmd};
  for (auto section : {readInputs, readPasswords, readOperation, readOutput, readOptions}) {
    result.error = section(reader);
    if (!result.error.empty()) {
      result.unsupported = reader.unsupported;
      return result;
    }
  }
  const bool report = cmd.operation == Operation::DumpData ||
                      cmd.operation == Operation::DumpDataUtf8 ||
                      cmd.operation == Operation::PageSizes;
  if (!cmd.hasOutput && !cmd.measure && !report) {
    result.error = "No output file given (missing output keyword)";
    return result;
  }
  if (!reader.encryptionGiven && (cmd.hasUserPassword || cmd.hasOwnerPassword)) {
    // pdftk encrypts with 128-bit RC4 when passwords are given without a strength
    cmd.encryption = Encryption::Rc4_128;
  }
  result.ok = true;
  return result;
}

} // namespace sundrel::tovix
