#include "tools/NoteTableShape.h"

#include <algorithm>

namespace tindrel::tools {

namespace {

std::string TypeText(const engine::FieldDesc& f) {
  std::string text(1, f.type);
  if (f.type == 'C' || f.IsNumeric()) {
    text += "(" + std::to_string(f.length);
    if (f.decimals) text += "," + std::to_string(f.decimals);
    text += ")";
  }
  return text;
}

// Why a field of this type cannot hold an identifier, "" when it can. The tree reads and writes
// identifiers as text; a whole number or a text field holds them, and orders the tag by number
// or by text.
std::string IdentifierProblem(const engine::FieldDesc& f, const char* what) {
  if (f.type == 'C') return {};
  if (f.IsNumeric() && f.decimals == 0) return {};
  if (f.IsNumeric()) return std::string("a number with decimals; ") + what + " needs whole numbers (N with no decimals) or text (C)";
  return std::string("of another type; ") + what + " needs a whole number (N) or text (C)";
}

}  // namespace

bool NoteTableShape::FieldsServe() const {
  return std::all_of(fields.begin(), fields.end(), [](const NoteFieldFinding& f) { return f.problem.empty(); });
}

NoteTableShape ExamineNoteTable(const engine::Table& table) {
  NoteTableShape shape;
  for (const char* role : {"ID", "Parent", "Text", "MEMO"}) {
    NoteFieldFinding finding;
    finding.role = role;
    finding.field = table.FieldIndex(role);
    if (finding.field < 0) {
      finding.problem = "missing";
    } else {
      const engine::FieldDesc& f = table.Fields()[finding.field];
      finding.type = TypeText(f);
      if (finding.role == "ID") {
        finding.problem = IdentifierProblem(f, "a note's identifier");
      } else if (finding.role == "Parent") {
        finding.problem = IdentifierProblem(f, "the identifier of a note's parent");
      } else if (finding.role == "Text") {
        if (f.type != 'C') finding.problem = "of another type; a note's title needs a character field (C)";
      } else if (f.type != 'M') {
        finding.problem = "of another type; a note's text needs a memo field (M)";
      }
    }
    shape.fields.push_back(finding);
  }

  const NoteFieldFinding& id = shape.fields[0];
  const NoteFieldFinding& parent = shape.fields[1];
  if (id.problem.empty() && parent.problem.empty()) {
    const engine::FieldDesc& idField = table.Fields()[id.field];
    const engine::FieldDesc& parentField = table.Fields()[parent.field];
    if (parentField.length < idField.length)
      shape.notes.push_back("Parent (" + parent.type + ") is narrower than ID (" + id.type +
                            "): a note cannot be placed under one whose ID is wider than Parent holds");
  }
  if (id.problem.empty() && table.Index()) shape.idTag = engine::TagForFields(*table.Index(), {id.field});
  if (table.Index()) {
    for (const engine::TagInfo& tag : table.Index()->Tags())
      if (!tag.maintainable)
        shape.problems.push_back("The index tag " + tag.name + " uses the key '" + tag.expression +
                                 "', which this program cannot maintain: the program would open the table read-only");
  }
  if (table.CodePage() == 0 && table.LanguageDriver() == 0)
    shape.notes.push_back("The table names no code page (language driver 0): its text is read as ISO 8859-1 (Western European)");
  return shape;
}

std::string FindingText(const engine::Table& table, const NoteFieldFinding& finding) {
  if (finding.field < 0) return finding.problem;
  return "field " + table.Fields()[finding.field].name + " " + finding.type + ": " +
         (finding.problem.empty() ? "serves" : finding.problem);
}

std::string AddIdTag(engine::Table& table, const NoteTableShape& shape) {
  const engine::MdxIndex* index = table.Index();
  const std::string name = index && index->FindTag("ID") >= 0 ? "NOTEID" : "ID";
  return table.AddIndexTag({name, table.Fields()[shape.Id().field].name});
}

}  // namespace tindrel::tools
