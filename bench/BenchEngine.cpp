// Engine figures on a note table of 100,000 generated notes (the table tool's create logic):
// open with the index, open with a journal of 3,000 changes to complete, a full scan in index
// order, single changes (each synced) beside one sync of the disk itself, and a pack with half
// the records deleted. Run: build/bench/BenchEngine (see bench/README.md).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "bench/MarkDeleted.h"
#include "store/engine/Cursor.h"
#include "store/engine/FileSystem.h"
#include "store/engine/Table.h"
#include "tests/support/engine/NoSyncFileSystem.h"
#include "tools/NoteTable.h"

namespace {

using tindrel::engine::Record;
using tindrel::engine::ResultCode;
using tindrel::engine::Table;
namespace fs = std::filesystem;

constexpr uint32_t kNotes = 100000;

// The table is made once per run in a folder beside the other temporary files, on the disk
// (syncs are part of what is measured), and removed at the end.
struct BenchTables {
  std::string folder;
  std::string full;  // 100,000 live notes
  std::string half;  // the same, every second record deleted

  BenchTables() {
    std::string pattern = (fs::temp_directory_path() / "tindrel-bench-XXXXXX").string();
    folder = mkdtemp(pattern.data());
    fs::create_directory(folder + "/full");
    tindrel::tools::CreateNoteTable(folder + "/full", tindrel::tools::RandomNotes(kNotes, 1));
    full = tindrel::tools::NoteTablePath(folder + "/full");

    fs::create_directory(folder + "/half");
    for (const char* ext : {".dbf", ".dbt", ".mdx"})
      fs::copy_file(folder + "/full/Tindrel" + ext, folder + "/half/Tindrel" + ext);
    half = tindrel::tools::NoteTablePath(folder + "/half");
    tindrel::bench::MarkDeleted(half, [](uint32_t recno) { return recno % 2 == 0; });
  }
  ~BenchTables() {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
};

BenchTables* tables = nullptr;

void Open(benchmark::State& state) {
  for (auto _ : state) {
    auto t = Table::Open(tables->full);
    benchmark::DoNotOptimize(t->RecordCount());
  }
}

void ScanInIndexOrder(benchmark::State& state) {
  auto t = Table::Open(tables->full);
  const int id = t->FieldIndex("ID"), parent = t->FieldIndex("Parent"), text = t->FieldIndex("Text");
  auto cursor = t->OpenCursor();
  cursor->SetOrder(t->Index()->FindTag("ID"));
  size_t bytes = 0;
  for (auto _ : state) {
    cursor->MoveToBegin();
    Record rec;
    uint32_t seen = 0;
    while (cursor->Next(rec) == ResultCode::Ok) {
      bytes += t->GetText(rec, id).size() + t->GetText(rec, parent).size() + t->GetText(rec, text).size();
      ++seen;
    }
    if (seen != kNotes) state.SkipWithError("the scan did not see every note");
  }
  benchmark::DoNotOptimize(bytes);
  state.counters["records"] = kNotes;
}

// Single changes on a copy of the full table, so every benchmark starts from the same state.
std::string CopyOfFull(const std::string& name) {
  const std::string dir = tables->folder + "/" + name;
  fs::create_directory(dir);
  for (const char* ext : {".dbf", ".dbt", ".mdx"})
    fs::copy_file(tables->folder + "/full/Tindrel" + ext, dir + "/Tindrel" + ext, fs::copy_options::overwrite_existing);
  return tindrel::tools::NoteTablePath(dir);
}

void ModifyWithMemo(benchmark::State& state) {
  auto t = Table::Open(CopyOfFull("modify"));
  const int text = t->FieldIndex("Text"), memo = t->FieldIndex("MEMO");
  uint32_t recno = 1;
  uint64_t n = 0;
  for (auto _ : state) {
    Record rec = t->ReadRecord(recno);
    t->SetText(rec, text, "Edited title " + std::to_string(n));
    rec.pendingMemos[memo] = t->EncodeText("Σημείωση " + std::to_string(n) + " " + std::string(800 + n % 1500, 'm'), "MEMO");
    t->Modify(rec);
    recno = (recno + 7919) % kNotes + 1;
    ++n;
  }
}

void Insert(benchmark::State& state) {
  auto t = Table::Open(CopyOfFull("insert"));
  const int id = t->FieldIndex("ID"), parent = t->FieldIndex("Parent"), text = t->FieldIndex("Text"),
            memo = t->FieldIndex("MEMO");
  uint64_t next = kNotes + 1;
  for (auto _ : state) {
    Record rec = t->BlankRecord();
    t->SetText(rec, id, std::to_string(next));
    t->SetText(rec, parent, std::to_string(next % kNotes + 1));
    t->SetText(rec, text, "New note " + std::to_string(next));
    rec.pendingMemos[memo] = t->EncodeText("Νέα σημείωση " + std::string(300, 'n'), "MEMO");
    t->Append(rec);
    ++next;
  }
}

void Delete(benchmark::State& state) {
  auto t = Table::Open(CopyOfFull("delete"));
  uint32_t recno = 1;
  for (auto _ : state) {
    t->Delete(recno);
    recno = recno % kNotes + 1;
  }
}

// The disk's own sync, beside which a single change is measured: a write of `bytes` (in place,
// or appended to the file as a journal record is), then fdatasync.
void SyncOfTheDisk(benchmark::State& state, bool append) {
  auto& fs = tindrel::engine::FileSystem::Default();
  auto file = fs.Open(tables->folder + "/sync-probe", tindrel::engine::OpenMode::CreateReadWrite);
  const std::string block(static_cast<size_t>(state.range(0)), 's');
  uint64_t n = 0;
  for (auto _ : state) {
    file->WriteAt(append ? n * block.size() : (n % 64) * block.size(), block.data(), block.size());
    file->Sync();
    ++n;
  }
}

// Opening a table whose journal holds 3,000 changes (modifies with memos of about 1 KB) that the
// open completes: every record read back, applied to the files and the files synced.
void OpenWithJournal(benchmark::State& state) {
  constexpr int kChanges = 3000;
  const std::string path = CopyOfFull("journal");
  const std::string journalPath = path + "-journal";
  std::string journal;
  {
    tindrel::testing::NoSyncFileSystem noSync;  // making the journal is set-up, not measured
    tindrel::engine::OpenOptions options;
    options.fileSystem = &noSync;
    auto t = Table::Open(path, options);
    const int text = t->FieldIndex("Text"), memo = t->FieldIndex("MEMO");
    for (int n = 0; n < kChanges; ++n) {
      Record rec = t->ReadRecord(static_cast<uint32_t>(n) * 31 % kNotes + 1);
      t->SetText(rec, text, "Journaled title " + std::to_string(n));
      rec.pendingMemos[memo] = t->EncodeText("Σημείωση " + std::to_string(n) + " " + std::string(900 + n % 200, 'j'), "MEMO");
      t->Modify(rec);
    }
    FILE* f = std::fopen(journalPath.c_str(), "rb");
    if (!f) return state.SkipWithError("the changes left no journal");
    char buffer[1 << 16];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, f)) > 0;) journal.append(buffer, got);
    std::fclose(f);
  }
  if (journal.size() < kChanges * size_t{900}) return state.SkipWithError("the journal was checkpointed");
  for (auto _ : state) {
    state.PauseTiming();
    FILE* f = std::fopen(journalPath.c_str(), "wb");
    std::fwrite(journal.data(), 1, journal.size(), f);
    std::fclose(f);
    state.ResumeTiming();
    auto t = Table::Open(path);
    if (t->Warnings().empty()) state.SkipWithError("the open completed nothing");
  }
  state.counters["journal_MB"] = static_cast<double>(journal.size()) / 1e6;
}

void PackHalfDeleted(benchmark::State& state) {
  const std::string dir = tables->folder + "/pack";
  fs::create_directory(dir);
  for (auto _ : state) {
    state.PauseTiming();
    for (const char* ext : {".dbf", ".dbt", ".mdx"})
      fs::copy_file(tables->folder + "/half/Tindrel" + ext, dir + "/Tindrel" + ext, fs::copy_options::overwrite_existing);
    auto t = Table::Open(tindrel::tools::NoteTablePath(dir));
    state.ResumeTiming();
    t->Pack();
    if (t->RecordCount() != kNotes / 2) state.SkipWithError("pack kept the wrong number of records");
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  BenchTables made;
  tables = &made;
  const std::string size = "/notes=" + std::to_string(kNotes);
  benchmark::RegisterBenchmark(("Open" + size).c_str(), Open)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("OpenWithJournal" + size + "/changes=3000").c_str(), OpenWithJournal)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("ScanInIndexOrder" + size).c_str(), ScanInIndexOrder)->Unit(benchmark::kMillisecond);
  // The disk's sync right before the changes: on a shared disk it varies from minute to minute.
  benchmark::RegisterBenchmark("SyncOfTheDisk/inPlace", SyncOfTheDisk, false)
      ->ArgName("bytes")->Arg(512)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("SyncOfTheDisk/append", SyncOfTheDisk, true)
      ->ArgName("bytes")->Arg(2048)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("ModifyWithMemo" + size).c_str(), ModifyWithMemo)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("Insert" + size).c_str(), Insert)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("Delete" + size).c_str(), Delete)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("PackHalfDeleted" + size).c_str(), PackHalfDeleted)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  tables = nullptr;
  return 0;
}
