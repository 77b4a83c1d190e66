// tindrel-table check TABLE

#include <cstdio>
#include <memory>

#include "store/engine/EngineError.h"
#include "store/engine/Table.h"
#include "tools/TableTool.h"

namespace tindrel::tools {

using engine::EngineError;
using engine::ResultCode;

int CheckCommand(const Args& args) {
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') throw UsageError("check takes one TABLE");
  const std::string& path = args[0];

  std::vector<std::string> problems;
  engine::OpenOptions options;
  std::unique_ptr<engine::Table> table;
  try {
    table = OpenToRead(path, options);
  } catch (const EngineError& e) {
    // An index that cannot be opened is a finding of the check, not a reason to stop: the
    // table and its memo file are still checked.
    if (e.Code() != ResultCode::IndexDamaged && e.Code() != ResultCode::IndexFileMissing) throw;
    problems.push_back(e.Message());
    options.tolerateBadIndex = true;
    table = OpenToRead(path, options);
  }
  for (const std::string& warning : table->Warnings()) std::printf("%s: note: %s\n", path.c_str(), warning.c_str());
  for (std::string& problem : table->Check()) problems.push_back(std::move(problem));

  if (!problems.empty()) {
    for (const std::string& problem : problems) std::printf("%s: %s\n", path.c_str(), problem.c_str());
    std::printf("%s: %zu problem%s found\n", path.c_str(), problems.size(), problems.size() == 1 ? "" : "s");
    return 1;
  }
  uint32_t deleted = 0;
  for (uint32_t recno = 1; recno <= table->RecordCount(); ++recno) deleted += table->ReadRecord(recno).IsDeleted();
  const size_t tags = table->Index() ? table->Index()->Tags().size() : 0;
  std::printf("%s: consistent (%u records, %u deleted, %zu tags)\n", path.c_str(), table->RecordCount(), deleted, tags);
  return 0;
}

}  // namespace tindrel::tools
