// A disk that fills up, or whose syncs fail, from the N-th call on, for every N a change and the
// close after it reach: the change either succeeds or fails with the disk's error; a failure
// that leaves the files behind the journal stops the table (read-only, in doubt) and closing it
// keeps the journal; after a restart on a healthy disk, clean or after a power loss, the table
// opens clean with every acknowledged change, and the failed change whole or absent.

#include <gtest/gtest.h>

#include "store/engine/Journal.h"
#include "tests/engine/NoteDisk.h"

namespace tindrel::engine::testing {
namespace {

using Fault = PowerLossFileSystem::Fault;
using Outcome = PowerLossFileSystem::Outcome;

constexpr int kNotes = 200;

// Acknowledged before the change under test, so that the journal holds them when it fails.
const std::vector<NoteChange> kBefore = {
    {NoteChange::Modify, 1, "Edited 1", std::string(2500, 'g')},
    {NoteChange::Delete, 2},
    {NoteChange::Append, 500, "Note 500", "ν"},
};

const NoteChange kChanges[] = {
    {NoteChange::Append, 501, "Note 501, between the others", std::string(1500, 'a')},
    {NoteChange::Modify, 5, "Edited 5", "short"},
    {NoteChange::Modify, 7, "Edited 7, its memo grown", std::string(4000, 'm')},
    {NoteChange::Delete, 9},
    {NoteChange::Reindex},
    {NoteChange::Pack},
    {NoteChange::Recall, 0, {}, {}, {{2, StartingNotes(kNotes).at(2)}}},
};

const char* Name(const NoteChange& c) {
  static const char* names[] = {"append", "modify", "delete", "pack", "reindex", "recall"};
  return names[c.kind];
}

// Every note must be as acknowledged, the failed change whole or absent.
void ExpectHealthyAfterRestart(const PowerLossFileSystem& disk, const NoteModel& acknowledged,
                               const NoteModel& withChange, const std::string& trace) {
  const std::pair<Outcome, uint64_t> restarts[] = {
      {Outcome::KeepEverything, 0}, {Outcome::LoseEverythingUnsynced, 0}, {Outcome::LoseUnsyncedData, 0},
      {Outcome::Random, 1},         {Outcome::Random, 2}};
  for (const auto& [outcome, seed] : restarts) {
    SCOPED_TRACE(trace + ", restart " + std::to_string(static_cast<int>(outcome)) + "/" + std::to_string(seed));
    auto healthy = disk.Restart(outcome, seed);
    std::unique_ptr<Table> t;
    ASSERT_NO_THROW(t = OpenNoteTable(*healthy));
    const auto problems = t->Check();
    EXPECT_TRUE(problems.empty()) << problems.front();
    const NoteModel found = ReadNotes(*t);
    EXPECT_TRUE(found == acknowledged || found == withChange) << "first difference: " << FirstDifference(found, withChange);
  }
}

void RunSeries(Fault fault, const std::string& diskError) {
  const NoteModel start = StartingNotes(kNotes);
  const NoteModel acknowledged = ModelAfter(start, kBefore, kBefore.size());
  for (const NoteChange& change : kChanges) {
    NoteModel withChange = acknowledged;
    ApplyToModel(withChange, change);
    // The calls of the fault's kind that the change and the close after it make.
    uint64_t calls = 0;
    {
      auto disk = NoteDisk(kNotes);
      auto t = OpenNoteTable(*disk);
      NoteChanger changer(*t);
      for (const NoteChange& c : kBefore) changer.Apply(c);
      disk->Arm(Fault::None);
      changer.Apply(change);
      t.reset();
      calls = fault == Fault::DiskFull ? disk->Writes() : disk->Syncs();
    }
    ASSERT_GT(calls, 0u) << Name(change);
    for (uint64_t n = 1; n <= calls + 1; ++n) {
      const std::string trace = std::string(Name(change)) + ", call " + std::to_string(n) + " of " + std::to_string(calls);
      SCOPED_TRACE(trace);
      auto disk = NoteDisk(kNotes);
      bool failed = false, inDoubt = false;
      {
        auto t = OpenNoteTable(*disk);
        NoteChanger changer(*t);
        for (const NoteChange& c : kBefore) changer.Apply(c);
        disk->Arm(fault, n);
        try {
          changer.Apply(change);
        } catch (const EngineError& e) {
          failed = true;
          EXPECT_EQ(e.Code(), ResultCode::IoError);
          EXPECT_NE(e.Message().find(diskError), std::string::npos) << e.Message();
        }
        inDoubt = t->InDoubt();
        EXPECT_EQ(t->ReadOnly(), inDoubt);
        if (inDoubt) {
          EXPECT_FALSE(t->ReadOnlyReason().empty());
          EXPECT_THROW(changer.Apply({NoteChange::Delete, 3}), EngineError) << "a table in doubt takes no change";
        } else if (failed) {
          // Cut off before its commit point: the table goes on as before.
          EXPECT_TRUE(ReadNotes(*t) == acknowledged) << FirstDifference(ReadNotes(*t), acknowledged);
        }
      }
      if (inDoubt && change.kind != NoteChange::Pack) {
        EXPECT_TRUE(disk->Exists(Journal::PathFor(kNoteTablePath))) << "closing a table in doubt keeps its journal";
      }
      if (n > calls) {
        EXPECT_FALSE(failed);
      }
      ExpectHealthyAfterRestart(*disk, failed ? acknowledged : withChange, withChange, trace);
      if (::testing::Test::HasFailure()) return;
    }
  }
}

TEST(FailingDisk, AFullDiskAtEveryWriteOfAChangeLosesNoAcknowledgedNote) {
  RunSeries(Fault::DiskFull, "No space left on device");
}

TEST(FailingDisk, FailingSyncsAtEverySyncOfAChangeLoseNoAcknowledgedNote) {
  RunSeries(Fault::FailingSyncs, "Input/output error");
}

// After a failed sync the kernel may have dropped the pages it could not write, and a later
// sync of the same file reports success. A table that went on changing and checkpointed again
// would cut its journal with those pages gone; a checkpoint that failed after cutting the
// journal must not leave the next change behind a hole. One failing sync, at every sync of a
// run of changes that checkpoints after each change: nothing acknowledged is lost.
TEST(FailingDisk, ASyncThatFailedOnceIsNeverTrustedAgain) {
  const NoteModel start = StartingNotes(kNotes);
  const auto changes = MakeNoteChanges(11, 12, start, kNotes + 1);
  const uint64_t everyChange = 1;  // a checkpoint after each change
  uint64_t syncs = 0;
  {
    auto disk = NoteDisk(kNotes);
    auto t = OpenNoteTable(*disk, everyChange);
    NoteChanger changer(*t);
    disk->Arm(Fault::None);
    for (const NoteChange& c : changes) changer.Apply(c);
    t.reset();
    syncs = disk->Syncs();
  }
  for (uint64_t n = 1; n <= syncs; ++n) {
    const std::string trace = "sync " + std::to_string(n) + " of " + std::to_string(syncs) + " failed";
    SCOPED_TRACE(trace);
    auto disk = NoteDisk(kNotes);
    size_t acked = 0;
    {
      auto t = OpenNoteTable(*disk, everyChange);
      NoteChanger changer(*t);
      disk->Arm(Fault::OneFailingSync, n);
      try {
        for (const NoteChange& c : changes) {
          changer.Apply(c);
          ++acked;
        }
      } catch (const EngineError&) {
      }
    }
    ExpectHealthyAfterRestart(*disk, ModelAfter(start, changes, acked), ModelAfter(start, changes, acked + 1), trace);
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace tindrel::engine::testing
