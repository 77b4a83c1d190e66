#pragma once
// One field (column) of a dataset's current record. Values are read from the current record,
// or from the candidate record while the dataset is Filtering; writes are held by the dataset
// until Post and are allowed only while it is Editing or Inserting.

#include <QDateTime>
#include <QString>
#include <QVariant>

#include "store/DataSetTypes.h"

namespace tindrel {

class TDataSet;

class TField {
 public:
  TField(TDataSet* dataSet, int index, const QString& name, TFieldType type, int size, int decimals);
  virtual ~TField() = default;
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  TDataSet* DataSet() const { return dataSet_; }
  const QString& FieldName() const { return fieldName_; }
  const QString& DisplayLabel() const { return displayLabel_.isEmpty() ? fieldName_ : displayLabel_; }
  void SetDisplayLabel(const QString& label) { displayLabel_ = label; }
  int Index() const { return index_; }         // 0-based position in the field list
  int FieldNo() const { return index_ + 1; }   // 1-based position in the stored record
  TFieldKind FieldKind() const { return fkData; }
  TFieldType DataType() const { return dataType_; }
  int Size() const { return size_; }
  int Decimals() const { return decimals_; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool on) { readOnly_ = on; }
  bool Required() const { return required_; }
  void SetRequired(bool on) { required_ = on; }
  bool Visible() const { return visible_; }
  void SetVisible(bool on) { visible_ = on; }
  bool Transliterate() const { return transliterate_; }
  void SetTransliterate(bool on) { transliterate_ = on; }
  virtual bool IsBlob() const { return false; }
  bool IsNumeric() const;

  // Reading. A null number reads as 0; a null text as "".
  QString AsString() const;
  qint64 AsInteger() const;
  double AsFloat() const;
  QDateTime AsDateTime() const;
  bool AsBoolean() const;
  QVariant Value() const;
  bool IsNull() const;

  // Writing (Editing or Inserting only); each write sends a field-change event.
  void SetAsString(const QString& text);
  void SetValue(const QVariant& value);
  void Clear();

  // Whether this field can be written now: the dataset can be modified and the field is not
  // read-only.
  bool CanModify() const;

  // A field value copied out of an engine record buffer (TTable::CopyField) as text, converted
  // through the table's code page when Transliterate is on.
  QString NativeText(const std::string& native) const;

 private:
  TDataSet* dataSet_;
  int index_;
  QString fieldName_;
  QString displayLabel_;
  TFieldType dataType_;
  int size_;
  int decimals_;
  bool readOnly_ = false;
  bool required_ = false;
  bool visible_ = true;
  bool transliterate_ = true;
};

}  // namespace tindrel
