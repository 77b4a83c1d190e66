#pragma once
// Comparing titles and file names without regard to case. Notes are ordered as the tree orders
// its siblings (by title, case folded), and two file names that differ only in case count as the
// same name, as they do on the file systems that ignore case.
//
// The folding covers the letters the note table's code pages hold and their neighbours: ASCII,
// Latin-1, Latin Extended-A, Greek (with its accented capitals; final sigma folds to sigma) and
// Cyrillic. Every other character is its own fold.

#include <string>
#include <string_view>

namespace tindrel::exchange {

char32_t FoldChar(char32_t c);

// <0, 0, >0 by case-folded characters.
int CompareFolded(std::string_view a, std::string_view b);

// As CompareFolded, with runs of digits compared by their value ("Note 9" before "Note 10"),
// and texts that fold the same ordered by their bytes so the order is total.
int CompareNatural(std::string_view a, std::string_view b);

// The text with every character folded.
std::string Folded(std::string_view text);

}  // namespace tindrel::exchange
