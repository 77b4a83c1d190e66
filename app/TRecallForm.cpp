#include "app/TRecallForm.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "navigator/CaptionFit.h"
#include "navigator/DialogButtons.h"
#include "platform/Errors.h"
#include "store/engine/Table.h"

namespace tindrel {
namespace {

QString Quoted(const std::string& text) { return QStringLiteral("\u201C%1\u201D").arg(QString::fromStdString(text)); }

QString NoteCount(size_t notes) {
  return notes == 1 ? QStringLiteral("1 note") : QStringLiteral("%1 notes").arg(static_cast<qulonglong>(notes));
}

enum Column { ColumnNote, ColumnPlace, ColumnCount, ColumnMemo };

}  // namespace

TRecallForm::TRecallForm(const engine::Table& table, RecallFunction recall, QWidget* parent)
    : QDialog(parent), table_(table), recall_(std::move(recall)) {
  setObjectName(QStringLiteral("RecallForm"));
  setWindowTitle(QStringLiteral("Recall Deleted Notes"));
  setAccessibleName(windowTitle());
  setFont(DialogFont());

  auto* column = new QVBoxLayout(this);
  auto* listLabel = new QLabel(QStringLiteral("&Deleted notes that can be recalled until the next Pack, newest first:"), this);
  column->addWidget(listLabel);
  List = new QTreeWidget(this);
  List->setObjectName(QStringLiteral("List"));
  List->setAccessibleName(QStringLiteral("Deleted notes"));
  List->setRootIsDecorated(false);
  List->setUniformRowHeights(true);
  List->setAllColumnsShowFocus(true);
  List->setHeaderLabels({QStringLiteral("Note"), QStringLiteral("Deleted from"), QStringLiteral("Notes"),
                         QStringLiteral("First line of the memo")});
  List->setMinimumSize(Scaled(560, this), Scaled(220, this));
  listLabel->setBuddy(List);
  column->addWidget(List, 1);

  StatusLabel = new QLabel(this);
  StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
  StatusLabel->setWordWrap(true);
  StatusLabel->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
  column->addWidget(StatusLabel);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  RecallButton = new QPushButton(QStringLiteral("&Recall"), this);
  RecallButton->setObjectName(QStringLiteral("RecallButton"));
  RecallButton->setDefault(true);
  CloseButton = new QPushButton(QStringLiteral("Close"), this);
  CloseButton->setObjectName(QStringLiteral("CloseButton"));
  CloseButton->setAutoDefault(false);
  buttons->addWidget(RecallButton);
  buttons->addWidget(CloseButton);
  column->addLayout(buttons);

  // Enter in the list reaches the default button (the list passes it on), so only the mouse's
  // double click is connected here: one recall per key press.
  connect(RecallButton, &QPushButton::clicked, this, [this] { RecallCurrent(); });
  connect(List, &QTreeWidget::itemDoubleClicked, this, [this] { RecallCurrent(); });
  connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);
  Fill(0);
}

QString TRecallForm::NothingText() {
  return QStringLiteral("Nothing can be recalled: no note was deleted since the table was last packed.");
}

QString TRecallForm::SummaryText(const recall::RecallSummary& summary) {
  const QString where = summary.place.empty()
                            ? QStringLiteral("at the top level")
                            : QStringLiteral("below %1").arg(Quoted(recall::PlaceText(summary.place)));
  QString text = QStringLiteral("Recalled %1: %2 is back %3.").arg(NoteCount(summary.notes), Quoted(summary.topTitle), where);
  for (const recall::Renumbered& r : summary.renumbered)
    text += QStringLiteral(" %1 has the new ID %2, because another note has its ID %3 now.")
                .arg(Quoted(r.title), QString::fromStdString(r.newId), QString::fromStdString(r.oldId));
  return text;
}

void TRecallForm::Fill(int row) {
  subtrees_ = recall::ListDeletedSubtrees(table_);
  List->clear();
  for (const recall::DeletedSubtree& subtree : subtrees_) {
    const QString place = subtree.formerPlace.empty() ? QStringLiteral("(top level)")
                                                      : QString::fromStdString(recall::PlaceText(subtree.formerPlace));
    auto* item = new QTreeWidgetItem(List, {QString::fromStdString(subtree.Top().title), place,
                                            QString::number(subtree.notes.size()),
                                            QString::fromStdString(recall::MemoFirstLine(table_, subtree.Top()))});
    item->setTextAlignment(ColumnCount, Qt::AlignRight | Qt::AlignVCenter);
  }
  for (int c : {ColumnNote, ColumnPlace, ColumnCount}) List->resizeColumnToContents(c);
  const bool any = !subtrees_.empty();
  List->setEnabled(any);
  RecallButton->setEnabled(any);
  if (any) {
    List->setCurrentItem(List->topLevelItem(std::clamp(row, 0, List->topLevelItemCount() - 1)));
    List->setFocus();
  } else {
    const QString said = StatusLabel->text();
    StatusLabel->setText(said.isEmpty() ? NothingText() : said + QStringLiteral(" Nothing more can be recalled."));
    CloseButton->setDefault(true);
    CloseButton->setFocus();
  }
}

void TRecallForm::RecallCurrent() {
  const int row = List->currentItem() ? List->indexOfTopLevelItem(List->currentItem()) : -1;
  if (row < 0 || row >= static_cast<int>(subtrees_.size())) return;
  const uint32_t recno = subtrees_[static_cast<size_t>(row)].Top().recno;
  QString said;
  const bool done = RunGuarded([&] { said = SummaryText(recall_(recno)); });
  StatusLabel->setText(done ? said : QString());
  // What is left, also after a failure (the table may hold less than the list showed).
  RunGuarded([&] { Fill(row); });
}

void TRecallForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  RunGuarded([this] { FitCaptions(*this); });
}

}  // namespace tindrel
