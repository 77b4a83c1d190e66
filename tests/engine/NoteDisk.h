#pragma once
// A note table on the in-memory disk, for the tests that fail the disk or cut its power: built
// once per size, then copied (the copy is a clean restart of a disk where everything was synced).

#include <map>
#include <memory>
#include <string>

#include "store/engine/Table.h"
#include "tests/support/TableBuilder.h"
#include "tests/support/engine/NoteChanges.h"
#include "tests/support/engine/PowerLossFileSystem.h"

namespace tindrel::engine::testing {

inline const std::string kNoteTablePath = "/disk/Tindrel.dbf";

// The notes the table starts with: IDs 1..count, every one with a memo of up to a few blocks.
inline NoteModel StartingNotes(int count) {
  NoteModel notes;
  std::mt19937 rnd(7);
  for (int id = 1; id <= count; ++id) notes[id] = {"Note " + std::to_string(id), NoteWords(rnd, 20 + rnd() % 900)};
  return notes;
}

// A fresh copy of the disk holding the table of StartingNotes(count).
inline std::unique_ptr<PowerLossFileSystem> NoteDisk(int count) {
  static std::map<int, std::unique_ptr<PowerLossFileSystem>> made;
  auto& disk = made[count];
  if (!disk) {
    disk = std::make_unique<PowerLossFileSystem>();
    TableSpec spec;
    spec.fields = {{"ID", 'C', 10}, {"TEXT", 'C', 100}, {"MEMO", 'M', 10}};
    spec.tags = {{"ID", "ID"}};
    spec.languageDriver = 0xCB;  // cp1253: the notes are in English and Greek
    std::vector<std::vector<std::string>> rows;
    for (const auto& [id, note] : StartingNotes(count)) rows.push_back({std::to_string(id), note.title, note.memo});
    tindrel::testing::WriteTable(kNoteTablePath, spec, rows, disk.get());
  }
  return disk->Restart(PowerLossFileSystem::Outcome::KeepEverything);
}

inline std::unique_ptr<Table> OpenNoteTable(FileSystem& disk, uint64_t checkpointBytes = OpenOptions().checkpointBytes) {
  OpenOptions options;
  options.fileSystem = &disk;
  options.checkpointBytes = checkpointBytes;
  return Table::Open(kNoteTablePath, options);
}

}  // namespace tindrel::engine::testing
