#pragma once
// The window Restore opens: the backups of the note table, newest first, each with the date and
// time it was made, why it was made and how many notes it holds (or why it cannot be opened, and
// then it cannot be chosen). The list has the focus with the newest backup that can be restored
// selected; Enter (OK, the default button) chooses it, Esc cancels.

#include <QDialog>

#include <vector>

#include "store/engine/TableBackup.h"

class QListWidget;
class QPushButton;

namespace tindrel {

class TRestoreForm : public QDialog {
  Q_OBJECT

 public:
  TRestoreForm(const std::vector<engine::BackupInfo>& backups, QWidget* parent);

  // The chosen backup (null when none can be chosen).
  const engine::BackupInfo* Chosen() const;

  // "2026-12-11 09:30:05, made at close: 1,204 notes" and the like, as the list and the question show it.
  static QString Describe(const engine::BackupInfo& backup);

  QListWidget* BackupList = nullptr;
  QPushButton* OkButton = nullptr;
  QPushButton* CancelButton = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::vector<engine::BackupInfo> backups_;
};

}  // namespace tindrel
