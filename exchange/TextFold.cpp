#include "exchange/TextFold.h"

#include "exchange/Utf8.h"

namespace tindrel::exchange {
namespace {

// The next character, folded; a byte that is not UTF-8 stands for itself above the Unicode
// range, so such texts still order consistently.
char32_t NextFolded(std::string_view text, size_t& at) {
  char32_t c;
  if (NextChar(text, at, c)) return FoldChar(c);
  return 0x110000 + static_cast<unsigned char>(text[at++]);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

char32_t FoldChar(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c == 0xB5) return 0x3BC;  // micro sign: Greek mu
  if (c >= 0x100 && c <= 0x17F) {
    if ((c <= 0x137 || (c >= 0x14A && c <= 0x177)) && c % 2 == 0) return c + 1;
    if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && c % 2 == 1) return c + 1;
    if (c == 0x178) return 0xFF;
    return c;
  }
  if (c >= 0x386 && c <= 0x3AB) {
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 0x25;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 0x3F;
    if (c >= 0x391 && c != 0x3A2) return c + 32;
    return c;
  }
  if (c == 0x3C2) return 0x3C3;  // final sigma
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  return c;
}

int CompareFolded(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const char32_t x = NextFolded(a, i), y = NextFolded(b, j);
    if (x != y) return x < y ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

int CompareNatural(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      size_t endA = i, endB = j;
      while (endA < a.size() && IsDigit(a[endA])) ++endA;
      while (endB < b.size() && IsDigit(b[endB])) ++endB;
      std::string_view x = a.substr(i, endA - i), y = b.substr(j, endB - j);
      while (x.size() > 1 && x.front() == '0') x.remove_prefix(1);
      while (y.size() > 1 && y.front() == '0') y.remove_prefix(1);
      if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
      if (const int c = x.compare(y); c != 0) return c < 0 ? -1 : 1;
      i = endA;
      j = endB;
      continue;
    }
    const char32_t x = NextFolded(a, i), y = NextFolded(b, j);
    if (x != y) return x < y ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  const int bytes = a.compare(b);
  return bytes < 0 ? -1 : bytes > 0 ? 1 : 0;
}

std::string Folded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t at = 0;
  while (at < text.size()) {
    char32_t c;
    if (NextChar(text, at, c)) AppendUtf8(out, FoldChar(c));
    else out += text[at++];
  }
  return out;
}

}  // namespace tindrel::exchange
