// tindrel-table import TABLE FORMAT IN [--under ID]

#include <cstdio>

#include "store/engine/Table.h"
#include "tools/ExchangeArgs.h"
#include "tools/TableTool.h"

namespace tindrel::tools {

int ImportCommand(const Args& args) {
  const NoteArgs parsed = ParseNoteArgs(args, "import", "--under", "IN");
  const exchange::Format format = ParseFormat(parsed.format, true);
  auto table = engine::Table::Open(parsed.table);
  const exchange::ImportSummary summary =
      exchange::ImportNotes(*table, format, parsed.path, parsed.noteId, StderrProgress());
  const std::string where = parsed.noteId.empty() ? "at the top level" : "below the note " + parsed.noteId;
  std::printf("%s: imported %zu notes from %s %s, the first with the ID %s\n", parsed.table.c_str(), summary.notes,
              parsed.path.c_str(), where.c_str(), summary.firstId.c_str());
  PrintNotices(summary.notices);
  return 0;
}

}  // namespace tindrel::tools
