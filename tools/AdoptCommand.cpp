// tindrel-table adopt TABLE [--dry-run]

#include <cstdio>

#include "store/engine/Table.h"
#include "tools/NoteTableShape.h"
#include "tools/TableTool.h"

namespace tindrel::tools {

int AdoptCommand(const Args& args) {
  std::string path;
  bool dryRun = false;
  for (const std::string& a : args) {
    if (a == "--dry-run") dryRun = true;
    else if (!a.empty() && a[0] == '-') throw UsageError("adopt: unknown option '" + a + "'");
    else if (path.empty()) path = a;
    else throw UsageError("adopt takes one TABLE");
  }
  if (path.empty()) throw UsageError("adopt needs a TABLE");

  auto table = OpenToMend(path);
  const char* at = path.c_str();
  NoteTableShape shape = ExamineNoteTable(*table);
  bool missingField = false;
  for (const NoteFieldFinding& finding : shape.fields) {
    std::printf("%s: %-7s %s\n", at, finding.role.c_str(), FindingText(*table, finding).c_str());
    missingField = missingField || finding.field < 0;
  }
  if (missingField)
    std::printf("%s: adopt adds no field: that would rewrite every record of the table\n", at);
  for (const std::string& note : shape.notes) std::printf("%s: note: %s\n", at, note.c_str());

  size_t problems = shape.problems.size();
  for (const NoteFieldFinding& finding : shape.fields) problems += !finding.problem.empty();
  if (shape.idTag >= 0) {
    std::printf("%s: index  tag %s orders by ID\n", at, table->Index()->Tags()[shape.idTag].name.c_str());
  } else if (!shape.Id().problem.empty()) {
    std::printf("%s: index  none on ID: it needs a usable ID field\n", at);
  } else if (problems > 0) {
    // The tag alone would not make the table serve: it is left as it is.
    std::printf("%s: index  no tag orders by ID; none is made while the table cannot serve\n", at);
  } else if (dryRun) {
    std::printf("%s: index  no tag orders by ID; adopt without --dry-run (or index) makes it\n", at);
    ++problems;
  } else if (MakeIdTag(*table, shape)) {
    shape = ExamineNoteTable(*table);
  } else {
    ++problems;
  }
  for (const std::string& problem : shape.problems) std::printf("%s: %s\n", at, problem.c_str());

  if (problems == 0 && shape.Serves()) {
    std::printf("%s: can serve as a note table\n", at);
    return 0;
  }
  std::printf("%s: cannot serve as a note table (%zu problem%s)\n", at, problems, problems == 1 ? "" : "s");
  return 1;
}

}  // namespace tindrel::tools
