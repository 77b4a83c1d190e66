#include "store/engine/CursorImpl.h"

#include <cstring>

#include "store/engine/TableImpl.h"

namespace tindrel::engine {

CursorImpl::CursorImpl(TableImpl& table) : table_(&table), seenChange_(table.ChangeCount()) { table.Attach(this); }

CursorImpl::~CursorImpl() {
  if (table_) table_->Detach(this);
}

TableImpl& CursorImpl::T() const {
  if (!table_) throw EngineError(ResultCode::InvalidHandle, "The cursor's table is closed");
  return *table_;
}

Table& CursorImpl::GetTable() { return T(); }

void CursorImpl::SetOrder(int tag) {
  TableImpl& table = T();
  if (tag >= 0 && (!table.Index() || tag >= static_cast<int>(table.Index()->Tags().size())))
    throw EngineError(ResultCode::NoSuchIndex, "The table " + table.Path() + " has no index tag number " + std::to_string(tag));
  if (tag >= 0 && deletedOnly_)
    throw EngineError(ResultCode::InvalidCall, "A cursor over the deleted records of " + table.Path() +
                                                   " reads them in record order only");
  tag_ = tag < 0 ? -1 : tag;
  countValid_ = false;
  if (where_ != Where::On || tag_ < 0) return;
  const MdxIndex& index = *table.Index();
  std::string_view raw = table.RawRecord(recno_);
  if (!table.IsLive(recno_) || !index.Includes(tag_, raw)) {
    where_ = Where::Begin;
    return;
  }
  key_ = index.MakeKey(tag_, raw);
  position_ = index.Find(tag_, key_, recno_);
  version_ = index.Version();
}

void CursorImpl::SetFilter(std::function<bool(const Record&)> accept) {
  filter_ = std::move(accept);
  ++filterGeneration_;
}

void CursorImpl::SetDeletedOnly(bool deletedOnly) {
  TableImpl& table = T();
  if (deletedOnly && tag_ >= 0)
    throw EngineError(ResultCode::InvalidCall, "A cursor over the deleted records of " + table.Path() +
                                                   " reads them in record order only");
  if (deletedOnly == deletedOnly_) return;
  deletedOnly_ = deletedOnly;
  countValid_ = false;
  where_ = Where::Begin;
}

bool CursorImpl::Visits(uint32_t recno) const {
  const TableImpl& table = T();
  if (!deletedOnly_) return table.IsLive(recno);
  return recno >= 1 && recno <= table.RecordCount() && !table.IsLive(recno);
}

void CursorImpl::MoveToBegin() {
  T();
  where_ = Where::Begin;
}

void CursorImpl::MoveToEnd() {
  T();
  where_ = Where::End;
}

bool CursorImpl::Accepts(uint32_t recno, Record& out) {
  TableImpl& table = T();
  if (!Visits(recno)) return false;
  // Filled in place: a scan reuses the record's buffer instead of allocating one per record.
  out.bytes.assign(table.RawRecord(recno));
  out.recno = recno;
  out.pendingMemos.clear();
  return !filter_ || filter_(out);
}

void CursorImpl::PlaceOn(uint32_t recno, const std::string& key, size_t position) {
  where_ = Where::On;
  recno_ = recno;
  if (&key != &key_) key_.assign(key);
  position_ = position;
  version_ = T().Index()->Version();
}

size_t CursorImpl::Locate(bool& exact) {
  TableImpl& table = T();
  const MdxIndex& index = *table.Index();
  const size_t n = index.EntryCount(tag_);
  exact = true;
  if (version_ == index.Version() && position_ < n) {
    const IndexEntry& e = index.EntryAt(tag_, position_);
    if (e.recno == recno_ && e.key == key_) return position_;
  }
  version_ = index.Version();
  size_t p = index.Find(tag_, key_, recno_);
  if (p < n) return position_ = p;
  if (table.IsLive(recno_) && index.Includes(tag_, table.RawRecord(recno_))) {
    std::string key = index.MakeKey(tag_, table.RawRecord(recno_));
    p = index.Find(tag_, key, recno_);
    if (p < n) {
      key_ = key;
      return position_ = p;
    }
  }
  exact = false;
  p = index.LowerBound(tag_, key_);
  while (p < n && index.CompareKeys(tag_, index.EntryAt(tag_, p).key, key_) == 0 && index.EntryAt(tag_, p).recno < recno_)
    ++p;
  return position_ = p;
}

ResultCode CursorImpl::Step(int direction, Record& out) {
  TableImpl& table = T();
  const ResultCode past = direction > 0 ? ResultCode::EndOfRecords : ResultCode::BeginOfRecords;
  auto fallOff = [&] {
    where_ = direction > 0 ? Where::End : Where::Begin;
    return past;
  };
  if ((where_ == Where::End && direction > 0) || (where_ == Where::Begin && direction < 0)) return fallOff();
  if (tag_ < 0) {
    const int64_t count = table.RecordCount();
    int64_t r = where_ == Where::Begin ? 1 : where_ == Where::End ? count : int64_t(recno_) + direction;
    for (; r >= 1 && r <= count; r += direction) {
      if (Accepts(static_cast<uint32_t>(r), out)) {
        where_ = Where::On;
        recno_ = static_cast<uint32_t>(r);
        return ResultCode::Ok;
      }
    }
    return fallOff();
  }
  const MdxIndex& index = *table.Index();
  const int64_t n = static_cast<int64_t>(index.EntryCount(tag_));
  int64_t p;
  if (where_ == Where::Begin) p = 0;
  else if (where_ == Where::End) p = n - 1;
  else {
    bool exact;
    int64_t at = static_cast<int64_t>(Locate(exact));
    p = direction > 0 ? (exact ? at + 1 : at) : at - 1;
  }
  for (; p >= 0 && p < n; p += direction) {
    // A scan's next records: their cache lines load while this one is read.
    constexpr int64_t kAhead = 8;
    if (const int64_t ahead = p + kAhead * direction; ahead >= 0 && ahead < n)
      table.PrefetchRecord(index.EntryAt(tag_, static_cast<size_t>(ahead)).recno);
    const IndexEntry& e = index.EntryAt(tag_, static_cast<size_t>(p));
    if (Accepts(e.recno, out)) {
      PlaceOn(e.recno, e.key, static_cast<size_t>(p));
      return ResultCode::Ok;
    }
  }
  return fallOff();
}

ResultCode CursorImpl::Next(Record& out) { return Step(+1, out); }
ResultCode CursorImpl::Prior(Record& out) { return Step(-1, out); }

ResultCode CursorImpl::Current(Record& out) {
  if (where_ != Where::On || !Accepts(recno_, out)) {
    T();
    return ResultCode::RecordNotFound;
  }
  return ResultCode::Ok;
}

ResultCode CursorImpl::SetToRecord(uint32_t recno) { return MoveOntoRecord(recno, true); }
ResultCode CursorImpl::SetToRecordPlace(uint32_t recno) { return MoveOntoRecord(recno, false); }

ResultCode CursorImpl::MoveOntoRecord(uint32_t recno, bool filtered) {
  TableImpl& table = T();
  if (!Visits(recno)) return ResultCode::RecordNotFound;
  Record record;
  if (filtered && !Accepts(recno, record)) return ResultCode::RecordNotFound;
  if (!filtered) record.bytes.assign(table.RawRecord(recno));
  if (tag_ < 0) {
    where_ = Where::On;
    recno_ = recno;
    return ResultCode::Ok;
  }
  const MdxIndex& index = *table.Index();
  if (!index.Includes(tag_, record.bytes)) return ResultCode::RecordNotFound;
  std::string key = index.MakeKey(tag_, record.bytes);
  size_t p = index.Find(tag_, key, recno);
  if (p >= index.EntryCount(tag_)) return ResultCode::RecordNotFound;
  PlaceOn(recno, key, p);
  return ResultCode::Ok;
}

ResultCode CursorImpl::SeekKey(const std::vector<std::string>& values, bool exact) {
  TableImpl& table = T();
  if (tag_ < 0) throw EngineError(ResultCode::NoSuchIndex, "A key search needs an index order");
  const MdxIndex& index = *table.Index();
  const TagInfo& tag = index.Tags()[tag_];
  if (values.size() > tag.keyFields.size() || tag.keyFields.empty())
    throw EngineError(ResultCode::InvalidCall, "The tag " + tag.name + " cannot be searched by " +
                                                   std::to_string(values.size()) + " values");
  Record scratch = table.BlankRecord();
  size_t prefix = 0;
  for (size_t i = 0; i < values.size(); ++i) {
    table.SetText(scratch, tag.keyFields[i], values[i]);
    prefix += table.Fields()[tag.keyFields[i]].length;
  }
  const std::string key = index.MakeKey(tag_, scratch.bytes);
  const bool partial = values.size() < tag.keyFields.size() && tag.type == KeyType::Character;
  auto matches = [&](const std::string& entryKey) {
    if (partial) return entryKey.size() >= prefix && key.size() >= prefix && std::memcmp(entryKey.data(), key.data(), prefix) == 0;
    return index.CompareKeys(tag_, entryKey, key) == 0;
  };
  const size_t n = index.EntryCount(tag_);
  for (size_t p = index.LowerBound(tag_, key); p < n; ++p) {
    const IndexEntry& e = index.EntryAt(tag_, p);
    if (exact && !matches(e.key)) break;
    Record record;
    if (Accepts(e.recno, record)) {
      PlaceOn(e.recno, e.key, p);
      return ResultCode::Ok;
    }
  }
  if (exact) return ResultCode::KeyNotFound;
  where_ = Where::End;
  return ResultCode::EndOfRecords;
}

uint32_t CursorImpl::RecordCount() {
  TableImpl& table = T();
  if (countValid_ && countChange_ == table.ChangeCount() && countGeneration_ == filterGeneration_ && countTag_ == tag_)
    return count_;
  uint32_t count = 0;
  Record record;
  if (tag_ < 0) {
    for (uint32_t r = 1; r <= table.RecordCount(); ++r)
      if (filter_ ? Accepts(r, record) : Visits(r)) ++count;
  } else {
    const MdxIndex& index = *table.Index();
    for (size_t p = 0; p < index.EntryCount(tag_); ++p) {
      uint32_t r = index.EntryAt(tag_, p).recno;
      if (filter_ ? Accepts(r, record) : table.IsLive(r)) ++count;
    }
  }
  countValid_ = true;
  countChange_ = table.ChangeCount();
  countGeneration_ = filterGeneration_;
  countTag_ = tag_;
  return count_ = count;
}

void CursorImpl::RegisterTableChanged(std::function<void()> callback) {
  changed_ = std::move(callback);
  seenChange_ = T().ChangeCount();
}

void CursorImpl::DeliverTableChanged(uint64_t changeCount) {
  if (!changed_ || seenChange_ >= changeCount) return;
  seenChange_ = changeCount;
  auto callback = changed_;  // the callback may replace itself
  callback();
}

ResultCode CursorImpl::ForceReread() {
  TableImpl& table = T();
  seenChange_ = table.ChangeCount();
  countValid_ = false;
  version_ = 0;
  if (where_ == Where::On && tag_ >= 0) {
    bool exact;
    Locate(exact);
  }
  return ResultCode::Ok;
}

}  // namespace tindrel::engine
