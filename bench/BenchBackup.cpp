// Backup and restore figures on a note table of 100,000 generated notes (the table tool's create
// logic, seed 1) with 10,000 of them deleted, beside `cp` of the same three files, with and
// without a sync of the copies: a backup is a copy that is synced before it counts.
// Run: build/bench/BenchBackup (see bench/README.md).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "store/engine/Table.h"
#include "store/engine/TableBackup.h"
#include "tests/support/engine/NoSyncFileSystem.h"
#include "tools/NoteTable.h"

namespace {

using tindrel::engine::BackupKind;
using tindrel::engine::Table;
namespace fs = std::filesystem;

constexpr uint32_t kNotes = 100000;
constexpr uint32_t kDeleted = 10000;

struct BenchTable {
  std::string folder;
  std::string path;
  uint64_t bytes = 0;  // of the three files

  BenchTable() {
    std::string pattern = (fs::temp_directory_path() / "tindrel-bench-backup-XXXXXX").string();
    folder = mkdtemp(pattern.data());
    tindrel::tools::CreateNoteTable(folder, tindrel::tools::RandomNotes(kNotes, 1));
    path = tindrel::tools::NoteTablePath(folder);
    // Set-up, not measured: the deletes go through the engine without a sync each.
    tindrel::testing::NoSyncFileSystem noSync;
    tindrel::engine::OpenOptions options;
    options.fileSystem = &noSync;
    auto t = Table::Open(path, options);
    for (uint32_t recno = 1; recno <= kDeleted; ++recno) t->Delete(recno * (kNotes / kDeleted));
    t.reset();
    for (const char* ext : {".dbf", ".dbt", ".mdx"}) bytes += fs::file_size(folder + "/Tindrel" + ext);
  }
  ~BenchTable() {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
};

BenchTable* table = nullptr;

void Counters(benchmark::State& state) {
  state.counters["MB"] = static_cast<double>(table->bytes) / 1e6;
  state.SetLabel("notes=100000 deleted=10000");
}

void Backup(benchmark::State& state) {
  auto t = Table::Open(table->path);
  for (auto _ : state) {
    const std::string backup = tindrel::engine::BackUpTable(*t, BackupKind::Manual, {2026, 12, 11, 9, 0, 0});
    state.PauseTiming();
    fs::remove_all(tindrel::engine::BackupFolderOf(table->path));
    state.ResumeTiming();
  }
  Counters(state);
}

void CopyWithCp(benchmark::State& state, bool sync) {
  const std::string into = table->folder + "/cp";
  const std::string files = table->folder + "/Tindrel.dbf " + table->folder + "/Tindrel.dbt " + table->folder + "/Tindrel.mdx";
  const std::string command = "cp " + files + " " + into + (sync ? " && sync -f " + into + "/Tindrel.dbf " + into +
                                                                       "/Tindrel.dbt " + into + "/Tindrel.mdx"
                                                                 : std::string());
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(into);
    fs::create_directory(into);
    state.ResumeTiming();
    if (std::system(command.c_str()) != 0) state.SkipWithError("cp failed");
  }
  fs::remove_all(into);
  Counters(state);
}

void Cp(benchmark::State& state) { CopyWithCp(state, false); }
void CpAndSync(benchmark::State& state) { CopyWithCp(state, true); }

// The restore of a backup over a table that is closed: the table kept first, then the swap.
void Restore(benchmark::State& state) {
  std::string backup;
  {
    auto t = Table::Open(table->path);
    backup = tindrel::engine::BackUpTable(*t, BackupKind::Manual, {2026, 1, 1, 0, 0, 0}, table->folder + "/saved");
  }
  for (auto _ : state) {
    tindrel::engine::RestoreTable(table->path, backup, {2026, 12, 11, 9, 0, 0});
    state.PauseTiming();
    fs::remove_all(tindrel::engine::BackupFolderOf(table->path));
    state.ResumeTiming();
  }
  Counters(state);
}

}  // namespace

BENCHMARK(Backup)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Cp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(CpAndSync)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Restore)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  BenchTable made;
  table = &made;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
