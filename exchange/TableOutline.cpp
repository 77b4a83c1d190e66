#include "exchange/TableOutline.h"

#include <algorithm>
#include <unordered_map>

#include "exchange/ExchangeError.h"
#include "exchange/TextFold.h"
#include "store/engine/Table.h"

namespace tindrel::exchange {
namespace {

struct Row {
  uint32_t recno;
  std::string id;
  std::string parent;
  std::string title;
};

constexpr std::string_view kStage = "Reading the notes";

}  // namespace

Outline ReadTableOutline(const engine::Table& table, const std::string& subtreeId, const Progress& progress) {
  const int idField = table.FieldIndex("ID"), parentField = table.FieldIndex("Parent");
  const int textField = table.FieldIndex("Text"), memoField = table.FieldIndex("MEMO");
  for (auto [field, name] : {std::pair{idField, "ID"}, std::pair{textField, "Text"}})
    if (field < 0) throw ExchangeError("The table " + table.Path() + " has no field " + name);

  const uint32_t count = table.RecordCount();
  std::vector<Row> rows;
  rows.reserve(count);
  for (uint32_t recno = 1; recno <= count; ++recno) {
    const engine::Record record = table.ReadRecord(recno);
    if (record.IsDeleted()) continue;
    rows.push_back({recno, table.GetText(record, idField), parentField >= 0 ? table.GetText(record, parentField) : "",
                    table.GetText(record, textField)});
    if (recno % 4096 == 0) Report(progress, kStage, recno, count);
  }

  std::unordered_map<std::string_view, size_t> firstWithId;
  std::unordered_map<std::string_view, std::vector<size_t>> childrenOf;
  for (size_t i = 0; i < rows.size(); ++i) firstWithId.emplace(rows[i].id, i);
  for (size_t i = 0; i < rows.size(); ++i) childrenOf[rows[i].parent].push_back(i);
  const auto byTitle = [&](size_t a, size_t b) {
    const int c = CompareFolded(rows[a].title, rows[b].title);
    return c != 0 ? c < 0 : rows[a].recno < rows[b].recno;
  };
  for (auto& [parent, children] : childrenOf) std::sort(children.begin(), children.end(), byTitle);

  std::vector<size_t> roots;
  if (!subtreeId.empty()) {
    const auto found = firstWithId.find(subtreeId);
    if (found == firstWithId.end()) throw ExchangeError("No note has the ID " + subtreeId);
    roots.push_back(found->second);
  } else {
    // The top level: notes whose Parent names no note (a blank Parent names none, unless a note
    // has a blank ID).
    for (size_t i = 0; i < rows.size(); ++i)
      if (!firstWithId.count(rows[i].parent)) roots.push_back(i);
    std::sort(roots.begin(), roots.end(), byTitle);
  }

  Outline outline;
  outline.notes.reserve(subtreeId.empty() ? rows.size() : 0);
  std::vector<bool> taken(rows.size(), false);
  std::vector<std::pair<size_t, int>> pending;  // (row, parent note), the next on top
  const auto walk = [&](size_t root) {
    pending.push_back({root, -1});
    taken[root] = true;
    while (!pending.empty()) {
      const auto [row, parent] = pending.back();
      pending.pop_back();
      const engine::Record record = table.ReadRecord(rows[row].recno);
      OutlineNote note;
      note.title = rows[row].title;
      note.memo = memoField >= 0 ? table.ReadMemo(record, memoField) : std::string();
      note.parent = parent;
      note.id = rows[row].id;
      note.place = "ID " + rows[row].id;
      const int index = static_cast<int>(outline.notes.size());
      outline.notes.push_back(std::move(note));
      if (outline.notes.size() % 4096 == 0) Report(progress, kStage, outline.notes.size(), rows.size());
      const auto children = childrenOf.find(rows[row].id);
      if (children == childrenOf.end()) continue;
      for (auto child = children->second.rbegin(); child != children->second.rend(); ++child) {
        if (taken[*child]) continue;
        taken[*child] = true;
        pending.push_back({*child, index});
      }
    }
  };
  for (size_t root : roots) walk(root);
  if (subtreeId.empty()) {
    // What is left hangs in loops of parent links: enter each loop at a note on it, found by
    // following the Parent links up from the first note left over.
    std::vector<size_t> seenInRound(rows.size(), 0);
    size_t round = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
      if (taken[i]) continue;
      ++round;
      size_t at = i;
      while (seenInRound[at] != round) {
        seenInRound[at] = round;
        const auto up = firstWithId.find(rows[at].parent);
        if (up == firstWithId.end() || taken[up->second]) break;
        at = up->second;
      }
      outline.notices.push_back("ID " + rows[at].id + ": the note \"" + rows[at].title +
                                "\" is in a loop of parent links, which the tree cannot show; it is exported at the "
                                "top level");
      walk(at);
    }
  }
  return outline;
}

}  // namespace tindrel::exchange
