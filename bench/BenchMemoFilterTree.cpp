// The Filter command on a memo criterion over generated note tables (memos in English and
// Greek, up to 64 KiB): the criterion applied to every note (the hook installed, filtering
// switched off and on) and the real tree view rebuilt from the notes that pass, offscreen.
// Measured through the memo's bytes in the table's code page and through the decoding path the
// byte path replaced.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>

#include <map>
#include <memory>

#include "bench/WidgetBenchMain.h"
#include "filter/TwwFilterDialog.h"
#include "store/CodePageFold.h"
#include "store/TDataSource.h"
#include "store/TTable.h"
#include "tests/support/platform/ScriptedPlatform.h"
#include "tools/NoteTable.h"
#include "tree/TTreeNode.h"
#include "tree/dbTree.h"
#include "bench/BenchNoteTable.h"

namespace tindrel {
namespace {

// A generated table (seed 1) under the main window's tree view and filter component.
struct GeneratedTreeWindow {
  explicit GeneratedTreeWindow(int notes)
      : tablePath(MakeTable(notes)), view(bench::TreeWindow::OverTable{}, tablePath) {
    view.OpenAndShow();
    ConfigureNoteFilterDialog(filter, &view.source);
  }
  static GeneratedTreeWindow& Get(int notes) {
    static std::map<int, std::unique_ptr<GeneratedTreeWindow>> windows;
    // The windows go while the application still stands (as static objects they would go after
    // it, and their widgets with them).
    static const bool cleared = (qAddPostRoutine([] { windows.clear(); }), true);
    (void)cleared;
    auto& slot = windows[notes];
    if (!slot) slot = std::make_unique<GeneratedTreeWindow>(notes);
    return *slot;
  }

  static std::string MakeTable(int notes) {
    static QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/" + std::to_string(notes);
    QDir().mkpath(QString::fromStdString(folder));
    tools::CreateNoteTable(folder, tools::RandomNotes(static_cast<uint32_t>(notes), 1));
    return tools::NoteTablePath(folder);
  }

  std::string tablePath;
  bench::TreeWindow view;
  TwwFilterDialog filter;
};

void FilterMemoAndRebuild(benchmark::State& state, const char* value, bool bytePath) {
  const int notes = static_cast<int>(state.range(0));
  GeneratedTreeWindow& w = GeneratedTreeWindow::Get(notes);
  TwwFieldInfo criterion;
  criterion.DisplayName = QStringLiteral("MEMO");
  criterion.MatchType = fdMatchAny;
  criterion.FilterValue = QString::fromUtf8(value);
  SetMemoBytePath(bytePath);
  int shown = 0;
  for (auto _ : state) {
    w.filter.ApplyCriteria({criterion});
    w.view.tree->RebuildTree();
    QApplication::processEvents();
    state.PauseTiming();
    shown = 0;
    for (TTreeNodeIterator it(w.view.tree->invisibleRootItem()); *it; ++it) ++shown;
    w.filter.ApplyCriteria({});
    w.view.tree->RebuildTree();
    QApplication::processEvents();
    state.ResumeTiming();
  }
  SetMemoBytePath(true);
  state.counters["notes"] = notes;
  state.counters["shown"] = shown;
}

// Two words side by side: some of the generated memos have them, so the tree is rebuilt from those.
void BM_FilterMemoAnywhereAndRebuild(benchmark::State& state) { FilterMemoAndRebuild(state, "harbour village", true); }
void BM_FilterMemoAnywhereAndRebuildDecoding(benchmark::State& state) {
  FilterMemoAndRebuild(state, "harbour village", false);
}
void BM_FilterMemoNoMatchAndRebuild(benchmark::State& state) { FilterMemoAndRebuild(state, "qqzzxq", true); }
void BM_FilterMemoNoMatchAndRebuildDecoding(benchmark::State& state) { FilterMemoAndRebuild(state, "qqzzxq", false); }

BENCHMARK(BM_FilterMemoAnywhereAndRebuild)->ArgName("notes")->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FilterMemoAnywhereAndRebuildDecoding)->ArgName("notes")->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FilterMemoNoMatchAndRebuild)->ArgName("notes")->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FilterMemoNoMatchAndRebuildDecoding)->ArgName("notes")->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace tindrel

int main(int argc, char** argv) { return tindrel::RunWidgetBenchmarks(argc, argv); }
