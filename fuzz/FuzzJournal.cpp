// Fuzz target: a journal of arbitrary bytes beside a sound note table, on a disk in memory whose
// files cannot grow past 16 MiB. Byte 0 picks the form of the rest: even, the journal's bytes as
// they are; odd, record bodies (each a 16-bit length and its bytes) that the target frames as
// the journal frames them, so that their content gets past the checksum. The table is opened,
// which recovers from the journal, then checked and read whole. Besides crashes, hangs and
// unbounded allocations, the target traps on a file the journal created or renamed that is not
// one of the table's own, a pack's temporary one or the kept damaged journal, and on a journal
// left in place by an open that succeeded.

#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/FuzzSoundTable.h"
#include "store/engine/EngineError.h"
#include "store/engine/Journal.h"
#include "store/engine/Table.h"

namespace {

using namespace tindrel::engine;
using tindrel::engine::testing::PowerLossFileSystem;

const std::string kTable = "/t/Tindrel.dbf";

const PowerLossFileSystem& SoundTable() {
  static const auto disk = tindrel::fuzzing::MakeSoundNoteTable(kTable);
  return *disk;
}

bool Allowed(const std::string& path) {
  const std::string damaged = Journal::DamagedPathFor(kTable);
  for (const char* name : {"/t/Tindrel.dbf", "/t/Tindrel.dbt", "/t/Tindrel.mdx"})
    if (path == name || path == std::string(name) + "-pack" || path == std::string(name) + "-restore") return true;
  return path == Journal::PathFor(kTable) || path.compare(0, damaged.size(), damaged) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string journal;
  if (data[0] & 1) {
    for (size_t at = 0; at + 2 <= input.size();) {
      const size_t length = static_cast<unsigned char>(input[at]) | static_cast<unsigned char>(input[at + 1]) << 8;
      journal += Journal::FrameRecord(std::string_view(input).substr(at + 2, length));
      at += 2 + length;
    }
  } else {
    journal = input;
  }
  auto disk = SoundTable().Restart(PowerLossFileSystem::Outcome::KeepEverything);
  disk->SetFileSizeLimit(16u << 20);
  disk->Put(Journal::PathFor(kTable), journal);
  bool opened = false;
  try {
    OpenOptions options;
    options.fileSystem = disk.get();
    auto table = Table::Open(kTable, options);
    opened = true;
    table->Check();
    for (uint32_t r = 1; r <= table->RecordCount(); ++r) {
      const Record record = table->ReadRecord(r);
      for (int f = 0; f < static_cast<int>(table->Fields().size()); ++f) table->GetText(record, f);
    }
  } catch (const EngineError&) {
  }
  for (const std::string& path : disk->Files())
    if (!Allowed(path) || (opened && path == Journal::PathFor(kTable))) __builtin_trap();
  return 0;
}
