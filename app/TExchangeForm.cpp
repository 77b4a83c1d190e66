#include "app/TExchangeForm.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "navigator/CaptionFit.h"
#include "navigator/DialogButtons.h"
#include "platform/Errors.h"

namespace tindrel {
namespace {

QString FileFilter(exchange::Format format) {
  switch (format) {
    case exchange::Format::MarkdownFile: return QStringLiteral("Markdown files (*.md *.markdown);;All files (*)");
    case exchange::Format::Opml: return QStringLiteral("OPML files (*.opml *.xml);;All files (*)");
    case exchange::Format::Csv: return QStringLiteral("CSV files (*.csv);;All files (*)");
    case exchange::Format::Sql: return QStringLiteral("SQL scripts (*.sql);;All files (*)");
    case exchange::Format::MarkdownFolder: break;
  }
  return QStringLiteral("All files (*)");
}

}  // namespace

TExchangeForm::TExchangeForm(Direction direction, exchange::Format format, const QString& selectedTitle,
                             const QString& path, QWidget* parent)
    : QDialog(parent), direction_(direction), format_(format) {
  const bool exporting = direction == Direction::Export;
  const exchange::FormatInfo& info = exchange::InfoOf(format);
  setObjectName(exporting ? QStringLiteral("ExportForm") : QStringLiteral("ImportForm"));
  const QString caption = (exporting ? QStringLiteral("Export as ") : QStringLiteral("Import from ")) +
                          QString::fromUtf8(info.title);
  setWindowTitle(caption);
  setAccessibleName(caption);
  setFont(DialogFont());

  auto* column = new QVBoxLayout(this);
  auto* pathRow = new QHBoxLayout;
  auto* pathLabel = new QLabel(info.folder ? QStringLiteral("&Folder:") : QStringLiteral("&File:"), this);
  PathEdit = new QLineEdit(path, this);
  PathEdit->setObjectName(QStringLiteral("PathEdit"));
  PathEdit->setAccessibleName(info.folder ? QStringLiteral("Folder") : QStringLiteral("File"));
  PathEdit->setMinimumWidth(Scaled(320, this));
  pathLabel->setBuddy(PathEdit);
  BrowseButton = new QPushButton(QStringLiteral("&Browse..."), this);
  BrowseButton->setObjectName(QStringLiteral("BrowseButton"));
  BrowseButton->setAutoDefault(false);
  pathRow->addWidget(pathLabel);
  pathRow->addWidget(PathEdit, 1);
  pathRow->addWidget(BrowseButton);
  column->addLayout(pathRow);

  auto* group = new QGroupBox(exporting ? QStringLiteral("Notes") : QStringLiteral("Place the notes"), this);
  auto* choices = new QVBoxLayout(group);
  const QString named = selectedTitle.isEmpty()
                            ? QString()
                            : QStringLiteral(", \u201C") + selectedTitle + QStringLiteral("\u201D");
  AllButton = new QRadioButton(exporting ? QStringLiteral("&All notes") : QStringLiteral("At the &top level"), group);
  AllButton->setObjectName(QStringLiteral("AllButton"));
  SelectedButton =
      new QRadioButton(exporting ? QStringLiteral("The &selected note%1%2 and the notes below it")
                                       .arg(named, named.isEmpty() ? QString() : QStringLiteral(","))
                                 : QStringLiteral("&Below the selected note%1").arg(named),
                       group);
  SelectedButton->setObjectName(QStringLiteral("SelectedButton"));
  SelectedButton->setEnabled(!selectedTitle.isEmpty());
  choices->addWidget(exporting ? AllButton : SelectedButton);
  choices->addWidget(exporting ? SelectedButton : AllButton);
  const bool belowSelected = !exporting && SelectedButton->isEnabled();
  (belowSelected ? SelectedButton : AllButton)->setChecked(true);
  column->addWidget(group);

  const TOkCancelRow buttons = MakeOkCancelRow(this);
  OkButton = buttons.ok;
  CancelButton = buttons.cancel;
  column->addLayout(buttons.layout);

  const auto pathGiven = [this] { OkButton->setEnabled(!PathEdit->text().trimmed().isEmpty()); };
  connect(PathEdit, &QLineEdit::textChanged, this, pathGiven);
  pathGiven();
  connect(BrowseButton, &QPushButton::clicked, this, [this] { RunGuarded([this] { Browse(); }); });
  PathEdit->setFocus();
}

QString TExchangeForm::Path() const { return PathEdit->text().trimmed(); }

bool TExchangeForm::SelectedNoteChosen() const { return SelectedButton->isEnabled() && SelectedButton->isChecked(); }

void TExchangeForm::Browse() {
  const exchange::FormatInfo& info = exchange::InfoOf(format_);
  QString chosen;
  if (info.folder) {
    chosen = QFileDialog::getExistingDirectory(this, direction_ == Direction::Export
                                                         ? QStringLiteral("Choose a new or empty folder")
                                                         : QStringLiteral("Choose the folder of the notes"),
                                               Path());
  } else if (direction_ == Direction::Export) {
    // Replacing an existing file is asked once, after OK.
    chosen = QFileDialog::getSaveFileName(this, windowTitle(), Path(), FileFilter(format_), nullptr,
                                          QFileDialog::DontConfirmOverwrite);
  } else {
    chosen = QFileDialog::getOpenFileName(this, windowTitle(), Path(), FileFilter(format_));
  }
  if (!chosen.isEmpty()) PathEdit->setText(chosen);
}

void TExchangeForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The dialog buttons keep the design's size unless a caption (the catalogue's) needs more.
  RunGuarded([this] { FitCaptions(*this); });
}

}  // namespace tindrel
