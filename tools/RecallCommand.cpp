// tindrel-table recall TABLE ID

#include <cstdio>

#include "recall/DeletedNotes.h"
#include "store/engine/Table.h"
#include "tools/TableTool.h"

namespace tindrel::tools {

int RecallCommand(const Args& args) {
  if (args.size() != 2 || args[0].empty() || args[0][0] == '-' || args[1].empty())
    throw UsageError("recall takes a TABLE and the ID of a deleted note");
  const std::string& path = args[0];
  const std::string& id = args[1];
  auto table = engine::Table::Open(path);
  if (table->ReadOnly()) {
    std::fprintf(stderr, "tindrel-table: %s; nothing was recalled\n", table->ReadOnlyReason().c_str());
    return 1;
  }
  const std::vector<uint32_t> found = recall::FindDeleted(*table, id);
  if (found.empty()) {
    std::fprintf(stderr, "tindrel-table: %s: no deleted note has the ID %s (a pack removes deleted notes for good)\n",
                 path.c_str(), id.c_str());
    return 1;
  }
  if (found.size() > 1) {
    std::string records;
    for (uint32_t recno : found) records += (records.empty() ? " #" : ", #") + std::to_string(recno);
    std::fprintf(stderr,
                 "tindrel-table: %s: %zu deleted notes have the ID %s, in the records%s; name one by its record, "
                 "as in: recall TABLE #%u\n",
                 path.c_str(), found.size(), id.c_str(), records.c_str(), found.back());
    return 1;
  }
  const recall::RecallSummary summary = recall::RecallSubtree(*table, found.front());
  const std::string place =
      summary.place.empty() ? "at the top level" : "below \"" + recall::PlaceText(summary.place) + "\"";
  std::printf("%s: recalled %zu %s, \"%s\" (ID %s) %s\n", path.c_str(), summary.notes,
              summary.notes == 1 ? "note" : "notes", summary.topTitle.c_str(), summary.topId.c_str(), place.c_str());
  for (const recall::Renumbered& r : summary.renumbered)
    std::printf("  \"%s\" has the new ID %s: another note has its ID %s now\n", r.title.c_str(), r.newId.c_str(),
                r.oldId.c_str());
  return 0;
}

}  // namespace tindrel::tools
