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
  // How the file's text is stored. As the Windows profile functions do, a
  // file that starts with a UTF-16 byte order mark is read as UTF-16, and a
  // UTF-8 one is skipped; a save keeps the file's own form.
  enum class Encoding { Utf8, Utf8Bom, Utf16Le, Utf16Be };

  // Reads path; a missing, unreadable or undecodable file gives an empty
  // profile. Carriage returns before line ends (files written on Windows)
  // are accepted.
  static ProfileFile load(const std::string& path);
  // The same, or nothing with the reason when the file is there but cannot be
  // read or decoded (a missing file is an error too: errno's text).
  static std::optional<ProfileFile> read(const std::string& path, std::string& error);

  // The bytes of a settings file, or nothing with the reason: a folder, a
  // device, a FIFO or a file of absurd size is refused, never read.
  static std::optional<std::string> readText(const std::string& path, std::string& error);
  static constexpr long long kMaxFileBytes = 1 << 20;
  // The profile in a file's bytes, its byte order mark heeded; nothing, with
  // the reason, for UTF-16 that is cut or holds a broken character.
  static std::optional<ProfileFile> decode(std::string_view bytes, std::string& error);
  // decode, with an undecodable text taken as an empty profile.
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

  // The whole file as text (UTF-8), one "\n" after each line.
  std::string text() const;
  Encoding encoding() const { return encoding_; }

  // Writes the file atomically: a temporary file beside it, then a rename, so a
  // failed save leaves the previous file whole. A new file gets mode 0600 (it
  // may hold passwords), a replaced one keeps its mode. False when anything
  // failed, with the reason in *error when given.
  bool save(const std::string& path, std::string* error = nullptr) const;

private:
  std::vector<std::string> lines;
  Encoding encoding_ = Encoding::Utf8;
};

} // namespace sundrel::settings
