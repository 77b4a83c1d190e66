#include "navigator/TwwLookupDlg.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include "navigator/CaptionFit.h"
#include "navigator/DialogButtons.h"
#include "navigator/TwwIntl.h"
#include "navigator/TwwSearchDialog.h"
#include "platform/Errors.h"
#include "store/TField.h"
#include "store/TTable.h"

namespace tindrel {

namespace {
QString DescSuffix() { return QStringLiteral(" - Desc"); }

QString EntryText(const TField& field, const TIndexDef& def) {
  QString label = field.DisplayLabel();
  label.replace(QLatin1Char('~'), QLatin1Char(' '));
  if (def.Options & ixDescending) label += DescSuffix();
  return label;
}

QString FirstField(const TIndexDef& def) { return def.Fields.section(QLatin1Char(';'), 0, 0).trimmed(); }
}  // namespace

// ---------------------------------------------------------------------------------------------
// TwwTempKeyCombo

namespace {
bool IsEnterOrEsc(const QKeyEvent& key) {
  return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter || key.key() == Qt::Key_Escape;
}
}  // namespace

TwwTempKeyCombo::TwwTempKeyCombo(QWidget* parent) : QComboBox(parent) {
  // Installed after the drop-down's own filter on its list, so this one sees the key first.
  view()->installEventFilter(this);
}

bool TwwTempKeyCombo::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view() && event->type() == QEvent::KeyPress && IsEnterOrEsc(*static_cast<QKeyEvent*>(event))) {
    // The drop-down closes itself on these keys (Enter also chooses the entry); the focus goes
    // back once it has.
    QTimer::singleShot(0, this, [this] { emit ReturnRequested(); });
  }
  return QComboBox::eventFilter(watched, event);
}

void TwwTempKeyCombo::showPopup() {
  dropped_ = true;
  QComboBox::showPopup();
}

void TwwTempKeyCombo::hidePopup() {
  QComboBox::hidePopup();
  dropped_ = false;
}

void TwwTempKeyCombo::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Down && !(event->modifiers() & Qt::AltModifier) && !dropped_) {
    showPopup();
    return;
  }
  if (IsEnterOrEsc(*event)) {
    if (dropped_) hidePopup();
    event->accept();
    emit ReturnRequested();
    return;
  }
  QComboBox::keyPressEvent(event);
}

// ---------------------------------------------------------------------------------------------
// TwwLookupDlg

TwwLookupDlg::TwwLookupDlg(TwwSearchDialog* owner, QWidget* parent) : QDialog(parent), owner_(owner) {
  setObjectName(QStringLiteral("wwLookupDlg"));
  setWindowTitle(QStringLiteral("Lookup"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
  setFont(DialogFont());
  SearchCharacterLabel = new QLabel(QStringLiteral("&Search Characters"), this);
  SearchCharacterLabel->setObjectName(QStringLiteral("SearchCharacterLabel"));
  SortByLabel = new QLabel(QStringLiteral("Search &By"), this);
  SortByLabel->setObjectName(QStringLiteral("SortByLabel"));
  SortByLabel->hide();
  wwIncrementalSearch1 = new TwwIncrementalSearch(this);
  wwIncrementalSearch1->setObjectName(QStringLiteral("wwIncrementalSearch1"));
  wwIncrementalSearch1->setToolTip(QStringLiteral("Enter characters for incremental search"));
  SearchCharacterLabel->setBuddy(wwIncrementalSearch1);
  wwDBGrid1 = new TwwDBGrid(this);
  wwDBGrid1->setObjectName(QStringLiteral("wwDBGrid1"));
  OKBtn = MakeDialogButton(this, TwwButtonKind::bkOK);
  CancelBtn = MakeDialogButton(this, TwwButtonKind::bkCancel);
  SearchByCombo = new TwwTempKeyCombo(this);
  SearchByCombo->setObjectName(QStringLiteral("SearchByCombo"));
  SearchByCombo->hide();
  SortByLabel->setBuddy(SearchByCombo);
  setTabOrder(wwIncrementalSearch1, wwDBGrid1);
  setTabOrder(wwDBGrid1, SearchByCombo);
  setTabOrder(SearchByCombo, OKBtn);
  setTabOrder(OKBtn, CancelBtn);

  wwIncrementalSearch1->installEventFilter(this);
  wwDBGrid1->installEventFilter(this);
  OKBtn->installEventFilter(this);
  CancelBtn->installEventFilter(this);
  connect(wwDBGrid1, &QAbstractItemView::doubleClicked, this, [this] { accept(); });
  connect(SearchByCombo, &TwwTempKeyCombo::ReturnRequested, wwIncrementalSearch1, qOverload<>(&QWidget::setFocus));
  connect(SearchByCombo, &QComboBox::activated, this,
          [this](int index) { RunGuarded([&] { ChooseSearchBy(SearchByCombo->itemText(index)); }); });
}

TwwLookupDlg::~TwwLookupDlg() {
  wwDBGrid1->SetDataSource(nullptr);
  DataSource1.SetDataSet(nullptr);
}

void TwwLookupDlg::Prepare(TTable* table, const QStringList& columns) {
  table_ = table;
  const TwwIntl& intl = TwwIntl::Instance();
  setFont(DialogFont());
  setWindowTitle(owner_->Caption);

  if (!(owner_->Options & opShowSearchBy)) SearchByCombo->setEnabled(false);
  DataSource1.SetDataSet(table);
  wwIncrementalSearch1->SetDataSource(&DataSource1);

  SearchCharacterLabel->setText(intl.SearchDialog.SearchCharLabel);
  SortByLabel->setText(intl.SearchDialog.SearchByLabel);
  wwIncrementalSearch1->setToolTip(intl.SearchDialog.SearchCharHint);
  SearchByCombo->setToolTip(intl.SearchDialog.SearchByHint);

  columns_.clear();
  for (const QString& entry : columns) {
    const QStringList parts = entry.split(QLatin1Char('\t'));
    TwwGridColumn c;
    c.FieldName = parts.value(0);
    c.DisplayWidth = parts.value(1).toInt();
    c.Title = parts.value(2, c.FieldName);
    if (table->FindFieldNamed(c.FieldName)) columns_.push_back(c);
  }
  wwDBGrid1->setStyleSheet(QStringLiteral("QTableView { background-color: %1; }").arg(owner_->GridColor.name()));
  wwDBGrid1->SetDataSource(&DataSource1);
  KeyColumnsFirst();
  LayOut();
  if (owner_->Options & opShowSearchBy) FillSearchBy();
  FitCaptions(*this);
}

void TwwLookupDlg::KeyColumnsFirst() {
  std::vector<TwwGridColumn> ordered = columns_;
  QString firstKey;
  if (!(owner_->Options & opDisableReorderColumns)) {
    int to = 0;
    for (int k = 0; k < table_->IndexFieldCount(); ++k) {
      TField* key = table_->IndexField(k);
      if (!key || !key->Visible()) continue;
      auto it = std::find_if(ordered.begin(), ordered.end(),
                             [&](const TwwGridColumn& c) { return c.FieldName.compare(key->FieldName(), Qt::CaseInsensitive) == 0; });
      if (it == ordered.end()) continue;
      const TwwGridColumn moved = *it;
      ordered.erase(it);
      ordered.insert(ordered.begin() + std::min<std::ptrdiff_t>(to, static_cast<std::ptrdiff_t>(ordered.size())), moved);
      ++to;
    }
  }
  for (int k = 0; k < table_->IndexFieldCount() && firstKey.isEmpty(); ++k)
    if (TField* key = table_->IndexField(k); key && key->Visible()) firstKey = key->FieldName();
  columns_ = ordered;
  QStringList order;
  for (const TwwGridColumn& c : columns_) order << c.FieldName;
  owner_->columnOrder_ = order;
  wwIncrementalSearch1->SearchField = firstKey.isEmpty() && !columns_.empty() ? columns_.front().FieldName : firstKey;
  if (firstKey.isEmpty() && table_->FieldCount() > 0) wwIncrementalSearch1->SearchField = table_->Fields().front()->FieldName();
  wwDBGrid1->SetColumns(columns_);
}

void TwwLookupDlg::FillSearchBy() {
  SearchByCombo->clear();
  table_->UpdateIndexDefs();
  int selected = -1;
  for (const TIndexDef& def : table_->IndexDefs()) {
    const QString first = FirstField(def);
    TField* field = table_->FindFieldNamed(first);
    if (!field) continue;
    const bool isColumn = std::any_of(columns_.begin(), columns_.end(), [&](const TwwGridColumn& c) {
      return c.FieldName.compare(first, Qt::CaseInsensitive) == 0;
    });
    if (!isColumn) continue;
    const QString text = EntryText(*field, def);
    if (SearchByCombo->findText(text) < 0) SearchByCombo->addItem(text);
    const bool active = (!table_->IndexName().isEmpty() && def.Name.compare(table_->IndexName(), Qt::CaseInsensitive) == 0) ||
                        (table_->IndexName().isEmpty() && !table_->IndexFieldNames().isEmpty() &&
                         def.Fields.compare(table_->IndexFieldNames(), Qt::CaseInsensitive) == 0);
    if (active && selected < 0) selected = SearchByCombo->findText(text);
  }
  SearchByCombo->setCurrentIndex(selected);
  SortByLabel->show();
  SearchByCombo->show();
}

void TwwLookupDlg::ChooseSearchBy(const QString& text) {
  const TIndexDef* chosen = nullptr;
  const TIndexDef* caseInsensitive = nullptr;
  for (const TIndexDef& def : table_->IndexDefs()) {
    TField* field = table_->FindFieldNamed(FirstField(def));
    if (!field || EntryText(*field, def) != text) continue;
    if (!chosen) chosen = &def;
    if (!caseInsensitive && (def.Options & ixCaseInsensitive)) caseInsensitive = &def;
  }
  if (caseInsensitive) chosen = caseInsensitive;
  if (!chosen) return;
  const QString name = chosen->Name;
  table_->SetIndexName(name);
  wwIncrementalSearch1->Reset();
  wwDBGrid1->Reload();
  KeyColumnsFirst();
  wwDBGrid1->FitLastColumn(wwDBGrid1->width());
  if (!SearchByCombo->DroppedDown()) wwIncrementalSearch1->setFocus();
  if (owner_->OnSortChange) owner_->OnSortChange(*this);
}

void TwwLookupDlg::LayOut() {
  const QRect work = screen() ? screen()->availableGeometry() : QRect(0, 0, 1024, 768);
  int maxWidth = owner_->MaxWidth <= 0 ? work.width() - 40 : std::min(owner_->MaxWidth, work.width() - 40);
  int maxHeight = owner_->MaxHeight <= 0 ? work.height() - 200 : std::min(owner_->MaxHeight, work.height() - 200);
  const int buttonWidth = OKBtn->width();
  const int buttonHeight = OKBtn->height();
  const bool okCancel = owner_->Options & opShowOKCancel;
  const int minimum = okCancel ? 2 * buttonWidth + 18 : SortByLabel->sizeHint().width() + 3;

  int natural = wwDBGrid1->NaturalWidth();
  bool widened = false;
  if (natural < minimum) {
    wwDBGrid1->FitLastColumn(minimum);
    natural = wwDBGrid1->NaturalWidth();
    widened = true;
  }
  const int gridWidth = std::max(std::min(natural, maxWidth), minimum);
  wwDBGrid1->setHorizontalScrollBarPolicy(natural <= gridWidth ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
  const int margin = Scaled(8, this);
  const int line = fontMetrics().height();

  SearchCharacterLabel->move(margin, margin);
  SearchCharacterLabel->adjustSize();
  const int searchTop = margin + Scaled(3, this) + line;
  const bool searchBy = owner_->Options & opShowSearchBy;
  const bool grouped = searchBy && (owner_->Options & opGroupControls);
  const int editHeight = wwIncrementalSearch1->sizeHint().height();
  if (grouped) {
    const int half = gridWidth / 2 - Scaled(10, this);
    wwIncrementalSearch1->setGeometry(margin, searchTop, half, editHeight);
    SortByLabel->move(margin + gridWidth - half, margin);
    SearchByCombo->setGeometry(margin + gridWidth - half, searchTop, half, editHeight);
    if (wwIncrementalSearch1->width() < SearchCharacterLabel->width())
      SearchCharacterLabel->setText(TwwIntl::Instance().SearchDialog.SearchCharShortLabel);
  } else {
    wwIncrementalSearch1->setGeometry(margin, searchTop, gridWidth, editHeight);
  }
  const int gridTop = searchTop + editHeight + margin;
  wwDBGrid1->setGeometry(margin, gridTop, gridWidth, maxHeight);
  int bottom = gridTop + maxHeight;
  if (searchBy && !grouped) {
    SortByLabel->move(margin, bottom + margin);
    SortByLabel->adjustSize();
    const int comboTop = bottom + margin + line + Scaled(3, this);
    SearchByCombo->setGeometry(margin, comboTop, gridWidth, SearchByCombo->sizeHint().height());
    bottom = comboTop + SearchByCombo->height();
  }
  const int windowWidth = gridWidth + 2 * margin;
  if (okCancel) {
    const int top = bottom + Scaled(13, this);
    const int shift = widened ? 5 : 0;
    OKBtn->move(windowWidth - 2 * buttonWidth - Scaled(36, this) + shift, top);
    CancelBtn->move(windowWidth - buttonWidth - Scaled(23, this) + shift, top);
    bottom = top + buttonHeight;
  } else {
    OKBtn->hide();
    CancelBtn->hide();
  }
  setFixedSize(windowWidth, bottom + Scaled(9, this));
  const int left = work.left() + (work.width() - windowWidth) / 2;
  const int top = std::max(0, (work.top() + work.bottom() - maxHeight - 200) / 2);
  move(left, top);
}

void TwwLookupDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!activated_) {
    activated_ = true;
    wwIncrementalSearch1->setFocus();
  }
}

bool TwwLookupDlg::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      OKBtn->setFocus();
      accept();
      return true;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Up:
    case Qt::Key_Down:
      if (watched == wwDBGrid1) return false;
      {
        QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text());
        QApplication::sendEvent(wwDBGrid1, &copy);
      }
      return true;
    default: break;
  }
  return QDialog::eventFilter(watched, event);
}

void TwwLookupDlg::done(int result) {
  if (SearchByCombo->DroppedDown()) return;
  RunGuarded([this] { wwIncrementalSearch1->FlushPendingSearch(); });
  if (owner_->OnCloseDialog) RunGuarded([this] { owner_->OnCloseDialog(*this); });
  QDialog::done(result);
}

}  // namespace tindrel
