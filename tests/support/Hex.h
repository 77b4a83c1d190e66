#pragma once
// Bytes as text for comparisons that must show every byte: two lower-case hexadecimal digits
// each, as Python's bytes.hex() writes them.

#include <string>
#include <string_view>

namespace tindrel::testing {

inline std::string Hex(std::string_view bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

}  // namespace tindrel::testing
