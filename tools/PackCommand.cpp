// tindrel-table pack TABLE

#include <cstdio>

#include "store/engine/Table.h"
#include "tools/TableTool.h"

namespace tindrel::tools {

int PackCommand(const Args& args) {
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') throw UsageError("pack takes one TABLE");
  auto table = engine::Table::Open(args[0]);
  if (table->ReadOnly()) {
    std::fprintf(stderr, "tindrel-table: %s cannot be written; nothing was changed\n", args[0].c_str());
    return 1;
  }
  // What Pack removes is gone for good: the table as it was is kept first.
  BackUpAndSay(*table, engine::BackupKind::BeforePack);
  const uint32_t before = table->RecordCount();
  int shown = -1;
  table->Pack([&](uint32_t done, uint32_t total) {
    const int percent = total ? static_cast<int>(uint64_t{done} * 100 / total) / 10 * 10 : 100;
    if (percent != shown) {
      shown = percent;
      std::fprintf(stderr, "Packing: %d%%\n", percent);
    }
  });
  std::printf("%s: packed, %u records kept, %u removed\n", args[0].c_str(), table->RecordCount(),
              before - table->RecordCount());
  return 0;
}

}  // namespace tindrel::tools
