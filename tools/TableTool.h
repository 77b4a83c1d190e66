#pragma once
// The commands of `tindrel-table`. Each takes the arguments after the command name and returns
// the exit status: 0 success, 1 a failure (engine errors are thrown as EngineError and printed
// by main as "tindrel-table: <message>"), 2 bad arguments (UsageError).

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/engine/Table.h"
#include "store/engine/TableBackup.h"

namespace tindrel::tools {

struct NoteTableShape;

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using Args = std::vector<std::string>;

int CreateCommand(const Args& args);
int CheckCommand(const Args& args);
int DumpCommand(const Args& args);
int ReindexCommand(const Args& args);
int PackCommand(const Args& args);
int IndexCommand(const Args& args);
int AdoptCommand(const Args& args);
int ExportCommand(const Args& args);
int ImportCommand(const Args& args);
int DeletedCommand(const Args& args);
int RecallCommand(const Args& args);
int BackupCommand(const Args& args);
int RestoreCommand(const Args& args);

// For `index` and `adopt`: opens the table exclusively, tolerating a production index that is
// missing or damaged (which they replace), and prints the open's findings as notes.
std::unique_ptr<engine::Table> OpenToMend(const std::string& path);
// Adds the tag on ID and prints what was done. A table whose files cannot be written is
// reported, with the reason, on stderr. Returns whether the tag was made.
bool MakeIdTag(engine::Table& table, const NoteTableShape& shape);

// The local date and time now, as a backup's name shows it.
engine::BackupTime BackupTimeNow();
// Backs up the open table into `folder` (empty: its Backups folder), prints where, and returns
// the backup's table file.
std::string BackUpAndSay(engine::Table& table, engine::BackupKind kind, const std::string& folder = {});

// Writes bytes to stdout as they are (values may hold NUL, CR and LF).
void WriteOut(const std::string& bytes);

// Opens TABLE for check and dump, read-only. A table with a journal beside it holds changes not
// yet in its files: it is opened as the program opens it, which completes them when its files
// can be written (its warnings say so); when they cannot, the error says what is pending and
// how to complete it.
std::unique_ptr<engine::Table> OpenToRead(const std::string& path, engine::OpenOptions options = {});

}  // namespace tindrel::tools
