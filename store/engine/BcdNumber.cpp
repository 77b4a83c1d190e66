#include "store/engine/BcdNumber.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace tindrel::engine::bcd {

namespace {

uint8_t ByteAt(std::string_view key, size_t i) { return i < key.size() ? static_cast<uint8_t>(key[i]) : 0; }

int DigitCount(std::string_view key) {
  int len = (ByteAt(key, 1) >> 2) & 0x1F;
  return len > kMaxDigits ? kMaxDigits : len;
}

bool IsNegative(std::string_view key) { return DigitCount(key) > 0 && (ByteAt(key, 1) & 0x80) != 0; }

std::string Zero() {
  std::string key(kKeySize, '\0');
  key[0] = 0x34;
  key[1] = 0x01;
  return key;
}

}  // namespace

std::string EncodeText(std::string_view text) {
  size_t i = 0;
  auto skipBlanks = [&] {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  };
  skipBlanks();
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  skipBlanks();

  // All mantissa digits in order, and how many of them stand before the decimal point.
  std::string digits;
  long pointPosition = -1;
  bool anyDigit = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      anyDigit = true;
      if (digits.size() < 400) digits += c;  // far beyond 20 significant digits; bounds the work
    } else if (c == '.' && pointPosition < 0) {
      pointPosition = static_cast<long>(digits.size());
    } else {
      break;
    }
  }
  if (!anyDigit) return Zero();
  if (pointPosition < 0) pointPosition = static_cast<long>(digits.size());

  long exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool expNegative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) expNegative = text[i++] == '-';
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (expNegative) exponent = -exponent;
  }
  skipBlanks();
  if (i != text.size()) return Zero();  // not a number

  size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return Zero();
  long decimalExponent = pointPosition - static_cast<long>(first) + exponent;
  size_t last = digits.find_last_not_of('0');
  std::string significant = digits.substr(first, last - first + 1);
  if (significant.size() > static_cast<size_t>(kMaxDigits)) {
    significant.resize(kMaxDigits);
    while (!significant.empty() && significant.back() == '0') significant.pop_back();
  }

  long exponentByte = 0x34 + decimalExponent;
  if (exponentByte < 0) return Zero();  // too small to be told apart from zero
  if (exponentByte > 0xFF) {            // too large: the largest value the form can hold
    exponentByte = 0xFF;
    significant.assign(kMaxDigits, '9');
  }

  std::string key(kKeySize, '\0');
  key[0] = static_cast<char>(exponentByte);
  key[1] = static_cast<char>((negative ? 0x80 : 0) | (significant.size() << 2) | 0x01);
  for (size_t d = 0; d < significant.size(); ++d) {
    uint8_t nibble = static_cast<uint8_t>(significant[d] - '0');
    uint8_t& byte = reinterpret_cast<uint8_t&>(key[2 + d / 2]);
    byte |= (d % 2 == 0) ? static_cast<uint8_t>(nibble << 4) : nibble;
  }
  return key;
}

std::string EncodeDouble(double value) {
  if (!std::isfinite(value) || value == 0) return Zero();
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", value);
  return EncodeText(text);
}

double Decode(std::string_view key) {
  int len = DigitCount(key);
  if (len == 0) return 0;
  double mantissa = 0;
  double scale = 0.1;
  for (int d = 0; d < len; ++d) {
    uint8_t byte = ByteAt(key, 2 + d / 2);
    int nibble = (d % 2 == 0) ? byte >> 4 : byte & 0x0F;
    mantissa += nibble * scale;
    scale /= 10;
  }
  double value = mantissa * std::pow(10.0, static_cast<int>(ByteAt(key, 0)) - 0x34);
  return IsNegative(key) ? -value : value;
}

int Compare(std::string_view a, std::string_view b) {
  bool negA = IsNegative(a), negB = IsNegative(b);
  if (negA != negB) return negA ? -1 : 1;
  int sign = negA ? -1 : 1;
  int lenA = DigitCount(a), lenB = DigitCount(b);
  int expA = lenA == 0 ? 0 : ByteAt(a, 0);
  int expB = lenB == 0 ? 0 : ByteAt(b, 0);
  if (expA != expB) return expA < expB ? -sign : sign;
  int bytes = ((lenA > lenB ? lenA : lenB) + 1) / 2;
  for (int i = 0; i < bytes; ++i) {
    // Digits beyond a key's own count are zero, whatever its bytes hold.
    auto digitByte = [](std::string_view key, int len, int index) -> int {
      uint8_t byte = ByteAt(key, 2 + index);
      if (2 * index >= len) return 0;
      if (2 * index + 1 >= len) return byte & 0xF0;
      return byte;
    };
    int da = digitByte(a, lenA, i), db = digitByte(b, lenB, i);
    if (da != db) return da < db ? -sign : sign;
  }
  return 0;
}

}  // namespace tindrel::engine::bcd
