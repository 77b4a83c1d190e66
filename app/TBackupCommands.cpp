#include "app/TBackupCommands.h"

#include <QAction>
#include <QFile>

#include "app/TMainForm.h"
#include "app/TRestoreForm.h"
#include "platform/Errors.h"
#include "platform/Platform.h"
#include "store/TTable.h"
#include "tree/dbTree.h"

namespace tindrel {
namespace {

QString Shown(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

void Inform(const QString& text) {
  Platform::Instance().MessageBoxes().Show(QStringLiteral("Information"), text, MessageIcon::Information, mbOK);
}

}  // namespace

TBackupCommands::TBackupCommands(TMainForm& form, engine::FileSystem* fileSystem)
    : QObject(&form), form_(form), fs_(fileSystem) {
  form.MenuBackup->setEnabled(true);
  form.MenuRestore->setEnabled(true);
  connect(form.MenuBackup, &QAction::triggered, this, [this] { RunGuarded([this] { Backup(); }); });
  connect(form.MenuRestore, &QAction::triggered, this, [this] { RunGuarded([this] { Restore(); }); });
}

engine::BackupTime TBackupCommands::Now() {
  const QDateTime now = Platform::Instance().Clock().CurrentDateTime().toLocalTime();
  const QDate d = now.date();
  const QTime t = now.time();
  return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

std::string TBackupCommands::TablePath() const { return QFile::encodeName(form_.TablePath()).toStdString(); }

void TBackupCommands::Backup() {
  TTable& table = *form_.Table;
  if (!table.Active())
    throw engine::EngineError(engine::ResultCode::InvalidHandle, "The notes are not open: there is nothing to back up");
  table.SettleEdits();
  const std::string backup = engine::BackUpTable(*table.EngineTable(), engine::BackupKind::Manual, Now(), {}, fs_);
  Inform(QStringLiteral("The notes were backed up to %1.").arg(Shown(backup)));
}

void TBackupCommands::BackupBeforePack() {
  TTable& table = *form_.Table;
  if (!table.Active()) return;  // the pack reports the closed table
  table.SettleEdits();
  engine::BackUpTable(*table.EngineTable(), engine::BackupKind::BeforePack, Now(), {}, fs_);
}

void TBackupCommands::BackupAtClose() {
  TTable& table = *form_.Table;
  // In doubt, the files are behind the journal: the next start completes them.
  if (!table.Active() || table.InDoubt() || !table.EngineTable()->ChangedSinceOpen()) return;
  engine::BackUpTable(*table.EngineTable(), engine::BackupKind::AtClose, Now(), {}, fs_);
  engine::PruneBackups(TablePath(), engine::BackupKind::AtClose, engine::kKeptAtCloseBackups, {}, fs_);
}

void TBackupCommands::Restore() {
  const std::string tablePath = TablePath();
  const auto backups = engine::ListBackups(tablePath, {}, fs_);
  if (backups.empty()) {
    Inform(QStringLiteral("There are no backups of the notes in %1.").arg(Shown(engine::BackupFolderOf(tablePath))));
    return;
  }
  TRestoreForm window(backups, &form_);
  if (window.exec() != QDialog::Accepted || !window.Chosen()) return;
  const engine::BackupInfo chosen = *window.Chosen();
  const MessageButton answer = Platform::Instance().MessageBoxes().Show(
      QStringLiteral("Restore"),
      QStringLiteral("Replace the notes by the backup of %1?\nThe notes as they are now are kept as one more backup.")
          .arg(TRestoreForm::Describe(chosen)),
      MessageIcon::Confirmation, mbOK | mbCancel);
  if (answer != mbOK) return;

  TTable& table = *form_.Table;
  if (table.Active()) {
    table.SettleEdits();
    table.Close();
  }
  engine::RestoreResult result;
  try {
    result = engine::RestoreTable(tablePath, chosen.path, Now(), fs_);
  } catch (...) {
    // The table as it is now (the old one, or the restored one that the open completes).
    RunGuarded([&] { table.Open(); });
    form_.DBTreeView->RebuildTree();
    throw;
  }
  table.Open();
  form_.DBTreeView->RebuildTree();
  QString text = QStringLiteral("The notes were restored from the backup of %1.").arg(TRestoreForm::Describe(chosen));
  if (!result.keptAs.empty())
    text += QStringLiteral("\nThe notes as they were are kept in %1.").arg(Shown(result.keptAs));
  Inform(text);
}

}  // namespace tindrel
