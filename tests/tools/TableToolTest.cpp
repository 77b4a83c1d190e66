// tindrel-table as a person uses it: making, checking, repairing and packing a note table.

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "store/engine/DbfFile.h"
#include "store/engine/Journal.h"
#include "store/engine/Table.h"
#include "tests/support/engine/FaultyFileSystem.h"
#include "tests/support/engine/NoSyncFileSystem.h"
#include "tests/tools/ToolTestSupport.h"
#include "tools/NoteTable.h"

namespace tindrel::test {
namespace {

using engine::Table;

std::string NotePath(const TempDir& dir) { return dir / "Tindrel.dbf"; }

TEST(TableTool, BadArgumentsGiveUsageAndStatusTwo) {
  TempDir dir;
  const std::string table = NotePath(dir);
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"create"},
      {"create", dir.Path(), "--notes"},
      {"create", dir.Path(), "--notes", "many"},
      {"create", dir.Path(), "--notes", "-5"},
      {"create", dir.Path(), "--seed", "1x"},
      {"create", dir.Path(), "--colour", "red"},
      {"create", dir.Path(), "second-folder"},
      {"check"},
      {"check", table, table},
      {"dump"},
      {"dump", table, "--encoding"},
      {"dump", table, "--encoding", "no-such-code-page"},
      {"dump", table, "--tsv"},
      {"reindex"},
      {"pack", "--now"},
      {"export", table, "opml"},
      {"export", table, "rtf", dir / "out.rtf"},
      {"export", table, "opml", dir / "out.opml", "--subtree"},
      {"export", table, "opml", dir / "out.opml", "--depth", "2"},
      {"import", table, "sql", dir / "in.sql"},
      {"import", table, "opml", dir / "in.opml", "--under"},
      {"import", table, "csv"},
      {"create", dir.Path(), "--from", "opml"},
      {"create", dir.Path(), "--from", "word", dir / "in.doc"},
      {"create", dir.Path(), "--notes", "5", "--from", "csv", dir / "in.csv"},
      {"deleted"},
      {"deleted", table, table},
      {"recall", table},
      {"recall", table, "3", "4"},
  };
  for (const auto& args : cases) {
    const ProcessResult r = RunTool(args);
    std::string shown;
    for (const auto& a : args) shown += " " + a;
    EXPECT_EQ(r.status, 2) << shown << "\n" << r.err;
    EXPECT_NE(r.err.find("usage: tindrel-table"), std::string::npos) << shown;
    EXPECT_TRUE(r.out.empty()) << shown;
  }
  EXPECT_FALSE(std::filesystem::exists(table)) << "no bad call made a table";
}

TEST(TableTool, EngineErrorsArePrefixedAndGiveStatusOne) {
  TempDir dir;
  for (const char* command : {"check", "dump", "reindex", "pack", "deleted"}) {
    const ProcessResult r = RunTool({command, dir / "missing.dbf"});
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_EQ(r.err.rfind("tindrel-table: ", 0), 0u) << command << ": " << r.err;
  }
}

TEST(TableTool, CreateMakesAConsistentStarterTableAndNeverOverwrites) {
  TempDir dir;
  ProcessResult r = RunTool({"create", dir.Path()});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string table = NotePath(dir);
  for (const char* ext : {".dbf", ".dbt", ".mdx"}) EXPECT_TRUE(std::filesystem::exists(dir / (std::string("Tindrel") + ext)));

  r = RunTool({"check", table});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  const size_t welcome = tools::WelcomeNotes().size();
  EXPECT_EQ(r.out, table + ": consistent (" + std::to_string(welcome) + " records, 0 deleted, 1 tags)\n");

  {
    auto t = Table::Open(table);
    EXPECT_EQ(t->LanguageDriver(), 0xCB);
    EXPECT_EQ(t->CodePage(), 1253);
    ASSERT_NE(t->Index(), nullptr);
    EXPECT_GE(t->Index()->FindTag("ID"), 0);
    for (const char* name : {"ID", "Parent", "Text", "MEMO"}) EXPECT_GE(t->FieldIndex(name), 0) << name;
    // The starter notes read back as written, Greek included, and form one tree.
    const auto notes = tools::WelcomeNotes();
    ASSERT_EQ(t->RecordCount(), notes.size());
    for (uint32_t recno = 1; recno <= t->RecordCount(); ++recno) {
      const auto rec = t->ReadRecord(recno);
      const auto& note = notes[recno - 1];
      EXPECT_EQ(t->GetText(rec, t->FieldIndex("ID")), std::to_string(note.id));
      EXPECT_EQ(t->GetText(rec, t->FieldIndex("Parent")), note.parent ? std::to_string(note.parent) : "");
      EXPECT_EQ(t->GetText(rec, t->FieldIndex("Text")), note.title);
      EXPECT_EQ(t->GetText(rec, t->FieldIndex("MEMO")), note.memo);
    }
  }

  const std::string before = ReadFile(table) + ReadFile(dir / "Tindrel.dbt") + ReadFile(dir / "Tindrel.mdx");
  r = RunTool({"create", dir.Path()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;
  r = RunTool({"create", dir.Path(), "--notes", "50"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(ReadFile(table) + ReadFile(dir / "Tindrel.dbt") + ReadFile(dir / "Tindrel.mdx"), before);

  // A memo file left alone (the table itself gone) is not overwritten either.
  TempDir other;
  WriteFile(other / "Tindrel.dbt", "precious");
  r = RunTool({"create", other.Path()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(ReadFile(other / "Tindrel.dbt"), "precious");
}

TEST(TableTool, DumpEncodingOverridesTheLanguageDriver) {
  TempDir dir;
  ASSERT_EQ(RunTool({"create", dir.Path()}).status, 0);
  // The table declares cp1253; read as Latin-1 the same bytes are other letters.
  const ProcessResult greek = RunTool({"dump", NotePath(dir), "--csv"});
  const ProcessResult latin = RunTool({"dump", NotePath(dir), "--csv", "--encoding", "latin-1"});
  ASSERT_EQ(greek.status, 0) << greek.err;
  ASSERT_EQ(latin.status, 0) << latin.err;
  EXPECT_EQ(greek.out.rfind("ID,PARENT,TEXT,MEMO\r\n1,,Welcome to Tindrel II,\"Tindrel II keeps", 0), 0u) << greek.out;
  EXPECT_NE(greek.out.find("8,,Καλώς ήρθατε στο Tindrel II,"), std::string::npos);
  EXPECT_NE(latin.out.find("8,,Êáëþò Þñèáôå óôï Tindrel II,"), std::string::npos);
}

TEST(TableTool, GeneratedNotesAreReproducibleAndFormOneTree) {
  TempDir a, b, c;
  ASSERT_EQ(RunTool({"create", a.Path(), "--notes", "600", "--seed", "9"}).status, 0);
  ASSERT_EQ(RunTool({"create", b.Path(), "--notes", "600", "--seed", "9"}).status, 0);
  ASSERT_EQ(RunTool({"create", c.Path(), "--notes", "600", "--seed", "10"}).status, 0);
  const ProcessResult dumpA = RunTool({"dump", NotePath(a), "--csv"});
  ASSERT_EQ(dumpA.status, 0) << dumpA.err;
  EXPECT_EQ(dumpA.out, RunTool({"dump", NotePath(b), "--csv"}).out);
  EXPECT_NE(dumpA.out, RunTool({"dump", NotePath(c), "--csv"}).out);

  const ProcessResult check = RunTool({"check", NotePath(a)});
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_EQ(check.out, NotePath(a) + ": consistent (600 records, 0 deleted, 1 tags)\n");

  auto t = Table::Open(NotePath(a));
  const int id = t->FieldIndex("ID"), parent = t->FieldIndex("Parent"), memo = t->FieldIndex("MEMO");
  std::set<std::string> seen;
  size_t empty = 0, small = 0, large = 0, greek = 0;
  for (uint32_t recno = 1; recno <= t->RecordCount(); ++recno) {
    const auto rec = t->ReadRecord(recno);
    const std::string p = t->GetText(rec, parent);
    EXPECT_TRUE(p.empty() || seen.count(p)) << "record " << recno << ": parent " << p << " comes first";
    EXPECT_TRUE(seen.insert(t->GetText(rec, id)).second) << "identifiers are unique";
    const std::string text = t->GetText(rec, memo);
    const size_t stored = t->EncodeText(text, "MEMO").size();
    EXPECT_LE(stored, 65536u);
    empty += stored == 0;
    small += stored > 0 && stored <= 400;
    large += stored > 4096;
    greek += text.find("\xCE") != std::string::npos || text.find("\xCF") != std::string::npos;
  }
  EXPECT_EQ(seen.size(), 600u);
  EXPECT_GT(empty, 0u);
  EXPECT_GT(small, 300u) << "most memos are small";
  EXPECT_GT(large, 0u);
  EXPECT_GT(greek, 100u);
}

// Byte offset of a field of a record in the .dbf.
uint64_t FieldOffset(Table& t, uint32_t recno, int field) {
  const std::string head = ReadFile(t.Path()).substr(0, 12);
  const uint32_t headerLength = static_cast<unsigned char>(head[8]) | static_cast<unsigned char>(head[9]) << 8;
  return headerLength + uint64_t{recno - 1} * t.RecordLength() + t.Fields()[field].offset;
}

TEST(TableTool, CheckFailsOnADamagedTableAndReindexRepairsTheIndex) {
  TempDir dir;
  ASSERT_EQ(RunTool({"create", dir.Path()}).status, 0);
  const std::string table = NotePath(dir);
  uint64_t at = 0;
  {
    auto t = Table::Open(table);
    at = FieldOffset(*t, 3, t->FieldIndex("ID"));
  }
  // Another program changed an ID behind the index's back.
  std::string bytes = ReadFile(table);
  bytes.replace(at, 10, "       777");
  WriteFile(table, bytes);

  ProcessResult r = RunTool({"check", table});
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("problem"), std::string::npos) << r.out;

  r = RunTool({"reindex", table});
  EXPECT_EQ(r.status, 0) << r.err;
  r = RunTool({"check", table});
  EXPECT_EQ(r.status, 0) << r.out;

  // An index whose header is garbage: check reports it, dump still reads every record.
  std::string mdx = ReadFile(dir / "Tindrel.mdx");
  for (size_t i = 0; i < 48 && i < mdx.size(); ++i) mdx[i] = static_cast<char>(0xEE);
  WriteFile(dir / "Tindrel.mdx", mdx);
  r = RunTool({"check", table});
  EXPECT_EQ(r.status, 1) << r.out;
  r = RunTool({"dump", table});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("warning"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("Welcome to Tindrel II"), std::string::npos);
  EXPECT_NE(r.out.find("Καλώς ήρθατε στο Tindrel II"), std::string::npos);
}

// A starter table whose journal holds one stored change, a new note, that is not yet in its
// files (as after a crash, or a table closed while a change could not be written).
std::string TableWithPendingChange(const TempDir& dir) {
  EXPECT_EQ(RunTool({"create", dir.Path()}).status, 0);
  const std::string table = NotePath(dir);
  std::map<std::string, std::string> before;
  for (const char* name : {"Tindrel.dbf", "Tindrel.dbt", "Tindrel.mdx"}) before[name] = ReadFile(dir / name);
  std::string journal;
  {
    auto t = Table::Open(table);
    engine::Record rec = t->BlankRecord();
    t->SetText(rec, t->FieldIndex("ID"), "13");
    t->SetText(rec, t->FieldIndex("Parent"), "1");
    t->SetText(rec, t->FieldIndex("Text"), "Stored in the journal");
    t->SetText(rec, t->FieldIndex("MEMO"), "Σημείωση");
    t->Append(rec);
    journal = ReadFile(engine::Journal::PathFor(table));
  }
  for (const auto& [name, bytes] : before) WriteFile(dir / name, bytes);
  WriteFile(engine::Journal::PathFor(table), journal);
  return table;
}

// check and dump complete a journal beside the table when its files can be written, and say so;
// when they cannot, they say that changes are pending and how to complete them, and change
// nothing.
TEST(TableTool, CheckAndDumpCompleteAPendingJournalOrSayHowTo) {
  for (const char* command : {"check", "dump"}) {
    SCOPED_TRACE(command);
    TempDir dir;
    const std::string table = TableWithPendingChange(dir);
    const std::string journal = engine::Journal::PathFor(table);
    const std::string completed = "The last changes to " + table + " were completed from the journal";
    ProcessResult r = RunTool({command, table});
    ASSERT_EQ(r.status, 0) << r.err;
    if (std::string(command) == "check") {
      EXPECT_EQ(r.out, table + ": note: " + completed + "\n" + table + ": consistent (13 records, 0 deleted, 1 tags)\n");
    } else {
      EXPECT_EQ(r.err, "tindrel-table: warning: " + completed + "\n");
      EXPECT_NE(r.out.find("#13\n  ID      13\n  PARENT  1\n  TEXT    Stored in the journal\n  MEMO    Σημείωση\n"),
                std::string::npos)
          << r.out;
    }
    EXPECT_FALSE(std::filesystem::exists(journal));

    TempDir readOnly;
    const std::string pending = TableWithPendingChange(readOnly);
    const std::string files = ReadFile(pending) + ReadFile(readOnly / "Tindrel.dbt") + ReadFile(readOnly / "Tindrel.mdx");
    for (const std::string& path : {pending, readOnly / "Tindrel.dbt", readOnly / "Tindrel.mdx", readOnly.Path()})
      std::filesystem::permissions(path, std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                             std::filesystem::perms::others_write,
                                   std::filesystem::perm_options::remove);
    r = RunTool({command, pending});
    std::filesystem::permissions(readOnly.Path(), std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "tindrel-table: The table " + pending +
                         " holds changes that are not yet in its files, and they cannot be completed now because its "
                         "files cannot be written; open it once where its files can be written to complete them\n"
                         "File: " + engine::Journal::PathFor(pending) + "\n"
                         "tindrel-table check " + pending + " completes them once the files can be written\n");
    EXPECT_TRUE(std::filesystem::exists(engine::Journal::PathFor(pending)));
    EXPECT_EQ(ReadFile(pending) + ReadFile(readOnly / "Tindrel.dbt") + ReadFile(readOnly / "Tindrel.mdx"), files);
  }
}

// Create makes the table in a folder of its own and renames the finished files into place
// together: cut at any step, it leaves no table, or the whole one, and never a part of one under
// the table's names; a second create then makes it or says it is there.
TEST(TableTool, CreateLeavesNoTableOrTheWholeOneWhereverItIsCut) {
  const std::vector<tools::Note> notes = tools::RandomNotes(120, 5);
  for (uint64_t step = 1;; ++step) {
    SCOPED_TRACE("cut at step " + std::to_string(step));
    TempDir dir;
    // A crash keeps what was written (the page cache survives it): the syncs need not happen.
    testing::NoSyncFileSystem noSync;
    engine::testing::FaultyFileSystem fs(step, engine::testing::FaultyFileSystem::Mode::Crash, &noSync);
    try {
      tools::CreateNoteTable(dir.Path(), notes, {}, &fs);
    } catch (const engine::EngineError&) {
      EXPECT_TRUE(fs.Crashed());
    }
    const std::string table = NotePath(dir);
    if (!std::filesystem::exists(table)) {
      EXPECT_FALSE(std::filesystem::exists(dir / "Tindrel.dbt") && !std::filesystem::exists(engine::Journal::PathFor(table)));
      EXPECT_FALSE(std::filesystem::exists(dir / "Tindrel.mdx") && !std::filesystem::exists(engine::Journal::PathFor(table)));
    }
    try {
      tools::CreateNoteTable(dir.Path(), notes, {}, &noSync);
    } catch (const engine::EngineError& e) {
      EXPECT_NE(e.Message().find("already exists"), std::string::npos) << e.Message();
    }
    auto t = Table::Open(table);
    EXPECT_TRUE(t->Check().empty());
    ASSERT_EQ(t->RecordCount(), notes.size());
    for (uint32_t recno = 1; recno <= t->RecordCount(); recno += 17) {
      const auto rec = t->ReadRecord(recno);
      EXPECT_EQ(t->GetText(rec, t->FieldIndex("Text")), notes[recno - 1].title);
      EXPECT_EQ(t->GetText(rec, t->FieldIndex("MEMO")), notes[recno - 1].memo);
    }
    EXPECT_FALSE(std::filesystem::exists(table + "-create"));
    if (!fs.Crashed()) break;
    ASSERT_LT(step, 500u);
  }
}

// A memo whose length runs past the end of the memo file: dump prints what is left of it with a
// warning naming the record and field, check reports it, and pack refuses rather than drop it.
TEST(TableTool, ADamagedMemoIsDumpedAsFarAsItReadsAndNeverPackedAway) {
  TempDir dir;
  ASSERT_EQ(RunTool({"create", dir.Path()}).status, 0);
  const std::string table = NotePath(dir);
  uint32_t recno = 0, block = 0;
  std::string memo;
  {
    auto t = Table::Open(table);
    const int field = t->FieldIndex("MEMO");
    for (uint32_t r = 1; r <= t->RecordCount() && recno == 0; ++r) {
      engine::Record rec = t->ReadRecord(r);
      if (t->IsBlank(rec, field)) continue;
      recno = r;
      memo = t->GetText(rec, field);
      block = static_cast<uint32_t>(std::stoul(std::string(t->RawField(rec, field))));
    }
  }
  ASSERT_NE(recno, 0u);
  std::string dbt = ReadFile(dir / "Tindrel.dbt");
  const uint32_t blockSize = static_cast<unsigned char>(dbt[20]) | static_cast<unsigned char>(dbt[21]) << 8;
  engine::PutU32(&dbt[uint64_t{block} * blockSize + 4], 0x7FFFFFF0);
  WriteFile(dir / "Tindrel.dbt", dbt);
  const std::string before = dbt;

  ProcessResult r = RunTool({"dump", table});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("warning: record " + std::to_string(recno) + ", field MEMO"), std::string::npos) << r.err;
  const std::string firstLine = memo.substr(0, std::min<size_t>(memo.find_first_of("\r\n"), 40));
  ASSERT_FALSE(firstLine.empty());
  EXPECT_NE(r.out.find(firstLine), std::string::npos) << "what is left of the memo is printed";
  r = RunTool({"check", table});
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("runs past the end"), std::string::npos) << r.out;
  r = RunTool({"pack", table});
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.err.find("record " + std::to_string(recno) + ", field MEMO"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(dir / "Tindrel.dbt"), before);
}

TEST(TableTool, PackRemovesDeletedNotesWithProgress) {
  TempDir dir;
  ASSERT_EQ(RunTool({"create", dir.Path(), "--notes", "300", "--seed", "4"}).status, 0);
  const std::string table = NotePath(dir);
  std::set<std::string> kept;
  {
    auto t = Table::Open(table);
    for (uint32_t recno = 1; recno <= t->RecordCount(); ++recno) {
      if (recno % 3 == 0) {
        t->Delete(recno);
      } else {
        kept.insert(t->GetText(t->ReadRecord(recno), t->FieldIndex("Text")));
      }
    }
  }
  const uint64_t sizeBefore = std::filesystem::file_size(table) + std::filesystem::file_size(dir / "Tindrel.dbt");
  ProcessResult r = RunTool({"pack", table});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Packing: "), std::string::npos) << r.err;
  EXPECT_LT(std::filesystem::file_size(table) + std::filesystem::file_size(dir / "Tindrel.dbt"), sizeBefore);

  r = RunTool({"check", table});
  EXPECT_EQ(r.out, table + ": consistent (200 records, 0 deleted, 1 tags)\n");
  auto t = Table::Open(table);
  std::set<std::string> after;
  for (uint32_t recno = 1; recno <= t->RecordCount(); ++recno)
    after.insert(t->GetText(t->ReadRecord(recno), t->FieldIndex("Text")));
  EXPECT_EQ(after, kept);
}

}  // namespace
}  // namespace tindrel::test
