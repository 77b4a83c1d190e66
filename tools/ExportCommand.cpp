// tindrel-table export TABLE FORMAT OUT [--subtree ID]

#include <cstdio>

#include "store/engine/Table.h"
#include "tools/ExchangeArgs.h"
#include "tools/TableTool.h"

namespace tindrel::tools {

int ExportCommand(const Args& args) {
  const NoteArgs parsed = ParseNoteArgs(args, "export", "--subtree", "OUT");
  const exchange::Format format = ParseFormat(parsed.format, false);
  engine::OpenOptions options;
  options.readOnly = true;
  auto table = engine::Table::Open(parsed.table, options);
  const exchange::ExportSummary summary =
      exchange::ExportNotes(*table, parsed.noteId, format, parsed.path, false, StderrProgress());
  std::printf("%s: exported %zu notes as %s\n", parsed.path.c_str(), summary.notes, exchange::InfoOf(format).title);
  PrintNotices(summary.notices);
  return 0;
}

}  // namespace tindrel::tools
