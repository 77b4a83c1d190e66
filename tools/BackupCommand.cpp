// tindrel-table backup TABLE [FOLDER]

#include <cstdio>
#include <ctime>

#include "store/engine/TableBackup.h"
#include "tools/TableTool.h"

namespace tindrel::tools {

engine::BackupTime BackupTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

std::string BackUpAndSay(engine::Table& table, engine::BackupKind kind, const std::string& folder) {
  const std::string backup = engine::BackUpTable(table, kind, BackupTimeNow(), folder);
  std::printf("%s: backed up to %s\n", table.Path().c_str(), backup.c_str());
  return backup;
}

int BackupCommand(const Args& args) {
  if (args.empty() || args.size() > 2 || args[0].empty() || args[0][0] == '-' || (args.size() == 2 && args[1].empty()))
    throw UsageError("backup takes one TABLE and at most one FOLDER");
  // Opened as the program opens it: a journal it was left with is completed first, and the lock
  // keeps every other writer out while the files are copied.
  auto table = engine::Table::Open(args[0]);
  for (const std::string& warning : table->Warnings()) std::printf("%s: note: %s\n", args[0].c_str(), warning.c_str());
  BackUpAndSay(*table, engine::BackupKind::Manual, args.size() == 2 ? args[1] : std::string());
  return 0;
}

}  // namespace tindrel::tools
