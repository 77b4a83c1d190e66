#pragma once
// The window that comes before an export or an import: the file or folder (typed, or chosen with
// Browse...), and for an export which notes go (all, or the selected note and the notes below
// it), for an import where they go (below the selected note, or at the top level). OK is the
// default button and needs a path; Esc cancels.

#include <QDialog>

#include "exchange/Exchange.h"

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tindrel {

class TExchangeForm : public QDialog {
  Q_OBJECT

 public:
  enum class Direction { Export, Import };

  // `selectedTitle`: the title of the selected note, empty when none is selected (the choice of
  // the selected note is then disabled).
  TExchangeForm(Direction direction, exchange::Format format, const QString& selectedTitle, const QString& path,
                QWidget* parent);

  QString Path() const;
  // Export: only the selected note and the notes below it. Import: below the selected note.
  bool SelectedNoteChosen() const;

  QLineEdit* PathEdit = nullptr;
  QPushButton* BrowseButton = nullptr;
  QRadioButton* AllButton = nullptr;       // export: all notes; import: at the top level
  QRadioButton* SelectedButton = nullptr;  // the selected note
  QPushButton* OkButton = nullptr;
  QPushButton* CancelButton = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Browse();
  Direction direction_;
  exchange::Format format_;
};

}  // namespace tindrel
