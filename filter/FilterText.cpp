#include "filter/FilterText.h"

#include "filter/FilterValueSyntax.h"
#include "filter/TwwFilterDialog.h"
#include "platform/ErrorBox.h"
#include "platform/Platform.h"
#include "store/TDataSet.h"
#include "store/TField.h"

namespace tindrel {

namespace {

bool IsNumberLike(TFieldType t) {
  return t == ftSmallint || t == ftInteger || t == ftWord || t == ftFloat || t == ftCurrency || t == ftBoolean ||
         t == ftAutoInc;
}

QString FormatQueryDate(const QDate& d, TwwQueryFormatDateMode mode) {
  const QString day = QString::number(d.day()), month = QString::number(d.month()), year = QString::number(d.year());
  switch (mode) {
    case qfdDayMonthYear: return day + u'/' + month + u'/' + year;
    case qfdYearMonthDay: return year + u'/' + month + u'/' + day;
    default: return month + u'/' + day + u'/' + year;
  }
}

QString FormatQueryTime(const QTime& t) {
  return QStringLiteral("%1:%2:%3").arg(t.hour()).arg(t.minute()).arg(t.second());
}

// A date, time or date-time text typed in the locale's format, rewritten for the filter text.
QString Reformat(const QString& text, TFieldType type, TwwFilterDialog& owner, const QString& fieldName) {
  const FilterLocale& locale = owner.Locale();
  QDateTime dt;
  if (type == ftTime) {
    const auto t = locale.ParseTime(text);
    if (!t) return text;
    dt = QDateTime(QDate(1899, 12, 30), *t);
  } else {
    const auto v = locale.ParseDateTime(text);
    if (!v) return text;
    dt = *v;
  }
  QString out;
  if (type == ftDate) out = FormatQueryDate(dt.date(), owner.QueryFormatDateMode());
  else if (type == ftTime) out = FormatQueryTime(dt.time());
  else out = FormatQueryDate(dt.date(), owner.QueryFormatDateMode()) + u' ' + FormatQueryTime(dt.time());
  if (owner.OnEncodeDateTime) owner.OnEncodeDateTime(dt, type, fieldName, out);
  return out;
}

}  // namespace

QString JoinFilterPieces(const QStringList& pieces) {
  QString text;
  for (const QString& piece : pieces) text += u' ' + piece;
  return text;
}

std::optional<QStringList> BuildFilterPieces(TwwFilterDialog& owner, TDataSet& dataSet) {
  const TwwFilterPropertyOptions& props = owner.FilterPropertyOptions();
  const TwwFieldOperators& ops = owner.FieldOperators();
  QStringList pieces;
  bool first = true;
  for (TwwFieldInfo& c : owner.FieldInfo()) {
    const bool range = c.IsRange();
    if (!range && c.NonMatching) pieces << (first ? QStringLiteral("  not") : QStringLiteral("  and not"));
    else if (!first) pieces << QStringLiteral(" and");
    first = false;

    if (c.FieldName.isEmpty()) c.FieldName = owner.FieldNameFor(c.DisplayName);
    const QString name = c.FieldName.isEmpty() ? c.DisplayName : c.FieldName;
    QString reference = props.UseBracketsAroundFields ? u'[' + name + u']' : name;
    TField* field = c.FieldName.isEmpty() ? nullptr : dataSet.FindFieldNamed(c.FieldName);
    if (!field) {
      Platform::Instance().MessageBoxes().Show(QString::fromLatin1(kApplicationTitle),
                                               QStringLiteral("Field Name not found in referenced tables. \r") + reference,
                                               MessageIcon::Warning, mbOK);
      return std::nullopt;
    }
    if (field->IsBlob() || field->FieldKind() == fkLookup || field->FieldKind() == fkCalculated) continue;
    const TFieldType type = field->DataType();

    if (!range) {
      // The typed value is not cut to the field's size: it holds operator words and several
      // operands, and cutting it would change what is searched for.
      QString value = c.FilterValue;
      const bool dateOrTime = type == ftDate || type == ftTime || type == ftDateTime;
      if (props.UseLikeOperator && props.LikeSupportsUpperKeyword && !c.CaseSensitive && !field->IsNumeric() &&
          !dateOrTime) {
        reference = owner.SQLUpperString() + u'(' + reference + u')';
        value = owner.Locale().Upper(value);
      }
      const TwwFoundOperator found = FindOperator(value, ops);
      QStringList terms;
      for (QString operand : Operands(value, found, ops, found.word)) {
        operand.replace(u'\'', QStringLiteral("''"));
        operand = TrimBlanksAndTabs(operand);
        if (owner.Locale().SameText(operand, ops.NullChar())) {
          terms << reference + QStringLiteral(" is NULL");
          continue;
        }
        const QString wild = props.UseLikeOperator ? props.LikeWildcardChar : QStringLiteral("*");
        if (c.MatchType == fdMatchStart) operand += wild;
        else if (c.MatchType == fdMatchAny) operand = wild + operand + wild;
        if (owner.OnEncodeValue) owner.OnEncodeValue(type, c.FieldName, operand);
        if (IsNumberLike(type)) {
          terms << reference + u'=' + operand;
        } else if (type == ftDate) {
          terms << reference + QStringLiteral("='") + Reformat(operand, type, owner, c.FieldName) + u'\'';
        } else if (type == ftTime || type == ftDateTime) {
          terms << QStringLiteral("   ") + reference + QStringLiteral("='") + Reformat(operand, type, owner, c.FieldName) +
                       u'\'';
        } else if (c.MatchType == fdMatchExact) {
          terms << reference + QStringLiteral("='") + operand + u'\'';
        } else if (props.UseLikeOperator) {
          terms << reference + QStringLiteral(" like '") + operand + u'\'';
        } else if (c.MatchType == fdMatchStart) {
          terms << reference + QStringLiteral("='") + operand + u'\'';
        }
      }
      const QString piece =
          u'(' + terms.join(found.op == TwwValueOperator::Or ? QStringLiteral(" or ") : QStringLiteral(" and ")) + u')';
      if (piece != QStringLiteral("()")) pieces << piece;
      continue;
    }

    QString lower = c.MinValue, upper = c.MaxValue;
    const bool text = type == ftString;
    if (text && !upper.isEmpty()) {
      const QChar pad = owner.UpperRangePadChar();
      if (!pad.isNull() && upper.size() < field->Size()) upper += QString(field->Size() - upper.size(), pad);
    }
    if (type == ftDate || type == ftTime || type == ftDateTime) {
      if (!lower.isEmpty()) lower = Reformat(lower, type, owner, c.FieldName);
      if (!upper.isEmpty()) upper = Reformat(upper, type, owner, c.FieldName);
    }
    const QString quote = field->IsNumeric() ? QString() : QStringLiteral("'");
    if (!lower.isEmpty()) pieces << u'(' + reference + QStringLiteral(" >= ") + quote + lower + quote + u')';
    if (!lower.isEmpty() && !upper.isEmpty()) pieces << QStringLiteral(" and");
    if (!upper.isEmpty()) pieces << u'(' + reference + QStringLiteral(" <= ") + quote + upper + quote + u')';
  }
  return pieces;
}

}  // namespace tindrel
