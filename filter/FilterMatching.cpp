#include "filter/FilterMatching.h"

#include "filter/FilterValueSyntax.h"
#include "filter/TwwPreparedCriteria.h"
#include "store/TDataSet.h"
#include "store/TField.h"

namespace tindrel {

namespace {

bool IsIntegerType(TFieldType t) { return t == ftSmallint || t == ftInteger || t == ftWord || t == ftAutoInc; }
bool IsFloatType(TFieldType t) { return t == ftFloat || t == ftCurrency; }

const QDateTime& ZeroDateTime() {
  static const QDateTime zero(QDate(1899, 12, 30), QTime(0, 0));
  return zero;
}

QString Tilde(const QString& s) {
  QString out = s;
  out.replace(u'~', u' ');
  return out;
}

template <class T>
TwwPreparedValue::Converted<T> Convert(const QString& text, std::optional<T> value, const char* what) {
  TwwPreparedValue::Converted<T> out;
  out.value = std::move(value);
  out.what = what;
  if (!out.value) out.text = text;
  return out;
}

TwwPreparedValue::Converted<qint64> IntegerOf(const QString& text) {
  return Convert(text, FilterLocale::ParseInteger(TrimBlanksAndTabs(text)), "is not a valid integer value");
}

TwwPreparedValue::Converted<double> FloatOf(const QString& text, const FilterLocale& locale) {
  return Convert(text, locale.ParseFloat(text), "is not a valid floating point value");
}

TwwPreparedValue::Converted<QDate> DateOf(const QString& text, const FilterLocale& locale) {
  return Convert(text, locale.ParseDate(text), "is not a valid date");
}

TwwPreparedValue::Converted<QTime> TimeOf(const QString& text, const FilterLocale& locale) {
  return Convert(text, locale.ParseTime(text), "is not a valid time");
}

TwwPreparedValue::Converted<QDateTime> DateTimeOf(const QString& text, const FilterLocale& locale) {
  return Convert(text, locale.ParseDateTime(text), "is not a valid date and time");
}

}  // namespace

QString FieldNameForDisplayName(const TDataSet& dataSet, const QString& displayName) {
  const QString wanted = Tilde(displayName);
  for (const auto& field : dataSet.Fields())
    if (EqualsAsciiNoCase(Tilde(field->DisplayLabel()), wanted)) return field->FieldName();
  return {};
}

void ReadFieldValue(const TField& field, const FilterLocale& locale, TwwFieldValue& out) {
  out.Type = field.DataType();
  out.Size = field.Size();
  out.IsBlob = field.IsBlob();
  out.IsNull = field.IsNull();
  out.Number = 0;
  out.DateTime = ZeroDateTime();
  out.Text.clear();
  if (out.IsBlob) {
    out.Text = field.AsString();
    return;
  }
  if (out.IsNull) return;
  switch (out.Type) {
    case ftDate:
      out.DateTime = field.AsDateTime();
      out.Text = locale.FormatDate(out.DateTime.date());
      break;
    case ftTime:
      out.DateTime = field.AsDateTime();
      out.Text = locale.FormatTime(out.DateTime.time());
      break;
    case ftDateTime:
      out.DateTime = field.AsDateTime();
      out.Text = locale.FormatDateTime(out.DateTime);
      break;
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc:
      out.Number = static_cast<double>(field.AsInteger());
      out.Text = QString::number(field.AsInteger());
      break;
    case ftFloat: case ftCurrency:
      out.Number = field.AsFloat();
      out.Text = field.AsString().trimmed();
      break;
    default:
      out.Text = field.AsString();
      break;
  }
}

TwwValueOperands ValueOperands(const TwwFieldInfo& criterion, const TwwMatchSettings& settings) {
  const bool fold = !criterion.CaseSensitive;
  const QString typed = fold ? settings.Locale.Upper(criterion.FilterValue) : criterion.FilterValue;
  const TwwFoundOperator found = FindOperator(typed, settings.Operators);
  TwwValueOperands out;
  out.isOr = found.op == TwwValueOperator::Or;
  // An operator word that stands as an operand is matched folded like the rest of the value.
  const QString wordOperand = fold ? settings.Locale.Upper(found.word) : found.word;
  int position = 1;
  bool first = true;
  while (position != -1) {
    QString operand = NextOperand(typed, found.word, position, settings.Operators, wordOperand);
    // Nothing after the last operator word is no operand.
    if (position == -1 && operand.isEmpty() && !first) break;
    first = false;
    out.operands.push_back(std::move(operand));
  }
  return out;
}

template <class T>
const T& TwwPreparedValue::Converted<T>::Get() const {
  if (!value) throw EConvertError("'" + text.toStdString() + "' " + what);
  return *value;
}

TwwPreparedValue::TwwPreparedValue(const TwwFieldInfo& criterion, const TwwMatchSettings& settings, TFieldType type,
                                   int size, bool isBlob)
    : locale_(settings.Locale),
      type_(criterion.MatchType),
      fieldType_(type),
      isBlob_(isBlob),
      fold_(!criterion.CaseSensitive) {
  const FilterLocale& locale = settings.Locale;
  if (type_ == fdMatchRange) {
    const QString& lower = criterion.MinValue;
    const QString& upper = criterion.MaxValue;
    hasLower_ = !lower.isEmpty();
    hasUpper_ = !upper.isEmpty();
    if (isBlob_) return;
    if (type == ftString) {
      lowerText_ = fold_ ? locale.Upper(lower) : lower;
      upperText_ = fold_ ? locale.Upper(upper) : upper;
      const QChar pad = settings.UpperRangePadChar;
      padding_ = !pad.isNull();
      upperPadded_ = upperText_;
      if (padding_ && upperPadded_.size() < size) upperPadded_ += QString(size - upperPadded_.size(), pad);
    } else if (IsIntegerType(type)) {
      lowerInteger_ = IntegerOf(lower);
      upperInteger_ = IntegerOf(upper);
    } else if (IsFloatType(type)) {
      lowerNumber_ = FloatOf(lower, locale);
      upperNumber_ = FloatOf(upper, locale);
    } else if (type == ftDate) {
      lowerDate_ = DateOf(lower, locale);
      upperDate_ = DateOf(upper, locale);
    } else if (type == ftTime) {
      lowerTime_ = TimeOf(lower, locale);
      upperTime_ = TimeOf(upper, locale);
    } else if (type == ftDateTime) {
      lowerDateTime_ = DateTimeOf(lower, locale);
      upperDateTime_ = DateTimeOf(upper, locale);
      // A date alone stands for the whole of that day.
      upperIsWholeDay_ = !locale.HasTimePart(upper);
      if (upperIsWholeDay_ && upperDateTime_.value) upperDateTime_.value = upperDateTime_.value->addDays(1);
    }
    return;
  }
  const TwwValueOperands operands = ValueOperands(criterion, settings);
  isOr_ = operands.isOr;
  for (const QString& text : operands.operands) {
    Operand operand;
    operand.text = text;
    operand.isNullWord = locale.SameText(text, settings.Operators.NullChar());
    operand.blank = TrimBlanksAndTabs(text).isEmpty();
    if (!isBlob_ && type != ftString && !operand.blank && !operand.isNullWord) {
      if (IsIntegerType(type)) operand.integer = IntegerOf(text);
      else if (IsFloatType(type)) operand.number = FloatOf(text, locale);
      else if (type == ftDate) operand.date = DateOf(text, locale);
      else if (type == ftTime) operand.time = TimeOf(text, locale);
      else if (type == ftDateTime) operand.dateTime = DateTimeOf(text, locale);
    }
    operands_.push_back(std::move(operand));
  }
}

// Exact matching of one (folded) operand against the field's (folded) text.
bool TwwPreparedValue::MatchesExact(const TwwFieldValue& value, const QString& text, const Operand& operand) const {
  if (operand.text == text) return true;
  if (fieldType_ == ftString) return false;
  const bool textBlank = TrimBlanksAndTabs(text).isEmpty();
  if (operand.blank != textBlank || operand.isNullWord) return false;
  if (operand.blank) return true;  // both blank: nothing to convert, and nothing differs
  switch (fieldType_) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: {
      const qint64 wanted = operand.integer.Get();
      return IntegerOf(text).Get() == wanted;
    }
    case ftFloat: case ftCurrency: return value.Number == operand.number.Get();
    case ftDate: return value.DateTime.date() == operand.date.Get();
    case ftTime: return value.DateTime.time() == operand.time.Get();
    case ftDateTime: return value.DateTime == operand.dateTime.Get();
    default: return false;
  }
}

bool TwwPreparedValue::MatchesOperand(const TwwFieldValue& value, const QString& text, const Operand& operand) const {
  if (operand.isNullWord && text.isEmpty()) return true;
  switch (type_) {
    case fdMatchStart: return !operand.text.isEmpty() && text.startsWith(operand.text);
    case fdMatchAny: return !operand.text.isEmpty() && text.contains(operand.text);
    case fdMatchEnd: return !operand.text.isEmpty() && text.endsWith(operand.text);
    case fdMatchExact:
      if (isBlob_) return operand.text == text;
      return MatchesExact(value, text, operand);
    default: return false;
  }
}

bool TwwPreparedValue::MatchesRange(const TwwFieldValue& value, const QString& text) const {
  const TFieldType type = fieldType_;
  if (type == ftString) {
    if (hasLower_ && text < lowerText_) return false;
    // Padding stands for "every text that begins with the bound"; characters that sort after
    // the pad (all Greek letters after "z") still begin with it.
    if (hasUpper_ && text > upperPadded_ && !(padding_ && text.startsWith(upperText_))) return false;
    return true;
  }
  if (IsIntegerType(type)) {
    const qint64 v = value.IsNull ? 0 : static_cast<qint64>(value.Number);
    if (hasLower_ && v < lowerInteger_.Get()) return false;
    if (hasUpper_ && v > upperInteger_.Get()) return false;
    return true;
  }
  if (IsFloatType(type)) {
    if (hasLower_ && value.Number < lowerNumber_.Get()) return false;
    if (hasUpper_ && value.Number > upperNumber_.Get()) return false;
    return true;
  }
  if (type == ftDate) {
    const QDate v = value.DateTime.date();
    if (hasLower_ && v < lowerDate_.Get()) return false;
    if (hasUpper_ && v > upperDate_.Get()) return false;
    return true;
  }
  if (type == ftTime) {
    const QTime v = value.DateTime.time();
    if (hasLower_ && v < lowerTime_.Get()) return false;
    if (hasUpper_ && v > upperTime_.Get()) return false;
    return true;
  }
  if (type == ftDateTime) {
    if (hasLower_ && value.DateTime < lowerDateTime_.Get()) return false;
    if (hasUpper_) {
      // A whole-day bound already stands for the start of the next day.
      if (upperIsWholeDay_ ? value.DateTime >= upperDateTime_.Get() : value.DateTime > upperDateTime_.Get())
        return false;
    }
    return true;
  }
  return true;
}

bool TwwPreparedValue::Matches(const TwwFieldValue& value) const {
  if (type_ == fdMatchRange) {
    if (isBlob_) return true;
    return MatchesRange(value, fold_ ? locale_.Upper(value.Text) : value.Text);
  }
  const bool start = !isOr_;
  if (isBlob_ && type_ != fdMatchStart && type_ != fdMatchAny && type_ != fdMatchExact) return start;
  if (type_ == fdMatchNone) return start;
  const QString text = fold_ ? locale_.Upper(value.Text) : value.Text;
  for (const Operand& operand : operands_) {
    const bool matched = MatchesOperand(value, text, operand);
    if (isOr_ && matched) return true;
    if (!isOr_ && !matched) return false;
  }
  return start;
}

bool MatchFieldValue(const TwwFieldValue& value, const TwwFieldInfo& criterion, const TwwMatchSettings& settings) {
  return TwwPreparedValue(criterion, settings, value.Type, value.Size, value.IsBlob).Matches(value);
}

bool MatchCriterion(TDataSet& dataSet, TwwFieldInfo& criterion, const TwwMatchSettings& settings,
                    TwwFieldValue* scratch) {
  TwwFieldValue local;
  TwwPreparedCriterion prepared(dataSet, criterion, settings);
  return prepared.Match(dataSet, criterion, settings, scratch ? *scratch : local);
}

bool MatchRecord(TDataSet& dataSet, TwwFieldInfoList& criteria, const TwwMatchSettings& settings,
                 TwwFieldValue* scratch) {
  TwwFieldValue local;
  return TwwPreparedCriteria().MatchRecord(dataSet, criteria, settings, scratch ? *scratch : local);
}

}  // namespace tindrel
