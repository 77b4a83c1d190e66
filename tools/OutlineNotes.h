#pragma once
// Notes read from an exported file, made ready for a new note table: fitted by the rules every
// import follows (exchange/OutlineFit.h) to the table's code page and Text field, and numbered
// 1, 2, ... in the outline's order. What `create --from` writes.

#include <string>
#include <vector>

#include "exchange/Outline.h"
#include "tools/NoteTable.h"

namespace tindrel::tools {

// `notices` gets what reading and fitting left out or changed, by place.
std::vector<Note> NotesForNewTable(exchange::Outline outline, std::vector<std::string>& notices);

}  // namespace tindrel::tools
