// The journal: a redo log beside the table that makes every change atomic across the table's
// files and durable with a single sync. Every change follows this order:
//
//  1. Before anything in the table's files changes, one record is appended to the journal: for
//     every file the change touches, its name; for every write, the file, the offset and the new
//     bytes; for every truncation, the new size. A length in front and a checksum behind close
//     the record. The journal is synced (and, when this table's journal file was just created,
//     its folder too, so its name survives a power loss). This is the commit point: from here on
//     the new state is the table's state, and a call that returned has passed it.
//  2. The change's writes go to the files, in the order the change made them, without a sync:
//     the journal holds them until step 3.
//  3. Checkpoint (when the journal has grown past a limit, before a pack, and on close): every
//     file the journal's records touched is synced, then the journal is cut to nothing and
//     synced. On close the empty journal is removed.
//
// Opening a table with a journal beside it: every complete record (its checksum holds) is
// applied again, in order, the files synced and the journal removed. The writes are absolute
// (offset and bytes, truncation to a size), so applying them again over files that hold any
// part of them gives the state after the last complete record. A torn record at the end is a
// change whose step 1 never completed: no table file was touched for it, and it is dropped.
//
// Pack uses a second kind of journal, a rename journal: the new files are written and synced
// under temporary names first, then the list of renames is journaled (with a checksum, synced),
// then the renames run, then the journal is removed. On open a valid rename journal is rolled
// forward (each temporary file still present is renamed into place); a torn one means no rename
// ran yet, so the journal and the temporary files are removed.

#include "store/engine/Journal.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "store/engine/DbfFile.h"
#include "store/engine/EngineError.h"
#include "store/engine/FileSystem.h"

namespace tindrel::engine {
namespace {

constexpr char kRedoMagic[8] = {'T', 'N', 'D', 'R', 'E', 'D', 'O', '1'};
constexpr char kRenameMagic[8] = {'T', 'N', 'D', 'R', 'E', 'N', 'M', '1'};
constexpr uint64_t kMaxJournal = uint64_t(1) << 36;
// A journal grown past this is checkpointed after the change that grew it.
constexpr uint64_t kCheckpointSize = uint64_t(8) << 20;

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

// A file name as the journal records it: a file beside the table, never a path elsewhere.
bool PlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

// One parsed journal record.
struct Op {
  uint32_t file;
  bool truncate;
  uint64_t offset;  // the write's offset, or the truncation's size
  std::string_view bytes;
};
struct Entry {
  std::vector<std::string> names;
  std::vector<Op> ops;
};

// Reads the record at `at` of `log`; false when there is none or it is torn.
bool ParseRecord(std::string_view log, size_t& at, Entry& entry) {
  if (log.size() - at < 24 || std::memcmp(log.data() + at, kRedoMagic, 8) != 0) return false;
  Reader head(log.substr(at + 8, 8));
  uint64_t length = 0;
  head.U64(length);
  if (length > log.size() - at - 24) return false;
  const std::string_view whole = log.substr(at, 16 + length);
  Reader sum(log.substr(at + 16 + length, 8));
  uint64_t stored = 0;
  sum.U64(stored);
  if (stored != Checksum(whole)) return false;
  Reader r(whole.substr(16));
  uint32_t fileCount = 0, opCount = 0;
  if (!r.U32(fileCount)) return false;
  for (uint32_t i = 0; i < fileCount; ++i) {
    uint32_t n;
    std::string_view name;
    if (!r.U32(n) || !r.Bytes(n, name) || !PlainName(name)) return false;
    entry.names.emplace_back(name);
  }
  if (!r.U32(opCount)) return false;
  for (uint32_t i = 0; i < opCount; ++i) {
    Op op{};
    uint32_t kind = 0, n = 0;
    if (!r.U32(op.file) || !r.U32(kind) || !r.U64(op.offset) || !r.U32(n) || !r.Bytes(n, op.bytes)) return false;
    if (op.file >= fileCount || kind > 1) return false;
    op.truncate = kind == 1;
    entry.ops.push_back(op);
  }
  if (!r.AtEnd()) return false;
  at += whole.size() + 8;
  return true;
}

}  // namespace

Journal::Journal(FileSystem& fs, std::string journalPath) : fs_(fs), path_(std::move(journalPath)) {}

Journal::~Journal() = default;

void Journal::WriteAt(File& file, uint64_t offset, std::string_view bytes) {
  if (!bytes.empty()) writes_.push_back({&file, offset, std::string(bytes), false});
}

void Journal::Truncate(File& file, uint64_t size) { writes_.push_back({&file, size, {}, true}); }

std::string Journal::BuildRecord(const std::vector<File*>& files) const {
  std::string body;
  PutU32s(body, static_cast<uint32_t>(files.size()));
  for (File* f : files) {
    std::string name = BaseName(f->Path());
    PutU32s(body, static_cast<uint32_t>(name.size()));
    body += name;
  }
  PutU32s(body, static_cast<uint32_t>(writes_.size()));
  for (const Write& w : writes_) {
    PutU32s(body, static_cast<uint32_t>(std::find(files.begin(), files.end(), w.file) - files.begin()));
    PutU32s(body, w.truncate ? 1 : 0);
    PutU64(body, w.offset);
    PutU32s(body, static_cast<uint32_t>(w.bytes.size()));
    body += w.bytes;
  }
  std::string record(kRedoMagic, 8);
  PutU64(record, body.size());
  record += body;
  PutU64(record, Checksum(record));
  return record;
}

void Journal::Apply() {
  for (const Write& w : writes_) {
    if (w.truncate) w.file->Truncate(w.offset);
    else w.file->WriteAt(w.offset, w.bytes.data(), w.bytes.size());
  }
}

void Journal::Commit() {
  committed_ = false;
  if (writes_.empty()) return;
  std::vector<File*> files;
  for (const Write& w : writes_)
    if (std::find(files.begin(), files.end(), w.file) == files.end()) files.push_back(w.file);
  const std::string record = BuildRecord(files);
  try {  // step 1
    const bool created = !log_;
    if (created) {
      log_ = fs_.Open(path_, OpenMode::CreateReadWrite);
      logEnd_ = 0;
    }
    log_->WriteAt(logEnd_, record.data(), record.size());
    log_->Sync();
    if (created) fs_.SyncFolderOf(path_);
  } catch (...) {
    // The record may have reached the disk in part or whole: cut it off again, so that the
    // next open does not apply a change that was reported as failed.
    writes_.clear();
    try {
      if (log_) {
        log_->Truncate(logEnd_);
        log_->Sync();
      }
    } catch (...) {
      inDoubt_ = true;
    }
    throw;
  }
  logEnd_ += record.size();
  committed_ = true;
  for (File* f : files)
    if (std::find(touched_.begin(), touched_.end(), f) == touched_.end()) touched_.push_back(f);
  try {  // step 2
    Apply();
  } catch (...) {
    // The change stands (it is in the journal); applying it once more is what the next open
    // would do.
    try {
      Apply();
    } catch (...) {
      writes_.clear();
      inDoubt_ = true;
      throw;
    }
  }
  writes_.clear();
  // A failed checkpoint leaves a journal that is still whole; the next one tries again.
  if (logEnd_ > kCheckpointSize) try { Checkpoint(); } catch (const EngineError&) {}
}

void Journal::Checkpoint() {
  if (!log_ || logEnd_ == 0) return;
  for (File* f : touched_) f->Sync();
  log_->Truncate(0);
  log_->Sync();
  logEnd_ = 0;
  touched_.clear();
}

void Journal::Close() {
  if (!log_) return;
  Checkpoint();
  log_.reset();
  // An empty journal left behind by a crash here applies nothing.
  fs_.Remove(path_);
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
      ok = r.U32(a) && r.Bytes(a, from) && r.U32(b) && r.Bytes(b, to) && PlainName(from) && PlainName(to);
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
  std::vector<Entry> entries;
  size_t at = 0;
  for (Entry entry; ParseRecord(image, at, entry); entry = Entry()) entries.push_back(std::move(entry));
  const bool torn = at < image.size();
  if (!entries.empty()) {
    std::map<std::string, std::unique_ptr<File>> files;
    for (const Entry& entry : entries) {
      for (const Op& op : entry.ops) {
        auto& file = files[entry.names[op.file]];
        if (!file) file = fs.Open(folder + entry.names[op.file], OpenMode::ReadWrite);
        if (op.truncate) file->Truncate(op.offset);
        else file->WriteAt(op.offset, op.bytes.data(), op.bytes.size());
      }
    }
    for (auto& [name, file] : files) file->Sync();
  }
  fs.Remove(journalPath);
  fs.SyncFolderOf(journalPath);
  if (!entries.empty()) return "The last changes were completed from the journal";
  // Torn: the crash came before the journal record was complete, so no table file was touched.
  return torn ? "An incomplete journal was discarded" : "";
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
