// tindrel-table reindex TABLE

#include <cstdio>

#include "store/engine/Table.h"
#include "tools/TableTool.h"

namespace tindrel::tools {

int ReindexCommand(const Args& args) {
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') throw UsageError("reindex takes one TABLE");
  // An index that is missing or cannot be read is not rebuilt here but replaced by `index`.
  engine::OpenOptions options;
  options.tolerateBadIndex = true;
  auto table = engine::Table::Open(args[0], options);
  if (!table->Index()) {
    std::fprintf(stderr,
                 "tindrel-table: %s has no production index that can be read and rebuilt; `tindrel-table index %s` "
                 "gives it a new one\n",
                 args[0].c_str(), args[0].c_str());
    return 1;
  }
  if (table->ReadOnly()) {
    std::fprintf(stderr, "tindrel-table: %s cannot be written; nothing was changed\n", args[0].c_str());
    return 1;
  }
  std::fprintf(stderr, "Reindexing %u records...\n", table->RecordCount());
  table->Reindex();
  std::printf("%s: index rebuilt (%zu tags, %u records)\n", args[0].c_str(), table->Index()->Tags().size(),
              table->RecordCount());
  return 0;
}

}  // namespace tindrel::tools
