#pragma once
// The note tables and the tree window that the benchmarks share:
// - the generated 100,000-note table (titles and memos as `tindrel-table create --notes` writes
//   them), written once per benchmark program and opened in the main window's order;
// - the same kind of table written by a child process, for a benchmark that measures its own
//   peak memory and must not count the generated notes towards it;
// - a tree-shaped table (note i under note i / 8), cached between runs and copied fresh for each
//   benchmark, with a window holding the real tree view over it.

#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "store/TDataSource.h"
#include "store/TTable.h"
#include "bench/BenchSizedNotes.h"
#include "bench/MarkDeleted.h"
#include "tests/support/TableBuilder.h"
#include "tests/support/platform/ScriptedPlatform.h"
#include "tools/NoteTable.h"
#include "tree/dbTree.h"

namespace tindrel::bench {

inline constexpr int kNotes = 100000;

// The generated 100,000-note table, shared with the sized tables of the search benchmarks.
class NoteTable {
 public:
  static NoteTable& Get() {
    static NoteTable instance;
    return instance;
  }
  TTable& Table() { return SizedNoteTables::Get(kNotes); }
};

// Writes `count` generated notes into `folder` from a child process, one note at a time. False
// when it failed.
inline bool WriteGeneratedNotesInChild(const std::string& folder, uint32_t count, uint64_t seed) {
  const pid_t writer = fork();
  if (writer == 0) {
    tools::RandomNoteSource source(count, seed);
    tools::CreateNoteTable(folder, count, [&](tools::Note& next) { return source.Next(next); });
    _exit(0);
  }
  int status = 0;
  if (writer < 0 || waitpid(writer, &status, 0) != writer) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The note counts the whole-program benchmarks run at: 10,000 and 100,000, and 1,000,000 when
// TINDREL_BENCH_MILLION=1 is in the environment (its table alone is about 1.1 GB of files).
inline std::vector<int64_t> ProgramNoteCounts() {
  std::vector<int64_t> counts = {10000, 100000};
  if (MillionNotesWanted()) counts.push_back(1000000);
  return counts;
}

// Notes 1..n; note i > 1 hangs under note max(1, i / 8), so the tree is wide near the top and
// about six levels deep, like a large real collection. The table is written once into a cache
// folder and copied into `into` for every benchmark, so each one starts from the same files and
// the run does not spend its time making tables.
inline std::string TreeShapedTable(int notes, const QTemporaryDir& into) {
  const QString cache = QDir::temp().filePath(QStringLiteral("tindrel-bench-tree-v1-%1").arg(notes));
  if (!QFile::exists(cache + QStringLiteral("/Tindrel.mdx"))) {
    QDir(cache).removeRecursively();
    QDir().mkpath(cache);
    std::vector<testing::Note> list;
    list.reserve(static_cast<size_t>(notes));
    for (int i = 1; i <= notes; ++i)
      list.push_back({std::to_string(i), i == 1 ? "" : std::to_string(std::max(1, i / 8)), "note " + std::to_string(i)});
    testing::NoteTableShape shape;
    shape.numericId = true;
    shape.textWidth = 100;
    testing::WriteNoteTable(cache.toStdString(), list, shape);
  }
  for (const char* ext : {"dbf", "dbt", "mdx"}) {
    const QString name = QStringLiteral("Tindrel.") + QString::fromLatin1(ext);
    QFile::copy(cache + u'/' + name, into.filePath(name));
  }
  return into.filePath(QStringLiteral("Tindrel.dbf")).toStdString();
}

// The real tree view with the main window's settings over a fresh copy of the tree-shaped table,
// shown offscreen; the table opens in OpenAndShow.
struct TreeWindow {
  explicit TreeWindow(int notes) { Show(TreeShapedTable(notes, dir)); }
  // Over the table at `tablePath` instead (the caller keeps its files).
  struct OverTable {};
  TreeWindow(OverTable, const std::string& tablePath) { Show(tablePath); }

  void Show(const std::string& tablePath) {
    table.SetTableName(QString::fromStdString(tablePath));
    table.SetIndexFieldNames(QStringLiteral("ID"));
    source.SetDataSet(&table);
    window.resize(400, 700);
    auto* layout = new QVBoxLayout(&window);
    tree = new TDBTreeView(&window);
    layout->addWidget(tree);
    tree->ApplyMainWindowSettings();
    tree->SetDataSource(&source);
    window.show();
    QApplication::processEvents();
  }
  void OpenAndShow() {
    table.Open();
    tree->setFocus();
    QApplication::processEvents();
  }

  testing::ScriptedPlatform platform;
  QTemporaryDir dir;
  TTable table;
  TDataSource source;
  QWidget window;
  TDBTreeView* tree = nullptr;
};

}  // namespace tindrel::bench
