// The filter over a 100,000-note table: applying an anywhere criterion on the title (the hook
// installed, filtering switched off and on) and reading every note that passes, as a tree
// rebuild reads them.

#include <benchmark/benchmark.h>

#include "bench/BenchNoteTable.h"
#include "filter/TwwFilterDialog.h"
#include "store/TDataSource.h"
#include "store/TField.h"
#include "store/TTable.h"

namespace {

using tindrel::bench::kNotes;

// The shared generated table behind a data source, with the main window's filter component on it.
class FilteredNotes {
 public:
  static FilteredNotes& Get() {
    static FilteredNotes instance;
    return instance;
  }
  tindrel::TTable& Table() { return tindrel::bench::NoteTable::Get().Table(); }
  tindrel::TwwFilterDialog& Filter() { return filter_; }

 private:
  FilteredNotes() {
    source_.SetDataSet(&Table());
    tindrel::ConfigureNoteFilterDialog(filter_, &source_);
  }
  tindrel::TDataSource source_;
  tindrel::TwwFilterDialog filter_;
};

tindrel::TwwFieldInfo Anywhere(const char* value) {
  tindrel::TwwFieldInfo c;
  c.DisplayName = QStringLiteral("TEXT");
  c.MatchType = tindrel::fdMatchAny;
  c.FilterValue = QString::fromUtf8(value);
  return c;
}

// Apply, then read every passing note's ID, Parent and Text with notifications suspended.
void ApplyAndRead(benchmark::State& state, const char* value) {
  FilteredNotes& notes = FilteredNotes::Get();
  tindrel::TTable& table = notes.Table();
  tindrel::TField& id = table.FieldNamed("ID");
  tindrel::TField& parent = table.FieldNamed("Parent");
  tindrel::TField& text = table.FieldNamed("Text");
  int64_t passing = 0;
  for (auto _ : state) {
    notes.Filter().ApplyCriteria({Anywhere(value)});
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
  state.counters["notes"] = kNotes;
  state.counters["passing"] = static_cast<double>(passing);
  notes.Filter().ApplyCriteria({});
}

void BM_ApplyAnywhereLatin(benchmark::State& state) { ApplyAndRead(state, "an"); }
void BM_ApplyAnywhereGreek(benchmark::State& state) { ApplyAndRead(state, "σ"); }
void BM_ApplyAnywhereOr(benchmark::State& state) { ApplyAndRead(state, "note or σημείωση or the"); }

}  // namespace

BENCHMARK(BM_ApplyAnywhereLatin)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyAnywhereGreek)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyAnywhereOr)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
