#pragma once

// The byte-level pieces of CFF that reading and rewriting share.

#include <cstdint>
#include <string_view>
#include <vector>

namespace sundrel::tovix::cff {

// Top DICT and Private DICT operators that this code reads or moves.
constexpr int kCharset = 15, kEncoding = 16, kCharStrings = 17, kPrivate = 18, kSubrs = 19;
constexpr int kRos = 1230, kFdArray = 1236, kFdSelect = 1237, kCharstringType = 1206;
constexpr char kEndchar = 14;

inline std::uint32_t u16(std::string_view d, std::size_t at) {
  return (static_cast<std::uint32_t>(static_cast<unsigned char>(d[at])) << 8) |
         static_cast<unsigned char>(d[at + 1]);
}

inline std::uint32_t uN(std::string_view d, std::size_t at, int n) {
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i)
    v = (v << 8) | static_cast<unsigned char>(d[at + static_cast<std::size_t>(i)]);
  return v;
}

// An INDEX at `pos`: its items and the position after it.
template <typename Range>
inline bool readIndex(std::string_view d, std::size_t pos, std::vector<Range>& items,
                      std::size_t& end) {
  items.clear();
  if (pos + 2 > d.size())
    return false;
  const std::uint32_t count = u16(d, pos);
  if (count == 0) {
    end = pos + 2;
    return true;
  }
  if (pos + 3 > d.size())
    return false;
  const int offSize = static_cast<unsigned char>(d[pos + 2]);
  if (offSize < 1 || offSize > 4)
    return false;
  const std::size_t offsets = pos + 3;
  const std::size_t tableSize = (static_cast<std::size_t>(count) + 1) * offSize;
  if (offsets + tableSize > d.size())
    return false;
  const std::size_t base = offsets + tableSize - 1;
  std::uint32_t previous = uN(d, offsets, offSize);
  if (previous != 1)
    return false;
  items.reserve(count);
  for (std::uint32_t i = 1; i <= count; ++i) {
    const std::uint32_t next = uN(d, offsets + i * static_cast<std::size_t>(offSize), offSize);
    if (next < previous || base + next > d.size())
      return false;
    items.push_back({base + previous, next - previous});
    previous = next;
  }
  end = base + previous;
  return true;
}

} // namespace sundrel::tovix::cff
