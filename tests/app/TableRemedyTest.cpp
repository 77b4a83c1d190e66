// When the note table does not open, the error names the engine's reason and, where the table
// tool mends it, the command to run. The command is taken from the message as a person would
// copy it, run in a shell, and the program then opens the table.

#include "app/TMainForm.h"
#include "platform/ErrorBox.h"
#include "store/TTable.h"
#include "store/engine/Table.h"
#include "tests/support/platform/ScriptedPlatform.h"
#include "tests/tools/RunProcess.h"
#include "tools/NoteTable.h"
#include "tree/dbTree.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace tindrel {
namespace {

using testing::ScriptedPlatform;

class TableRemedyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    InstallDefaultErrorHandler();
    // The program folder as run.sh makes it: the table tool beside the table.
    std::filesystem::copy_file(TINDREL_TABLE_TOOL, Folder().toStdString() + "tindrel-table");
  }

  // A folder name that a shell must be given quoted.
  QString Folder() const { return dir_.path() + QLatin1Char('/'); }
  std::string Table() const { return Folder().toStdString() + "Tindrel.dbf"; }

  // The message of the one error box the start showed.
  QString StartAndTakeError() {
    platform_.boxes.shown.clear();
    TMainForm form(Folder());
    EXPECT_FALSE(form.Table->Active());
    EXPECT_EQ(platform_.boxes.shown.size(), 1u);
    return platform_.boxes.shown.empty() ? QString() : platform_.boxes.shown[0].text;
  }

  ScriptedPlatform platform_;
  QTemporaryDir dir_{QDir::tempPath() + QStringLiteral("/Tindrel's notes XXXXXX")};
};

void SetByte(const std::string& path, size_t at, char value) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(static_cast<std::streamoff>(at));
  file.put(value);
}

TEST_F(TableRemedyTest, TheNamedCommandMendsTheTableAndTheProgramThenOpensIt) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    const char* reason;   // the start of the message: the reason as the engine or dataset gives it
    const char* command;  // the tool's command the message names
  };
  auto noteTable = [this] { tools::CreateNoteTable(dir_.path().toStdString(), tools::WelcomeNotes()); };
  const std::vector<Case> cases = {
      {"no table", [] {}, "The table ", "create"},
      {"a table without an index",
       [&] {
         noteTable();
         std::filesystem::remove(Folder().toStdString() + "Tindrel.mdx");
         SetByte(Table(), 28, 0);
       },
       "Table: No index for fields 'ID'\n", "index"},
      {"an index without a tag on ID",
       [this] {
         engine::TableSpec spec = tools::NoteTableSpec();
         spec.tags = {{"TITLE", "UPPER(TEXT)"}};
         engine::Table::Create(Table(), spec);
         auto table = engine::Table::Open(Table());
         engine::Record note = table->BlankRecord();
         table->SetText(note, table->FieldIndex("ID"), "1");
         table->SetText(note, table->FieldIndex("TEXT"), "A note");
         table->Append(note);
       },
       "Table: No index for fields 'ID'\n", "index"},
      {"an index file that is missing",
       [&] {
         noteTable();
         std::filesystem::remove(Folder().toStdString() + "Tindrel.mdx");
       },
       "The index file ", "index"},
      {"an index file that is damaged",
       [&] {
         noteTable();
         std::filesystem::resize_file(Folder().toStdString() + "Tindrel.mdx", 100);
       },
       "The index file ", "index"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* name : {"Tindrel.dbf", "Tindrel.dbt", "Tindrel.mdx", "TindrelII.ini"})
      std::filesystem::remove(Folder().toStdString() + name);
    c.arrange();

    const QString message = StartAndTakeError();
    EXPECT_TRUE(message.startsWith(QString::fromUtf8(c.reason))) << message.toStdString();
    const qsizetype open = message.indexOf(QLatin1Char('`')), close = message.lastIndexOf(QLatin1Char('`'));
    ASSERT_LT(open, close) << message.toStdString();
    const QString command = message.mid(open + 1, close - open - 1);
    EXPECT_TRUE(command.contains(QStringLiteral("tindrel-table' ") + QString::fromUtf8(c.command) + QLatin1Char(' ')))
        << command.toStdString();
    EXPECT_TRUE(message.endsWith(QStringLiteral(" and start the program again."))) << message.toStdString();

    const test::ProcessResult mended = test::RunProcess({"/bin/sh", "-c", command.toStdString()});
    ASSERT_EQ(mended.status, 0) << command.toStdString() << "\n" << mended.out << mended.err;
    platform_.boxes.shown.clear();
    TMainForm form(Folder());
    EXPECT_TRUE(platform_.boxes.shown.empty()) << platform_.boxes.shown[0].text.toStdString();
    EXPECT_TRUE(form.Table->Active());
    EXPECT_GT(form.DBTreeView->topLevelItemCount(), 0);
  }
}

// A failure that no command mends says only what is wrong.
TEST_F(TableRemedyTest, ATableInUseNamesNoCommand) {
  tools::CreateNoteTable(dir_.path().toStdString(), tools::WelcomeNotes());
  auto holder = engine::Table::Open(Table());
  const QString message = StartAndTakeError();
  EXPECT_TRUE(message.contains(QStringLiteral("in use"))) << message.toStdString();
  EXPECT_FALSE(message.contains(QStringLiteral("tindrel-table"))) << message.toStdString();
}

}  // namespace
}  // namespace tindrel
