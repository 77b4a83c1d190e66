#pragma once
// How a dBASE table measures up to a note table: which of its fields serve as the note's ID,
// Parent, Text and MEMO (found by name without regard to case), which are missing or of a type
// the program cannot use, and whether its production index has the tag on ID that the
// program's order needs. Used by `tindrel-table adopt` and `index`.

#include <string>
#include <vector>

#include "store/engine/Table.h"

namespace tindrel::tools {

struct NoteFieldFinding {
  std::string role;     // "ID", "Parent", "Text", "MEMO": the name the program asks for
  int field = -1;       // the table's field of that name, -1 when it has none
  std::string type;     // the field's type and size as people write it: "N(10)", "C(64)", "M"
  std::string problem;  // why the field cannot serve ("" when it can; "missing" when absent)
};

struct NoteTableShape {
  std::vector<NoteFieldFinding> fields;  // ID, Parent, Text, MEMO in this order
  int idTag = -1;                        // the index tag that orders by ID, -1 when none
  std::vector<std::string> problems;     // what else stops the program from using the table
  std::vector<std::string> notes;        // findings that do not stop the table from serving

  const NoteFieldFinding& Id() const { return fields[0]; }
  bool FieldsServe() const;
  // Whether the program opens the table and can change it (the tag on ID included).
  bool Serves() const { return FieldsServe() && problems.empty() && idTag >= 0; }
};

NoteTableShape ExamineNoteTable(const engine::Table& table);

// A finding as one line reads it: "field PARENT N(10): serves", "missing",
// "field MEMO C(10): of another type; a note's text needs a memo field (M)".
std::string FindingText(const engine::Table& table, const NoteFieldFinding& finding);

// Adds the tag on ID that the program's order needs (named ID, or NOTEID when another tag has
// that name), as one atomic change of the engine. The ID field must serve. Returns what was done.
std::string AddIdTag(engine::Table& table, const NoteTableShape& shape);

}  // namespace tindrel::tools
