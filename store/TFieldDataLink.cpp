#include "store/TFieldDataLink.h"

#include "store/DataSetError.h"
#include "store/TDataSet.h"
#include "store/TField.h"

namespace tindrel {

TFieldDataLink::TFieldDataLink(const QString& controlName) : controlName_(controlName) { SetVisualControl(true); }

void TFieldDataLink::Call(const std::function<void()>& handler) {
  std::function<void()> copy = handler;
  if (copy) copy();
}

void TFieldDataLink::SetFieldName(const QString& name) {
  if (name == fieldName_) return;
  fieldName_ = name;
  UpdateField();
}

bool TFieldDataLink::CanModify() const { return !ReadOnly() && field_ && field_->CanModify(); }

bool TFieldDataLink::EditField() {
  if (CanModify()) Edit();
  return editingField_;
}

void TFieldDataLink::Reset() {
  modified_ = false;
  Call(OnDataChange);
}

void TFieldDataLink::UpdateField() {
  TField* field = nullptr;
  if (Active() && !fieldName_.isEmpty()) {
    field = DataSet() ? DataSet()->FindFieldNamed(fieldName_) : nullptr;
    if (!field) {
      field_ = nullptr;
      UpdateEditing();
      Call(OnDataChange);
      throw DataSetError(controlName_, QStringLiteral("Field '%1' not found").arg(fieldName_));
    }
  }
  if (field != field_ || !field) {
    field_ = field;
    UpdateEditing();
    modified_ = false;
    Call(OnDataChange);
  }
}

void TFieldDataLink::UpdateEditing() {
  const bool editing = Editing() && CanModify();
  if (editing != editingField_) editingField_ = editing;
  modified_ = false;
  Call(OnEditingChange);
}

void TFieldDataLink::NotifyActiveChange() { UpdateField(); }
void TFieldDataLink::NotifyLayoutChange() { UpdateField(); }
void TFieldDataLink::NotifyEditingChange() { UpdateEditing(); }

void TFieldDataLink::NotifyRecordChange(TField* field) {
  if (field && field != field_) return;
  modified_ = false;
  Call(OnDataChange);
}

void TFieldDataLink::NotifyUpdateData() {
  if (!modified_) return;
  Call(OnUpdateData);
  modified_ = false;
}

// The control turns read-only but keeps what the person typed: it is still in the record.
void TFieldDataLink::NotifyReadOnlyChange() {
  editingField_ = Editing() && CanModify();
  Call(OnEditingChange);
}

void TFieldDataLink::NotifyFocusControl(TField*& field) {
  if (!field || field != field_) return;
  std::function<bool()> take = OnFocusControl;
  if (take && take()) field = nullptr;
}

}  // namespace tindrel
