#include "store/TField.h"

#include "store/TDataSet.h"
#include "store/engine/Table.h"

namespace tindrel {

TField::TField(TDataSet* dataSet, int index, const QString& name, TFieldType type, int size, int decimals)
    : dataSet_(dataSet), index_(index), fieldName_(name), dataType_(type), size_(size), decimals_(decimals) {}

bool TField::IsNumeric() const {
  switch (dataType_) {
    case ftSmallint: case ftInteger: case ftWord: case ftFloat: case ftCurrency: case ftAutoInc: return true;
    default: return false;
  }
}

QString TField::AsString() const {
  QString text;
  dataSet_->ReadField(index_, transliterate_, text, nullptr);
  return text;
}

bool TField::IsNull() const {
  QString text;
  bool isNull = true;
  dataSet_->ReadField(index_, transliterate_, text, &isNull);
  return isNull;
}

qint64 TField::AsInteger() const {
  const QString t = AsString().trimmed();
  bool ok = false;
  const qint64 v = t.toLongLong(&ok);
  return ok ? v : static_cast<qint64>(t.toDouble());
}

double TField::AsFloat() const { return AsString().trimmed().toDouble(); }

QDateTime TField::AsDateTime() const {
  const QDate d = QDate::fromString(AsString().trimmed(), QStringLiteral("yyyyMMdd"));
  return d.isValid() ? QDateTime(d, QTime(0, 0)) : QDateTime();
}

bool TField::AsBoolean() const {
  const QString t = AsString().trimmed().toUpper();
  return t == u"T" || t == u"Y" || t == u"TRUE";
}

QVariant TField::Value() const {
  if (IsNull()) return QVariant();
  switch (dataType_) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: return QVariant(AsInteger());
    case ftFloat: case ftCurrency: return QVariant(AsFloat());
    case ftDate: return QVariant(AsDateTime().date());
    case ftBoolean: return QVariant(AsBoolean());
    default: return QVariant(AsString());
  }
}

void TField::SetAsString(const QString& text) { dataSet_->WriteField(*this, text); }

void TField::Clear() { dataSet_->WriteField(*this, std::nullopt); }

void TField::SetValue(const QVariant& value) {
  if (!value.isValid() || value.isNull()) {
    Clear();
    return;
  }
  switch (value.typeId()) {
    case QMetaType::QDate: SetAsString(value.toDate().toString(QStringLiteral("yyyyMMdd"))); break;
    case QMetaType::QDateTime: SetAsString(value.toDateTime().date().toString(QStringLiteral("yyyyMMdd"))); break;
    case QMetaType::Bool: SetAsString(value.toBool() ? QStringLiteral("T") : QStringLiteral("F")); break;
    case QMetaType::Double:
    case QMetaType::Float: SetAsString(QString::number(value.toDouble(), 'f', decimals_)); break;
    default: SetAsString(value.toString()); break;
  }
}

bool TField::CanModify() const { return !readOnly_ && dataSet_->CanModify(); }

QString TField::NativeText(const std::string& native) const {
  std::string_view raw(native);
  if (dataType_ == ftString && transliterate_ && dataSet_->table_) {
    QString text = QString::fromStdString(dataSet_->table_->DecodeText(raw));
    while (!text.isEmpty() && (text.back() == u' ' || text.back() == u'\0')) text.chop(1);
    return text;
  }
  raw = engine::WithoutPadding(raw);
  while (!raw.empty() && raw.front() == ' ' && dataType_ != ftString) raw.remove_prefix(1);
  return QString::fromLatin1(raw.data(), static_cast<qsizetype>(raw.size()));
}

}  // namespace tindrel
