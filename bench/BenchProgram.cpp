// The whole program at scale: the real main window, offscreen, on a generated note table of
// 10,000 and 100,000 notes (and 1,000,000 with TINDREL_BENCH_MILLION=1 in the environment: about
// 1.1 GB of files and a few minutes) with memos from 0 bytes to 64 KiB. One session runs each step
// once, as a person would: open (table opened and tree shown), browse 200 notes one by one, find
// a title word of the last note, filter by that word and rebuild the tree (what OK in the filter
// dialog does), clear the filter again, insert a child note and give it a title, move it under
// another note by drag and drop, and delete it again (the mean of 20 such rounds), pack with half
// of the notes deleted, close. Each step's wall time is a counter in milliseconds;
// peak_rss_MB_open is the process's peak resident memory with the notes open. The table is
// written by a child process, so the generated notes never count towards this process's peak.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchNoteTable.h"
#include "bench/WidgetBenchMain.h"
#include "app/TMainForm.h"
#include "filter/TwwFilterDialog.h"
#include "store/FindFieldValue.h"
#include "platform/ErrorBox.h"
#include "store/TField.h"
#include "store/TTable.h"
#include "tests/support/platform/ScriptedPlatform.h"
#include "tree/dbTree.h"

namespace tindrel {
namespace {

double PeakRssMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

// Wall time of `step` in milliseconds, with the events it posted handled.
double Milliseconds(const std::function<void()>& step) {
  QElapsedTimer timer;
  timer.start();
  step();
  QApplication::processEvents();
  return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// Drags the selected node onto `target` and drops it there, as the mouse would. The target is
// first brought to the middle of the view: a row at its top or bottom edge makes the drag scroll
// the view under the mouse, so that the drop lands on another row.
void DropSelectedOnto(TDBTreeView& tree, TTreeNode* target) {
  tree.MakeVisible(target);
  tree.scrollToItem(target, QAbstractItemView::PositionAtCenter);
  QApplication::processEvents();
  const QPoint at = tree.visualItemRect(target).topLeft() + QPoint(4, 3);
  std::unique_ptr<QMimeData> data(tree.CreateDragData());
  QDragEnterEvent enter(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(tree.viewport(), &enter);
  QDragMoveEvent move(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(tree.viewport(), &move);
  QDropEvent drop(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(tree.viewport(), &drop);
}

// The top-level note after the one `node` lies under (the first after the last): a drop target
// in plain sight whatever the depth of `node`. A note deeper than the tree is wide lies right of
// the tree's one column, where a drop finds no row.
TTreeNode* NextTopLevelNote(TDBTreeView& tree, TTreeNode* node) {
  while (node->parent()) node = node->parent();
  const int row = tree.invisibleRootItem()->indexOfChild(node);
  return tree.topLevelItem((row + 1) % tree.topLevelItemCount());
}

void BM_ProgramSession(benchmark::State& state) {
  const auto count = static_cast<uint32_t>(state.range(0));
  testing::ScriptedPlatform platform;  // every question answered OK
  InstallDefaultErrorHandler();
  for (auto _ : state) {
    state.PauseTiming();
    QTemporaryDir dir;
    if (!bench::WriteGeneratedNotesInChild(dir.path().toStdString(), count, 20261210)) {
      state.SkipWithError("the note table could not be written");
      break;
    }
    state.ResumeTiming();

    std::unique_ptr<TMainForm> form;
    const double open = Milliseconds([&] {
      form = std::make_unique<TMainForm>(dir.path() + QLatin1Char('/'));
      form->show();
    });
    const double rssOpen = PeakRssMegabytes();

    constexpr int kBrowsed = 200;
    const double browse = Milliseconds([&] {
      form->MenuFirst->trigger();
      for (int i = 0; i < kBrowsed; ++i) form->MenuNext->trigger();
    });

    // A word of the last note's title: the search walks nearly the whole table.
    form->MenuLast->trigger();
    const QString lastTitle = form->Table->FieldNamed("TEXT").AsString();
    const QString word = lastTitle.section(QLatin1Char(' '), 0, 0);

    bool found = false;
    const double search = Milliseconds([&] {
      form->MenuFirst->trigger();
      found = FindFieldValue(true, *form->Table, QStringLiteral("TEXT"), word, mtPartialMatchAny, false);
    });

    uint32_t passed = 0;
    const double filter = Milliseconds([&] {
      TwwFieldInfo criterion;
      criterion.DisplayName = QStringLiteral("TEXT");
      criterion.MatchType = fdMatchAny;
      criterion.FilterValue = word;
      form->FilterDialog->ApplyCriteria({criterion});
      form->MenuRebuildTree->trigger();
    });
    passed = form->Table->RecordCount();
    const double unfilter = Milliseconds([&] {
      form->FilterDialog->ApplyCriteria({});
      form->MenuRebuildTree->trigger();
    });

    // Insert, move and delete are single changes: their mean over several notes is the figure.
    // Each round inserts a child of the next note in ID order, drops it onto the next top-level
    // note (with every note open, its open subtree lies between it and the drop), and deletes it
    // again.
    constexpr int kEdits = 20;
    double insert = 0;
    double move = 0;
    double remove = 0;
    bool moved = true;
    form->MenuFirst->trigger();
    for (int i = 0; i < kEdits; ++i) {
      form->MenuNext->trigger();
      QApplication::processEvents();
      insert += Milliseconds([&] {
        form->DBTreeView->InsertNode(true);
        if (auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget())) editor->setText("bench note");
        form->DBTreeView->EndLabelEdit(true);
        QApplication::processEvents();
        if (form->Table->State() != DataSetState::Browse) form->MenuDataPost->trigger();
      }) / kEdits;
      const QString insertedID = NodeID(form->DBTreeView->Selected());
      TTreeNode* target = NextTopLevelNote(*form->DBTreeView, form->DBTreeView->Selected());
      const QString targetID = NodeID(target);
      move += Milliseconds([&] { DropSelectedOnto(*form->DBTreeView, target); }) / kEdits;
      TTreeNode* now = form->DBTreeView->FindNodeByID(insertedID);
      moved = moved && now && now->parent() && NodeID(now->parent()) == targetID;
      if (now) form->DBTreeView->Select(now);
      QApplication::processEvents();
      remove += Milliseconds([&] { form->DBTreeView->DeleteSelected(); }) / kEdits;
    }
    const double close = Milliseconds([&] {
      form->close();
      form.reset();
    });

    // Pack with half of the notes deleted: the flags are set while the table is closed, then
    // the window opens again and packs.
    state.PauseTiming();
    bench::MarkEverySecondRecordDeleted((dir.path() + QStringLiteral("/Tindrel.dbf")).toStdString());
    form = std::make_unique<TMainForm>(dir.path() + QLatin1Char('/'));
    form->show();
    QApplication::processEvents();
    state.ResumeTiming();
    const double pack = Milliseconds([&] { form->MenuPack->trigger(); });
    const auto packed = static_cast<double>(form->Table->RecordCount());
    form->close();
    form.reset();

    state.counters["open_ms"] = open;
    state.counters["browse_per_note_ms"] = browse / kBrowsed;
    state.counters["search_ms"] = search;
    state.counters["filter_ms"] = filter;
    state.counters["unfilter_ms"] = unfilter;
    state.counters["insert_ms"] = insert;
    if (!moved) state.SkipWithError("a drop did not move its note");
    state.counters["move_ms"] = move;
    state.counters["moved"] = moved;
    state.counters["delete_ms"] = remove;
    state.counters["close_ms"] = close;
    state.counters["pack_half_ms"] = pack;
    state.counters["after_pack"] = packed;
    state.counters["found"] = found;
    state.counters["filter_passed"] = passed;
    state.counters["peak_rss_MB_open"] = rssOpen;
    state.counters["peak_rss_MB"] = PeakRssMegabytes();
    state.counters["notes"] = count;
  }
}

void RegisterProgramSessions() {
  auto* session = benchmark::RegisterBenchmark("BM_ProgramSession", BM_ProgramSession);
  session->ArgName("notes")->Unit(benchmark::kMillisecond)->Iterations(1);
  for (int64_t notes : bench::ProgramNoteCounts()) session->Arg(notes);
}

}  // namespace
}  // namespace tindrel

int main(int argc, char** argv) {
  tindrel::RegisterProgramSessions();
  return tindrel::RunWidgetBenchmarks(argc, argv);
}
