#pragma once
// The plain types shared by the dataset layer: states, field kinds and types, option sets,
// bookmarks, index definitions and the events a dataset sends to its data sources.

#include <cstdint>
#include <QString>

namespace tindrel {

enum class DataSetState { Inactive, Browse, Editing, Inserting, SetKey, CalcFields, Filtering, Opening };

// The states in which a data link counts as editing.
inline bool IsEditState(DataSetState s) {
  return s == DataSetState::Editing || s == DataSetState::Inserting || s == DataSetState::SetKey;
}

enum TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };

enum TFieldType {
  ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency,
  ftDate, ftTime, ftDateTime, ftAutoInc, ftMemo, ftBlob, ftGraphic, ftBytes
};

// Option sets are bit sets in one word, bit n for the n-th value of the enumeration.
enum TFilterOption : unsigned { foCaseInsensitive = 1u << 0, foNoPartialCompare = 1u << 1 };
using TFilterOptions = unsigned;

enum TLocateOption : unsigned { loCaseInsensitive = 1u << 0, loPartialKey = 1u << 1 };
using TLocateOptions = unsigned;

enum TIndexOption : unsigned {
  ixPrimary = 1u << 0, ixUnique = 1u << 1, ixDescending = 1u << 2, ixCaseInsensitive = 1u << 3,
  ixExpression = 1u << 4, ixNonMaintained = 1u << 5
};
using TIndexOptions = unsigned;

// What an error hook decides about a failed engine step.
enum class TDataAction { daFail, daAbort, daRetry };

// A bookmark names one stored record of one opening of the table. It is a plain value: the
// caller owns it, ReleaseBookmark only clears it. A default-constructed bookmark is "none".
struct TBookmark {
  uint32_t recno = 0;
  uint64_t generation = 0;  // the table's opening and pack generation it was taken in
  explicit operator bool() const { return recno != 0; }
};

struct TIndexDef {
  QString Name;
  QString Fields;         // field names separated by ";"
  QString CaseInsFields;  // the fields compared without regard to case, separated by ";"
  QString Expression;     // the key expression as stored
  TIndexOptions Options = 0;
};

// The events a dataset sends to its data sources, and data sources to their links.
// ReadOnlyChange: the dataset stopped taking changes without leaving its state (a change its
// table could not store left the table read-only).
enum class DataEventKind {
  FieldChange, RecordChange, DataSetChange, DataSetScroll, LayoutChange, UpdateRecord,
  UpdateState, CheckBrowseMode, FocusControl, ReadOnlyChange
};

class TField;

struct DataEventArgs {
  TField* field = nullptr;      // FieldChange, RecordChange (none for the whole record)
  int shift = 0;                // DataSetScroll
  TField** focusField = nullptr;  // FocusControl: the control that takes the focus clears it
};

}  // namespace tindrel
