#pragma once
// The pieces of Markdown that both Markdown formats share: titles as heading lines, and memos
// as lines that a reader cannot take for structure.
//
// A memo line that could be read as a heading, a list item or a code fence (its first character
// after any blanks is '#' or '-', or it begins a ``` or ~~~ fence) gets a backslash in front,
// after any backslashes it already had: Markdown shows "\#" as "#", and reading removes exactly
// that one backslash again, so every memo comes back byte for byte.

#include <cstddef>
#include <string>
#include <string_view>

namespace tindrel::exchange {

// The hidden file in each folder of a Markdown folder tree that lists its notes' files in the
// order of the notes (file systems keep no order; Markdown programs pass hidden files over).
inline constexpr const char* kOrderFileName = ".tindrel-order";

// A title as one line: its line breaks become blanks.
std::string TitleLine(std::string_view title);

// Appends the memo's lines, each after `indent` blanks, escaped as above.
void AppendMemoLines(std::string& out, std::string_view memo, size_t indent);

// The memo back from the lines AppendMemoLines wrote: up to `indent` leading blanks of each line
// are dropped, and the escaping backslash.
std::string MemoFromLines(std::string_view lines, size_t indent);

// A note's file of a Markdown folder tree: "# <title>", a blank line, the memo as it is (no
// blank line and no memo when it is empty).
std::string NoteFileText(std::string_view title, std::string_view memo);

// The title and memo of a note's file. A file that begins with a level-1 heading takes its title
// from it (the line break after the heading and one blank line are not part of the memo);
// otherwise the title is `fallbackTitle` and the whole text is the memo.
struct NoteFile {
  std::string title;
  std::string memo;
};
NoteFile ParseNoteFile(std::string_view text, std::string_view fallbackTitle);

}  // namespace tindrel::exchange
