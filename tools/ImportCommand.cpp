// tindrel-table import TABLE FORMAT IN [--under ID]

#include <cstdio>

#include "store/engine/Table.h"
#include "tools/ExchangeArgs.h"
#include "tools/TableTool.h"

namespace tindrel::tools {

int ImportCommand(const Args& args) {
  std::vector<std::string> positional;
  std::string under;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--under") {
      if (i + 1 >= args.size() || args[i + 1].empty()) throw UsageError("--under needs the ID of a note");
      under = args[++i];
    } else if (!args[i].empty() && args[i][0] == '-') {
      throw UsageError("import: unknown option '" + args[i] + "'");
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 3) throw UsageError("import takes TABLE FORMAT IN");
  const exchange::Format format = ParseFormat(positional[1], true);
  auto table = engine::Table::Open(positional[0]);
  const exchange::ImportSummary summary =
      exchange::ImportNotes(*table, format, positional[2], under, StderrProgress());
  std::printf("%s: imported %zu notes from %s %s, the first with the ID %s\n", positional[0].c_str(), summary.notes,
              positional[2].c_str(), under.empty() ? "at the top level" : ("below the note " + under).c_str(),
              summary.firstId.c_str());
  PrintNotices(summary.notices);
  return 0;
}

}  // namespace tindrel::tools
