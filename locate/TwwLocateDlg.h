#pragma once
// The modal "Locate Value" form that TwwLocateDialog::Execute creates, fills, shows and frees on
// every opening. The person types a search text, picks the field, the match type and the case
// rule, and presses First or Next. A successful search closes the form with OK; a failed one
// shows "No matches found" / "No more matches found" and keeps the form open with its inputs.
//
// Enter outside a button presses a default button (First before Next when both are); a button
// with the focus answers Enter itself; Esc presses Cancel. The field list takes the Next button's
// default mark while it has the focus and gives it back when it loses it.

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "store/FindFieldValue.h"

namespace tindrel {

class TDataSet;
class TwwLocateDialog;

class TwwLocateDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TwwLocateDlg(QWidget* parent = nullptr);
  ~TwwLocateDlg() override;

  // Controls, named as the form stores them.
  QGroupBox* FieldValueGroup;
  QLineEdit* SearchValue;
  QGroupBox* SearchTypeGroup;
  QCheckBox* CaseSensitiveCheckBox;
  QFrame* Panel1;
  QRadioButton* ExactMatchBtn;
  QRadioButton* PartialMatchStartBtn;
  QRadioButton* PartialMatchAnyBtn;
  QGroupBox* FieldsGroup;
  QComboBox* FieldNameComboBox;
  QPushButton* FirstButton;
  QPushButton* NextButton;
  QPushButton* CancelButton;

  // Set by Execute before showing.
  TDataSet* LocateDataSet = nullptr;
  TwwLocateDialog* LocateOwner = nullptr;

  // Fills the field list from LocateDataSet by the owner's FieldSelection and SortFields.
  void FillFieldList();
  // Selects the entry of the field named `fieldName`; false (and nothing selected) when the
  // dataset has no such field or it is not listed.
  bool SelectField(const QString& fieldName);
  // The field name behind a list text: stored fields first, then the others; empty when none.
  QString FieldNameOfLabel(const QString& label) const;
  // The list text of a field: its display label with every "~" shown as a blank.
  static QString ListText(const QString& displayLabel);

  // The default-button marks (both may be set; First then answers Enter).
  void SetDefaultButtons(bool first, bool next);
  bool FirstIsDefault() const { return firstDefault_; }
  bool NextIsDefault() const { return nextDefault_; }

  TwwLocateMatchType SelectedMatchType() const;
  bool CaseFlag() const { return CaseSensitiveCheckBox->checkState() != Qt::Unchecked; }

  // The search request of both buttons; true when a record was found (the form then closes
  // with OK), otherwise the failure message was shown.
  bool SearchRequest(bool fromBeginning);

  // Handlers.
  void FindFirst();
  void FindNextBtnClick();
  void FieldNameComboBoxChange();
  void FieldNameComboBoxEnter();
  void FieldNameComboBoxExit();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ApplyCatalogueTexts();
  void ShowDefaultMark();

  bool firstDefault_ = false;
  bool nextDefault_ = true;
  bool filling_ = false;
};

}  // namespace tindrel
