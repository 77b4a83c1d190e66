#pragma once
// The dataset: one current record of an engine table, a state, the BOF/EOF flags, the modified
// flag, hooks and the change notifications it sends to its data sources.
//
// The record window holds one record (every link asks for one). The engine cursor is kept on
// the current record after every own move; a reader that moves it directly (TTable's engine
// cursor access) makes the next own move place it again.
//
// Writes to fields are held beside the record until Post, and only Post converts them through
// the table's code page and checks their widths: a Post that fails keeps the state and every
// value written, so nothing typed is lost.
//
// Hooks are std::function members with the sender first: they can be read and replaced at run
// time (the tree's link chains the handler it finds). An event is called only when assigned.

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>
#include <QString>
#include <QStringList>

#include "store/DataSetError.h"
#include "store/DataSetTypes.h"
#include "store/engine/Record.h"

namespace tindrel {
namespace engine {
class Table;
class Cursor;
}  // namespace engine

class TField;
class TDataSource;
class FilterExpression;

class TDataSet {
 public:
  using TDataSetNotifyEvent = std::function<void(TDataSet& dataSet)>;
  using TDataSetErrorEvent = std::function<void(TDataSet& dataSet, const std::exception& error, TDataAction& action)>;
  using TFilterRecordEvent = std::function<void(TDataSet& dataSet, bool& accept)>;

  explicit TDataSet(const QString& name);
  virtual ~TDataSet();
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  const QString& Name() const { return name_; }
  void SetName(const QString& name) { name_ = name; }

  // Opening and closing. Closing discards a pending edit.
  bool Active() const { return state_ != DataSetState::Inactive; }
  void SetActive(bool on);
  void Open();
  void Close();
  bool Destroying() const { return destroying_; }

  DataSetState State() const { return state_; }
  bool BOF() const { return bof_; }
  bool Eof() const { return eof_; }  // the EOF flag (EOF itself is a C library macro)
  bool Modified() const { return modified_; }
  bool IsEmpty() const { return !hasRecord_; }
  virtual bool CanModify() const;
  // Live records under the current filter.
  uint32_t RecordCount() const;

  // Fields, in the table's column order; lookup by name without regard to case.
  const std::vector<std::unique_ptr<TField>>& Fields() const { return fields_; }
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField& FieldNamed(const QString& name) const;  // "Field '%s' not found"
  TField* FindFieldNamed(const QString& name) const;

  // Moves.
  void First();
  void Last();
  int Next() { return MoveRecords(1); }
  int Prior() { return MoveRecords(-1); }
  int MoveRecords(int n);

  // Changes.
  void Insert();
  void Append();
  void Edit();
  void Post();
  void Cancel();
  void Delete();
  void Refresh();
  void SettleEdits();
  void CollectControlEdits();

  // Bookmarks: physical record numbers of this opening of the table.
  TBookmark TakeBookmark() const;
  void ReturnToBookmark(const TBookmark& bookmark);
  void ReleaseBookmark(TBookmark& bookmark) const { bookmark = TBookmark{}; }
  bool IsBookmarkLive(const TBookmark& bookmark) const;
  int CompareBookmarkOrder(const TBookmark& a, const TBookmark& b) const;

  // Moves to the first record (current order, under the filter) whose fields (names separated
  // by ";") equal the values. The position is unchanged when nothing matches.
  bool LocateByValues(const QString& fieldNames, const QStringList& values, TLocateOptions options = 0);

  // Key search on the active index (values of its key fields in key order).
  bool SeekKeyExact(const QStringList& values);
  void SeekKeyNearest(const QStringList& values);

  // Nested suspension of all change notifications; the last resume sends one.
  void SuspendNotifications();
  void ResumeNotifications();
  bool NotificationsSuspended() const { return suspendCount_ > 0; }

  // Puts the engine cursor on the current record.
  void SyncEngineCursor();
  // The stored bytes of memo field `index` on the active record, in the table's code page
  // (`codePage`, engine numbering), into `out`. False when they cannot stand for the field's
  // text: no engine table or record, a pending edit of the field, or a damaged memo (reading
  // the text raises the error then).
  bool ReadMemoBytes(int index, std::string& out, int& codePage) const;
  // Hands `visit` every record First and Next would visit (the current order, under the filter),
  // as stored, read straight through the engine cursor: the current record, the state and the
  // scroll hooks are left alone, where a walk with Next would make each record current in turn.
  // Browse state only. The next own move places the engine cursor again.
  void VisitStoredRecords(const std::function<void(const engine::Record& record)>& visit);
  // The text `field` reads in a stored record (as AsString does on the current record).
  QString StoredText(const engine::Record& record, const TField& field) const;
  // The engine table beneath and the number of the active record (the candidate while
  // Filtering), for record tests that judge many stored records at once; null / 0 when none.
  const engine::Table* EngineTableBeneath() const { return table_; }
  uint32_t ActiveRecno() const;
  // Makes the record under the engine cursor current. Exact: "Record not found" when it is gone;
  // otherwise the next, then the prior record. Ends with a data-set change.
  void RefetchWindow(bool exact, bool centred);

  // Filtering.
  const QString& Filter() const { return filterText_; }
  void SetFilter(const QString& expression);
  TFilterOptions FilterOptions() const { return filterOptions_; }
  void SetFilterOptions(TFilterOptions options);
  bool Filtered() const { return filtered_; }
  void SetFiltered(bool on);
  const TFilterRecordEvent& OnFilterRecord() const { return onFilterRecord_; }
  void SetOnFilterRecord(TFilterRecordEvent handler);

  // Asks the control bound to `field` to take the focus.
  void FocusControl(TField* field);

  // Class facts.
  virtual bool IsTable() const { return false; }
  virtual bool IsEngineDataSet() const { return true; }
  virtual bool IsQuery() const { return false; }
  virtual bool HasProperty(const QString& name) const;

  // The data sources attached, in the order they were attached.
  const std::vector<TDataSource*>& DataSources() const { return sources_; }

  // Hooks.
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose, BeforeInsert, AfterInsert,
      BeforeEdit, AfterEdit, BeforePost, AfterPost, BeforeCancel, AfterCancel, BeforeDelete,
      AfterDelete, BeforeScroll, AfterScroll, BeforeRefresh, AfterRefresh, OnNewRecord, OnCalcFields;
  TDataSetErrorEvent OnEditError, OnPostError, OnDeleteError;

 protected:
  // The engine table and cursor, set by InternalOpen and cleared by InternalClose.
  virtual void InternalOpen() = 0;
  virtual void InternalClose() = 0;

  engine::Table* table_ = nullptr;
  engine::Cursor* cursor_ = nullptr;

  DataSetError Error(const QString& text) const;
  // Called first by a derived destructor, which then closes: Close skips its hooks.
  void MarkDestroying() { destroying_ = true; }
  void CheckActive() const;
  // The cursor no longer sits on the current record (someone read through it directly).
  void CursorMovedByReader() { cursorOnCurrent_ = false; }
  // Re-reads around the engine cursor without a data-set change.
  void RefetchWindowInternal(bool exact);
  void DataEvent(DataEventKind kind, DataEventArgs args = {});
  // After an engine call failed: when it left the table unable to take changes (its files
  // refused a write), the links are told, so the controls stop offering changes while the state
  // and the pending values stay as they were.
  void ChangeFailed(bool couldModify);
  // A new opening or a pack: bookmarks taken before it are no longer live.
  // Also drops the helper cursor of LocateByValues, which knew the old record numbers.
  void NewGeneration();
  uint64_t Generation() const { return generation_; }
  // The record the current record is, as stored (not counting pending writes).
  const engine::Record& CurrentRecord() const { return current_; }
  bool HasRecord() const { return hasRecord_; }
  void StartFilterPass() { filterErrorReported_ = false; }
  bool Accepts(const engine::Record& record);
  // Orders two stored records as the current order does: <0, 0, >0.
  int CompareRecordOrder(const engine::Record& a, const engine::Record& b) const;

 private:
  friend class TField;
  friend class TBlobField;
  friend class TDataSource;

  void AddDataSource(TDataSource* source);
  void RemoveDataSource(TDataSource* source);

  void SetState(DataSetState state);
  void CallHook(const TDataSetNotifyEvent& hook);
  void RunEngineStep(const TDataSetErrorEvent& hook, const std::function<void()>& step);
  void CheckCanModify() const;
  void CreateFields();
  void ApplyCursorFilter();
  void InstallFilter(const QString& text, TFilterOptions options);
  bool StepCursor(bool forward, engine::Record& out);
  void PlaceCursorOnCurrent();
  void PlaceCursorForCancel();
  void CalculateFields();
  void StartNewRecord(bool append);
  uint32_t LocateWithIndex(const std::vector<int>& fields, const QStringList& values);
  uint32_t LocateByScan(const std::vector<int>& fields, const QStringList& values, TLocateOptions options);
  bool ValueMatches(const engine::Record& record, int field, const QString& value, TLocateOptions options) const;

  // Field access for TField.
  const engine::Record* ActiveRecord() const;
  // The field's text, or (when `isNull` is given) only whether it is null.
  void ReadField(int index, bool transliterate, QString& text, bool* isNull) const;
  QString StoredText(const engine::Record& record, int index, bool transliterate) const;
  QString ReadFirstBytes(int index, size_t maxBytes) const;
  void WriteField(TField& field, std::optional<QString> value);
  // Whether the field already holds `value` (none or empty: null).
  bool FieldHolds(const TField& field, const std::optional<QString>& value) const;

  QString name_;
  DataSetState state_ = DataSetState::Inactive;
  bool destroying_ = false;
  bool bof_ = true;
  bool eof_ = true;
  bool modified_ = false;

  engine::Record current_;
  engine::Record scratch_;  // the spare buffer of StepCursor
  bool hasRecord_ = false;
  // Values written since Edit/Insert, by field index; nullopt is a null (blank) value.
  std::map<int, std::optional<QString>> pending_;
  const engine::Record* candidate_ = nullptr;  // the record being judged while Filtering
  // Where an insert came from: the record current before it (0: none) or the end (append).
  uint32_t insertAnchor_ = 0;
  bool appendMode_ = false;
  bool cursorOnCurrent_ = false;
  uint64_t cursorChangeSeen_ = 0;

  std::vector<std::unique_ptr<TField>> fields_;
  std::vector<TDataSource*> sources_;

  int suspendCount_ = 0;
  DataSetState suspendedState_ = DataSetState::Inactive;
  DataEventKind pendingEvent_ = DataEventKind::DataSetChange;

  QString filterText_;
  TFilterOptions filterOptions_ = 0;
  bool filtered_ = false;
  std::unique_ptr<FilterExpression> filterExpression_;
  TFilterRecordEvent onFilterRecord_;
  bool filterErrorReported_ = false;
  std::unique_ptr<engine::Cursor> locateCursor_;

  uint64_t generation_ = 1;
};

}  // namespace tindrel
