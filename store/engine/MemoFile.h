#pragma once
// The memo file (.dbt) in either layout.
//
// dBASE III: 512-byte blocks, a memo is its text followed by 1A 1A. dBASE IV: the block size is
// in the header, a memo starts with FF FF 08 00 and its length (the 8 header bytes included).
// Reading is lazy (pread per memo) and forgiving: a pointer beyond the file or a block that is
// not a memo reads as an empty memo and a warning. Writing: a new text that fits in the blocks of
// the memo it replaces is written over it in place; otherwise it is appended at the end of the
// data and the old blocks are left for Pack to drop. The header's next-free block always names
// the end of the data, so no reader ever needs a free-block chain.

#include <cstdint>
#include <functional>
#include <vector>
#include <memory>
#include <string>
#include <string_view>

#include "store/engine/MemoVisits.h"

namespace tindrel::engine {

class File;
class ChangeWriter;

enum class MemoLayout { DBase3, DBase4 };

class MemoFile {
 public:
  // Detects the layout from the header (the table's version byte breaks the tie of a 512-byte
  // block size). Throws EngineError(MemoDamaged) for a header that cannot be a memo file.
  MemoFile(File& file, uint8_t tableVersion);

  // The image of a new, empty memo file.
  static std::string BuildEmpty(MemoLayout layout, std::string_view tableBaseName);

  MemoLayout Layout() const { return layout_; }
  uint32_t BlockSize() const { return blockSize_; }
  File& GetFile() const { return file_; }

  // The memo at `block` (0: none), at most `maxBytes` bytes. A bad pointer or block gives an
  // empty text and sets `problem` to a description.
  std::string Read(uint32_t block, size_t maxBytes, std::string* problem) const;
  // The whole memo at `block` (not 0) into `out`, reusing its storage, in as few reads as its
  // length allows (one for a memo of a few kilobytes). False, with `out` undefined, wherever
  // Read would report a problem: scans that must not allocate per memo use this and leave the
  // report to Read.
  bool ReadInto(uint32_t block, std::string& out) const;
  // Reads the memos at `blocks` (0: none, visited as empty) in the order of their place in the
  // file, in large reads that take neighbouring memos together, and calls `visit(i, sound,
  // bytes)` once for each i; `sound` is what ReadInto would answer, and `bytes` lives until
  // the call returns. For scans over many records. With MemoVisits::SideBySide a long scan
  // visits from two threads at once; an error raised on either reaches the caller.
  void ReadBlocks(const std::vector<uint32_t>& blocks,
                  const std::function<void(size_t i, bool sound, std::string_view bytes)>& visit,
                  MemoVisits visits = MemoVisits::InFileOrder) const;
  // Stores `bytes` as the new value of the memo that was at `oldBlock` (0: none); returns the
  // block now holding it, 0 for an empty memo. Throws InvalidValue for a dBASE III memo holding
  // the byte 0x1A, which that layout uses as its end mark.
  uint32_t Write(ChangeWriter& writer, uint32_t oldBlock, std::string_view bytes, std::string_view fieldName);
  // Re-reads the append point after a change failed or was rolled back.
  void Reload();
  // Number of blocks the file spans.
  uint32_t EndBlock() const { return endBlock_; }

 private:
  uint32_t OldCapacity(uint32_t block) const;  // bytes a rewrite in place may use, 0: none
  // How far apart two memos of a ReadBlocks scan may start and still come in one read; `order`
  // is the blocks' positions in file order, `first` the place in it of the first memo wanted.
  uint64_t ScanGap(const std::vector<uint32_t>& blocks, const std::vector<uint32_t>& order, size_t first) const;
  // Where in `order` the second half of a scan read side by side starts; 0 for a stretch too
  // short to share out.
  size_t HalfOfScan(const std::vector<uint32_t>& blocks, const std::vector<uint32_t>& order, size_t first) const;
  // The part of a ReadBlocks scan from order[from] up to order[to], with reads of its own.
  void ReadBlockRun(const std::vector<uint32_t>& blocks, const std::vector<uint32_t>& order, size_t from, size_t to,
                    uint64_t maxGap,
                    const std::function<void(size_t i, bool sound, std::string_view bytes)>& visit) const;
  File& file_;
  MemoLayout layout_ = MemoLayout::DBase4;
  uint32_t blockSize_ = 512;
  uint32_t endBlock_ = 1;  // the append point, advanced by writes of the running change
};

}  // namespace tindrel::engine
