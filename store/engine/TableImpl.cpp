#include "store/engine/TableImpl.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <map>

#include "store/engine/CursorImpl.h"
#include "store/engine/TableBackup.h"

namespace tindrel::engine {
namespace {

// Writes straight to the file: used only for files nobody else sees yet (Create, Pack's new
// files), where a crash leaves nothing half-changed that matters.
class DirectWriter : public ChangeWriter {
 public:
  void WriteAt(File& file, uint64_t offset, std::string_view bytes) override {
    file.WriteAt(offset, bytes.data(), bytes.size());
  }
  void Truncate(File& file, uint64_t size) override { file.Truncate(size); }
};

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\0')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
  return s;
}

std::string FolderOf(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseNameNoExtension(const std::string& path) {
  auto slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  auto dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

// `base` + extension, in the case of the table's own extension unless a file of the other case
// exists.
std::string Companion(FileSystem& fs, const std::string& path, const std::string& lowerExtension) {
  auto slash = path.rfind('/');
  auto dot = path.rfind('.');
  std::string base = (dot == std::string::npos || (slash != std::string::npos && dot < slash)) ? path
                                                                                                : path.substr(0, dot);
  std::string lower = base + lowerExtension;
  std::string upper = base + Upper(lowerExtension);
  bool tableUpper = dot != std::string::npos && path.size() > dot + 1 && std::isupper(static_cast<unsigned char>(path[dot + 1]));
  std::string preferred = tableUpper ? upper : lower, other = tableUpper ? lower : upper;
  if (fs.Exists(preferred) || !fs.Exists(other)) return preferred;
  return other;
}

EngineError FieldError(ResultCode code, const std::string& text, const FieldDesc& f) {
  return EngineError(code, text, {"Field: " + f.name});
}

// Formats a decimal number with exactly `decimals` digits after the point (rounding half away
// from zero), in decimal arithmetic so no binary rounding creeps in.
std::string FormatNumber(std::string_view text, const FieldDesc& f) {
  std::string_view s = Trim(text);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  std::string whole, fraction;
  bool point = false;
  bool bad = false;
  for (char c : s) {
    if (c == '.' && !point) point = true;
    else if (c >= '0' && c <= '9') (point ? fraction : whole) += c;
    else { bad = true; break; }
  }
  if (bad || (whole.empty() && fraction.empty()))
    throw FieldError(ResultCode::InvalidValue,
                     "'" + std::string(text) + "' is not a number for field '" + f.name + "'", f);
  const size_t dec = f.decimals;
  bool roundUp = fraction.size() > dec && fraction[dec] >= '5';
  fraction.resize(dec, '0');
  std::string digits = whole + fraction;
  if (roundUp) {
    int i = static_cast<int>(digits.size()) - 1;
    for (; i >= 0; --i) {
      if (digits[i] == '9') digits[i] = '0';
      else { ++digits[i]; break; }
    }
    if (i < 0) digits.insert(digits.begin(), '1');
  }
  whole = digits.substr(0, digits.size() - dec);
  fraction = digits.substr(digits.size() - dec);
  size_t firstNonZero = whole.find_first_not_of('0');
  whole = firstNonZero == std::string::npos ? "0" : whole.substr(firstNonZero);
  if (whole == "0" && fraction.find_first_not_of('0') == std::string::npos) negative = false;
  std::string out = (negative ? "-" : "") + whole + (dec > 0 ? "." + fraction : "");
  if (out.size() > f.length)
    throw FieldError(ResultCode::ValueTooLong,
                     "The number " + std::string(Trim(text)) + " does not fit in field '" + f.name + "' (" +
                         std::to_string(f.length) + " characters, " + std::to_string(dec) + " decimals)",
                     f);
  return std::string(f.length - out.size(), ' ') + out;
}

bool ValidDate(std::string_view s) {
  if (s.size() != 8 || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
  int y = std::stoi(std::string(s.substr(0, 4))), m = std::stoi(std::string(s.substr(4, 2))),
      d = std::stoi(std::string(s.substr(6, 2)));
  static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || m < 1 || m > 12 || d < 1 || d > days[m - 1]) return false;
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return !(m == 2 && d == 29 && !leap);
}

// The memo pointer as the field stores it: the block number right-aligned, blank for none.
std::string PointerText(uint32_t block, const FieldDesc& f) {
  std::string pointer = block == 0 ? std::string() : std::to_string(block);
  if (pointer.size() > f.length)
    throw FieldError(ResultCode::ValueTooLong,
                     "The memo block number " + pointer + " does not fit in field '" + f.name + "'", f);
  return std::string(f.length - pointer.size(), ' ') + pointer;
}

}  // namespace

std::unique_ptr<Table> Table::Open(const std::string& path, const OpenOptions& options) {
  return std::make_unique<TableImpl>(path, options);
}

TableImpl::TableImpl(const std::string& path, const OpenOptions& options)
    : fs_(options.fileSystem ? *options.fileSystem : FileSystem::Default()),
      path_(path),
      options_(options),
      journal_(fs_, Journal::PathFor(path), options.checkpointBytes) {
  if (!fs_.Exists(path_))
    throw EngineError(ResultCode::FileNotFound, "The table " + path_ + " does not exist", {"File: " + path_});
  const std::string memoPath = Companion(fs_, path_, ".dbt");
  const std::string indexPath = Companion(fs_, path_, ".mdx");
  const std::string journalPath = Journal::PathFor(path_);

  bool writable = !options.readOnly && fs_.IsWritable(path_) && fs_.IsWritable(FolderOf(path_));
  if (writable && fs_.Exists(memoPath)) writable = fs_.IsWritable(memoPath);
  if (writable && fs_.Exists(indexPath)) writable = fs_.IsWritable(indexPath);

  dbfFile_ = fs_.Open(path_, writable ? OpenMode::ReadWrite : OpenMode::ReadOnly);
  if (options.exclusive && !dbfFile_->TryLockExclusive())
    throw EngineError(ResultCode::TableInUse, "The table " + path_ + " is in use by another program",
                      {"File: " + path_});

  if (fs_.Exists(journalPath)) {
    // Only the lock holder may apply the journal: another opener may be changing the table now.
    if (!options.exclusive && !dbfFile_->TryLockExclusive())
      throw EngineError(ResultCode::TableInUse, "The table " + path_ + " is being changed by another program",
                        {"File: " + path_});
    if (!writable)
      throw EngineError(ResultCode::TableDamaged,
                        "The table " + path_ + " holds changes that are not yet in its files, and they cannot be "
                        "completed now because " +
                            (options.readOnly ? std::string("the table is opened read-only")
                                              : std::string("its files cannot be written")) +
                            "; open it once where its files can be written to complete them",
                        {"File: " + journalPath});
    // R1 to R5 of Journal.cpp.
    if (std::string done = Journal::Recover(fs_, journalPath); !done.empty()) warnings_.push_back(done);
    // A completed pack renamed new files into place: the handle (and its lock) may belong to
    // the file that was replaced.
    dbfFile_.reset();
    dbfFile_ = fs_.Open(path_, OpenMode::ReadWrite);
    if (options.exclusive && !dbfFile_->TryLockExclusive())
      throw EngineError(ResultCode::TableInUse, "The table " + path_ + " is in use by another program",
                        {"File: " + path_});
  }
  // New files of a pack or a restore that never reached the rename journal.
  for (const char* suffix : {Journal::kPackSuffix, Journal::kRestoreSuffix})
    for (const std::string& file : {path_, memoPath, indexPath})
      if (writable && fs_.Exists(file + suffix)) fs_.Remove(file + suffix);

  {
    std::string image(static_cast<size_t>(dbfFile_->Size()), '\0');
    image.resize(dbfFile_->ReadAt(0, image.data(), image.size()));
    dbf_ = DbfFile::Parse(std::move(image), path_);
  }
  for (const auto& w : dbf_.Warnings()) warnings_.push_back(w);
  if (dbf_.Truncated()) writable = false;

  if (dbf_.HasMemoFields()) {
    if (!fs_.Exists(memoPath))
      throw EngineError(ResultCode::MemoFileMissing, "The memo file " + memoPath + " of the table is missing",
                        {"File: " + memoPath});
    memoHandle_ = fs_.Open(memoPath, writable ? OpenMode::ReadWrite : OpenMode::ReadOnly);
    memo_ = std::make_unique<MemoFile>(*memoHandle_, dbf_.Version());
  }

  if (dbf_.ProductionIndexFlag()) {
    try {
      if (!fs_.Exists(indexPath))
        throw EngineError(ResultCode::IndexFileMissing, "The index file " + indexPath + " of the table is missing",
                          {"File: " + indexPath});
      indexHandle_ = fs_.Open(indexPath, writable ? OpenMode::ReadWrite : OpenMode::ReadOnly);
      index_ = MdxIndex::Open(*indexHandle_, dbf_.Fields());
      // A change this engine cannot carry into every tag would leave the index stale.
      for (const TagInfo& tag : index_->Tags()) {
        if (tag.maintainable || !writable) continue;
        warnings_.push_back("The index tag " + tag.name + " of " + indexPath + " uses the key '" + tag.expression +
                            "', which this program cannot maintain; the table opens read-only");
        writable = false;
      }
    } catch (const EngineError& e) {
      if (!options.tolerateBadIndex ||
          (e.Code() != ResultCode::IndexFileMissing && e.Code() != ResultCode::IndexDamaged &&
           e.Code() != ResultCode::Unsupported))
        throw;
      warnings_.push_back(e.MainText() + "; the table opens without it, read-only");
      index_.reset();
      indexHandle_.reset();
      indexReplaceable_ = writable && e.Code() != ResultCode::Unsupported;
      writable = false;
    }
  } else if (fs_.Exists(indexPath)) {
    warnings_.push_back("The index file " + indexPath + " is not marked as the table's production index; it is not used");
  }

  int codePage = CodePage::FromLanguageDriver(dbf_.LanguageDriver());
  if (codePage == 0 || !CodePage::IsSupported(codePage)) {
    if (dbf_.LanguageDriver() != 0)
      warnings_.push_back("The language driver " + std::to_string(dbf_.LanguageDriver()) + " of " + path_ +
                          " names no code page this program converts; code page " +
                          std::to_string(options.defaultCodePage) + " is used");
    codePage = options.defaultCodePage;
  }
  codePage_ = CodePage::Get(codePage);
  if (!writable)
    BecomeReadOnly(options.readOnly ? "The table " + path_ + " was opened read-only"
                                    : "The files of " + path_ + " cannot be written");
}

void TableImpl::BecomeReadOnly(std::string reason) {
  if (readOnly_) return;
  readOnly_ = true;
  readOnlyReason_ = std::move(reason);
}

bool TableImpl::InDoubt() const { return journal_.InDoubt() || packInterrupted_; }

void TableImpl::StopIfInDoubt() {
  if (!journal_.InDoubt() || readOnly_) return;
  BecomeReadOnly("Writing to the files of " + path_ +
                 " failed; the stored changes are safe in its journal, and reopening the table completes them");
  warnings_.push_back(readOnlyReason_);
}

TableImpl::~TableImpl() {
  for (CursorImpl* cursor : cursors_) cursor->DetachTable();
  // Steps 3 and 4; in doubt, the journal stays for the next open (step 5). The changes are safe
  // in the journal whether or not this succeeds.
  try {
    journal_.Close();
  } catch (const EngineError&) {
  }
}

void TableImpl::Detach(CursorImpl* cursor) {
  cursors_.erase(std::remove(cursors_.begin(), cursors_.end(), cursor), cursors_.end());
}

int TableImpl::FieldIndex(std::string_view name) const {
  const auto& fields = dbf_.Fields();
  for (size_t i = 0; i < fields.size(); ++i)
    if (EqualNoCase(fields[i].name, name)) return static_cast<int>(i);
  return -1;
}

bool TableImpl::IsLive(uint32_t recno) const {
  return recno >= 1 && recno <= dbf_.RecordCount() && dbf_.RecordAt(recno)[0] != DbfFile::kDeleted;
}

Record TableImpl::ReadRecord(uint32_t recno) const {
  if (recno < 1 || recno > dbf_.RecordCount())
    throw EngineError(ResultCode::RecordNotFound, "Record " + std::to_string(recno) + " does not exist in " + path_);
  Record record;
  record.bytes.assign(dbf_.RecordAt(recno));
  record.recno = recno;
  return record;
}

Record TableImpl::BlankRecord() const {
  Record record;
  record.bytes.assign(dbf_.RecordLength(), ' ');
  return record;
}

void TableImpl::CheckField(int field) const {
  if (field < 0 || field >= static_cast<int>(dbf_.Fields().size()))
    throw EngineError(ResultCode::NoSuchField, "The table " + path_ + " has no field number " + std::to_string(field));
}

void TableImpl::CheckRecord(const Record& record) const {
  if (record.bytes.size() != dbf_.RecordLength())
    throw EngineError(ResultCode::InvalidCall, "A record of " + std::to_string(record.bytes.size()) +
                                                   " bytes does not belong to " + path_);
}

void TableImpl::CheckWritable() const {
  if (readOnly_)
    throw EngineError(ResultCode::ReadOnlyTable, "The table " + path_ + " is read-only", {readOnlyReason_, "File: " + path_});
  // A table opened without the exclusive lock takes it for its first change and keeps it: the
  // journal may hold its changes until the table closes, and only one writer may own it.
  if (!options_.exclusive && !lockedForChanges_) {
    if (!dbfFile_->TryLockExclusive())
      throw EngineError(ResultCode::TableInUse,
                        "The table " + path_ + " is in use by another program and cannot be changed now",
                        {"File: " + path_});
    lockedForChanges_ = true;
    // Another writer may have changed the file since it was read: changes made on a stale image
    // would overwrite that writer's records.
    std::string now(static_cast<size_t>(dbfFile_->Size()), '\0');
    now.resize(dbfFile_->ReadAt(0, now.data(), now.size()));
    staleImage_ = now != dbf_.Image();
  }
  if (staleImage_)
    throw EngineError(ResultCode::TableInUse,
                      "The table " + path_ + " was changed by another program after it was opened; reopen it to "
                      "change it",
                      {"File: " + path_});
}

std::string_view TableImpl::RawField(const Record& record, int field) const {
  CheckField(field);
  CheckRecord(record);
  const FieldDesc& f = dbf_.Fields()[field];
  return std::string_view(record.bytes).substr(f.offset, f.length);
}

uint64_t TableImpl::NewChangeBase() {
  // 2^32 changes for each open table before its values could meet the next one's.
  static std::atomic<uint64_t> opened{0};
  return (opened.fetch_add(1) + 1) << 32;
}

uint32_t TableImpl::MemoBlock(std::string_view raw) const {
  std::string_view s = Trim(raw);
  if (s.empty() || s.size() > 10 || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return 0;
  uint64_t value = std::stoull(std::string(s));
  return value > UINT32_MAX ? 0 : static_cast<uint32_t>(value);
}

std::string TableImpl::MemoBytes(const Record& record, int field, size_t maxBytes, std::string* problem) const {
  std::string_view raw = RawField(record, field);
  auto pending = record.pendingMemos.find(field);
  if (pending != record.pendingMemos.end())
    return pending->second.substr(0, std::min(maxBytes, pending->second.size()));
  if (!memo_) return {};
  const uint32_t block = MemoBlock(raw);
  if (block == 0) {
    std::string_view t = Trim(raw);
    if (!t.empty() && t != "0" && problem)
      *problem = "The memo pointer '" + std::string(t) + "' is not a block number";
    return {};
  }
  return memo_->Read(block, maxBytes, problem);
}

EngineError TableImpl::MemoDamagedError(const Record& record, int field, const std::string& problem) const {
  const std::string where = record.recno ? "record " + std::to_string(record.recno) : std::string("a new record");
  return EngineError(ResultCode::MemoDamaged,
                     "The memo in " + where + ", field " + dbf_.Fields()[field].name + " of " + path_ +
                         " is damaged and cannot be read",
                     {problem, "File: " + (memoHandle_ ? memoHandle_->Path() : path_)});
}

// A damaged memo is an error, not an empty text: a caller that showed it as empty could let a
// person type over it and lose what is left of it.
std::string TableImpl::ReadMemo(const Record& record, int field, size_t maxBytes) const {
  std::string problem;
  std::string bytes = MemoBytes(record, field, maxBytes, &problem);
  if (!problem.empty()) throw MemoDamagedError(record, field, problem);
  return codePage_->Decode(bytes);
}

bool TableImpl::ReadMemoBytes(const Record& record, int field, std::string& out) const {
  std::string_view raw = RawField(record, field);
  auto pending = record.pendingMemos.find(field);
  if (pending != record.pendingMemos.end()) {
    out = pending->second;
    return true;
  }
  const uint32_t block = memo_ ? MemoBlock(raw) : 0;
  if (block == 0) {
    out.clear();
    const std::string_view t = Trim(raw);
    return !memo_ || t.empty() || t == "0";
  }
  return memo_->ReadInto(block, out);
}

std::optional<uint32_t> TableImpl::MemoBlockOf(const Record& record, int field) const {
  const std::string_view raw = RawField(record, field);
  const uint32_t block = memo_ ? MemoBlock(raw) : 0;
  if (block != 0) return block;
  const std::string_view t = Trim(raw);
  if (memo_ && !t.empty() && t != "0") return std::nullopt;
  return 0;
}

void TableImpl::ReadMemoBlocks(const std::vector<uint32_t>& blocks,
                               const std::function<void(size_t i, bool sound, std::string_view bytes)>& visit,
                               MemoVisits visits) const {
  if (memo_) {
    memo_->ReadBlocks(blocks, visit, visits);
    return;
  }
  for (size_t i = 0; i < blocks.size(); ++i) visit(i, true, {});
}

std::string TableImpl::ReadDamagedMemo(const Record& record, int field, std::string* problem) const {
  std::string found;
  std::string bytes = MemoBytes(record, field, SIZE_MAX, &found);
  if (problem) *problem = found;
  return codePage_->Decode(bytes);
}

std::string TableImpl::GetText(const Record& record, int field) const {
  std::string_view raw = RawField(record, field);
  const FieldDesc& f = dbf_.Fields()[field];
  switch (f.type) {
    case 'C':
      return codePage_->Decode(WithoutPadding(raw));
    case 'N':
    case 'F':
      return IsBlank(record, field) ? std::string() : std::string(Trim(raw));
    case 'D':
      return IsBlank(record, field) ? std::string() : std::string(Trim(raw));
    case 'L':
      switch (raw[0]) {
        case 'T': case 't': case 'Y': case 'y': return "T";
        case 'F': case 'f': case 'N': case 'n': return "F";
        default: return {};
      }
    case 'M':
    case 'B':
    case 'G':
      return ReadMemo(record, field);
    default:
      return codePage_->Decode(raw);
  }
}

bool TableImpl::IsBlank(const Record& record, int field) const {
  std::string_view raw = RawField(record, field);
  const FieldDesc& f = dbf_.Fields()[field];
  std::string_view t = Trim(raw);
  switch (f.type) {
    case 'N':
    case 'F':
      return t.empty() || t.find_first_not_of('*') == std::string_view::npos;
    case 'D':
      return t.empty() || t == "00000000";
    case 'L':
      return std::string_view("TtYyFfNn").find(raw[0]) == std::string_view::npos;
    case 'M':
    case 'B':
    case 'G': {
      auto pending = record.pendingMemos.find(field);
      if (pending != record.pendingMemos.end()) return pending->second.empty();
      return MemoBlock(raw) == 0;
    }
    default:
      return t.empty();
  }
}

void TableImpl::SetBlank(Record& record, int field) const {
  CheckField(field);
  CheckRecord(record);
  const FieldDesc& f = dbf_.Fields()[field];
  if (f.IsMemo()) {
    record.pendingMemos[field] = std::string();
    return;
  }
  std::fill_n(record.bytes.begin() + f.offset, f.length, f.type == 'L' ? '?' : ' ');
  if (f.type == 'L' && f.length > 1) std::fill_n(record.bytes.begin() + f.offset + 1, f.length - 1, ' ');
}

void TableImpl::SetText(Record& record, int field, std::string_view utf8) const {
  CheckField(field);
  CheckRecord(record);
  const FieldDesc& f = dbf_.Fields()[field];
  std::string stored;
  switch (f.type) {
    case 'N':
    case 'F':
      if (Trim(utf8).empty()) return SetBlank(record, field);
      stored = FormatNumber(utf8, f);
      break;
    case 'D': {
      std::string_view t = Trim(utf8);
      if (t.empty()) return SetBlank(record, field);
      if (!ValidDate(t))
        throw FieldError(ResultCode::InvalidValue,
                         "'" + std::string(utf8) + "' is not a date (YYYYMMDD) for field '" + f.name + "'", f);
      if (t.size() > f.length) throw FieldError(ResultCode::ValueTooLong, "The date does not fit in field '" + f.name + "'", f);
      stored.assign(t);
      break;
    }
    case 'L': {
      std::string_view t = Trim(utf8);
      if (t.empty() || t == "?") return SetBlank(record, field);
      if (t.size() == 1 && std::string_view("TtYy").find(t[0]) != std::string_view::npos) stored = "T";
      else if (t.size() == 1 && std::string_view("FfNn").find(t[0]) != std::string_view::npos) stored = "F";
      else throw FieldError(ResultCode::InvalidValue, "'" + std::string(utf8) + "' is not a logical value for field '" + f.name + "'", f);
      break;
    }
    case 'M':
    case 'B':
    case 'G':
      record.pendingMemos[field] = codePage_->Encode(utf8, f.name);
      if (memo_ && memo_->Layout() == MemoLayout::DBase3 &&
          record.pendingMemos[field].find(DbfFile::kEndMark) != std::string::npos) {
        record.pendingMemos.erase(field);
        throw FieldError(ResultCode::InvalidValue,
                         "The memo for field '" + f.name + "' holds the character U+001A, which this memo file cannot store", f);
      }
      return;
    default: {
      stored = codePage_->Encode(utf8, f.name);
      if (stored.size() > f.length)
        throw FieldError(ResultCode::ValueTooLong,
                         "The text is too long for field '" + f.name + "' (" + std::to_string(stored.size()) + " of " +
                             std::to_string(f.length) + " characters)",
                         f);
      break;
    }
  }
  stored.resize(f.length, ' ');
  std::copy(stored.begin(), stored.end(), record.bytes.begin() + f.offset);
}

void TableImpl::StoreMemos(Record& record, const Record* old) {
  for (const auto& [field, bytes] : record.pendingMemos) {
    CheckField(field);
    const FieldDesc& f = dbf_.Fields()[field];
    if (!f.IsMemo()) continue;
    uint32_t oldBlock = old ? MemoBlock(std::string_view(old->bytes).substr(f.offset, f.length)) : 0;
    uint32_t block = 0;
    if (!memo_) {
      if (!bytes.empty()) throw EngineError(ResultCode::MemoFileMissing, "The table " + path_ + " has no memo file");
    } else {
      block = memo_->Write(journal_, oldBlock, bytes, f.name);
    }
    std::string pointer = PointerText(block, f);
    std::copy(pointer.begin(), pointer.end(), record.bytes.begin() + f.offset);
  }
}

void TableImpl::CommitChange(const std::vector<std::pair<uint64_t, std::string>>& dbfWrites, uint32_t newCount) {
  for (const auto& [offset, bytes] : dbfWrites) journal_.WriteAt(*dbfFile_, offset, bytes);
  const uint64_t end = dbf_.HeaderLength() + static_cast<uint64_t>(newCount) * dbf_.RecordLength() + 1;
  const bool trim = newCount != dbf_.RecordCount() && dbf_.Image().size() > end;
  if (trim) journal_.Truncate(*dbfFile_, end);
  auto patch = [&] {
    for (const auto& [offset, bytes] : dbfWrites) dbf_.Patch(offset, bytes);
    if (trim) dbf_.Truncate(end);
    dbf_.SetRecordCount(newCount);
    ++changeCount_;
  };
  try {
    journal_.Commit();  // steps 1 and 2 (and 3 when the journal is due)
  } catch (...) {
    // Past the commit point the change stands in the journal; keep the image in step with it.
    if (journal_.Committed()) {
      patch();
      committedDespiteError_ = true;
    }
    throw;
  }
  patch();
  // A checkpoint after the change may have failed: the change is stored, the table stops.
  StopIfInDoubt();
}

void TableImpl::AfterFailedChange() {
  journal_.Discard();
  StopIfInDoubt();
  if (committedDespiteError_) {
    committedDespiteError_ = false;
    return;
  }
  if (memo_) memo_->Reload();
  if (index_) {
    try {
      index_ = MdxIndex::Open(*indexHandle_, dbf_.Fields());
    } catch (const EngineError&) {
      BecomeReadOnly("The index of " + path_ + " could not be read back after a failed change; reopen the table");
    }
  }
}

uint32_t TableImpl::Append(Record& record) {
  CheckWritable();
  CheckRecord(record);
  record.bytes[0] = DbfFile::kLive;
  const uint32_t recno = dbf_.RecordCount() + 1;
  try {
    StoreMemos(record, nullptr);
    std::vector<std::pair<uint64_t, std::string>> writes;
    writes.emplace_back(dbf_.RecordOffset(recno), record.bytes + DbfFile::kEndMark);
    writes.emplace_back(1, DbfFile::HeaderCountAndDate(recno, DbfDate::Today()));
    if (index_) index_->InsertRecord(recno, record.bytes, journal_);
    CommitChange(writes, recno);
  } catch (...) {
    AfterFailedChange();
    throw;
  }
  record.recno = recno;
  record.pendingMemos.clear();
  return recno;
}

uint32_t TableImpl::AppendAll(std::vector<Record>& records) {
  CheckWritable();
  for (const Record& record : records) CheckRecord(record);
  const uint32_t first = dbf_.RecordCount() + 1;
  if (records.empty()) return first;
  if (records.size() > UINT32_MAX - dbf_.RecordCount())
    throw EngineError(ResultCode::InvalidCall, "The table " + path_ + " cannot hold " + std::to_string(records.size()) +
                                                   " more records");
  const uint32_t last = dbf_.RecordCount() + static_cast<uint32_t>(records.size());
  try {
    // The records are contiguous in the file: one write carries them all, and the end mark.
    std::string block;
    block.reserve(records.size() * dbf_.RecordLength() + 1);
    for (Record& record : records) {
      record.bytes[0] = DbfFile::kLive;
      StoreMemos(record, nullptr);
      block += record.bytes;
    }
    block += DbfFile::kEndMark;
    std::vector<std::pair<uint64_t, std::string>> writes;
    writes.emplace_back(dbf_.RecordOffset(first), std::move(block));
    writes.emplace_back(1, DbfFile::HeaderCountAndDate(last, DbfDate::Today()));
    if (index_) {
      std::vector<std::string_view> stored;
      stored.reserve(records.size());
      for (const Record& record : records) stored.push_back(record.bytes);
      index_->InsertRecords(first, stored, journal_);
    }
    CommitChange(writes, last);
  } catch (...) {
    AfterFailedChange();
    throw;
  }
  for (size_t i = 0; i < records.size(); ++i) {
    records[i].recno = first + static_cast<uint32_t>(i);
    records[i].pendingMemos.clear();
  }
  return first;
}

void TableImpl::Modify(Record& record) {
  CheckWritable();
  CheckRecord(record);
  if (!IsLive(record.recno))
    throw EngineError(ResultCode::RecordNotFound, "Record " + std::to_string(record.recno) + " of " + path_ + " is gone");
  Record old = ReadRecord(record.recno);
  record.bytes[0] = DbfFile::kLive;
  try {
    StoreMemos(record, &old);
    std::vector<std::pair<uint64_t, std::string>> writes;
    writes.emplace_back(dbf_.RecordOffset(record.recno), record.bytes);
    std::string date = DbfFile::HeaderCountAndDate(0, DbfDate::Today()).substr(0, 3);
    if (dbf_.Image().compare(1, 3, date) != 0) writes.emplace_back(1, date);
    if (index_) index_->UpdateRecord(record.recno, old.bytes, record.bytes, journal_);
    CommitChange(writes, dbf_.RecordCount());
  } catch (...) {
    AfterFailedChange();
    throw;
  }
  record.pendingMemos.clear();
}

void TableImpl::Delete(uint32_t recno) {
  CheckWritable();
  if (!IsLive(recno))
    throw EngineError(ResultCode::RecordNotFound, "Record " + std::to_string(recno) + " of " + path_ + " is gone");
  std::string old(dbf_.RecordAt(recno));
  try {
    std::vector<std::pair<uint64_t, std::string>> writes;
    writes.emplace_back(dbf_.RecordOffset(recno), std::string(1, DbfFile::kDeleted));
    std::string date = DbfFile::HeaderCountAndDate(0, DbfDate::Today()).substr(0, 3);
    if (dbf_.Image().compare(1, 3, date) != 0) writes.emplace_back(1, date);
    if (index_) index_->RemoveRecord(recno, old, journal_);
    CommitChange(writes, dbf_.RecordCount());
  } catch (...) {
    AfterFailedChange();
    throw;
  }
}

// A recall is one journal record like every other change (Journal.cpp, steps 1 and 2): the
// recalled records' bytes with their deleted marks cleared, their memos, the header's date and
// every index page that takes their keys. Everything is checked before the first write, so a
// refused recall changes nothing.
void TableImpl::Recall(std::vector<Record>& records) {
  CheckWritable();
  std::vector<uint32_t> named;
  named.reserve(records.size());
  for (const Record& record : records) {
    CheckRecord(record);
    const std::string which = "Record " + std::to_string(record.recno) + " of " + path_;
    if (record.recno < 1 || record.recno > dbf_.RecordCount())
      throw EngineError(ResultCode::RecordNotFound,
                        which + " does not exist (a pack removes deleted records for good); nothing was recalled",
                        {"File: " + path_});
    if (IsLive(record.recno))
      throw EngineError(ResultCode::InvalidCall, which + " is not deleted; nothing was recalled", {"File: " + path_});
    named.push_back(record.recno);
  }
  std::sort(named.begin(), named.end());
  if (const auto twice = std::adjacent_find(named.begin(), named.end()); twice != named.end())
    throw EngineError(ResultCode::InvalidCall,
                      "Record " + std::to_string(*twice) + " of " + path_ + " is named twice; nothing was recalled",
                      {"File: " + path_});
  if (records.empty()) return;
  try {
    std::vector<std::pair<uint64_t, std::string>> writes;
    writes.reserve(records.size() + 1);
    for (Record& record : records) {
      const Record old = ReadRecord(record.recno);
      record.bytes[0] = DbfFile::kLive;
      StoreMemos(record, &old);
      writes.emplace_back(dbf_.RecordOffset(record.recno), record.bytes);
      if (index_) index_->InsertRecord(record.recno, record.bytes, journal_);
    }
    std::string date = DbfFile::HeaderCountAndDate(0, DbfDate::Today()).substr(0, 3);
    if (dbf_.Image().compare(1, 3, date) != 0) writes.emplace_back(1, date);
    CommitChange(writes, dbf_.RecordCount());
  } catch (...) {
    AfterFailedChange();
    throw;
  }
  for (Record& record : records) record.pendingMemos.clear();
}

std::vector<std::string_view> TableImpl::AllRecords() const {
  std::vector<std::string_view> records;
  records.reserve(dbf_.RecordCount());
  for (uint32_t r = 1; r <= dbf_.RecordCount(); ++r) records.push_back(dbf_.RecordAt(r));
  return records;
}

void TableImpl::Reindex() {
  CheckWritable();
  if (!index_) return;
  try {
    index_->Rebuild(AllRecords(), journal_);
    journal_.Commit();
  } catch (...) {
    // Past the commit point the rebuilt index stands in the journal and in memory.
    committedDespiteError_ = journal_.Committed();
    AfterFailedChange();
    throw;
  }
  StopIfInDoubt();
  ++changeCount_;
}

// The new index is one change through the journal (see Journal.cpp for its write order): every
// block of the rebuilt index file and the table header's flags (byte 28, the production index;
// byte 31 of the descriptor of each field that a tag keys on alone) are one journal record. An
// index file that does not exist yet is created empty, and its name made durable, before that
// record is written, because applying the record again after a crash opens the file by name.
// A crash before the commit point leaves the records, the header and any index file that was
// there as they were (at most a new empty index file, which is not marked as the table's and
// is replaced by the next try).
std::string TableImpl::AddIndexTag(const MdxIndex::TagSpec& spec) {
  if (index_) {
    if (index_->FindTag(spec.name) >= 0)
      throw EngineError(ResultCode::InvalidCall, "The index of " + path_ + " has a tag " + spec.name + " already",
                        {"File: " + indexHandle_->Path()});
    for (const TagInfo& tag : index_->Tags())
      if (!tag.maintainable)
        throw EngineError(ResultCode::Unsupported,
                          "The index tag " + tag.name + " of " + indexHandle_->Path() + " uses the key '" +
                              tag.expression + "', which this program cannot maintain; nothing was changed",
                          {"File: " + indexHandle_->Path()});
  }
  if (!indexReplaceable_) CheckWritable();
  else if (!options_.exclusive)
    throw EngineError(ResultCode::InvalidCall, "A new index for " + path_ + " needs the table opened exclusively");

  const std::vector<std::string_view> records = AllRecords();
  std::unique_ptr<File> newHandle;
  std::unique_ptr<MdxIndex> newIndex;
  std::string created;  // the index file made here, removed again when the change fails
  std::string done;
  try {
    if (index_) {
      index_->AddTag(spec, records, journal_);
      done = "The tag " + spec.name + " was added to the index " + indexHandle_->Path();
    } else {
      const std::string indexPath = Companion(fs_, path_, ".mdx");
      if (fs_.Exists(indexPath)) {
        newHandle = fs_.Open(indexPath, OpenMode::ReadWrite);
        std::string unreadable;
        try {
          newIndex = MdxIndex::Open(*newHandle, dbf_.Fields());
        } catch (const EngineError& e) {
          if (e.Code() != ResultCode::IndexDamaged) throw;
          unreadable = e.MainText();
        }
        if (newIndex && newIndex->FindTag(spec.name) >= 0) {
          newIndex->Rebuild(records, journal_);
          done = "The index " + indexPath + " with its tag " + spec.name + " is now the table's production index";
        } else if (newIndex) {
          newIndex->AddTag(spec, records, journal_);
          done = "The index " + indexPath + " is now the table's production index, with the new tag " + spec.name;
        } else {
          done = unreadable + "; it was replaced by a new index with the tag " + spec.name;
        }
      } else {
        newHandle = fs_.Open(indexPath, OpenMode::CreateReadWrite);
        created = indexPath;
        fs_.SyncFolderOf(indexPath);
        done = "The index " + indexPath + " was made with the tag " + spec.name;
      }
      if (!newIndex) {
        // The blocks reach the file only through the journal, in the rebuild below.
        class Nowhere : public ChangeWriter {
          void WriteAt(File&, uint64_t, std::string_view) override {}
          void Truncate(File&, uint64_t) override {}
        } nowhere;
        newIndex = MdxIndex::Create(*newHandle, nowhere, Upper(BaseNameNoExtension(path_)), dbf_.Fields(), {spec});
        newIndex->Rebuild(records, journal_);
      }
    }

    std::vector<std::pair<uint64_t, std::string>> writes;
    if (!dbf_.ProductionIndexFlag()) writes.emplace_back(28, std::string(1, '\x01'));
    const MdxIndex& index = newIndex ? *newIndex : *index_;
    const auto& fields = dbf_.Fields();
    for (size_t f = 0; f < fields.size(); ++f) {
      if (fields[f].indexFlag) continue;
      const auto& tags = index.Tags();
      if (std::any_of(tags.begin(), tags.end(), [&](const TagInfo& tag) {
            return tag.forExpression.empty() && EqualNoCase(Trim(tag.expression), fields[f].name);
          }))
        writes.emplace_back(32 + 32 * f + 31, std::string(1, '\x01'));
    }
    CommitChange(writes, dbf_.RecordCount());
  } catch (...) {
    if (committedDespiteError_) {
      // Past the commit point the new index stands (in the journal at least); keep it.
      if (newIndex) {
        index_ = std::move(newIndex);
        indexHandle_ = std::move(newHandle);
      }
    } else if (!created.empty() && !journal_.InDoubt()) {
      // In doubt, the journal may hold the change, and completing it opens the file by name.
      newIndex.reset();
      newHandle.reset();
      try { fs_.Remove(created); } catch (...) {}
    }
    AfterFailedChange();
    throw;
  }
  if (newIndex) {
    index_ = std::move(newIndex);
    indexHandle_ = std::move(newHandle);
  }
  // The descriptors now carry the flags the header bytes say.
  dbf_ = DbfFile::Parse(dbf_.Image(), path_);
  if (indexReplaceable_) {
    indexReplaceable_ = false;
    readOnly_ = false;
    readOnlyReason_.clear();
    StopIfInDoubt();  // a checkpoint after the change may have failed
  }
  return done;
}

void TableImpl::Pack(const std::function<void(uint32_t done, uint32_t total)>& progress) {
  CheckWritable();
  // The changes so far reach the files and the journal goes (steps 3 and 4): the pack's swap
  // uses its name.
  try {
    journal_.Close();
  } catch (...) {
    StopIfInDoubt();
    throw;
  }
  DirectWriter direct;
  const uint32_t total = dbf_.RecordCount();
  const std::string dbfTemp = path_ + "-pack";
  const std::string memoPath = memoHandle_ ? memoHandle_->Path() : std::string();
  const std::string indexPath = indexHandle_ ? indexHandle_->Path() : std::string();
  const std::string memoTemp = memoPath + "-pack", indexTemp = indexPath + "-pack";
  std::unique_ptr<File> newDbf, newMemoFile, newIndexFile;
  std::string image;
  try {  // P1 of the rename journal's order (Journal.cpp)
    std::unique_ptr<MemoFile> newMemo;
    if (memo_) {
      newMemoFile = fs_.Open(memoTemp, OpenMode::CreateReadWrite);
      std::string empty = MemoFile::BuildEmpty(memo_->Layout(), Upper(BaseNameNoExtension(path_)));
      newMemoFile->WriteAt(0, empty.data(), empty.size());
      newMemo = std::make_unique<MemoFile>(*newMemoFile, dbf_.Version());
    }
    image = dbf_.Image().substr(0, dbf_.HeaderLength());
    uint32_t live = 0;
    std::vector<std::string_view> records;
    for (uint32_t r = 1; r <= total; ++r) {
      std::string_view old = dbf_.RecordAt(r);
      if (old[0] != DbfFile::kDeleted) {
        std::string record(old);
        record[0] = DbfFile::kLive;
        for (const FieldDesc& f : dbf_.Fields()) {
          if (!f.IsMemo() || !memo_) continue;
          // A damaged memo stops the pack: copying what is left would make the loss final.
          Record source;
          source.bytes = std::string(old);
          source.recno = r;
          const int field = static_cast<int>(&f - dbf_.Fields().data());
          std::string problem;
          std::string text = MemoBytes(source, field, SIZE_MAX, &problem);
          if (!problem.empty()) throw MemoDamagedError(source, field, problem);
          uint32_t block = newMemo->Write(direct, 0, text, f.name);
          std::string pointer = PointerText(block, f);
          std::copy(pointer.begin(), pointer.end(), record.begin() + f.offset);
        }
        image += record;
        ++live;
      }
      if (progress) progress(r, total);
    }
    image += DbfFile::kEndMark;
    std::string header = DbfFile::HeaderCountAndDate(live, DbfDate::Today());
    std::copy(header.begin(), header.end(), image.begin() + 1);
    newDbf = fs_.Open(dbfTemp, OpenMode::CreateReadWrite);
    newDbf->WriteAt(0, image.data(), image.size());
    if (index_) {
      std::string old(static_cast<size_t>(indexHandle_->Size()), '\0');
      old.resize(indexHandle_->ReadAt(0, old.data(), old.size()));
      newIndexFile = fs_.Open(indexTemp, OpenMode::CreateReadWrite);
      newIndexFile->WriteAt(0, old.data(), old.size());
      auto rebuilt = MdxIndex::Open(*newIndexFile, dbf_.Fields());
      const uint16_t hl = dbf_.HeaderLength(), rl = dbf_.RecordLength();
      for (uint32_t i = 0; i < live; ++i) records.push_back(std::string_view(image).substr(hl + uint64_t(i) * rl, rl));
      rebuilt->Rebuild(records, direct);
      newIndexFile->Sync();
    }
    if (newMemoFile) newMemoFile->Sync();
    newDbf->Sync();
    if ((options_.exclusive || lockedForChanges_) && !newDbf->TryLockExclusive())
      throw EngineError(ResultCode::TableInUse, "The packed table " + dbfTemp + " is in use by another program");
  } catch (...) {
    newDbf.reset();
    newMemoFile.reset();
    newIndexFile.reset();
    for (const auto& temp : {dbfTemp, memoTemp, indexTemp})
      if (temp != "-pack") try { fs_.Remove(temp); } catch (...) {}
    throw;
  }
  std::vector<std::pair<std::string, std::string>> renames;
  if (newMemoFile) renames.emplace_back(memoTemp, memoPath);
  if (newIndexFile) renames.emplace_back(indexTemp, indexPath);
  renames.emplace_back(dbfTemp, path_);  // the table last: its rename completes the swap
  try {
    Journal::RenameAll(fs_, Journal::PathFor(path_), renames);  // P2 to P4
    // The new files are in place; reopen them by their names (the journal records names).
    auto dbfFile = fs_.Open(path_, OpenMode::ReadWrite);
    std::unique_ptr<File> memoHandle, indexHandle;
    std::unique_ptr<MemoFile> memo;
    std::unique_ptr<MdxIndex> index;
    if (memo_) {
      memoHandle = fs_.Open(memoPath, OpenMode::ReadWrite);
      memo = std::make_unique<MemoFile>(*memoHandle, dbf_.Version());
    }
    if (index_) {
      indexHandle = fs_.Open(indexPath, OpenMode::ReadWrite);
      index = MdxIndex::Open(*indexHandle, dbf_.Fields());
    }
    DbfFile dbf = DbfFile::Parse(image, path_);
    memo_ = std::move(memo);
    memoHandle_ = std::move(memoHandle);
    index_ = std::move(index);
    indexHandle_ = std::move(indexHandle);
    dbf_ = std::move(dbf);
    dbfFile_ = std::move(dbfFile);
    lockHolder_ = std::move(newDbf);
  } catch (...) {
    packInterrupted_ = true;
    BecomeReadOnly("Packing " + path_ + " was interrupted; reopen the table to complete it");
    warnings_.push_back(readOnlyReason_);
    throw;
  }
  ++changeCount_;
}

std::vector<std::string> TableImpl::FilePaths() const {
  std::vector<std::string> paths{path_};
  if (memoHandle_) paths.push_back(memoHandle_->Path());
  if (indexHandle_) paths.push_back(indexHandle_->Path());
  return paths;
}

void TableImpl::Backup(const std::string& target) {
  if (InDoubt())
    throw EngineError(ResultCode::ReadOnlyTable,
                      "The files of " + path_ + " are behind the changes its journal holds, so a copy of them would "
                      "miss some; reopen the table to complete them, then back it up",
                      {"File: " + Journal::PathFor(path_)});
  // Steps 3a to 3c: the files then hold every stored change, and the empty journal nothing.
  try {
    journal_.Checkpoint();
  } catch (...) {
    StopIfInDoubt();
    throw;
  }
  std::vector<std::pair<File*, std::string>> copies{{dbfFile_.get(), target}};
  for (File* file : {memoHandle_.get(), indexHandle_.get()}) {
    if (!file) continue;
    const std::string& from = file->Path();
    const auto dot = from.rfind('.');
    copies.emplace_back(file, target.substr(0, target.rfind('.')) + from.substr(dot));
  }
  CopyFilesWhole(fs_, copies);
}

std::vector<std::string> TableImpl::Check() const {
  std::vector<std::string> problems;
  if (dbf_.HeaderCount() != dbf_.RecordCount())
    problems.push_back("The header counts " + std::to_string(dbf_.HeaderCount()) + " records, the file holds " +
                       std::to_string(dbf_.RecordCount()));
  std::map<uint64_t, uint32_t> memoOwners;  // (field, block) -> the first record pointing there
  for (uint32_t r = 1; r <= dbf_.RecordCount(); ++r) {
    std::string_view record = dbf_.RecordAt(r);
    if (record[0] != DbfFile::kLive && record[0] != DbfFile::kDeleted)
      problems.push_back("Record " + std::to_string(r) + " has no valid deletion flag");
    if (!memo_) continue;
    for (const FieldDesc& f : dbf_.Fields()) {
      if (!f.IsMemo()) continue;
      std::string_view raw = record.substr(f.offset, f.length);
      uint32_t block = MemoBlock(raw);
      if (block == 0 && !Trim(raw).empty() && Trim(raw) != "0") {
        problems.push_back("Record " + std::to_string(r) + " field " + f.name + " holds no valid memo pointer");
        continue;
      }
      std::string problem;
      memo_->Read(block, 16, &problem);
      if (!problem.empty()) problems.push_back("Record " + std::to_string(r) + " field " + f.name + ": " + problem);
      // Two records sharing a memo would both change when one of them is edited.
      if (block != 0) {
        auto [owner, fresh] = memoOwners.emplace(block, r);
        if (!fresh)
          problems.push_back("Records " + std::to_string(owner->second) + " and " + std::to_string(r) +
                             " point to the same memo block " + std::to_string(block));
      }
    }
  }
  if (dbf_.ProductionIndexFlag() && !index_) problems.push_back("The production index is not open");
  if (index_)
    for (auto& line : index_->Check(AllRecords())) problems.push_back(std::move(line));
  return problems;
}

std::unique_ptr<Cursor> TableImpl::OpenCursor() { return std::make_unique<CursorImpl>(*this); }

void TableImpl::CheckRefresh() {
  std::vector<CursorImpl*> pending = cursors_;
  for (CursorImpl* cursor : pending) {
    if (std::find(cursors_.begin(), cursors_.end(), cursor) == cursors_.end()) continue;
    cursor->DeliverTableChanged(changeCount_);
  }
}

std::string Table::CompanionOf(const std::string& path, const std::string& lowerExtension, FileSystem* fs) {
  return Companion(fs ? *fs : FileSystem::Default(), path, lowerExtension);
}

void Table::Create(const std::string& path, const TableSpec& spec, FileSystem* fileSystem) {
  FileSystem& fs = fileSystem ? *fileSystem : FileSystem::Default();
  auto refuse = [&](const std::string& what) {
    throw EngineError(ResultCode::InvalidCall, "The table " + path + " cannot be created: " + what, {"File: " + path});
  };
  if (fs.Exists(path)) refuse("the file exists already");
  if (spec.fields.empty()) refuse("it has no fields");
  if (spec.fields.size() > 255) refuse("it has more than 255 fields");
  std::vector<FieldDesc> fields;
  uint32_t offset = 1;
  bool memo = false;
  for (const auto& field : spec.fields) {
    FieldDesc f;
    f.name = Upper(field.name);
    f.type = static_cast<char>(std::toupper(static_cast<unsigned char>(field.type)));
    f.length = field.length;
    f.decimals = field.decimals;
    if (f.name.empty() || f.name.size() > 10 || !std::isalpha(static_cast<unsigned char>(f.name[0])) ||
        !std::all_of(f.name.begin(), f.name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }))
      refuse("the field name '" + field.name + "' is not 1-10 letters, digits or _ starting with a letter");
    for (const auto& other : fields)
      if (other.name == f.name) refuse("the field name " + f.name + " appears twice");
    bool ok = true;
    switch (f.type) {
      case 'C': ok = f.length >= 1 && f.length <= 254 && f.decimals == 0; break;
      case 'N': case 'F': ok = f.length >= 1 && f.length <= 20 && f.decimals <= 18 && (f.decimals == 0 || f.decimals + 2 <= f.length); break;
      case 'D': f.length = 8; f.decimals = 0; break;
      case 'L': f.length = 1; f.decimals = 0; break;
      case 'M': case 'B': case 'G': f.length = 10; f.decimals = 0; memo = true; break;
      default: ok = false;
    }
    if (!ok) refuse("the field " + f.name + " has an unsupported type or size");
    f.offset = offset;
    offset += f.length;
    for (const auto& tag : spec.tags)
      if (EqualNoCase(Trim(tag.expression), f.name)) f.indexFlag = true;
    fields.push_back(f);
  }
  if (offset > 4000) refuse("its records would be longer than 4000 bytes");
  if (spec.languageDriver != 0 && !CodePage::IsSupported(CodePage::FromLanguageDriver(spec.languageDriver)))
    refuse("the language driver " + std::to_string(spec.languageDriver) + " names no supported code page");

  const uint8_t version = memo ? (spec.dBase4 ? 0x8B : 0x83) : 0x03;
  const std::string base = Upper(BaseNameNoExtension(path));
  const std::string memoPath = Companion(fs, path, ".dbt"), indexPath = Companion(fs, path, ".mdx");
  std::vector<std::string> created;
  DirectWriter direct;
  try {
    if (memo) {
      std::string header = MemoFile::BuildEmpty(spec.dBase4 ? MemoLayout::DBase4 : MemoLayout::DBase3, base);
      auto file = fs.Open(memoPath, OpenMode::CreateReadWrite);
      created.push_back(memoPath);
      file->WriteAt(0, header.data(), header.size());
      file->Sync();
    }
    if (!spec.tags.empty()) {
      auto file = fs.Open(indexPath, OpenMode::CreateReadWrite);
      created.push_back(indexPath);
      MdxIndex::Create(*file, direct, base, fields, spec.tags);
      file->Sync();
    }
    std::string image = DbfFile::BuildImage(version, spec.languageDriver, !spec.tags.empty(), fields, DbfDate::Today());
    auto file = fs.Open(path, OpenMode::CreateReadWrite);
    created.push_back(path);
    file->WriteAt(0, image.data(), image.size());
    file->Sync();
    fs.SyncFolderOf(path);
  } catch (...) {
    for (const auto& p : created) try { fs.Remove(p); } catch (...) {}
    throw;
  }
}

}  // namespace tindrel::engine
