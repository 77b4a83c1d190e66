#pragma once
// The deleted notes of a note table, as the subtrees they were deleted in, and their recall.
//
// A deleted note stays in the table's file, marked deleted, until Pack. Deleting a note deletes
// the notes below it too, so the deleted notes are grouped by their parent links: a deleted
// subtree is a deleted note whose parent is no deleted note (it is a live note, or none), with
// every deleted note below it. Which deletion came last the file does not record; the subtrees
// come newest first by the proxy of record order: the one holding the highest record number
// (the note stored last) first.
//
// IDs: a deleted note's ID counts as free, so a new note may have taken it. A recalled note
// whose ID a live note has, or another note of the same recall, gets a fresh one (one more than
// the largest number among every ID and Parent in the file, deleted notes included, so it is no
// note's ID and adopts no orphan), and the recalled notes below it are re-pointed at it.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tindrel::engine {
class Table;
}

namespace tindrel::recall {

// A recall or a listing that cannot be done; the text says why and that nothing changed.
class RecallError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct DeletedNote {
  uint32_t recno = 0;
  std::string id;
  std::string parent;
  std::string title;
  int depth = 0;  // 0 for the subtree's top note
};

struct DeletedSubtree {
  // The top note first, then the notes below it depth first (each note before its children,
  // siblings in record order).
  std::vector<DeletedNote> notes;
  // The titles of the live notes above the top note, outermost first; empty when its parent is
  // no live note, so a recall puts it at the top level.
  std::vector<std::string> formerPlace;
  const DeletedNote& Top() const { return notes.front(); }
};

// Every deleted note of `table`, grouped, newest first (see above). Fields are found by name
// without regard to case: ID, Parent and Text are needed (RecallError otherwise).
std::vector<DeletedSubtree> ListDeletedSubtrees(const engine::Table& table);

// A place as people read it: the titles joined by " / ", outermost first ("" for the top level).
std::string PlaceText(const std::vector<std::string>& titles);

// The first line of the top note's memo (empty when it has none, or the table no MEMO field).
std::string MemoFirstLine(const engine::Table& table, const DeletedNote& note);

// Every number of a record holding the deleted note `id`; "#N" names record N instead.
std::vector<uint32_t> FindDeleted(const engine::Table& table, const std::string& id);

struct Renumbered {
  std::string title;
  std::string oldId;
  std::string newId;
};

struct RecallSummary {
  size_t notes = 0;
  std::string topId;     // the top note's ID after the recall
  std::string topTitle;
  std::vector<std::string> place;  // the titles of the live notes it is back under; empty: the top level
  std::vector<Renumbered> renumbered;
};

// Recalls the deleted note of record `recno` with the deleted notes below it, as one change of
// the table (Table::Recall): back under its parent when that is a live note, at the top level
// otherwise. RecallError, with nothing changed, when the record holds no deleted note (a pack
// removed it), the table is read-only, or a fresh ID does not fit the ID field; engine errors
// (a failing disk) pass through, with nothing changed either.
RecallSummary RecallSubtree(engine::Table& table, uint32_t recno);

}  // namespace tindrel::recall
