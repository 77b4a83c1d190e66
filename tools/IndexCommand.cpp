// tindrel-table index TABLE

#include <cstdio>

#include "store/engine/Table.h"
#include "tools/NoteTableShape.h"
#include "tools/TableTool.h"

namespace tindrel::tools {

using engine::EngineError;
using engine::ResultCode;

std::unique_ptr<engine::Table> OpenToMend(const std::string& path) {
  engine::OpenOptions options;
  options.tolerateBadIndex = true;
  auto table = engine::Table::Open(path, options);
  for (const std::string& warning : table->Warnings()) std::printf("%s: note: %s\n", path.c_str(), warning.c_str());
  return table;
}

bool MakeIdTag(engine::Table& table, const NoteTableShape& shape) {
  try {
    std::printf("%s: %s\n", table.Path().c_str(), AddIdTag(table, shape).c_str());
    return true;
  } catch (const EngineError& e) {
    if (e.Code() != ResultCode::ReadOnlyTable) throw;
    std::fprintf(stderr, "tindrel-table: %s; no index was made\n", table.ReadOnlyReason().c_str());
    return false;
  }
}

int IndexCommand(const Args& args) {
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') throw UsageError("index takes one TABLE");
  const std::string& path = args[0];
  auto table = OpenToMend(path);
  const NoteTableShape shape = ExamineNoteTable(*table);
  const NoteFieldFinding& id = shape.Id();
  if (!id.problem.empty()) {
    std::printf("%s: ID %s; no index was made (`tindrel-table adopt %s` tells what the table lacks)\n",
                path.c_str(), FindingText(*table, id).c_str(), path.c_str());
    return 1;
  }
  if (shape.idTag >= 0) {
    std::printf("%s: the index tag %s orders by ID already; nothing to do\n", path.c_str(),
                table->Index()->Tags()[shape.idTag].name.c_str());
    return 0;
  }
  return MakeIdTag(*table, shape) ? 0 : 1;
}

}  // namespace tindrel::tools
