#include "exchange/Utf8.h"

#include <cstdio>

namespace tindrel::exchange {

bool NextChar(std::string_view text, size_t& at, char32_t& c) {
  if (at >= text.size()) return false;
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) {
    c = lead;
    ++at;
    return true;
  }
  size_t length = 0;
  char32_t value = 0, least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
    least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    least = 0x10000;
  } else {
    return false;
  }
  if (text.size() - at < length) return false;
  for (size_t i = 1; i < length; ++i) {
    const unsigned char next = byte(at + i);
    if ((next & 0xC0) != 0x80) return false;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
  c = value;
  at += length;
  return true;
}

size_t FindInvalidUtf8(std::string_view text) {
  size_t at = 0;
  char32_t c;
  while (at < text.size()) {
    // Plain ASCII runs are the common case: skip them a byte at a time without decoding.
    if (static_cast<unsigned char>(text[at]) < 0x80) {
      ++at;
      continue;
    }
    if (!NextChar(text, at, c)) return at;
  }
  return std::string_view::npos;
}

std::string CodePointName(char32_t c) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
  return text;
}

TextPosition PositionOf(std::string_view text, size_t offset) {
  TextPosition position;
  if (offset > text.size()) offset = text.size();
  for (size_t i = 0; i < offset; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      ++position.line;
      position.column = 1;
    } else if ((c & 0xC0) != 0x80) {
      ++position.column;
    }
  }
  return position;
}

std::string DescribePosition(std::string_view text, size_t offset) {
  const TextPosition p = PositionOf(text, offset);
  return "line " + std::to_string(p.line) + ", column " + std::to_string(p.column);
}

std::string_view WithoutByteOrderMark(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  return text;
}

}  // namespace tindrel::exchange
