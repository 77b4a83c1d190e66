#include "filter/TwwFilterDialog.h"

#include <QApplication>
#include <QCursor>
#include <QWidget>

#include "filter/FilterText.h"
#include "filter/FilterValueSyntax.h"
#include "platform/ErrorBox.h"
#include "platform/Errors.h"
#include "platform/Platform.h"
#include "store/TDataSet.h"
#include "store/TDataSource.h"
#include "store/TField.h"

namespace tindrel {

namespace {

void ShowBox(const QString& text, MessageIcon icon) {
  Platform::Instance().MessageBoxes().Show(QString::fromLatin1(kApplicationTitle), text, icon, mbOK);
}

// Holds the hourglass from construction to destruction.
class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// Sets a flag for the length of a scope.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = old_; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
  bool old_;
};

// The per-record hook as installed on the dataset; a named type, so the component can tell its
// own hook from one that someone else installed since.
struct InstalledHook {
  TwwDummyForm* host;
  void operator()(TDataSet& dataSet, bool& accept) const { host->AcceptRecord(dataSet, accept); }
};

}  // namespace

// ---- hook host and data link --------------------------------------------------------------

void TwwDummyForm::AcceptRecord(TDataSet& dataSet, bool& accept) {
  dataSet_ = &dataSet;
  accept = true;
  bool defaultFiltering = true;
  if (owner_.OnAcceptFilterRecord) owner_.OnAcceptFilterRecord(owner_, dataSet, accept, defaultFiltering);
  if (accept && defaultFiltering)
    accept = prepared_.MatchRecord(dataSet, owner_.FieldInfo(), owner_.MatchSettings(), scratch_);
}

void TwwFilterDataLink::NotifyActiveChange() { owner_.DataSetActiveChanged(); }

// ---- the component ----------------------------------------------------------------------------

TwwFilterDialog::TwwFilterDialog(QObject* owner)
    : TwwCustomDialog(owner),
      dataLink_(std::make_unique<TwwFilterDataLink>(*this)),
      hookHost_(std::make_unique<TwwDummyForm>(*this)) {
  setObjectName(QStringLiteral("FilterDialog"));
}

TwwFilterDialog::~TwwFilterDialog() {
  TDataSet* ds = GetPrimaryDataSet();
  // The hook refers to this component: never leave it behind on a dataset that outlives it.
  if (ds && !ds->Destroying()) {
    const InstalledHook* hook = ds->OnFilterRecord().target<InstalledHook>();
    if (hook && hook->host == hookHost_.get()) RunGuarded([&] { ds->SetOnFilterRecord(nullptr); });
  }
  dataLink_.reset();  // first, so no notification reaches a half-destroyed component
  hookHost_.reset();
}

TDataSet* TwwFilterDialog::GetPrimaryDataSet() const {
  TDataSource* source = dataLink_->DataSource();
  return source ? source->DataSet() : nullptr;
}

void TwwFilterDialog::SetDataSource(TDataSource* source) {
  dataLink_->SetDataSource(source);
  if (source && source->DataSet() && source->DataSet()->IsTable()) filterMethod_ = fdByFilter;
}

bool TwwFilterDialog::DataSetUsesSQL() const {
  TDataSet* ds = GetPrimaryDataSet();
  return ds && (ds->IsQuery() || ds->HasProperty(SQLPropertyName()));
}

void TwwFilterDialog::SetFilterMethod(TwwFilterMethod method) {
  if (!GetPrimaryDataSet() || DataSetUsesSQL() || method == fdByFilter) {
    filterMethod_ = method;
    return;
  }
  ShowBox(QStringLiteral("Invalid FilterMethod for Dataset. \rOnly fdByFilter is supported for this type of Dataset"),
          MessageIcon::Warning);
}

QString TwwFilterDialog::FieldNameFor(const QString& displayName) const {
  TDataSet* ds = GetPrimaryDataSet();
  if (!ds) return {};
  auto tilde = [](QString s) { return s.replace(u'~', u' '); };
  for (const QString& line : selectedFields_) {
    const qsizetype semi = line.indexOf(u';');
    if (semi < 0 || !EqualsAsciiNoCase(tilde(line.mid(semi + 1)), tilde(displayName))) continue;
    if (TField* f = ds->FindFieldNamed(line.left(semi).trimmed())) return f->FieldName();
  }
  return FieldNameForDisplayName(*ds, displayName);
}

void TwwFilterDialog::BuildFieldCatalogue() {
  catalogue_.clear();
  TDataSet* ds = GetPrimaryDataSet();
  if (!ds) return;
  for (const auto& field : ds->Fields())
    catalogue_.push_back({field->FieldName(), field->FieldName(), QString(), field->DataType(), field->DisplayLabel(),
                          field->Size()});
}

TwwDBFieldInfo* TwwFilterDialog::FindCatalogueEntry(const QString& fieldName) {
  for (TwwDBFieldInfo& entry : catalogue_)
    if (EqualsAsciiNoCase(entry.FieldName, fieldName)) return &entry;
  return nullptr;
}

void TwwFilterDialog::DataSetActiveChanged() {
  TDataSet* ds = GetPrimaryDataSet();
  if (guard_ || !ds || ds->Active()) return;
  if ((onFilterOptions_ & fdClearWhenCloseDataSet) && filterMethod_ == fdByFilter) criteria_.clear();
}

void TwwFilterDialog::RepaintOwnerForm() {
  for (QObject* o = parent(); o; o = o->parent()) {
    if (auto* w = qobject_cast<QWidget*>(o)) {
      if (QWidget* form = w->window(); form && form->isVisible()) form->repaint();
      return;
    }
  }
}

bool TwwFilterDialog::InstallFilterText(TDataSet& ds) {
  const std::optional<QStringList> pieces = BuildFilterPieces(*this, ds);
  if (!pieces) return false;
  const bool both = filterPropertyOptions_.DatasetFilterType == fdUseBothFilterTypes;
  try {
    {
      FlagScope guard(guard_);
      ds.Close();
    }
    WaitCursor wait;
    ds.SetFiltered(false);
    ds.SetFilter(JoinFilterPieces(*pieces));
    ds.SetFiltered(true);
    if (both) ds.SetOnFilterRecord(nullptr);
    ds.Open();
  } catch (const std::exception&) {
    // The failure is reported in the box below, with the text that was refused.
    ds.SetFiltered(false);
    ds.SetFilter(QString());
    {
      FlagScope guard(guard_);
      ds.Open();
    }
    QString text = QStringLiteral("Unable to Execute Filter:\r");
    for (const QString& piece : *pieces) text += piece + u'\r';
    ShowBox(text, MessageIcon::Warning);
    return false;
  }
  return true;
}

void TwwFilterDialog::ApplyFilter() {
  TDataSet* ds = GetPrimaryDataSet();
  if (!ds) return;
  const TwwDatasetFilterType filterType = filterPropertyOptions_.DatasetFilterType;
  if (filterType == fdUseFilterProp || filterType == fdUseBothFilterTypes) {
    if (!InstallFilterText(*ds) || filterType == fdUseFilterProp) return;
  }
  if (!ds->Active()) {
    FlagScope guard(guard_);
    ds->Open();
  }
  if (ds->OnFilterRecord()) ds->SetOnFilterRecord(nullptr);
  if (criteria_.empty() && (onFilterOptions_ & fdClearWhenNoCriteria)) {
    ds->SetFiltered(false);
    return;
  }
  ds->SetOnFilterRecord(InstalledHook{hookHost_.get()});
  FlagScope guard(guard_);
  ds->SetFiltered(false);
  ds->SetFiltered(true);
}

void TwwFilterDialog::ApplyCriteria(const TwwFieldInfoList& criteria) {
  TDataSet* ds = GetPrimaryDataSet();
  criteria_ = criteria;
  if (ds)
    for (TwwFieldInfo& c : criteria_) c.FieldName = FieldNameFor(c.DisplayName);
  RepaintOwnerForm();
  // The note table is neither a query nor publishes the SQL property: the criteria are always
  // applied here, through the per-record hook.
  ApplyFilter();
}

bool TwwFilterDialog::Execute() {
  TDataSet* ds = GetPrimaryDataSet();
  if (!ds) return false;
  if (!ds->Active() && filterMethod_ == fdByFilter) {
    ShowBox(QStringLiteral("Dataset must be active to perform local filtering (FilterMethod=fdByFilter)."),
            MessageIcon::Error);
    return false;
  }
  if (FieldOperators().OrChar() == FieldOperators().AndChar())
    ShowBox(QStringLiteral("And and Or Operators have the same value."), MessageIcon::Warning);

  WaitCursor wait;
  BuildFieldCatalogue();
  TwwFieldInfoList criteria;
  bool changed = false;
  const bool ok = ExecuteSuperSearchForm(*this, *ds, criteria, changed);
  if (ok && (changed || !ds->Filtered())) ApplyCriteria(criteria);
  return ok;
}

// ---- registration and the main window's configuration -----------------------------------------

void RegisterFilterDialogClass() {
  TwwDialogRegistry::Register(QStringLiteral("TwwFilterDialog"),
                              [](QObject* owner) -> TwwCustomDialog* { return new TwwFilterDialog(owner); });
}

namespace {
const bool kRegistered = (RegisterFilterDialogClass(), true);
}  // namespace

void ConfigureNoteFilterDialog(TwwFilterDialog& dialog, TDataSource* source) {
  (void)kRegistered;
  dialog.setObjectName(QStringLiteral("FilterDialog"));
  dialog.SetDataSource(source);
  dialog.SetCaption(QStringLiteral("Filter Tindrels"));
  dialog.SetDefaultField(QStringLiteral("TEXT"));
  dialog.SetSelectedFields({QStringLiteral("TEXT")});
  dialog.SetDefaultMatchType(fdMatchAny);
  dialog.SetFilterOptimization(fdUseActiveIndex);
}

}  // namespace tindrel
