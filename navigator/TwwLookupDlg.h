#pragma once
// The search window: a search box, the record grid and the Search By list of the table's
// indexes, with OK and Cancel. Enter closes with OK, and so does a double click on a row;
// Page Up, Page Down, Up and Down move the grid while the focus is in the search box. The
// window does not close while the Search By list is dropped down, and a search still pending
// when it closes runs first. Enter and Esc in the Search By list only return to the search box.

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include <memory>

#include "navigator/TwwDBGrid.h"
#include "navigator/TwwIncrementalSearch.h"
#include "store/TDataSource.h"

namespace tindrel {

class TTable;
class TwwSearchDialog;

// The Search By list: a drop-down list whose entries stand for index definitions. Enter and Esc
// in it, dropped down or not, close the drop-down and hand the focus back (ReturnRequested);
// they never reach the window, so they do not close it.
class TwwTempKeyCombo : public QComboBox {
  Q_OBJECT
 public:
  explicit TwwTempKeyCombo(QWidget* parent = nullptr);
  bool DroppedDown() const { return dropped_; }
  void showPopup() override;
  void hidePopup() override;

 signals:
  void ReturnRequested();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool dropped_ = false;
};

class TwwLookupDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TwwLookupDlg(TwwSearchDialog* owner, QWidget* parent = nullptr);
  ~TwwLookupDlg() override;

  // Binds the window to the table, moves the key columns first, lays the window out and fills
  // the Search By list.
  void Prepare(TTable* table, const QStringList& columns);
  // Chooses the Search By entry `text` as the table's order.
  void ChooseSearchBy(const QString& text);

  QLabel* SearchCharacterLabel;
  QLabel* SortByLabel;
  TwwIncrementalSearch* wwIncrementalSearch1;
  TwwDBGrid* wwDBGrid1;
  TwwTempKeyCombo* SearchByCombo;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;
  TDataSource DataSource1{QStringLiteral("DataSource1")};

  void done(int result) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void KeyColumnsFirst();
  void FillSearchBy();
  void LayOut();
  std::vector<TwwGridColumn> ColumnsInOrder() const;

  TwwSearchDialog* owner_;
  TTable* table_ = nullptr;
  std::vector<TwwGridColumn> columns_;
  bool activated_ = false;
};

}  // namespace tindrel
