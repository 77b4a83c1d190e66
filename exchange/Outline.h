#pragma once
// Notes on their way out of a table or into one: the tree as a list in document order, the form
// every format is written from and read into.

#include <string>
#include <vector>

namespace tindrel::exchange {

struct OutlineNote {
  std::string title;  // UTF-8
  std::string memo;   // UTF-8, line breaks as they are
  int parent = -1;    // the index of the note above it; -1 for a note at the top level
  // Where the note came from, for reports: "line 12", "Garden/Roses.md", "ID 42".
  std::string place;
  // The note's ID where it came from (a table or a CSV file); may be empty.
  std::string id;
};

// Depth first: every note comes after the note above it, its subtree follows it directly, and
// siblings keep their order.
struct Outline {
  std::vector<OutlineNote> notes;
  // What reading left out or changed, one line each, beginning with the place.
  std::vector<std::string> notices;
};

// The depth of every note: 1 at the top level.
std::vector<int> DepthsOf(const Outline& outline);

// The notes directly below each note, in order; the last entry holds the top-level notes.
std::vector<std::vector<int>> ChildrenOf(const Outline& outline);

}  // namespace tindrel::exchange
