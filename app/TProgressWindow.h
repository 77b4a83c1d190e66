#pragma once
// The window that long work shows while it runs: what is being done, a bar, and Cancel. The work
// runs on the program's one thread and reports through Callback(), which keeps the window and the
// rest of the program responsive (it processes the pending events) and, once the person has
// cancelled (Cancel, Esc, or closing the window), throws SilentAbort out of the work. The export
// and import stop that way before they change anything.

#include <QDialog>

#include "exchange/Progress.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace tindrel {

class TProgressWindow : public QDialog {
  Q_OBJECT

 public:
  // `what`: the caption ("Import", "Export"); `subject`: the file or folder worked on.
  TProgressWindow(const QString& what, const QString& subject, QWidget* parent);

  // Shows the window, for the work to report into.
  exchange::Progress Callback();
  bool Cancelled() const { return cancelled_; }

  QLabel* StageLabel = nullptr;
  QProgressBar* Bar = nullptr;
  QPushButton* CancelButton = nullptr;

 protected:
  // Cancel, Esc and closing the window all come here with Rejected.
  void done(int result) override;
  void showEvent(QShowEvent* event) override;

 private:
  void Report(std::string_view stage, uint64_t done, uint64_t total);
  QString subject_;
  bool cancelled_ = false;
};

}  // namespace tindrel
