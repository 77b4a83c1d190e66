#pragma once
// Notes arriving in a note table: fitted by the shared rules (OutlineFit.h), given new IDs, and
// stored together.

#include <cstdint>
#include <string>
#include <vector>

#include "exchange/Outline.h"
#include "exchange/Progress.h"

namespace tindrel::engine {
class Table;
}

namespace tindrel::exchange {

struct ImportSummary {
  size_t notes = 0;
  std::string firstId;               // the new ID of the outline's first note
  std::vector<std::string> notices;  // what reading and fitting left out or changed, by place
};

// Stores the outline's notes in `table` below the note whose ID is `underId` (the top level when
// it is empty), in the outline's order, as one change (Table::AppendAll): after an error, a
// crash or a cancel either all of them are there or none. Each note gets a new ID: one more than
// the largest number among the table's IDs, passing over any that a note has as its ID or its
// Parent (a new note must not adopt an orphan); the parent links follow the new IDs.
// ExchangeError, with nothing stored, when the table cannot take them: read-only, no note with
// `underId`, a field missing, an ID too wide for the ID field, a character the code page cannot
// hold.
ImportSummary ImportOutline(engine::Table& table, Outline outline, const std::string& underId,
                            const Progress& progress = {});

// Notes for a new table: numbered 1, 2, ... in the outline's order, each parent by its number
// (0 at the top level).
struct NumberedNote {
  int64_t id = 0;
  int64_t parent = 0;
  std::string title;
  std::string memo;
};
std::vector<NumberedNote> NumberOutline(Outline&& outline);

}  // namespace tindrel::exchange
