// Recall figures on a note table of 100,000 generated notes (the table tool's create logic) with
// 10,000 of them deleted as whole subtrees: listing the deleted subtrees (alone, and with the
// first line of each top note's memo, as the recall window shows them), and recalling a
// subtree of 100 notes (synced), also when its top note must take a fresh ID. Run: build/bench/BenchRecall
// (see bench/README.md).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/MarkDeleted.h"
#include "recall/DeletedNotes.h"
#include "store/engine/Table.h"
#include "tools/NoteTable.h"

namespace {

using tindrel::engine::Table;
namespace fs = std::filesystem;

constexpr uint32_t kNotes = 100000;
constexpr uint32_t kDeleted = 10000;
constexpr size_t kRecalled = 100;

// The table is made once per run on the disk (syncs are part of what is measured) and removed
// at the end; the 10,000 records are marked deleted in the file (MarkDeleted.h).
struct BenchTable {
  std::string folder;
  std::string master;  // the table with its deleted notes, copied fresh for each recall
  uint32_t recallTop = 0;  // the record of the top note of the 100-note subtree

  BenchTable() {
    std::string pattern = (fs::temp_directory_path() / "tindrel-bench-XXXXXX").string();
    folder = mkdtemp(pattern.data());
    fs::create_directory(folder + "/master");
    const auto notes = tindrel::tools::RandomNotes(kNotes, 1);
    tindrel::tools::CreateNoteTable(folder + "/master", notes);
    master = tindrel::tools::NoteTablePath(folder + "/master");

    std::map<int64_t, uint32_t> recnoOf;
    std::map<int64_t, std::vector<int64_t>> children;
    for (uint32_t i = 0; i < notes.size(); ++i) {
      recnoOf[notes[i].id] = i + 1;
      children[notes[i].parent].push_back(notes[i].id);
    }
    std::vector<bool> deleted(notes.size() + 1, false), reserved(notes.size() + 1, false);
    uint32_t count = 0;
    // Visits the note and the notes below it breadth first, at most `limit` of them, passing
    // over reserved ones (and what is below them).
    auto walk = [&](int64_t top, size_t limit, const auto& visit) {
      std::vector<int64_t> queue{top};
      for (size_t at = 0; at < queue.size() && at < limit; ++at) {
        if (reserved[recnoOf[queue[at]]]) continue;
        visit(recnoOf[queue[at]]);
        for (int64_t child : children[queue[at]]) queue.push_back(child);
      }
      return queue.size();
    };
    // The subtree to recall: the first note below another with at least 100 notes in it. Its
    // first 100 are deleted; the whole of it is kept out of the other deletions, so the recall
    // finds exactly those 100.
    for (const auto& note : notes) {
      if (note.parent == 0 || walk(note.id, kNotes, [](uint32_t) {}) < kRecalled) continue;
      walk(note.id, kRecalled, [&](uint32_t recno) {
        deleted[recno] = true;
        ++count;
      });
      walk(note.id, kNotes, [&](uint32_t recno) { reserved[recno] = true; });
      recallTop = recnoOf[note.id];
      break;
    }
    std::mt19937 rnd(5);
    while (count < kDeleted)
      walk(notes[rnd() % notes.size()].id, kDeleted - count, [&](uint32_t recno) {
        if (!deleted[recno]) {
          deleted[recno] = true;
          ++count;
        }
      });

    tindrel::bench::MarkDeleted(master, [&](uint32_t recno) { return deleted[recno]; });
  }
  ~BenchTable() {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
};

BenchTable* table = nullptr;

void ListDeletedSubtrees(benchmark::State& state) {
  auto t = Table::Open(table->master);
  size_t subtrees = 0;
  for (auto _ : state) subtrees = tindrel::recall::ListDeletedSubtrees(*t).size();
  state.counters["subtrees"] = static_cast<double>(subtrees);
}

void ListDeletedSubtreesWithMemoLines(benchmark::State& state) {
  auto t = Table::Open(table->master);
  for (auto _ : state) {
    size_t bytes = 0;
    for (const auto& subtree : tindrel::recall::ListDeletedSubtrees(*t))
      bytes += tindrel::recall::MemoFirstLine(*t, subtree.Top()).size();
    benchmark::DoNotOptimize(bytes);
  }
}

// With `idTaken`, a new note has taken the top note's ID first, so the recall gives it a fresh
// one, which reads every record's ID and Parent.
void RecallSubtree(benchmark::State& state, bool idTaken) {
  const std::string work = table->folder + "/work";
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(work);
    fs::create_directory(work);
    for (const char* ext : {".dbf", ".dbt", ".mdx"})
      fs::copy_file(table->folder + "/master/Tindrel" + ext, work + "/Tindrel" + ext);
    auto t = Table::Open(tindrel::tools::NoteTablePath(work));
    if (idTaken) {
      const int id = t->FieldIndex("ID");
      tindrel::engine::Record taker = t->BlankRecord();
      t->SetText(taker, id, t->GetText(t->ReadRecord(table->recallTop), id));
      t->Append(taker);
    }
    state.ResumeTiming();
    const auto summary = tindrel::recall::RecallSubtree(*t, table->recallTop);
    state.PauseTiming();
    if (summary.notes != kRecalled || summary.renumbered.size() != (idTaken ? 1u : 0u)) {
      state.SkipWithError("the recall did not take back the 100 notes as expected");
      break;
    }
    t.reset();
    state.ResumeTiming();
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  BenchTable made;
  table = &made;
  const std::string size = "/notes=" + std::to_string(kNotes) + "/deleted=" + std::to_string(kDeleted);
  benchmark::RegisterBenchmark(("ListDeletedSubtrees" + size).c_str(), ListDeletedSubtrees)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("ListDeletedSubtreesWithMemoLines" + size).c_str(), ListDeletedSubtreesWithMemoLines)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("RecallSubtree" + size + "/recalled=100").c_str(), RecallSubtree, false)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(20);
  benchmark::RegisterBenchmark(("RecallSubtreeWithFreshId" + size + "/recalled=100").c_str(), RecallSubtree, true)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(20);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  table = nullptr;
  return 0;
}
