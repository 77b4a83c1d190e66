#pragma once
// Random changes to a note table (fields ID, Text, MEMO) and the notes they should leave: the
// crash and power-loss trials make a sequence, run it on a table until it is cut, and compare
// what the table holds afterwards with the notes after the acknowledged changes.

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "store/engine/Table.h"

namespace tindrel::engine::testing {

struct NoteState {
  std::string title;
  std::string memo;
  bool operator==(const NoteState&) const = default;
};
using NoteModel = std::map<int64_t, NoteState>;

struct NoteChange {
  enum Kind { Append, Modify, Delete, Pack, Reindex, Recall } kind = Append;
  int64_t id = 0;
  std::string title = {};
  std::string memo = {};
  // Recall: the deleted notes it takes back, one change, as they were when deleted.
  NoteModel recalled = {};
};

// Text of about `chars` characters in English and Greek, with line breaks.
inline std::string NoteWords(std::mt19937& rnd, size_t chars) {
  static const char* words[] = {"note", "memo", "block", "σημείωση", "κείμενο", "δέντρο", "crash", "journal", "Ωμέγα"};
  std::string s;
  size_t n = 0;
  while (n < chars) {
    const std::string w = words[rnd() % 9];
    s += n % 70 < 8 && n ? "\r\n" : " ";
    s += w;
    for (unsigned char c : w) n += (c & 0xC0) != 0x80;
    n += 1;
  }
  return s;
}

inline void ApplyToModel(NoteModel& m, const NoteChange& c) {
  if (c.kind == NoteChange::Append || c.kind == NoteChange::Modify) m[c.id] = {c.title, c.memo};
  if (c.kind == NoteChange::Delete) m.erase(c.id);
  if (c.kind == NoteChange::Recall) m.insert(c.recalled.begin(), c.recalled.end());
}

// `count` changes on a table holding `live`: appends (new IDs from `nextId` on), modifies whose
// memos mostly grow past several blocks (sometimes shrink or vanish), deletes, and now and then
// a reindex or a pack; with `recalls`, now and then a recall of every note deleted since the
// last pack instead of a delete.
inline std::vector<NoteChange> MakeNoteChanges(uint32_t seed, size_t count, NoteModel live = {}, int64_t nextId = 1,
                                               bool recalls = false) {
  std::mt19937 rnd(seed);
  std::vector<NoteChange> changes;
  NoteModel deleted;
  for (size_t i = 0; i < count; ++i) {
    const unsigned r = rnd() % 100;
    NoteChange c;
    if (live.size() < 3 || r < 40) {
      c.kind = NoteChange::Append;
      c.id = nextId++;
      c.title = "Note " + std::to_string(c.id) + " " + NoteWords(rnd, rnd() % 40);
      c.memo = rnd() % 5 == 0 ? std::string() : NoteWords(rnd, rnd() % 1500);
    } else if (r < 85) {
      c.kind = NoteChange::Modify;
      auto it = std::next(live.begin(), static_cast<long>(rnd() % live.size()));
      c.id = it->first;
      c.title = "Edited " + std::to_string(c.id) + " " + NoteWords(rnd, rnd() % 30);
      const unsigned how = rnd() % 10;
      c.memo = how < 7 ? it->second.memo + NoteWords(rnd, 300 + rnd() % 1500) : how < 9 ? NoteWords(rnd, rnd() % 100) : "";
    } else if (r < 97 && recalls && !deleted.empty() && rnd() % 3 == 0) {
      c.kind = NoteChange::Recall;
      c.recalled.swap(deleted);
    } else if (r < 97) {
      c.kind = NoteChange::Delete;
      c.id = std::next(live.begin(), static_cast<long>(rnd() % live.size()))->first;
      deleted[c.id] = live[c.id];
    } else {
      c.kind = r < 98 ? NoteChange::Reindex : NoteChange::Pack;
      if (c.kind == NoteChange::Pack) deleted.clear();
    }
    // Character fields read back without trailing blanks.
    while (!c.title.empty() && c.title.back() == ' ') c.title.pop_back();
    ApplyToModel(live, c);
    changes.push_back(c);
  }
  return changes;
}

inline NoteModel ModelAfter(NoteModel m, const std::vector<NoteChange>& changes, size_t done) {
  for (size_t i = 0; i < done && i < changes.size(); ++i) ApplyToModel(m, changes[i]);
  return m;
}

inline NoteModel ReadNotes(const Table& t) {
  NoteModel m;
  const int id = t.FieldIndex("ID"), text = t.FieldIndex("Text"), memo = t.FieldIndex("MEMO");
  for (uint32_t recno = 1; recno <= t.RecordCount(); ++recno) {
    const auto rec = t.ReadRecord(recno);
    if (rec.IsDeleted()) continue;
    m[std::stoll(t.GetText(rec, id))] = {t.GetText(rec, text), t.GetText(rec, memo)};
  }
  return m;
}

// The first note on which two states differ, for a failure message.
inline std::string FirstDifference(const NoteModel& a, const NoteModel& b) {
  for (const auto& [id, note] : a) {
    auto it = b.find(id);
    if (it == b.end()) return "note " + std::to_string(id) + " is extra";
    if (!(it->second == note))
      return "note " + std::to_string(id) + ": title '" + note.title + "' vs '" + it->second.title + "', memo of " +
             std::to_string(note.memo.size()) + " vs " + std::to_string(it->second.memo.size()) + " bytes";
  }
  for (const auto& [id, note] : b)
    if (!a.count(id)) return "note " + std::to_string(id) + " is missing";
  return "none";
}

// Runs changes on an open table, keeping each note's record number.
class NoteChanger {
 public:
  explicit NoteChanger(Table& t)
      : t_(t), id_(t.FieldIndex("ID")), text_(t.FieldIndex("Text")), memo_(t.FieldIndex("MEMO")) {
    FindRecords();
  }

  void Apply(const NoteChange& c) {
    switch (c.kind) {
      case NoteChange::Append: {
        auto rec = t_.BlankRecord();
        t_.SetText(rec, id_, std::to_string(c.id));
        t_.SetText(rec, text_, c.title);
        if (!c.memo.empty()) rec.pendingMemos[memo_] = t_.EncodeText(c.memo, "MEMO");
        recnos_[c.id] = t_.Append(rec);
        break;
      }
      case NoteChange::Modify: {
        auto rec = t_.ReadRecord(recnos_.at(c.id));
        t_.SetText(rec, text_, c.title);
        if (c.memo.empty()) t_.SetBlank(rec, memo_);
        else rec.pendingMemos[memo_] = t_.EncodeText(c.memo, "MEMO");
        t_.Modify(rec);
        break;
      }
      case NoteChange::Delete:
        t_.Delete(recnos_.at(c.id));
        deleted_[c.id] = recnos_.at(c.id);
        recnos_.erase(c.id);
        break;
      case NoteChange::Recall: {
        std::vector<Record> records;
        for (const auto& [id, note] : c.recalled) records.push_back(t_.ReadRecord(deleted_.at(id)));
        t_.Recall(records);
        for (const auto& [id, note] : c.recalled) {
          recnos_[id] = deleted_.at(id);
          deleted_.erase(id);
        }
        break;
      }
      case NoteChange::Pack:
        t_.Pack();
        FindRecords();
        break;
      case NoteChange::Reindex:
        t_.Reindex();
        break;
    }
  }

 private:
  void FindRecords() {
    recnos_.clear();
    deleted_.clear();
    for (uint32_t recno = 1; recno <= t_.RecordCount(); ++recno) {
      const auto rec = t_.ReadRecord(recno);
      (rec.IsDeleted() ? deleted_ : recnos_)[std::stoll(t_.GetText(rec, id_))] = recno;
    }
  }
  Table& t_;
  const int id_, text_, memo_;
  std::map<int64_t, uint32_t> recnos_;
  std::map<int64_t, uint32_t> deleted_;  // the deleted notes' records, until a pack
};

}  // namespace tindrel::engine::testing
