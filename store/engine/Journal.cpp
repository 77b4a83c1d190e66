// The rollback journal. Every change to a table's files follows this order:
//
//  1. Before anything in the table's files changes, the journal is written: for every file the
//     change touches, its name and its size now; for every region about to be overwritten, the
//     bytes it holds now (only the part inside the old size: what lies beyond goes with the
//     truncation). A checksum over the whole journal closes it. The journal is synced, and its
//     folder too, so the journal's name survives a power loss.
//  2. The change's writes go to the files, in the order the change made them; each file is
//     synced.
//  3. The journal is removed and its folder synced. This is the commit point: from here on the
//     new state is the table's state.
//
// Opening a table with a journal beside it:
//  - a journal whose checksum holds: the change may have reached the files in part (a crash
//    inside step 2 or before step 3 completed). Every before-image is written back, each file
//    truncated to its old size and synced, then the journal removed (as in 3). The old state.
//  - a journal whose checksum fails: the crash hit step 1, so no table file was touched yet. The
//    journal is removed.
// A call that returned has passed step 3: its change is on disk.
//
// Pack uses a second kind of journal, a rename journal: the new files are written and synced
// under temporary names first, then the list of renames is journaled (with a checksum, synced),
// then the renames run, then the journal is removed. On open a valid rename journal is rolled
// forward (each temporary file still present is renamed into place); a torn one means no rename
// ran yet, so the journal and the temporary files are removed.

#include "store/engine/Journal.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "store/engine/DbfFile.h"
#include "store/engine/EngineError.h"
#include "store/engine/FileSystem.h"

namespace tindrel::engine {
namespace {

constexpr char kRollbackMagic[8] = {'T', 'N', 'D', 'J', 'R', 'N', 'L', '1'};
constexpr char kRenameMagic[8] = {'T', 'N', 'D', 'R', 'E', 'N', 'M', '1'};
constexpr uint64_t kMaxJournal = uint64_t(1) << 36;

uint64_t Checksum(std::string_view bytes) {
  uint64_t hash = 14695981039346656037ull;  // FNV-1a 64
  for (unsigned char c : bytes) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

void PutU64(std::string& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void PutU32s(std::string& out, uint32_t v) {
  char b[4];
  PutU32(b, v);
  out.append(b, 4);
}

std::string BaseName(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
std::string FolderOf(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A reader over the journal image that never reads past its end.
class Reader {
 public:
  explicit Reader(std::string_view data) : data_(data) {}
  bool U32(uint32_t& v) {
    if (data_.size() - at_ < 4) return false;
    v = ReadU32(data_.data() + at_);
    at_ += 4;
    return true;
  }
  bool U64(uint64_t& v) {
    uint32_t lo, hi;
    if (!U32(lo) || !U32(hi)) return false;
    v = lo | (uint64_t(hi) << 32);
    return true;
  }
  bool Bytes(size_t n, std::string_view& out) {
    if (data_.size() - at_ < n) return false;
    out = data_.substr(at_, n);
    at_ += n;
    return true;
  }
  bool AtEnd() const { return at_ == data_.size(); }

 private:
  std::string_view data_;
  size_t at_ = 0;
};

// Splits a journal image into its body and checks magic and checksum.
bool Verify(const std::string& image, const char (&magic)[8], std::string_view& body) {
  if (image.size() < 16 || std::memcmp(image.data(), magic, 8) != 0) return false;
  std::string_view all(image);
  body = all.substr(8, all.size() - 16);
  uint64_t stored = 0;
  for (int i = 0; i < 8; ++i) stored |= uint64_t(static_cast<unsigned char>(image[image.size() - 8 + i])) << (8 * i);
  return stored == Checksum(all.substr(0, all.size() - 8));
}

}  // namespace

Journal::Journal(FileSystem& fs, std::string journalPath) : fs_(fs), path_(std::move(journalPath)) {}

void Journal::WriteAt(File& file, uint64_t offset, std::string_view bytes) {
  if (!bytes.empty()) writes_.push_back({&file, offset, std::string(bytes), false});
}

void Journal::Truncate(File& file, uint64_t size) { writes_.push_back({&file, size, {}, true}); }

void Journal::WriteJournal(const std::vector<File*>& files) {
  std::string image(kRollbackMagic, 8);
  PutU32s(image, static_cast<uint32_t>(files.size()));
  std::vector<uint64_t> sizes;
  for (File* f : files) {
    std::string name = BaseName(f->Path());
    PutU32s(image, static_cast<uint32_t>(name.size()));
    image += name;
    sizes.push_back(f->Size());
    PutU64(image, sizes.back());
  }
  PutU32s(image, static_cast<uint32_t>(writes_.size()));
  for (const Write& w : writes_) {
    const uint32_t index = static_cast<uint32_t>(std::find(files.begin(), files.end(), w.file) - files.begin());
    const uint64_t oldSize = sizes[index];
    std::string before;
    if (!w.truncate && w.offset < oldSize) {
      before.resize(static_cast<size_t>(std::min<uint64_t>(w.bytes.size(), oldSize - w.offset)));
      before.resize(w.file->ReadAt(w.offset, before.data(), before.size()));
    }
    PutU32s(image, index);
    PutU64(image, w.offset);
    PutU32s(image, static_cast<uint32_t>(before.size()));
    image += before;
  }
  PutU64(image, Checksum(image));
  auto journal = fs_.Open(path_, OpenMode::CreateReadWrite);
  journal->WriteAt(0, image.data(), image.size());
  journal->Sync();
  fs_.SyncFolderOf(path_);
}

void Journal::Commit() {
  committed_ = false;
  if (writes_.empty()) return;
  std::vector<File*> files;
  for (const Write& w : writes_)
    if (std::find(files.begin(), files.end(), w.file) == files.end()) files.push_back(w.file);
  try {
    WriteJournal(files);  // step 1
  } catch (...) {
    writes_.clear();
    try { fs_.Remove(path_); } catch (...) {}
    throw;
  }
  try {
    for (const Write& w : writes_) {  // step 2
      if (w.truncate) w.file->Truncate(w.offset);
      else w.file->WriteAt(w.offset, w.bytes.data(), w.bytes.size());
    }
    for (File* f : files) f->Sync();
    fs_.Remove(path_);  // step 3
  } catch (...) {
    writes_.clear();
    try { Recover(fs_, path_); } catch (...) {}
    throw;
  }
  writes_.clear();
  committed_ = true;
  fs_.SyncFolderOf(path_);
}

std::string Journal::Recover(FileSystem& fs, const std::string& journalPath) {
  if (!fs.Exists(journalPath)) return {};
  std::string image;
  {
    auto journal = fs.Open(journalPath, OpenMode::ReadOnly);
    const uint64_t size = journal->Size();
    if (size <= kMaxJournal) {
      image.resize(static_cast<size_t>(size));
      image.resize(journal->ReadAt(0, image.data(), image.size()));
    }
  }
  const std::string folder = FolderOf(journalPath);
  std::string_view body;
  if (Verify(image, kRenameMagic, body)) {
    Reader r(body);
    uint32_t count = 0;
    std::vector<std::pair<std::string, std::string>> renames;
    bool ok = r.U32(count);
    for (uint32_t i = 0; ok && i < count; ++i) {
      uint32_t a, b;
      std::string_view from, to;
      ok = r.U32(a) && r.Bytes(a, from) && r.U32(b) && r.Bytes(b, to);
      if (ok) renames.emplace_back(folder + std::string(from), folder + std::string(to));
    }
    if (ok) {
      for (const auto& [from, to] : renames)
        if (fs.Exists(from)) fs.Rename(from, to);
      fs.Remove(journalPath);
      fs.SyncFolderOf(journalPath);
      return "An interrupted pack was completed";
    }
  }
  if (Verify(image, kRollbackMagic, body)) {
    Reader r(body);
    uint32_t fileCount = 0;
    bool ok = r.U32(fileCount);
    struct Entry {
      std::unique_ptr<File> file;
      uint64_t size;
    };
    std::vector<Entry> files;
    std::vector<std::pair<std::string, uint64_t>> names;
    for (uint32_t i = 0; ok && i < fileCount; ++i) {
      uint32_t n;
      std::string_view name;
      uint64_t size;
      ok = r.U32(n) && r.Bytes(n, name) && r.U64(size);
      if (ok) names.emplace_back(folder + std::string(name), size);
    }
    struct Region {
      uint32_t file;
      uint64_t offset;
      std::string_view bytes;
    };
    std::vector<Region> regions;
    uint32_t regionCount = 0;
    ok = ok && r.U32(regionCount);
    for (uint32_t i = 0; ok && i < regionCount; ++i) {
      Region region{};
      uint32_t length;
      ok = r.U32(region.file) && r.U64(region.offset) && r.U32(length) && r.Bytes(length, region.bytes) &&
           region.file < names.size();
      if (ok) regions.push_back(region);
    }
    if (ok && r.AtEnd()) {
      for (const auto& [name, size] : names) files.push_back({fs.Open(name, OpenMode::ReadWrite), size});
      for (const Region& region : regions)
        files[region.file].file->WriteAt(region.offset, region.bytes.data(), region.bytes.size());
      for (Entry& e : files) {
        e.file->Truncate(e.size);
        e.file->Sync();
      }
      fs.Remove(journalPath);
      fs.SyncFolderOf(journalPath);
      return "An unfinished change was rolled back";
    }
  }
  // Torn: the crash came before the journal was complete, so no table file was touched.
  // Temporary files of a pack that never swapped go with it.
  fs.Remove(journalPath);
  fs.SyncFolderOf(journalPath);
  return "An incomplete journal was discarded";
}

void Journal::RenameAll(FileSystem& fs, const std::string& journalPath,
                        const std::vector<std::pair<std::string, std::string>>& renames) {
  std::string image(kRenameMagic, 8);
  PutU32s(image, static_cast<uint32_t>(renames.size()));
  for (const auto& [from, to] : renames) {
    std::string a = BaseName(from), b = BaseName(to);
    PutU32s(image, static_cast<uint32_t>(a.size()));
    image += a;
    PutU32s(image, static_cast<uint32_t>(b.size()));
    image += b;
  }
  PutU64(image, Checksum(image));
  {
    auto journal = fs.Open(journalPath, OpenMode::CreateReadWrite);
    journal->WriteAt(0, image.data(), image.size());
    journal->Sync();
  }
  fs.SyncFolderOf(journalPath);
  for (const auto& [from, to] : renames) fs.Rename(from, to);
  fs.Remove(journalPath);
  fs.SyncFolderOf(journalPath);
}

}  // namespace tindrel::engine
