#include "filter/TwwFilterDialogView.h"

#include <QHeaderView>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>

#include "filter/FilterValueSyntax.h"
#include "filter/TwwFilterDialog.h"
#include "navigator/CaptionFit.h"
#include "navigator/DialogButtons.h"
#include "navigator/TwwIntl.h"
#include "platform/Errors.h"

namespace tindrel {

QStringList SummaryRow(const TwwFilterDialog& owner, const TwwFieldInfo& c) {
  const TwwFilterDialogIntl& t = TwwIntl::Instance().FilterDialog;
  auto label = [](QString s) { return s.remove(u'&'); };
  switch (c.MatchType) {
    case fdMatchStart: case fdMatchAny: case fdMatchExact: {
      const QString type = c.MatchType == fdMatchStart ? t.MatchStart : c.MatchType == fdMatchAny ? t.MatchAny : t.MatchExact;
      QString value = c.FilterValue;
      if (c.NonMatching) {
        if (FindOperator(c.FilterValue, owner.FieldOperators()).op != TwwValueOperator::None)
          value = t.SummaryNotWord + QStringLiteral(" (") + c.FilterValue + u')';
        else
          value = t.SummaryNotWord + u' ' + c.FilterValue;
      }
      return {c.DisplayName, label(type), value};
    }
    case fdMatchRange: {
      QString value;
      if (!c.MinValue.isEmpty()) value += QStringLiteral(">=") + c.MinValue;
      if (!c.MinValue.isEmpty() && !c.MaxValue.isEmpty()) value += QStringLiteral(", ");
      if (!c.MaxValue.isEmpty()) value += QStringLiteral("<=") + c.MaxValue;
      return {c.DisplayName, label(t.ByRangeTab), value};
    }
    default: return {QString(), QString(), QString()};
  }
}

TwwFilterDialogView::TwwFilterDialogView(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("wwFilterDialogView"));
  setWindowTitle(QStringLiteral("Show Search Summary"));
  setModal(true);
  auto S = [this](int px) { return Scaled(px, this); };
  setFont(DialogFont());
  const TwwFilterDialogIntl& t = TwwIntl::Instance().FilterDialog;
  StringGrid1 = new QTableWidget(1, 3, this);
  StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
  StringGrid1->setGeometry(S(9), S(9), S(464), S(154));
  StringGrid1->setHorizontalHeaderLabels({t.SummaryFieldHeading, t.SummarySearchTypeHeading, t.SummaryValueHeading});
  StringGrid1->setRowCount(0);
  StringGrid1->verticalHeader()->hide();
  StringGrid1->verticalHeader()->setDefaultSectionSize(S(18));
  StringGrid1->horizontalHeader()->setFixedHeight(S(18));
  StringGrid1->setColumnWidth(0, S(120));
  StringGrid1->setColumnWidth(1, S(140));
  StringGrid1->setColumnWidth(2, S(197));
  StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);  // cells are read-only
  StringGrid1->setFocusPolicy(Qt::NoFocus);
  StringGrid1->setShowGrid(true);
  StringGrid1->setStyleSheet(QStringLiteral("QTableWidget { background: white; color: black; }"));
  CancelBtn = MakeDialogButton(this, TwwButtonKind::bkCancel);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  CancelBtn->move(S(192), S(302));  // below the visible area: only Esc reaches it
  CancelBtn->setFocusPolicy(Qt::NoFocus);
  OKButton = MakeDialogButton(this, TwwButtonKind::bkOK);
  const int width = S(481);
  OKButton->move((width - OKButton->width()) / 2, StringGrid1->geometry().bottom() + 1 + S(9));
  setFixedSize(width, S(206));
  OKButton->setFocus();
  if (!t.SummaryCaption.isEmpty()) setWindowTitle(t.SummaryCaption);
}

void TwwFilterDialogView::Fill(const TwwFilterDialog& owner, const TwwFieldInfoList& criteria) {
  StringGrid1->setRowCount(static_cast<int>(criteria.size()));
  for (size_t i = 0; i < criteria.size(); ++i) {
    const QStringList row = SummaryRow(owner, criteria[i]);
    for (int col = 0; col < 3; ++col) StringGrid1->setItem(static_cast<int>(i), col, new QTableWidgetItem(row[col]));
  }
}

void TwwFilterDialogView::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  RunGuarded([&] {
    setFont(DialogFont());
    FitCaptions(*this);
    FitHeadings();
  });
}

void TwwFilterDialogView::FitHeadings() {
  // The grid shows no scroll bars: a heading wider than its column widens the column, and the
  // grid and the window with it; the OK button stays in the middle.
  QHeaderView* header = StringGrid1->horizontalHeader();
  const int margins = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
  int extra = 0;
  for (int c = 0; c < StringGrid1->columnCount(); ++c) {
    const int need = header->fontMetrics().horizontalAdvance(StringGrid1->horizontalHeaderItem(c)->text()) + margins;
    if (need <= StringGrid1->columnWidth(c)) continue;
    extra += need - StringGrid1->columnWidth(c);
    StringGrid1->setColumnWidth(c, need);
  }
  WidenControl(*StringGrid1, extra);
  OKButton->move((width() - OKButton->width()) / 2, OKButton->y());
}

void ShowSummary(const TwwFilterDialog& owner, const TwwFieldInfoList& criteria, QWidget* parent) {
  TwwFilterDialogView view(parent);
  view.Fill(owner, criteria);
  view.exec();
}

}  // namespace tindrel
