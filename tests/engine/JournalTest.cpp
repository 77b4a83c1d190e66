// Atomic, durable changes: a crash or an I/O error at every step of one change leaves the table,
// once reopened, consistent and holding either the old or the new state; a change that returned
// survives a power loss.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "store/engine/DbfFile.h"
#include "store/engine/Journal.h"
#include "store/engine/Table.h"
#include "tests/support/engine/FaultyFileSystem.h"
#include "tests/support/engine/RecordLines.h"
#include "tests/support/engine/TempFolder.h"

namespace tindrel::engine {
namespace {

using testing::FaultyFileSystem;
using testing::TempFolder;

using Snapshot = std::vector<std::string>;

Snapshot Take(Table& t) { return testing::RecordLines(t); }

struct Change {
  const char* name;
  std::function<void(Table&)> apply;
  std::function<void(Table&)> prepare = [](Table&) {};  // run before the change, not under test
};

const Change kChanges[] = {
    {"append", [](Table& t) {
       Record r = t.BlankRecord();
       t.SetText(r, 0, "4");
       t.SetText(r, 1, "new note");
       t.SetText(r, 2, std::string(1500, 'n'));
       t.Append(r);
     }},
    {"modify in place", [](Table& t) {
       Record r = t.ReadRecord(2);
       t.SetText(r, 1, "renamed");
       t.SetText(r, 2, "short");
       t.Modify(r);
     }},
    {"modify growing the memo", [](Table& t) {
       Record r = t.ReadRecord(1);
       t.SetText(r, 2, std::string(3000, 'g'));
       t.Modify(r);
     }},
    {"delete", [](Table& t) { t.Delete(3); }},
    // Enough records to split index pages of the TEXT tag, memos of several sizes and none.
    {"append a batch", [](Table& t) {
       std::vector<Record> batch;
       for (int i = 4; i < 44; ++i) {
         Record r = t.BlankRecord();
         t.SetText(r, 0, std::to_string(i));
         t.SetText(r, 1, "batch note " + std::to_string(i));
         t.SetText(r, 2, std::string(300 * (i % 5), static_cast<char>('a' + i % 26)));
         batch.push_back(std::move(r));
       }
       t.AppendAll(batch);
     }},
    {"pack", [](Table& t) { t.Pack(); }, [](Table& t) { t.Delete(2); }},
    {"reindex", [](Table& t) { t.Reindex(); }},
};

void BuildTable(const TempFolder& dir, bool dBase4, const Change& change) {
  TableSpec spec;
  spec.fields = {{"ID", 'C', 10}, {"TEXT", 'C', 40}, {"MEMO", 'M', 10}};
  spec.dBase4 = dBase4;
  if (dBase4) spec.tags = {{"ID", "ID"}, {"TEXT", "UPPER(TEXT)"}};  // index pages join the change
  Table::Create(dir.File("n.dbf"), spec);
  auto t = Table::Open(dir.File("n.dbf"));
  for (int i = 1; i <= 3; ++i) {
    Record r = t->BlankRecord();
    t->SetText(r, 0, std::to_string(i));
    t->SetText(r, 1, "note " + std::to_string(i));
    t->SetText(r, 2, std::string(600 * i, static_cast<char>('a' + i)));
    t->Append(r);
  }
  change.prepare(*t);
}

// The table before the change, built once per layout and change and copied for every trial
// (copies need no syncs, so the trials stay quick).
void MakeTable(const TempFolder& dir, bool dBase4, const Change& change) {
  static std::map<std::pair<bool, const Change*>, std::unique_ptr<TempFolder>> templates;
  auto& source = templates[{dBase4, &change}];
  if (!source) {
    source = std::make_unique<TempFolder>();
    BuildTable(*source, dBase4, change);
  }
  for (const auto& entry : std::filesystem::directory_iterator(source->Path()))
    std::filesystem::copy_file(entry.path(), dir.File(entry.path().filename().string()));
}

TEST(JournalTest, ACrashAtEveryStepOfAChangeLeavesTheOldOrTheNewState) {
  for (bool dBase4 : {true, false}) {
    for (const Change& change : kChanges) {
      Snapshot before, after;
      {
        TempFolder dir;
        MakeTable(dir, dBase4, change);
        auto t = Table::Open(dir.File("n.dbf"));
        before = Take(*t);
        change.apply(*t);
        after = Take(*t);
      }
      bool sawOld = false;
      for (uint64_t step = 1;; ++step) {
        TempFolder dir;
        MakeTable(dir, dBase4, change);
        FaultyFileSystem fs(step, FaultyFileSystem::Mode::Crash);
        OpenOptions options;
        options.fileSystem = &fs;
        try {
          auto t = Table::Open(dir.File("n.dbf"), options);
          change.apply(*t);
        } catch (const EngineError&) {
          // After the crash point the program is as good as dead; only the disk counts.
          EXPECT_TRUE(fs.Crashed()) << change.name << " step " << step;
        }
        auto reopened = Table::Open(dir.File("n.dbf"));
        Snapshot now = Take(*reopened);
        EXPECT_TRUE(now == before || now == after) << change.name << " crashed at step " << step;
        EXPECT_TRUE(reopened->Check().empty()) << change.name << " crashed at step " << step;
        EXPECT_FALSE(std::filesystem::exists(Journal::PathFor(dir.File("n.dbf"))));
        sawOld = sawOld || now == before;
        if (!fs.Crashed()) {
          EXPECT_TRUE(now == after) << change.name;
          break;
        }
        ASSERT_LT(step, 200u) << "the change never completed";
      }
      EXPECT_TRUE(sawOld) << change.name;
    }
  }
}

// A failed change is reported; the table, open or reopened, then holds the old state, or the new
// one when only the final sync after the commit point failed.
TEST(JournalTest, AnErrorAtEveryStepOfAChangeIsReportedAndLeavesAConsistentState) {
  for (const Change& change : kChanges) {
    Snapshot before, after;
    {
      TempFolder dir;
      MakeTable(dir, true, change);
      auto t = Table::Open(dir.File("n.dbf"));
      before = Take(*t);
      change.apply(*t);
      after = Take(*t);
    }
    bool sawOld = false;
    for (uint64_t step = 1;; ++step) {
      TempFolder dir;
      MakeTable(dir, true, change);
      FaultyFileSystem fs(step, FaultyFileSystem::Mode::Fail);
      OpenOptions options;
      options.fileSystem = &fs;
      bool failed = false;
      Snapshot inMemory;
      {
        auto t = Table::Open(dir.File("n.dbf"), options);
        try {
          change.apply(*t);
        } catch (const EngineError& e) {
          EXPECT_EQ(e.Code(), ResultCode::IoError) << e.Message();
          failed = true;
        }
        inMemory = Take(*t);
      }
      auto reopened = Table::Open(dir.File("n.dbf"));
      Snapshot now = Take(*reopened);
      EXPECT_TRUE(now == before || now == after) << change.name << " failed at step " << step;
      EXPECT_TRUE(reopened->Check().empty()) << change.name << " failed at step " << step;
      if (now == before) sawOld = true;
      if (!failed) {
        EXPECT_TRUE(now == after) << change.name;
        break;
      }
      if (std::string(change.name) != "pack")
        EXPECT_TRUE(inMemory == now) << change.name << " failed at step " << step << ": the open table disagrees with its files";
      ASSERT_LT(step, 200u);
    }
    EXPECT_TRUE(sawOld) << change.name;
  }
}

// A change is on disk once its call returns, although only the journal was synced: a power loss
// that drops every write the changes made to the table's files since they began (the worst
// case) still opens with all of them, the journal's records applied again. A torn record after
// them (a change whose call never returned) is dropped.
TEST(JournalTest, ChangesThatReturnedSurviveTheLossOfEveryUnsyncedWriteToTheFiles) {
  for (bool torn : {false, true}) {
    TempFolder dir;
    MakeTable(dir, true, kChanges[0]);
    const std::string table = dir.File("n.dbf");
    std::map<std::string, std::string> synced;  // the files as the disk held them before
    for (const char* name : {"n.dbf", "n.dbt", "n.mdx"}) synced[name] = TempFolder::Read(dir.File(name));
    Snapshot after;
    std::string journal;
    {
      auto t = Table::Open(table);
      for (const Change* change : {&kChanges[0], &kChanges[1], &kChanges[2], &kChanges[3]}) change->apply(*t);
      after = Take(*t);
      journal = TempFolder::Read(Journal::PathFor(table));
    }
    EXPECT_FALSE(std::filesystem::exists(Journal::PathFor(table))) << "a closed table leaves no journal";
    for (const auto& [name, bytes] : synced) TempFolder::Write(dir.File(name), bytes);
    if (torn) journal += journal.substr(0, journal.size() / 3);
    TempFolder::Write(Journal::PathFor(table), journal);

    auto reopened = Table::Open(table);
    EXPECT_TRUE(Take(*reopened) == after) << (torn ? "with a torn record" : "");
    EXPECT_TRUE(reopened->Check().empty());
    EXPECT_FALSE(std::filesystem::exists(Journal::PathFor(table)));
    ASSERT_FALSE(reopened->Warnings().empty());
    EXPECT_NE(reopened->Warnings().back().find("completed from the journal"), std::string::npos);
  }
}

TEST(JournalTest, ATornJournalIsDiscardedAndTheTableIsUntouched) {
  TempFolder dir;
  MakeTable(dir, true, kChanges[0]);
  const std::string dbf = TempFolder::Read(dir.File("n.dbf"));
  TempFolder::Write(Journal::PathFor(dir.File("n.dbf")), std::string("TNDREDO1\x01\x00\x00\x00garbage", 20));
  auto t = Table::Open(dir.File("n.dbf"));
  EXPECT_EQ(t->RecordCount(), 3u);
  EXPECT_EQ(TempFolder::Read(dir.File("n.dbf")), dbf);
  EXPECT_FALSE(std::filesystem::exists(Journal::PathFor(dir.File("n.dbf"))));
  ASSERT_FALSE(t->Warnings().empty());
  EXPECT_NE(t->Warnings().back().find("discarded"), std::string::npos);
}

// A journal is applied only to the files beside its table: a record naming a path elsewhere is
// not a record this engine wrote, and is dropped with the rest of the journal.
TEST(JournalTest, AJournalNamingAFileOutsideItsFolderIsNotApplied) {
  auto u32 = [](uint32_t v) { std::string b(4, '\0'); PutU32(b.data(), v); return b; };
  auto u64 = [&](uint64_t v) { return u32(static_cast<uint32_t>(v)) + u32(static_cast<uint32_t>(v >> 32)); };
  for (const std::string name : {"../outside.txt", "sub/../../outside.txt", ".."}) {
    TempFolder dir;
    std::filesystem::create_directory(dir.File("t"));
    TempFolder::Write(dir.File("outside.txt"), "untouched");
    TableSpec spec;
    spec.fields = {{"ID", 'C', 10}};
    Table::Create(dir.File("t/n.dbf"), spec);
    const std::string body = u32(1) + u32(static_cast<uint32_t>(name.size())) + name + u32(1) + u32(0) + u32(0) +
                             u64(0) + u32(8) + "replaced";
    std::string record = std::string("TNDREDO1") + u64(body.size()) + body;
    uint64_t hash = 14695981039346656037ull;  // FNV-1a 64, the journal's checksum
    for (unsigned char c : record) hash = (hash ^ c) * 1099511628211ull;
    record += u64(hash);
    TempFolder::Write(Journal::PathFor(dir.File("t/n.dbf")), record);

    auto t = Table::Open(dir.File("t/n.dbf"));
    EXPECT_EQ(TempFolder::Read(dir.File("outside.txt")), "untouched") << name;
    EXPECT_FALSE(std::filesystem::exists(Journal::PathFor(dir.File("t/n.dbf")))) << name;
  }
}

}  // namespace
}  // namespace tindrel::engine
