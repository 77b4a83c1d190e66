#pragma once
// The window of Edit > Recall Deleted...: one row for each deleted subtree that can still be
// recalled (its top note's title, the place it was deleted from, how many notes it holds, the
// first line of its memo), newest first as far as the table can tell (the subtree holding the
// note stored last comes first). Recall (the default button: Enter; a double click) takes the
// chosen subtree back and says in the window what was done, with any note that had to take a new
// ID; the list then shows what is left. When nothing can be recalled the window says so. Close
// (Esc) ends it.

#include <QDialog>

#include <functional>
#include <vector>

#include "recall/DeletedNotes.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace tindrel {

namespace engine {
class Table;
}

class TRecallForm : public QDialog {
  Q_OBJECT

 public:
  // Recalls the subtree whose top note is in the record given; throws when it cannot.
  using RecallFunction = std::function<recall::RecallSummary(uint32_t recno)>;

  TRecallForm(const engine::Table& table, RecallFunction recall, QWidget* parent);

  // Recalls the subtree of the current row; a failure is shown by the error handler and the
  // list is read again.
  void RecallCurrent();

  // What the window says after a recall: how many notes came back, and where; each note given
  // a new ID.
  static QString SummaryText(const recall::RecallSummary& summary);
  static QString NothingText();

  QTreeWidget* List = nullptr;
  QLabel* StatusLabel = nullptr;
  QPushButton* RecallButton = nullptr;
  QPushButton* CloseButton = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Fills the list from the table; `row` becomes the current row when there is one.
  void Fill(int row);

  const engine::Table& table_;
  RecallFunction recall_;
  std::vector<recall::DeletedSubtree> subtrees_;
};

}  // namespace tindrel
