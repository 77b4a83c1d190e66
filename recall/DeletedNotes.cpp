#include "recall/DeletedNotes.h"

#include <algorithm>
#include <charconv>
#include <unordered_map>
#include <unordered_set>

#include "store/engine/MdxIndex.h"
#include "store/engine/Table.h"

namespace tindrel::recall {
namespace {

// Live ancestors listed for a former place; a longer chain (or a loop of parents) is cut there.
constexpr size_t kMaxPlaceDepth = 64;

struct Fields {
  int id, parent, text, memo;
};

Fields FindFields(const engine::Table& table) {
  const Fields f{table.FieldIndex("ID"), table.FieldIndex("Parent"), table.FieldIndex("Text"),
                 table.FieldIndex("MEMO")};
  for (auto [field, name] : {std::pair{f.id, "ID"}, std::pair{f.parent, "Parent"}, std::pair{f.text, "Text"}})
    if (field < 0) throw RecallError("The table " + table.Path() + " has no field " + name + "; nothing was recalled");
  return f;
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\0')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
  return s;
}

// The value of an ID that is a positive number, or 0.
int64_t NumberOf(std::string_view id) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(id.data(), id.data() + id.size(), value);
  return error == std::errc() && end == id.data() + id.size() && value > 0 ? value : 0;
}

// The deleted notes in record order and how they hang together, with the live notes found by
// ID through the index's tag on ID (a table without one is read whole once, when first asked).
// The pass over the records decodes only the deleted ones; the IDs and Parents of every record
// are read only when a fresh ID is needed.
class Scan {
 public:
  explicit Scan(const engine::Table& table) : table_(table), fields_(FindFields(table)) {
    const uint32_t count = table.RecordCount();
    for (uint32_t recno = 1; recno <= count; ++recno) {
      const engine::Record record = table.ReadRecord(recno);
      if (!record.IsDeleted()) continue;
      std::string id = table.GetText(record, fields_.id);
      deletedById_[id].push_back(deleted_.size());
      deleted_.push_back({recno, std::move(id), table.GetText(record, fields_.parent),
                          table.GetText(record, fields_.text), 0});
    }
    if (const engine::MdxIndex* index = table.Index()) {
      for (int tag = 0; tag < static_cast<int>(index->Tags().size()); ++tag) {
        const engine::TagInfo& info = index->Tags()[static_cast<size_t>(tag)];
        if (info.keyFields == std::vector<int>{fields_.id} && info.forExpression.empty() && info.maintainable) {
          idTag_ = tag;
          break;
        }
      }
    }
    Link();
  }

  const Fields& GetFields() const { return fields_; }
  const std::vector<DeletedNote>& Deleted() const { return deleted_; }
  bool IsLiveId(const std::string& id) const { return LiveRecordWithId(id) != 0; }

  // A fresh ID: one more than the largest number among every ID and Parent in the file (so it
  // is no note's ID and adopts no orphan), and past every one handed out before. The numbers
  // are read from the stored bytes: digits are the same bytes in every code page.
  std::string FreshId() {
    if (!allIdsRead_) {
      for (uint32_t recno = 1; recno <= table_.RecordCount(); ++recno) {
        const engine::Record record = table_.ReadRecord(recno);
        for (int field : {fields_.id, fields_.parent})
          next_ = std::max(next_, NumberOf(Trimmed(table_.RawField(record, field))) + 1);
      }
      allIdsRead_ = true;
    }
    return std::to_string(next_++);
  }

  // The index of the deleted note in record `recno`, or -1.
  long IndexOf(uint32_t recno) const {
    const auto at = std::lower_bound(deleted_.begin(), deleted_.end(), recno,
                                     [](const DeletedNote& n, uint32_t r) { return n.recno < r; });
    return at != deleted_.end() && at->recno == recno ? static_cast<long>(at - deleted_.begin()) : -1;
  }
  // Whether the deleted note `i` hangs below another deleted note.
  bool HasDeletedParent(size_t i) const { return parentOf_[i] >= 0; }
  long ParentOf(size_t i) const { return parentOf_[i]; }

  // The subtree below the deleted note `top`, depth first; `taken` marks the notes already in a
  // subtree, so a loop of parents ends.
  std::vector<size_t> Collect(size_t top, std::vector<bool>& taken) const {
    std::vector<size_t> order;
    std::vector<std::pair<size_t, int>> stack{{top, 0}};
    taken[top] = true;
    while (!stack.empty()) {
      const auto [i, depth] = stack.back();
      stack.pop_back();
      order.push_back(i);
      depth_[i] = depth;
      const auto& kids = children_[i];
      for (auto k = kids.rbegin(); k != kids.rend(); ++k)
        if (!taken[*k]) {
          taken[*k] = true;
          stack.emplace_back(*k, depth + 1);
        }
    }
    return order;
  }

  DeletedNote NoteAt(size_t i) const {
    DeletedNote note = deleted_[i];
    note.depth = depth_[i];
    return note;
  }

  // The titles of the live notes from the top down to the one with `parentId`; empty when no
  // live note has it.
  std::vector<std::string> LivePlace(const std::string& parentId) const {
    std::vector<std::string> place;
    std::unordered_set<std::string> seen;
    std::string id = parentId;
    while (!id.empty() && place.size() < kMaxPlaceDepth && seen.insert(id).second) {
      const uint32_t live = LiveRecordWithId(id);
      if (live == 0) break;
      const engine::Record record = table_.ReadRecord(live);
      place.push_back(table_.GetText(record, fields_.text));
      id = table_.GetText(record, fields_.parent);
    }
    std::reverse(place.begin(), place.end());
    return place;
  }

 private:
  // The first live record whose ID is `id`, 0 when none.
  uint32_t LiveRecordWithId(const std::string& id) const {
    if (idTag_ < 0) {
      if (!liveRead_) {
        for (uint32_t recno = 1; recno <= table_.RecordCount(); ++recno) {
          const engine::Record record = table_.ReadRecord(recno);
          if (!record.IsDeleted()) liveById_.emplace(table_.GetText(record, fields_.id), recno);
        }
        liveRead_ = true;
      }
      const auto live = liveById_.find(id);
      return live == liveById_.end() ? 0 : live->second;
    }
    const engine::MdxIndex& index = *table_.Index();
    engine::Record probe = table_.BlankRecord();
    try {
      table_.SetText(probe, fields_.id, id);
    } catch (const engine::EngineError&) {
      return 0;  // a value the field cannot hold is no live note's ID
    }
    const std::string key = index.MakeKey(idTag_, probe.bytes);
    // Keys that compare equal may still be other IDs (a tag that ignores case): each is read.
    for (size_t p = index.LowerBound(idTag_, key); p < index.EntryCount(idTag_); ++p) {
      const engine::IndexEntry& entry = index.EntryAt(idTag_, p);
      if (index.CompareKeys(idTag_, entry.key, key) != 0) break;
      const engine::Record record = table_.ReadRecord(entry.recno);
      if (!record.IsDeleted() && table_.GetText(record, fields_.id) == id) return entry.recno;
    }
    return 0;
  }

  // A deleted note's parent is a deleted note with its Parent as ID. When several deleted notes
  // have that ID (a new note took the ID of a deleted one and was deleted in turn), the nearest
  // one stored before it is taken, as a parent is stored before its children; else the first.
  void Link() {
    parentOf_.assign(deleted_.size(), -1);
    children_.assign(deleted_.size(), {});
    depth_.assign(deleted_.size(), 0);
    for (size_t i = 0; i < deleted_.size(); ++i) {
      const DeletedNote& note = deleted_[i];
      if (note.parent.empty()) continue;
      const auto found = deletedById_.find(note.parent);
      if (found == deletedById_.end()) continue;
      long chosen = -1;
      for (size_t candidate : found->second) {
        if (candidate == i) continue;
        if (deleted_[candidate].recno < note.recno || chosen < 0) chosen = static_cast<long>(candidate);
        if (deleted_[candidate].recno > note.recno) break;
      }
      parentOf_[i] = chosen;
      if (chosen >= 0) children_[static_cast<size_t>(chosen)].push_back(i);
    }
  }

  const engine::Table& table_;
  Fields fields_;
  int idTag_ = -1;  // the index's tag on ID alone, -1 when it has none
  mutable bool liveRead_ = false;
  mutable std::unordered_map<std::string, uint32_t> liveById_;  // without such a tag
  std::vector<DeletedNote> deleted_;
  std::unordered_map<std::string, std::vector<size_t>> deletedById_;
  std::vector<long> parentOf_;
  std::vector<std::vector<size_t>> children_;
  mutable std::vector<int> depth_;
  bool allIdsRead_ = false;
  int64_t next_ = 1;
};

}  // namespace

std::vector<DeletedSubtree> ListDeletedSubtrees(const engine::Table& table) {
  const Scan scan(table);
  const auto& deleted = scan.Deleted();
  std::vector<bool> taken(deleted.size(), false);
  std::vector<std::pair<uint32_t, DeletedSubtree>> found;  // by the highest record number held
  auto add = [&](size_t top) {
    DeletedSubtree subtree;
    uint32_t newest = 0;
    for (size_t i : scan.Collect(top, taken)) {
      subtree.notes.push_back(scan.NoteAt(i));
      newest = std::max(newest, deleted[i].recno);
    }
    if (!scan.HasDeletedParent(top)) subtree.formerPlace = scan.LivePlace(deleted[top].parent);
    found.emplace_back(newest, std::move(subtree));
  };
  for (size_t i = 0; i < deleted.size(); ++i)
    if (!scan.HasDeletedParent(i)) add(i);
  // What is left hangs in a loop of deleted parents: each loop is entered at its first note.
  for (size_t i = 0; i < deleted.size(); ++i)
    if (!taken[i]) add(i);
  std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<DeletedSubtree> subtrees;
  subtrees.reserve(found.size());
  for (auto& entry : found) subtrees.push_back(std::move(entry.second));
  return subtrees;
}

std::string PlaceText(const std::vector<std::string>& titles) {
  std::string text;
  for (const std::string& title : titles) text += (text.empty() ? "" : " / ") + title;
  return text;
}

std::string MemoFirstLine(const engine::Table& table, const DeletedNote& note) {
  const int memo = table.FieldIndex("MEMO");
  if (memo < 0) return {};
  std::string text;
  try {
    text = table.ReadMemo(table.ReadRecord(note.recno), memo, 400);
  } catch (const engine::EngineError&) {
    return "(the memo is damaged)";
  }
  const size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string::npos) return {};
  const size_t end = text.find_first_of("\r\n", start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::vector<uint32_t> FindDeleted(const engine::Table& table, const std::string& id) {
  const int idField = FindFields(table).id;
  std::vector<uint32_t> found;
  if (!id.empty() && id[0] == '#') {
    uint32_t recno = 0;
    const auto [end, error] = std::from_chars(id.data() + 1, id.data() + id.size(), recno);
    if (error == std::errc() && end == id.data() + id.size() && recno >= 1 && recno <= table.RecordCount() &&
        table.ReadRecord(recno).IsDeleted())
      found.push_back(recno);
    return found;
  }
  for (uint32_t recno = 1; recno <= table.RecordCount(); ++recno) {
    const engine::Record record = table.ReadRecord(recno);
    if (record.IsDeleted() && table.GetText(record, idField) == id) found.push_back(recno);
  }
  return found;
}

RecallSummary RecallSubtree(engine::Table& table, uint32_t recno) {
  if (table.ReadOnly()) throw RecallError(table.ReadOnlyReason() + "; nothing was recalled");
  Scan scan(table);
  const long top = scan.IndexOf(recno);
  if (top < 0)
    throw RecallError("Record " + std::to_string(recno) + " of " + table.Path() +
                      " holds no deleted note (a pack removes deleted notes for good); nothing was recalled");
  const Fields& f = scan.GetFields();
  std::vector<bool> visited(scan.Deleted().size(), false);
  const std::vector<size_t> order = scan.Collect(static_cast<size_t>(top), visited);

  RecallSummary summary;
  summary.notes = order.size();
  const DeletedNote& topNote = scan.Deleted()[static_cast<size_t>(top)];
  const bool underLive = !scan.HasDeletedParent(static_cast<size_t>(top)) && scan.IsLiveId(topNote.parent);
  if (underLive) summary.place = scan.LivePlace(topNote.parent);

  std::unordered_set<std::string> given;  // the IDs this recall hands out
  std::unordered_map<size_t, std::string> finalId;
  std::vector<engine::Record> records;
  records.reserve(order.size());
  for (size_t i : order) {
    const DeletedNote note = scan.NoteAt(i);
    engine::Record record = table.ReadRecord(note.recno);
    std::string id = note.id;
    if (scan.IsLiveId(id) || given.count(id)) {
      id = scan.FreshId();
      try {
        table.SetText(record, f.id, id);
      } catch (const engine::EngineError& e) {
        if (e.Code() != engine::ResultCode::ValueTooLong) throw;
        throw RecallError("The ID " + note.id + " of \u201C" + note.title + "\u201D is in use, and the ID field of " +
                          table.Path() + " cannot hold the fresh ID " + id + "; nothing was recalled");
      }
      summary.renumbered.push_back({note.title, note.id, id});
    }
    given.insert(id);
    finalId[i] = id;
    if (i == static_cast<size_t>(top)) {
      if (!underLive && !note.parent.empty()) table.SetBlank(record, f.parent);
      summary.topId = id;
      summary.topTitle = note.title;
    } else {
      // Its parent is the note of this recall it hangs below, which came before it.
      const std::string& parentId = finalId.at(static_cast<size_t>(scan.ParentOf(i)));
      if (parentId != note.parent) {
        try {
          table.SetText(record, f.parent, parentId);
        } catch (const engine::EngineError& e) {
          if (e.Code() != engine::ResultCode::ValueTooLong) throw;
          throw RecallError("The Parent field of " + table.Path() + " cannot hold the fresh ID " + parentId +
                            " of the note above \u201C" + note.title + "\u201D; nothing was recalled");
        }
      }
    }
    records.push_back(std::move(record));
  }
  table.Recall(records);
  return summary;
}

}  // namespace tindrel::recall
