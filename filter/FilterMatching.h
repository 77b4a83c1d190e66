#pragma once
// The record test of the filter: one criterion, or a whole criteria list, against the current
// record of a dataset (the candidate record while the dataset is Filtering).
//
// A field's value is read once into a TwwFieldValue (reused scratch storage), then compared by
// MatchFieldValue, which knows nothing of datasets. Text is folded by the locale's rules
// unless the criterion is case-sensitive.

#include <QDateTime>
#include <QString>
#include <stdexcept>
#include <vector>

#include "filter/FilterLocale.h"
#include "filter/TwwFieldOperators.h"
#include "filter/TwwFilterTypes.h"
#include "store/DataSetTypes.h"

namespace tindrel {

class TDataSet;
class TField;

// A number or date text that cannot be converted (a criterion value or bound that the dialog's
// checks let through).
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the record test takes from the component.
struct TwwMatchSettings {
  TwwFieldOperators Operators;
  QChar UpperRangePadChar = u'z';  // 0: no padding
  FilterLocale Locale;
};

// One field's value on the current record, as the record test compares it.
struct TwwFieldValue {
  TFieldType Type = ftString;
  int Size = 0;         // characters, for text fields
  bool IsBlob = false;  // memo and other blob fields: matched on their whole text
  bool IsNull = true;
  QString Text;         // the value as text; empty when null, whatever the type
  double Number = 0;    // number fields (0 when null)
  QDateTime DateTime;   // date, time and date-time fields (the zero date-time when null)
};

// The field name of the first field whose display label equals `displayName`, reading "~" as a
// blank and ignoring ASCII letter case; empty when there is none.
QString FieldNameForDisplayName(const TDataSet& dataSet, const QString& displayName);

// Reads `field`'s current value into `out`.
void ReadFieldValue(const TField& field, const FilterLocale& locale, TwwFieldValue& out);

// The operands of a value criterion, folded as the record test compares them, and whether they
// are joined by OR (otherwise each must match).
struct TwwValueOperands {
  bool isOr = false;
  std::vector<QString> operands;
};
TwwValueOperands ValueOperands(const TwwFieldInfo& criterion, const TwwMatchSettings& settings);

// Whether `value` satisfies `criterion` (the non-matching flag is not applied here).
bool MatchFieldValue(const TwwFieldValue& value, const TwwFieldInfo& criterion, const TwwMatchSettings& settings);

// Whether the dataset's current record satisfies one criterion. The criterion's field name is
// derived from its display name when it is empty or not a field of the dataset. A criterion on
// a field the dataset does not have narrows nothing.
bool MatchCriterion(TDataSet& dataSet, TwwFieldInfo& criterion, const TwwMatchSettings& settings,
                    TwwFieldValue* scratch = nullptr);

// Whether the current record satisfies every criterion, in list order, stopping at the first
// that fails; the non-matching flag inverts a value criterion's outcome (never a range's). An
// empty list accepts every record.
bool MatchRecord(TDataSet& dataSet, TwwFieldInfoList& criteria, const TwwMatchSettings& settings,
                 TwwFieldValue* scratch = nullptr);

}  // namespace tindrel
