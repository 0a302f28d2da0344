#pragma once
// The size limit as sundrel-split takes it: a byte count, or a number with a
// unit. K, M, G and KiB, MiB, GiB count 1024-based, as the window's presets
// (100K ... 5M) do; KB, MB, GB count 1000-based. Units in any case; decimals
// allowed with a unit (9.5M), rounded down to whole bytes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sundrel::cli {

// The largest limit, as --help states it; the limit itself travels as a
// 64-bit byte count.
inline constexpr std::uint64_t kMaxSizeLimit = 0xFFFFFFFFu;

struct SizeArgument {
  std::optional<std::uint64_t> bytes; // set when the text is a size
  std::string error;                  // why not, otherwise
};

// Reads text as a size limit between 1 byte and kMaxSizeLimit.
SizeArgument parseSize(std::string_view text);

} // namespace sundrel::cli
