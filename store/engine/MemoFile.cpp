#include "store/engine/MemoFile.h"

#include <algorithm>
#include <cstring>
#include <future>
#include <system_error>

#include "store/engine/ChangeWriter.h"
#include "store/engine/DbfFile.h"
#include "store/engine/EngineError.h"
#include "store/engine/FileSystem.h"

namespace tindrel::engine {
namespace {

constexpr char kMemo4Mark[4] = {'\xFF', '\xFF', '\x08', '\x00'};
constexpr uint32_t kMaxBlockSize = 32768;

}  // namespace

MemoFile::MemoFile(File& file, uint8_t tableVersion) : file_(file) {
  char header[24] = {};
  size_t got = file_.ReadAt(0, header, sizeof header);
  if (got < sizeof header)
    throw EngineError(ResultCode::MemoDamaged,
                      "The memo file " + file_.Path() + " is damaged: it is shorter than its header",
                      {"File: " + file_.Path()});
  const uint16_t declared = ReadU16(header + 20);
  if (declared <= 1) {
    layout_ = MemoLayout::DBase3;
  } else if (declared != 512) {
    layout_ = MemoLayout::DBase4;
  } else if (tableVersion == 0x8B || tableVersion == 0x84) {
    layout_ = MemoLayout::DBase4;
  } else {
    char first[3] = {};
    layout_ = file_.ReadAt(512, first, 3) == 3 && std::memcmp(first, kMemo4Mark, 3) == 0 ? MemoLayout::DBase4
                                                                                           : MemoLayout::DBase3;
  }
  blockSize_ = layout_ == MemoLayout::DBase3 ? 512 : declared;
  if (blockSize_ % 512 != 0 || blockSize_ > kMaxBlockSize)
    throw EngineError(ResultCode::MemoDamaged,
                      "The memo file " + file_.Path() + " is damaged: the block size " + std::to_string(blockSize_) +
                          " is not a multiple of 512 up to " + std::to_string(kMaxBlockSize),
                      {"File: " + file_.Path()});
  Reload();
}

void MemoFile::Reload() {
  const uint64_t size = file_.Size();
  uint64_t blocks = (size + blockSize_ - 1) / blockSize_;
  if (layout_ == MemoLayout::DBase3) {
    // The dBASE III header names the append point; trust it only when it is past the data.
    char header[4];
    if (file_.ReadAt(0, header, 4) == 4) blocks = std::max<uint64_t>(blocks, std::min<uint64_t>(ReadU32(header), blocks + 1));
  }
  endBlock_ = static_cast<uint32_t>(std::clamp<uint64_t>(blocks, 1, UINT32_MAX));
}

std::string MemoFile::BuildEmpty(MemoLayout layout, std::string_view tableBaseName) {
  std::string header(512, '\0');
  PutU32(&header[0], 1);
  if (layout == MemoLayout::DBase4) {
    std::memcpy(&header[8], tableBaseName.data(), std::min<size_t>(tableBaseName.size(), 8));
    header[18] = 0x02;
    header[19] = 0x01;
    PutU16(&header[20], 512);
  }
  return header;
}

std::string MemoFile::Read(uint32_t block, size_t maxBytes, std::string* problem) const {
  if (block == 0) return {};
  const uint64_t size = file_.Size();
  const uint64_t offset = static_cast<uint64_t>(block) * blockSize_;
  auto fail = [&](const std::string& what) {
    if (problem) *problem = "The memo at block " + std::to_string(block) + " of " + file_.Path() + " " + what;
    return std::string();
  };
  if (offset >= size) return fail("is beyond the end of the file");
  if (layout_ == MemoLayout::DBase4) {
    char head[8];
    if (file_.ReadAt(offset, head, 8) != 8 || std::memcmp(head, kMemo4Mark, 4) != 0)
      return fail("does not start with a memo block header");
    const uint32_t stored = ReadU32(head + 4);
    if (stored < 8) return fail("has the impossible length " + std::to_string(stored));
    uint64_t length = stored - 8;
    const uint64_t available = size - offset - 8;
    if (length > available) {
      if (problem) *problem = "The memo at block " + std::to_string(block) + " of " + file_.Path() +
                              " runs past the end of the file";
      length = available;
    }
    length = std::min<uint64_t>(length, maxBytes);
    std::string text(length, '\0');
    text.resize(file_.ReadAt(offset + 8, text.data(), text.size()));
    return text;
  }
  // dBASE III: the text runs to the first 0x1A (or the end of the file).
  std::string text;
  uint64_t at = offset;
  char chunk[4096];
  while (at < size && text.size() < maxBytes) {
    size_t got = file_.ReadAt(at, chunk, sizeof chunk);
    if (got == 0) break;
    const char* end = static_cast<const char*>(std::memchr(chunk, DbfFile::kEndMark, got));
    size_t take = end ? static_cast<size_t>(end - chunk) : got;
    text.append(chunk, std::min(take, maxBytes - text.size()));
    if (end) break;
    at += got;
  }
  return text;
}

bool MemoFile::ReadInto(uint32_t block, std::string& out) const {
  // One read takes the block header and the start of the text; most memos end within it, and a
  // larger first read would copy more than most memos hold.
  constexpr size_t kFirstRead = 1024;
  const uint64_t offset = static_cast<uint64_t>(block) * blockSize_;
  out.resize(kFirstRead);
  const size_t got = file_.ReadAt(offset, out.data(), kFirstRead);
  if (got == 0) return false;  // beyond the end of the file
  if (layout_ == MemoLayout::DBase4) {
    if (got < 8 || std::memcmp(out.data(), kMemo4Mark, 4) != 0) return false;
    const uint32_t stored = ReadU32(out.data() + 4);
    if (stored < 8) return false;
    const uint64_t length = stored - 8;
    if (length <= got - 8) {
      out.erase(0, 8);
      out.resize(length);
      return true;
    }
    // A long memo: the rest in one more read. A file that ends before the memo does is damaged.
    const uint64_t rest = length - (got - 8);
    if (offset + 8 + length > file_.Size()) return false;
    const size_t have = got;
    out.resize(have + rest);
    if (file_.ReadAt(offset + have, out.data() + have, rest) != rest) return false;
    out.erase(0, 8);
    return true;
  }
  // dBASE III: the text runs to the first 0x1A or the end of the file.
  size_t have = got;
  const void* end = std::memchr(out.data(), DbfFile::kEndMark, have);
  uint64_t at = offset + have;
  while (!end && have == out.size()) {
    const size_t chunk = out.size();
    out.resize(out.size() * 2);
    const size_t more = file_.ReadAt(at, out.data() + have, chunk);
    end = std::memchr(out.data() + have, DbfFile::kEndMark, more);
    have += more;
    at += more;
  }
  out.resize(end ? static_cast<size_t>(static_cast<const char*>(end) - out.data()) : have);
  return true;
}

uint64_t MemoFile::ScanGap(const std::vector<uint32_t>& blocks, const std::vector<uint32_t>& order,
                           size_t first) const {
  // The gap before the next memo is measured from the start of the last one (its length is
  // not known before it is read), so a long memo ends a read however close the next one lies.
  // Where the memos wanted lie close together on average (a scan of nearly every memo), the
  // stretch between two starts is mostly the first memo itself: reads then span wide gaps, and
  // since reads never overlap nor leave the stretch from the first memo wanted to the last, the
  // scan still reads at most kDenseSpacing bytes per memo visited, on average. Elsewhere (memos
  // far apart under a filter) a gap stays short, so that the memos between are not read.
  constexpr uint64_t kNarrowGap = 16 * 1024;
  constexpr uint64_t kWideGap = 128 * 1024;
  constexpr uint64_t kDenseSpacing = 4 * 1024;
  if (first == order.size()) return kNarrowGap;
  const uint64_t wanted = order.size() - first;
  const uint64_t span = (static_cast<uint64_t>(blocks[order.back()]) - blocks[order[first]] + 1) * blockSize_;
  return span <= wanted * kDenseSpacing ? kWideGap : kNarrowGap;
}

namespace {

// A scan over a stretch of the memo file of at least this size reads and visits in two halves
// side by side when it may; below it a thread costs more than it saves.
constexpr uint64_t kSpanReadSideBySide = uint64_t(8) << 20;

}  // namespace

size_t MemoFile::HalfOfScan(const std::vector<uint32_t>& blocks, const std::vector<uint32_t>& order,
                            size_t first) const {
  // The halves meet at the middle of the stretch of the file the scan reads, so that each
  // reads and compares about as many bytes as the other.
  if (first == order.size()) return 0;
  const uint32_t low = blocks[order[first]];
  const uint32_t high = blocks[order.back()];
  if (static_cast<uint64_t>(high - low) * blockSize_ < kSpanReadSideBySide) return 0;
  const uint32_t middle = low + (high - low) / 2;
  const auto from = order.begin() + static_cast<std::ptrdiff_t>(first);
  return static_cast<size_t>(
      std::partition_point(from, order.end(), [&](uint32_t i) { return blocks[i] < middle; }) - order.begin());
}

void MemoFile::ReadBlocks(const std::vector<uint32_t>& blocks,
                          const std::function<void(size_t i, bool sound, std::string_view bytes)>& visit,
                          MemoVisits visits) const {
  std::vector<uint32_t> order(blocks.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<uint32_t>(i);
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return blocks[a] < blocks[b]; });
  // The places without a memo (block 0) sort first; the memos wanted start after them.
  const size_t first = static_cast<size_t>(
      std::partition_point(order.begin(), order.end(), [&](uint32_t i) { return blocks[i] == 0; }) - order.begin());
  const uint64_t maxGap = ScanGap(blocks, order, first);
  const size_t half = visits == MemoVisits::SideBySide && file_.ConcurrentReads() ? HalfOfScan(blocks, order, first) : 0;
  if (half > 0 && half < order.size()) {
    std::future<void> second;
    try {
      second = std::async(std::launch::async, [&] { ReadBlockRun(blocks, order, half, order.size(), maxGap, visit); });
    } catch (const std::system_error&) {
      // No thread to be had: the whole scan on this one, below.
    }
    if (second.valid()) {
      // Should this half throw, the future's end waits for the other before the scan's data goes.
      ReadBlockRun(blocks, order, 0, half, maxGap, visit);
      second.get();
      return;
    }
  }
  ReadBlockRun(blocks, order, 0, order.size(), maxGap, visit);
}

void MemoFile::ReadBlockRun(const std::vector<uint32_t>& blocks, const std::vector<uint32_t>& order, size_t from,
                            size_t to, uint64_t maxGap,
                            const std::function<void(size_t i, bool sound, std::string_view bytes)>& visit) const {
  // A read spans the following memos while the gap to the next one stays small and the read
  // within its bound; a memo that does not end inside the read is read on its own.
  constexpr uint64_t kMaxRead = uint64_t(1) << 20;
  std::string window;
  uint64_t windowStart = 0;
  std::string single;
  for (size_t n = from; n < to; ++n) {
    const uint32_t i = order[n];
    const uint32_t block = blocks[i];
    if (block == 0) {
      visit(i, true, {});
      continue;
    }
    const uint64_t offset = static_cast<uint64_t>(block) * blockSize_;
    if (offset < windowStart || offset >= windowStart + window.size()) {
      uint64_t end = offset + blockSize_;
      for (size_t next = n + 1; next < to; ++next) {
        const uint64_t at = static_cast<uint64_t>(blocks[order[next]]) * blockSize_;
        if (at > end + maxGap || at + blockSize_ - offset > kMaxRead) break;
        end = std::max(end, at + blockSize_);
      }
      window.resize(end - offset);
      window.resize(file_.ReadAt(offset, window.data(), window.size()));
      windowStart = offset;
    }
    const std::string_view view = std::string_view(window).substr(std::min<uint64_t>(offset - windowStart, window.size()));
    if (layout_ == MemoLayout::DBase4) {
      if (view.size() >= 8 && std::memcmp(view.data(), kMemo4Mark, 4) == 0) {
        const uint32_t stored = ReadU32(view.data() + 4);
        if (stored >= 8 && stored <= view.size()) {
          visit(i, true, view.substr(8, stored - 8));
          continue;
        }
      }
    } else if (const void* mark = std::memchr(view.data(), DbfFile::kEndMark, view.size())) {
      visit(i, true, view.substr(0, static_cast<size_t>(static_cast<const char*>(mark) - view.data())));
      continue;
    }
    // Not whole inside the read, or not sound: the single read decides.
    const bool sound = ReadInto(block, single);
    visit(i, sound, sound ? std::string_view(single) : std::string_view());
  }
}

uint32_t MemoFile::OldCapacity(uint32_t block) const {
  if (block == 0 || block >= endBlock_) return 0;
  const uint64_t offset = static_cast<uint64_t>(block) * blockSize_;
  if (layout_ == MemoLayout::DBase4) {
    char head[8];
    if (file_.ReadAt(offset, head, 8) != 8 || std::memcmp(head, kMemo4Mark, 4) != 0) return 0;
    const uint64_t stored = ReadU32(head + 4);
    if (stored < 8) return 0;
    uint64_t blocks = (stored + blockSize_ - 1) / blockSize_;
    if (block + blocks > endBlock_) return 0;
    return static_cast<uint32_t>(blocks * blockSize_);
  }
  std::string problem;
  std::string old = Read(block, SIZE_MAX, &problem);
  if (!problem.empty()) return 0;
  uint64_t blocks = (old.size() + 2 + blockSize_ - 1) / blockSize_;
  if (block + blocks > endBlock_) return 0;
  return static_cast<uint32_t>(blocks * blockSize_);
}

uint32_t MemoFile::Write(ChangeWriter& writer, uint32_t oldBlock, std::string_view bytes, std::string_view fieldName) {
  if (bytes.empty()) return 0;
  std::string stored;
  if (layout_ == MemoLayout::DBase4) {
    if (bytes.size() > UINT32_MAX - 8)
      throw EngineError(ResultCode::ValueTooLong, "The memo for field '" + std::string(fieldName) + "' is too long");
    stored.assign(kMemo4Mark, 4);
    stored.resize(8);
    PutU32(&stored[4], static_cast<uint32_t>(bytes.size() + 8));
    stored.append(bytes);
  } else {
    if (bytes.find(DbfFile::kEndMark) != std::string_view::npos)
      throw EngineError(ResultCode::InvalidValue,
                        "The memo for field '" + std::string(fieldName) +
                            "' holds the character U+001A, which this memo file cannot store",
                        {"Field: " + std::string(fieldName)});
    stored.assign(bytes);
    stored += "\x1A\x1A";
  }
  const uint32_t capacity = OldCapacity(oldBlock);
  if (capacity != 0 && stored.size() <= capacity) {
    writer.WriteAt(file_, static_cast<uint64_t>(oldBlock) * blockSize_, stored);
    return oldBlock;
  }
  const uint64_t blocks = (stored.size() + blockSize_ - 1) / blockSize_;
  if (endBlock_ + blocks > UINT32_MAX / 2)
    throw EngineError(ResultCode::ValueTooLong, "The memo file " + file_.Path() + " is full");
  const uint32_t block = endBlock_;
  // Pad to a whole block so the next append starts on a boundary in every reader's eyes.
  stored.resize(blocks * blockSize_, '\0');
  writer.WriteAt(file_, static_cast<uint64_t>(block) * blockSize_, stored);
  endBlock_ = static_cast<uint32_t>(block + blocks);
  char next[4];
  PutU32(next, endBlock_);
  writer.WriteAt(file_, 0, std::string_view(next, 4));
  return block;
}

}  // namespace tindrel::engine
