#pragma once
// The open passwords of protected sources for sundrel-split: read from a
// password file, or asked for at the terminal. Never taken from the command
// line, where every user of the machine could read them in the process list.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace sundrel::cli {

class PasswordBook {
public:
  // Takes the text of a password file: either one line holding the password
  // of every file, or lines "path<TAB>password" (blank lines ignored; paths
  // relative to the current directory). A path matches the same file however
  // it is spelled (relative, absolute, through a link): files are compared by
  // device and inode. Returns an error (naming a line, never a password) or
  // empty; lines naming no file add a note to warnings and are left out.
  std::string parse(std::string_view text, std::vector<std::string>& warnings);

  // The password for the file at path, if the book has one.
  std::optional<std::string> find(const std::string& path) const;
  // Adds the password of the file at path (one asked for at the terminal).
  void remember(const std::string& path, const std::string& password);

private:
  using FileKey = std::pair<dev_t, ino_t>;
  static std::optional<FileKey> keyOf(const std::string& path);

  std::optional<std::string> everyFile;
  std::map<FileKey, std::string> byFile;
};

// Reads the password file at path into book; an error text or empty.
std::string readPasswordFile(const std::string& path, PasswordBook& book,
                             std::vector<std::string>& warnings);

// True when the engine cannot open the PDF at path without a password.
bool needsPassword(const std::string& path);

// Asks for the password of path on the terminal (standard input, without
// echo; the prompt goes to standard error). nullopt on an empty answer or
// end of input.
std::optional<std::string> askPassword(const std::string& path);

} // namespace sundrel::cli
