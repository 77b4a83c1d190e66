#pragma once
// What does not fit a note table, decided once for the program and the tool alike:
//
// - A character the table's code page cannot hold, in a title or a memo, is refused: an
//   ExchangeError lists every note that holds one (its place, the character, title or memo),
//   and nothing is changed. Any replacement would change the notes without a word.
// - A title longer than the Text field, or one that holds a line break, is cut: the title kept
//   is its first line up to the last blank that fits (within a word only when no blank falls in
//   the second half of what fits), and the whole title becomes the first line of the memo, so
//   nothing of it is lost. Each cut gets a notice by place.
//
// The table's code pages are single-byte: a character is one byte of the field.

#include <cstddef>
#include <string>
#include <vector>

#include "exchange/Outline.h"

namespace tindrel::engine {
class CodePage;
}

namespace tindrel::exchange {

// Returns the notices of the cuts.
std::vector<std::string> FitOutline(Outline& outline, const engine::CodePage& codePage, size_t titleWidth);

}  // namespace tindrel::exchange
