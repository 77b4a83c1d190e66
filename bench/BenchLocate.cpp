// The locate search over a 100,000-note table: an anywhere search on the title that finds
// nothing, so every record is read (the engine-cursor scan), and the same on the memo (the scan
// through the dataset with notifications suspended).

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include "store/FindFieldValue.h"
#include "store/TField.h"
#include "store/TTable.h"
#include "store/engine/Record.h"
#include "bench/BenchNoteTable.h"

namespace {

using tindrel::bench::kNotes;
using tindrel::bench::NoteTable;

void RunNoMatch(benchmark::State& state, const char* field) {
  tindrel::TTable& table = NoteTable::Get().Table();
  table.First();
  for (auto _ : state) {
    const bool found = tindrel::FindFieldValue(true, table, QString::fromLatin1(field), QStringLiteral("qqzzxq no such text"),
                                               tindrel::mtPartialMatchAny, false);
    if (found) state.SkipWithError("the search found a record");
    benchmark::DoNotOptimize(found);
  }
  state.counters["notes"] = kNotes;
}

void BM_AnywhereNoMatchText(benchmark::State& state) { RunNoMatch(state, "TEXT"); }
BENCHMARK(BM_AnywhereNoMatchText)->Name("Locate/AnywhereNoMatch/Text/notes=100000")->Unit(benchmark::kMillisecond);

void BM_AnywhereNoMatchMemo(benchmark::State& state) { RunNoMatch(state, "MEMO"); }
BENCHMARK(BM_AnywhereNoMatchMemo)->Name("Locate/AnywhereNoMatch/Memo/notes=100000")->Unit(benchmark::kMillisecond)->Iterations(3);

// The floor beneath the title search: the same engine cursor read over every record in the
// same order, copying the title out and nothing else.
void BM_EngineReadFloor(benchmark::State& state) {
  tindrel::TTable& table = NoteTable::Get().Table();
  const int textNo = table.FieldNamed(QStringLiteral("TEXT")).FieldNo();
  for (auto _ : state) {
    table.First();
    table.SyncEngineCursor();
    tindrel::engine::Record record;
    std::string native;
    bool blank = false;
    int64_t records = 0;
    while (table.ReadNextRecord(record) == tindrel::engine::ResultCode::Ok) {
      table.CopyField(record, textNo, native, blank);
      benchmark::DoNotOptimize(native.data());
      ++records;
    }
    benchmark::DoNotOptimize(records);
  }
  state.counters["notes"] = kNotes;
}
BENCHMARK(BM_EngineReadFloor)->Name("Locate/EngineReadFloor/notes=100000")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
