#include "locate/TwwLocateDialog.h"

#include <memory>

#include "locate/TwwLocateDlg.h"
#include "platform/ErrorBox.h"
#include "platform/Platform.h"
#include "store/TDataSet.h"
#include "store/TDataSource.h"

namespace tindrel {

void RegisterLocateDialogClass() {
  TwwDialogRegistry::Register(QStringLiteral("TwwLocateDialog"),
                              [](QObject* owner) -> TwwCustomDialog* { return new TwwLocateDialog(owner); });
}

namespace {
// Every program that uses the component has its class registered before main runs.
const bool kRegistered = (RegisterLocateDialogClass(), true);
}  // namespace

TwwLocateDialog::TwwLocateDialog(QObject* owner) : TwwCustomDialog(owner) {
  (void)kRegistered;
}

TwwLocateDialog::~TwwLocateDialog() = default;

TwwLocateDialog* TwwLocateDialog::PlaceOnMainWindow(QObject* window, TDataSource* source) {
  auto* dialog = new TwwLocateDialog(window);
  dialog->setObjectName(QStringLiteral("LocateDialog"));
  dialog->SetCaption(QStringLiteral("Locate Field Value"));
  dialog->SetDataSource(source);
  dialog->SetSearchField(QStringLiteral("TEXT"));
  dialog->SetMatchType(mtPartialMatchAny);
  dialog->SetCaseSensitive(false);
  dialog->SetSortFields(fsSortByFieldName);
  dialog->SetDefaultButton(dbFindFirst);
  dialog->SetFieldSelection(fsAllFields);
  dialog->SetShowMessages(true);
  return dialog;
}

TDataSet* TwwLocateDialog::GetPrimaryDataSet() const {
  TDataSource* source = DataSource();
  return source ? source->DataSet() : nullptr;
}

bool TwwLocateDialog::Execute() {
  auto form = std::make_unique<TwwLocateDlg>(nullptr);
  TDataSet* dataSet = GetPrimaryDataSet();
  if (!dataSet || !dataSet->Active()) {
    Platform::Instance().MessageBoxes().Show(QString::fromUtf8(kApplicationTitle),
                                             QStringLiteral("DataSource does not reference an active DataSet"),
                                             MessageIcon::Error, mbOK);
    return false;
  }

  form->LocateOwner = this;
  form->LocateDataSet = dataSet;
  form->FillFieldList();
  if (form->SelectField(searchField_)) {
    form->SearchValue->setText(fieldValue_);
  } else {
    form->SearchValue->clear();
  }
  form->CaseSensitiveCheckBox->setChecked(caseSensitive_);
  switch (matchType_) {
    case mtExactMatch: form->ExactMatchBtn->setChecked(true); break;
    case mtPartialMatchStart: form->PartialMatchStartBtn->setChecked(true); break;
    case mtPartialMatchAny: form->PartialMatchAnyBtn->setChecked(true); break;
  }
  form->SetDefaultButtons(defaultButton_ == dbFindFirst, defaultButton_ == dbFindNext);
  form->setWindowTitle(caption_);
  form->SearchValue->setFocus();

  const bool ok = form->exec() == QDialog::Accepted;
  form_ = nullptr;

  // The choices are kept whatever way the form closed.
  matchType_ = form->SelectedMatchType();
  caseSensitive_ = form->CaseFlag();
  fieldValue_ = form->SearchValue->text();
  searchField_ = form->FieldNameOfLabel(form->FieldNameComboBox->currentText());
  return ok;
}

}  // namespace tindrel
