#pragma once
// "Super Search": the modal window in which the person edits the filter criteria. A list of
// fields on the left; for the selected field either a value with a search type (value page) or
// a lower and an upper bound (range page). The form works on a copy of the component's
// criteria, the working list, which Execute takes back when the form closes with OK.
//
// Every move to another field, page or tab, the summary and OK first store what the editors
// show for the current field (SyncFieldEditors); a number or date value that fails its check
// keeps the person on it, and the move does not happen.

#include <QCursor>
#include <QDialog>
#include <QStringList>

#include <vector>

#include "filter/TwwFilterTypes.h"
#include "store/DataSetTypes.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTabBar;

namespace tindrel {

class TDataSet;
class TwwFilterDialog;

// A group box of radio buttons with one selected item (-1: none).
class TwwRadioGroup : public QWidget {
  Q_OBJECT
 public:
  TwwRadioGroup(const QStringList& items, int columns, QWidget* parent);
  int ItemIndex() const;
  void SetItemIndex(int index);  // emits Clicked when the selection changes
  int Count() const;
  void RemoveItem(int index);
  QRadioButton* Item(int index) const;
  QGroupBox* Box() const { return box_; }
  void SetCaption(const QString& caption);
  // Lays the items out again (after their texts changed).
  void Arrange();

 signals:
  void Clicked();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QGroupBox* box_;
  std::vector<QRadioButton*> items_;
  int columns_;
};

class TwwFilterDlg : public QDialog {
  Q_OBJECT
 public:
  // The value page's search types, in the order of MatchTypeGroup's items.
  enum MatchItem { miExact = 0, miStart = 1, miAnywhere = 2 };

  TwwFilterDlg(TwwFilterDialog& owner, TDataSet& dataSet, QWidget* parent = nullptr);
  ~TwwFilterDlg() override;

  TwwFieldInfoList& WorkingList() { return workingList_; }
  bool Changed() const { return changed_; }
  int CurrentFieldIndex() const { return currentField_; }
  TwwFilterDialog& Owner() const { return owner_; }

  // Fills the field list with every offered field, or only those that have a criterion.
  void FillFieldList(bool searchedOnly);
  // Stores the editors into the working list for the current field, then loads the selected
  // field. False when a value fails its check.
  bool SyncFieldEditors(bool loadExtras);
  void StoreCriterion(const QString& name, TwwFilterMatchType type, bool nonMatching, bool caseSensitive,
                      const QString& upper, const QString& lower, const QString& value);
  void ChoosePage();
  void ChooseValueEditor();
  void FocusEditor();
  void UpdateButtons();
  bool ValidateValue(const QString& text);
  bool ValidateBound(const QString& text);

  // The editors in use.
  QWidget* ValueEditor() const { return valueEditor_; }
  QString ValueEditorText() const;
  bool RangePageShown() const;

  // Controls, named as the window's components.
  QLabel* FieldsLbl;
  QListWidget* FieldsListBox;
  QTabBar* FieldTabSet;
  TwwRadioGroup* FieldOrder;
  QGroupBox* FieldCriteria;
  QStackedWidget* SelectNotebook;
  QLabel* FieldValueLbl;
  QLineEdit* FilterValueEdit;
  QComboBox* FilterValueCombo;
  QPushButton* FilterValueClearButton;
  TwwRadioGroup* MatchTypeGroup;
  QFrame* Panel1;
  QCheckBox* CaseSensitive;
  QCheckBox* Nonmatching;
  QLabel* StartingRangeLbl;
  QLabel* EndingRangeLbl;
  QLineEdit* MinValueEdit;
  QLineEdit* MaxValueEdit;
  QDateTimeEdit* MinDateEdit;
  QDateTimeEdit* MaxDateEdit;
  QPushButton* MinValueClearButton;
  QPushButton* MaxValueClearButton;
  QTabBar* ValueRangeTabSet;
  QPushButton* ViewButton;
  QPushButton* ClearSearchButton;
  QPushButton* OKButton;
  QPushButton* CancelButton;

 public:
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormShow();
  bool FormCloseQuery();
  bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
  void FieldsListBoxClick();
  void FieldOrderClick();
  void FieldTabSetChange(int newTab);
  void ValueRangeTabSetChange(int newTab);
  void FilterValueComboChange();
  void ClearSearchButtonClick();
  void ViewButtonClick();
  void ApplyIntl();
  void LiftOverrideCursors();
  void PutBackOverrideCursors();

  TFieldType FieldTypeOf(const QString& displayName);
  bool TypeIsValidated(TFieldType type) const;
  bool TypeChecks(TFieldType type, const QString& part) const;
  void ShowPage(int page);
  void SetTabQuietly(QTabBar* bar, int index);
  void SelectRowQuietly(int row);
  int FindCriterion(const QString& displayName) const;
  QString ReadBound(QWidget* editor, bool lower, TFieldType type) const;
  void SetRangeEditor(QWidget* editor, const QString& text);
  void SetRangeEditorsForType(TFieldType type);
  QString SelectedText() const;
  int RowOf(const QString& text) const;

  TwwFilterDialog& owner_;
  TDataSet& dataSet_;
  TwwFieldInfoList workingList_;
  int currentField_ = -1;
  bool activated_ = false;
  bool changed_ = false;
  bool shown_ = false;
  int quiet_ = 0;  // programmatic changes of the list, tabs and order that run no handler
  int fieldTab_ = 0;
  int rangeTab_ = 0;
  QWidget* valueEditor_ = nullptr;
  QWidget* minEditor_ = nullptr;
  QWidget* maxEditor_ = nullptr;
  QStringList comboValues_;  // stored values behind the drop-down's entries, when mapped
  std::vector<QCursor> liftedCursors_;  // the application's override cursors while the form shows, last on top
  QString pictureMask_;
};

}  // namespace tindrel
