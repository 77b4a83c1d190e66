// Fuzz target: a memo file of arbitrary bytes beside a sound table whose records point at its
// first blocks, in both memo layouts. Every memo is read (as text, as the bytes a search scans,
// and all of them together in file order), one is rewritten and read back.

#include <stdlib.h>

#include <cstdint>
#include <fstream>
#include <optional>
#include <vector>
#include <string>

#include "store/engine/DbfFile.h"
#include "store/engine/EngineError.h"
#include "store/engine/FileSystem.h"
#include "store/engine/Table.h"

namespace {

using namespace tindrel::engine;

// The machine's file system without syncs: durability is not under test here, and a sync per
// input would slow the fuzzer a hundredfold.
class NoSyncFile : public File {
 public:
  explicit NoSyncFile(std::unique_ptr<File> inner) : inner_(std::move(inner)) {}
  const std::string& Path() const override { return inner_->Path(); }
  uint64_t Size() override { return inner_->Size(); }
  size_t ReadAt(uint64_t o, void* b, size_t n) override { return inner_->ReadAt(o, b, n); }
  void WriteAt(uint64_t o, const void* d, size_t n) override { inner_->WriteAt(o, d, n); }
  void Truncate(uint64_t size) override { inner_->Truncate(size); }
  void Sync() override {}
  bool TryLockExclusive() override { return inner_->TryLockExclusive(); }

 private:
  std::unique_ptr<File> inner_;
};

class NoSyncFileSystem : public FileSystem {
 public:
  bool Exists(const std::string& p) override { return Default().Exists(p); }
  std::unique_ptr<File> Open(const std::string& p, OpenMode m) override {
    return std::make_unique<NoSyncFile>(Default().Open(p, m));
  }
  bool IsWritable(const std::string& p) override { return Default().IsWritable(p); }
  void Remove(const std::string& p) override { Default().Remove(p); }
  void Rename(const std::string& a, const std::string& b) override { Default().Rename(a, b); }
  void SyncFolderOf(const std::string&) override {}
  void CreateFolder(const std::string& p) override { Default().CreateFolder(p); }
  std::vector<std::string> ListFolder(const std::string& p) override { return Default().ListFolder(p); }
};

const std::string& Folder() {
  static const std::string folder = [] {
    std::string pattern = "/tmp/tindrel-fuzz-memo-XXXXXX";
    return std::string(::mkdtemp(pattern.data()));
  }();
  return folder;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// NAME C(4), NOTES M: eight records pointing at blocks 0..7 (0: no memo).
std::string TableImage(uint8_t version) {
  std::vector<FieldDesc> fields(2);
  fields[0].name = "NAME";
  fields[0].type = 'C';
  fields[0].length = 4;
  fields[1].name = "NOTES";
  fields[1].type = 'M';
  fields[1].length = 10;
  std::string image = DbfFile::BuildImage(version, 0, false, fields, DbfDate{2026, 1, 1});
  image.pop_back();  // the end mark; records follow
  for (int i = 0; i < 8; ++i) image += " rec" + std::string(9, ' ') + std::to_string(i);
  image += '\x1A';
  PutU32(&image[4], 8);
  return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t version = (data[0] & 1) ? 0x83 : 0x8B;
  const std::string dbf = Folder() + "/m.dbf";
  WriteFile(dbf, TableImage(version));
  WriteFile(Folder() + "/m.dbt", std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  try {
    static NoSyncFileSystem fs;
    OpenOptions options;
    options.fileSystem = &fs;
    auto table = Table::Open(dbf, options);
    // A damaged memo raises MemoDamaged on its own read; the others and a rewrite still work.
    for (uint32_t r = 1; r <= table->RecordCount(); ++r) {
      Record record = table->ReadRecord(r);
      std::string problem;
      const std::string salvaged = table->ReadDamagedMemo(record, 1, &problem);
      // The scans' byte read agrees with the decoding read: the same bytes where that one reads,
      // a refusal where it reports damage.
      std::string bytes = "stale";
      const bool sound = table->ReadMemoBytes(record, 1, bytes);
      if (sound != problem.empty()) __builtin_trap();
      if (sound && table->DecodeText(bytes) != salvaged) __builtin_trap();
      try {
        if (table->GetText(record, 1) != salvaged || !problem.empty()) __builtin_trap();
        table->ReadMemo(record, 1, 7);
      } catch (const EngineError& e) {
        if (e.Code() != ResultCode::MemoDamaged || problem.empty()) __builtin_trap();
      }
    }
    // The read of many memos in file order agrees with the single reads, memo by memo; the
    // blocks are asked for twice and out of order, so reads that span memos are exercised.
    std::vector<uint32_t> blocks;
    std::vector<std::string> single;
    std::vector<bool> singleSound;
    for (uint32_t r = table->RecordCount(); r >= 1; --r) {
      const Record record = table->ReadRecord(r);
      const std::optional<uint32_t> block = table->MemoBlockOf(record, 1);
      std::string bytes;
      const bool sound = table->ReadMemoBytes(record, 1, bytes);
      if (!block) {
        if (sound) __builtin_trap();
        continue;
      }
      for (int twice = 0; twice < 2; ++twice) {
        blocks.push_back(*block);
        single.push_back(bytes);
        singleSound.push_back(sound);
      }
    }
    std::vector<int> visits(blocks.size(), 0);
    table->ReadMemoBlocks(blocks, [&](size_t i, bool sound, std::string_view bytes) {
      if (i >= blocks.size() || ++visits[i] != 1 || sound != singleSound[i] || (sound && bytes != single[i]))
        __builtin_trap();
    });
    for (int v : visits)
      if (v != 1) __builtin_trap();

    Record record = table->ReadRecord(3);
    table->SetText(record, 1, "rewritten memo");
    table->Modify(record);
    if (table->GetText(table->ReadRecord(3), 1) != "rewritten memo") __builtin_trap();
    table->Check();
  } catch (const EngineError&) {
  }
  return 0;
}
