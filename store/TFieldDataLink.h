#pragma once
// The data link of a control bound to one field: finds the field by name, tells the control
// when to reload, when its editing state changed and when to write its value, and carries the
// control's modified flag (the text was changed by the person since it was last loaded or written).

#include <functional>
#include <QString>

#include "store/TDataLink.h"

namespace tindrel {

class TField;

class TFieldDataLink : public TDataLink {
 public:
  // `controlName` starts the control's errors: "Memo: Field 'MEMO' not found".
  explicit TFieldDataLink(const QString& controlName);

  const QString& FieldName() const { return fieldName_; }
  void SetFieldName(const QString& name);
  TField* Field() const { return field_; }
  const QString& ControlName() const { return controlName_; }

  // The link is editing and the field can be modified.
  bool EditingField() const { return editingField_; }
  bool CanModify() const;
  // Starts an edit when the field can be modified (through the source's automatic edit);
  // returns whether the control may now change the value.
  bool EditField();
  bool IsModified() const { return modified_; }
  void Modified() { modified_ = true; }
  // Drops the control's change: reloads the value and clears the modified flag.
  void Reset();

  // What the control does; each is called only when assigned.
  std::function<void()> OnDataChange;     // reload the value from Field() (none: empty)
  std::function<void()> OnEditingChange;  // recompute writable/read-only
  std::function<void()> OnUpdateData;     // write the control's value into Field()
  std::function<bool()> OnFocusControl;   // take the focus; true when it did

 protected:
  void NotifyActiveChange() override;
  void NotifyLayoutChange() override;
  void NotifyEditingChange() override;
  void NotifyRecordChange(TField* field) override;
  void NotifyUpdateData() override;
  void NotifyFocusControl(TField*& field) override;
  void NotifyReadOnlyChange() override;

 private:
  void UpdateField();
  void UpdateEditing();
  void Call(const std::function<void()>& handler);

  QString controlName_;
  QString fieldName_;
  TField* field_ = nullptr;
  bool editingField_ = false;
  bool modified_ = false;
};

}  // namespace tindrel
