// Atomic, durable changes: a crash or an I/O error at every step of one change leaves the table,
// once reopened, consistent and holding either the old or the new state; a change that returned
// survives a power loss.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <vector>

#include "store/engine/DbfFile.h"
#include "store/engine/Journal.h"
#include "store/engine/Table.h"
#include "tests/engine/NoteDisk.h"
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
      if (std::string(change.name) != "pack") {
        EXPECT_TRUE(inMemory == now) << change.name << " failed at step " << step << ": the open table disagrees with its files";
      }
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

std::string U32(uint32_t v) {
  std::string b(4, '\0');
  PutU32(b.data(), v);
  return b;
}
std::string U64(uint64_t v) { return U32(static_cast<uint32_t>(v)) + U32(static_cast<uint32_t>(v >> 32)); }

// A redo record, as the journal frames it, writing `bytes` at offset 0 of the file `name`.
std::string RecordWriting(const std::string& name, const std::string& bytes) {
  return Journal::FrameRecord(U32(1) + U32(static_cast<uint32_t>(name.size())) + name + U32(1) + U32(0) + U32(0) +
                              U64(0) + U32(static_cast<uint32_t>(bytes.size())) + bytes);
}

// A rename journal of one rename, with a sound checksum.
std::string RenameJournal(const std::string& from, const std::string& to) {
  std::string image = std::string("TNDRENM1") + U32(1) + U32(static_cast<uint32_t>(from.size())) + from +
                      U32(static_cast<uint32_t>(to.size())) + to;
  uint64_t hash = 14695981039346656037ull;  // FNV-1a 64, the journal's checksum
  for (unsigned char c : image) hash = (hash ^ c) * 1099511628211ull;
  return image + U64(hash);
}

// A rename journal is written at once and synced before its first rename: one that is cut short
// (its write never completed) renamed nothing, whatever part of it reached the disk.
TEST(JournalTest, ARenameJournalCutShortRenamesNothingAndIsDiscarded) {
  const std::string whole = RenameJournal("n.dbf-restore", "n.dbf");
  for (size_t length : {size_t(3), size_t(8), size_t(20), whole.size() - 1}) {
    SCOPED_TRACE(length);
    TempFolder dir;
    MakeTable(dir, true, kChanges[0]);
    const std::string dbf = TempFolder::Read(dir.File("n.dbf"));
    TempFolder::Write(dir.File("n.dbf-restore"), "the new table, never renamed");
    TempFolder::Write(Journal::PathFor(dir.File("n.dbf")), whole.substr(0, length));
    auto t = Table::Open(dir.File("n.dbf"));
    EXPECT_EQ(TempFolder::Read(dir.File("n.dbf")), dbf);
    EXPECT_FALSE(std::filesystem::exists(Journal::PathFor(dir.File("n.dbf"))));
    EXPECT_FALSE(std::filesystem::exists(Journal::DamagedPathFor(dir.File("n.dbf"))));
    EXPECT_FALSE(std::filesystem::exists(dir.File("n.dbf-restore")));
    ASSERT_FALSE(t->Warnings().empty());
    EXPECT_NE(t->Warnings().back().find("discarded"), std::string::npos) << t->Warnings().back();
  }
}

// A journal changes only the table's own files: a record naming any other file, beside the table
// or elsewhere, is not one this engine wrote. Nothing of it is applied, and the journal is kept
// beside the table as damaged.
TEST(JournalTest, AJournalChangesOnlyTheTablesOwnFiles) {
  const struct {
    const char* name;
    std::string journal;
  } cases[] = {
      {"a path outside the folder", RecordWriting("../outside.txt", "replaced")},
      {"a path through a subfolder", RecordWriting("sub/../../outside.txt", "replaced")},
      {"the parent folder", RecordWriting("..", "replaced")},
      {"another file beside the table", RecordWriting("other.txt", "replaced")},
      {"a temporary file of a pack", RecordWriting("n.dbf-pack", "replaced")},
      {"a rename of another file onto the table", RenameJournal("other.txt", "n.dbf")},
      {"a rename of a pack file out of the folder", RenameJournal("n.dbf-pack", "../outside.txt")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder dir;
    std::filesystem::create_directory(dir.File("t"));
    TempFolder::Write(dir.File("outside.txt"), "untouched");
    TempFolder::Write(dir.File("t/other.txt"), "untouched");
    TempFolder::Write(dir.File("t/n.dbf-pack"), "untouched");
    TableSpec spec;
    spec.fields = {{"ID", 'C', 10}};
    const std::string table = dir.File("t/n.dbf");
    Table::Create(table, spec);
    const std::string dbf = TempFolder::Read(table);
    TempFolder::Write(Journal::PathFor(table), c.journal);

    auto t = Table::Open(table);
    EXPECT_EQ(TempFolder::Read(dir.File("outside.txt")), "untouched");
    EXPECT_EQ(TempFolder::Read(dir.File("t/other.txt")), "untouched");
    EXPECT_EQ(TempFolder::Read(table), dbf);
    EXPECT_FALSE(std::filesystem::exists(Journal::PathFor(table)));
    EXPECT_TRUE(TempFolder::Read(Journal::DamagedPathFor(table)) == c.journal);
    EXPECT_EQ(t->Warnings(), std::vector<std::string>{"The journal of " + table + " is damaged: it is kept as " +
                                                      Journal::DamagedPathFor(table)});
  }
}

// The journal of three changes, with the table's files as they were before them and the notes
// after each.
struct ThreeChanges {
  TempFolder dir;
  std::string table = dir.File("n.dbf");
  std::map<std::string, std::string> before;  // the files
  std::vector<std::string> records;           // one per change
  std::vector<Snapshot> after;                // [0]: before the changes

  ThreeChanges() {
    MakeTable(dir, true, kChanges[0]);
    for (const char* name : {"n.dbf", "n.dbt", "n.mdx"}) before[name] = TempFolder::Read(dir.File(name));
    auto t = Table::Open(table);
    after.push_back(Take(*t));
    size_t end = 0;
    for (const Change* change : {&kChanges[0], &kChanges[1], &kChanges[3]}) {
      change->apply(*t);
      const std::string journal = TempFolder::Read(Journal::PathFor(table));
      records.push_back(journal.substr(end));
      end = journal.size();
      after.push_back(Take(*t));
    }
  }
  // The files as before the changes, and this journal beside them.
  void Reset(const std::string& journal) const {
    for (const auto& [name, bytes] : before) TempFolder::Write(dir.File(name), bytes);
    TempFolder::Write(Journal::PathFor(table), journal);
  }
};

// Durability costs one sync of the disk per change: the journal's, at the commit point.
TEST(JournalTest, AStoredChangeCostsOneSync) {
  using testing::NoteChange;
  auto disk = testing::NoteDisk(50);
  auto t = testing::OpenNoteTable(*disk);
  testing::NoteChanger changer(*t);
  changer.Apply({NoteChange::Modify, 1, "the journal is made", "x"});
  for (const NoteChange& change : {NoteChange{NoteChange::Append, 51, "Note 51", std::string(3000, 'a')},
                                   NoteChange{NoteChange::Modify, 2, "Edited 2", std::string(5000, 'm')},
                                   NoteChange{NoteChange::Delete, 3}}) {
    disk->Arm(testing::PowerLossFileSystem::Fault::None);
    changer.Apply(change);
    EXPECT_EQ(disk->Syncs(), 1u) << change.kind;
  }
}

// A journal damaged in the middle may hold a person's last changes behind the damage: the sound
// start is completed, and the journal is kept beside the table (under a new name each time) and
// reported. The torn remains of the change that was being stored are no damage.
TEST(JournalTest, ADamagedJournalIsKeptBesideTheTableAfterItsSoundStartIsCompleted) {
  const ThreeChanges three;
  const auto& r = three.records;
  std::string flipped = r[1];
  flipped[flipped.size() / 2] ^= 0x40;
  std::string badLength = r[1];
  badLength[8 + 5] = 0x7F;  // the record's length, far past any record
  const struct {
    const char* name;
    std::string journal;
    size_t completed;  // changes completed from it
    bool damaged;
  } cases[] = {
      {"a flipped bit in the second record", r[0] + flipped + r[2], 1, true},
      {"the second record's start lost", r[0] + std::string(512, '\0') + r[1].substr(512) + r[2], 1, true},
      {"an impossible length", r[0] + badLength + r[2], 1, true},
      {"bytes behind the last record", r[0] + r[1] + r[2] + "x", 3, true},
      {"the last record torn", r[0] + r[1] + r[2].substr(0, r[2].size() - 9), 2, false},
      {"the last record's middle lost", r[0] + r[1] + r[2].substr(0, 16) + std::string(r[2].size() - 16, '\0'), 2, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    three.Reset(c.journal);
    std::filesystem::remove(Journal::DamagedPathFor(three.table));
    auto t = Table::Open(three.table);
    EXPECT_TRUE(Take(*t) == three.after[c.completed]);
    EXPECT_TRUE(t->Check().empty());
    EXPECT_FALSE(std::filesystem::exists(Journal::PathFor(three.table)));
    EXPECT_EQ(std::filesystem::exists(Journal::DamagedPathFor(three.table)), c.damaged);
    const std::string said = c.damaged ? "The journal of " + three.table +
                                             " is damaged: the changes before the damage were completed, and it is "
                                             "kept as " + Journal::DamagedPathFor(three.table)
                                       : "The last changes to " + three.table + " were completed from the journal";
    EXPECT_EQ(t->Warnings(), std::vector<std::string>{said});
    if (c.damaged) {
      EXPECT_TRUE(TempFolder::Read(Journal::DamagedPathFor(three.table)) == c.journal);
    }
  }
  // A second damaged journal does not replace the first.
  std::filesystem::remove(Journal::DamagedPathFor(three.table));
  for (const char* behind : {"x", "y"}) {
    three.Reset(r[0] + r[1] + r[2] + behind);
    Table::Open(three.table);
  }
  EXPECT_TRUE(TempFolder::Read(Journal::DamagedPathFor(three.table)) == r[0] + r[1] + r[2] + "x");
  EXPECT_TRUE(TempFolder::Read(Journal::DamagedPathFor(three.table) + "-2") == r[0] + r[1] + r[2] + "y");
}

// The journal is read one record at a time, each size checked before anything is allocated: a
// journal of 64 GiB (sparse: one record, then nothing written) opens at once.
TEST(JournalTest, AHugeJournalIsReadRecordByRecord) {
  const ThreeChanges three;
  three.Reset(three.records[0]);
  std::filesystem::resize_file(Journal::PathFor(three.table), uint64_t(64) << 30);
  auto t = Table::Open(three.table);
  EXPECT_TRUE(Take(*t) == three.after[1]);
  EXPECT_TRUE(std::filesystem::exists(Journal::DamagedPathFor(three.table)));
}

}  // namespace
}  // namespace tindrel::engine
