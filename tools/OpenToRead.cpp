#include <memory>

#include "store/engine/EngineError.h"
#include "store/engine/FileSystem.h"
#include "store/engine/Journal.h"
#include "store/engine/Table.h"
#include "tools/TableTool.h"

namespace tindrel::tools {

std::unique_ptr<engine::Table> OpenToRead(const std::string& path, engine::OpenOptions options) {
  const std::string journal = engine::Journal::PathFor(path);
  const bool pending = engine::FileSystem::Default().Exists(journal);
  // With a journal beside it the table is opened as the program opens it, which completes the
  // journal when the files can be written; otherwise nothing is written.
  options.readOnly = !pending;
  try {
    return engine::Table::Open(path, options);
  } catch (const engine::EngineError& e) {
    if (!pending || e.Code() != engine::ResultCode::TableDamaged || !engine::FileSystem::Default().Exists(journal))
      throw;
    std::vector<std::string> context = e.Context();
    context.push_back("tindrel-table check " + path + " completes them once the files can be written");
    throw engine::EngineError(e.Code(), e.MainText(), context);
  }
}

}  // namespace tindrel::tools
