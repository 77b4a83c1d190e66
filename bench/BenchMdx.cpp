// Production index speed: open, ordered access, search, single inserts and bulk rebuild of a
// numeric tag with 100,000 entries.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "store/engine/BcdNumber.h"
#include "store/engine/ChangeWriter.h"
#include "store/engine/MdxIndex.h"
#include "store/engine/PosixFileSystem.h"

using namespace tindrel::engine;

namespace {

constexpr int kNotes = 100000;

class DirectWriter : public ChangeWriter {
 public:
  void WriteAt(File& file, uint64_t offset, std::string_view bytes) override { file.WriteAt(offset, bytes.data(), bytes.size()); }
  void Truncate(File& file, uint64_t size) override { file.Truncate(size); }
};

// Keeps nothing: measures the index's own work without the writes.
class DiscardWriter : public ChangeWriter {
 public:
  void WriteAt(File&, uint64_t, std::string_view) override {}
  void Truncate(File&, uint64_t) override {}
};

const std::vector<FieldDesc>& Fields() {
  static const std::vector<FieldDesc> fields = {{"ID", 'N', 10, 0, 1, true}};
  return fields;
}

std::string Record(long id) {
  char buf[32];
  std::snprintf(buf, sizeof buf, " %10ld", id);
  return buf;
}

PosixFileSystem& Fs() {
  static PosixFileSystem fs;
  return fs;
}

// An index file of kNotes numeric keys (IDs 2, 4, 6, ...), made once.
const std::string& IndexPath() {
  static std::string path = [] {
    std::string p = (std::filesystem::temp_directory_path() / ("bench-mdx-" + std::to_string(getpid()) + ".mdx")).string();
    auto file = Fs().Open(p, OpenMode::CreateReadWrite);
    DirectWriter writer;
    auto index = MdxIndex::Create(*file, writer, "BENCH", Fields(), {{"ID", "ID"}});
    std::vector<std::string> records;
    for (long i = 1; i <= kNotes; ++i) records.push_back(Record(2 * i));
    std::vector<std::string_view> views(records.begin(), records.end());
    index->Rebuild(views, writer);
    return p;
  }();
  return path;
}

void BM_OpenNumericTag(benchmark::State& state) {
  auto file = Fs().Open(IndexPath(), OpenMode::ReadOnly);
  for (auto _ : state) {
    auto index = MdxIndex::Open(*file, Fields());
    benchmark::DoNotOptimize(index->EntryCount(0));
  }
  state.SetLabel("notes=" + std::to_string(kNotes));
}
BENCHMARK(BM_OpenNumericTag)->Unit(benchmark::kMillisecond);

void BM_EntryAtSequential(benchmark::State& state) {
  auto file = Fs().Open(IndexPath(), OpenMode::ReadOnly);
  auto index = MdxIndex::Open(*file, Fields());
  size_t p = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(index->EntryAt(0, p).recno);
    if (++p == kNotes) p = 0;
  }
  state.SetLabel("notes=" + std::to_string(kNotes));
}
BENCHMARK(BM_EntryAtSequential);

void BM_EntryAtRandom(benchmark::State& state) {
  auto file = Fs().Open(IndexPath(), OpenMode::ReadOnly);
  auto index = MdxIndex::Open(*file, Fields());
  std::mt19937 rng(1);
  for (auto _ : state) benchmark::DoNotOptimize(index->EntryAt(0, rng() % kNotes).recno);
  state.SetLabel("notes=" + std::to_string(kNotes));
}
BENCHMARK(BM_EntryAtRandom);

void BM_LowerBound(benchmark::State& state) {
  auto file = Fs().Open(IndexPath(), OpenMode::ReadOnly);
  auto index = MdxIndex::Open(*file, Fields());
  std::vector<std::string> keys;
  std::mt19937 rng(2);
  for (int i = 0; i < 1024; ++i) keys.push_back(bcd::EncodeText(std::to_string(rng() % (2 * kNotes))));
  size_t k = 0;
  for (auto _ : state) benchmark::DoNotOptimize(index->LowerBound(0, keys[k++ & 1023]));
  state.SetLabel("notes=" + std::to_string(kNotes));
}
BENCHMARK(BM_LowerBound);

template <class Writer>
void InsertBench(benchmark::State& state) {
  std::string copy = IndexPath() + ".insert";
  std::filesystem::copy_file(IndexPath(), copy, std::filesystem::copy_options::overwrite_existing);
  auto file = Fs().Open(copy, OpenMode::ReadWrite);
  auto index = MdxIndex::Open(*file, Fields());
  Writer writer;
  std::mt19937 rng(3);
  uint32_t recno = kNotes;
  for (auto _ : state) {
    std::string record = Record(static_cast<long>(rng() % (2 * kNotes)) | 1);  // odd: between existing keys
    index->InsertRecord(++recno, record, writer);
  }
  state.SetLabel("notes=" + std::to_string(kNotes));
  std::filesystem::remove(copy);
}
void BM_InsertRecordNoWrites(benchmark::State& state) { InsertBench<DiscardWriter>(state); }
void BM_InsertRecordDirectWrites(benchmark::State& state) { InsertBench<DirectWriter>(state); }
BENCHMARK(BM_InsertRecordNoWrites);
BENCHMARK(BM_InsertRecordDirectWrites);

void BM_Rebuild(benchmark::State& state) {
  std::string copy = IndexPath() + ".rebuild";
  std::filesystem::copy_file(IndexPath(), copy, std::filesystem::copy_options::overwrite_existing);
  auto file = Fs().Open(copy, OpenMode::ReadWrite);
  auto index = MdxIndex::Open(*file, Fields());
  std::vector<std::string> records;
  std::mt19937 rng(4);
  for (long i = 1; i <= kNotes; ++i) records.push_back(Record(static_cast<long>(rng() % 1000000)));
  std::vector<std::string_view> views(records.begin(), records.end());
  DirectWriter writer;
  for (auto _ : state) index->Rebuild(views, writer);
  state.SetLabel("notes=" + std::to_string(kNotes) + " random keys");
  std::filesystem::remove(copy);
}
BENCHMARK(BM_Rebuild)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
