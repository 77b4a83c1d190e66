// tindrel-table restore TABLE BACKUP

#include <cstdio>

#include "store/engine/TableBackup.h"
#include "tools/TableTool.h"

namespace tindrel::tools {
namespace {

std::string TimeText(const engine::BackupTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  return text;
}

// The backups of the table, newest first, one line each.
void ListBackupsOf(const std::string& table, FILE* out) {
  const auto backups = engine::ListBackups(table);
  if (backups.empty()) std::fprintf(out, "%s has no backups in %s\n", table.c_str(), engine::BackupFolderOf(table).c_str());
  for (const engine::BackupInfo& b : backups) {
    std::fprintf(out, "  %s  %s, %s: ", b.path.c_str(), TimeText(b.time).c_str(), engine::BackupKindText(b.kind));
    if (b.problem.empty()) std::fprintf(out, "%u note%s\n", b.notes, b.notes == 1 ? "" : "s");
    else std::fprintf(out, "cannot be opened: %s\n", b.problem.c_str());
  }
}

}  // namespace

int RestoreCommand(const Args& args) {
  if (args.size() == 1 && !args[0].empty() && args[0][0] != '-') {
    std::fprintf(stderr, "tindrel-table: restore needs the BACKUP to restore; the backups of %s:\n", args[0].c_str());
    ListBackupsOf(args[0], stderr);
    return 2;
  }
  if (args.size() != 2 || args[0].empty() || args[0][0] == '-' || args[1].empty() || args[1][0] == '-')
    throw UsageError("restore takes one TABLE and one BACKUP");
  const std::string& table = args[0];
  // A backup's name alone is looked up in the table's backup folder.
  std::string backup = args[1];
  if (backup.find('/') == std::string::npos && !engine::FileSystem::Default().Exists(backup))
    backup = engine::BackupFolderOf(table) + "/" + backup;
  const engine::RestoreResult result = engine::RestoreTable(table, backup, BackupTimeNow());
  for (const std::string& notice : result.notices) std::printf("%s: note: %s\n", table.c_str(), notice.c_str());
  std::printf("%s: restored from %s\n", table.c_str(), backup.c_str());
  if (!result.keptAs.empty()) std::printf("%s: the table as it was is kept as %s\n", table.c_str(), result.keptAs.c_str());
  return 0;
}

}  // namespace tindrel::tools
