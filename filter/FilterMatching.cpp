#include "filter/FilterMatching.h"

#include "filter/FilterMemoBytes.h"
#include "filter/FilterValueSyntax.h"
#include "store/CodePageFold.h"
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

qint64 IntegerOf(const QString& text) {
  const auto v = FilterLocale::ParseInteger(TrimBlanksAndTabs(text));
  if (!v) throw EConvertError("'" + text.toStdString() + "' is not a valid integer value");
  return *v;
}

double FloatOf(const QString& text, const FilterLocale& locale) {
  const auto v = locale.ParseFloat(text);
  if (!v) throw EConvertError("'" + text.toStdString() + "' is not a valid floating point value");
  return *v;
}

QDate DateOf(const QString& text, const FilterLocale& locale) {
  const auto v = locale.ParseDate(text);
  if (!v) throw EConvertError("'" + text.toStdString() + "' is not a valid date");
  return *v;
}

QTime TimeOf(const QString& text, const FilterLocale& locale) {
  const auto v = locale.ParseTime(text);
  if (!v) throw EConvertError("'" + text.toStdString() + "' is not a valid time");
  return *v;
}

QDateTime DateTimeOf(const QString& text, const FilterLocale& locale) {
  const auto v = locale.ParseDateTime(text);
  if (!v) throw EConvertError("'" + text.toStdString() + "' is not a valid date and time");
  return *v;
}

// Exact matching of one (folded) operand against the field's (folded) text.
bool MatchExact(const TwwFieldValue& value, const QString& text, const QString& operand, bool isNullWord,
                const FilterLocale& locale) {
  if (operand == text) return true;
  if (value.Type == ftString) return false;
  const bool operandBlank = TrimBlanksAndTabs(operand).isEmpty();
  const bool textBlank = TrimBlanksAndTabs(text).isEmpty();
  if (operandBlank != textBlank || isNullWord) return false;
  if (operandBlank) return true;  // both blank: nothing to convert, and nothing differs
  switch (value.Type) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc:
      return IntegerOf(text) == IntegerOf(operand);
    case ftFloat: case ftCurrency:
      return value.Number == FloatOf(operand, locale);
    case ftDate: return value.DateTime.date() == DateOf(operand, locale);
    case ftTime: return value.DateTime.time() == TimeOf(operand, locale);
    case ftDateTime: return value.DateTime == DateTimeOf(operand, locale);
    default: return false;
  }
}

bool MatchOperand(const TwwFieldValue& value, const QString& text, const QString& operand, TwwFilterMatchType type,
                  const TwwMatchSettings& settings) {
  const bool isNullWord = settings.Locale.SameText(operand, settings.Operators.NullChar());
  if (isNullWord && text.isEmpty()) return true;
  switch (type) {
    case fdMatchStart: return !operand.isEmpty() && text.startsWith(operand);
    case fdMatchAny: return !operand.isEmpty() && text.contains(operand);
    case fdMatchEnd: return !operand.isEmpty() && text.endsWith(operand);
    case fdMatchExact:
      if (value.IsBlob) return operand == text;
      return MatchExact(value, text, operand, isNullWord, settings.Locale);
    default: return false;
  }
}

bool MatchRange(const TwwFieldValue& value, const QString& text, const TwwFieldInfo& criterion,
                const TwwMatchSettings& settings) {
  const FilterLocale& locale = settings.Locale;
  const QString& lower = criterion.MinValue;
  const QString& upper = criterion.MaxValue;
  const TFieldType type = value.Type;
  if (type == ftString) {
    if (!lower.isEmpty()) {
      const QString bound = criterion.CaseSensitive ? lower : locale.Upper(lower);
      if (text < bound) return false;
    }
    if (!upper.isEmpty()) {
      const QString bound = criterion.CaseSensitive ? upper : locale.Upper(upper);
      const QChar pad = settings.UpperRangePadChar;
      QString padded = bound;
      if (!pad.isNull() && padded.size() < value.Size) padded += QString(value.Size - padded.size(), pad);
      // Padding stands for "every text that begins with the bound"; characters that sort after
      // the pad (all Greek letters after "z") still begin with it.
      const bool beginsWithBound = !pad.isNull() && text.startsWith(bound);
      if (text > padded && !beginsWithBound) return false;
    }
    return true;
  }
  if (IsIntegerType(type)) {
    const qint64 v = value.IsNull ? 0 : static_cast<qint64>(value.Number);
    if (!lower.isEmpty() && v < IntegerOf(lower)) return false;
    if (!upper.isEmpty() && v > IntegerOf(upper)) return false;
    return true;
  }
  if (IsFloatType(type)) {
    if (!lower.isEmpty() && value.Number < FloatOf(lower, locale)) return false;
    if (!upper.isEmpty() && value.Number > FloatOf(upper, locale)) return false;
    return true;
  }
  if (type == ftDate) {
    const QDate v = value.DateTime.date();
    if (!lower.isEmpty() && v < DateOf(lower, locale)) return false;
    if (!upper.isEmpty() && v > DateOf(upper, locale)) return false;
    return true;
  }
  if (type == ftTime) {
    const QTime v = value.DateTime.time();
    if (!lower.isEmpty() && v < TimeOf(lower, locale)) return false;
    if (!upper.isEmpty() && v > TimeOf(upper, locale)) return false;
    return true;
  }
  if (type == ftDateTime) {
    if (!lower.isEmpty() && value.DateTime < DateTimeOf(lower, locale)) return false;
    if (!upper.isEmpty()) {
      const QDateTime bound = DateTimeOf(upper, locale);
      // A date alone stands for the whole of that day.
      if (!locale.HasTimePart(upper)) {
        if (value.DateTime >= bound.addDays(1)) return false;
      } else if (value.DateTime > bound) {
        return false;
      }
    }
    return true;
  }
  return true;
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

bool MatchFieldValue(const TwwFieldValue& value, const TwwFieldInfo& criterion, const TwwMatchSettings& settings) {
  const TwwFilterMatchType type = criterion.MatchType;
  const bool fold = !criterion.CaseSensitive;
  const QString text = fold ? settings.Locale.Upper(value.Text) : value.Text;

  if (type == fdMatchRange) return value.IsBlob ? true : MatchRange(value, text, criterion, settings);

  const TwwValueOperands operands = ValueOperands(criterion, settings);
  const bool start = !operands.isOr;
  if (value.IsBlob && type != fdMatchStart && type != fdMatchAny && type != fdMatchExact) return start;
  if (type == fdMatchNone) return start;
  for (const QString& operand : operands.operands) {
    const bool matched = MatchOperand(value, text, operand, type, settings);
    if (operands.isOr && matched) return true;
    if (!operands.isOr && !matched) return false;
  }
  return start;
}

bool MatchCriterion(TDataSet& dataSet, TwwFieldInfo& criterion, const TwwMatchSettings& settings,
                    TwwFieldValue* scratch) {
  TField* field = criterion.FieldName.isEmpty() ? nullptr : dataSet.FindFieldNamed(criterion.FieldName);
  if (!field) {
    criterion.FieldName = FieldNameForDisplayName(dataSet, criterion.DisplayName);
    if (!criterion.FieldName.isEmpty()) field = dataSet.FindFieldNamed(criterion.FieldName);
  }
  if (!field) return true;
  if (field->DataType() == ftMemo && MemoBytePath())
    if (const std::optional<bool> outcome = MatchMemoCriterionBytes(dataSet, *field, criterion, settings)) return *outcome;
  TwwFieldValue local;
  TwwFieldValue& value = scratch ? *scratch : local;
  ReadFieldValue(*field, settings.Locale, value);
  return MatchFieldValue(value, criterion, settings);
}

bool MatchRecord(TDataSet& dataSet, TwwFieldInfoList& criteria, const TwwMatchSettings& settings,
                 TwwFieldValue* scratch) {
  for (TwwFieldInfo& criterion : criteria) {
    if (criterion.FieldName.isEmpty()) criterion.FieldName = FieldNameForDisplayName(dataSet, criterion.DisplayName);
    bool outcome = MatchCriterion(dataSet, criterion, settings, scratch);
    if (criterion.NonMatching && criterion.MatchType != fdMatchRange) outcome = !outcome;
    if (!outcome) return false;
  }
  return true;
}

}  // namespace tindrel
