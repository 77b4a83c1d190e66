// Engine figures on a note table of 100,000 generated notes (the table tool's create logic):
// open with the index, a full scan in index order, single changes (each synced), and a pack
// with half the records deleted. Run: build/bench/BenchEngine (see bench/README.md).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "store/engine/Cursor.h"
#include "store/engine/Table.h"
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

    // Marking half the records deleted one change at a time would take 50,000 syncs; the
    // flags are set in the file directly and the index is rebuilt, which is the same state.
    fs::create_directory(folder + "/half");
    for (const char* ext : {".dbf", ".dbt", ".mdx"})
      fs::copy_file(folder + "/full/Tindrel" + ext, folder + "/half/Tindrel" + ext);
    half = tindrel::tools::NoteTablePath(folder + "/half");
    {
      auto t = Table::Open(half);
      const uint32_t recordLength = t->RecordLength();
      const uint32_t count = t->RecordCount();
      t.reset();
      FILE* f = std::fopen(half.c_str(), "r+b");
      unsigned char head[12];
      if (std::fread(head, 1, sizeof head, f) != sizeof head) std::abort();
      const uint32_t headerLength = head[8] | head[9] << 8;
      for (uint32_t recno = 2; recno <= count; recno += 2) {
        std::fseek(f, static_cast<long>(headerLength + uint64_t{recno - 1} * recordLength), SEEK_SET);
        std::fputc('*', f);
      }
      std::fclose(f);
      Table::Open(half)->Reindex();
    }
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
  benchmark::RegisterBenchmark(("ScanInIndexOrder" + size).c_str(), ScanInIndexOrder)->Unit(benchmark::kMillisecond);
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
