#include "settings/SizeLimit.h"

#include <array>
#include <cctype>
#include <limits>

namespace sundrel::settings {
namespace {

struct Unit {
  std::string_view name; // lower case
  std::uint64_t bytes;
};

constexpr std::array<Unit, 12> kUnits{{
    {"b", 1},
    {"byte", 1},
    {"bytes", 1},
    {"k", 1024},
    {"kib", 1024},
    {"m", 1024 * 1024},
    {"mib", 1024 * 1024},
    {"g", 1024 * 1024 * 1024},
    {"gib", 1024 * 1024 * 1024},
    {"kb", 1000},
    {"mb", 1000 * 1000},
    {"gb", 1000 * 1000 * 1000},
}};

// Enough for any limit up to 4 GiB and a fraction finer than a byte.
constexpr std::size_t kMaxDigits = 19;
constexpr std::size_t kMaxFractionDigits = 9;

SizeText failure(std::string reason) {
  return {std::nullopt, std::move(reason)};
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

} // namespace

bool isByteCount(std::string_view text) {
  while (!text.empty() && isBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back()))
    text.remove_suffix(1);
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

SizeText parseSize(std::string_view text) {
  // Blanks around the size, and between the number and its unit, are how
  // people write it ("9.5 MB").
  while (!text.empty() && isBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back()))
    text.remove_suffix(1);
  constexpr const char* kForms =
      "give a byte count or a number with a unit: K, M, G, KiB, MiB, GiB (1024-based), "
      "KB, MB, GB (1000-based)";
  // The number: digits, then optionally a point and more digits, read as one
  // integer (mantissa) with the count of digits after the point.
  std::uint64_t mantissa = 0;
  std::size_t digits = 0;
  std::size_t fractionDigits = 0;
  bool point = false;
  std::size_t i = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && !point && digits > 0) {
      point = true;
      continue;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) == 0)
      break;
    if (++digits > kMaxDigits || (point && ++fractionDigits > kMaxFractionDigits))
      return failure("too many digits");
    mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (digits == 0 || (point && fractionDigits == 0))
    return failure(kForms);

  while (i < text.size() && isBlank(text[i]))
    ++i;
  std::string unitName;
  for (std::size_t j = i; j < text.size(); ++j)
    unitName += static_cast<char>(std::tolower(static_cast<unsigned char>(text[j])));
  std::uint64_t unitBytes = 0;
  for (const Unit& unit : kUnits)
    if (unit.name == unitName)
      unitBytes = unit.bytes;
  if (unitName.empty())
    unitBytes = 1;
  if (unitBytes == 0)
    return failure(kForms);
  if (point && unitBytes == 1)
    return failure("a byte count is a whole number");

  std::uint64_t scale = 1;
  for (std::size_t k = 0; k < fractionDigits; ++k)
    scale *= 10;
  // An overflow here means far more than the largest limit.
  if (mantissa > std::numeric_limits<std::uint64_t>::max() / unitBytes)
    return failure("larger than the largest limit, " + std::to_string(kMaxSizeLimit) + " bytes");
  const std::uint64_t bytes = mantissa * unitBytes / scale;
  if (bytes > kMaxSizeLimit)
    return failure("larger than the largest limit, " + std::to_string(kMaxSizeLimit) + " bytes");
  if (bytes == 0)
    return failure("the limit must be at least 1 byte");
  return {bytes, {}};
}

} // namespace sundrel::settings
