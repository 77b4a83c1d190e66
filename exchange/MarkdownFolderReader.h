#pragma once
// Reads a Markdown folder tree, such as a vault of the common Markdown note programs or what
// WriteMarkdownFolder wrote. Every .md file is a note: its first-line heading is the title (the
// file's name when it has none) and the rest its memo. A folder with the same name as a note's
// file holds the notes below that note; a folder without such a file is a note of its own,
// titled with its name, without a memo.
//
// Siblings come in the order the folder's .tindrel-order file lists them, the others after them
// by name (numbers in names by value). Hidden files and folders are passed over, other files
// with a notice, and so is a folder that leads back (through a link) to one already read.
// A file or folder that cannot be read, or a file that is not UTF-8, gives an ExchangeError
// naming it. The tree is walked without recursion, however deep it goes.

#include <string>

#include "exchange/Outline.h"
#include "exchange/Progress.h"

namespace tindrel::exchange {

Outline ReadMarkdownFolder(const std::string& folder, const Progress& progress = {});

}  // namespace tindrel::exchange
