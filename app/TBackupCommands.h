#pragma once
// Backup and Restore in File > Settings > Database, the backup made when the program closes a
// table it changed, and the one made before a pack.
//
// Backup: the pending edit is stored first; the table's files are copied, after a checkpoint and
// under the table's lock, into the folder Backups beside the table, and a box says where.
// Restore: the window lists the backups with their date and note count; the person chooses one
// and is asked; the pending edit is stored, the table closed, its files replaced by the backup's
// (the table as it was kept as one more backup first; a crash leaves the old table or the
// restored one, never a mix), and the table opened again in the window with the tree rebuilt.
// When the restore fails the table is opened again as it is.
// At close: when the table took a change since it was opened, one backup is made, and of these
// only the newest engine::kKeptAtCloseBackups are kept. A failure is shown; the close goes on.
// Before a pack: the pending edit is stored and a backup made; when that fails, nothing is packed.

#include <QObject>
#include <QString>

#include "store/engine/TableBackup.h"

namespace tindrel {

namespace engine {
class FileSystem;
}

class TMainForm;

class TBackupCommands : public QObject {
  Q_OBJECT

 public:
  // Connects the form's Backup and Restore items and enables them.
  TBackupCommands(TMainForm& form, engine::FileSystem* fileSystem);

  void Backup();
  void Restore();
  void BackupAtClose();
  void BackupBeforePack();

  // The local date and time of the platform's clock, as a backup's name shows it.
  static engine::BackupTime Now();

 private:
  std::string TablePath() const;
  TMainForm& form_;
  engine::FileSystem* fs_;
};

}  // namespace tindrel
