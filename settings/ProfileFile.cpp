#include "settings/ProfileFile.h"

#include "bridge/EngineRunner.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace sundrel::settings {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && isBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && (isBlank(text.back()) || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i]))
      return false;
  }
  return true;
}

// The section name of a "[name]" line, or nullopt for any other line.
bool sectionName(std::string_view line, std::string_view& name) {
  line = trim(line);
  if (line.empty() || line.front() != '[')
    return false;
  const std::size_t close = line.find(']');
  name = trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
  return true;
}

// The key of a "key=value" line; false for comments and lines without '='.
bool keyOf(std::string_view line, std::string_view& key, std::string_view& value) {
  const std::string_view trimmed = trim(line);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#')
    return false;
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos)
    return false;
  key = trim(line.substr(0, eq));
  value = trim(line.substr(eq + 1));
  return true;
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

void appendUtf8(std::string& out, char32_t point) {
  if (point < 0x80) {
    out += static_cast<char>(point);
  } else if (point < 0x800) {
    out += static_cast<char>(0xC0 | (point >> 6));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    out += static_cast<char>(0xE0 | (point >> 12));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (point >> 18));
    out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  }
}

// UTF-16 (after its mark) as UTF-8; false, with the reason, when it is cut or
// holds a surrogate without its partner: a password must never change.
bool utf16ToUtf8(std::string_view bytes, bool bigEndian, std::string& out, std::string& error) {
  if (bytes.size() % 2 != 0) {
    error = "it is UTF-16 text cut in the middle of a character";
    return false;
  }
  const auto unit = [&](std::size_t at) {
    const auto first = static_cast<unsigned char>(bytes[at]);
    const auto second = static_cast<unsigned char>(bytes[at + 1]);
    return static_cast<char32_t>(bigEndian ? (first << 8 | second) : (second << 8 | first));
  };
  for (std::size_t at = 0; at < bytes.size(); at += 2) {
    char32_t point = unit(at);
    if (point >= 0xD800 && point <= 0xDBFF && at + 2 < bytes.size() && unit(at + 2) >= 0xDC00 &&
        unit(at + 2) <= 0xDFFF) {
      point = 0x10000 + ((point - 0xD800) << 10) + (unit(at + 2) - 0xDC00);
      at += 2;
    } else if (point >= 0xD800 && point <= 0xDFFF) {
      error = "it is UTF-16 text with a broken character at byte " + std::to_string(at + 2);
      return false;
    }
    appendUtf8(out, point);
  }
  return true;
}

// UTF-8 as UTF-16 with its mark; false when text is not UTF-8.
bool utf8ToUtf16(std::string_view text, bool bigEndian, std::string& out) {
  const auto put = [&](char32_t unit) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    out += bigEndian ? high : low;
    out += bigEndian ? low : high;
  };
  put(0xFEFF);
  for (std::size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if ((lead >= 0x80 && lead < 0xC2) || lead > 0xF4 || at + length > text.size())
      return false;
    char32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
      const auto next = static_cast<unsigned char>(text[at + i]);
      if ((next & 0xC0) != 0x80)
        return false;
      point = point << 6 | (next & 0x3F);
    }
    if (point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
      return false;
    if (point >= 0x10000) {
      put(0xD800 + ((point - 0x10000) >> 10));
      put(0xDC00 + ((point - 0x10000) & 0x3FF));
    } else {
      put(point);
    }
    at += length;
  }
  return true;
}

} // namespace

std::optional<ProfileFile> ProfileFile::decode(std::string_view bytes, std::string& error) {
  Encoding encoding = Encoding::Utf8;
  std::string converted;
  if (bytes.substr(0, 3) == kUtf8Mark) {
    encoding = Encoding::Utf8Bom;
    bytes.remove_prefix(3);
  } else if (bytes.substr(0, 2) == kUtf16LeMark || bytes.substr(0, 2) == kUtf16BeMark) {
    encoding = bytes[0] == kUtf16LeMark[0] ? Encoding::Utf16Le : Encoding::Utf16Be;
    if (!utf16ToUtf8(bytes.substr(2), encoding == Encoding::Utf16Be, converted, error))
      return std::nullopt;
    bytes = converted;
  }
  ProfileFile profile;
  profile.encoding_ = encoding;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos)
      end = bytes.size();
    std::string_view line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    profile.lines.emplace_back(line);
    start = end + 1;
  }
  return profile;
}

ProfileFile ProfileFile::parse(std::string_view text) {
  std::string error;
  return decode(text, error).value_or(ProfileFile{});
}

std::optional<std::string> ProfileFile::readText(const std::string& path, std::string& error) {
  // Non-blocking, so that a FIFO named as the settings file cannot hang us.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return std::nullopt;
  }
  struct stat info {};
  std::optional<std::string> text;
  if (::fstat(fd, &info) != 0) {
    error = std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    error = S_ISDIR(info.st_mode) ? "it is a folder" : "it is not a regular file";
  } else if (info.st_size > kMaxFileBytes) {
    error = "it is too large to be a settings file";
  } else {
    std::string data(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < data.size()) {
      const ssize_t n = ::read(fd, data.data() + done, data.size() - done);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        break;
      done += static_cast<std::size_t>(n);
    }
    data.resize(done); // a file that shrank while read
    text = std::move(data);
  }
  ::close(fd);
  return text;
}

std::optional<ProfileFile> ProfileFile::read(const std::string& path, std::string& error) {
  const auto bytes = readText(path, error);
  return bytes ? decode(*bytes, error) : std::nullopt;
}

ProfileFile ProfileFile::load(const std::string& path) {
  std::string error;
  return read(path, error).value_or(ProfileFile{});
}

std::string ProfileFile::getString(std::string_view section, std::string_view key,
                                   std::string_view defaultValue, std::size_t bufferSize) const {
  std::string_view found = defaultValue;
  bool inSection = false;
  for (const auto& line : lines) {
    std::string_view name;
    if (sectionName(line, name)) {
      // Only the first section of a name counts, as for writing.
      if (inSection)
        break;
      inSection = equalsNoCase(name, section);
      continue;
    }
    std::string_view lineKey;
    std::string_view value;
    if (inSection && keyOf(line, lineKey, value) && equalsNoCase(lineKey, key)) {
      // One pair of matching quotes around the whole value is not part of it.
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
          value.back() == value.front())
        value = value.substr(1, value.size() - 2);
      found = value;
      break;
    }
  }
  if (bufferSize == 0)
    return {};
  return std::string(found.substr(0, bufferSize - 1));
}

int ProfileFile::getInt(std::string_view section, std::string_view key, int defaultValue) const {
  // A control character cannot be in a one-line value, so it marks "missing".
  constexpr std::string_view missing = "\x01";
  const std::string value = getString(section, key, missing, 64);
  if (value == missing || value.empty())
    return defaultValue;
  return bridge::parseLeadingInt(value);
}

void ProfileFile::setString(std::string_view section, std::string_view key,
                            std::string_view value) {
  const std::string entry = std::string(key) + "=" + std::string(value);
  bool inSection = false;
  std::size_t sectionEnd = 0; // index after the section's last non-blank line
  bool sectionFound = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string_view name;
    if (sectionName(lines[i], name)) {
      if (sectionFound)
        break;
      inSection = equalsNoCase(name, section);
      if (inSection) {
        sectionFound = true;
        sectionEnd = i + 1;
      }
      continue;
    }
    if (!inSection)
      continue;
    std::string_view lineKey;
    std::string_view lineValue;
    if (keyOf(lines[i], lineKey, lineValue) && equalsNoCase(lineKey, key)) {
      // The file's own spelling of the key stays.
      lines[i] = std::string(lineKey) + "=" + std::string(value);
      return;
    }
    if (!trim(lines[i]).empty())
      sectionEnd = i + 1;
  }
  if (sectionFound) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd), entry);
    return;
  }
  // A trailing empty element stands for the final line end of the file.
  if (!lines.empty() && lines.back().empty())
    lines.pop_back();
  lines.push_back("[" + std::string(section) + "]");
  lines.push_back(entry);
}

std::string ProfileFile::text() const {
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    // The last element is empty when the file ended with a line end.
    if (i + 1 == lines.size() && lines[i].empty())
      break;
    out += lines[i];
    out += '\n';
  }
  return out;
}

bool ProfileFile::save(const std::string& path, std::string* error) const {
  const auto fail = [&](int reason) {
    if (error != nullptr)
      *error = std::strerror(reason);
    return false;
  };
  std::string data = text();
  if (encoding_ == Encoding::Utf8Bom) {
    data.insert(0, kUtf8Mark);
  } else if (encoding_ != Encoding::Utf8) {
    std::string wide;
    if (!utf8ToUtf16(data, encoding_ == Encoding::Utf16Be, wide)) {
      if (error != nullptr)
        *error = "a value is not UTF-8 text, which a UTF-16 file cannot hold";
      return false;
    }
    data = std::move(wide);
  }
  std::string tempPath = path + ".XXXXXX";
  const int fd = ::mkstemp(tempPath.data());
  if (fd < 0)
    return fail(errno);
  struct stat existing {};
  const mode_t mode = ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0600;
  ::fchmod(fd, mode);
  int reason = 0;
  std::size_t written = 0;
  while (reason == 0 && written < data.size()) {
    const ssize_t count = ::write(fd, data.data() + written, data.size() - written);
    if (count <= 0)
      reason = count < 0 ? errno : EIO;
    else
      written += static_cast<std::size_t>(count);
  }
  // The new contents must be on disk before they replace the old file.
  if (reason == 0 && ::fsync(fd) != 0)
    reason = errno;
  if (::close(fd) != 0 && reason == 0)
    reason = errno;
  if (reason == 0 && std::rename(tempPath.c_str(), path.c_str()) != 0)
    reason = errno;
  if (reason == 0)
    return true;
  ::unlink(tempPath.c_str());
  return fail(reason);
}

} // namespace sundrel::settings
