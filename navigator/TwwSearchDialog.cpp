#include "navigator/TwwSearchDialog.h"

#include <QApplication>

#include <memory>

#include "navigator/TwwLookupDlg.h"
#include "platform/ErrorBox.h"
#include "platform/Platform.h"
#include "store/TField.h"
#include "store/TTable.h"

namespace tindrel {

void RegisterSearchDialogClass() {
  TwwDialogRegistry::Register(QStringLiteral("TwwSearchDialog"),
                              [](QObject* owner) -> TwwCustomDialog* { return new TwwSearchDialog(owner); });
}

namespace {
// The width a field takes in the grid, in characters.
int DisplayWidth(const TField& field) {
  switch (field.DataType()) {
    case ftMemo:
    case ftBlob: return 10;
    case ftBoolean: return 5;
    case ftDate: return 10;
    default: return std::max(field.Size(), 1);
  }
}
}  // namespace

TwwSearchDialog::TwwSearchDialog(QObject* owner) : TwwCustomLookupDialog(owner) {}

TwwLookupDlg* TwwSearchDialog::Form() const { return form_.data(); }

TwwSearchDialog::~TwwSearchDialog() { delete form_.data(); }

void TwwSearchDialog::SetSearchTable(TDataSet* table) {
  if (table != searchTable_) columnOrder_.clear();
  searchTable_ = table;
}

bool TwwSearchDialog::Execute() {
  TDataSet* dataSet = shadowSearchTable_ ? shadowSearchTable_ : searchTable_;
  if (!dataSet) {
    Platform::Instance().MessageBoxes().Show(QString::fromUtf8(kApplicationTitle), QStringLiteral("You must define a searchTable."),
                                             MessageIcon::Warning, mbOK);
    return false;
  }
  auto* table = dynamic_cast<TTable*>(searchTable_ ? searchTable_ : dataSet);
  if (!table || !table->Active()) {
    // Without an open table the window would have no columns and nothing to search.
    Platform::Instance().MessageBoxes().Show(QString::fromUtf8(kApplicationTitle),
                                             QStringLiteral("DataSet for this component must be active."),
                                             MessageIcon::Information, mbOK);
    return false;
  }

  QStringList columns = Selected;
  if (columns.isEmpty()) {
    std::vector<const TField*> fields;
    for (const auto& f : table->Fields())
      if (f->Visible()) fields.push_back(f.get());
    // The order the last window left, then any field it did not show.
    std::stable_sort(fields.begin(), fields.end(), [this](const TField* a, const TField* b) {
      auto rank = [this](const TField* f) {
        const auto i = columnOrder_.indexOf(f->FieldName());
        return i < 0 ? columnOrder_.size() : i;
      };
      return rank(a) < rank(b);
    });
    for (const TField* f : fields)
      columns << f->FieldName() + QLatin1Char('\t') + QString::number(DisplayWidth(*f)) + QLatin1Char('\t') +
                     f->DisplayLabel() + QStringLiteral("\tF");
  }

  auto form = std::make_unique<TwwLookupDlg>(this);
  form_ = form.get();
  if (QWidget* active = QApplication::activeWindow(); active && (active->windowFlags() & Qt::WindowStaysOnTopHint))
    form->setWindowFlag(Qt::WindowStaysOnTopHint, true);
  if (OnInitDialog) OnInitDialog(*form);
  form->Prepare(table, columns);
  const bool ok = form->exec() == QDialog::Accepted;
  form->wwDBGrid1->SetDataSource(nullptr);
  form->DataSource1.SetDataSet(nullptr);
  form.reset();
  return ok;
}

}  // namespace tindrel
