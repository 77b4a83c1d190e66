#pragma once
// A position in an open table, in record order or in the order of one index tag. A cursor sits
// either on a record or on a crack: before the first record or after the last.
// The filter callback, when set, applies to every read: records it refuses are skipped as if
// they were not in the table.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "store/engine/EngineError.h"
#include "store/engine/Record.h"

namespace tindrel::engine {

class Table;

// The callback type of the table-changed callback.
inline constexpr int kTableChangedCallback = 18;

class Cursor {
 public:
  virtual ~Cursor() = default;
  virtual Table& GetTable() = 0;

  // -1: record order; otherwise a tag of the table's index. The cursor keeps its record.
  virtual void SetOrder(int tag) = 0;
  virtual int Order() const = 0;
  virtual void SetFilter(std::function<bool(const Record&)> accept) = 0;
  // On: the cursor visits the records marked deleted instead of the live ones (record order
  // only, since the index holds no deleted record); reads, counts and bookmarks all see them.
  // InvalidCall when switched on in tag order, or when a tag order is set while it is on.
  virtual void SetDeletedOnly(bool deletedOnly) = 0;
  virtual bool DeletedOnly() const = 0;

  virtual void MoveToBegin() = 0;  // onto the crack before the first record
  virtual void MoveToEnd() = 0;    // onto the crack after the last record
  // Reads the next / prior record into `out` and moves onto it; EndOfRecords / BeginOfRecords
  // (the cursor then sits on the crack) when there is none.
  virtual ResultCode Next(Record& out) = 0;
  virtual ResultCode Prior(Record& out) = 0;
  // The record the cursor is on; RecordNotFound when it is on a crack or the record is gone.
  virtual ResultCode Current(Record& out) = 0;
  // Moves onto record `recno` (a bookmark); RecordNotFound when it is gone or out of range.
  virtual ResultCode SetToRecord(uint32_t recno) = 0;
  // Moves onto record `recno`'s place in the order even when the filter refuses it, so that a
  // step goes on to its neighbours that pass; RecordNotFound when it is gone or out of range.
  virtual ResultCode SetToRecordPlace(uint32_t recno) = 0;
  virtual uint32_t CurrentRecno() const = 0;  // 0 on a crack

  // Key search on the active tag. `values` are the texts of the tag's key fields, in key order
  // (fewer values: a search on the leading fields). Exact: onto the first record with exactly
  // that key, else KeyNotFound and the cursor stays. Nearest: onto the first record whose key is
  // equal to or after it, or the end crack.
  virtual ResultCode SeekKey(const std::vector<std::string>& values, bool exact) = 0;

  // Live records (deleted ones with SetDeletedOnly) that pass the filter.
  virtual uint32_t RecordCount() = 0;

  // The table-changed callback (type kTableChangedCallback); empty function removes it.
  virtual void RegisterTableChanged(std::function<void()> callback) = 0;
  // The forced re-read: the cursor sees the table as now stored (and counts every change so far
  // as seen). Its record stays current when it still exists.
  virtual ResultCode ForceReread() = 0;
};

}  // namespace tindrel::engine
