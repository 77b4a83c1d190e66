#pragma once
// Reads notes from one Markdown file by its headings: each heading (# to ######) is a note under
// the nearest heading of a lower level before it, and the text up to the next heading is its
// memo. Under a level-6 heading, list items ("- " indented two blanks per level) continue the
// tree below the sixth level, each with its indented memo; elsewhere lists are memo text, and
// so is everything inside a code fence. Text before the first heading becomes a note of its own
// titled `fallbackTitle`, with a notice. The file must be UTF-8: anything else gives an
// ExchangeError naming the line.

#include <string_view>

#include "exchange/Outline.h"
#include "exchange/Progress.h"

namespace tindrel::exchange {

Outline ReadMarkdownFile(std::string_view document, std::string_view fallbackTitle, const Progress& progress = {});

}  // namespace tindrel::exchange
