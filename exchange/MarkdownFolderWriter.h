#pragma once
// A Markdown folder tree, as the common Markdown note programs open as a vault: one file per
// note, named after its title (made safe for every common file system, with " (2)", " (3)"...
// added where siblings would share a name, also where names differ only in case), holding "#
// <title>", a blank line and the memo as it is. A note with notes below it is also a folder of
// the same name, which holds them.
//
// The order of siblings is kept in a hidden file in each folder (.tindrel-order, one file name a
// line) rather than in numbers before the names: the names stay the titles, as the note
// programs show and link them, and a reader without the list still finds every note.

#include <string>
#include <vector>

#include "exchange/Outline.h"
#include "exchange/Progress.h"

namespace tindrel::exchange {

// `folder` must not exist or be empty. The tree appears whole at the end, or not at all.
// A title's line breaks are written as blanks in its heading (with a notice).
void WriteMarkdownFolder(const Outline& outline, const std::string& folder, std::vector<std::string>& notices,
                         const Progress& progress = {});

// The file names (without ".md") that a group of siblings gets, in their order.
std::vector<std::string> SiblingFileNames(const Outline& outline, const std::vector<int>& siblings);

}  // namespace tindrel::exchange
