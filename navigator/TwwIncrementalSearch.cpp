#include "navigator/TwwIncrementalSearch.h"

#include "store/FindFieldValue.h"
#include "platform/Errors.h"
#include "platform/Platform.h"
#include "store/TDataSource.h"
#include "store/TField.h"
#include "store/TTable.h"

namespace tindrel {

namespace {

// The index definition that is the table's active order, or null.
const TIndexDef* ActiveIndexDef(const TTable& table) {
  for (const TIndexDef& def : table.IndexDefs()) {
    if (!table.IndexName().isEmpty() && def.Name.compare(table.IndexName(), Qt::CaseInsensitive) == 0) return &def;
    if (table.IndexName().isEmpty() && !table.IndexFieldNames().isEmpty() &&
        def.Fields.compare(table.IndexFieldNames(), Qt::CaseInsensitive) == 0 && !(def.Options & ixExpression))
      return &def;
  }
  return nullptr;
}

// Whether `text` is a value the field's type can hold (text fields hold anything).
bool ValidForType(const TField& field, const QString& text) {
  const QString t = text.trimmed();
  bool ok = true;
  switch (field.DataType()) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc: t.toLongLong(&ok); return ok;
    case ftFloat:
    case ftCurrency: return ReadNumber(t);
    case ftDate:
    case ftTime:
    case ftDateTime: return QDateTime::fromString(t, Qt::ISODate).isValid() || QDate::fromString(t, Qt::ISODate).isValid();
    default: break;
  }
  // Number fields of a dBASE table read as text: a prefix of digits, sign or point is valid.
  if (field.IsNumeric()) {
    for (QChar c : t)
      if (!c.isDigit() && c != u'-' && c != u'+' && c != u'.') return false;
  }
  return true;
}

}  // namespace

TwwIncrementalSearch::TwwIncrementalSearch(QWidget* parent) : QLineEdit(parent) {
  // Every change the person makes counts: typed characters, Backspace and Delete, but also
  // pasting and cutting (Ctrl+V, Ctrl+X, the context menu) and undo.
  connect(this, &QLineEdit::textEdited, this, [this] { RunGuarded([this] { RestartPause(); }); });
}

TwwIncrementalSearch::~TwwIncrementalSearch() = default;

int TwwIncrementalSearch::PauseMs() const {
  if (SearchDelay > 0) return SearchDelay;
  // Half the base interval of 200 ms for a table on the local engine.
  TDataSet* dataSet = dataSource_ ? dataSource_->DataSet() : nullptr;
  return dataSet && dataSet->IsTable() && dataSet->IsEngineDataSet() ? 100 : 200;
}

void TwwIncrementalSearch::RestartPause() {
  if (text() == lastSearch_) return;
  if (!timer_) timer_ = Platform::Instance().Clock().CreateTimer([this] { RunGuarded([this] { FlushPendingSearch(); }); });
  timer_->Start(PauseMs());
}

bool TwwIncrementalSearch::SearchPending() const { return timer_ && timer_->IsActive(); }

void TwwIncrementalSearch::FlushPendingSearch() {
  if (timer_) timer_->Stop();
  const QString now = text();
  if (now == lastSearch_) return;
  lastSearch_ = now;
  DoSearch(now);
}

void TwwIncrementalSearch::Reset() {
  if (timer_) timer_->Stop();
  clear();
  lastSearch_.clear();
}

bool TwwIncrementalSearch::DoSearch(const QString& searchText) {
  TDataSet* dataSet = dataSource_ ? dataSource_->DataSet() : nullptr;
  if (!dataSet || !dataSet->Active()) return false;
  bool found = false;
  auto* table = dynamic_cast<TTable*>(dataSet);
  const TIndexDef* active = table ? ActiveIndexDef(*table) : nullptr;
  TField* searched = table && table->IndexFieldCount() > 0 ? table->IndexField(0) : nullptr;
  if (!searched) searched = SearchField.isEmpty() ? nullptr : dataSet->FindFieldNamed(SearchField);
  if (!searched && dataSet->FieldCount() > 0) searched = dataSet->Fields().front().get();

  if (table && active && (active->Options & ixExpression)) {
    table->SeekKeyNearest({searchText});
    found = searched && searched->AsString().startsWith(searchText, Qt::CaseInsensitive);
  } else if (table && table->IndexFieldCount() > 0) {
    TField* key = table->IndexField(0);
    // An empty box goes to the first record whatever the key's type: an empty text is no
    // number, but clearing the box must not leave the grid where it was.
    if (!searchText.isEmpty() && !ValidForType(*key, searchText)) {
      found = false;
    } else {
      if (searchText.isEmpty()) {
        table->First();
      } else {
        TLocateOptions options = loPartialKey;
        if (active && (active->Options & ixCaseInsensitive)) options |= loCaseInsensitive;
        table->LocateByValues(key->FieldName(), {searchText}, options);
      }
      const QString value = key->AsString();
      switch (key->DataType()) {
        case ftFloat:
        case ftCurrency: {
          double a = 0, b = 0;
          found = (value.trimmed().isEmpty() && searchText.trimmed().isEmpty()) ||
                  (ReadNumber(value, &a) && ReadNumber(searchText, &b) && a == b);
          break;
        }
        case ftSmallint:
        case ftInteger:
        case ftWord:
        case ftAutoInc: found = value == searchText.trimmed(); break;
        default: found = value.startsWith(searchText, Qt::CaseInsensitive); break;
      }
    }
  } else if (searched) {
    if (searched->AsString().compare(searchText, Qt::CaseInsensitive) == 0) found = true;
    else found = FindFieldValue(true, *dataSet, searched->FieldName(), searchText, mtPartialMatchStart, false);
  }

  if (OnAfterSearch) OnAfterSearch(*this, found);
  if (ShowMatchText && found && searched) {
    const QString value = searched->AsString();
    setText(value);
    lastSearch_ = value;
    setSelection(static_cast<int>(searchText.size()), static_cast<int>(value.size() - searchText.size()));
  }
  return found;
}

}  // namespace tindrel
