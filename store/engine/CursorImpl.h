#pragma once
// A cursor over a TableImpl, in record order or in the order of one index tag.
//
// In tag order the position is the entry (key, record number) the cursor is on, with the entry's
// place in the tag as a hint. When the index's Version moved, the place is found again from the
// entry; when the entry is gone (the record's key changed), the cursor follows its record to the
// record's new key, and when the record is gone too it stands before the entry that followed.

#include <functional>
#include <string>

#include "store/engine/Cursor.h"

namespace tindrel::engine {

class TableImpl;

class CursorImpl : public Cursor {
 public:
  explicit CursorImpl(TableImpl& table);
  ~CursorImpl() override;

  Table& GetTable() override;
  void SetOrder(int tag) override;
  int Order() const override { return tag_; }
  void SetFilter(std::function<bool(const Record&)> accept) override;
  void SetDeletedOnly(bool deletedOnly) override;
  bool DeletedOnly() const override { return deletedOnly_; }
  void MoveToBegin() override;
  void MoveToEnd() override;
  ResultCode Next(Record& out) override;
  ResultCode Prior(Record& out) override;
  ResultCode Current(Record& out) override;
  ResultCode SetToRecord(uint32_t recno) override;
  ResultCode SetToRecordPlace(uint32_t recno) override;
  uint32_t CurrentRecno() const override { return where_ == Where::On ? recno_ : 0; }
  ResultCode SeekKey(const std::vector<std::string>& values, bool exact) override;
  uint32_t RecordCount() override;
  void RegisterTableChanged(std::function<void()> callback) override;
  ResultCode ForceReread() override;

  // Called by the table.
  void DetachTable() { table_ = nullptr; }
  void DeliverTableChanged(uint64_t changeCount);

 private:
  enum class Where { Begin, On, End };
  TableImpl& T() const;
  bool Accepts(uint32_t recno, Record& out);
  // Moves onto a record the cursor visits; `filtered`: only onto one the filter accepts.
  ResultCode MoveOntoRecord(uint32_t recno, bool filtered);
  // Whether the cursor visits record `recno` at all: live, or deleted with deletedOnly_.
  bool Visits(uint32_t recno) const;
  // Tag order: the place of the current entry; `exact` tells whether the entry is still there
  // (else the place is that of the first entry after it).
  size_t Locate(bool& exact);
  void PlaceOn(uint32_t recno, const std::string& key, size_t position);
  ResultCode Step(int direction, Record& out);

  TableImpl* table_;
  int tag_ = -1;
  std::function<bool(const Record&)> filter_;
  bool deletedOnly_ = false;
  uint64_t filterGeneration_ = 0;
  Where where_ = Where::Begin;
  uint32_t recno_ = 0;
  std::string key_;
  size_t position_ = 0;
  uint64_t version_ = 0;
  std::function<void()> changed_;
  uint64_t seenChange_ = 0;
  bool countValid_ = false;
  uint64_t countChange_ = 0, countGeneration_ = 0;
  int countTag_ = -2;
  uint32_t count_ = 0;
};

}  // namespace tindrel::engine
