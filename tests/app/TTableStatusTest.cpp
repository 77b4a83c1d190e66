// What the main window tells the person about the note table's health, offscreen, on real tables
// in a temporary program folder, with the scripted message boxes: the warning at open after the
// program stopped in the middle of a change, and a disk that fails under a change the person is
// making (a memo edit, a new note), at every call of that change.

#include "app/TMainForm.h"
#include "app/TTableStatus.h"
#include "navigator/TwwDBNavigator.h"
#include "platform/ErrorBox.h"
#include "statusbar/TfcStatusBar.h"
#include "store/TDBMemo.h"
#include "store/TField.h"
#include "store/TTable.h"
#include "store/engine/Table.h"
#include "tests/support/engine/FaultyFileSystem.h"
#include "tests/support/platform/ScriptedPlatform.h"
#include "tools/NoteTable.h"
#include "tree/dbTree.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <memory>
#include <string>

namespace tindrel {
namespace {

using engine::testing::FaultyFileSystem;
using testing::ScriptedPlatform;
using testing::ShownBox;

struct StoredNote {
  std::string parent, title, memo;
  bool operator==(const StoredNote&) const = default;
  friend void PrintTo(const StoredNote& n, std::ostream* out) {
    *out << "{parent '" << n.parent << "', title '" << n.title << "', memo '" << n.memo << "'}";
  }
};
using StoredNotes = std::map<std::string, StoredNote>;

class TableStatusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    InstallDefaultErrorHandler();
  }

  // A fresh program folder holding the three notes Alpha, Beta (below Alpha) and Gamma.
  QString NewFolder() {
    const QString folder = dir_.path() + QStringLiteral("/%1/").arg(++folders_);
    EXPECT_TRUE(QDir().mkpath(folder));
    tools::CreateNoteTable(folder.toStdString(),
                           {{1, 0, "Alpha", "alpha body"}, {2, 1, "Beta", "beta body"}, {3, 0, "Gamma", "gamma body"}});
    return folder;
  }
  static std::string TablePath(const QString& folder) { return (folder + QStringLiteral("Tindrel.dbf")).toStdString(); }

  static void ShowActive(TMainForm& form) {
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  }

  // Every live note as the engine reads it, after checking the table's files against each other.
  static StoredNotes ReadNotes(const std::string& path) {
    auto table = engine::Table::Open(path);
    const auto problems = table->Check();
    EXPECT_TRUE(problems.empty()) << problems.front();
    StoredNotes notes;
    for (uint32_t recno = 1; recno <= table->RecordCount(); ++recno) {
      const engine::Record r = table->ReadRecord(recno);
      if (r.IsDeleted()) continue;
      notes[table->GetText(r, table->FieldIndex("ID"))] = {table->GetText(r, table->FieldIndex("PARENT")),
                                                            table->GetText(r, table->FieldIndex("TEXT")),
                                                            table->ReadMemo(r, table->FieldIndex("MEMO"))};
    }
    return notes;
  }

  static QString PanelText(TMainForm& form) { return form.fcStatusBar1->Panels().Items(1)->Text(); }

  // Declared first: the window's status bar takes its timers from the installed platform.
  ScriptedPlatform platform_;
  QTemporaryDir dir_;
  int folders_ = 0;
};

TEST_F(TableStatusTest, OpeningAfterAnInterruptedChangeSaysWhatBecameOfIt) {
  struct Case {
    const char* name;
    bool tornJournal;         // the journal record never reached the disk whole
    std::string memoAfter;    // what the note holds once the table is open again
  };
  for (const Case& c : {Case{"a whole journal record", false, "changed before the stop"},
                        Case{"a torn journal record", true, "beta body"}}) {
    SCOPED_TRACE(c.name);
    const QString folder = NewFolder();
    const std::string path = TablePath(folder);
    const QString journal = QString::fromStdString(path) + QStringLiteral("-journal");
    // The program stops in the middle of a change: at the first call that leaves a journal behind.
    for (uint64_t stopAt = 1; QFile(journal).size() == 0; ++stopAt) {
      ASSERT_LT(stopAt, 50u) << "no call of the change leaves a journal";
      QFile::remove(journal);
      FaultyFileSystem fs(stopAt, FaultyFileSystem::Mode::Crash);
      engine::OpenOptions options;
      options.fileSystem = &fs;
      auto table = engine::Table::Open(path, options);
      engine::Record beta = table->ReadRecord(2);
      table->SetText(beta, table->FieldIndex("MEMO"), "changed before the stop");
      table->Modify(beta);
    }
    if (c.tornJournal) {
      QFile file(journal);
      ASSERT_TRUE(file.resize(file.size() - 3));
    }

    platform_.boxes.shown.clear();
    auto form = std::make_unique<TMainForm>(folder);
    ASSERT_TRUE(form->Table->Active());
    ASSERT_FALSE(form->Table->OpenWarnings().isEmpty());
    ASSERT_EQ(platform_.boxes.shown.size(), 1u);
    const ShownBox& box = platform_.boxes.shown[0];
    EXPECT_EQ(box.caption, "Tindrel II");
    EXPECT_EQ(box.icon, MessageIcon::Warning);
    EXPECT_EQ(box.buttons, mbOK);
    EXPECT_EQ(box.text, TTableStatus::OpenWarningsText(form->Table->OpenWarnings()));
    EXPECT_TRUE(box.text.startsWith("Tindrel II found this while opening your notes:\n\n"));
    EXPECT_TRUE(form->Table->CanModify()) << "the table is whole again and takes changes";
    EXPECT_EQ(PanelText(*form), "");
    form->MenuFirst->trigger();
    form->MenuNext->trigger();
    EXPECT_EQ(form->Memo->toPlainText().toStdString(), c.memoAfter);
    EXPECT_FALSE(QFile::exists(journal));
  }
}

TEST_F(TableStatusTest, ATableThatCannotBeWrittenSaysWhyInTheStatusBar) {
  // Files this user may only read (root may write any file, so the file system says so).
  struct ReadOnlyFiles : FaultyFileSystem {
    bool IsWritable(const std::string&) override { return false; }
  } fs;
  auto form = std::make_unique<TMainForm>(NewFolder(), nullptr, &fs);
  ASSERT_TRUE(form->Table->Active());
  ASSERT_FALSE(form->Table->CanModify());
  EXPECT_EQ(PanelText(*form), TTableStatus::PanelText(false, form->Table->ReadOnlyReason()));
  EXPECT_TRUE(PanelText(*form).startsWith("Read-only: The files of ")) << PanelText(*form).toStdString();
  EXPECT_TRUE(platform_.boxes.shown.empty());
  form->Table->Close();
  EXPECT_EQ(PanelText(*form), "") << "a closed table says nothing";
}

// A disk that fails from call N of a change on: every write (a full disk), or every sync (a
// failing disk). The person is told, keeps what they typed, and sees the notes turn read-only
// when the change is left in doubt; once the disk is healthy again and the program starts anew,
// every other note is as it was, and the failed change is not there when nothing had changed, and
// there whole or not at all when it was in doubt.
TEST_F(TableStatusTest, AFailingDiskUnderAChangeLosesNothing) {
  enum class Change { MemoEdit, NewNote };
  const StoredNotes before = ReadNotes(TablePath(NewFolder()));
  StoredNotes memoEdited = before;
  memoEdited["2"].memo = "beta body edited";
  StoredNotes noteAdded = before;
  noteAdded["4"] = {"1", "Delta", ""};

  for (Change change : {Change::MemoEdit, Change::NewNote}) {
    for (FaultyFileSystem::Mode mode : {FaultyFileSystem::Mode::FullDisk, FaultyFileSystem::Mode::FailingSync}) {
      const bool memo = change == Change::MemoEdit;
      uint64_t lastCall = 0;  // the change's calls, counted on the healthy run (n = 0)
      for (uint64_t n = 0; n == 0 || n <= lastCall; ++n) {
        SCOPED_TRACE(std::string(memo ? "memo edit" : "new note") +
                     (mode == FaultyFileSystem::Mode::FullDisk ? ", full disk" : ", failing sync") + " from call " +
                     std::to_string(n));
        const QString folder = NewFolder();
        FaultyFileSystem fs;
        bool failed = false, inDoubt = false;
        {
          auto form = std::make_unique<TMainForm>(folder, nullptr, &fs);
          ShowActive(*form);
          QLineEdit* editor = nullptr;
          if (memo) {
            form->MenuFirst->trigger();
            form->MenuNext->trigger();
            form->Memo->setFocus();
            form->Memo->moveCursor(QTextCursor::End);
            QTest::keyClicks(form->Memo, " edited");
            ASSERT_EQ(form->Table->State(), DataSetState::Editing);
          } else {
            form->MenuFirst->trigger();
            form->DBTreeView->setFocus();
            QTest::keyClick(form->DBTreeView, Qt::Key_F6);
            ASSERT_EQ(form->Table->State(), DataSetState::Inserting);
            editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
            ASSERT_NE(editor, nullptr) << "the new note's label is open for typing";
            QTest::keyClicks(editor, "Delta");
          }
          platform_.boxes.shown.clear();
          fs.Arm(n, mode);
          if (memo) {
            form->MenuDataPost->trigger();
          } else {
            QTest::keyClick(editor, Qt::Key_Return);
            QApplication::processEvents();
          }
          if (n == 0) lastCall = fs.Calls();

          failed = !platform_.boxes.shown.empty();
          if (!failed) {
            EXPECT_EQ(form->Table->State(), DataSetState::Browse) << "the change was stored";
          } else {
            ASSERT_EQ(platform_.boxes.shown.size(), 1u);
            const ShownBox& box = platform_.boxes.shown[0];
            EXPECT_EQ(box.icon, MessageIcon::Error);
            EXPECT_TRUE(box.text.startsWith("Your change could not be saved: ")) << box.text.toStdString();
            EXPECT_TRUE(box.text.contains(mode == FaultyFileSystem::Mode::FullDisk ? "No space left on device"
                                                                                   : "Input/output error"))
                << box.text.toStdString();
            inDoubt = form->Table->InDoubt();
            EXPECT_TRUE(box.text.endsWith(TTableStatus::FailedChangeText("", true, inDoubt, form->Table->ReadOnlyReason())
                                              .mid(QStringLiteral("Your change could not be saved: ").size())))
                << box.text.toStdString();
            // What was typed is still there, in the record and on the screen.
            EXPECT_EQ(form->Table->State(), memo ? DataSetState::Editing : DataSetState::Inserting);
            if (memo) {
              EXPECT_EQ(form->Memo->toPlainText(), "beta body edited");
            } else {
              EXPECT_EQ(form->Table->FieldNamed("Text").AsString(), "Delta");
              EXPECT_EQ(form->DBTreeView->currentItem()->text(0), "Delta");
              // Back from the error box, the tree opens the title for typing again, unless the
              // notes are read-only now.
              form->Memo->setFocus();
              form->DBTreeView->setFocus();
              QApplication::processEvents();
              auto* again = qobject_cast<QLineEdit*>(QApplication::focusWidget());
              EXPECT_EQ(again != nullptr, form->Table->CanModify());
              if (again) {
                EXPECT_EQ(again->text(), "Delta");
              }
            }
            // In doubt, the notes take no changes until the program starts again, and say so.
            EXPECT_EQ(form->Table->CanModify(), !inDoubt);
            EXPECT_EQ(PanelText(*form), TTableStatus::PanelText(inDoubt, form->Table->ReadOnlyReason()));
            EXPECT_EQ(PanelText(*form).isEmpty(), !inDoubt);
            if (memo) {
              EXPECT_EQ(form->Memo->isReadOnly(), inDoubt);
            }
            const TwwNavButtons& buttons = form->wwDBNavigator1->Buttons();
            for (int i = 0; i < buttons.Count(); ++i) {
              const TwwNavButtonStyle style = buttons.Buttons(i)->Style();
              if (style == nbsPost || style == nbsCancel || style == nbsRefresh) {
                EXPECT_EQ(buttons.Buttons(i)->Enabled(), !inDoubt) << "button " << i;
              }
            }
          }
          // Closing on the still failing disk: a change in doubt is not tried again and nothing is
          // asked; any other is tried once more, and the person agrees to close anyway.
          const size_t boxes = platform_.boxes.shown.size();
          EXPECT_TRUE(form->close());
          if (inDoubt) {
            EXPECT_EQ(platform_.boxes.shown.size(), boxes);
          }
        }
        if (n == 0) {
          EXPECT_FALSE(failed);
          EXPECT_EQ(ReadNotes(TablePath(folder)), memo ? memoEdited : noteAdded);
          continue;
        }
        // The program starts anew, on a healthy disk.
        platform_.boxes.shown.clear();
        {
          auto form = std::make_unique<TMainForm>(folder);
          ASSERT_TRUE(form->Table->Active());
          EXPECT_TRUE(form->Table->CanModify());
          for (const ShownBox& box : platform_.boxes.shown) EXPECT_EQ(box.icon, MessageIcon::Warning);
        }
        const StoredNotes after = ReadNotes(TablePath(folder));
        const StoredNotes& changed = memo ? memoEdited : noteAdded;
        if (!failed)
          EXPECT_EQ(after, changed) << "the change was stored";
        else if (!inDoubt)
          EXPECT_EQ(after, before) << "nothing was changed";
        else
          EXPECT_TRUE(after == before || after == changed) << "the change in doubt is there whole or not at all";
      }
    }
  }
}

}  // namespace
}  // namespace tindrel
