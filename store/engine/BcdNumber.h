#pragma once
// Numeric index keys: 12 bytes of decimal floating point.
//
//   byte 0   exponent: 0x34 + the number of digits before the decimal point, counted from the
//            first non-zero digit (below 1: 0x34 minus the zeros between the point and it)
//   byte 1   bit 7 sign (1 = negative), bits 2-6 the count of significant digits (0-20),
//            bit 0 always 1
//   2..11    the significant digits, packed two per byte, high nibble first
//
// Value = 0.d1d2...dn x 10^(byte0 - 0x34). A digit count of 0 is the value zero whatever the
// other bytes say. Writers differ in the digit count (some count trailing zeros), so keys are
// compared by value, never byte for byte.

#include <cstddef>
#include <string>
#include <string_view>

namespace tindrel::engine::bcd {

inline constexpr size_t kKeySize = 12;
inline constexpr int kMaxDigits = 20;

// Encodes decimal text such as "  -12.50", "7" or "1.5E3" (leading and trailing blanks allowed).
// Significant digits beyond 20 are cut; trailing zeros are not stored; zero is 34 01 00...
// Blank or unreadable text (a numeric field full of '*') encodes as zero.
std::string EncodeText(std::string_view text);
std::string EncodeDouble(double value);

// The value of a key (for display and checks; the comparison does not go through doubles).
double Decode(std::string_view key);

// Orders two keys by value: <0, 0, >0. Zero sorts after every negative and before every
// positive value. Keys shorter than 12 bytes read as if padded with zero bytes.
int Compare(std::string_view a, std::string_view b);

}  // namespace tindrel::engine::bcd
