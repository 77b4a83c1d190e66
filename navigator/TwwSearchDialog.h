#pragma once
// The search dialog component: a non-visual object (owned by the navigator that created it, or
// placed on a window) whose Execute opens the modal "Search" window over SearchTable. Typing in
// the window's search box moves the table, after a short pause, to the first record whose key
// begins with the text; the grid follows the table's current record and moves it with the
// selected row; the Search By list re-orders the table by another index.
//
// What the window changes stays after it closes, whether by OK or Cancel: the current record,
// the index chosen in Search By and the column order with the key columns first. The column
// order is kept by this component (the dataset's field list has a fixed order), so every later
// window shows the columns as the last one left them.

#include <QColor>
#include <QPointer>
#include <QStringList>

#include <functional>

#include "navigator/TwwCustomDialog.h"

namespace tindrel {

class TDataSet;
class TwwLookupDlg;
class TwwSearchDialog;

// Registers TwwSearchDialog with the dialog class registry (repeating it is harmless).
void RegisterSearchDialogClass();

// Option set of the lookup window, bit n for the n-th value.
enum TwwDBLookupDlgOption : unsigned {
  opShowOKCancel = 1u << 0, opShowSearchBy = 1u << 1, opGroupControls = 1u << 2,
  opFixFirstColumn = 1u << 3, opShowStatusBar = 1u << 4, opDisableReorderColumns = 1u << 5
};
using TwwDBLookupDlgOptions = unsigned;

// Grid options, bit n for the n-th value.
enum TwwDBGridOption : unsigned {
  dgEditing = 1u << 0, dgAlwaysShowEditor = 1u << 1, dgTitles = 1u << 2, dgIndicator = 1u << 3,
  dgColumnResize = 1u << 4, dgColLines = 1u << 5, dgRowLines = 1u << 6, dgTabs = 1u << 7,
  dgRowSelect = 1u << 8, dgAlwaysShowSelection = 1u << 9, dgConfirmDelete = 1u << 10,
  dgCancelOnExit = 1u << 11, dgMultiSelect = 1u << 12, dgPerfectRowFit = 1u << 13
};
using TwwDBGridOptions = unsigned;

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };

using TwwOnInitDialogEvent = std::function<void(TwwLookupDlg& dialog)>;
using TwwSortChangeEvent = std::function<void(TwwLookupDlg& dialog)>;

// The base of the lookup-style dialogs: the settings the window takes.
class TwwCustomLookupDialog : public TwwCustomDialog {
  Q_OBJECT
 public:
  explicit TwwCustomLookupDialog(QObject* owner = nullptr) : TwwCustomDialog(owner) {}

  QString Caption = QStringLiteral("Search");
  TwwDBLookupDlgOptions Options = opShowOKCancel | opShowSearchBy;
  TwwDBGridOptions GridOptions = dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines | dgTabs |
                                 dgRowSelect | dgAlwaysShowSelection | dgConfirmDelete | dgPerfectRowFit;
  QColor GridColor = Qt::white;
  TAlignment GridTitleAlignment = taLeftJustify;
  int MaxWidth = 0;    // 0: the screen width - 40
  int MaxHeight = 209;
  TEditCharCase CharCase = ecNormal;
  // The grid's columns, "FieldName<tab>width<tab>label<tab>F" each; empty: every visible field.
  QStringList Selected;
  bool UseTFields = true;
  QString UserButton1Caption, UserButton2Caption;

  TwwOnInitDialogEvent OnInitDialog;
  TwwOnInitDialogEvent OnCloseDialog;
  TwwSortChangeEvent OnSortChange;
};

class TwwSearchDialog : public TwwCustomLookupDialog {
  Q_OBJECT
 public:
  explicit TwwSearchDialog(QObject* owner = nullptr);
  ~TwwSearchDialog() override;

  // Opens the window modally; true when it closed with OK. Without a table: the warning "You
  // must define a searchTable." and false; a closed table: the notice "DataSet for this
  // component must be active." and false.
  bool Execute() override;
  TDataSet* GetPrimaryDataSet() const override { return SearchTable(); }
  QString ClassName() const override { return QStringLiteral("TwwSearchDialog"); }
  bool InheritsClass(const QString& name) const override {
    return name == ClassName() || name == QStringLiteral("TwwCustomLookupDialog");
  }
  bool SetSearchTableProperty(TDataSet* table) override {
    SetSearchTable(table);
    return true;
  }

  TDataSet* SearchTable() const { return searchTable_; }
  void SetSearchTable(TDataSet* table);
  TDataSet* ShadowSearchTable() const { return shadowSearchTable_; }
  void SetShadowSearchTable(TDataSet* table) { shadowSearchTable_ = table; }

  // The window while it is open, else null.
  TwwLookupDlg* Form() const;
  // The column order the windows show (field names), key columns first once a window moved
  // them there; empty until the first window.
  const QStringList& ColumnOrder() const { return columnOrder_; }

 private:
  friend class TwwLookupDlg;
  TDataSet* searchTable_ = nullptr;
  TDataSet* shadowSearchTable_ = nullptr;
  QPointer<TwwLookupDlg> form_;
  QStringList columnOrder_;
};

}  // namespace tindrel
