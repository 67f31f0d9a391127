#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tarnel::detail {

// Two lowercase digits per byte, high digit first, nothing between them: the form every cipher
// text, digest and identifier of the library is written in.
inline std::string lowercaseHex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const std::uint8_t b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0x0f]);
  }
  return out;
}

}  // namespace tarnel::detail
