// tindrel-table export TABLE FORMAT OUT [--subtree ID]

#include <cstdio>

#include "store/engine/Table.h"
#include "tools/ExchangeArgs.h"
#include "tools/TableTool.h"

namespace tindrel::tools {

int ExportCommand(const Args& args) {
  std::vector<std::string> positional;
  std::string subtree;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--subtree") {
      if (i + 1 >= args.size() || args[i + 1].empty()) throw UsageError("--subtree needs the ID of a note");
      subtree = args[++i];
    } else if (!args[i].empty() && args[i][0] == '-') {
      throw UsageError("export: unknown option '" + args[i] + "'");
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 3) throw UsageError("export takes TABLE FORMAT OUT");
  const exchange::Format format = ParseFormat(positional[1], false);
  engine::OpenOptions options;
  options.readOnly = true;
  auto table = engine::Table::Open(positional[0], options);
  const exchange::ExportSummary summary =
      exchange::ExportNotes(*table, subtree, format, positional[2], false, StderrProgress());
  std::printf("%s: exported %zu notes as %s\n", positional[2].c_str(), summary.notes,
              exchange::InfoOf(format).title);
  PrintNotices(summary.notices);
  return 0;
}

}  // namespace tindrel::tools
