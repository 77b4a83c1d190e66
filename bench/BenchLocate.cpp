// The locate search over generated note tables: an anywhere search on the title that finds
// nothing, so every record is read (the engine-cursor scan), and the same on the memo, both
// through the memo's bytes in the table's code page and through the decoding path the byte
// path replaced (each memo read and decoded through the dataset); and the search a keystroke
// in the search dialog runs on a memo column (the start of every memo, ignoring case).

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchNoteTable.h"
#include "bench/BenchSizedNotes.h"
#include "store/CodePageFold.h"
#include "store/FindFieldValue.h"
#include "store/TField.h"
#include "store/TTable.h"
#include "store/engine/Record.h"

namespace {

using tindrel::bench::kNotes;
using tindrel::bench::NoteTable;
using tindrel::bench::SizedNoteTables;

void RunNoMatch(benchmark::State& state, tindrel::TTable& table, const char* field, tindrel::TwwLocateMatchType type,
                bool bytePath, int notes, const QString& text = QStringLiteral("qqzzxq no such text")) {
  table.First();
  tindrel::SetMemoBytePath(bytePath);
  for (auto _ : state) {
    const bool found = tindrel::FindFieldValue(true, table, QString::fromLatin1(field), text, type, false);
    if (found) state.SkipWithError("the search found a record");
    benchmark::DoNotOptimize(found);
  }
  tindrel::SetMemoBytePath(true);
  state.counters["notes"] = notes;
}

void BM_AnywhereNoMatchText(benchmark::State& state) {
  RunNoMatch(state, NoteTable::Get().Table(), "TEXT", tindrel::mtPartialMatchAny, true, kNotes);
}
BENCHMARK(BM_AnywhereNoMatchText)->Name("Locate/AnywhereNoMatch/Text/notes=100000")->Unit(benchmark::kMillisecond);

void BM_AnywhereNoMatchMemo(benchmark::State& state) {
  RunNoMatch(state, NoteTable::Get().Table(), "MEMO", tindrel::mtPartialMatchAny, true, kNotes);
}
BENCHMARK(BM_AnywhereNoMatchMemo)->Name("Locate/AnywhereNoMatch/Memo/notes=100000")->Unit(benchmark::kMillisecond);

// A short word, as people mostly search: three letters found nowhere.
void BM_AnywhereNoMatchMemoShortWord(benchmark::State& state) {
  RunNoMatch(state, NoteTable::Get().Table(), "MEMO", tindrel::mtPartialMatchAny, true, kNotes, QStringLiteral("qzx"));
}
BENCHMARK(BM_AnywhereNoMatchMemoShortWord)
    ->Name("Locate/AnywhereNoMatch/MemoShortWord/notes=100000")
    ->Unit(benchmark::kMillisecond);

void BM_AnywhereNoMatchMemoDecoding(benchmark::State& state) {
  RunNoMatch(state, NoteTable::Get().Table(), "MEMO", tindrel::mtPartialMatchAny, false, kNotes);
}
BENCHMARK(BM_AnywhereNoMatchMemoDecoding)
    ->Name("Locate/AnywhereNoMatch/MemoDecoding/notes=100000")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

void BM_AnywhereNoMatchMemo10k(benchmark::State& state) {
  RunNoMatch(state, SizedNoteTables::Get(10000), "MEMO", tindrel::mtPartialMatchAny, true, 10000);
}
BENCHMARK(BM_AnywhereNoMatchMemo10k)->Name("Locate/AnywhereNoMatch/Memo/notes=10000")->Unit(benchmark::kMillisecond);

void BM_AnywhereNoMatchMemoDecoding10k(benchmark::State& state) {
  RunNoMatch(state, SizedNoteTables::Get(10000), "MEMO", tindrel::mtPartialMatchAny, false, 10000);
}
BENCHMARK(BM_AnywhereNoMatchMemoDecoding10k)
    ->Name("Locate/AnywhereNoMatch/MemoDecoding/notes=10000")
    ->Unit(benchmark::kMillisecond);

// One keystroke in the search dialog on a memo column: a find-first of the typed start.
void BM_SearchDialogKeystrokeMemo(benchmark::State& state) {
  RunNoMatch(state, NoteTable::Get().Table(), "MEMO", tindrel::mtPartialMatchStart, true, kNotes);
}
BENCHMARK(BM_SearchDialogKeystrokeMemo)->Name("Locate/SearchDialogKeystroke/Memo/notes=100000")->Unit(benchmark::kMillisecond);

void BM_SearchDialogKeystrokeMemoDecoding(benchmark::State& state) {
  RunNoMatch(state, NoteTable::Get().Table(), "MEMO", tindrel::mtPartialMatchStart, false, kNotes);
}
BENCHMARK(BM_SearchDialogKeystrokeMemoDecoding)
    ->Name("Locate/SearchDialogKeystroke/MemoDecoding/notes=100000")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

void BM_SearchDialogKeystrokeMemo10k(benchmark::State& state) {
  RunNoMatch(state, SizedNoteTables::Get(10000), "MEMO", tindrel::mtPartialMatchStart, true, 10000);
}
BENCHMARK(BM_SearchDialogKeystrokeMemo10k)->Name("Locate/SearchDialogKeystroke/Memo/notes=10000")->Unit(benchmark::kMillisecond);

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

// The floor beneath the memo search: the same cursor read collecting each record's memo block,
// then every memo read in file order as the search reads them, and nothing compared.
void MemoReadFloor(benchmark::State& state, tindrel::TTable& table, int notes) {
  const int memo = table.FieldNamed(QStringLiteral("MEMO")).Index();
  for (auto _ : state) {
    table.First();
    table.SyncEngineCursor();
    tindrel::engine::Record record;
    std::vector<uint32_t> blocks;
    while (table.ReadNextRecord(record) == tindrel::engine::ResultCode::Ok)
      blocks.push_back(table.EngineTable()->MemoBlockOf(record, memo).value_or(0));
    int64_t total = 0;
    table.EngineTable()->ReadMemoBlocks(blocks, [&](size_t, bool, std::string_view bytes) {
      total += static_cast<int64_t>(bytes.size());
    });
    benchmark::DoNotOptimize(total);
    state.counters["memo_MB"] = static_cast<double>(total) / 1e6;
  }
  state.counters["notes"] = notes;
}
void BM_MemoReadFloor(benchmark::State& state) { MemoReadFloor(state, NoteTable::Get().Table(), kNotes); }
BENCHMARK(BM_MemoReadFloor)->Name("Locate/MemoReadFloor/notes=100000")->Unit(benchmark::kMillisecond);
void BM_MemoReadFloor10k(benchmark::State& state) { MemoReadFloor(state, SizedNoteTables::Get(10000), 10000); }
BENCHMARK(BM_MemoReadFloor10k)->Name("Locate/MemoReadFloor/notes=10000")->Unit(benchmark::kMillisecond);

void BM_AnywhereNoMatchMemoMillion(benchmark::State& state) {
  RunNoMatch(state, SizedNoteTables::Get(1000000), "MEMO", tindrel::mtPartialMatchAny, true, 1000000);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (tindrel::bench::MillionNotesWanted())
    benchmark::RegisterBenchmark("Locate/AnywhereNoMatch/Memo/notes=1000000", BM_AnywhereNoMatchMemoMillion)
        ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
