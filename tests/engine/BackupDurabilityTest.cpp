// Restore and backup cut at every step. The disk holds the note table in state "old" (with its
// last changes only in a journal, as a program that died leaves it) and a backup of an earlier
// state "backup". A restore is cut by a power loss at each of the disk changes it makes, or meets
// a full disk or failing syncs from each of its writes or syncs on; afterwards, on the disk as it
// is and on every disk a power loss could leave, the table opens clean and holds either the old
// notes or the backup's, never a mix. Whenever it holds the backup's, the old notes are kept as a
// backup of their own. A backup cut the same way never changes the table, and is listed only
// when it is whole.

#include <gtest/gtest.h>

#include <functional>

#include "store/engine/Journal.h"
#include "store/engine/TableBackup.h"
#include "tests/engine/NoteDisk.h"

namespace tindrel::engine::testing {
namespace {

using Fault = PowerLossFileSystem::Fault;
using Outcome = PowerLossFileSystem::Outcome;

constexpr int kNotes = 150;
constexpr BackupTime kMade{2026, 12, 1, 8, 0, 0};
constexpr BackupTime kNow{2026, 12, 11, 9, 0, 0};

const std::vector<NoteChange> kAfterBackup = {
    {NoteChange::Modify, 1, "Edited after the backup", std::string(3000, 'e')},
    {NoteChange::Delete, 2},
    {NoteChange::Append, 900, "Added after the backup", "ν"},
};
// Stored in the journal only: the table's files are behind it.
const std::vector<NoteChange> kInJournal = {
    {NoteChange::Modify, 5, "Only in the journal", std::string(1200, 'j')},
    {NoteChange::Delete, 7},
};

struct Scene {
  std::unique_ptr<PowerLossFileSystem> disk;  // a fresh copy for each trial
  std::string backup;
  NoteModel backedUp, old;
};

Scene MakeScene() {
  static std::unique_ptr<PowerLossFileSystem> made;
  static std::string backup;
  const NoteModel start = StartingNotes(kNotes);
  if (!made) {
    auto disk = NoteDisk(kNotes);
    {
      auto t = OpenNoteTable(*disk);
      backup = BackUpTable(*t, BackupKind::Manual, kMade, {}, disk.get());
      NoteChanger changer(*t);
      for (const NoteChange& c : kAfterBackup) changer.Apply(c);
    }
    auto t = OpenNoteTable(*disk, uint64_t(1) << 30);
    NoteChanger changer(*t);
    for (const NoteChange& c : kInJournal) changer.Apply(c);
    // The program dies here: the journal was synced, the writes to the files were not.
    made = disk->Restart(Outcome::LoseUnsyncedData);
  }
  NoteModel old = ModelAfter(ModelAfter(start, kAfterBackup, kAfterBackup.size()), kInJournal, kInJournal.size());
  return {made->Restart(Outcome::KeepEverything), backup, start, old};
}

// On the disk as it is, and on each disk a power loss could leave of it: the table opens clean
// with the old notes or the backup's; with the backup's, the old ones are kept.
void ExpectOldOrRestored(PowerLossFileSystem& disk, const Scene& scene, const std::string& trace,
                         const std::vector<std::pair<Outcome, uint64_t>>& restarts) {
  disk.Arm(Fault::None);
  auto check = [&](PowerLossFileSystem& after, const std::string& how) {
    SCOPED_TRACE(trace + ", " + how);
    std::unique_ptr<Table> t;
    ASSERT_NO_THROW(t = OpenNoteTable(after));
    const auto problems = t->Check();
    ASSERT_TRUE(problems.empty()) << problems.front();
    const NoteModel found = ReadNotes(*t);
    t.reset();
    const bool restored = found == scene.backedUp;
    ASSERT_TRUE(restored || found == scene.old)
        << "neither old nor restored; from the old notes: " << FirstDifference(found, scene.old)
        << "; from the backup's: " << FirstDifference(found, scene.backedUp);
    EXPECT_FALSE(after.Exists(Journal::DamagedPathFor(kNoteTablePath)));
    if (!restored) return;
    const auto backups = ListBackups(kNoteTablePath, {}, &after);
    auto kept = std::find_if(backups.begin(), backups.end(),
                             [](const BackupInfo& b) { return b.kind == BackupKind::BeforeRestore; });
    ASSERT_NE(kept, backups.end()) << "restored, and the old notes kept nowhere";
    OpenOptions options;
    options.fileSystem = &after;
    auto keptTable = Table::Open(kept->path, options);
    EXPECT_TRUE(ReadNotes(*keptTable) == scene.old) << FirstDifference(ReadNotes(*keptTable), scene.old);
  };
  check(disk, "the disk as it is");
  for (const auto& [outcome, seed] : restarts) {
    auto after = disk.Restart(outcome, seed);
    check(*after, "restart " + std::to_string(static_cast<int>(outcome)) + "/" + std::to_string(seed));
  }
}

// The disk changes, writes and syncs a whole restore makes.
void CountedRestore(uint64_t& changes, uint64_t& writes, uint64_t& syncs) {
  Scene scene = MakeScene();
  scene.disk->Arm(Fault::None);
  RestoreTable(kNoteTablePath, scene.backup, kNow, scene.disk.get());
  changes = scene.disk->Changes();
  writes = scene.disk->Writes();
  syncs = scene.disk->Syncs();
}

TEST(RestoreDurability, APowerLossAtAnyStepOfARestoreLeavesTheOldTableOrTheRestoredOne) {
  uint64_t changes = 0, writes = 0, syncs = 0;
  CountedRestore(changes, writes, syncs);
  ASSERT_GT(changes, 20u);
  std::mt19937_64 rnd(181);
  for (uint64_t cut = 1; cut <= changes; ++cut) {
    const std::string trace = "power lost at disk change " + std::to_string(cut) + " of " + std::to_string(changes);
    Scene scene = MakeScene();
    scene.disk->Arm(Fault::PowerCut, cut);
    EXPECT_THROW(RestoreTable(kNoteTablePath, scene.backup, kNow, scene.disk.get()), EngineError) << trace;
    ASSERT_TRUE(scene.disk->PowerLost());
    // Only what the disk holds counts after a power loss: the disk as it is plays no part.
    const std::pair<Outcome, uint64_t> restarts[] = {{Outcome::KeepEverything, 0},
                                                     {Outcome::LoseEverythingUnsynced, 0},
                                                     {Outcome::LoseUnsyncedData, 0},
                                                     {Outcome::Random, rnd()},
                                                     {Outcome::Random, rnd()}};
    for (const auto& [outcome, seed] : restarts) {
      auto after = scene.disk->Restart(outcome, seed);
      ExpectOldOrRestored(*after, scene, trace + ", restart " + std::to_string(static_cast<int>(outcome)), {});
      // The restore can be made again and then completes.
      if (cut % 4 == 0 && outcome == Outcome::Random) {
        after->Arm(Fault::None);
        RestoreTable(kNoteTablePath, scene.backup, kNow, after.get());
        auto t = OpenNoteTable(*after);
        EXPECT_TRUE(ReadNotes(*t) == scene.backedUp) << trace << ", restored again";
      }
    }
    if (HasFailure()) return;
  }
}

TEST(RestoreDurability, AFailingDiskAtAnyWriteOrSyncOfARestoreLeavesTheOldTableOrTheRestoredOne) {
  uint64_t changes = 0, writes = 0, syncs = 0;
  CountedRestore(changes, writes, syncs);
  const struct {
    Fault fault;
    uint64_t calls;
    const char* error;
  } series[] = {{Fault::DiskFull, writes, "No space left on device"},
                {Fault::FailingSyncs, syncs, "Input/output error"},
                {Fault::OneFailingSync, syncs, "Input/output error"}};
  for (const auto& s : series) {
    for (uint64_t n = 1; n <= s.calls + 1; ++n) {
      const std::string trace = "fault " + std::to_string(static_cast<int>(s.fault)) + " from call " +
                                std::to_string(n) + " of " + std::to_string(s.calls);
      SCOPED_TRACE(trace);
      Scene scene = MakeScene();
      scene.disk->Arm(s.fault, n);
      bool failed = false;
      try {
        RestoreTable(kNoteTablePath, scene.backup, kNow, scene.disk.get());
      } catch (const EngineError& e) {
        failed = true;
        EXPECT_NE(e.Message().find(s.error), std::string::npos) << e.Message();
      }
      if (n > s.calls) {
        EXPECT_FALSE(failed) << "a restore with no fault failed";
      }
      ExpectOldOrRestored(*scene.disk, scene, trace,
                          {{Outcome::KeepEverything, 0}, {Outcome::LoseEverythingUnsynced, 0}, {Outcome::Random, n}});
      if (HasFailure()) return;
    }
  }
}

// A backup of the open table cut at every step: the table is never touched, and a backup is
// listed only when it is whole (it opens and holds the table's notes).
TEST(BackupDurability, ABackupCutAtAnyStepLeavesTheTableAsItWasAndNoHalfBackup) {
  const NoteModel notes = ModelAfter(StartingNotes(kNotes), kAfterBackup, kAfterBackup.size());
  auto fresh = [] {
    auto disk = NoteDisk(kNotes);
    auto t = OpenNoteTable(*disk, uint64_t(1) << 30);
    NoteChanger changer(*t);
    for (const NoteChange& c : kAfterBackup) changer.Apply(c);
    return disk->Restart(Outcome::LoseUnsyncedData);  // the changes in the journal only
  };
  uint64_t changes = 0;
  {
    auto disk = fresh();
    auto t = OpenNoteTable(*disk);
    disk->Arm(Fault::None);
    BackUpTable(*t, BackupKind::AtClose, kNow, {}, disk.get());
    changes = disk->Changes();
  }
  for (const Fault fault : {Fault::PowerCut, Fault::FailingSyncs, Fault::DiskFull}) {
    for (uint64_t cut = 1; cut <= changes; ++cut) {
      const std::string trace =
          "fault " + std::to_string(static_cast<int>(fault)) + " at change " + std::to_string(cut) + " of " + std::to_string(changes);
      SCOPED_TRACE(trace);
      auto disk = fresh();
      {
        auto t = OpenNoteTable(*disk);
        disk->Arm(fault, cut);
        try {
          BackUpTable(*t, BackupKind::AtClose, kNow, {}, disk.get());
        } catch (const EngineError&) {
        }
        if (fault != Fault::PowerCut) {
          // The table goes on after a backup that failed, unless a sync of its own files failed.
          if (!t->InDoubt()) {
            EXPECT_TRUE(ReadNotes(*t) == notes);
          }
        }
      }
      for (const Outcome outcome : {Outcome::KeepEverything, Outcome::LoseEverythingUnsynced, Outcome::Random}) {
        auto after = disk->Restart(outcome, cut);
        auto t = OpenNoteTable(*after);
        ASSERT_TRUE(t->Check().empty());
        EXPECT_TRUE(ReadNotes(*t) == notes) << FirstDifference(ReadNotes(*t), notes);
        t.reset();
        for (const BackupInfo& b : ListBackups(kNoteTablePath, {}, after.get())) {
          // With every sync kept, the table's file is renamed into place after the others'
          // names are on the disk. A disk whose syncs failed keeps them or not in any order: a
          // backup may then be listed with what is missing, and restoring it is refused.
          if (fault == Fault::FailingSyncs && !b.problem.empty()) {
            EXPECT_THROW(RestoreTable(kNoteTablePath, b.path, kNow, after.get()), EngineError);
            continue;
          }
          ASSERT_TRUE(b.problem.empty()) << b.problem;
          OpenOptions options;
          options.fileSystem = after.get();
          auto copy = Table::Open(b.path, options);
          EXPECT_TRUE(copy->Check().empty());
          EXPECT_TRUE(ReadNotes(*copy) == notes) << "a listed backup that is not whole";
        }
      }
      if (HasFailure()) return;
    }
  }
}

}  // namespace
}  // namespace tindrel::engine::testing
