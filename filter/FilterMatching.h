#pragma once
// The record test of the filter: one criterion, or a whole criteria list, against the current
// record of a dataset (the candidate record while the dataset is Filtering).
//
// A field's value is read once into a TwwFieldValue (reused scratch storage), then compared by
// MatchFieldValue, which knows nothing of datasets. Text is folded by the locale's rules
// unless the criterion is case-sensitive.

#include <QDateTime>
#include <QString>
#include <optional>
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

// A criterion's test of one field's value, made ready once for a field of one type and size:
// the value read into operands and folded, the null word recognised, the bounds folded, padded
// and converted. A number or date text that does not convert raises its conversion error when a
// value is compared with it, exactly where converting it for each value would.
class TwwPreparedValue {
 public:
  TwwPreparedValue(const TwwFieldInfo& criterion, const TwwMatchSettings& settings, TFieldType type, int size,
                   bool isBlob);

  // Whether `value`, of the type and size prepared for, satisfies the criterion (the
  // non-matching flag is not applied here).
  bool Matches(const TwwFieldValue& value) const;

  // A criterion text read as a number, a date or a time once.
  template <class T>
  struct Converted {
    std::optional<T> value;
    const char* what = "";  // the error's wording when there is no value
    QString text;
    const T& Get() const;
  };

 private:
  struct Operand {
    QString text;  // folded unless the criterion is case-sensitive
    bool isNullWord = false;
    bool blank = false;  // nothing but blanks and tabs
    // The operand read as the field's number, date or time, for exact matching.
    Converted<qint64> integer;
    Converted<double> number;
    Converted<QDate> date;
    Converted<QTime> time;
    Converted<QDateTime> dateTime;
  };
  bool MatchesOperand(const TwwFieldValue& value, const QString& text, const Operand& operand) const;
  bool MatchesExact(const TwwFieldValue& value, const QString& text, const Operand& operand) const;
  bool MatchesRange(const TwwFieldValue& value, const QString& text) const;

  FilterLocale locale_;
  TwwFilterMatchType type_;
  TFieldType fieldType_;
  bool isBlob_;
  bool fold_;
  bool isOr_ = false;
  std::vector<Operand> operands_;
  // Range bounds; an empty text is not tested.
  bool hasLower_ = false, hasUpper_ = false;
  QString lowerText_, upperText_;      // text fields: folded unless case-sensitive
  QString upperPadded_;                // the upper bound padded to the field's size
  bool padding_ = false;               // a pad character is set
  Converted<qint64> lowerInteger_, upperInteger_;
  Converted<double> lowerNumber_, upperNumber_;
  Converted<QDate> lowerDate_, upperDate_;
  Converted<QTime> lowerTime_, upperTime_;
  Converted<QDateTime> lowerDateTime_, upperDateTime_;
  bool upperIsWholeDay_ = false;  // a date-time upper bound that holds no time
};

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
