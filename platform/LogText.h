#pragma once

// Text from outside (answers, files, other programs) on its way into a log line: a line break or
// another control character in it would start a forged line or reach the terminal as a command.

#include <string>
#include <string_view>

namespace platform {

// `text` with each control character written as an escape: "\n", "\r", "\t", and "\xHH" for the
// other C0 controls and DEL, "\u0085" style for the C1 controls in UTF-8. Everything else, a
// backslash included, stays as it is, so ordinary text reads unchanged.
inline std::string escapeControlCharacters(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7f) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xf];
    } else if (c == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
      const auto control = static_cast<unsigned char>(text[i + 1]);
      out += "\\u00";
      out += kHex[control >> 4];
      out += kHex[control & 0xf];
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace platform
