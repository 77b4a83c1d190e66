// tindrel-table backup and restore as a person uses them: a backup beside the table or in a
// folder of one's choice, a restore by the backup's name that brings every note back and keeps
// the table as it was, the list of backups when none is named, pack's backup of what it removes,
// and what is refused.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "store/engine/Table.h"
#include "tests/tools/ToolTestSupport.h"

namespace tindrel::test {
namespace {

using engine::Table;

// The path the tool printed after "<what> " on the line that begins with the table's.
std::string PathAfter(const std::string& out, const std::string& what) {
  const auto at = out.find(what);
  if (at == std::string::npos) return {};
  const auto start = at + what.size();
  return out.substr(start, out.find('\n', start) - start);
}

void DeleteEveryThird(const std::string& table) {
  auto t = Table::Open(table);
  for (uint32_t recno = 3; recno <= t->RecordCount(); recno += 3) t->Delete(recno);
}

TEST(BackupTool, ABackupRestoredByItsNameBringsEveryNoteBackAndKeepsTheTableAsItWas) {
  TempDir dir;
  ASSERT_EQ(RunTool({"create", dir.Path(), "--notes", "200", "--seed", "3"}).status, 0);
  const std::string table = dir / "Tindrel.dbf";
  const std::string atBackup = RunTool({"dump", table}).out;

  ProcessResult r = RunTool({"backup", table});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string backup = PathAfter(r.out, "backed up to ");
  EXPECT_TRUE(std::regex_match(backup, std::regex(dir / "Backups/Tindrel-\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d-\\d\\d\\.dbf")))
      << backup;
  EXPECT_EQ(RunTool({"check", backup}).status, 0) << "a backup is a table of its own";

  DeleteEveryThird(table);
  const std::string changed = RunTool({"dump", table}).out;
  ASSERT_NE(changed, atBackup);

  // Without a BACKUP the backups are listed with their notes.
  r = RunTool({"restore", table});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(backup + "  "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("made on request: 200 notes"), std::string::npos) << r.err;

  r = RunTool({"restore", table, std::filesystem::path(backup).filename().string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(RunTool({"dump", table}).out, atBackup);
  EXPECT_EQ(RunTool({"check", table}).status, 0);
  const std::string kept = PathAfter(r.out, "the table as it was is kept as ");
  EXPECT_NE(kept.find("-before-restore.dbf"), std::string::npos) << r.out;
  EXPECT_EQ(RunTool({"dump", kept}).out.substr(RunTool({"dump", kept}).out.find('\n')),
            changed.substr(changed.find('\n')))
      << "the kept table holds the notes as they were";
}

TEST(BackupTool, ABackupGoesIntoTheFolderNamedAndPackKeepsWhatItRemoves) {
  TempDir dir;
  ASSERT_EQ(RunTool({"create", dir.Path(), "--notes", "90", "--seed", "5"}).status, 0);
  const std::string table = dir / "Tindrel.dbf";
  std::filesystem::create_directory(dir / "elsewhere");
  ProcessResult r = RunTool({"backup", table, dir / "elsewhere"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(PathAfter(r.out, "backed up to ").rfind(dir / "elsewhere/Tindrel-", 0), 0u) << r.out;
  EXPECT_FALSE(std::filesystem::exists(dir / "Backups"));

  DeleteEveryThird(table);
  r = RunTool({"pack", table});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string beforePack = PathAfter(r.out, "backed up to ");
  EXPECT_NE(beforePack.find("-before-pack.dbf"), std::string::npos) << r.out;
  r = RunTool({"check", beforePack});
  EXPECT_EQ(r.out, beforePack + ": consistent (90 records, 30 deleted, 1 tags)\n") << "the deleted notes are kept";
}

TEST(BackupTool, WhatCannotBeDoneIsRefusedAndTheTableStaysAsItWas) {
  TempDir dir;
  ASSERT_EQ(RunTool({"create", dir.Path()}).status, 0);
  const std::string table = dir / "Tindrel.dbf";
  const std::string backup = PathAfter(RunTool({"backup", table}).out, "backed up to ");
  WriteFile(Table::CompanionOf(backup, ".mdx"), "not an index");
  DeleteEveryThird(table);
  const std::string before = RunTool({"dump", table}).out;
  const struct {
    std::vector<std::string> args;
    int status;
    const char* says;
  } cases[] = {
      {{"restore", table, backup}, 1, "cannot be restored"},
      {{"restore", table, "Tindrel-1999-01-01-00-00-00.dbf"}, 1, "does not exist"},
      {{"backup", dir / "Missing.dbf"}, 1, "does not exist"},
      {{"backup"}, 2, "backup takes one TABLE"},
      {{"backup", table, dir.Path(), "more"}, 2, "backup takes one TABLE"},
      {{"restore"}, 2, "restore takes one TABLE and one BACKUP"},
      {{"restore", table, backup, "more"}, 2, "restore takes one TABLE and one BACKUP"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " with " + std::to_string(c.args.size() - 1) + " arguments");
    const ProcessResult r = RunTool(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(RunTool({"dump", table}).out, before);
  }
}

}  // namespace
}  // namespace tindrel::test
