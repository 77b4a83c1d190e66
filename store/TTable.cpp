#include "store/TTable.h"

#include "store/TField.h"
#include "store/engine/Cursor.h"
#include "store/engine/Table.h"

namespace tindrel {

using engine::ResultCode;

TTable::TTable(const QString& name) : TDataSet(name) {}

TTable::~TTable() {
  MarkDestroying();
  Close();
}

void TTable::SetTableName(const QString& path) {
  if (Active()) throw Error(QStringLiteral("Cannot perform this operation on an open dataset"));
  tableName_ = path;
}

void TTable::SetReadOnly(bool on) {
  if (Active()) throw Error(QStringLiteral("Cannot perform this operation on an open dataset"));
  readOnly_ = on;
}

bool TTable::CanModify() const { return TDataSet::CanModify() && !readOnly_; }

QString TTable::ReadOnlyReason() const {
  return table_ ? QString::fromStdString(table_->ReadOnlyReason()) : QString();
}

bool TTable::InDoubt() const { return table_ && table_->InDoubt(); }

bool TTable::HasProperty(const QString& name) const {
  static const QStringList names = {QStringLiteral("TableName"), QStringLiteral("Exclusive"), QStringLiteral("ReadOnly"),
                                    QStringLiteral("IndexFieldNames"), QStringLiteral("IndexName"),
                                    QStringLiteral("MasterFields")};
  return names.contains(name, Qt::CaseInsensitive) || TDataSet::HasProperty(name);
}

void TTable::InternalOpen() {
  engine::OpenOptions options;
  options.exclusive = true;
  options.readOnly = readOnly_;
  options.fileSystem = fileSystem_;
  engineTable_ = engine::Table::Open(tableName_.toStdString(), options);
  engineCursor_ = engineTable_->OpenCursor();
  table_ = engineTable_.get();
  cursor_ = engineCursor_.get();
  for (const std::string& warning : table_->Warnings()) openWarnings_ << QString::fromStdString(warning);
  if (tableChanged_) cursor_->RegisterTableChanged(tableChanged_);
  UpdateIndexDefs();
  int tag = -1;
  if (!indexFieldNames_.isEmpty()) {
    tag = TagForFields(indexFieldNames_);
    if (tag < 0) throw Error(QStringLiteral("No index for fields '%1'").arg(indexFieldNames_));
  } else if (!indexName_.isEmpty()) {
    tag = table_->Index() ? table_->Index()->FindTag(indexName_.toStdString()) : -1;
    if (tag < 0) throw Error(QStringLiteral("Index '%1' not found").arg(indexName_));
  }
  cursor_->SetOrder(tag);
}

void TTable::InternalClose() {
  cursor_ = nullptr;
  table_ = nullptr;
  engineCursor_.reset();
  engineTable_.reset();
  indexDefs_.clear();
  openWarnings_.clear();
}

int TTable::TagForFields(const QString& names) const {
  const engine::MdxIndex* index = table_ ? table_->Index() : nullptr;
  if (!index) return -1;
  std::vector<int> wanted;
  for (const QString& name : names.split(u';', Qt::SkipEmptyParts)) {
    const int f = table_->FieldIndex(name.trimmed().toStdString());
    if (f < 0) return -1;
    wanted.push_back(f);
  }
  return engine::TagForFields(*index, wanted);
}

void TTable::SelectOrder(int tag) {
  // The current record stays current: the cursor keeps its record across the change of order.
  SyncEngineCursor();
  cursor_->SetOrder(tag);
  CursorMovedByReader();
  if (HasRecord() && State() == DataSetState::Browse) {
    if (cursor_->SetToRecord(CurrentRecord().recno) != ResultCode::Ok) cursor_->MoveToBegin();
  }
  RefetchWindow(false, true);
}

void TTable::SetIndexFieldNames(const QString& names) {
  if (!Active()) {
    indexFieldNames_ = names;
    if (!names.isEmpty()) indexName_.clear();
    return;
  }
  SettleEdits();
  int tag = -1;
  if (!names.isEmpty()) {
    tag = TagForFields(names);
    if (tag < 0) throw Error(QStringLiteral("No index for fields '%1'").arg(names));
  }
  indexFieldNames_ = names;
  indexName_.clear();
  SelectOrder(tag);
}

void TTable::SetIndexName(const QString& name) {
  if (!Active()) {
    indexName_ = name;
    if (!name.isEmpty()) indexFieldNames_.clear();
    return;
  }
  SettleEdits();
  int tag = -1;
  if (!name.isEmpty()) {
    tag = table_->Index() ? table_->Index()->FindTag(name.toStdString()) : -1;
    if (tag < 0) throw Error(QStringLiteral("Index '%1' not found").arg(name));
  }
  indexName_ = name;
  indexFieldNames_.clear();
  SelectOrder(tag);
}

void TTable::UpdateIndexDefs() {
  indexDefs_.clear();
  const engine::MdxIndex* index = table_ ? table_->Index() : nullptr;
  if (!index) return;
  for (const engine::TagInfo& tag : index->Tags()) {
    TIndexDef def;
    def.Name = QString::fromStdString(tag.name);
    def.Expression = QString::fromStdString(tag.expression);
    QStringList names;
    for (int f : tag.keyFields) names << QString::fromStdString(table_->Fields()[f].name);
    def.Fields = names.join(u';');
    const QString upper = def.Expression.trimmed().toUpper();
    const bool plainFields = names.join(u'+').compare(def.Expression.simplified().remove(u' '), Qt::CaseInsensitive) == 0;
    if (!plainFields) def.Options |= ixExpression;
    if (upper.startsWith(QStringLiteral("UPPER("))) {
      def.Options |= ixCaseInsensitive;
      def.CaseInsFields = def.Fields;
    }
    if (tag.descending) def.Options |= ixDescending;
    if (tag.unique) def.Options |= ixUnique;
    if (!tag.maintainable) def.Options |= ixNonMaintained;
    indexDefs_.push_back(def);
  }
}

int TTable::IndexFieldCount() const {
  if (!cursor_ || cursor_->Order() < 0 || !table_->Index()) return 0;
  return static_cast<int>(table_->Index()->Tags()[cursor_->Order()].keyFields.size());
}

TField* TTable::IndexField(int i) const {
  if (i < 0 || i >= IndexFieldCount()) return nullptr;
  return Fields()[table_->Index()->Tags()[cursor_->Order()].keyFields[i]].get();
}

void TTable::PackTable() {
  if (!Active())
    throw engine::EngineError(ResultCode::InvalidHandle, "The table is not open: there is no handle to pack");
  SettleEdits();
  // The current record's number after the pack: the live records before it move up.
  uint32_t keep = 0;
  if (HasRecord() && CurrentRecord().recno != 0) {
    keep = CurrentRecord().recno;
    for (uint32_t r = 1; r < CurrentRecord().recno; ++r)
      if (table_->ReadRecord(r).IsDeleted()) --keep;
  }
  const bool couldModify = CanModify();
  try {
    table_->Pack();
  } catch (const std::exception&) {
    ChangeFailed(couldModify);
    throw;
  }
  NewGeneration();
  CursorMovedByReader();
  cursor_->ForceReread();
  if (keep == 0 || cursor_->SetToRecord(keep) != ResultCode::Ok) cursor_->MoveToBegin();
  RefetchWindow(false, true);
}

engine::Cursor* TTable::EngineCursor() {
  CursorMovedByReader();
  return cursor_;
}

engine::ResultCode TTable::ReadNextRecord(engine::Record& buffer) {
  CheckActive();
  CursorMovedByReader();
  return cursor_->Next(buffer);
}

bool TTable::CopyField(const engine::Record& buffer, int fieldNo, std::string& native, bool& blank) const {
  if (!table_ || fieldNo < 1 || fieldNo > static_cast<int>(table_->Fields().size())) return false;
  native.assign(table_->RawField(buffer, fieldNo - 1));
  blank = table_->IsBlank(buffer, fieldNo - 1);
  return true;
}

QString TTable::BufferFieldText(const engine::Record& buffer, int fieldNo) const {
  if (!table_ || fieldNo < 1 || fieldNo > static_cast<int>(table_->Fields().size())) return {};
  return QString::fromStdString(table_->GetText(buffer, fieldNo - 1));
}

void TTable::RegisterTableChanged(std::function<void()> callback) {
  tableChanged_ = std::move(callback);
  if (cursor_) cursor_->RegisterTableChanged(tableChanged_);
}

void TTable::CheckRefresh() {
  if (table_) table_->CheckRefresh();
}

engine::ResultCode TTable::ForceReread() {
  if (!cursor_) return ResultCode::InvalidHandle;
  CursorMovedByReader();
  return cursor_->ForceReread();
}

}  // namespace tindrel
