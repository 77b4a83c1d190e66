// Notes arriving in a table: new IDs that no note uses as ID or Parent, links and order kept,
// one change that a crash, an error or a cancel leaves all or nothing of, and the rules for what
// does not fit.

#include <gtest/gtest.h>

#include <filesystem>

#include "exchange/ExchangeError.h"
#include "exchange/TableImport.h"
#include "exchange/TableOutline.h"
#include "store/engine/Table.h"
#include "tests/exchange/OutlineText.h"
#include "tests/support/TableBuilder.h"
#include "tests/support/engine/FaultyFileSystem.h"
#include "tests/support/engine/TempFolder.h"
#include "tools/NoteTable.h"

namespace tindrel::exchange {
namespace {

using namespace testing;
using engine::testing::FaultyFileSystem;
using engine::testing::TempFolder;

// The starter notes: IDs 1-12, two trees.
std::string StarterTable(const TempFolder& dir) {
  tools::CreateNoteTable(dir.Path(), tools::WelcomeNotes());
  return tools::NoteTablePath(dir.Path());
}

// Every live record as "ID parent title | memo", in record order.
std::string Records(const std::string& path) {
  auto table = engine::Table::Open(path);
  EXPECT_EQ(table->Check(), std::vector<std::string>());
  std::string text;
  for (uint32_t recno = 1; recno <= table->RecordCount(); ++recno) {
    const engine::Record r = table->ReadRecord(recno);
    if (r.IsDeleted()) continue;
    text += table->GetText(r, 0) + " " + table->GetText(r, 1) + " " + Visible(table->GetText(r, 2)) + " | " +
            Visible(table->GetText(r, 3)) + "\n";
  }
  return text;
}

std::string Bytes(const std::string& folder) {
  std::string all;
  for (const char* name : {"Tindrel.dbf", "Tindrel.dbt", "Tindrel.mdx"}) all += TempFolder::Read(folder + "/" + name);
  return all;
}

TEST(TableImportTest, NotesGetNewIdsBelowTheChosenNoteInTheirOrder) {
  TempFolder dir;
  const std::string path = StarterTable(dir);
  {
    // An orphan names 21 as its parent: the import must not hand 21 out and adopt it.
    auto table = engine::Table::Open(path);
    engine::Record orphan = table->BlankRecord();
    table->SetText(orphan, 0, "20");
    table->SetText(orphan, 1, "21");
    table->SetText(orphan, 2, "Orphan");
    table->Append(orphan);
  }
  const std::string before = Records(path);
  auto table = engine::Table::Open(path);
  const ImportSummary summary =
      ImportOutline(*table, MakeOutline({{1, "A", "memo a"}, {2, "A1", ""}, {3, "A11", "deep"}, {1, "B", ""}}), "8");
  EXPECT_EQ(summary.notes, 4u);
  EXPECT_EQ(summary.firstId, "22");
  EXPECT_TRUE(summary.notices.empty());
  table.reset();
  EXPECT_EQ(Records(path), before +
                               "22 8 A | memo a\n"
                               "23 22 A1 | \n"
                               "24 23 A11 | deep\n"
                               "25 8 B | \n");
}

TEST(TableImportTest, TitlesThatDoNotFitAreCutAndKeptWholeInTheMemo) {
  const std::string longTitle =
      "A title of many words that goes on and on well past the hundred characters the Text field can hold in it";
  struct Case {
    std::string title;
    std::string memo;
    std::string stored;  // "title | memo"
    std::string notice;
  };
  const Case cases[] = {
      {longTitle, "", "A title of many words that goes on and on well past the hundred characters the Text field can hold | " + longTitle,
       "note 1: the title is longer than the 100 characters a title may have; it is cut to \"A title of many words that "
       "goes on and on well past the hundred characters the Text field can hold\" and kept whole as the first line of "
       "the memo"},
      {longTitle, "body\r\nmore", "A title of many words that goes on and on well past the hundred characters the Text field can hold | " +
                                      longTitle + "\\r\\nbody\\r\\nmore",
       ""},
      {std::string(120, 'x'), "body", std::string(100, 'x') + " | " + std::string(120, 'x') + "\\nbody", ""},
      {"first line\nsecond line", "", "first line | first line\\nsecond line",
       "note 1: the title holds a line break; it is cut to \"first line\" and kept whole as the first line of the memo"},
  };
  for (const Case& c : cases) {
    TempFolder dir;
    const std::string path = StarterTable(dir);
    auto table = engine::Table::Open(path);
    const ImportSummary summary = ImportOutline(*table, MakeOutline({{1, c.title, c.memo}}), "");
    ASSERT_EQ(summary.notices.size(), 1u);
    if (!c.notice.empty()) {
      EXPECT_EQ(summary.notices[0], c.notice);
    }
    table.reset();
    const std::string records = Records(path);
    EXPECT_EQ(records.substr(records.rfind("13 ")), "13  " + c.stored + "\n") << c.title;
  }
}

TEST(TableImportTest, WhatTheTableCannotTakeIsRefusedAndNothingIsStored) {
  struct Case {
    Outline outline;
    std::string under;
    std::string error;
  };
  const Case cases[] = {
      {MakeOutline({{1, "Tokyo 東京", "fine"}, {2, "ok", "smile 😀 and ☃"}, {1, "Κήπος", "€ and ‰ fit"}}), "",
       "The table's code page 1253 cannot hold these characters, so nothing was imported:\n"
       "note 1: the title \"Tokyo 東京\" holds '東' (U+6771)\n"
       "note 2: the memo of \"ok\" holds '😀' (U+1F600)"},
      {MakeOutline({{1, "a", ""}}), "404", "No note has the ID 404; nothing was imported"},
      {Outline{}, "", "There are no notes to import"},
  };
  for (const Case& c : cases) {
    TempFolder dir;
    const std::string path = StarterTable(dir);
    const std::string before = Bytes(dir.Path());
    {
      auto table = engine::Table::Open(path);
      try {
        ImportOutline(*table, c.outline, c.under);
        ADD_FAILURE() << "imported: " << c.error;
      } catch (const ExchangeError& e) {
        EXPECT_EQ(std::string(e.what()), c.error);
      }
    }
    EXPECT_EQ(Bytes(dir.Path()), before) << c.error;
  }
}

TEST(TableImportTest, AnIdTheIdFieldCannotHoldOrAReadOnlyTableRefusesTheImport) {
  TempFolder dir;
  const std::string path = tindrel::testing::WriteNoteTable(dir.Path(), {{"98", "", "a"}, {"99", "", "b"}},
                                                            {.idWidth = 2});
  {
    auto table = engine::Table::Open(path);
    try {
      ImportOutline(*table, MakeOutline({{1, "new", ""}}), "");
      FAIL() << "imported";
    } catch (const ExchangeError& e) {
      EXPECT_EQ(std::string(e.what()), "The table's ID field cannot hold the ID 100 that note 1 would get; nothing was imported");
    }
  }
  engine::OpenOptions readOnly;
  readOnly.readOnly = true;
  auto table = engine::Table::Open(path, readOnly);
  try {
    ImportOutline(*table, MakeOutline({{1, "new", ""}}), "");
    FAIL() << "imported";
  } catch (const ExchangeError& e) {
    EXPECT_EQ(std::string(e.what()), "The table " + path + " was opened read-only; nothing was imported");
  }
}

TEST(TableImportTest, ACancelledImportChangesNothing) {
  TempFolder dir;
  const std::string path = StarterTable(dir);
  const std::string before = Bytes(dir.Path());
  Outline many;
  for (int i = 0; i < 3000; ++i) many.notes.push_back({"note " + std::to_string(i), "memo", -1, "", ""});
  struct Cancelled {};
  {
    auto table = engine::Table::Open(path);
    EXPECT_THROW(ImportOutline(*table, many, "", [](std::string_view, uint64_t, uint64_t) { throw Cancelled{}; }),
                 Cancelled);
  }
  EXPECT_EQ(Bytes(dir.Path()), before);
}

// The import is one change: a crash at any step, or an error at any step, leaves either none of
// the notes or all of them once the table is opened again.
TEST(TableImportTest, ACrashOrAnErrorAtEveryStepLeavesAllTheNotesOrNone) {
  TempFolder source;
  StarterTable(source);
  const Outline outline = MakeOutline({{1, "One", std::string(900, 'o')}, {2, "Two", ""}, {3, "Three", "3"}, {1, "Four", "4"}});
  std::string after;
  {
    TempFolder dir;
    std::filesystem::copy(source.Path(), dir.Path(), std::filesystem::copy_options::recursive);
    auto table = engine::Table::Open(tools::NoteTablePath(dir.Path()));
    ImportOutline(*table, outline, "1");
    table.reset();
    after = Records(tools::NoteTablePath(dir.Path()));
  }
  const std::string before = Records(tools::NoteTablePath(source.Path()));
  for (auto mode : {FaultyFileSystem::Mode::Crash, FaultyFileSystem::Mode::Fail}) {
    for (uint64_t step = 1;; ++step) {
      TempFolder dir;
      std::filesystem::copy(source.Path(), dir.Path(), std::filesystem::copy_options::recursive);
      FaultyFileSystem fs(step, mode);
      engine::OpenOptions options;
      options.fileSystem = &fs;
      bool failed = false;
      try {
        auto table = engine::Table::Open(tools::NoteTablePath(dir.Path()), options);
        ImportOutline(*table, outline, "1");
      } catch (const std::exception&) {
        failed = true;
      }
      const std::string now = Records(tools::NoteTablePath(dir.Path()));
      EXPECT_TRUE(now == before || now == after) << "step " << step;
      const bool cut = mode == FaultyFileSystem::Mode::Crash ? fs.Crashed() : failed;
      if (!cut) {
        EXPECT_EQ(now, after);
        break;
      }
      ASSERT_LT(step, 200u) << "the import never completed";
    }
  }
}

}  // namespace
}  // namespace tindrel::exchange
