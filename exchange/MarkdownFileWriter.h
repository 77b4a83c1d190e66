#pragma once
// One Markdown file for all the notes: a heading per note, its level the note's depth, and the
// memo beneath it after a blank line. Below the sixth level, where Markdown has no headings,
// the notes continue as a nested list under the level-6 heading: "- <title>", indented two
// blanks per level, the memo beneath it indented to the item's text. Memo lines that could be
// read as a heading, an item or a code fence are escaped (see MarkdownText.h), so reading the
// file back gives every memo byte for byte.

#include <string>
#include <vector>

#include "exchange/Outline.h"
#include "exchange/Progress.h"
#include "exchange/TextSink.h"

namespace tindrel::exchange {

// A title's line breaks are written as blanks (with a notice).
void WriteMarkdownFile(const Outline& outline, TextSink& out, std::vector<std::string>& notices,
                       const Progress& progress = {});

}  // namespace tindrel::exchange
