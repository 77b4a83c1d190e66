#pragma once
// UTF-8 as the exchange formats carry it: outside text is checked before it is trusted, and
// places in it are given as a person counts them (lines and characters from 1).

#include <cstddef>
#include <string>
#include <string_view>

#include "store/engine/Utf8Append.h"

namespace tindrel::exchange {

// Reads the character at `at` into `c` and moves `at` past it. False, with `at` unchanged, when
// the bytes there are no valid UTF-8 (overlong forms, surrogates and values past U+10FFFF
// included) or the text ends.
bool NextChar(std::string_view text, size_t& at, char32_t& c);

// The offset of the first byte that does not belong to valid UTF-8, or npos.
size_t FindInvalidUtf8(std::string_view text);

using engine::AppendUtf8;

// "U+00E9".
std::string CodePointName(char32_t c);

struct TextPosition {
  size_t line = 1;
  size_t column = 1;  // in characters
};
TextPosition PositionOf(std::string_view text, size_t offset);
// "line 3, column 14".
std::string DescribePosition(std::string_view text, size_t offset);

// Skips a UTF-8 byte order mark at the start.
std::string_view WithoutByteOrderMark(std::string_view text);

}  // namespace tindrel::exchange
