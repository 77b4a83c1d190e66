// The filter over generated note tables: applying an anywhere criterion on the title or on the
// memo (the hook installed, filtering switched off and on) and reading every note that passes,
// as a tree rebuild reads them. Memo criteria are measured through the memo's bytes in the
// table's code page and through the decoding path the byte path replaced.
//
// HookPass is the installed record test alone: the criterion applied once, then each iteration
// walks every record under the filter (each judged once by the hook, nothing read), as every
// later move, refresh and rebuild does. Its floor is the same walk under a hook that refuses
// every record without looking at it.

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

#include "bench/BenchNoteTable.h"
#include "bench/BenchSizedNotes.h"
#include "store/CodePageFold.h"
#include "filter/TwwFilterDialog.h"
#include "store/TDataSource.h"
#include "store/TField.h"
#include "store/TTable.h"

namespace {

using tindrel::bench::kNotes;

// A shared generated table behind a data source, with the main window's filter component on it.
class FilteredNotes {
 public:
  static FilteredNotes& Get(int notes = kNotes) {
    static std::map<int, std::unique_ptr<FilteredNotes>> instances;
    auto& slot = instances[notes];
    if (!slot) slot.reset(new FilteredNotes(notes));
    return *slot;
  }
  tindrel::TTable& Table() { return table_; }
  tindrel::TwwFilterDialog& Filter() { return filter_; }

 private:
  explicit FilteredNotes(int notes)
      : table_(tindrel::bench::SizedNoteTables::Get(notes)) {
    source_.SetDataSet(&table_);
    tindrel::ConfigureNoteFilterDialog(filter_, &source_);
  }
  tindrel::TTable& table_;
  tindrel::TDataSource source_;
  tindrel::TwwFilterDialog filter_;
};

tindrel::TwwFieldInfo Anywhere(const char* value, const char* field = "TEXT") {
  tindrel::TwwFieldInfo c;
  c.DisplayName = QString::fromLatin1(field);
  c.MatchType = tindrel::fdMatchAny;
  c.FilterValue = QString::fromUtf8(value);
  return c;
}

// Apply, then read every passing note's ID, Parent and Text with notifications suspended.
void ApplyAndRead(benchmark::State& state, const char* value, const char* field = "TEXT", bool bytePath = true,
                  int size = kNotes) {
  tindrel::SetMemoBytePath(bytePath);
  FilteredNotes& notes = FilteredNotes::Get(size);
  tindrel::TTable& table = notes.Table();
  tindrel::TField& id = table.FieldNamed("ID");
  tindrel::TField& parent = table.FieldNamed("Parent");
  tindrel::TField& text = table.FieldNamed("Text");
  int64_t passing = 0;
  for (auto _ : state) {
    notes.Filter().ApplyCriteria({Anywhere(value, field)});
    passing = 0;
    table.SuspendNotifications();
    for (table.First(); !table.Eof(); table.Next()) {
      benchmark::DoNotOptimize(id.AsString());
      benchmark::DoNotOptimize(parent.AsString());
      benchmark::DoNotOptimize(text.AsString());
      ++passing;
    }
    table.ResumeNotifications();
  }
  state.counters["notes"] = size;
  state.counters["passing"] = static_cast<double>(passing);
  notes.Filter().ApplyCriteria({});
  tindrel::SetMemoBytePath(true);
}

// Walks every record under the installed filter, counting those that pass.
int64_t WalkFiltered(tindrel::TTable& table) {
  int64_t passing = 0;
  table.SuspendNotifications();
  for (table.First(); !table.Eof(); table.Next()) ++passing;
  table.ResumeNotifications();
  return passing;
}

void HookPass(benchmark::State& state, const char* value, const char* field) {
  FilteredNotes& notes = FilteredNotes::Get();
  tindrel::TTable& table = notes.Table();
  notes.Filter().ApplyCriteria({Anywhere(value, field)});
  int64_t passing = WalkFiltered(table);  // a memo criterion's verdicts are made here
  for (auto _ : state) passing = WalkFiltered(table);
  state.counters["notes"] = kNotes;
  state.counters["passing"] = static_cast<double>(passing);
  notes.Filter().ApplyCriteria({});
}

void BM_HookPassTitle(benchmark::State& state) { HookPass(state, "an", "TEXT"); }
void BM_HookPassTitleGreek(benchmark::State& state) { HookPass(state, "σ", "TEXT"); }
void BM_HookPassMemoNoMatch(benchmark::State& state) { HookPass(state, "qqzzxq", "MEMO"); }
void BM_HookPassMemoAnywhere(benchmark::State& state) { HookPass(state, "the end", "MEMO"); }

void BM_HookPassFloor(benchmark::State& state) {
  tindrel::TTable& table = FilteredNotes::Get().Table();
  table.SetOnFilterRecord([](tindrel::TDataSet&, bool& accept) { accept = false; });
  table.SetFiltered(true);
  int64_t passing = 0;
  for (auto _ : state) passing = WalkFiltered(table);
  state.counters["notes"] = kNotes;
  state.counters["passing"] = static_cast<double>(passing);
  table.SetFiltered(false);
  table.SetOnFilterRecord(nullptr);
}

void BM_ApplyAnywhereLatin(benchmark::State& state) { ApplyAndRead(state, "an"); }
void BM_ApplyAnywhereGreek(benchmark::State& state) { ApplyAndRead(state, "σ"); }
void BM_ApplyAnywhereOr(benchmark::State& state) { ApplyAndRead(state, "note or σημείωση or the"); }

}  // namespace

// A memo criterion: "the end" in the memo, and a word that no memo holds.
void BM_ApplyMemoAnywhere(benchmark::State& state) { ApplyAndRead(state, "the end", "MEMO"); }
void BM_ApplyMemoAnywhereDecoding(benchmark::State& state) { ApplyAndRead(state, "the end", "MEMO", false); }
void BM_ApplyMemoNoMatch(benchmark::State& state) { ApplyAndRead(state, "qqzzxq", "MEMO"); }
void BM_ApplyMemoNoMatchDecoding(benchmark::State& state) { ApplyAndRead(state, "qqzzxq", "MEMO", false); }
void BM_ApplyMemoAnywhere10k(benchmark::State& state) { ApplyAndRead(state, "the end", "MEMO", true, 10000); }
void BM_ApplyMemoAnywhereDecoding10k(benchmark::State& state) { ApplyAndRead(state, "the end", "MEMO", false, 10000); }

BENCHMARK(BM_ApplyAnywhereLatin)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyMemoAnywhere)->Name("Filter/MemoAnywhere/notes=100000")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyMemoAnywhereDecoding)->Name("Filter/MemoAnywhereDecoding/notes=100000")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ApplyMemoNoMatch)->Name("Filter/MemoNoMatch/notes=100000")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyMemoNoMatchDecoding)->Name("Filter/MemoNoMatchDecoding/notes=100000")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ApplyMemoAnywhere10k)->Name("Filter/MemoAnywhere/notes=10000")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyMemoAnywhereDecoding10k)->Name("Filter/MemoAnywhereDecoding/notes=10000")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyAnywhereGreek)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyAnywhereOr)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HookPassTitle)->Name("Filter/HookPass/Title/notes=100000")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HookPassTitleGreek)->Name("Filter/HookPass/TitleGreek/notes=100000")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HookPassMemoNoMatch)->Name("Filter/HookPass/MemoNoMatch/notes=100000")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HookPassMemoAnywhere)->Name("Filter/HookPass/MemoAnywhere/notes=100000")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HookPassFloor)->Name("Filter/HookPass/Floor/notes=100000")->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
