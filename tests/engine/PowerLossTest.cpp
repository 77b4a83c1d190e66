// Power-loss trials. A table of a few thousand notes takes a random run of changes (appends,
// modifies whose memos grow past their blocks, deletes, reindex and pack, with a journal small
// enough to checkpoint every few changes) and then closes; the power fails at a random one of
// the disk changes the run makes. The disk that is left is the one a power loss could leave:
// everything synced survives, each unsynced write is kept, dropped or torn at a sector boundary,
// each unsynced create, rename or unlink is kept or lost. On it the table must open, its check
// must find nothing, and it must hold every acknowledged change, with the change in flight
// whole or not at all.
//
// A few dozen trials run by default; TINDREL_LONG_TESTS=1 runs 2,000.

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "store/engine/Journal.h"
#include "tests/engine/NoteDisk.h"

namespace tindrel::engine::testing {
namespace {

using Fault = PowerLossFileSystem::Fault;
using Outcome = PowerLossFileSystem::Outcome;

constexpr int kNotes = 2000;
constexpr size_t kChangesPerTrial = 30;

// Runs the changes and closes the table; returns how many changes returned.
size_t RunChanges(PowerLossFileSystem& disk, const std::vector<NoteChange>& changes, uint64_t checkpointBytes) {
  size_t acked = 0;
  try {
    auto t = OpenNoteTable(disk, checkpointBytes);
    NoteChanger changer(*t);
    for (const NoteChange& c : changes) {
      changer.Apply(c);
      ++acked;
    }
  } catch (const EngineError&) {
    // The power is off: only what the disk holds counts.
  }
  return acked;
}

void RunTrials(int trials, bool recalls) {
  const NoteModel start = StartingNotes(kNotes);
  std::mt19937_64 rnd(20261211);
  int inFlightStored = 0, journalsCompleted = 0, recallsMade = 0;
  for (int trial = 0; trial < trials; ++trial) {
    const auto changes =
        MakeNoteChanges(static_cast<uint32_t>(trial) * 7919u + 3u, kChangesPerTrial, start, kNotes + 1, recalls);
    const uint64_t checkpointBytes = uint64_t(4096) << (rnd() % 5);
    for (const NoteChange& c : changes) recallsMade += c.kind == NoteChange::Recall;
    uint64_t diskChanges = 0;
    {
      auto disk = NoteDisk(kNotes);
      disk->Arm(Fault::None);
      ASSERT_EQ(RunChanges(*disk, changes, checkpointBytes), changes.size());
      diskChanges = disk->Changes();
    }
    const uint64_t cut = 1 + rnd() % diskChanges;
    SCOPED_TRACE("trial " + std::to_string(trial) + ": power lost at disk change " + std::to_string(cut) + " of " +
                 std::to_string(diskChanges) + ", checkpoint every " + std::to_string(checkpointBytes) + " bytes");
    auto disk = NoteDisk(kNotes);
    disk->Arm(Fault::PowerCut, cut);
    const size_t acked = RunChanges(*disk, changes, checkpointBytes);
    ASSERT_TRUE(disk->PowerLost());

    auto after = disk->Restart(Outcome::Random, rnd());
    std::unique_ptr<Table> t;
    ASSERT_NO_THROW(t = OpenNoteTable(*after));
    const auto problems = t->Check();
    ASSERT_TRUE(problems.empty()) << problems.front();
    const NoteModel found = ReadNotes(*t);
    const NoteModel acknowledged = ModelAfter(start, changes, acked);
    const NoteModel withInFlight = ModelAfter(start, changes, acked + 1);
    ASSERT_TRUE(found == acknowledged || found == withInFlight)
        << "after " << acked << " acknowledged changes: first difference " << FirstDifference(found, acknowledged);
    EXPECT_FALSE(after->Exists(Journal::DamagedPathFor(kNoteTablePath))) << "a power loss damaged the journal";
    inFlightStored += found == withInFlight && !(found == acknowledged);
    for (const std::string& warning : t->Warnings()) journalsCompleted += warning.find("completed") != std::string::npos;
  }
  std::printf("%d trials with %d recalls; the change in flight was stored in %d, a journal completed at %d opens\n",
              trials, recallsMade, inFlightStored, journalsCompleted);
  EXPECT_EQ(recallsMade > 0, recalls);
}

int Trials() {
  const char* longMode = std::getenv("TINDREL_LONG_TESTS");
  return longMode && std::string(longMode) == "1" ? 2000 : 40;
}

TEST(PowerLossTrials, EveryAcknowledgedChangeSurvivesAPowerLossAtAnyPoint) { RunTrials(Trials(), false); }

// The same with recalls of deleted notes among the changes: a recalled note is back whole (its
// record, memo and index keys) or still deleted, never half-recalled.
TEST(PowerLossTrials, ARecallSurvivesAPowerLossAtAnyPoint) { RunTrials(Trials(), true); }

// A recall of five notes, cut by a power loss at every disk change that it and the close after
// it make: after the restart the five are back whole, or all still deleted.
TEST(PowerLossTrials, ARecallCutAtEveryStepIsWholeOrAbsent) {
  constexpr int kSmall = 200;
  const NoteModel start = StartingNotes(kSmall);
  std::vector<NoteChange> before;
  NoteChange recall{NoteChange::Recall};
  for (int64_t id = 10; id < 15; ++id) {
    before.push_back({NoteChange::Delete, id});
    recall.recalled[id] = start.at(id);
  }
  const NoteModel deleted = ModelAfter(start, before, before.size());
  NoteModel recalled = deleted;
  ApplyToModel(recalled, recall);
  auto run = [&](PowerLossFileSystem& disk, Fault fault, uint64_t n) {
    try {
      auto t = OpenNoteTable(disk);
      NoteChanger changer(*t);
      for (const NoteChange& c : before) changer.Apply(c);
      disk.Arm(fault, n);
      changer.Apply(recall);
    } catch (const EngineError&) {
    }
  };
  uint64_t steps = 0;
  {
    auto disk = NoteDisk(kSmall);
    run(*disk, Fault::None, 0);
    steps = disk->Changes();
  }
  ASSERT_GT(steps, 2u);
  int whole = 0;
  for (uint64_t n = 1; n <= steps; ++n) {
    auto disk = NoteDisk(kSmall);
    run(*disk, Fault::PowerCut, n);
    ASSERT_TRUE(disk->PowerLost());
    for (uint64_t seed = 0; seed < 4; ++seed) {
      SCOPED_TRACE("power lost at disk change " + std::to_string(n) + " of " + std::to_string(steps) + ", seed " +
                   std::to_string(seed));
      auto after = disk->Restart(seed == 0 ? Outcome::LoseEverythingUnsynced : Outcome::Random, seed);
      std::unique_ptr<Table> t;
      ASSERT_NO_THROW(t = OpenNoteTable(*after));
      const auto problems = t->Check();
      ASSERT_TRUE(problems.empty()) << problems.front();
      const NoteModel found = ReadNotes(*t);
      ASSERT_TRUE(found == deleted || found == recalled) << FirstDifference(found, recalled);
      whole += found == recalled;
    }
  }
  EXPECT_GT(whole, 0) << "the recall was never stored: the cuts came too early to tell anything";
}

}  // namespace
}  // namespace tindrel::engine::testing
