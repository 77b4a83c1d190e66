#pragma once
// Backups of a table and restoring one.
//
// A backup is a copy of the table's three files in a folder (by default "Backups" beside the
// table), named after the table, the time it was made and why:
//   Tindrel-2026-12-11-09-30-05.dbf                 made on request (the Backup command, the tool)
//   Tindrel-2026-12-11-09-30-05-at-close.dbf        made when the program closed a changed table
//   Tindrel-2026-12-11-09-30-05-before-pack.dbf     made before a pack removed deleted records
//   Tindrel-2026-12-11-09-30-05-before-restore.dbf  the table as it was before a restore
// with its .dbt and .mdx of the same name; a second backup of the same kind in the same second
// takes "-2", "-3"... behind the time. Each backup is itself a table that any dBASE reader opens.
//
// A backup appears whole or not at all: every file is written and synced as "<file>-partial",
// then the files are renamed into place, the table last. A backup counts only when its table
// file is there, so a crash leaves at most unlisted "-partial" files and companions without a
// table, which the next backup into the folder removes.
//
// Restore replaces a table's files by a backup's. A crash at any moment leaves the table either
// as it was or as the backup holds it, never a mix of the two (see RestoreTable).

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "store/engine/FileSystem.h"
#include "store/engine/Table.h"

namespace tindrel::engine {

enum class BackupKind { Manual, AtClose, BeforePack, BeforeRestore };

// Local date and time of a backup, as its name shows it.
struct BackupTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  auto operator<=>(const BackupTime&) const = default;
};

struct BackupInfo {
  std::string path;  // the backup's table file
  BackupTime time;
  BackupKind kind = BackupKind::Manual;
  int sequence = 1;  // 2, 3... for a second backup of the same kind in the same second
  uint32_t notes = 0;     // its live records
  std::string problem;    // why it cannot be opened; "" when it can
};

// The program keeps this many of the backups it makes by itself at close, the newest ones: one
// for each of the last working sessions that changed the table, so a mistake noticed a few
// sessions later can still be undone, while the folder holds at most five copies that nobody
// asked for. Backups made on request, before a pack and before a restore are never removed.
inline constexpr int kKeptAtCloseBackups = 5;

// "<folder of the table>/Backups".
std::string BackupFolderOf(const std::string& tablePath);

// Backs up the open `table` into `folder` (empty: BackupFolderOf), making the folder when it is
// missing; returns the path of the backup's table file. Leftovers of an interrupted backup of
// this table in the folder are removed first.
std::string BackUpTable(Table& table, BackupKind kind, const BackupTime& when, const std::string& folder = {},
                        FileSystem* fs = nullptr);

// The backups of the table at `tablePath` in `folder` (empty: BackupFolderOf), newest first,
// each with its note count (a backup that cannot be opened has its problem instead). A missing
// folder holds none.
std::vector<BackupInfo> ListBackups(const std::string& tablePath, const std::string& folder = {},
                                    FileSystem* fs = nullptr);

// Removes all but the newest `keep` backups of `kind`; returns the paths of the removed ones.
std::vector<std::string> PruneBackups(const std::string& tablePath, BackupKind kind, int keep,
                                      const std::string& folder = {}, FileSystem* fs = nullptr);

struct RestoreResult {
  std::string keptAs;               // the backup of the table as it was ("" when there was none)
  std::vector<std::string> notices; // what else was done (a journal of the table completed...)
};

// Replaces the files of the table at `tablePath`, which must not be open, by those of the backup
// whose table file is `backupPath`, in this order:
//  1. The backup must open and check clean, and hold every kind of file the table has (a memo
//     file, an index); otherwise the restore is refused and nothing changes.
//  2. The table's lock is taken (TableInUse while another opener holds it).
//  3. A journal of the table is completed (R1 to R5 of Journal.cpp): the table as it was is then
//     whole in its files.
//  4. Those files are kept as a backup of kind BeforeRestore, whole, before anything else.
//  5. The backup's files are copied beside the table's as "<file>-restore" and synced.
//  6. They are renamed into place through a rename journal (P2 to P4 of Journal.cpp), the table
//     last: a crash before the journal is whole leaves the table as it was (the next open removes
//     the copies), a crash after it is completed by the next open.
// The table may be missing or fail to open (restoring is how a damaged table is mended); what
// of it exists is kept in step 4.
RestoreResult RestoreTable(const std::string& tablePath, const std::string& backupPath, const BackupTime& when,
                           FileSystem* fs = nullptr);

// Copies each (file, target) so that the set of targets appears whole: each written and synced
// as "<target>-partial", then renamed into place, the first one (the table) last. On an error
// the partial copies, and targets already renamed, are removed again.
void CopyFilesWhole(FileSystem& fs, const std::vector<std::pair<File*, std::string>>& copies);

// "made on request", "made at close"... for lists a person reads.
const char* BackupKindText(BackupKind kind);

}  // namespace tindrel::engine
