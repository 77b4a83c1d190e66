// The scan over many memos (MemoFile::ReadBlocks) on a real memo file: every memo visited as its
// own read gives it, in reads that span the long memos of a scan of nearly every memo, and that
// leave the memos between alone when the memos wanted lie far apart; a long scan whose visitor
// allows it reads its two halves side by side, with the same visits and the same errors.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "store/engine/DbfFile.h"
#include "store/engine/EngineError.h"
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

// `count` memos of a dBASE IV memo file, one in twenty between 20 and 40 KB long, the rest under
// 1.5 KB; returns the first block of each.
std::vector<uint32_t> WriteMemos(const std::string& path, int count = 600) {
  std::mt19937 random(20261211);
  std::string image = MemoFile::BuildEmpty(MemoLayout::DBase4, "NOTES");
  std::vector<uint32_t> memos;
  for (int n = 0; n < count; ++n) {
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

// The real file, as one that reads on several threads, failing every read from `failFrom` on
// and noting the threads that read.
class SharedReadFile : public File {
 public:
  explicit SharedReadFile(const std::string& path, uint64_t failFrom = UINT64_MAX)
      : file_(real_.Open(path, OpenMode::ReadOnly)), failFrom_(failFrom) {}
  const std::string& Path() const override { return file_->Path(); }
  uint64_t Size() override { return file_->Size(); }
  size_t ReadAt(uint64_t offset, void* buffer, size_t length) override {
    {
      const std::lock_guard<std::mutex> hold(mutex_);
      readers.insert(std::this_thread::get_id());
    }
    if (offset + length > failFrom_) throw EngineError(ResultCode::IoError, "Reading " + Path() + " failed");
    return file_->ReadAt(offset, buffer, length);
  }
  bool ConcurrentReads() const override { return true; }
  void WriteAt(uint64_t, const void*, size_t) override { ADD_FAILURE() << "a scan wrote"; }
  void Truncate(uint64_t) override { ADD_FAILURE() << "a scan truncated"; }
  void Sync() override {}
  bool TryLockExclusive() override { return true; }

  std::set<std::thread::id> readers;

 private:
  PosixFileSystem real_;
  std::unique_ptr<File> file_;
  uint64_t failFrom_;
  std::mutex mutex_;
};

TEST(MemoScan, AScanReadSideBySideVisitsEveryMemoOnceAsTheScanInFileOrderDoes) {
  testing::TempFolder dir;
  const std::string path = dir.File("notes.dbt");
  const std::vector<uint32_t> memos = WriteMemos(path, 4000);  // about 6 MB of long memos, 4 of short
  const uint64_t fileSize = std::filesystem::file_size(path);
  ASSERT_GT(fileSize, uint64_t(8) << 20);
  // Wanted in shuffled order, with no memo, and with pointers that are no memo: past the end of
  // the file, and into the middle of a long memo (in each half of the file).
  std::vector<uint32_t> wanted = memos;
  std::shuffle(wanted.begin(), wanted.end(), std::mt19937(7));
  const uint32_t pastTheEnd = static_cast<uint32_t>(fileSize / kBlock + 10);
  const size_t longMemo = 3, lateLongMemo = 3983;  // n % 20 == 3: between 20 and 40 KB
  for (uint32_t odd : {0u, pastTheEnd, memos[longMemo] + 4, memos[lateLongMemo] + 4, 0u})
    wanted.insert(wanted.begin() + static_cast<std::ptrdiff_t>(wanted.size() / 3), odd);
  SharedReadFile file(path);
  const MemoFile memo(file, 0x8B);
  struct Visit {
    std::atomic<int> times{0};
    bool sound = false;
    std::string bytes;
  };
  for (const MemoVisits visits : {MemoVisits::InFileOrder, MemoVisits::SideBySide}) {
    SCOPED_TRACE(visits == MemoVisits::SideBySide ? "side by side" : "in file order");
    file.readers.clear();
    std::vector<Visit> seen(wanted.size());
    memo.ReadBlocks(
        wanted,
        [&](size_t i, bool sound, std::string_view bytes) {
          ++seen[i].times;
          seen[i].sound = sound;
          seen[i].bytes = bytes;
        },
        visits);
    for (size_t i = 0; i < wanted.size(); ++i) {
      ASSERT_EQ(seen[i].times, 1) << "memo " << i;
      std::string own;
      const bool sound = wanted[i] == 0 || memo.ReadInto(wanted[i], own);
      EXPECT_EQ(seen[i].sound, sound) << "memo " << i << " at block " << wanted[i];
      if (sound) {
        EXPECT_EQ(seen[i].bytes, wanted[i] == 0 ? std::string() : own) << "memo " << i;
      }
    }
    EXPECT_EQ(file.readers.size(), visits == MemoVisits::SideBySide ? 2u : 1u);
  }
  // A file that reads on one thread only keeps the scan on the caller's.
  CountingFile single(path);
  const MemoFile singleMemo(single, 0x8B);
  std::atomic<int> elsewhere{0};
  const auto caller = std::this_thread::get_id();
  singleMemo.ReadBlocks(
      wanted, [&](size_t, bool, std::string_view) { elsewhere += std::this_thread::get_id() != caller; },
      MemoVisits::SideBySide);
  EXPECT_EQ(elsewhere, 0);
}

TEST(MemoScan, AReadThatFailsInEitherHalfOfAScanSideBySideReachesTheCaller) {
  testing::TempFolder dir;
  const std::string path = dir.File("notes.dbt");
  const std::vector<uint32_t> memos = WriteMemos(path, 4000);
  const uint64_t fileSize = std::filesystem::file_size(path);
  // Failing from a quarter of the file on fails reads of both halves; from nine tenths, of the
  // second half only (the thread beside the caller's).
  for (const uint64_t failFrom : {fileSize / 4, fileSize / 10 * 9}) {
    SharedReadFile failing(path, failFrom);
    const MemoFile memo(failing, 0x8B);
    std::atomic<int> visited{0};
    EXPECT_THROW(memo.ReadBlocks(
                     memos, [&](size_t, bool, std::string_view) { ++visited; }, MemoVisits::SideBySide),
                 EngineError)
        << "failing from byte " << failFrom;
    EXPECT_LT(visited, static_cast<int>(memos.size()));
  }
}

}  // namespace
}  // namespace tindrel::engine
