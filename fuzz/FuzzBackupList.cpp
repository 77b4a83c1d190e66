// Fuzz target: a file of arbitrary name and bytes in the Backups folder beside a sound note
// table, on a disk in memory. Byte 0 is the length of the name (up to 63 bytes of the input, any
// "/" or NUL in it made "_"); ".dbf" goes behind it and the rest of the input is its content.
// The backups are listed; each one listed without a problem is restored. Besides crashes, hangs
// and unbounded allocations, the target traps when a restore that returned leaves a table that
// does not open clean, and when one that failed left the table otherwise than it was.

#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/FuzzSoundTable.h"
#include "store/engine/EngineError.h"
#include "store/engine/Table.h"
#include "store/engine/TableBackup.h"

namespace {

using namespace tindrel::engine;
using tindrel::engine::testing::PowerLossFileSystem;

const std::string kTable = "/t/Tindrel.dbf";

const PowerLossFileSystem& SoundTable() {
  static const auto disk = [] {
    auto made = tindrel::fuzzing::MakeSoundNoteTable(kTable);
    made->CreateFolder("/t/Backups");
    return made;
  }();
  return *disk;
}

std::string Contents(PowerLossFileSystem& disk, const std::string& path) {
  auto file = disk.Open(path, OpenMode::ReadOnly);
  std::string bytes(static_cast<size_t>(file->Size()), '\0');
  bytes.resize(file->ReadAt(0, bytes.data(), bytes.size()));
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t nameLength = std::min<size_t>(data[0] & 63, size - 1);
  std::string name(reinterpret_cast<const char*>(data) + 1, nameLength);
  for (char& c : name)
    if (c == '/' || c == '\0') c = '_';
  const std::string content(reinterpret_cast<const char*>(data) + 1 + nameLength, size - 1 - nameLength);
  auto disk = SoundTable().Restart(PowerLossFileSystem::Outcome::KeepEverything);
  disk->SetFileSizeLimit(16u << 20);
  disk->Put("/t/Backups/" + name + ".dbf", content);
  const std::string before = Contents(*disk, kTable);
  try {
    for (const BackupInfo& backup : ListBackups(kTable, {}, disk.get())) {
      if (!backup.problem.empty()) continue;
      bool restored = false;
      try {
        RestoreTable(kTable, backup.path, {2026, 12, 11, 9, 0, 0}, disk.get());
        restored = true;
      } catch (const EngineError&) {
        if (Contents(*disk, kTable) != before) __builtin_trap();
      }
      if (restored) {
        OpenOptions options;
        options.fileSystem = disk.get();
        if (!Table::Open(kTable, options)->Check().empty()) __builtin_trap();
      }
    }
  } catch (const EngineError&) {
  }
  return 0;
}
