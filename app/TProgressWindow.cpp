#include "app/TProgressWindow.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "navigator/CaptionFit.h"
#include "navigator/DialogButtons.h"
#include "platform/Errors.h"

namespace tindrel {

TProgressWindow::TProgressWindow(const QString& what, const QString& subject, QWidget* parent)
    : QDialog(parent), subject_(subject) {
  setObjectName(QStringLiteral("ProgressWindow"));
  setWindowTitle(what);
  setAccessibleName(what);
  setWindowModality(Qt::ApplicationModal);
  setFont(DialogFont());
  auto* column = new QVBoxLayout(this);
  StageLabel = new QLabel(subject, this);
  StageLabel->setObjectName(QStringLiteral("StageLabel"));
  StageLabel->setMinimumWidth(Scaled(360, this));
  StageLabel->setWordWrap(true);
  column->addWidget(StageLabel);
  Bar = new QProgressBar(this);
  Bar->setObjectName(QStringLiteral("Bar"));
  Bar->setAccessibleName(QStringLiteral("Progress"));
  Bar->setRange(0, 0);
  column->addWidget(Bar);
  CancelButton = MakeDialogButton(this, TwwButtonKind::bkCancel);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));
  column->addWidget(CancelButton, 0, Qt::AlignRight);
}

void TProgressWindow::done(int result) {
  if (result != Rejected) return QDialog::done(result);
  // The work notices at its next report; the window goes when the work has stopped.
  cancelled_ = true;
  CancelButton->setEnabled(false);
}

exchange::Progress TProgressWindow::Callback() {
  show();
  QApplication::processEvents();
  return [this](std::string_view stage, uint64_t done, uint64_t total) { Report(stage, done, total); };
}

void TProgressWindow::Report(std::string_view stage, uint64_t done, uint64_t total) {
  StageLabel->setText(QString::fromUtf8(stage.data(), static_cast<qsizetype>(stage.size())) + QStringLiteral(": ") +
                      subject_);
  if (total == 0) {
    Bar->setRange(0, 0);  // how much there is is not known yet
  } else {
    Bar->setRange(0, 1000);
    Bar->setValue(static_cast<int>(done * 1000 / total));
  }
  QApplication::processEvents();
  if (cancelled_) throw SilentAbort("Cancelled");
}

void TProgressWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The dialog buttons keep the design's size unless a caption (the catalogue's) needs more.
  RunGuarded([this] { FitCaptions(*this); });
}

}  // namespace tindrel
