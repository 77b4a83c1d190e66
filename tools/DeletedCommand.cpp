// tindrel-table deleted TABLE

#include <cstdio>

#include "recall/DeletedNotes.h"
#include "store/engine/Table.h"
#include "tools/TableTool.h"

namespace tindrel::tools {
namespace {

std::string Count(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

size_t Characters(const std::string& utf8) {
  size_t n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
  return n;
}

// The memo's length in characters; a damaged memo is told as such rather than stopping the list.
std::string MemoLength(const engine::Table& table, uint32_t recno) {
  const int memo = table.FieldIndex("MEMO");
  if (memo < 0) return "no memo";
  std::string problem;
  const std::string text = table.ReadDamagedMemo(table.ReadRecord(recno), memo, &problem);
  const std::string length = "memo " + std::to_string(Characters(text)) + " characters";
  return problem.empty() ? length : length + " (damaged: " + problem + ")";
}

}  // namespace

int DeletedCommand(const Args& args) {
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') throw UsageError("deleted takes one TABLE");
  auto table = OpenToRead(args[0]);
  const auto subtrees = recall::ListDeletedSubtrees(*table);
  if (subtrees.empty()) {
    std::printf("%s: nothing can be recalled: no deleted notes (a pack removes them for good)\n", args[0].c_str());
    return 0;
  }
  size_t notes = 0;
  for (const auto& subtree : subtrees) notes += subtree.notes.size();
  std::printf("%s: %s in %s, newest first\n", args[0].c_str(), Count(notes, "deleted note", "deleted notes").c_str(),
              Count(subtrees.size(), "subtree", "subtrees").c_str());
  for (const auto& subtree : subtrees) {
    const std::string place = subtree.formerPlace.empty() ? "at the top level"
                                                          : "below \"" + recall::PlaceText(subtree.formerPlace) + "\"";
    std::printf("\n%s, deleted %s:\n", Count(subtree.notes.size(), "note", "notes").c_str(), place.c_str());
    for (const auto& note : subtree.notes) {
      const std::string indent(2 + 2 * static_cast<size_t>(note.depth), ' ');
      std::printf("%sID %s, Parent %s: \"%s\", %s\n", indent.c_str(), note.id.empty() ? "(blank)" : note.id.c_str(),
                  note.parent.empty() ? "(blank)" : note.parent.c_str(), note.title.c_str(),
                  MemoLength(*table, note.recno).c_str());
    }
  }
  return 0;
}

}  // namespace tindrel::tools
