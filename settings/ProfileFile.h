#pragma once
// An INI profile file with the rules of the Windows profile functions:
// section and key names match without regard to case, blanks around a value
// are dropped, one pair of quotes enclosing the whole value is removed, values
// are cut to the reader's buffer, and every other line of the file (comments,
// unknown keys, blank lines) stays where it was when a value is written.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sundrel::settings {

class ProfileFile {
public:
  // Reads path; a missing or unreadable file gives an empty profile. Carriage
  // returns before line ends (files written on Windows) are accepted.
  static ProfileFile load(const std::string& path);

  // The contents of a settings file, or nothing with the reason: a folder, a
  // device, a FIFO or a file of absurd size is refused, never read.
  static std::optional<std::string> readText(const std::string& path, std::string& error);
  static constexpr long long kMaxFileBytes = 1 << 20;
  static ProfileFile parse(std::string_view text);

  // The value as GetPrivateProfileStringA gives it for a buffer of bufferSize
  // bytes: at most bufferSize - 1 characters; defaultValue when the key is missing.
  std::string getString(std::string_view section, std::string_view key,
                        std::string_view defaultValue, std::size_t bufferSize) const;

  // The value as GetPrivateProfileIntA gives it: defaultValue when the key is
  // missing or its value empty, else the leading signed decimal (0 when the
  // value does not begin with a number).
  int getInt(std::string_view section, std::string_view key, int defaultValue) const;

  // Replaces the key's value, or adds the key at the end of its section, or
  // appends a new section holding it.
  void setString(std::string_view section, std::string_view key, std::string_view value);

  // The whole file as text, one "\n" after each line.
  std::string text() const;

  // Writes the file atomically: a temporary file beside it, then a rename, so a
  // failed save leaves the previous file whole. A new file gets mode 0600 (it
  // may hold passwords), a replaced one keeps its mode. False when anything
  // failed, with the reason in *error when given.
  bool save(const std::string& path, std::string* error = nullptr) const;

private:
  std::vector<std::string> lines;
};

} // namespace sundrel::settings
