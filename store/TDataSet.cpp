#include "store/TDataSet.h"

#include <algorithm>

#include "platform/Errors.h"
#include "store/FilterExpression.h"
#include "store/FirstFailure.h"
#include "store/TDataSource.h"
#include "store/TField.h"
#include "store/TMemoField.h"
#include "store/engine/Cursor.h"
#include "store/engine/EngineError.h"
#include "store/engine/Table.h"

namespace tindrel {

using engine::ResultCode;

namespace {

TFieldType TypeOf(const engine::FieldDesc& f) {
  switch (f.type) {
    case 'C': return ftString;
    case 'N': return (f.decimals == 0 && f.length < 10) ? ftInteger : ftFloat;
    case 'F': return ftFloat;
    case 'D': return ftDate;
    case 'L': return ftBoolean;
    case 'M': return ftMemo;
    case 'B': return ftBlob;
    case 'G': return ftGraphic;
    default: return ftBytes;
  }
}

// Restores the state (without an event) when an internal step ends.
class TemporaryState {
 public:
  TemporaryState(DataSetState& state, DataSetState temporary) : state_(state), saved_(state) { state_ = temporary; }
  ~TemporaryState() { state_ = saved_; }
 private:
  DataSetState& state_;
  DataSetState saved_;
};

}  // namespace

TDataSet::TDataSet(const QString& name) : name_(name) {}

TDataSet::~TDataSet() {
  // A derived class closes the engine while it still exists; here only the sources are let go.
  destroying_ = true;
  for (TDataSource* source : std::vector<TDataSource*>(sources_)) source->SetDataSet(nullptr);
}

DataSetError TDataSet::Error(const QString& text) const { return DataSetError(name_, text); }

void TDataSet::CheckActive() const {
  if (state_ == DataSetState::Inactive) throw Error(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

bool TDataSet::CanModify() const { return Active() && table_ && !table_->ReadOnly(); }

void TDataSet::CheckCanModify() const {
  if (!CanModify()) throw Error(QStringLiteral("Cannot modify a read-only dataset"));
}

uint32_t TDataSet::RecordCount() const { return cursor_ ? cursor_->RecordCount() : 0; }

// ---- sources and events -------------------------------------------------------------------

void TDataSet::AddDataSource(TDataSource* source) {
  if (std::find(sources_.begin(), sources_.end(), source) == sources_.end()) sources_.push_back(source);
}

void TDataSet::RemoveDataSource(TDataSource* source) {
  sources_.erase(std::remove(sources_.begin(), sources_.end(), source), sources_.end());
}

void TDataSet::DataEvent(DataEventKind kind, DataEventArgs args) {
  if (suspendCount_ > 0) {
    if (kind == DataEventKind::LayoutChange || (kind == DataEventKind::UpdateState && state_ == DataSetState::Inactive))
      pendingEvent_ = DataEventKind::LayoutChange;
    // Requests to the controls (write your value, we are leaving the record, take the focus) still
    // go through: a Post made while suspended must not lose what a control holds. So does the
    // news that the table stopped taking changes: no later event would carry it.
    if (kind != DataEventKind::UpdateRecord && kind != DataEventKind::CheckBrowseMode &&
        kind != DataEventKind::FocusControl && kind != DataEventKind::ReadOnlyChange)
      return;
  }
  // A change of state reaches every source, as each source takes it to every link; the first
  // failure goes on once all were told.
  FirstFailure failure;
  for (TDataSource* source : std::vector<TDataSource*>(sources_)) {
    if (std::find(sources_.begin(), sources_.end(), source) == sources_.end()) continue;
    if (kind == DataEventKind::UpdateState) failure.Run([&] { source->DataEvent(kind, args); });
    else source->DataEvent(kind, args);
  }
  failure.Raise();
}

void TDataSet::SetState(DataSetState state) {
  if (state_ == state) return;
  state_ = state;
  modified_ = false;
  DataEvent(DataEventKind::UpdateState);
}

void TDataSet::CallHook(const TDataSetNotifyEvent& hook) {
  // A copy: the handler may replace the hook while it runs.
  TDataSetNotifyEvent handler = hook;
  if (handler) handler(*this);
}

void TDataSet::RunEngineStep(const TDataSetErrorEvent& hook, const std::function<void()>& step) {
  for (;;) {
    const bool couldModify = CanModify();
    try {
      step();
      return;
    } catch (const SilentAbort&) {
      throw;
    } catch (const std::runtime_error& error) {
      ChangeFailed(couldModify);
      TDataSetErrorEvent handler = hook;
      if (!handler) throw;
      TDataAction action = TDataAction::daFail;
      handler(*this, error, action);
      if (action == TDataAction::daFail) throw;
      if (action == TDataAction::daAbort) throw SilentAbort();
    }
  }
}

void TDataSet::ChangeFailed(bool couldModify) {
  if (couldModify && !CanModify()) DataEvent(DataEventKind::ReadOnlyChange);
}

void TDataSet::SuspendNotifications() {
  if (suspendCount_++ == 0) {
    suspendedState_ = state_;
    pendingEvent_ = DataEventKind::DataSetChange;
  }
}

void TDataSet::ResumeNotifications() {
  if (suspendCount_ == 0) return;
  if (--suspendCount_ > 0) return;
  if (state_ != suspendedState_) DataEvent(DataEventKind::UpdateState);
  if (state_ != DataSetState::Inactive && suspendedState_ != DataSetState::Inactive) DataEvent(pendingEvent_);
}

void TDataSet::FocusControl(TField* field) {
  TField* slot = field;
  DataEventArgs args;
  args.field = field;
  args.focusField = &slot;
  DataEvent(DataEventKind::FocusControl, args);
}

bool TDataSet::HasProperty(const QString& name) const {
  static const QStringList names = {QStringLiteral("Active"), QStringLiteral("Filter"), QStringLiteral("Filtered"),
                                    QStringLiteral("FilterOptions"), QStringLiteral("Name")};
  return names.contains(name, Qt::CaseInsensitive);
}

// ---- open and close -----------------------------------------------------------------------

void TDataSet::NewGeneration() {
  ++generation_;
  locateCursor_.reset();
}

void TDataSet::SetActive(bool on) {
  if (on) Open();
  else Close();
}

void TDataSet::Open() {
  if (state_ != DataSetState::Inactive) return;
  CallHook(BeforeOpen);
  state_ = DataSetState::Opening;  // internal: the links hear of the open once it is complete
  try {
    InternalOpen();
    CreateFields();
    InstallFilter(filterText_, filterOptions_);
    ApplyCursorFilter();
    NewGeneration();
    StartFilterPass();
    cursor_->MoveToBegin();
    hasRecord_ = StepCursor(true, current_);
    cursorOnCurrent_ = hasRecord_;
    bof_ = true;
    eof_ = !hasRecord_;
    CalculateFields();
  } catch (...) {
    fields_.clear();
    filterExpression_.reset();
    locateCursor_.reset();
    hasRecord_ = false;
    InternalClose();
    state_ = DataSetState::Inactive;
    throw;
  }
  // The table is open once every link has heard of it: a link that fails on the news (a control
  // whose field is missing) does not stop the others or AfterOpen, and its error goes on after.
  FirstFailure linkFailure;
  linkFailure.Run([this] { SetState(DataSetState::Browse); });
  CallHook(AfterOpen);
  linkFailure.Raise();
}

void TDataSet::Close() {
  if (state_ == DataSetState::Inactive) return;
  if (!destroying_) CallHook(BeforeClose);
  pending_.clear();
  // Closing completes whatever a link makes of the news; its error goes on once the table is shut.
  FirstFailure linkFailure;
  linkFailure.Run([this] { SetState(DataSetState::Inactive); });
  hasRecord_ = false;
  current_ = engine::Record{};
  bof_ = eof_ = true;
  fields_.clear();
  filterExpression_.reset();
  locateCursor_.reset();
  InternalClose();
  NewGeneration();
  if (!destroying_) CallHook(AfterClose);
  if (!destroying_) linkFailure.Raise();
}

void TDataSet::CreateFields() {
  fields_.clear();
  const auto& descs = table_->Fields();
  for (int i = 0; i < static_cast<int>(descs.size()); ++i) {
    const engine::FieldDesc& d = descs[i];
    const QString name = QString::fromStdString(d.name);
    const TFieldType type = TypeOf(d);
    std::unique_ptr<TField> field;
    if (type == ftMemo) field = std::make_unique<TMemoField>(this, i, name, type, 0, 0);
    else if (type == ftBlob || type == ftGraphic) field = std::make_unique<TBlobField>(this, i, name, type, 0, 0);
    else field = std::make_unique<TField>(this, i, name, type, d.length, d.decimals);
    fields_.push_back(std::move(field));
  }
}

TField* TDataSet::FindFieldNamed(const QString& name) const {
  for (const auto& f : fields_)
    if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0) return f.get();
  return nullptr;
}

TField& TDataSet::FieldNamed(const QString& name) const {
  TField* f = FindFieldNamed(name);
  if (!f) throw Error(QStringLiteral("Field '%1' not found").arg(name));
  return *f;
}

// ---- the engine cursor --------------------------------------------------------------------

bool TDataSet::StepCursor(bool forward, engine::Record& out) {
  // Read into the spare buffer and swap, so a walk reuses two buffers instead of allocating.
  scratch_.pendingMemos.clear();
  const ResultCode rc = forward ? cursor_->Next(scratch_) : cursor_->Prior(scratch_);
  if (rc == ResultCode::Ok) {
    std::swap(out, scratch_);
    return true;
  }
  if (rc == ResultCode::EndOfRecords || rc == ResultCode::BeginOfRecords || rc == ResultCode::RecordNotFound) return false;
  throw engine::EngineError(rc, {});
}

void TDataSet::PlaceCursorOnCurrent() {
  if (!hasRecord_ || current_.recno == 0) return;
  if (cursorOnCurrent_ && cursorChangeSeen_ == table_->ChangeCount()) return;
  if (cursor_->SetToRecord(current_.recno) != ResultCode::Ok) throw Error(QStringLiteral("Record not found"));
  cursorOnCurrent_ = true;
  cursorChangeSeen_ = table_->ChangeCount();
}

void TDataSet::PlaceCursorForCancel() {
  cursorOnCurrent_ = false;
  if (state_ == DataSetState::Inserting) {
    if (appendMode_) cursor_->MoveToEnd();
    else if (insertAnchor_ == 0 || cursor_->SetToRecord(insertAnchor_) != ResultCode::Ok) cursor_->MoveToBegin();
    return;
  }
  PlaceCursorOnCurrent();
}

void TDataSet::SyncEngineCursor() {
  CheckActive();
  StartFilterPass();
  if (state_ == DataSetState::Inserting) {
    PlaceCursorForCancel();
    return;
  }
  cursorOnCurrent_ = false;
  if (!hasRecord_) {
    cursor_->MoveToBegin();
    return;
  }
  PlaceCursorOnCurrent();
}

void TDataSet::RefetchWindowInternal(bool exact) {
  engine::Record rec;
  ResultCode rc = cursor_->Current(rec);
  if (rc == ResultCode::Ok && (rec.IsDeleted() || !Accepts(rec))) rc = ResultCode::RecordNotFound;
  bool found = rc == ResultCode::Ok;
  if (!found && exact) {
    cursorOnCurrent_ = false;
    throw Error(QStringLiteral("Record not found"));
  }
  if (!found) found = StepCursor(true, rec) || StepCursor(false, rec);
  if (found) {
    current_ = std::move(rec);
    hasRecord_ = true;
    bof_ = eof_ = false;
  } else {
    current_ = engine::Record{};
    hasRecord_ = false;
    bof_ = eof_ = true;
  }
  pending_.clear();
  cursorOnCurrent_ = hasRecord_;
  cursorChangeSeen_ = table_->ChangeCount();
  CalculateFields();
}

void TDataSet::RefetchWindow(bool exact, bool centred) {
  CheckActive();
  // One record is both the whole window and its middle, so centred placement needs nothing more.
  (void)centred;
  RefetchWindowInternal(exact);
  DataEvent(DataEventKind::DataSetChange);
}

void TDataSet::CalculateFields() {
  TDataSetNotifyEvent handler = OnCalcFields;
  if (!handler || !hasRecord_) return;
  TemporaryState calc(state_, DataSetState::CalcFields);
  handler(*this);
}

// ---- moves --------------------------------------------------------------------------------

void TDataSet::First() {
  CheckActive();
  StartFilterPass();
  SettleEdits();
  CallHook(BeforeScroll);
  hasRecord_ = false;
  cursor_->MoveToBegin();
  hasRecord_ = StepCursor(true, current_);
  cursorOnCurrent_ = hasRecord_;
  cursorChangeSeen_ = table_->ChangeCount();
  bof_ = true;
  eof_ = !hasRecord_;
  CalculateFields();
  DataEvent(DataEventKind::DataSetChange);
  CallHook(AfterScroll);
}

void TDataSet::Last() {
  CheckActive();
  StartFilterPass();
  SettleEdits();
  CallHook(BeforeScroll);
  hasRecord_ = false;
  cursor_->MoveToEnd();
  hasRecord_ = StepCursor(false, current_);
  cursorOnCurrent_ = hasRecord_;
  cursorChangeSeen_ = table_->ChangeCount();
  eof_ = true;
  bof_ = !hasRecord_;
  CalculateFields();
  DataEvent(DataEventKind::DataSetChange);
  CallHook(AfterScroll);
}

int TDataSet::MoveRecords(int n) {
  CheckActive();
  StartFilterPass();
  SettleEdits();
  CallHook(BeforeScroll);
  if (n == 0 || (n > 0 && eof_) || (n < 0 && bof_)) return 0;
  const int windowBefore = hasRecord_ ? 1 : 0;
  bof_ = eof_ = false;
  if (hasRecord_) PlaceCursorOnCurrent();
  else cursor_->MoveToBegin();
  int moved = 0;
  while (moved != n) {
    if (!StepCursor(n > 0, current_)) {  // a failed step leaves the current record as it was
      (n > 0 ? eof_ : bof_) = true;
      break;
    }
    hasRecord_ = true;
    moved += n > 0 ? 1 : -1;
  }
  // A failed step leaves the cursor on a crack beside the current record.
  cursorOnCurrent_ = hasRecord_ && moved == n;
  cursorChangeSeen_ = table_->ChangeCount();
  if (moved != 0) CalculateFields();
  DataEventArgs args;
  args.shift = moved;
  if ((hasRecord_ ? 1 : 0) == windowBefore) DataEvent(DataEventKind::DataSetScroll, args);
  else DataEvent(DataEventKind::DataSetChange);
  CallHook(AfterScroll);
  return moved;
}

TBookmark TDataSet::TakeBookmark() const {
  // An inserted record has no bookmark until it is stored.
  if (!hasRecord_ || current_.recno == 0) return {};
  if (state_ != DataSetState::Browse && state_ != DataSetState::Editing) return {};
  return TBookmark{current_.recno, generation_};
}

void TDataSet::ReturnToBookmark(const TBookmark& bookmark) {
  if (!bookmark) return;
  CheckActive();
  StartFilterPass();
  SettleEdits();
  CallHook(BeforeScroll);
  cursorOnCurrent_ = false;
  if (bookmark.generation != generation_ || cursor_->SetToRecord(bookmark.recno) != ResultCode::Ok)
    throw Error(QStringLiteral("Record not found"));
  RefetchWindowInternal(true);
  DataEvent(DataEventKind::DataSetChange);
  CallHook(AfterScroll);
}

bool TDataSet::IsBookmarkLive(const TBookmark& bookmark) const {
  if (!Active() || !bookmark || bookmark.generation != generation_) return false;
  if (bookmark.recno > table_->RecordCount()) return false;
  return !table_->ReadRecord(bookmark.recno).IsDeleted();
}

int TDataSet::CompareRecordOrder(const engine::Record& a, const engine::Record& b) const {
  const int tag = cursor_->Order();
  const engine::MdxIndex* index = table_->Index();
  if (tag >= 0 && index) {
    const int c = index->CompareKeys(tag, index->MakeKey(tag, a.bytes), index->MakeKey(tag, b.bytes));
    if (c != 0) return c < 0 ? -1 : 1;
  }
  return a.recno < b.recno ? -1 : (a.recno > b.recno ? 1 : 0);
}

int TDataSet::CompareBookmarkOrder(const TBookmark& a, const TBookmark& b) const {
  const bool hasA = IsBookmarkLive(a), hasB = IsBookmarkLive(b);
  if (!hasA || !hasB) return hasA == hasB ? 0 : (hasA ? -1 : 1);
  return CompareRecordOrder(table_->ReadRecord(a.recno), table_->ReadRecord(b.recno));
}

// ---- changes ------------------------------------------------------------------------------

void TDataSet::Edit() {
  CheckActive();
  if (state_ == DataSetState::Editing || state_ == DataSetState::Inserting) return;
  if (!hasRecord_) {
    Insert();
    return;
  }
  SettleEdits();
  CheckCanModify();
  CallHook(BeforeEdit);
  RunEngineStep(OnEditError, [this] {
    // The engine's start of an edit: the record as stored now, or RecordNotFound when it is gone.
    if (current_.recno == 0 || current_.recno > table_->RecordCount())
      throw engine::EngineError(ResultCode::RecordNotFound, "The record no longer exists");
    engine::Record fresh = table_->ReadRecord(current_.recno);
    if (fresh.IsDeleted()) throw engine::EngineError(ResultCode::RecordNotFound, "The record has been deleted");
    current_ = std::move(fresh);
  });
  pending_.clear();
  CalculateFields();
  SetState(DataSetState::Editing);
  DataEvent(DataEventKind::RecordChange);
  CallHook(AfterEdit);
}

void TDataSet::StartNewRecord(bool append) {
  CheckActive();
  SettleEdits();
  CheckCanModify();
  CallHook(BeforeInsert);
  CallHook(BeforeScroll);
  appendMode_ = append;
  insertAnchor_ = (!append && hasRecord_) ? current_.recno : 0;
  cursorOnCurrent_ = false;
  if (append) {
    cursor_->MoveToEnd();
    bof_ = false;
    eof_ = true;
  }
  current_ = table_->BlankRecord();
  current_.recno = 0;
  hasRecord_ = true;
  pending_.clear();
  SetState(DataSetState::Inserting);
  try {
    TDataSetNotifyEvent handler = OnNewRecord;
    if (handler) handler(*this);
  } catch (...) {
    pending_.clear();
    PlaceCursorForCancel();
    SetState(DataSetState::Browse);
    RefetchWindowInternal(false);
    DataEvent(DataEventKind::DataSetChange);
    throw;
  }
  modified_ = false;
  DataEvent(DataEventKind::DataSetChange);
  CallHook(AfterInsert);
  CallHook(AfterScroll);
}

void TDataSet::Insert() { StartNewRecord(false); }
void TDataSet::Append() { StartNewRecord(true); }

void TDataSet::Post() {
  // A closed dataset is in no editing state either: Post reports that, not the closed table.
  CollectControlEdits();
  if (state_ != DataSetState::Editing && state_ != DataSetState::Inserting) return;
  DataEvent(DataEventKind::CheckBrowseMode);
  for (const auto& f : fields_) {
    if (f->Required() && !f->ReadOnly() && f->IsNull()) {
      FocusControl(f.get());
      throw Error(QStringLiteral("Field '%1' must have a value").arg(f->FieldName()));
    }
  }
  CallHook(BeforePost);
  RunEngineStep(OnPostError, [this] {
    // The stored record is built on a copy: a refused value leaves the pending record whole.
    engine::Record rec = current_;
    for (const auto& [index, value] : pending_) {
      if (value) table_->SetText(rec, index, value->toStdString());
      else table_->SetBlank(rec, index);
    }
    if (state_ == DataSetState::Inserting) table_->Append(rec);
    else table_->Modify(rec);
    current_ = std::move(rec);
  });
  pending_.clear();
  cursorOnCurrent_ = false;
  // A record the filter no longer passes leaves the dataset: the cursor stays on its place, so the
  // refetch below makes its next neighbour current (the prior one at the end).
  if (cursor_->SetToRecord(current_.recno) != ResultCode::Ok &&
      cursor_->SetToRecordPlace(current_.recno) != ResultCode::Ok)
    cursor_->MoveToBegin();
  SetState(DataSetState::Browse);
  RefetchWindowInternal(false);
  DataEvent(DataEventKind::DataSetChange);
  CallHook(AfterPost);
}

void TDataSet::Cancel() {
  if (state_ != DataSetState::Editing && state_ != DataSetState::Inserting) return;
  DataEvent(DataEventKind::CheckBrowseMode);
  CallHook(BeforeCancel);
  const bool wasInserting = state_ == DataSetState::Inserting;
  if (wasInserting) CallHook(BeforeScroll);
  PlaceCursorForCancel();
  pending_.clear();
  SetState(DataSetState::Browse);
  RefetchWindowInternal(false);
  DataEvent(DataEventKind::DataSetChange);
  CallHook(AfterCancel);
  if (wasInserting) CallHook(AfterScroll);
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == DataSetState::Inserting || state_ == DataSetState::SetKey) {
    Cancel();
    return;
  }
  if (!hasRecord_) throw Error(QStringLiteral("Cannot perform this operation on an empty dataset"));
  DataEvent(DataEventKind::CheckBrowseMode);
  CallHook(BeforeDelete);
  CallHook(BeforeScroll);
  const uint32_t recno = current_.recno;
  cursorOnCurrent_ = false;
  cursor_->SetToRecord(recno);
  RunEngineStep(OnDeleteError, [this, recno] {
    try {
      table_->Delete(recno);
    } catch (const engine::EngineError& e) {
      if (!e.IsNotFound()) throw;  // the record was gone already
    }
  });
  pending_.clear();
  SetState(DataSetState::Browse);
  RefetchWindowInternal(false);
  DataEvent(DataEventKind::DataSetChange);
  CallHook(AfterDelete);
  CallHook(AfterScroll);
}

void TDataSet::Refresh() {
  CheckActive();
  StartFilterPass();
  CallHook(BeforeRefresh);
  SettleEdits();
  SyncEngineCursor();
  const ResultCode rc = cursor_->ForceReread();
  if (rc != ResultCode::Ok) throw engine::EngineError(rc, {});
  RefetchWindowInternal(false);
  DataEvent(DataEventKind::DataSetChange);
  CallHook(AfterRefresh);
}

void TDataSet::SettleEdits() {
  CheckActive();
  DataEvent(DataEventKind::CheckBrowseMode);
  if (state_ == DataSetState::Editing || state_ == DataSetState::Inserting) {
    CollectControlEdits();
    if (modified_) Post();
    else Cancel();
  } else if (state_ == DataSetState::SetKey) {
    Post();
  }
}

void TDataSet::CollectControlEdits() {
  if (!IsEditState(state_)) throw Error(QStringLiteral("Dataset not in edit or insert mode"));
  DataEvent(DataEventKind::UpdateRecord);
}

// ---- field access -------------------------------------------------------------------------

const engine::Record* TDataSet::ActiveRecord() const {
  if (state_ == DataSetState::Filtering) return candidate_;
  if (!Active() || !hasRecord_) return nullptr;
  return &current_;
}

void TDataSet::ReadField(int index, bool transliterate, QString& text, bool* isNull) const {
  text.clear();
  if (isNull) *isNull = true;
  if (state_ != DataSetState::Filtering && !pending_.empty()) {
    auto it = pending_.find(index);
    if (it != pending_.end()) {
      if (isNull) *isNull = !it->second.has_value() || it->second->isEmpty();
      if (it->second) text = *it->second;
      return;
    }
  }
  const engine::Record* rec = ActiveRecord();
  if (!rec || !table_) return;
  if (isNull) {
    *isNull = table_->IsBlank(*rec, index);
    return;
  }
  text = StoredText(*rec, index, transliterate);
}

QString TDataSet::StoredText(const engine::Record& record, int index, bool transliterate) const {
  const engine::FieldDesc& field = table_->Fields()[index];
  if (field.IsMemo() || (transliterate && field.type != 'C')) return QString::fromStdString(table_->GetText(record, index));
  const std::string_view raw = engine::WithoutPadding(table_->RawField(record, index));
  if (!transliterate) return QString::fromLatin1(raw.data(), static_cast<qsizetype>(raw.size()));
  // Straight from the code page into the string: no UTF-8 text in between.
  QString text(static_cast<qsizetype>(raw.size()), Qt::Uninitialized);
  table_->DecodeTextUnits(raw, reinterpret_cast<char16_t*>(text.data()));
  return text;
}

QString TDataSet::StoredText(const engine::Record& record, const TField& field) const {
  return StoredText(record, field.Index(), field.Transliterate());
}

void TDataSet::VisitStoredRecords(const std::function<void(const engine::Record& record)>& visit) {
  CheckActive();
  if (state_ != DataSetState::Browse) throw Error(QStringLiteral("Dataset not in browse mode"));
  StartFilterPass();
  cursorOnCurrent_ = false;
  cursor_->MoveToBegin();
  engine::Record record;
  for (;;) {
    const ResultCode rc = cursor_->Next(record);
    if (rc == ResultCode::EndOfRecords || rc == ResultCode::RecordNotFound) break;
    if (rc != ResultCode::Ok) throw engine::EngineError(rc, {});
    visit(record);
  }
}

QString TDataSet::ReadFirstBytes(int index, size_t maxBytes) const {
  if (state_ != DataSetState::Filtering) {
    auto it = pending_.find(index);
    if (it != pending_.end()) {
      if (!it->second) return {};
      const std::string encoded = table_->EncodeText(it->second->toStdString(), table_->Fields()[index].name);
      return QString::fromStdString(table_->DecodeText(std::string_view(encoded).substr(0, maxBytes)));
    }
  }
  const engine::Record* rec = ActiveRecord();
  if (!rec || !table_) return {};
  return QString::fromStdString(table_->ReadMemo(*rec, index, maxBytes));
}

bool TDataSet::FieldHolds(const TField& field, const std::optional<QString>& value) const {
  try {
    if (!value || value->isEmpty()) return field.IsNull();
    return !field.IsNull() && field.AsString() == *value;
  } catch (const std::exception&) {
    return false;  // a value that cannot be read is not known to be equal
  }
}

bool TDataSet::ReadMemoBytes(int index, std::string& out, int& codePage) const {
  if (state_ != DataSetState::Filtering && pending_.count(index)) return false;
  const engine::Record* rec = ActiveRecord();
  if (!rec || !table_) return false;
  codePage = table_->CodePage();
  return table_->ReadMemoBytes(*rec, index, out);
}

uint32_t TDataSet::ActiveRecno() const {
  const engine::Record* rec = ActiveRecord();
  return rec ? rec->recno : 0;
}

void TDataSet::WriteField(TField& field, std::optional<QString> value) {
  if (state_ != DataSetState::Editing && state_ != DataSetState::Inserting)
    throw Error(QStringLiteral("Dataset not in edit or insert mode"));
  if (field.ReadOnly()) throw Error(QStringLiteral("Field '%1' cannot be modified").arg(field.FieldName()));
  // Writing the value the field already holds changes nothing: the record stays unmodified, so
  // settling it cancels instead of storing an unchanged record.
  if (FieldHolds(field, value)) return;
  pending_[field.Index()] = std::move(value);
  modified_ = true;
  DataEventArgs args;
  args.field = &field;
  DataEvent(DataEventKind::FieldChange, args);
}

// ---- filtering ----------------------------------------------------------------------------

void TDataSet::InstallFilter(const QString& text, TFilterOptions options) {
  (void)options;
  std::unique_ptr<FilterExpression> parsed;
  try {
    parsed = FilterExpression::Parse(text, [this](const QString& name) {
      if (state_ == DataSetState::Inactive) return 0;  // names are checked once the fields exist
      TField* f = FindFieldNamed(name);
      return f ? f->Index() : -1;
    });
  } catch (const FilterExpression::Error& e) {
    throw Error(e.Text());
  }
  if (state_ != DataSetState::Inactive) filterExpression_ = std::move(parsed);
}

void TDataSet::ApplyCursorFilter() {
  if (!cursor_) return;
  std::function<bool(const engine::Record&)> accept;
  if (filtered_ && (filterExpression_ || onFilterRecord_)) accept = [this](const engine::Record& r) { return Accepts(r); };
  cursor_->SetFilter(accept);
  if (locateCursor_) locateCursor_->SetFilter(accept);
}

bool TDataSet::Accepts(const engine::Record& record) {
  if (!filtered_ || (!filterExpression_ && !onFilterRecord_)) return true;
  TemporaryState filtering(state_, DataSetState::Filtering);
  const engine::Record* savedCandidate = candidate_;
  candidate_ = &record;
  bool accept = true;
  auto reportOnce = [this] {
    // One report per pass over the records, however many records fail.
    if (!filterErrorReported_) {
      filterErrorReported_ = true;
      ReportCurrentException();
    }
  };
  if (filterExpression_) {
    try {
      accept = filterExpression_->Evaluate(
          [this, &record](int index) {
            FilterExpression::FieldValue v;
            v.isNull = table_->IsBlank(record, index);
            v.isNumeric = table_->Fields()[index].IsNumeric();
            v.text = QString::fromStdString(table_->GetText(record, index));
            return v;
          },
          filterOptions_);
    } catch (...) {
      reportOnce();
    }
  }
  // Called in place, not copied for every record: the hook cannot be replaced while it runs
  // (SetOnFilterRecord refuses while Filtering).
  if (accept && onFilterRecord_) {
    try {
      onFilterRecord_(*this, accept);
    } catch (const SilentAbort&) {
    } catch (...) {
      reportOnce();
    }
  }
  candidate_ = savedCandidate;
  return accept;
}

void TDataSet::SetFilter(const QString& expression) {
  if (!Active()) {
    InstallFilter(expression, filterOptions_);  // syntax check only
    filterText_ = expression;
    return;
  }
  SettleEdits();
  if (expression != filterText_) {
    InstallFilter(expression, filterOptions_);
    filterText_ = expression;
    ApplyCursorFilter();
  }
  if (filtered_) First();
}

void TDataSet::SetFilterOptions(TFilterOptions options) {
  if (!Active()) {
    filterOptions_ = options;
    return;
  }
  SettleEdits();
  if (options != filterOptions_) {
    InstallFilter(filterText_, options);
    filterOptions_ = options;
    ApplyCursorFilter();
  }
  if (filtered_) First();
}

void TDataSet::SetFiltered(bool on) {
  if (!Active()) {
    filtered_ = on;
    return;
  }
  SettleEdits();
  if (on != filtered_) {
    filtered_ = on;
    ApplyCursorFilter();
  }
  First();
}

void TDataSet::SetOnFilterRecord(TFilterRecordEvent handler) {
  // A record test that replaced itself would destroy the code that is running.
  if (state_ == DataSetState::Filtering)
    throw Error(QStringLiteral("The record filter cannot be replaced while it tests a record"));
  if (!Active()) {
    onFilterRecord_ = std::move(handler);
    return;
  }
  SettleEdits();
  onFilterRecord_ = std::move(handler);
  ApplyCursorFilter();
  if (filtered_) First();
}

// ---- locating -----------------------------------------------------------------------------

bool TDataSet::ValueMatches(const engine::Record& record, int field, const QString& value, TLocateOptions options) const {
  const QString text = QString::fromStdString(table_->GetText(record, field));
  if (table_->Fields()[field].IsNumeric() && !(options & loPartialKey)) {
    bool okA = false, okB = false;
    const double a = text.trimmed().toDouble(&okA);
    const double b = value.trimmed().toDouble(&okB);
    if (okA && okB) return a == b;
    return text.trimmed().isEmpty() && value.trimmed().isEmpty();
  }
  const Qt::CaseSensitivity cs = (options & loCaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;
  if (options & loPartialKey) return text.startsWith(value, cs);
  return text.compare(value, cs) == 0;
}

uint32_t TDataSet::LocateWithIndex(const std::vector<int>& fields, const QStringList& values) {
  const engine::MdxIndex* index = table_->Index();
  if (!index) return UINT32_MAX;
  int tag = -1;
  const auto& tags = index->Tags();
  // The active tag first: among equal keys it already gives the current order.
  const int active = cursor_->Order();
  auto usable = [&](int t) {
    const engine::TagInfo& info = tags[t];
    return info.maintainable && info.forExpression.empty() && info.keyFields == fields;
  };
  if (active >= 0 && usable(active)) tag = active;
  for (int t = 0; tag < 0 && t < static_cast<int>(tags.size()); ++t)
    if (usable(t)) tag = t;
  if (tag < 0) return UINT32_MAX;

  if (!locateCursor_) {
    locateCursor_ = table_->OpenCursor();
    ApplyCursorFilter();
  }
  if (locateCursor_->Order() != tag) locateCursor_->SetOrder(tag);
  std::vector<std::string> keyValues;
  for (const QString& v : values) keyValues.push_back(v.toStdString());
  if (locateCursor_->SeekKey(keyValues, true) != ResultCode::Ok) return 0;
  engine::Record rec;
  if (locateCursor_->Current(rec) != ResultCode::Ok) return 0;
  const std::string key = index->MakeKey(tag, rec.bytes);
  std::optional<engine::Record> best;
  // Every record with the same key is a candidate; the values decide (a key may fold case or cut
  // a long value), and with another active order the first in that order wins.
  for (;;) {
    bool all = true;
    for (size_t i = 0; i < fields.size() && all; ++i) all = ValueMatches(rec, fields[i], values[static_cast<int>(i)], 0);
    if (all && !rec.IsDeleted() && Accepts(rec)) {
      if (!best || CompareRecordOrder(rec, *best) < 0) best = rec;
      if (tag == active) break;
    }
    engine::Record next;
    if (locateCursor_->Next(next) != ResultCode::Ok) break;
    if (index->CompareKeys(tag, index->MakeKey(tag, next.bytes), key) != 0) break;
    rec = std::move(next);
  }
  return best ? best->recno : 0;
}

uint32_t TDataSet::LocateByScan(const std::vector<int>& fields, const QStringList& values, TLocateOptions options) {
  cursorOnCurrent_ = false;
  cursor_->MoveToBegin();
  engine::Record rec;
  while (StepCursor(true, rec)) {
    bool all = true;
    for (size_t i = 0; i < fields.size() && all; ++i) all = ValueMatches(rec, fields[i], values[static_cast<int>(i)], options);
    if (all) return rec.recno;
  }
  return 0;
}

bool TDataSet::LocateByValues(const QString& fieldNames, const QStringList& values, TLocateOptions options) {
  CheckActive();
  StartFilterPass();
  CallHook(BeforeScroll);
  SettleEdits();
  std::vector<int> fields;
  for (const QString& name : fieldNames.split(u';', Qt::SkipEmptyParts)) fields.push_back(FieldNamed(name.trimmed()).Index());
  if (fields.empty() || static_cast<int>(fields.size()) != values.size()) return false;
  uint32_t found = options == 0 ? LocateWithIndex(fields, values) : UINT32_MAX;
  if (found == UINT32_MAX) found = LocateByScan(fields, values, options);
  if (found == 0) return false;
  cursorOnCurrent_ = false;
  if (cursor_->SetToRecord(found) != ResultCode::Ok) throw Error(QStringLiteral("Record not found"));
  RefetchWindowInternal(true);
  DataEvent(DataEventKind::DataSetChange);
  CallHook(AfterScroll);
  return true;
}

bool TDataSet::SeekKeyExact(const QStringList& values) {
  CheckActive();
  StartFilterPass();
  SettleEdits();
  if (cursor_->Order() < 0) throw Error(QStringLiteral("No index is active"));
  CallHook(BeforeScroll);
  std::vector<std::string> key;
  for (const QString& v : values) key.push_back(v.toStdString());
  const ResultCode rc = cursor_->SeekKey(key, true);
  if (rc != ResultCode::Ok) {
    cursorOnCurrent_ = false;
    if (rc == ResultCode::KeyNotFound || rc == ResultCode::EndOfRecords) return false;
    throw engine::EngineError(rc, {});
  }
  RefetchWindowInternal(true);
  DataEvent(DataEventKind::DataSetChange);
  CallHook(AfterScroll);
  return true;
}

void TDataSet::SeekKeyNearest(const QStringList& values) {
  CheckActive();
  StartFilterPass();
  SettleEdits();
  if (cursor_->Order() < 0) throw Error(QStringLiteral("No index is active"));
  std::vector<std::string> key;
  for (const QString& v : values) key.push_back(v.toStdString());
  cursorOnCurrent_ = false;
  const ResultCode rc = cursor_->SeekKey(key, false);
  if (rc != ResultCode::Ok && rc != ResultCode::EndOfRecords) throw engine::EngineError(rc, {});
  RefetchWindowInternal(false);
  DataEvent(DataEventKind::DataSetChange);
}

}  // namespace tindrel
