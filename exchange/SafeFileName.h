#pragma once
// File names made from titles that every common file system takes: Linux, macOS and Windows,
// and the file systems of memory cards.
//
// Characters the file systems refuse or read as structure (/ \ : * ? " < > | and control
// characters) become "_"; leading blanks and a leading "." (a hidden file, or ".." itself) and
// trailing blanks and dots (which Windows drops) are removed or replaced; the names Windows
// keeps for devices (CON, NUL, COM1...) get a "_"; an empty result is "Untitled"; and the name
// is cut to 200 bytes, whole characters, which leaves room for a number and ".md" within the
// 255 bytes a name may have.

#include <string>
#include <string_view>

namespace tindrel::exchange {

std::string SafeFileName(std::string_view title);

}  // namespace tindrel::exchange
