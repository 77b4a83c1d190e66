#pragma once
// The notes of a table as an outline, in the order the tree shows them: below each note the
// notes whose Parent is its ID, siblings by title without regard to case (equal titles in record
// order), at the top level the notes whose parent is no note's ID.
//
// Every live note comes out, also those the tree cannot show: a loop of parent links (A under
// B under A) is entered at one of its notes, which comes out at the top level with a notice. A
// note whose ID appears twice gets its children once, below the first of the two.

#include <string>

#include "exchange/Outline.h"
#include "exchange/Progress.h"

namespace tindrel::engine {
class Table;
}

namespace tindrel::exchange {

// `subtreeId` not empty: only the note with that ID and the notes below it (ExchangeError when no
// note has it). Fields are found by name without regard to case: ID and Text are needed, Parent
// and MEMO are optional. A damaged memo stops the export with the engine's error.
Outline ReadTableOutline(const engine::Table& table, const std::string& subtreeId = {},
                         const Progress& progress = {});

}  // namespace tindrel::exchange
