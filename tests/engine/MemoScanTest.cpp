// The scan over many memos (MemoFile::ReadBlocks) on a real memo file: every memo visited as its
// own read gives it, in reads that span the long memos of a scan of nearly every memo, and that
// leave the memos between alone when the memos wanted lie far apart.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "store/engine/DbfFile.h"
#include "store/engine/MemoFile.h"
#include "store/engine/PosixFileSystem.h"
#include "tests/support/engine/TempFolder.h"

namespace tindrel::engine {
namespace {

constexpr uint32_t kBlock = 512;

// The real file, counting its reads and the bytes they ask for.
class CountingFile : public File {
 public:
  explicit CountingFile(const std::string& path) : file_(real_.Open(path, OpenMode::ReadOnly)) {}
  const std::string& Path() const override { return file_->Path(); }
  uint64_t Size() override { return file_->Size(); }
  size_t ReadAt(uint64_t offset, void* buffer, size_t length) override {
    ++reads;
    bytes += length;
    return file_->ReadAt(offset, buffer, length);
  }
  void WriteAt(uint64_t, const void*, size_t) override { ADD_FAILURE() << "a scan wrote"; }
  void Truncate(uint64_t) override { ADD_FAILURE() << "a scan truncated"; }
  void Sync() override {}
  bool TryLockExclusive() override { return true; }

  int reads = 0;
  uint64_t bytes = 0;

 private:
  PosixFileSystem real_;
  std::unique_ptr<File> file_;
};

// 600 memos of a dBASE IV memo file, one in twenty between 20 and 40 KB long, the rest under
// 1.5 KB; returns the first block of each.
std::vector<uint32_t> WriteMemos(const std::string& path) {
  std::mt19937 random(20261211);
  std::string image = MemoFile::BuildEmpty(MemoLayout::DBase4, "NOTES");
  std::vector<uint32_t> memos;
  for (int n = 0; n < 600; ++n) {
    const size_t length = n % 20 == 3 ? 20000 + random() % 20000 : random() % 1500;
    std::string stored = std::string("\xFF\xFF\x08\x00", 4) + std::string(4, '\0');
    PutU32(&stored[4], static_cast<uint32_t>(length + 8));
    for (size_t c = 0; c < length; ++c) stored += static_cast<char>(' ' + random() % 90);
    stored.resize((stored.size() + kBlock - 1) / kBlock * kBlock, '\0');
    memos.push_back(static_cast<uint32_t>(image.size() / kBlock));
    image += stored;
  }
  std::ofstream(path, std::ios::binary) << image;
  return memos;
}

TEST(MemoScan, ReadsSpanLongMemosOnlyWhereTheMemosWantedLieClose) {
  testing::TempFolder dir;
  const std::string path = dir.File("notes.dbt");
  const std::vector<uint32_t> memos = WriteMemos(path);
  const uint64_t fileSize = std::filesystem::file_size(path);
  struct Case {
    const char* name;
    size_t every;  // every n-th memo wanted
  };
  for (const Case c : {Case{"every memo", 1}, Case{"one in forty", 40}}) {
    std::vector<uint32_t> wanted;
    for (size_t n = 0; n < memos.size(); n += c.every) wanted.push_back(memos[n]);
    CountingFile file(path);
    const MemoFile memo(file, 0x8B);
    const int readsBefore = file.reads;  // the header
    const uint64_t bytesBefore = file.bytes;
    std::vector<std::string> seen(wanted.size());
    std::vector<bool> visited(wanted.size());
    memo.ReadBlocks(wanted, [&](size_t i, bool sound, std::string_view bytes) {
      EXPECT_TRUE(sound) << c.name << ", memo " << i;
      visited[i] = true;
      seen[i] = bytes;
    });
    const int reads = file.reads - readsBefore;
    const uint64_t bytes = file.bytes - bytesBefore;
    for (size_t i = 0; i < wanted.size(); ++i) {
      std::string own;
      ASSERT_TRUE(visited[i]) << c.name << ", memo " << i;
      ASSERT_TRUE(memo.ReadInto(wanted[i], own));
      EXPECT_EQ(seen[i], own) << c.name << ", memo " << i;
    }
    if (c.every == 1) {
      // Thirty long memos, each of which ended a read when gaps were measured narrowly; now the
      // file goes in reads of up to a megabyte, and a memo across a read's end in one more.
      EXPECT_LE(reads, 2 * static_cast<int>(fileSize >> 20) + 4) << c.name;
    } else {
      // Fifteen memos wanted, far apart: the memos between them are not read.
      EXPECT_LT(bytes, fileSize / 4) << c.name << ": " << reads << " reads";
    }
  }
}

}  // namespace
}  // namespace tindrel::engine
