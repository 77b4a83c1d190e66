// Backup and Restore from the main window's menu, on real note tables in a temporary program
// folder: the backup holds what was typed and says where it is; the restore window lists the
// backups, asks, keeps the notes as they were and shows the restored notes in the tree; a table
// that took changes is backed up at close, keeping the newest few; a pack keeps what it removes.

#include "app/TBackupCommands.h"
#include "app/TMainForm.h"
#include "app/TRestoreForm.h"
#include "store/TDBMemo.h"
#include "store/TTable.h"
#include "store/engine/TableBackup.h"
#include "tests/support/MainFormOverNotes.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/TreeLines.h"
#include "tree/dbTree.h"

#include <QAction>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace tindrel {
namespace {

using engine::BackupInfo;
using engine::BackupKind;
using testing::DriveModals;

class BackupCommandsTest : public testing::MainFormOverNotes {
 protected:
  void SetUp() override {
    platform_.clock.SetDateTime(QDateTime(QDate(2026, 12, 11), QTime(9, 30, 5)));
    OpenOn({{1, 0, "Alpha", "alpha body"}, {2, 1, "Beta", "beta body"}, {3, 0, "Gamma", "gamma body"}});
  }

  std::string TablePath() const { return QFile::encodeName(form_->TablePath()).toStdString(); }
  std::vector<BackupInfo> Backups() const { return engine::ListBackups(TablePath()); }

  QStringList Tree() const { return testing::TreeLines(*form_->DBTreeView); }

  QString LastBox() const { return platform_.boxes.shown.empty() ? QString() : platform_.boxes.shown.back().text; }

  // The notes of a backup, as "title: memo" lines in record order, deleted ones left out.
  static QStringList NotesOf(const std::string& path) {
    engine::OpenOptions options;
    options.exclusive = false;
    options.readOnly = true;
    auto t = engine::Table::Open(path, options);
    QStringList notes;
    for (uint32_t r = 1; r <= t->RecordCount(); ++r) {
      const auto record = t->ReadRecord(r);
      if (record.IsDeleted()) continue;
      notes << QString::fromStdString(t->GetText(record, t->FieldIndex("Text")) + ": " +
                                      t->GetText(record, t->FieldIndex("MEMO")));
    }
    return notes;
  }

  void TypeIntoMemo(const char* text) {
    form_->show();
    form_->Memo->setFocus();
    form_->Memo->moveCursor(QTextCursor::End);
    QTest::keyClicks(form_->Memo, text);
  }

  // Triggers Restore; `act` gets its window and closes it as a person would.
  bool RunRestore(const std::function<void(TRestoreForm&)>& act) {
    bool shown = false;
    DriveModals([&] { form_->MenuRestore->trigger(); },
                [&](QWidget& window) {
                  auto* restore = qobject_cast<TRestoreForm*>(&window);
                  if (!restore) return false;
                  shown = true;
                  act(*restore);
                  return true;
                });
    return shown;
  }

};

TEST_F(BackupCommandsTest, BackupStoresTheTypingFirstAndSaysWhereTheCopyIs) {
  TypeIntoMemo(" and more");
  form_->MenuBackup->trigger();
  const auto backups = Backups();
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_EQ(backups[0].kind, BackupKind::Manual);
  EXPECT_EQ(backups[0].time, (engine::BackupTime{2026, 12, 11, 9, 30, 5}));
  EXPECT_EQ(LastBox(), QStringLiteral("The notes were backed up to %1.")
                           .arg(dir_.path() + QStringLiteral("/Backups/Tindrel-2026-12-11-09-30-05.dbf")));
  EXPECT_EQ(platform_.boxes.shown.back().icon, MessageIcon::Information);
  EXPECT_EQ(NotesOf(backups[0].path), QStringList({"Alpha: alpha body and more", "Beta: beta body", "Gamma: gamma body"}));
  // The window goes on with its table.
  EXPECT_TRUE(form_->Table->Active());
  EXPECT_EQ(Tree(), QStringList({"Alpha", "  Beta", "Gamma"}));
}

TEST_F(BackupCommandsTest, RestoreListsTheBackupsAsksAndBringsTheNotesBackInTheWindow) {
  form_->MenuBackup->trigger();
  form_->MenuLast->trigger();
  form_->MenuDataDelete->trigger();  // Gamma
  TypeIntoMemo(" typed after the backup");
  platform_.clock.SetDateTime(QDateTime(QDate(2026, 12, 11), QTime(10, 0, 0)));
  const QStringList beforeRestore = {"Alpha: alpha body typed after the backup", "Beta: beta body"};

  // Cancel at the question changes nothing.
  platform_.boxes.Answer(mbCancel);
  ASSERT_TRUE(RunRestore([](TRestoreForm& window) { QTest::keyClick(window.BackupList, Qt::Key_Return); }));
  EXPECT_EQ(platform_.boxes.shown.back().buttons, mbOK | mbCancel);
  EXPECT_EQ(Tree(), QStringList({"Alpha", "  Beta"}));
  EXPECT_EQ(Backups().size(), 1u);

  QStringList rows;
  ASSERT_TRUE(RunRestore([&](TRestoreForm& window) {
    EXPECT_EQ(window.focusWidget(), window.BackupList) << "the list has the focus";
    EXPECT_EQ(window.BackupList->accessibleName(), "Backups");
    for (int i = 0; i < window.BackupList->count(); ++i) rows << window.BackupList->item(i)->text();
    QTest::keyClick(window.BackupList, Qt::Key_Return);
  }));
  EXPECT_EQ(rows, QStringList({"2026-12-11 09:30:05, made on request: 3 notes"}));
  const auto& question = platform_.boxes.shown[platform_.boxes.shown.size() - 2];
  EXPECT_EQ(question.caption, "Restore");
  EXPECT_EQ(question.icon, MessageIcon::Confirmation);
  EXPECT_EQ(question.text, "Replace the notes by the backup of 2026-12-11 09:30:05, made on request: 3 notes?\n"
                           "The notes as they are now are kept as one more backup.");

  EXPECT_TRUE(form_->Table->Active());
  EXPECT_EQ(Tree(), QStringList({"Alpha", "  Beta", "Gamma"}));
  form_->MenuFirst->trigger();
  EXPECT_EQ(form_->Memo->toPlainText(), "alpha body");
  const QString kept = dir_.path() + QStringLiteral("/Backups/Tindrel-2026-12-11-10-00-00-before-restore.dbf");
  EXPECT_EQ(LastBox(), "The notes were restored from the backup of 2026-12-11 09:30:05, made on request: 3 notes.\n"
                       "The notes as they were are kept in " + kept + ".");
  EXPECT_EQ(NotesOf(QFile::encodeName(kept).toStdString()), beforeRestore);
  // The restored table takes changes as before.
  form_->MenuLast->trigger();
  form_->MenuDataDelete->trigger();
  EXPECT_EQ(Tree(), QStringList({"Alpha", "  Beta"}));
}

TEST_F(BackupCommandsTest, RestoreWithoutBackupsSaysSoAndABackupThatCannotOpenCannotBeChosen) {
  form_->MenuRestore->trigger();
  EXPECT_EQ(LastBox(), QStringLiteral("There are no backups of the notes in %1/Backups.").arg(dir_.path()));

  form_->MenuBackup->trigger();
  QFile::resize(QString::fromStdString(Backups()[0].path), 10);  // damaged
  ASSERT_TRUE(RunRestore([](TRestoreForm& window) {
    ASSERT_EQ(window.BackupList->count(), 1);
    EXPECT_TRUE(window.BackupList->item(0)->text().contains("cannot be opened")) << window.BackupList->item(0)->text().toStdString();
    EXPECT_FALSE(window.OkButton->isEnabled());
    QTest::keyClick(window.BackupList, Qt::Key_Return);
    EXPECT_TRUE(window.isVisible()) << "Enter chooses nothing";
    QTest::keyClick(window.BackupList, Qt::Key_Escape);
  }));
  EXPECT_EQ(Tree(), QStringList({"Alpha", "  Beta", "Gamma"}));
}

TEST_F(BackupCommandsTest, ClosingAChangedTableBacksItUpKeepingTheNewestFew) {
  // An unchanged table is not backed up at close.
  ASSERT_TRUE(form_->close());
  EXPECT_TRUE(Backups().empty());

  form_.reset();
  OpenMainWindow();
  ASSERT_TRUE(form_->Table->Active());
  {
    auto& table = *form_->Table->EngineTable();
    for (int day = 1; day <= engine::kKeptAtCloseBackups; ++day)
      engine::BackUpTable(table, BackupKind::AtClose, {2026, 11, day, 8, 0, 0});
    engine::BackUpTable(table, BackupKind::Manual, {2026, 10, 1, 8, 0, 0});
  }
  TypeIntoMemo("!");
  ASSERT_TRUE(form_->close());
  const auto backups = Backups();
  ASSERT_EQ(backups.size(), engine::kKeptAtCloseBackups + 1u);
  EXPECT_EQ(backups.front().time, (engine::BackupTime{2026, 12, 11, 9, 30, 5}));
  EXPECT_EQ(backups.front().kind, BackupKind::AtClose);
  EXPECT_EQ(NotesOf(backups.front().path).first(), "Alpha: alpha body!") << "the typing is in it";
  EXPECT_EQ(backups[1].time, (engine::BackupTime{2026, 11, 5, 8, 0, 0}));
  EXPECT_EQ(backups.back().kind, BackupKind::Manual) << "a backup made on request stays";
  EXPECT_TRUE(platform_.boxes.shown.empty());
}

TEST_F(BackupCommandsTest, PackKeepsTheNotesItRemovesInABackup) {
  form_->MenuLast->trigger();
  form_->MenuDataDelete->trigger();  // Gamma
  form_->MenuPack->trigger();
  EXPECT_EQ(LastBox(), "Pack Completed");
  const auto backups = Backups();
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_EQ(backups[0].kind, BackupKind::BeforePack);
  engine::OpenOptions options;
  options.readOnly = true;
  options.exclusive = false;
  auto kept = engine::Table::Open(backups[0].path, options);
  EXPECT_EQ(kept->RecordCount(), 3u);
  EXPECT_TRUE(kept->ReadRecord(3).IsDeleted()) << "the deleted note is still in the backup";
  EXPECT_EQ(form_->Table->RecordCount(), 2u);
}

}  // namespace
}  // namespace tindrel
