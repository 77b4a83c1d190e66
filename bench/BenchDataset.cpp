// The dataset layer over a 100,000-note table: a full walk with notifications suspended, and
// LocateByValues on ID through the index.

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include "store/TField.h"
#include "store/TTable.h"
#include "store/engine/Cursor.h"
#include "store/engine/Table.h"
#include "bench/BenchNoteTable.h"

namespace {

using tindrel::bench::kNotes;
using tindrel::bench::NoteTable;

void BM_WalkSuspended(benchmark::State& state) {
  tindrel::TTable& table = NoteTable::Get().Table();
  tindrel::TField& id = table.FieldNamed("ID");
  tindrel::TField& parent = table.FieldNamed("Parent");
  tindrel::TField& text = table.FieldNamed("Text");
  int64_t records = 0;
  for (auto _ : state) {
    table.SuspendNotifications();
    table.First();
    while (!table.Eof()) {
      benchmark::DoNotOptimize(id.AsString());
      benchmark::DoNotOptimize(parent.AsString());
      benchmark::DoNotOptimize(text.AsString());
      ++records;
      table.Next();
    }
    table.ResumeNotifications();
  }
  state.counters["records"] = benchmark::Counter(static_cast<double>(records), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_WalkSuspended)->Name("Dataset/WalkSuspended/notes=100000")->Unit(benchmark::kMillisecond);

// The same walk straight on the engine cursor: the floor beneath the dataset's walk.
void BM_WalkEngineCursor(benchmark::State& state) {
  tindrel::TTable& table = NoteTable::Get().Table();
  tindrel::engine::Table* engine = table.EngineTable();
  for (auto _ : state) {
    auto cursor = engine->OpenCursor();
    cursor->SetOrder(0);
    cursor->MoveToBegin();
    tindrel::engine::Record r;
    while (cursor->Next(r) == tindrel::engine::ResultCode::Ok) {
      benchmark::DoNotOptimize(QString::fromStdString(engine->GetText(r, 0)));
      benchmark::DoNotOptimize(QString::fromStdString(engine->GetText(r, 1)));
      benchmark::DoNotOptimize(QString::fromStdString(engine->GetText(r, 2)));
    }
  }
}
BENCHMARK(BM_WalkEngineCursor)->Name("Dataset/WalkEngineCursorBaseline/notes=100000")->Unit(benchmark::kMillisecond);

void BM_LocateById(benchmark::State& state) {
  tindrel::TTable& table = NoteTable::Get().Table();
  int i = 0;
  for (auto _ : state) {
    // Spread over the table so no two look-ups hit the same record.
    const int id = 1 + static_cast<int>((static_cast<int64_t>(i++) * 7919) % kNotes);
    if (!table.LocateByValues("ID", {QString::number(id)})) state.SkipWithError("a note was not found");
  }
}
BENCHMARK(BM_LocateById)->Name("Dataset/LocateByValuesOnID/notes=100000")->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
