#pragma once
// Outlines for the exchange tests: built from a list of (depth, title, memo), and shown as one
// line per note ("  title | memo", two blanks per level below the top), so a failing comparison
// reads as a tree.

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include "exchange/Outline.h"

namespace tindrel::exchange::testing {

struct Line {
  int depth;
  std::string title;
  std::string memo;
};

inline Outline MakeOutline(std::initializer_list<Line> lines) {
  Outline outline;
  std::vector<int> above;  // the last note at each depth
  for (const Line& line : lines) {
    if (line.depth < 1 || static_cast<size_t>(line.depth) > above.size() + 1)
      throw std::logic_error("a note more than one level below the one before it: " + line.title);
    above.resize(static_cast<size_t>(line.depth));
    OutlineNote note;
    note.title = line.title;
    note.memo = line.memo;
    note.parent = line.depth > 1 ? above[static_cast<size_t>(line.depth - 2)] : -1;
    note.place = "note " + std::to_string(outline.notes.size() + 1);
    above.back() = static_cast<int>(outline.notes.size());
    outline.notes.push_back(std::move(note));
  }
  return outline;
}

// Control characters are shown as \r, \n, \t or \xNN so that every byte is visible.
inline std::string Visible(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c < 0x20) {
      const char* hex = "0123456789ABCDEF";
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else out += static_cast<char>(c);
  }
  return out;
}

// Notes that stress every format: markup characters, quotes and commas, tabs, both kinds of line
// break, memo lines that look like headings, list items, code fences and escapes, blank lines at
// the ends, empty titles and memos, Greek text, a slash in a title, and a chain deeper than the
// six heading levels of Markdown.
inline Outline TrickyOutline() {
  return MakeOutline({
      {1, "Garden & <Roses> \"quoted\", 'single'", "line one\r\nline two\r\n\ttabbed, with a comma"},
      {2, "# not a heading", "# heading-like\n- dash\n  - indented dash\n```\ncode # inside\n```\n~~~\n\\# escaped\n"
                             "\\\\- two backslashes\n\\plain backslash"},
      {3, "Κήπος με τριαντάφυλλα / ρίζες", "Ελληνικά: άλφα, βήτα\r\n"},
      {2, "", ""},
      {2, "Blank lines", "  leading blanks\n\n\ntrailing blank lines\n\n"},
      {1, "Level 1", "\nstarts with a break"},
      {2, "Level 2", "memo 2"},
      {3, "Level 3", ""},
      {4, "Level 4", "memo 4"},
      {5, "Level 5", "memo 5\n- looks like an item"},
      {6, "Level 6", "memo 6\n- looks like an item"},
      {7, "Level 7", "memo 7\n- looks like an item\n  - deeper"},
      {8, "Level 8 - with a dash", "memo 8\r\n\r\n"},
      {9, "Level 9", "# memo 9"},
      {8, "Level 8 again", ""},
      {7, "Level 7 again", "   - three blanks"},
      {2, "Back at 2", "\n"},
      {1, "Last", "last memo without a break"},
  });
}

inline std::string ShowOutline(const Outline& outline) {
  std::string text;
  const std::vector<int> depths = DepthsOf(outline);
  for (size_t i = 0; i < outline.notes.size(); ++i)
    text += std::string(2 * static_cast<size_t>(depths[i] - 1), ' ') + Visible(outline.notes[i].title) + " | " +
            Visible(outline.notes[i].memo) + "\n";
  return text;
}

}  // namespace tindrel::exchange::testing
