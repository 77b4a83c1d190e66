// Export and import at 100,000 generated notes (the table tool's create logic, seed 1): export
// to each format, import from OPML and from CSV into a new table (what `tindrel-table create
// --from` does), and from OPML into an open table of 100,000 notes as one change. Each figure
// comes with the process's peak resident memory during that benchmark (peak_rss_MB; the peak is
// reset before it starts, and the tables and input files are made by a child process, so the
// generated notes never count). Run: build/bench/BenchExchange (see bench/README.md).

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "exchange/Exchange.h"
#include "store/engine/Table.h"
#include "tools/NoteTable.h"
#include "tools/OutlineNotes.h"

namespace {

namespace fs = std::filesystem;
using namespace tindrel;
using exchange::Format;

constexpr uint32_t kNotes = 100000;

std::string folder;  // the table and the exported files the imports read

std::string TablePath() { return tools::NoteTablePath(folder + "/table"); }
std::string Exported(Format format) { return folder + "/notes" + exchange::InfoOf(format).extension; }

// The peak resident memory since the last reset, in MB.
double PeakRssMegabytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return 0;
}
// Starts counting the peak again from what the process holds now.
void ResetPeak() {
  malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5";
}

std::unique_ptr<engine::Table> OpenForReading() {
  engine::OpenOptions options;
  options.readOnly = true;
  return engine::Table::Open(TablePath(), options);
}

void Export(benchmark::State& state, Format format) {
  auto table = OpenForReading();
  const std::string out = folder + "/out" + exchange::InfoOf(format).extension;
  ResetPeak();
  for (auto _ : state) {
    const auto summary = exchange::ExportNotes(*table, "", format, out, false);
    if (summary.notes != kNotes) state.SkipWithError("not every note was exported");
    state.PauseTiming();
    fs::remove_all(out);
    state.ResumeTiming();
  }
  state.counters["peak_rss_MB"] = PeakRssMegabytes();
  state.counters["notes"] = kNotes;
}

// Read, fitted and written as a new note table, as `tindrel-table create FOLDER --from`.
void ImportIntoNewTable(benchmark::State& state, Format format) {
  const std::string target = folder + "/new";
  ResetPeak();
  for (auto _ : state) {
    std::vector<std::string> notices;
    std::vector<tools::Note> notes = tools::NotesForNewTable(exchange::ReadOutline(format, Exported(format)), notices);
    fs::create_directory(target);
    tools::CreateNoteTable(target, notes);
    state.PauseTiming();
    if (notes.size() != kNotes) state.SkipWithError("not every note was imported");
    notes = {};
    fs::remove_all(target);
    state.ResumeTiming();
  }
  state.counters["peak_rss_MB"] = PeakRssMegabytes();
  state.counters["notes"] = kNotes;
}

// The 100,000 notes of the OPML file into a copy of the table, below nothing, as one change.
void ImportIntoOpenTable(benchmark::State& state) {
  const std::string copy = folder + "/copy";
  ResetPeak();
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(copy);
    fs::create_directory(copy);
    for (const char* ext : {".dbf", ".dbt", ".mdx"})
      fs::copy_file(folder + "/table/Tindrel" + ext, copy + "/Tindrel" + ext);
    auto table = engine::Table::Open(tools::NoteTablePath(copy));
    state.ResumeTiming();
    const auto summary = exchange::ImportNotes(*table, Format::Opml, Exported(Format::Opml), "");
    table.reset();  // the close's checkpoint syncs the files: part of the import's cost
    if (summary.notes != kNotes) state.SkipWithError("not every note was imported");
  }
  state.counters["peak_rss_MB"] = PeakRssMegabytes();
  state.counters["notes"] = kNotes;
}

// The table and the files the imports read, made by a child so that this process's peak memory
// never holds the generated notes.
bool MakeInputsInChild() {
  const pid_t child = fork();
  if (child == 0) {
    fs::create_directory(folder + "/table");
    tools::CreateNoteTable(folder + "/table", tools::RandomNotes(kNotes, 1));
    auto table = OpenForReading();
    for (Format format : {Format::Opml, Format::Csv}) exchange::ExportNotes(*table, "", format, Exported(format), false);
    _exit(0);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::string pattern = (fs::temp_directory_path() / "tindrel-bench-exchange-XXXXXX").string();
  folder = mkdtemp(pattern.data());
  if (!MakeInputsInChild()) return 1;
  const std::string size = "/notes=" + std::to_string(kNotes);
  for (const exchange::FormatInfo& info : exchange::AllFormats()) {
    // A folder tree costs a file per note on the disk: one round of it says enough.
    benchmark::RegisterBenchmark(("Export/" + std::string(info.name) + size).c_str(),
                                 [format = info.format](benchmark::State& s) { Export(s, format); })
        ->Unit(benchmark::kMillisecond)
        ->Iterations(info.folder ? 1 : 3);
  }
  for (Format format : {Format::Opml, Format::Csv})
    benchmark::RegisterBenchmark(("ImportIntoNewTable/" + std::string(exchange::InfoOf(format).name) + size).c_str(),
                                 [format](benchmark::State& s) { ImportIntoNewTable(s, format); })
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
  benchmark::RegisterBenchmark(("ImportIntoOpenTable/opml" + size + "/into=100000").c_str(), ImportIntoOpenTable)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(folder, ec);
  return 0;
}
