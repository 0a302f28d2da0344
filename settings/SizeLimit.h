#pragma once
// The size limit as people write it, read the same way by the window's size
// edit and by sundrel-split: a byte count, or a number with a unit. K, M, G
// and KiB, MiB, GiB count 1024-based, as the window's presets (100K ... 5M)
// do; KB, MB, GB count 1000-based. Units in any case, blanks allowed around
// and between number and unit ("9.5 MB"); decimals allowed with a unit
// (9.5M), rounded down to whole bytes.
//
// And the limit that makes parts fit a mail: attachments travel base64
// encoded, so a mail limit holds less PDF than it says.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sundrel::settings {

// The largest limit; the limit itself travels as a 64-bit byte count.
inline constexpr std::uint64_t kMaxSizeLimit = 0xFFFFFFFFu;

struct SizeText {
  std::optional<std::uint64_t> bytes; // set when the text is a size
  std::string error;                  // why not, otherwise
};

// Reads text as a size between 1 byte and kMaxSizeLimit.
SizeText parseSize(std::string_view text);

// Whether text is a plain byte count (digits only): what a limit means is
// then already written in bytes.
bool isByteCount(std::string_view text);

// What a mail needs besides the attachment: its headers, the attachment's
// MIME headers and a message text.
inline constexpr std::uint64_t kMailAllowance = 64 * 1024;

// The size of bytes as a mail attachment: base64 (4 characters for every 3
// bytes or part of them) in lines of 76 characters, each ended by CR LF.
constexpr std::uint64_t base64MailBytes(std::uint64_t bytes) {
  const std::uint64_t characters = (bytes + 2) / 3 * 4;
  const std::uint64_t lines = (characters + 75) / 76;
  return characters + 2 * lines;
}

// The size limit for parts that go by mail: every part below it, base64
// encoded, plus kMailAllowance fits into mailBytes. 0 when no part of even one
// byte fits.
constexpr std::uint64_t mailPartLimit(std::uint64_t mailBytes) {
  if (mailBytes <= kMailAllowance)
    return 0;
  const std::uint64_t room = mailBytes - kMailAllowance;
  // 57 bytes make one full line of 78; start there and settle on the exact
  // largest part that fits.
  std::uint64_t part = room / 78 * 57;
  while (base64MailBytes(part + 1) <= room)
    ++part;
  while (part > 0 && base64MailBytes(part) > room)
    --part;
  return part == 0 ? 0 : part + 1;
}

} // namespace sundrel::settings
