// The data-bound tree view over a note table of 100,000 notes, offscreen: the first build (table
// opened to tree shown), a reload after one note's text changed elsewhere, inserting a child and
// posting its title, deleting a leaf, and moving a node by a drop.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>

#include <memory>

#include "bench/BenchNoteTable.h"
#include "bench/WidgetBenchMain.h"
#include "store/TField.h"
#include "store/TTable.h"
#include "filter/TwwFilterDialog.h"
#include "tree/dbTree.h"

namespace tindrel {
namespace {

using bench::TreeWindow;

void BM_FirstBuild(benchmark::State& state) {
  const int notes = static_cast<int>(state.range(0));
  TreeWindow w(notes);
  for (auto _ : state) {
    w.OpenAndShow();
    state.PauseTiming();
    if (w.tree->topLevelItemCount() != 1) state.SkipWithError("tree not built");
    w.table.Close();
    state.ResumeTiming();
  }
  state.counters["notes"] = notes;
}
BENCHMARK(BM_FirstBuild)->ArgName("notes")->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ReloadAfterOneTextChanged(benchmark::State& state) {
  const int notes = static_cast<int>(state.range(0));
  TreeWindow w(notes);
  w.OpenAndShow();
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    engine::Table* engine = w.table.EngineTable();
    engine::Record r = engine->ReadRecord(static_cast<uint32_t>(notes / 2));
    engine->SetText(r, 2, "changed elsewhere " + std::to_string(++round));
    engine->Modify(r);
    state.ResumeTiming();
    w.tree->RebuildTree();
    QApplication::processEvents();
  }
  state.counters["notes"] = notes;
}
BENCHMARK(BM_ReloadAfterOneTextChanged)->ArgName("notes")->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_InsertChildAndPostTitle(benchmark::State& state) {
  const int notes = static_cast<int>(state.range(0));
  TreeWindow w(notes);
  w.OpenAndShow();
  if (state.range(1) == 0) w.tree->FullCollapse();
  for (auto _ : state) {
    state.PauseTiming();
    w.tree->Select(w.tree->FindNodeByID(QStringLiteral("3")));
    state.ResumeTiming();
    w.tree->InsertNode(true);
    w.table.FieldNamed(QStringLiteral("Text")).SetAsString(QStringLiteral("a new note"));
    w.tree->EndLabelEdit(true);  // Enter in the label: the title is written and posted
    QApplication::processEvents();
    state.PauseTiming();
    if (w.table.State() != DataSetState::Browse) {
      state.SkipWithError("the new note was not posted");
      break;
    }
    state.ResumeTiming();
  }
  state.counters["notes"] = notes;
}
// expanded=1: every node open, as the first build leaves them; expanded=0: all closed. The
// difference is the control's own relayout of every open row after a row comes or goes.
BENCHMARK(BM_InsertChildAndPostTitle)
    ->ArgNames({"notes", "expanded"})
    ->Args({100000, 1})
    ->Args({100000, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

void BM_DeleteLeaf(benchmark::State& state) {
  const int notes = static_cast<int>(state.range(0));
  TreeWindow w(notes);
  w.OpenAndShow();
  if (state.range(1) == 0) w.tree->FullCollapse();
  int leaf = notes;
  for (auto _ : state) {
    state.PauseTiming();
    TTreeNode* node = w.tree->FindNodeByID(QString::number(leaf--));
    w.tree->Select(node);
    QApplication::processEvents();
    state.ResumeTiming();
    w.tree->DeleteSelected();  // the scripted box answers OK
    QApplication::processEvents();
    state.PauseTiming();
    if (w.tree->FindNodeByID(QString::number(leaf + 1))) {
      state.SkipWithError("the leaf was not deleted");
      break;
    }
    state.ResumeTiming();
  }
  state.counters["notes"] = notes;
}
// expanded=1: every node open, as the first build leaves them; expanded=0: all closed. The
// difference is the control's own relayout of every open row after a row comes or goes.
BENCHMARK(BM_DeleteLeaf)
    ->ArgNames({"notes", "expanded"})
    ->Args({100000, 1})
    ->Args({100000, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

void BM_MoveNodeByDrop(benchmark::State& state) {
  const int notes = static_cast<int>(state.range(0));
  TreeWindow w(notes);
  w.OpenAndShow();
  w.tree->FullCollapse();
  TTreeNode* root = w.tree->topLevelItem(0);
  root->setExpanded(true);  // notes 2..7 are visible rows under the root
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    // Move note 2 under note 3 and back again, alternately.
    const bool there = round++ % 2 == 0;
    TTreeNode* moved = w.tree->FindNodeByID(QStringLiteral("2"));
    TTreeNode* target = there ? w.tree->FindNodeByID(QStringLiteral("3")) : root;
    w.tree->Select(moved);
    w.tree->MakeVisible(target);
    QApplication::processEvents();
    const QPoint at = w.tree->visualItemRect(target).topLeft() + QPoint(4, 3);
    std::unique_ptr<QMimeData> data(w.tree->CreateDragData());
    state.ResumeTiming();
    QDragEnterEvent enter(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.tree->viewport(), &enter);
    QDragMoveEvent move(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.tree->viewport(), &move);
    QDropEvent drop(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.tree->viewport(), &drop);
    QApplication::processEvents();
    state.PauseTiming();
    TTreeNode* now = w.tree->FindNodeByID(QStringLiteral("2"));
    if (!now || now->parent() != target) {
      state.SkipWithError("the drop did not move the node");
      break;
    }
    state.ResumeTiming();
  }
  state.counters["notes"] = notes;
}
BENCHMARK(BM_MoveNodeByDrop)->ArgName("notes")->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(6);

// The Filter command at scale: an anywhere criterion on the title applied to every note (the
// hook installed, filtering switched off and on), then the tree rebuilt from the notes that pass.
void BM_FilterAnywhereAndRebuild(benchmark::State& state) {
  const int notes = static_cast<int>(state.range(0));
  TreeWindow w(notes);
  w.OpenAndShow();
  TwwFilterDialog filter;
  ConfigureNoteFilterDialog(filter, &w.source);
  TwwFieldInfo criterion;
  criterion.DisplayName = QStringLiteral("TEXT");
  criterion.MatchType = fdMatchAny;
  criterion.FilterValue = QStringLiteral("77");
  int shown = 0;
  for (auto _ : state) {
    filter.ApplyCriteria({criterion});
    w.tree->RebuildTree();
    QApplication::processEvents();
    state.PauseTiming();
    shown = 0;
    for (TTreeNodeIterator it(w.tree->invisibleRootItem()); *it; ++it) ++shown;
    filter.ApplyCriteria({});
    w.tree->RebuildTree();
    QApplication::processEvents();
    state.ResumeTiming();
  }
  state.counters["notes"] = notes;
  state.counters["shown"] = shown;
}
BENCHMARK(BM_FilterAnywhereAndRebuild)->ArgName("notes")->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace tindrel

int main(int argc, char** argv) { return tindrel::RunWidgetBenchmarks(argc, argv); }
