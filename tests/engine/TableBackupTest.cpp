// Backups and restore on real files: a backup is a whole, consistent copy that leaves the live
// table as it was; restore brings the backup's notes back and keeps the table as it was as one
// more backup; the list shows every backup with its time, kind and note count; the program's own
// backups at close are kept to the newest few; what cannot be restored is refused untouched.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "store/engine/Journal.h"
#include "store/engine/TableBackup.h"
#include "tests/support/TableBuilder.h"
#include "tests/support/engine/FaultyFileSystem.h"
#include "tests/support/engine/RecordLines.h"
#include "tests/support/engine/TempFolder.h"

namespace tindrel::engine {
namespace {

using testing::RecordLines;
using testing::TempFolder;
using tindrel::testing::Note;

constexpr BackupTime kNine{2026, 12, 11, 9, 30, 5};
constexpr BackupTime kTen{2026, 12, 11, 10, 0, 0};

std::string MakeTable(const TempFolder& dir) {
  return tindrel::testing::WriteNoteTable(
      dir.Path(), {{"1", "", "Garden", "Tomatoes\r\nBeans"}, {"2", "1", "Σημειώσεις", "Ελληνικά"}, {"3", "", "Empty"}},
      {.languageDriver = 0xCB});  // cp1253
}

std::vector<std::string> LinesOf(const std::string& path) {
  OpenOptions options;
  options.exclusive = false;
  options.readOnly = true;
  auto t = Table::Open(path, options);
  EXPECT_TRUE(t->Check().empty()) << path;
  return RecordLines(*t);
}

// A backup of the table at `path`, which is opened for it and closed again.
std::string BackUpClosed(const std::string& path) {
  auto t = Table::Open(path);
  return BackUpTable(*t, BackupKind::Manual, kNine);
}

void Edit(Table& t, uint32_t recno, const std::string& title) {
  Record r = t.ReadRecord(recno);
  t.SetText(r, t.FieldIndex("TEXT"), title);
  t.SetText(r, t.FieldIndex("MEMO"), title + " memo, longer than before: " + std::string(700, 'x'));
  t.Modify(r);
}

TEST(TableBackup, ABackupIsAWholeTableBesideTheLiveOneThatStaysOpenAndUnchanged) {
  TempFolder dir;
  const std::string path = MakeTable(dir);
  OpenOptions options;
  options.checkpointBytes = uint64_t(1) << 30;  // the changes stay in the journal until a checkpoint
  auto t = Table::Open(path, options);
  Edit(*t, 1, "Garden, edited");
  t->Delete(3);
  const auto lines = RecordLines(*t);

  const std::string backup = BackUpTable(*t, BackupKind::Manual, kNine);
  EXPECT_EQ(backup, dir.File("Backups/Tindrel-2026-12-11-09-30-05.dbf"));
  for (const char* ext : {".dbt", ".mdx"})
    EXPECT_TRUE(std::filesystem::exists(dir.File(std::string("Backups/Tindrel-2026-12-11-09-30-05") + ext))) << ext;
  // The changes that were only in the journal are in the copy.
  EXPECT_EQ(LinesOf(backup), lines);
  EXPECT_EQ(std::filesystem::file_size(Journal::PathFor(path)), 0u) << "the journal was checkpointed";

  // The live table goes on: still locked, still taking changes, and the backup does not follow.
  EXPECT_THROW(Table::Open(path), EngineError);
  Edit(*t, 2, "After the backup");
  EXPECT_EQ(LinesOf(backup), lines);
  t.reset();
  EXPECT_NE(LinesOf(path), lines);
}

TEST(TableBackup, RestoreBringsTheBackupBackAndKeepsTheTableAsItWas) {
  TempFolder dir;
  const std::string path = MakeTable(dir);
  std::string backup;
  std::vector<std::string> backedUp, changed;
  {
    auto t = Table::Open(path);
    backedUp = RecordLines(*t);
    backup = BackUpTable(*t, BackupKind::Manual, kNine);
    Edit(*t, 1, "Changed after the backup");
    t->Delete(2);
    Record r = t->BlankRecord();
    t->SetText(r, 0, "4");
    t->SetText(r, 2, "New note");
    t->Append(r);
    changed = RecordLines(*t);
  }
  const RestoreResult result = RestoreTable(path, backup, kTen);
  EXPECT_EQ(result.keptAs, dir.File("Backups/Tindrel-2026-12-11-10-00-00-before-restore.dbf"));
  EXPECT_EQ(LinesOf(path), backedUp);
  EXPECT_EQ(LinesOf(result.keptAs), changed);
  EXPECT_EQ(LinesOf(backup), backedUp) << "the backup itself stays";
  // The table works as before: it takes a change and its index finds the notes.
  auto t = Table::Open(path);
  Edit(*t, 1, "Edited after the restore");
  EXPECT_TRUE(t->Check().empty());
  EXPECT_EQ(t->Index()->Tags().size(), 1u);
  // Restoring what was kept undoes the restore.
  t.reset();
  RestoreTable(path, result.keptAs, kTen);
  EXPECT_EQ(LinesOf(path), changed);
}

TEST(TableBackup, RestoreCompletesAJournalTheTableWasLeftWithBeforeKeepingIt) {
  TempFolder dir;
  const std::string path = MakeTable(dir);
  const std::string backup = BackUpClosed(path);
  // A change stored only in the journal, as a program that died leaves it: the files as they
  // were before it, the journal holding it.
  std::map<std::string, std::string> before;
  for (const char* name : {"Tindrel.dbf", "Tindrel.dbt", "Tindrel.mdx"}) before[name] = TempFolder::Read(dir.File(name));
  std::vector<std::string> stored;
  std::string journal;
  {
    OpenOptions options;
    options.checkpointBytes = uint64_t(1) << 30;
    auto t = Table::Open(path, options);
    Edit(*t, 3, "Only in the journal");
    stored = RecordLines(*t);
    journal = TempFolder::Read(Journal::PathFor(path));
  }
  for (const auto& [name, bytes] : before) TempFolder::Write(dir.File(name), bytes);
  TempFolder::Write(Journal::PathFor(path), journal);

  const RestoreResult result = RestoreTable(path, backup, kTen);
  ASSERT_EQ(result.notices.size(), 1u);
  EXPECT_NE(result.notices[0].find("completed from the journal"), std::string::npos) << result.notices[0];
  EXPECT_EQ(LinesOf(result.keptAs), stored) << "the kept table holds the change of its journal";
  EXPECT_FALSE(std::filesystem::exists(Journal::PathFor(path)));
  EXPECT_EQ(LinesOf(path), LinesOf(backup));
}

TEST(TableBackup, ATableThatNoLongerOpensIsRestoredAndWhatWasLeftOfItKept) {
  TempFolder dir;
  const std::string path = MakeTable(dir);
  const std::string backup = BackUpClosed(path);
  std::filesystem::remove(dir.File("Tindrel.mdx"));
  TempFolder::Write(dir.File("Tindrel.dbt"), "not a memo file");
  EXPECT_THROW(Table::Open(path), EngineError);
  const RestoreResult result = RestoreTable(path, backup, kTen);
  EXPECT_EQ(LinesOf(path), LinesOf(backup));
  EXPECT_EQ(TempFolder::Read(Table::CompanionOf(result.keptAs, ".dbt")), "not a memo file");
}

TEST(TableBackup, WhatCannotBeRestoredIsRefusedAndNothingChanges) {
  struct Case {
    const char* name;
    std::function<std::string(const TempFolder&, const std::string& backup)> prepare;  // the backup to restore
    const char* says;
  };
  const Case cases[] = {
      {"a backup without its memo file",
       [](const TempFolder&, const std::string& backup) {
         std::filesystem::remove(Table::CompanionOf(backup, ".dbt"));
         return backup;
       },
       "memo file"},
      {"a backup whose index disagrees with its records",
       [](const TempFolder& dir, const std::string& backup) {
         // The index of another state of the table.
         std::filesystem::copy_file(dir.File("Tindrel.mdx"), Table::CompanionOf(backup, ".mdx"),
                                    std::filesystem::copy_options::overwrite_existing);
         return backup;
       },
       "cannot be restored"},
      {"a backup without an index, for a table that has one",
       [](const TempFolder& dir, const std::string&) {
         engine::TableSpec spec;
         spec.fields = {{"ID", 'C', 10}, {"PARENT", 'C', 10}, {"TEXT", 'C', 40}, {"MEMO", 'M', 10}};
         return tindrel::testing::WriteTable(dir.File("Backups/Tindrel-2026-01-01-00-00-00.dbf"), spec, {{"9"}});
       },
       "has no index"},
      {"the table itself", [](const TempFolder& dir, const std::string&) { return dir.File("Tindrel.dbf"); },
       "the table itself"},
      {"a backup that is not there",
       [](const TempFolder& dir, const std::string&) { return dir.File("Backups/Tindrel-2020-01-01-00-00-00.dbf"); },
       "does not exist"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder dir;
    const std::string path = MakeTable(dir);
    std::string backup;
    {
      auto t = Table::Open(path);
      backup = BackUpTable(*t, BackupKind::Manual, kNine);
      t->Delete(1);
    }
    const std::string restore = c.prepare(dir, backup);
    const auto before = LinesOf(path);
    try {
      RestoreTable(path, restore, kTen);
      ADD_FAILURE() << "restored";
    } catch (const EngineError& e) {
      EXPECT_NE(e.Message().find(c.says), std::string::npos) << e.Message();
    }
    EXPECT_EQ(LinesOf(path), before);
    EXPECT_EQ(ListBackups(path).size(), std::filesystem::exists(dir.File("Backups/Tindrel-2026-01-01-00-00-00.dbf")) ? 2u : 1u)
        << "no backup of the table was made for a restore that was refused";
  }
}

TEST(TableBackup, AnOpenTableIsNotRestoredUnderneathItsOpener) {
  TempFolder dir;
  const std::string path = MakeTable(dir);
  auto t = Table::Open(path);
  const std::string backup = BackUpTable(*t, BackupKind::Manual, kNine);
  t->Delete(1);
  try {
    RestoreTable(path, backup, kTen);
    ADD_FAILURE() << "restored";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.Code(), ResultCode::TableInUse);
  }
  EXPECT_EQ(ListBackups(path).size(), 1u);
  EXPECT_FALSE(t->ReadRecord(1).bytes[0] != '*');
}

TEST(TableBackup, TheListShowsEveryBackupNewestFirstWithItsKindAndNoteCount) {
  TempFolder dir;
  const std::string path = MakeTable(dir);
  {
    auto t = Table::Open(path);
    BackUpTable(*t, BackupKind::Manual, kNine);
    t->Delete(3);
    BackUpTable(*t, BackupKind::BeforePack, kNine);
    BackUpTable(*t, BackupKind::AtClose, kTen);
    EXPECT_EQ(BackUpTable(*t, BackupKind::AtClose, kTen), dir.File("Backups/Tindrel-2026-12-11-10-00-00-2-at-close.dbf"));
  }
  // What is no backup of this table: another table's, a partial copy, a stray file, a damaged one.
  const std::string backups = dir.File("Backups/");
  TempFolder::Write(backups + "Other-2026-12-11-11-00-00.dbf", "x");
  TempFolder::Write(backups + "Tindrel-2026-12-11-12-00-00.dbf-partial", "x");
  TempFolder::Write(backups + "Tindrel notes.txt", "x");
  TempFolder::Write(backups + "Tindrel-2026-12-11-13-00-00.dbf", "damaged");

  const auto list = ListBackups(path);
  ASSERT_EQ(list.size(), 5u);
  struct Row { const char* name; BackupKind kind; uint32_t notes; bool problem; };
  const Row expected[] = {
      {"Tindrel-2026-12-11-13-00-00.dbf", BackupKind::Manual, 0, true},
      {"Tindrel-2026-12-11-10-00-00-2-at-close.dbf", BackupKind::AtClose, 2, false},
      {"Tindrel-2026-12-11-10-00-00-at-close.dbf", BackupKind::AtClose, 2, false},
      {"Tindrel-2026-12-11-09-30-05-before-pack.dbf", BackupKind::BeforePack, 2, false},
      {"Tindrel-2026-12-11-09-30-05.dbf", BackupKind::Manual, 3, false},
  };
  for (size_t i = 0; i < list.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(list[i].path, backups + expected[i].name);
    EXPECT_EQ(list[i].kind, expected[i].kind);
    EXPECT_EQ(list[i].notes, expected[i].notes);
    EXPECT_EQ(!list[i].problem.empty(), expected[i].problem) << list[i].problem;
  }
  EXPECT_EQ(list[4].time, kNine);
  EXPECT_TRUE(ListBackups(dir.File("Elsewhere/Tindrel.dbf")).empty()) << "no folder, no backups";
}

TEST(TableBackup, OnlyTheNewestBackupsMadeAtCloseAreKept) {
  TempFolder dir;
  const std::string path = MakeTable(dir);
  auto t = Table::Open(path);
  BackUpTable(*t, BackupKind::Manual, {2026, 1, 1, 0, 0, 0});
  BackUpTable(*t, BackupKind::BeforePack, {2026, 1, 1, 0, 0, 0});
  for (int day = 1; day <= kKeptAtCloseBackups + 2; ++day) BackUpTable(*t, BackupKind::AtClose, {2026, 2, day, 8, 0, 0});
  const auto removed = PruneBackups(path, BackupKind::AtClose, kKeptAtCloseBackups);
  ASSERT_EQ(removed.size(), 2u);
  EXPECT_EQ(removed[1], dir.File("Backups/Tindrel-2026-02-01-08-00-00-at-close.dbf"));
  for (const char* ext : {".dbf", ".dbt", ".mdx"})
    EXPECT_FALSE(std::filesystem::exists(dir.File(std::string("Backups/Tindrel-2026-02-01-08-00-00-at-close") + ext)));
  const auto list = ListBackups(path);
  ASSERT_EQ(list.size(), kKeptAtCloseBackups + 2u);
  EXPECT_EQ(list.front().time, (BackupTime{2026, 2, kKeptAtCloseBackups + 2, 8, 0, 0}));
  EXPECT_EQ(list.back().kind, BackupKind::Manual);
}

TEST(TableBackup, LeftoversOfAnInterruptedBackupGoWithTheNextOne) {
  TempFolder dir;
  const std::string path = MakeTable(dir);
  std::filesystem::create_directory(dir.File("Backups"));
  const std::string stem = dir.File("Backups/Tindrel-2026-12-11-08-00-00");
  TempFolder::Write(stem + ".dbf-partial", "x");
  TempFolder::Write(stem + ".dbt", "a memo file whose table never arrived");
  TempFolder::Write(dir.File("Backups/Other-2026-12-11-08-00-00.dbt"), "another table's");
  auto t = Table::Open(path);
  BackUpTable(*t, BackupKind::Manual, kNine);
  EXPECT_FALSE(std::filesystem::exists(stem + ".dbf-partial"));
  EXPECT_FALSE(std::filesystem::exists(stem + ".dbt"));
  EXPECT_TRUE(std::filesystem::exists(dir.File("Backups/Other-2026-12-11-08-00-00.dbt")));
}

TEST(TableBackup, ATableInDoubtIsNotBackedUp) {
  TempFolder dir;
  const std::string path = MakeTable(dir);
  testing::FaultyFileSystem failing;
  OpenOptions options;
  options.fileSystem = &failing;
  auto t = Table::Open(path, options);
  failing.Arm(2, testing::FaultyFileSystem::Mode::FailingSync);  // the journal's sync of the next change
  EXPECT_THROW(Edit(*t, 1, "lost in doubt"), EngineError);
  failing.Arm(0, testing::FaultyFileSystem::Mode::Fail);
  ASSERT_TRUE(t->InDoubt());
  try {
    BackUpTable(*t, BackupKind::Manual, kNine, {}, &failing);
    ADD_FAILURE() << "backed up";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.Code(), ResultCode::ReadOnlyTable);
  }
  EXPECT_TRUE(ListBackups(path).empty());
}

}  // namespace
}  // namespace tindrel::engine
