#include "app/TRestoreForm.h"

#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include "navigator/CaptionFit.h"
#include "navigator/DialogButtons.h"
#include "platform/Errors.h"

namespace tindrel {

QString TRestoreForm::Describe(const engine::BackupInfo& backup) {
  const engine::BackupTime& t = backup.time;
  const QString when = QStringLiteral("%1-%2-%3 %4:%5:%6")
                           .arg(t.year, 4, 10, QLatin1Char('0'))
                           .arg(t.month, 2, 10, QLatin1Char('0'))
                           .arg(t.day, 2, 10, QLatin1Char('0'))
                           .arg(t.hour, 2, 10, QLatin1Char('0'))
                           .arg(t.minute, 2, 10, QLatin1Char('0'))
                           .arg(t.second, 2, 10, QLatin1Char('0'));
  const QString kind = QString::fromUtf8(engine::BackupKindText(backup.kind));
  if (!backup.problem.empty())
    return QStringLiteral("%1, %2: cannot be opened (%3)").arg(when, kind, QString::fromStdString(backup.problem));
  const QString notes = backup.notes == 1 ? QStringLiteral("1 note")
                                          : QStringLiteral("%1 notes").arg(QLocale().toString(backup.notes));
  return QStringLiteral("%1, %2: %3").arg(when, kind, notes);
}

TRestoreForm::TRestoreForm(const std::vector<engine::BackupInfo>& backups, QWidget* parent)
    : QDialog(parent), backups_(backups) {
  setObjectName(QStringLiteral("RestoreForm"));
  setWindowTitle(QStringLiteral("Restore"));
  setAccessibleName(QStringLiteral("Restore"));
  setFont(DialogFont());

  auto* column = new QVBoxLayout(this);
  auto* label = new QLabel(QStringLiteral("&Backups of the notes, newest first:"), this);
  BackupList = new QListWidget(this);
  BackupList->setObjectName(QStringLiteral("BackupList"));
  BackupList->setAccessibleName(QStringLiteral("Backups"));
  BackupList->setMinimumSize(Scaled(380, this), Scaled(180, this));
  label->setBuddy(BackupList);
  int first = -1;
  for (size_t i = 0; i < backups_.size(); ++i) {
    auto* item = new QListWidgetItem(Describe(backups_[i]), BackupList);
    item->setData(Qt::UserRole, static_cast<int>(i));
    item->setToolTip(QString::fromStdString(backups_[i].path));
    if (!backups_[i].problem.empty()) item->setFlags(item->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled));
    else if (first < 0) first = static_cast<int>(i);
  }
  column->addWidget(label);
  column->addWidget(BackupList, 1);
  auto* note = new QLabel(QStringLiteral("The notes as they are now are kept as one more backup first."), this);
  note->setWordWrap(true);
  column->addWidget(note);

  const TOkCancelRow buttons = MakeOkCancelRow(this);
  OkButton = buttons.ok;
  CancelButton = buttons.cancel;
  column->addLayout(buttons.layout);

  const auto chosen = [this] { OkButton->setEnabled(Chosen() != nullptr); };
  connect(BackupList, &QListWidget::currentRowChanged, this, chosen);
  connect(BackupList, &QListWidget::itemActivated, this, [this] {
    if (Chosen()) accept();
  });
  if (first >= 0) BackupList->setCurrentRow(first);
  chosen();
  BackupList->setFocus();
}

const engine::BackupInfo* TRestoreForm::Chosen() const {
  const QListWidgetItem* item = BackupList->currentItem();
  if (!item || !item->isSelected() || !(item->flags() & Qt::ItemIsEnabled)) return nullptr;
  return &backups_[static_cast<size_t>(item->data(Qt::UserRole).toInt())];
}

void TRestoreForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  RunGuarded([this] { FitCaptions(*this); });
}

}  // namespace tindrel
