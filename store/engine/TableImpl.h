#pragma once
// The open table behind Table.h: the .dbf image, the memo file, the production index, the lock,
// and the journal through which every change passes.

#include <memory>
#include <string>
#include <vector>

#include "store/engine/CodePage.h"
#include "store/engine/DbfFile.h"
#include "store/engine/EngineError.h"
#include "store/engine/FileSystem.h"
#include "store/engine/Journal.h"
#include "store/engine/MemoFile.h"
#include "store/engine/Table.h"

namespace tindrel::engine {

class CursorImpl;

class TableImpl : public Table {
 public:
  TableImpl(const std::string& path, const OpenOptions& options);
  ~TableImpl() override;

  const std::string& Path() const override { return path_; }
  bool ReadOnly() const override { return readOnly_; }
  const std::string& ReadOnlyReason() const override { return readOnlyReason_; }
  bool InDoubt() const override;
  const std::vector<FieldDesc>& Fields() const override { return dbf_.Fields(); }
  int FieldIndex(std::string_view name) const override;
  uint8_t LanguageDriver() const override { return dbf_.LanguageDriver(); }
  int CodePage() const override { return codePage_->Number(); }
  uint16_t RecordLength() const override { return dbf_.RecordLength(); }
  const std::vector<std::string>& Warnings() const override { return warnings_; }
  const MdxIndex* Index() const override { return index_.get(); }

  uint32_t RecordCount() const override { return dbf_.RecordCount(); }
  Record ReadRecord(uint32_t recno) const override;
  Record BlankRecord() const override;

  std::string GetText(const Record& record, int field) const override;
  bool IsBlank(const Record& record, int field) const override;
  std::string ReadMemo(const Record& record, int field, size_t maxBytes = SIZE_MAX) const override;
  bool ReadMemoBytes(const Record& record, int field, std::string& out) const override;
  std::optional<uint32_t> MemoBlockOf(const Record& record, int field) const override;
  void ReadMemoBlocks(const std::vector<uint32_t>& blocks,
                      const std::function<void(size_t i, bool sound, std::string_view bytes)>& visit,
                      MemoVisits visits = MemoVisits::InFileOrder) const override;
  std::string ReadDamagedMemo(const Record& record, int field, std::string* problem) const override;
  std::string_view RawField(const Record& record, int field) const override;
  void SetText(Record& record, int field, std::string_view utf8) const override;
  void SetBlank(Record& record, int field) const override;
  std::string DecodeText(std::string_view raw) const override { return codePage_->Decode(raw); }
  void DecodeTextUnits(std::string_view raw, char16_t* out) const override { codePage_->DecodeUnits(raw, out); }
  std::string EncodeText(std::string_view utf8, std::string_view fieldName) const override {
    return codePage_->Encode(utf8, fieldName);
  }

  uint32_t Append(Record& record) override;
  uint32_t AppendAll(std::vector<Record>& records) override;
  void Modify(Record& record) override;
  void Delete(uint32_t recno) override;
  void Recall(std::vector<Record>& records) override;
  void Pack(const std::function<void(uint32_t done, uint32_t total)>& progress = {}) override;
  void Reindex() override;
  std::string AddIndexTag(const MdxIndex::TagSpec& spec) override;
  std::vector<std::string> FilePaths() const override;
  void Backup(const std::string& target) override;
  std::vector<std::string> Check() const override;

  uint64_t ChangeCount() const override { return changeCount_; }
  bool ChangedSinceOpen() const override { return changeCount_ != changeBase_; }
  std::unique_ptr<Cursor> OpenCursor() override;
  void CheckRefresh() override;

  // Cursor bookkeeping.
  void Attach(CursorImpl* cursor) { cursors_.push_back(cursor); }
  void Detach(CursorImpl* cursor);
  // Whether record `recno` exists and is not marked deleted.
  bool IsLive(uint32_t recno) const;
  std::string_view RawRecord(uint32_t recno) const { return dbf_.RecordAt(recno); }
  // Asks the processor to bring a record into its cache ahead of a read: a scan in index order
  // visits the records in no order of their addresses, and would otherwise wait on memory at
  // every record.
  void PrefetchRecord(uint32_t recno) const {
    if (recno < 1 || recno > dbf_.RecordCount()) return;
    const std::string_view record = dbf_.RecordAt(recno);
    for (size_t at = 0; at < record.size(); at += 64) __builtin_prefetch(record.data() + at);
    __builtin_prefetch(record.data() + record.size() - 1);
  }

 private:
  void CheckField(int field) const;
  void CheckWritable() const;
  void CheckRecord(const Record& record) const;
  uint32_t MemoBlock(std::string_view raw) const;  // the block a memo field points to, 0: none
  // The stored bytes of a memo (pending ones first); `problem` says what is damaged.
  std::string MemoBytes(const Record& record, int field, size_t maxBytes, std::string* problem) const;
  EngineError MemoDamagedError(const Record& record, int field, const std::string& problem) const;
  void StoreMemos(Record& record, const Record* old);
  // Writes record bytes (and, for an append, the new count and the end mark), then commits.
  void CommitChange(const std::vector<std::pair<uint64_t, std::string>>& dbfWrites, uint32_t newCount);
  void AfterFailedChange();
  // Once the journal is in doubt the table takes no more changes until it is reopened.
  void StopIfInDoubt();
  std::vector<std::string_view> AllRecords() const;
  std::string CompanionPath(const std::string& extension) const;

  FileSystem& fs_;
  std::string path_;
  OpenOptions options_;
  bool readOnly_ = false;
  std::string readOnlyReason_;
  void BecomeReadOnly(std::string reason);
  mutable bool lockedForChanges_ = false;  // a shared opener took the lock for its changes
  mutable bool staleImage_ = false;        // ...and found the file changed since it was read
  std::unique_ptr<File> lockHolder_;  // holds the exclusive lock (after Pack: the new file)
  std::unique_ptr<File> dbfFile_;
  DbfFile dbf_;
  std::unique_ptr<File> memoHandle_;
  std::unique_ptr<MemoFile> memo_;
  std::unique_ptr<File> indexHandle_;
  std::unique_ptr<MdxIndex> index_;
  std::shared_ptr<const tindrel::engine::CodePage> codePage_;
  Journal journal_;
  mutable std::vector<std::string> warnings_;
  uint64_t changeCount_ = NewChangeBase();
  const uint64_t changeBase_ = changeCount_;
  static uint64_t NewChangeBase();
  bool committedDespiteError_ = false;
  bool packInterrupted_ = false;
  // Opened with tolerateBadIndex past a missing or damaged index, files otherwise writable: the
  // one change it takes is AddIndexTag, which replaces the index.
  bool indexReplaceable_ = false;
  std::vector<CursorImpl*> cursors_;
};

}  // namespace tindrel::engine
