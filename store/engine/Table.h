#pragma once
// An open dBASE table: the .dbf, its memo file and its production index, held open exclusively.
//
// Text crosses this interface as UTF-8; the table's code page (from its language driver byte)
// converts it. Every change (Append, Modify, Delete, Recall) is one atomic change across the three files
// (see Journal.cpp for the write order) and is on disk when the call returns.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/engine/Cursor.h"  // OpenCursor hands one out: callers need the whole type
#include "store/engine/EngineError.h"
#include "store/engine/FieldDesc.h"
#include "store/engine/MdxIndex.h"
#include "store/engine/MemoVisits.h"
#include "store/engine/Record.h"

namespace tindrel::engine {

class FileSystem;

struct OpenOptions {
  bool exclusive = true;
  // Open read-only even when the files could be written.
  bool readOnly = false;
  // Code page for a table whose language driver byte is 0 or unknown; 0 keeps each byte as the
  // character of the same number (ISO 8859-1), so every byte round-trips.
  int defaultCodePage = 0;
  // Open even when the production index is missing or damaged (reading only; for dump).
  bool tolerateBadIndex = false;
  FileSystem* fileSystem = nullptr;  // null: the machine's
  // The journal is checkpointed (the files synced, the journal emptied) after the change that
  // grows it past this size.
  uint64_t checkpointBytes = uint64_t(8) << 20;
};

struct TableSpec {  // what Create makes
  struct Field { std::string name; char type; uint16_t length; uint8_t decimals = 0; };
  std::vector<Field> fields;
  std::vector<MdxIndex::TagSpec> tags;  // a production index is made when not empty
  uint8_t languageDriver = 0;
  bool dBase4 = true;  // 0x8B with a dBASE IV memo file; false: 0x83 / dBASE III memo file
};

class Table {
 public:
  // Opens the table at `path` (the .dbf). A journal left by a crash is applied first.
  // Errors: FileNotFound, MemoFileMissing, IndexFileMissing (naming the file), TableInUse,
  // TableDamaged / MemoDamaged / IndexDamaged with a text saying what is wrong.
  // A table whose files cannot be written opens read-only (ReadOnly() is true).
  static std::unique_ptr<Table> Open(const std::string& path, const OpenOptions& options = {});
  static void Create(const std::string& path, const TableSpec& spec, FileSystem* fs = nullptr);
  // The memo file (".dbt") or index (".mdx") of the table at `path`: its name with that
  // extension, in the case of the table's own extension unless only a file of the other case exists.
  static std::string CompanionOf(const std::string& path, const std::string& lowerExtension, FileSystem* fs = nullptr);
  virtual ~Table() = default;

  virtual const std::string& Path() const = 0;
  virtual bool ReadOnly() const = 0;
  // Why the table is read-only, one sentence for a person ("" while it can be changed): its files
  // cannot be written, it was opened read-only, or a change failed and the table must be reopened.
  virtual const std::string& ReadOnlyReason() const = 0;
  // A write or sync to the table's files failed (or a pack was interrupted), so the files are
  // behind what the table stored: every stored change is safe in the journal, which the next
  // open completes; until then the table is read-only, and closing it keeps the journal.
  virtual bool InDoubt() const = 0;
  virtual const std::vector<FieldDesc>& Fields() const = 0;
  virtual int FieldIndex(std::string_view name) const = 0;  // without regard to case; -1 when none
  virtual uint8_t LanguageDriver() const = 0;
  virtual int CodePage() const = 0;  // 0: bytes as ISO 8859-1
  virtual uint16_t RecordLength() const = 0;
  // Non-fatal findings of the open (a header count that disagrees with the file size, a missing
  // end mark, an index opened with tolerateBadIndex...), one line each.
  virtual const std::vector<std::string>& Warnings() const = 0;

  // The production index, or null when the table has none.
  virtual const MdxIndex* Index() const = 0;

  // Records in the file, deleted ones included.
  virtual uint32_t RecordCount() const = 0;
  // Reads record `recno` (1-based); RecordNotFound when out of range.
  virtual Record ReadRecord(uint32_t recno) const = 0;
  virtual Record BlankRecord() const = 0;

  // Field values. Text is UTF-8. GetText: character fields without trailing blanks, numbers as
  // stored without the padding, dates "YYYYMMDD", logicals "T"/"F" (blank: ""), memos their
  // whole text (pending text when the record holds one).
  virtual std::string GetText(const Record& record, int field) const = 0;
  virtual bool IsBlank(const Record& record, int field) const = 0;
  // The first `maxBytes` bytes of a memo, decoded. A damaged memo (a pointer that is no block
  // number or lies beyond the memo file, a block that is not a memo, a length past the end of
  // the file) raises MemoDamaged naming the record and the field; so does GetText on it.
  virtual std::string ReadMemo(const Record& record, int field, size_t maxBytes = SIZE_MAX) const = 0;
  // What can still be read of a memo, damaged or not, for salvage and dumps; `problem` is set to
  // what is wrong with it, "" when it is sound.
  // The memo's bytes as stored (in the table's code page, not decoded) into `out`, reusing its
  // storage, for scans that compare bytes and must not allocate per memo. A pending memo gives
  // the bytes it will be stored with. False when the memo is damaged: ReadMemo raises the error.
  virtual bool ReadMemoBytes(const Record& record, int field, std::string& out) const = 0;
  // For scans over many records, the same in two steps: the block a memo field of a stored
  // record points to (0: none; nullopt for a pointer that is no block number, a damaged memo),
  // then the memos at many blocks, read in the order of their place in the memo file in large
  // reads: `visit(i, sound, bytes)` once for each blocks[i], `sound` as ReadMemoBytes answers,
  // `bytes` valid until the call returns (from two threads at once with MemoVisits::SideBySide).
  virtual std::optional<uint32_t> MemoBlockOf(const Record& record, int field) const = 0;
  virtual void ReadMemoBlocks(const std::vector<uint32_t>& blocks,
                              const std::function<void(size_t i, bool sound, std::string_view bytes)>& visit,
                              MemoVisits visits = MemoVisits::InFileOrder) const = 0;
  virtual std::string ReadDamagedMemo(const Record& record, int field, std::string* problem) const = 0;
  // Raw bytes of a field as stored in the record (for memos: the block number text).
  virtual std::string_view RawField(const Record& record, int field) const = 0;
  // Writes a value: refused with UnmappableCharacter (naming the character and the field),
  // ValueTooLong or InvalidValue; the record is unchanged then.
  virtual void SetText(Record& record, int field, std::string_view utf8) const = 0;
  virtual void SetBlank(Record& record, int field) const = 0;

  // Code-page conversion. Bytes the code page does not map read as private-use characters that
  // encode back to the same bytes, so untouched text round-trips.
  virtual std::string DecodeText(std::string_view raw) const = 0;
  // The same as UTF-16: one unit per byte, into room for raw.size() units.
  virtual void DecodeTextUnits(std::string_view raw, char16_t* out) const = 0;
  virtual std::string EncodeText(std::string_view utf8, std::string_view fieldName) const = 0;

  // Changes. Each is atomic and synced before it returns.
  virtual uint32_t Append(Record& record) = 0;  // returns and sets record.recno
  // Appends all the records as one change: one journal record and one sync however many there
  // are, so an import of thousands of notes costs what one Append costs in syncs. After a crash
  // or an error either every record is stored or none is. Sets each record's recno and returns
  // the first one's.
  virtual uint32_t AppendAll(std::vector<Record>& records) = 0;
  virtual void Modify(Record& record) = 0;      // record.recno names the record
  virtual void Delete(uint32_t recno) = 0;      // marks it deleted; its index entries go
  // Takes records marked deleted back, as one change: each record names a deleted record
  // (recno) and carries the bytes it is to have again (read with ReadRecord, its values changed
  // where the caller needs, a new ID say); its deleted mark is cleared, its bytes and memos are
  // stored, and its keys go back into every index tag. A crash or an error leaves either all of
  // them recalled or none. Refused, with nothing changed: RecordNotFound when a record number is
  // out of range (Pack removed the record), InvalidCall when a record is not marked deleted or
  // is named twice.
  virtual void Recall(std::vector<Record>& records) = 0;
  // Removes the deleted records, compacts the memo file, rebuilds the index; new files are
  // written beside the old ones and swapped in. The table stays open; record numbers change.
  virtual void Pack(const std::function<void(uint32_t done, uint32_t total)>& progress = {}) = 0;
  virtual void Reindex() = 0;
  // Gives the table a production index tag, built from the records, as one atomic change: the
  // index file and the table header's index flags change together or not at all. A table without
  // a production index gets an index file holding this tag (an index file of the table's name
  // that is not marked as its index keeps its tags when it can be read, and is replaced when it
  // cannot); an index without the tag gets it beside its other tags. A table opened with
  // tolerateBadIndex whose index file is missing or damaged gets a new one, and can then be
  // changed. Refused (nothing changed): InvalidCall when a tag of that name exists or the key
  // cannot be built, Unsupported when a tag that is kept cannot be maintained, ReadOnlyTable
  // when the files cannot be written. Returns one sentence saying what was done.
  virtual std::string AddIndexTag(const MdxIndex::TagSpec& spec) = 0;
  // The files the table is stored in: the table, then its memo file and its index when it has them.
  virtual std::vector<std::string> FilePaths() const = 0;
  // Writes a consistent copy of the table's files: the table to `target` (a .dbf path), the memo
  // file and the index beside it with the target's name and their own extensions. The journal is
  // checkpointed first, so the files hold every stored change; the table stays open and locked
  // throughout and nothing of it changes. The copies appear whole or not at all (see
  // TableBackup.h). Refused with ReadOnlyTable while the table is in doubt: its files are then
  // behind what it stored.
  virtual void Backup(const std::string& target) = 0;

  // Checks the three files against each other; one line per problem, empty when consistent.
  virtual std::vector<std::string> Check() const = 0;

  // Grows by one with every change; cursors compare it with what they have seen. Each open
  // table starts from its own base, so no two tables of a process share a value and a value
  // names one state of one open table (what was worked out from it can be kept against it).
  virtual uint64_t ChangeCount() const = 0;
  // Whether any change was made since the table was opened.
  virtual bool ChangedSinceOpen() const = 0;
  virtual std::unique_ptr<Cursor> OpenCursor() = 0;
  // The refresh check: every cursor with a table-changed callback that has not yet seen the
  // latest change gets its callback, synchronously, from inside this call.
  virtual void CheckRefresh() = 0;
};

}  // namespace tindrel::engine
