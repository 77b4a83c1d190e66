#pragma once
// The locate dialog component: a non-visual object on a window that, when executed, opens the
// modal "Locate Value" form (TwwLocateDlg) over the dataset of its data source. The form's First
// and Next buttons run FindFieldValue; a successful search closes the form with OK and leaves
// the found record current.
//
// The component remembers the last choices (field, search text, match type and case rule) from
// one opening to the next, also after Cancel, so opening it again and pressing Next goes on
// from the last search.
//
// Placing it on a window with the main window's settings:
//   auto* locate = TwwLocateDialog::PlaceOnMainWindow(mainWindow, dataSource);
//   ... locate->Execute();   // the Locate command (F7) and the navigator's Locate button

#include <QString>

#include <functional>

#include "store/FindFieldValue.h"
#include "navigator/TwwCustomDialog.h"
#include "store/TDataLink.h"

namespace tindrel {

class TDataSet;
class TDataSource;
class TwwLocateDlg;
class TwwLocateDialog;

enum TwwFieldSortType { fsSortByFieldNo, fsSortByFieldName };
enum TwwDefaultButtonType { dbFindFirst, dbFindNext };
enum TwwFieldSelection { fsAllFields, fsVisibleFields };

using TwwOnInitLocateDlgEvent = std::function<void(TwwLocateDialog& sender, TwwLocateDlg& dialog)>;
using TwwLocateSelectFieldEvent =
    std::function<void(TwwLocateDialog& sender, TwwLocateDlg& dialog, const QString& searchField)>;

// Registers TwwLocateDialog with the dialog class registry (done once at start-up; repeating it
// is harmless).
void RegisterLocateDialogClass();

class TwwLocateDialog : public TwwCustomDialog {
  Q_OBJECT
 public:
  explicit TwwLocateDialog(QObject* owner = nullptr);
  ~TwwLocateDialog() override;

  // Creates the component on `window` as "LocateDialog" with the main window's settings:
  // caption "Locate Field Value", the field "TEXT", a match anywhere, First as default button.
  static TwwLocateDialog* PlaceOnMainWindow(QObject* window, TDataSource* source);

  // Opens the form modally; true when it closed by a successful search. With no open dataset
  // behind the data source an error box says so and no form is shown.
  bool Execute() override;
  TDataSet* GetPrimaryDataSet() const override;
  QString ClassName() const override { return QStringLiteral("TwwLocateDialog"); }
  bool SetDataSourceProperty(TDataSource* source) override {
    SetDataSource(source);
    return true;
  }

  // The search itself (see store/FindFieldValue.h).
  static bool FindFieldValue(bool fromBeginning, TDataSet& dataSet, const QString& fieldName,
                             const QString& searchText, TwwLocateMatchType matchType, bool caseSensitive) {
    return tindrel::FindFieldValue(fromBeginning, dataSet, fieldName, searchText, matchType, caseSensitive);
  }

  // Published properties.
  const QString& Caption() const { return caption_; }
  void SetCaption(const QString& caption) { caption_ = caption; }
  TDataSource* DataSource() const { return link_.DataSource(); }
  void SetDataSource(TDataSource* source) { link_.SetDataSource(source); }
  const QString& SearchField() const { return searchField_; }
  void SetSearchField(const QString& name) { searchField_ = name; }
  TwwLocateMatchType MatchType() const { return matchType_; }
  void SetMatchType(TwwLocateMatchType type) { matchType_ = type; }
  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool on) { caseSensitive_ = on; }
  TwwFieldSortType SortFields() const { return sortFields_; }
  void SetSortFields(TwwFieldSortType sort) { sortFields_ = sort; }
  TwwDefaultButtonType DefaultButton() const { return defaultButton_; }
  void SetDefaultButton(TwwDefaultButtonType button) { defaultButton_ = button; }
  TwwFieldSelection FieldSelection() const { return fieldSelection_; }
  void SetFieldSelection(TwwFieldSelection selection) { fieldSelection_ = selection; }
  bool ShowMessages() const { return showMessages_; }
  void SetShowMessages(bool on) { showMessages_ = on; }
  TwwOnInitLocateDlgEvent OnInitDialog;
  TwwLocateSelectFieldEvent OnSelectField;

  // The search text remembered from the last opening.
  const QString& FieldValue() const { return fieldValue_; }
  void SetFieldValue(const QString& value) { fieldValue_ = value; }
  // The form while it is open, else null.
  TwwLocateDlg* Form() const { return form_; }

 private:
  friend class TwwLocateDlg;

  TDataLink link_;  // holds the data source; reacts to no notification
  QString caption_ = QStringLiteral("Locate Field Value");
  QString searchField_;
  TwwLocateMatchType matchType_ = mtPartialMatchStart;
  bool caseSensitive_ = false;
  TwwFieldSortType sortFields_ = fsSortByFieldName;
  TwwDefaultButtonType defaultButton_ = dbFindNext;
  TwwFieldSelection fieldSelection_ = fsAllFields;
  bool showMessages_ = true;
  QString fieldValue_;
  TwwLocateDlg* form_ = nullptr;
};

}  // namespace tindrel
