#pragma once
// The filter dialog component: keeps a list of search criteria over the fields of one dataset,
// lets the person edit them in the "Super Search" window (TwwFilterDlg) and turns the confirmed
// criteria into a per-record filter on that dataset.
//
// Applying (the per-record hook, DatasetFilterType fdUseOnFilter):
//   1. the dataset is opened when it is closed;
//   2. any per-record hook is removed;
//   3. an empty criteria list (with fdClearWhenNoCriteria) switches filtering off and stops;
//   4. the hook host's AcceptRecord is installed as the dataset's OnFilterRecord;
//   5. Filtered is switched off and on again, so every record is tested anew even when the
//      dataset was filtered already.
// With fdUseFilterProp the criteria are written as the dataset's filter text instead, and with
// fdUseBothFilterTypes as both (FilterText.h).
// The hook reads the criteria list at every record test; the list changes only through Execute
// and when the dataset closes (then it is emptied and every record passes until the next
// confirmed dialog).

#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "filter/FilterMatching.h"
#include "filter/TwwFieldOperators.h"
#include "filter/TwwFilterTypes.h"
#include "filter/TwwPreparedCriteria.h"
#include "navigator/TwwCustomDialog.h"
#include "store/TDataLink.h"

namespace tindrel {

class TDataSet;
class TDataSource;
class TwwFilterDialog;
class TwwFilterDlg;

// One field of the dataset as the dialog's field list and type questions see it.
struct TwwDBFieldInfo {
  QString FieldName;
  QString OriginalFieldName;
  QString TableName;
  TFieldType FieldType = ftUnknown;
  QString DisplayLabel;
  int Size = 0;
};

// The hidden hook host: its AcceptRecord is the dataset's per-record filter hook. It keeps the
// criteria prepared for the record test between records (prepared again whenever they, the
// settings or the dataset's fields change) and reads values through one scratch value holder,
// reused for every record.
class TwwDummyForm {
 public:
  explicit TwwDummyForm(TwwFilterDialog& owner) : owner_(owner) {}
  void AcceptRecord(TDataSet& dataSet, bool& accept);
  TDataSet* FilteringDataSet() const { return dataSet_; }

 private:
  TwwFilterDialog& owner_;
  TDataSet* dataSet_ = nullptr;
  TwwPreparedCriteria prepared_;
  TwwFieldValue scratch_;
};

// Watches the dataset's opening and closing for the component.
class TwwFilterDataLink : public TDataLink {
 public:
  explicit TwwFilterDataLink(TwwFilterDialog& owner) : owner_(owner) {}

 protected:
  void NotifyActiveChange() override;

 private:
  TwwFilterDialog& owner_;
};

class TwwFilterDialog : public TwwCustomDialog {
  Q_OBJECT
 public:
  using TInitDialogEvent = std::function<void(TwwFilterDlg& dialog)>;
  using TSelectFieldEvent =
      std::function<void(TwwFilterDialog& sender, const QString& fieldName, QString& pictureMask, QStringList& comboList)>;
  using TAcceptFilterRecordEvent =
      std::function<void(TwwFilterDialog& sender, TDataSet& dataSet, bool& accept, bool& defaultFiltering)>;
  using TEncodeValueEvent = std::function<void(TFieldType fieldType, const QString& fieldName, QString& userValue)>;
  using TEncodeDateTimeEvent = std::function<void(const QDateTime& dateTime, TFieldType fieldType,
                                                  const QString& fieldName, QString& formatted)>;

  explicit TwwFilterDialog(QObject* owner = nullptr);
  ~TwwFilterDialog() override;

  // Shows "Super Search" over the data source's dataset; true when closed with OK. Applies the
  // confirmed criteria when they changed or the dataset is not filtered yet.
  bool Execute() override;
  TDataSet* GetPrimaryDataSet() const override;
  QString ClassName() const override { return QStringLiteral("TwwFilterDialog"); }
  bool SetDataSourceProperty(TDataSource* source) override {
    SetDataSource(source);
    return true;
  }

  // ---- published properties
  TDataSource* DataSource() const { return dataLink_->DataSource(); }
  // A source whose dataset is a table sets FilterMethod to fdByFilter.
  void SetDataSource(TDataSource* source);
  TwwFilterDialogOptions Options() const { return options_; }
  void SetOptions(TwwFilterDialogOptions options) { options_ = options; }
  TwwFilterDialogSort SortBy() const { return sortBy_; }
  void SetSortBy(TwwFilterDialogSort sort) { sortBy_ = sort; }
  const QString& Caption() const { return caption_; }
  void SetCaption(const QString& caption) { caption_ = caption; }
  TwwFilterMethod FilterMethod() const { return filterMethod_; }
  // Only fdByFilter is taken for a dataset that is neither a query nor publishes the SQL
  // property; another value shows a warning and leaves the property unchanged.
  void SetFilterMethod(TwwFilterMethod method);
  TwwDefaultMatchType DefaultMatchType() const { return defaultMatchType_; }
  void SetDefaultMatchType(TwwDefaultMatchType type) { defaultMatchType_ = type; }
  TwwDefaultFilterBy DefaultFilterBy() const { return defaultFilterBy_; }
  void SetDefaultFilterBy(TwwDefaultFilterBy by) { defaultFilterBy_ = by; }
  const QString& DefaultField() const { return defaultField_; }
  void SetDefaultField(const QString& name) { defaultField_ = name; }
  const QStringList& SelectedFields() const { return selectedFields_; }
  void SetSelectedFields(const QStringList& lines) { selectedFields_ = lines; }
  TwwFieldOperators& FieldOperators() { return matchSettings_.Operators; }
  const TwwFieldOperators& FieldOperators() const { return matchSettings_.Operators; }
  TwwFilterPropertyOptions& FilterPropertyOptions() { return filterPropertyOptions_; }
  const TwwFilterPropertyOptions& FilterPropertyOptions() const { return filterPropertyOptions_; }
  TwwOnFilterOptions OnFilterPropertyOptions() const { return onFilterOptions_; }
  void SetOnFilterPropertyOptions(TwwOnFilterOptions options) { onFilterOptions_ = options; }
  TwwFilterOptimization FilterOptimization() const { return filterOptimization_; }
  void SetFilterOptimization(TwwFilterOptimization o) { filterOptimization_ = o; }
  QChar UpperRangePadChar() const { return matchSettings_.UpperRangePadChar; }
  void SetUpperRangePadChar(QChar pad) { matchSettings_.UpperRangePadChar = pad; }
  int DlgHeight() const { return dlgHeight_; }
  void SetDlgHeight(int height) {  // 267 or less is ignored
    if (height > 267) dlgHeight_ = height;
  }
  TwwQueryFormatDateMode QueryFormatDateMode() const { return queryFormatDateMode_; }
  void SetQueryFormatDateMode(TwwQueryFormatDateMode mode) { queryFormatDateMode_ = mode; }
  TwwFilterFieldsFetchType FieldsFetchMethod() const { return fieldsFetchMethod_; }
  void SetFieldsFetchMethod(TwwFilterFieldsFetchType m) { fieldsFetchMethod_ = m; }
  // Empty means "SQL".
  QString SQLPropertyName() const { return sqlPropertyName_.isEmpty() ? QStringLiteral("SQL") : sqlPropertyName_; }
  void SetSQLPropertyName(const QString& name) { sqlPropertyName_ = name; }
  // Empty means "Upper".
  QString SQLUpperString() const { return sqlUpperString_.isEmpty() ? QStringLiteral("Upper") : sqlUpperString_; }
  void SetSQLUpperString(const QString& word) { sqlUpperString_ = word; }

  // ---- events
  TInitDialogEvent OnInitDialog;
  TSelectFieldEvent OnSelectField;
  TAcceptFilterRecordEvent OnAcceptFilterRecord;
  // Filter-text variant only: each operand, and each formatted date, before it is written.
  TEncodeValueEvent OnEncodeValue;
  TEncodeDateTimeEvent OnEncodeDateTime;

  // ---- state
  // The criteria list, in the order the criteria were first created.
  const TwwFieldInfoList& FieldInfo() const { return criteria_; }
  TwwFieldInfoList& FieldInfo() { return criteria_; }
  // Replaces the criteria list with copies of `criteria` (each field name derived again from its
  // display name) and applies it to the dataset, as a confirmed dialog does.
  void ApplyCriteria(const TwwFieldInfoList& criteria);
  // Installs the criteria list on the dataset as its per-record filter.
  void ApplyFilter();

  // The dataset's fields, rebuilt each time the dialog is created.
  const std::vector<TwwDBFieldInfo>& FieldCatalogue() const { return catalogue_; }
  void BuildFieldCatalogue();
  // The catalogue entry of a field name (ASCII case ignored), or null.
  TwwDBFieldInfo* FindCatalogueEntry(const QString& fieldName);

  // The field a display name stands for: the field of a `SelectedFields` line that gives this
  // display name, else the dataset field whose display label it is; empty when none.
  QString FieldNameFor(const QString& displayName) const;

  // The operator words, the pad character and the locale, as the record test takes them.
  const TwwMatchSettings& MatchSettings() const { return matchSettings_; }
  const FilterLocale& Locale() const { return matchSettings_.Locale; }
  TwwDummyForm& HookHost() { return *hookHost_; }
  // Whether the dataset is a query or publishes the SQL property (never for the note table).
  bool DataSetUsesSQL() const;

 private:
  friend class TwwFilterDataLink;
  void DataSetActiveChanged();
  bool InstallFilterText(TDataSet& dataSet);
  void RepaintOwnerForm();

  std::unique_ptr<TwwFilterDataLink> dataLink_;
  std::unique_ptr<TwwDummyForm> hookHost_;
  TwwFieldInfoList criteria_;
  std::vector<TwwDBFieldInfo> catalogue_;
  TwwMatchSettings matchSettings_;
  bool guard_ = false;  // set while the component itself switches filtering or opens the dataset

  TwwFilterDialogOptions options_ = kDefaultFilterDialogOptions;
  TwwFilterDialogSort sortBy_ = fdSortByFieldNo;
  QString caption_;
  TwwFilterMethod filterMethod_ = fdByFilter;
  TwwDefaultMatchType defaultMatchType_ = fdMatchStart;
  TwwDefaultFilterBy defaultFilterBy_ = fdSmartFilter;
  QString defaultField_;
  QStringList selectedFields_;
  TwwFilterPropertyOptions filterPropertyOptions_;
  TwwOnFilterOptions onFilterOptions_ = fdClearWhenNoCriteria | fdClearWhenCloseDataSet;
  TwwFilterOptimization filterOptimization_ = fdNone;
  int dlgHeight_ = 267;
  TwwQueryFormatDateMode queryFormatDateMode_ = qfdMonthDayYear;
  TwwFilterFieldsFetchType fieldsFetchMethod_ = fmUseTTable;
  QString sqlPropertyName_;
  QString sqlUpperString_;
};

// The window's part of Execute: shows the "Super Search" form over `dataSet` on a working copy of
// the owner's criteria and returns true when it closed with OK; `criteria` and `changed` then say
// what the person confirmed. Defined beside the form (TwwFilterDlg.cpp), which depends on this
// component; the component itself knows the form only through this one call.
bool ExecuteSuperSearchForm(TwwFilterDialog& owner, TDataSet& dataSet, TwwFieldInfoList& criteria, bool& changed);

// Registers TwwFilterDialog with the dialog class registry (done once at start-up; repeating it
// is harmless).
void RegisterFilterDialogClass();

// Configures `dialog` as the main window's FilterDialog over `source`: caption "Filter
// Tindrels", the single offered field TEXT selected by default, anywhere as the default search
// type, fdUseActiveIndex.
void ConfigureNoteFilterDialog(TwwFilterDialog& dialog, TDataSource* source);

}  // namespace tindrel
