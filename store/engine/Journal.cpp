// The journal: a redo log beside the table that makes every change atomic across the table's
// files and durable with a single sync. Every change follows this order:
//
//  1. Before anything in the table's files changes, one record is appended to the journal: for
//     every file the change touches, its name; for every write, the file, the offset and the new
//     bytes; for every truncation, the new size. A length in front and a checksum behind close
//     the record. The journal is synced (and, the first time after this table's journal file was
//     created, its folder too, so its name survives a power loss). This is the commit point:
//     from here on the new state is the table's state, and a call that returned has passed it.
//     a. A write that fails before the commit point is cut off again (the journal truncated to
//        its old end and synced), so the next open does not apply a change reported as failed;
//        the table goes on as before.
//     b. A sync that fails is never tried again and trusted: after a failed fsync the kernel
//        may have dropped the pages it could not write, and a second fsync reports success for
//        them. The journal is in doubt (5).
//  2. The change's writes go to the files, in the order the change made them, without a sync:
//     the journal holds them until step 3. Writes that fail are made once more (the next open
//     would do the same); when that fails too, the journal is in doubt (5).
//  3. Checkpoint (when the journal has grown past its limit, before a pack, and on close):
//     a. every file the journal's records touched is synced;
//     b. the journal is cut to nothing, and its end offset follows at once;
//     c. the journal is synced.
//     A failure at any of these puts the journal in doubt (5).
//  4. On close and before a pack, the empty journal is removed (a crash before the removal
//     leaves an empty journal, which applies nothing).
//  5. In doubt: nothing truncates or removes the journal any more and the table takes no more
//     changes; closing only closes the journal file, and the next open completes every stored
//     change from it.
//
// Opening a table with a journal beside it:
//  R1. The journal is read record by record, one record in memory at a time: a record's length
//      is checked against the rest of the journal and a fixed limit before it is read, its
//      checksum before it is parsed, and its content (it names only the table's own files;
//      offsets and sizes within bounds) before anything of it is applied.
//  R2. Every complete record is applied again, in order. The writes are absolute (offset and
//      bytes, truncation to a size), so applying them again over files that hold any part of
//      them gives the state after the last complete record.
//  R3. The files are synced.
//  R4. What follows the last complete record decides what becomes of the journal. Nothing, or
//      the torn remains of one record (a change whose step 1 never completed: no table file was
//      touched for it): the journal is removed. Anything else (a record whose checksum holds but
//      whose content this engine never writes, or a sound record behind a broken one) is
//      damage: the journal may hold later changes, so it is kept beside the table under another
//      name, and the open says so.
//  R5. The folder is synced.
//
// Pack and restore use a second kind of journal, a rename journal:
//  P1. The new files are written and synced under temporary names ("<file>-pack", or
//      "<file>-restore" for the files of a backup).
//      Their folder is synced too: a journal that names a file whose name was lost would
//      roll forward without it.
//  P2. The list of renames is journaled (with a checksum), synced, and its folder synced.
//  P3. The renames run, the table's own file last; each rename is synced into the folder.
//  P4. The journal is removed and the folder synced.
// On open a valid rename journal is rolled forward (each temporary file still present is
// renamed into place); a torn one means no rename ran yet, so the journal is removed (and the
// temporary files with it, by the open).

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
// Magic and length in front of a record's body, checksum behind it.
constexpr uint64_t kHeadBytes = 16;
constexpr uint64_t kFrameBytes = kHeadBytes + 8;
// The largest record body this engine writes (a change is refused before its commit point when
// it would be larger), and the end of the largest file a record may write: a record claiming
// more is not one of ours, and nothing is allocated or written for it.
constexpr uint64_t kMaxRecordBytes = uint64_t(1) << 30;
constexpr uint64_t kMaxFileBytes = uint64_t(1) << 40;
// A rename journal lists at most three renames of short names.
constexpr uint64_t kMaxRenameJournal = 64 * 1024;
// Recover keeps a damaged journal under the first free one of this many names.
constexpr int kDamagedNames = 100;

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
uint64_t ReadU64(const char* p) { return ReadU32(p) | (uint64_t(ReadU32(p + 4)) << 32); }

std::string BaseName(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
std::string FolderOf(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}
std::string TableOf(const std::string& journalPath) {
  const std::string suffix = Journal::PathFor("");
  return journalPath.size() > suffix.size() ? journalPath.substr(0, journalPath.size() - suffix.size()) : journalPath;
}

// The names of the files a journal beside `table` may change: the table, its memo file and its
// index (in either case of the extension, as the table finds them).
std::vector<std::string> OwnFileNames(const std::string& table) {
  const std::string name = BaseName(table);
  const auto dot = name.rfind('.');
  const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
  return {name, base + ".dbt", base + ".DBT", base + ".mdx", base + ".MDX"};
}

bool IsOneOf(std::string_view name, const std::vector<std::string>& names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// A reader over one record in memory that never reads past its end.
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
    if (data_.size() - at_ < 8) return false;
    v = ReadU64(data_.data() + at_);
    at_ += 8;
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

// One parsed journal record; its views point into the reader's buffer.
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

// Parses a record body that passed its checksum; false when it is not one this engine writes.
bool ParseBody(std::string_view body, const std::vector<std::string>& allowed, Entry& entry) {
  Reader r(body);
  uint32_t fileCount = 0, opCount = 0;
  if (!r.U32(fileCount)) return false;
  for (uint32_t i = 0; i < fileCount; ++i) {
    uint32_t n;
    std::string_view name;
    if (!r.U32(n) || !r.Bytes(n, name) || !IsOneOf(name, allowed)) return false;
    entry.names.emplace_back(name);
  }
  if (!r.U32(opCount)) return false;
  for (uint32_t i = 0; i < opCount; ++i) {
    Op op{};
    uint32_t kind = 0, n = 0;
    if (!r.U32(op.file) || !r.U32(kind) || !r.U64(op.offset) || !r.U32(n) || !r.Bytes(n, op.bytes)) return false;
    if (op.file >= fileCount || kind > 1 || (kind == 1 && n != 0)) return false;
    if (op.offset > kMaxFileBytes || n > kMaxFileBytes - op.offset) return false;
    op.truncate = kind == 1;
    entry.ops.push_back(op);
  }
  return r.AtEnd();
}

// R1: reads a redo journal record by record from its file.
class RecordReader {
 public:
  enum class Status { Record, End, Torn, Damaged };
  RecordReader(File& journal, std::vector<std::string> allowed)
      : file_(journal), size_(journal.Size()), allowed_(std::move(allowed)) {}

  Status Next(Entry& entry) {
    entry = Entry();
    if (at_ == size_) return Status::End;
    const uint64_t left = size_ - at_;
    char head[kHeadBytes];
    if (left < kFrameBytes || file_.ReadAt(at_, head, kHeadBytes) != kHeadBytes ||
        std::memcmp(head, kRedoMagic, 8) != 0)
      return Tail();
    const uint64_t length = ReadU64(head + 8);
    // The magic is whole, so the length beside it is as written: a length no record of this
    // engine has is damage.
    if (length > kMaxRecordBytes) return Status::Damaged;
    if (length > left - kFrameBytes) return Tail();
    record_.resize(static_cast<size_t>(kFrameBytes + length));
    if (file_.ReadAt(at_, record_.data(), record_.size()) != record_.size()) return Tail();
    const std::string_view whole(record_);
    if (ReadU64(record_.data() + kHeadBytes + length) != Checksum(whole.substr(0, kHeadBytes + length)))
      // A torn record is the journal's last: bytes behind a broken one mean damage.
      return record_.size() < left ? Status::Damaged : Tail();
    if (!ParseBody(whole.substr(kHeadBytes, length), allowed_, entry)) return Status::Damaged;
    at_ += record_.size();
    return Status::Record;
  }

 private:
  // What follows the last complete record: the torn remains of the change that was being
  // stored, unless it cannot be. Torn remains start with the record's magic (its first sector
  // kept) or with zeros (a sector behind it kept, the first one lost), are not longer than a
  // record, and hold no sound record.
  Status Tail() {
    const uint64_t left = size_ - at_;
    char start[8] = {};
    const size_t got = file_.ReadAt(at_, start, std::min<uint64_t>(left, sizeof start));
    const bool looksTorn = start[0] == '\0' || std::memcmp(start, kRedoMagic, got) == 0;
    if (!looksTorn || left > kFrameBytes + kMaxRecordBytes || SoundRecordAfter(at_ + 1)) return Status::Damaged;
    return Status::Torn;
  }

  bool SoundRecordAfter(uint64_t from) {
    constexpr size_t kChunk = 64 * 1024;
    std::string chunk(kChunk + 8, '\0');
    for (uint64_t at = from; at + kFrameBytes <= size_; at += kChunk) {
      const size_t got = file_.ReadAt(at, chunk.data(), chunk.size());
      const char* const end = chunk.data() + std::min(got, kChunk);
      for (const char* p = chunk.data(); (p = static_cast<const char*>(std::memchr(p, kRedoMagic[0], end - p))); ++p) {
        if (p + 8 <= chunk.data() + got && std::memcmp(p, kRedoMagic, 8) == 0 && SoundRecordAt(at + (p - chunk.data())))
          return true;
      }
    }
    return false;
  }

  bool SoundRecordAt(uint64_t at) {
    char head[kHeadBytes];
    if (size_ - at < kFrameBytes || file_.ReadAt(at, head, kHeadBytes) != kHeadBytes) return false;
    const uint64_t length = ReadU64(head + 8);
    if (length > kMaxRecordBytes || length > size_ - at - kFrameBytes) return false;
    std::string record(static_cast<size_t>(kFrameBytes + length), '\0');
    if (file_.ReadAt(at, record.data(), record.size()) != record.size()) return false;
    return ReadU64(record.data() + kHeadBytes + length) == Checksum(std::string_view(record).substr(0, kHeadBytes + length));
  }

  File& file_;
  const uint64_t size_;
  const std::vector<std::string> allowed_;
  uint64_t at_ = 0;
  std::string record_;
};

// A rename journal's list, when the journal is a sound one; `damaged` when its checksum holds
// but its names are not a pack's or a restore's; `torn` when it starts as a rename journal but
// its checksum does not hold: its one write never completed, so no rename ran.
bool ReadRenames(File& journal, const std::string& table, std::vector<std::pair<std::string, std::string>>& renames,
                 bool& damaged, bool& torn) {
  damaged = torn = false;
  const uint64_t size = journal.Size();
  if (size == 0 || size > kMaxRenameJournal) return false;
  std::string image(static_cast<size_t>(size), '\0');
  if (journal.ReadAt(0, image.data(), image.size()) != image.size()) return false;
  if (std::memcmp(image.data(), kRenameMagic, std::min<size_t>(8, image.size())) != 0) return false;
  const std::string_view all(image);
  if (size < kFrameBytes || ReadU64(image.data() + image.size() - 8) != Checksum(all.substr(0, all.size() - 8))) {
    torn = true;
    return false;
  }
  Reader r(all.substr(8, all.size() - 16));
  const std::vector<std::string> own = OwnFileNames(table);
  uint32_t count = 0;
  bool ok = r.U32(count);
  for (uint32_t i = 0; ok && i < count; ++i) {
    uint32_t a, b;
    std::string_view from, to;
    ok = r.U32(a) && r.Bytes(a, from) && r.U32(b) && r.Bytes(b, to) && IsOneOf(to, own) &&
         (from == std::string(to) + Journal::kPackSuffix || from == std::string(to) + Journal::kRestoreSuffix);
    if (ok) renames.emplace_back(from, to);
  }
  damaged = !ok || !r.AtEnd();
  return !damaged;
}

// R4 for a damaged journal: kept beside the table under the first free name.
std::string KeepDamaged(FileSystem& fs, const std::string& journalPath, const std::string& table) {
  const std::string first = Journal::DamagedPathFor(table);
  for (int i = 1; i <= kDamagedNames; ++i) {
    const std::string name = i == 1 ? first : first + "-" + std::to_string(i);
    if (fs.Exists(name)) continue;
    fs.Rename(journalPath, name);
    return name;
  }
  throw EngineError(ResultCode::IoError,
                    "The damaged journal " + journalPath + " cannot be kept: " + std::to_string(kDamagedNames) +
                        " damaged journals of " + table + " are kept already; move them away and open the table again",
                    {"File: " + journalPath});
}

}  // namespace

Journal::Journal(FileSystem& fs, std::string journalPath, uint64_t checkpointBytes)
    : fs_(fs), path_(std::move(journalPath)), checkpointBytes_(checkpointBytes) {}

Journal::~Journal() = default;

void Journal::WriteAt(File& file, uint64_t offset, std::string_view bytes) {
  if (!bytes.empty()) writes_.push_back({&file, offset, std::string(bytes), false});
}

void Journal::Truncate(File& file, uint64_t size) { writes_.push_back({&file, size, {}, true}); }

std::string Journal::FrameRecord(std::string_view body) {
  std::string record(kRedoMagic, 8);
  PutU64(record, body.size());
  record += body;
  PutU64(record, Checksum(record));
  return record;
}

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
  if (body.size() > kMaxRecordBytes)
    throw EngineError(ResultCode::InvalidCall,
                      "The change is too large to be stored at once (" + std::to_string(body.size() >> 20) +
                          " MiB; at most " + std::to_string(kMaxRecordBytes >> 20) + " MiB)",
                      {"File: " + path_});
  return FrameRecord(body);
}

// Step 1.
void Journal::Append(const std::string& record) {
  try {
    if (!log_) {
      log_ = fs_.Open(path_, OpenMode::CreateReadWrite);
      logEnd_ = 0;
      nameDurable_ = false;
    }
    log_->WriteAt(logEnd_, record.data(), record.size());
  } catch (...) {
    // 1a: the record may have reached the file in part; cut it off again.
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
  try {
    log_->Sync();
    if (!nameDurable_) {
      fs_.SyncFolderOf(path_);
      nameDurable_ = true;
    }
  } catch (...) {
    // 1b: whether the record is on the disk is unknown, and no later sync can tell. Cutting it
    // off in the page cache keeps it from coming back while the machine runs.
    inDoubt_ = true;
    try {
      log_->Truncate(logEnd_);
    } catch (...) {
    }
    throw;
  }
  logEnd_ += record.size();
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
  if (inDoubt_) {
    writes_.clear();
    throw EngineError(ResultCode::InvalidCall, "The journal " + path_ + " takes no changes until the table is reopened",
                      {"File: " + path_});
  }
  std::vector<File*> files;
  for (const Write& w : writes_)
    if (std::find(files.begin(), files.end(), w.file) == files.end()) files.push_back(w.file);
  try {
    Append(BuildRecord(files));
  } catch (...) {
    writes_.clear();
    throw;
  }
  committed_ = true;
  for (File* f : files)
    if (std::find(touched_.begin(), touched_.end(), f) == touched_.end()) touched_.push_back(f);
  try {  // step 2
    Apply();
  } catch (...) {
    try {
      Apply();
    } catch (...) {
      writes_.clear();
      inDoubt_ = true;
      throw;
    }
  }
  writes_.clear();
  // The change is stored whatever the checkpoint does; a failure leaves the journal in doubt.
  if (logEnd_ > checkpointBytes_) try { Checkpoint(); } catch (const EngineError&) {}
}

void Journal::Checkpoint() {
  if (inDoubt_ || !log_ || logEnd_ == 0) return;
  try {
    for (File* f : touched_) f->Sync();  // 3a
    log_->Truncate(0);                   // 3b
    logEnd_ = 0;
    log_->Sync();  // 3c
  } catch (...) {
    inDoubt_ = true;
    throw;
  }
  touched_.clear();
}

void Journal::Close() {
  if (!log_) return;
  if (!inDoubt_) Checkpoint();
  log_.reset();
  if (!inDoubt_) fs_.Remove(path_);  // step 4
}

std::string Journal::Recover(FileSystem& fs, const std::string& journalPath) {
  if (!fs.Exists(journalPath)) return {};
  const std::string folder = FolderOf(journalPath);
  const std::string table = TableOf(journalPath);
  auto journal = fs.Open(journalPath, OpenMode::ReadOnly);

  std::vector<std::pair<std::string, std::string>> renames;
  bool damagedRenames = false, tornRenames = false;
  const bool renameJournal = ReadRenames(*journal, table, renames, damagedRenames, tornRenames);
  if (tornRenames) {
    journal.reset();
    fs.Remove(journalPath);
    fs.SyncFolderOf(journalPath);
    return "An incomplete journal of " + table + " was discarded; the pack or restore it began had changed nothing";
  }
  if (renameJournal) {
    for (const auto& [from, to] : renames)
      if (fs.Exists(folder + from)) fs.Rename(folder + from, folder + to);
    journal.reset();
    fs.Remove(journalPath);
    fs.SyncFolderOf(journalPath);
    const bool restore = !renames.empty() && renames.back().first.ends_with(Journal::kRestoreSuffix);
    return std::string(restore ? "An interrupted restore of " : "An interrupted pack of ") + table + " was completed";
  }

  uint64_t applied = 0;
  RecordReader::Status status = RecordReader::Status::Damaged;
  if (!damagedRenames) {
    std::map<std::string, std::unique_ptr<File>> files;
    RecordReader reader(*journal, OwnFileNames(table));
    Entry entry;
    while ((status = reader.Next(entry)) == RecordReader::Status::Record) {  // R1
      for (const Op& op : entry.ops) {  // R2
        auto& file = files[entry.names[op.file]];
        if (!file) file = fs.Open(folder + entry.names[op.file], OpenMode::ReadWrite);
        if (op.truncate) file->Truncate(op.offset);
        else file->WriteAt(op.offset, op.bytes.data(), op.bytes.size());
      }
      ++applied;
    }
    for (auto& [name, file] : files) file->Sync();  // R3
  }
  journal.reset();
  std::string kept;
  if (status == RecordReader::Status::Damaged) kept = KeepDamaged(fs, journalPath, table);  // R4
  else fs.Remove(journalPath);
  fs.SyncFolderOf(journalPath);  // R5
  if (!kept.empty())
    return "The journal of " + table + " is damaged: " +
           (applied ? "the changes before the damage were completed, and " : std::string()) + "it is kept as " + kept;
  if (applied) return "The last changes to " + table + " were completed from the journal";
  // Torn: the crash came before the journal record was complete, so no table file was touched.
  return status == RecordReader::Status::Torn
             ? "An incomplete journal of " + table + " was discarded; the change it held had not been stored"
             : "";
}

void Journal::RenameAll(FileSystem& fs, const std::string& journalPath,
                        const std::vector<std::pair<std::string, std::string>>& renames) {
  std::string image(kRenameMagic, 8);  // P2
  PutU32s(image, static_cast<uint32_t>(renames.size()));
  for (const auto& [from, to] : renames) {
    std::string a = BaseName(from), b = BaseName(to);
    PutU32s(image, static_cast<uint32_t>(a.size()));
    image += a;
    PutU32s(image, static_cast<uint32_t>(b.size()));
    image += b;
  }
  PutU64(image, Checksum(image));
  if (!renames.empty()) fs.SyncFolderOf(renames.front().first);  // P1: the new files' names
  try {
    auto journal = fs.Open(journalPath, OpenMode::CreateReadWrite);
    journal->WriteAt(0, image.data(), image.size());
    journal->Sync();
    journal.reset();
    fs.SyncFolderOf(journalPath);
  } catch (...) {
    // No rename ran: without the journal the files are as they were.
    try { fs.Remove(journalPath); } catch (...) {}
    throw;
  }
  for (const auto& [from, to] : renames) fs.Rename(from, to);  // P3
  fs.Remove(journalPath);                                      // P4
  fs.SyncFolderOf(journalPath);
}

}  // namespace tindrel::engine
