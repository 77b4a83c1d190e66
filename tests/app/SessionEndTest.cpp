// The ends of the program that do not come through the close box, in-process on the real main
// window: a SIGTERM raised against the test itself is read by the event loop and closes the window
// as a close, so the typing still pending in the memo or in a new note's title is stored and the
// settings are written; a logout's request to save does the same and leaves the window open.

#include "app/SessionEnd.h"
#include "app/TMainForm.h"
#include "platform/ErrorBox.h"
#include "store/TDBMemo.h"
#include "store/TTable.h"
#include "store/engine/Table.h"
#include "tests/support/platform/ScriptedPlatform.h"
#include "tools/NoteTable.h"
#include "tree/dbTree.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QSessionManager>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace tindrel {
namespace {

using testing::ScriptedPlatform;

class SessionEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    InstallDefaultErrorHandler();
    tools::CreateNoteTable(dir_.path().toStdString(),
                           {{1, 0, "Alpha", "alpha body"}, {2, 1, "Beta", "beta body"}, {3, 0, "Gamma", "gamma body"}});
  }

  QString Folder() const { return dir_.path() + QLatin1Char('/'); }

  std::string Settings() const {
    QFile file(Folder() + QStringLiteral("TindrelII.ini"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
  }

  // Title and memo of every live record, by title, as the engine reads the closed table.
  std::map<std::string, std::string> Stored() const {
    auto table = engine::Table::Open(tools::NoteTablePath(dir_.path().toStdString()));
    const int text = table->FieldIndex("TEXT"), memo = table->FieldIndex("MEMO");
    std::map<std::string, std::string> notes;
    for (uint32_t recno = 1; recno <= table->RecordCount(); ++recno) {
      const engine::Record record = table->ReadRecord(recno);
      if (!record.IsDeleted()) notes[table->GetText(record, text)] = table->ReadMemo(record, memo);
    }
    return notes;
  }

  ScriptedPlatform platform_;
  QTemporaryDir dir_;
};

// Leaves typing pending in the form, unposted.
struct Pending {
  const char* name;
  std::function<void(TMainForm&)> type;
  std::map<std::string, std::string> stored;
};

const Pending kPending[] = {
    {"MemoTyping",
     [](TMainForm& form) {
       form.Memo->setFocus();
       form.Memo->moveCursor(QTextCursor::End);
       QTest::keyClicks(form.Memo, " and more");
       ASSERT_EQ(form.Table->State(), DataSetState::Editing);
     },
     {{"Alpha", "alpha body and more"}, {"Beta", "beta body"}, {"Gamma", "gamma body"}}},
    {"NewNoteTitle",
     [](TMainForm& form) {
       form.DBTreeView->setFocus();
       QTest::keyClick(form.DBTreeView, Qt::Key_F5);
       ASSERT_EQ(form.Table->State(), DataSetState::Inserting);
       QWidget* editor = QApplication::focusWidget();
       ASSERT_NE(editor, form.DBTreeView) << "the new node's label is open for typing";
       QTest::keyClicks(editor, "Delta");
     },
     {{"Alpha", "alpha body"}, {"Beta", "beta body"}, {"Gamma", "gamma body"}, {"Delta", ""}}},
};

const std::string kWrapOnSettings =
    "[InterFace]\nStayOnTop=0\nFontName=Courier New\nFontSize=10\nMemoWordWrap=1\n"
    "\n[TreeView]\nMouseMoveSelect=0\nFontName=MS Sans Serif\nFontSize=10\n";

class SigtermWithPendingTyping : public SessionEndTest, public ::testing::WithParamInterface<Pending> {};

TEST_P(SigtermWithPendingTyping, ClosesTheWindowAsACloseAndKeepsTheTypingAndTheSettings) {
  {
    TMainForm form(Folder());
    SessionEnd end(form);
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.MenuMemoWordWrap->trigger();
    GetParam().type(form);
    if (HasFatalFailure()) return;
    ASSERT_EQ(std::raise(SIGTERM), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }, 5000)) << "the window did not close";
    EXPECT_EQ(form.SettingsFile, nullptr) << "the close did not complete";
  }
  EXPECT_EQ(Settings(), kWrapOnSettings);
  EXPECT_EQ(Stored(), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(Cases, SigtermWithPendingTyping, ::testing::ValuesIn(kPending),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SessionEndTest, TheSessionsRequestToSaveStoresTheTypingAndTheSettingsAndLeavesTheWindowOpen) {
  {
    TMainForm form(Folder());
    SessionEnd end(form);
    form.show();
    form.MenuMemoWordWrap->trigger();
    kPending[0].type(form);
    form.SaveForSessionEnd();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.Table->State(), DataSetState::Browse);
    EXPECT_EQ(Settings(), kWrapOnSettings);
    // The window that stays is still the person's: a later close writes again.
    form.MenuMemoWordWrap->trigger();
    EXPECT_TRUE(form.close());
  }
  EXPECT_EQ(Stored(), kPending[0].stored);
  EXPECT_NE(Settings().find("MemoWordWrap=0"), std::string::npos);
}

}  // namespace
}  // namespace tindrel
