#include "filter/TwwFilterDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabBar>

#include <algorithm>
#include <numeric>

#include "filter/FilterMatching.h"
#include "filter/FilterValueSyntax.h"
#include "filter/TwwFilterDialog.h"
#include "filter/TwwFilterDialogView.h"
#include "navigator/CaptionFit.h"
#include "navigator/DialogButtons.h"
#include "navigator/TwwIntl.h"
#include "platform/ErrorBox.h"
#include "platform/Errors.h"
#include "platform/Platform.h"
#include "store/TDataSet.h"
#include "store/TField.h"

namespace tindrel {

namespace {

const QString& NoCriteriaText() {
  static const QString text = QStringLiteral("You have not selected any search criteria");
  return text;
}

void ShowInformation(const QString& text) {
  Platform::Instance().MessageBoxes().Show(QString::fromLatin1(kApplicationTitle), text, MessageIcon::Information, mbOK);
}

QString Tilde(const QString& s) {
  QString out = s;
  out.replace(u'~', u' ');
  return out;
}

// The earliest date a picker holds stands for "no date": the picker then shows an empty text.
const QDateTime& NoDate() {
  static const QDateTime none(QDate(100, 1, 1), QTime(0, 0));
  return none;
}

QDateTimeEdit* MakeDatePicker(QWidget* parent, const char* name) {
  auto* picker = new QDateTimeEdit(parent);
  picker->setObjectName(QString::fromLatin1(name));
  picker->setCalendarPopup(true);
  picker->setMinimumDateTime(NoDate());
  picker->setSpecialValueText(QStringLiteral(" "));
  picker->setDateTime(NoDate());
  return picker;
}

bool PickerHasDate(const QDateTimeEdit* picker) { return picker->dateTime() != NoDate(); }

class Quiet {
 public:
  explicit Quiet(int& counter) : counter_(counter) { ++counter_; }
  ~Quiet() { --counter_; }
  Quiet(const Quiet&) = delete;
  Quiet& operator=(const Quiet&) = delete;

 private:
  int& counter_;
};

}  // namespace

// ---- TwwRadioGroup ------------------------------------------------------------------------------

TwwRadioGroup::TwwRadioGroup(const QStringList& items, int columns, QWidget* parent)
    : QWidget(parent), box_(new QGroupBox(this)), columns_(columns) {
  for (const QString& text : items) {
    auto* item = new QRadioButton(text, box_);
    connect(item, &QRadioButton::clicked, this, [this] { RunGuarded([&] { emit Clicked(); }); });
    items_.push_back(item);
  }
}

int TwwRadioGroup::ItemIndex() const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i]->isChecked()) return static_cast<int>(i);
  return -1;
}

void TwwRadioGroup::SetItemIndex(int index) {
  if (index == ItemIndex()) return;
  if (index >= 0 && index < Count()) {
    items_[index]->setChecked(true);
  } else {
    for (QRadioButton* item : items_) {
      item->setAutoExclusive(false);
      item->setChecked(false);
      item->setAutoExclusive(true);
    }
  }
  emit Clicked();
}

int TwwRadioGroup::Count() const { return static_cast<int>(items_.size()); }

void TwwRadioGroup::RemoveItem(int index) {
  if (index < 0 || index >= Count()) return;
  delete items_[index];
  items_.erase(items_.begin() + index);
  Arrange();
}

QRadioButton* TwwRadioGroup::Item(int index) const {
  return index >= 0 && index < Count() ? items_[index] : nullptr;
}

void TwwRadioGroup::SetCaption(const QString& caption) { box_->setTitle(caption); }

void TwwRadioGroup::resizeEvent(QResizeEvent*) { Arrange(); }

void TwwRadioGroup::Arrange() {
  box_->setGeometry(0, 0, width(), height());
  if (items_.empty()) return;
  const int top = 16, left = 8;
  const int rows = (Count() + columns_ - 1) / columns_;
  const int rowHeight = std::max(14, (height() - top - 4) / std::max(1, rows));
  // Columns of equal width, unless a caption needs more than its share: then each column is as
  // wide as its widest item and what is left over is shared out; when even that is too little
  // the group grows.
  std::vector<int> needs(columns_, 0);
  for (int i = 0; i < Count(); ++i)
    needs[i / rows] = std::max(needs[i / rows], items_[i]->width() + CaptionShortfall(*items_[i]));
  int room = width() - left * 2;
  std::vector<int> widths(columns_, room / columns_);
  if (*std::max_element(needs.begin(), needs.end()) > room / columns_) {
    const int total = std::accumulate(needs.begin(), needs.end(), 0);
    if (total > room) {
      WidenControl(*this, total - room);
      box_->setGeometry(0, 0, width(), height());
      room = width() - left * 2;
    }
    for (int c = 0; c < columns_; ++c) widths[c] = needs[c] + (room - total) / columns_;
  }
  int x = left;
  for (int c = 0; c < columns_; ++c) {
    for (int row = 0; row < rows && c * rows + row < Count(); ++row)
      items_[c * rows + row]->setGeometry(x, top + row * rowHeight, widths[c], rowHeight);
    x += widths[c];
  }
}

// ---- construction -------------------------------------------------------------------------------

TwwFilterDlg::TwwFilterDlg(TwwFilterDialog& owner, TDataSet& dataSet, QWidget* parent)
    : QDialog(parent), owner_(owner), dataSet_(dataSet), workingList_(owner.FieldInfo()) {
  setObjectName(QStringLiteral("wwFilterDlg"));
  setWindowTitle(QStringLiteral("Super Search"));
  setModal(true);
  owner_.BuildFieldCatalogue();
  auto S = [this](int px) { return Scaled(px, this); };
  setFixedSize(S(476), S(240));
  setFont(DialogFont());

  FieldsLbl = new QLabel(this);
  FieldsLbl->setObjectName(QStringLiteral("FieldsLbl"));
  FieldsLbl->move(S(8), S(4));
  FieldsListBox = new QListWidget(this);
  FieldsListBox->setObjectName(QStringLiteral("FieldsListBox"));
  FieldsListBox->setGeometry(S(8), S(20), S(165), S(160));
  FieldsLbl->setBuddy(FieldsListBox);
  FieldTabSet = new QTabBar(this);
  FieldTabSet->setObjectName(QStringLiteral("FieldTabSet"));
  FieldTabSet->addTab(QString());
  FieldTabSet->addTab(QString());
  FieldTabSet->setShape(QTabBar::TriangularSouth);
  FieldTabSet->setGeometry(S(8), S(179), S(165), S(17));
  FieldTabSet->setFocusPolicy(Qt::NoFocus);
  FieldOrder = new TwwRadioGroup({QString(), QString()}, 2, this);
  FieldOrder->setObjectName(QStringLiteral("FieldOrder"));
  FieldOrder->setGeometry(S(5), S(201), S(170), S(37));

  FieldCriteria = new QGroupBox(this);
  FieldCriteria->setObjectName(QStringLiteral("FieldCriteria"));
  FieldCriteria->setGeometry(S(180), S(3), S(205), S(179));
  SelectNotebook = new QStackedWidget(FieldCriteria);
  SelectNotebook->setObjectName(QStringLiteral("SelectNotebook"));
  SelectNotebook->setGeometry(S(2), S(14), S(201), S(163));
  auto* valuePage = new QWidget;
  valuePage->setObjectName(QStringLiteral("AsString"));
  auto* rangePage = new QWidget;
  rangePage->setObjectName(QStringLiteral("asValue"));
  SelectNotebook->addWidget(valuePage);
  SelectNotebook->addWidget(rangePage);

  FieldValueLbl = new QLabel(valuePage);
  FieldValueLbl->setObjectName(QStringLiteral("FieldValueLbl"));
  FieldValueLbl->move(S(8), S(7));
  FilterValueEdit = new QLineEdit(valuePage);
  FilterValueEdit->setObjectName(QStringLiteral("FilterValueEdit"));
  FilterValueEdit->setGeometry(S(8), S(22), S(133), S(21));
  FilterValueCombo = new QComboBox(valuePage);
  FilterValueCombo->setObjectName(QStringLiteral("FilterValueCombo"));
  FilterValueCombo->setEditable(true);
  FilterValueCombo->setInsertPolicy(QComboBox::NoInsert);
  FilterValueCombo->setMaxVisibleItems(8);
  FilterValueCombo->setGeometry(S(8), S(22), S(133), S(21));
  FilterValueCombo->hide();
  FilterValueClearButton = new QPushButton(valuePage);
  FilterValueClearButton->setObjectName(QStringLiteral("FilterValueClearButton"));
  FilterValueClearButton->setGeometry(S(144), S(23), S(45), S(21));
  FilterValueClearButton->setEnabled(false);
  MatchTypeGroup = new TwwRadioGroup({QString(), QString(), QString()}, 1, valuePage);
  MatchTypeGroup->setObjectName(QStringLiteral("MatchTypeGroup"));
  MatchTypeGroup->setGeometry(S(8), S(48), S(182), S(73));
  Panel1 = new QFrame(valuePage);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setGeometry(S(8), S(118), S(182), S(42));
  CaseSensitive = new QCheckBox(Panel1);
  CaseSensitive->setObjectName(QStringLiteral("CaseSensitive"));
  CaseSensitive->setGeometry(S(9), S(6), S(170), S(17));
  Nonmatching = new QCheckBox(Panel1);
  Nonmatching->setObjectName(QStringLiteral("Nonmatching"));
  Nonmatching->setGeometry(S(9), S(22), S(170), S(17));

  StartingRangeLbl = new QLabel(rangePage);
  StartingRangeLbl->setObjectName(QStringLiteral("StartingRangeLbl"));
  StartingRangeLbl->move(S(7), S(9));
  EndingRangeLbl = new QLabel(rangePage);
  EndingRangeLbl->setObjectName(QStringLiteral("EndingRangeLbl"));
  EndingRangeLbl->move(S(7), S(52));
  MinValueEdit = new QLineEdit(rangePage);
  MinValueEdit->setObjectName(QStringLiteral("MinValueEdit"));
  MinValueEdit->setGeometry(S(7), S(24), S(140), S(21));
  MaxValueEdit = new QLineEdit(rangePage);
  MaxValueEdit->setObjectName(QStringLiteral("MaxValueEdit"));
  MaxValueEdit->setGeometry(S(7), S(67), S(140), S(21));
  MinDateEdit = MakeDatePicker(rangePage, "MinDateEdit");
  MinDateEdit->setGeometry(S(7), S(24), S(140), S(21));
  MinDateEdit->hide();
  MaxDateEdit = MakeDatePicker(rangePage, "MaxDateEdit");
  MaxDateEdit->setGeometry(S(7), S(67), S(140), S(21));
  MaxDateEdit->hide();
  MinValueClearButton = new QPushButton(rangePage);
  MinValueClearButton->setObjectName(QStringLiteral("MinValueClearButton"));
  MinValueClearButton->setGeometry(S(152), S(24), S(45), S(21));
  MinValueClearButton->setEnabled(false);
  MaxValueClearButton = new QPushButton(rangePage);
  MaxValueClearButton->setObjectName(QStringLiteral("MaxValueClearButton"));
  MaxValueClearButton->setGeometry(S(152), S(68), S(45), S(21));
  MaxValueClearButton->setEnabled(false);

  ValueRangeTabSet = new QTabBar(this);
  ValueRangeTabSet->setObjectName(QStringLiteral("ValueRangeTabSet"));
  ValueRangeTabSet->addTab(QString());
  ValueRangeTabSet->addTab(QString());
  ValueRangeTabSet->setShape(QTabBar::TriangularSouth);
  ValueRangeTabSet->setGeometry(S(180), S(180), S(199), S(21));
  ValueRangeTabSet->setFocusPolicy(Qt::NoFocus);
  ViewButton = new QPushButton(this);
  ViewButton->setObjectName(QStringLiteral("ViewButton"));
  ViewButton->setGeometry(S(180), S(209), S(95), S(25));
  ViewButton->setFocusPolicy(Qt::NoFocus);
  ClearSearchButton = new QPushButton(this);
  ClearSearchButton->setObjectName(QStringLiteral("ClearSearchButton"));
  ClearSearchButton->setGeometry(S(284), S(209), S(95), S(25));
  ClearSearchButton->setFocusPolicy(Qt::NoFocus);
  ClearSearchButton->setEnabled(false);

  OKButton = MakeDialogButton(this, TwwButtonKind::bkOK);
  OKButton->move(FieldCriteria->geometry().right() + 1 + S(7), S(22));
  OKButton->setEnabled(false);
  CancelButton = MakeDialogButton(this, TwwButtonKind::bkCancel);
  CancelButton->move(FieldCriteria->geometry().right() + 1 + S(7), S(62));
  // The two buttons come right after the criteria group in the tab order.
  setTabOrder(FieldCriteria, OKButton);
  setTabOrder(OKButton, CancelButton);

  for (QPushButton* b : {FilterValueClearButton, MinValueClearButton, MaxValueClearButton, ViewButton, ClearSearchButton})
    b->setAutoDefault(false);

  valueEditor_ = FilterValueEdit;
  minEditor_ = MinValueEdit;
  maxEditor_ = MaxValueEdit;
  FieldValueLbl->setBuddy(FilterValueEdit);
  StartingRangeLbl->setBuddy(MinValueEdit);
  EndingRangeLbl->setBuddy(MaxValueEdit);
  ApplyIntl();

  // Handlers: every one runs guarded, since Qt calls it.
  auto guarded = [](auto fn) { return [fn] { RunGuarded(fn); }; };
  connect(FieldsListBox, &QListWidget::currentRowChanged, this, [this](int) {
    if (quiet_ == 0 && FieldsListBox->hasFocus()) RunGuarded([&] { FieldsListBoxClick(); });
  });
  connect(FieldsListBox, &QListWidget::itemClicked, this, [this](QListWidgetItem*) {
    if (quiet_ == 0 && FieldsListBox->currentRow() != currentField_) RunGuarded([&] { FieldsListBoxClick(); });
  });
  connect(FieldOrder, &TwwRadioGroup::Clicked, this, [this] {
    if (quiet_ == 0) RunGuarded([&] { FieldOrderClick(); });
  });
  connect(FieldTabSet, &QTabBar::currentChanged, this, [this](int tab) {
    if (quiet_ == 0) RunGuarded([&] { FieldTabSetChange(tab); });
  });
  connect(ValueRangeTabSet, &QTabBar::currentChanged, this, [this](int tab) {
    if (quiet_ == 0) RunGuarded([&] { ValueRangeTabSetChange(tab); });
  });
  connect(MatchTypeGroup, &TwwRadioGroup::Clicked, this, guarded([this] { ChooseValueEditor(); }));
  connect(FilterValueEdit, &QLineEdit::textChanged, this, guarded([this] { FilterValueComboChange(); }));
  connect(FilterValueCombo, &QComboBox::editTextChanged, this, guarded([this] { FilterValueComboChange(); }));
  connect(MinValueEdit, &QLineEdit::textChanged, this, guarded([this] { FilterValueComboChange(); }));
  connect(MaxValueEdit, &QLineEdit::textChanged, this, guarded([this] { FilterValueComboChange(); }));
  connect(MinDateEdit, &QDateTimeEdit::dateTimeChanged, this, guarded([this] { FilterValueComboChange(); }));
  connect(MaxDateEdit, &QDateTimeEdit::dateTimeChanged, this, guarded([this] { FilterValueComboChange(); }));
  connect(FilterValueClearButton, &QPushButton::clicked, this, guarded([this] {
    if (valueEditor_ == FilterValueCombo) FilterValueCombo->setEditText(QString());
    else FilterValueEdit->clear();
    FilterValueClearButton->setEnabled(false);
  }));
  connect(MinValueClearButton, &QPushButton::clicked, this, guarded([this] {
    SetRangeEditor(minEditor_, QString());
    MinValueClearButton->setEnabled(false);
  }));
  connect(MaxValueClearButton, &QPushButton::clicked, this, guarded([this] {
    SetRangeEditor(maxEditor_, QString());
    MaxValueClearButton->setEnabled(false);
  }));
  connect(ClearSearchButton, &QPushButton::clicked, this, guarded([this] { ClearSearchButtonClick(); }));
  connect(ViewButton, &QPushButton::clicked, this, guarded([this] { ViewButtonClick(); }));

  // The form sees every key before its controls.
  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

TwwFilterDlg::~TwwFilterDlg() { PutBackOverrideCursors(); }

void TwwFilterDlg::ApplyIntl() {
  const TwwFilterDialogIntl& t = TwwIntl::Instance().FilterDialog;
  FieldsLbl->setText(t.FieldsLabel);
  FieldsLbl->adjustSize();
  FieldTabSet->setTabText(0, t.AllFieldsTab);
  FieldTabSet->setTabText(1, t.SearchedFieldsTab);
  FieldTabSet->setToolTip(t.FieldsTabHint);
  FieldOrder->SetCaption(t.FieldOrderCaption);
  FieldOrder->Item(0)->setText(t.FieldOrderAlphabetic);
  FieldOrder->Item(1)->setText(t.FieldOrderLogical);
  FieldOrder->setToolTip(t.FieldOrderHint);
  FieldValueLbl->setText(t.FieldValueLabel);
  FieldValueLbl->adjustSize();
  FilterValueEdit->setToolTip(t.FieldValueHint);
  FilterValueCombo->setToolTip(t.FieldValueHint);
  FilterValueClearButton->setText(t.ClearValueBtn);
  FilterValueClearButton->setToolTip(t.ClearValueHint);
  MatchTypeGroup->SetCaption(t.SearchTypeCaption);
  MatchTypeGroup->Item(miExact)->setText(t.MatchExact);
  MatchTypeGroup->Item(miStart)->setText(t.MatchStart);
  if (QRadioButton* any = MatchTypeGroup->Item(miAnywhere)) any->setText(t.MatchAny);
  MatchTypeGroup->setToolTip(t.SearchTypeHint);
  CaseSensitive->setText(t.CaseSensitiveLabel);
  CaseSensitive->setToolTip(t.CaseSensitiveHint);
  Nonmatching->setText(t.NonMatchingLabel);
  Nonmatching->setToolTip(t.NonMatchingHint);
  StartingRangeLbl->setText(t.StartingRangeLabel);
  StartingRangeLbl->adjustSize();
  EndingRangeLbl->setText(t.EndingRangeLabel);
  EndingRangeLbl->adjustSize();
  MinValueEdit->setToolTip(t.StartingRangeHint);
  MinDateEdit->setToolTip(t.StartingRangeHint);
  MaxValueEdit->setToolTip(t.EndingRangeHint);
  MaxDateEdit->setToolTip(t.EndingRangeHint);
  MinValueClearButton->setText(t.ClearStartingRangeBtn);
  MinValueClearButton->setToolTip(t.ClearStartingRangeHint);
  MaxValueClearButton->setText(t.ClearEndingRangeBtn);
  MaxValueClearButton->setToolTip(t.ClearEndingRangeHint);
  ValueRangeTabSet->setTabText(0, t.ByValueTab);
  ValueRangeTabSet->setTabText(1, t.ByRangeTab);
  ValueRangeTabSet->setToolTip(t.ValueRangeTabHint);
  ViewButton->setText(t.ViewSummaryBtn);
  ViewButton->setToolTip(t.ViewSummaryHint);
  ClearSearchButton->setText(t.NewSearchBtn);
  ClearSearchButton->setToolTip(t.NewSearchHint);
}

// ---- helpers --------------------------------------------------------------------------------------

QString TwwFilterDlg::SelectedText() const {
  QListWidgetItem* item = FieldsListBox->currentItem();
  return item ? item->text() : QString();
}

int TwwFilterDlg::RowOf(const QString& text) const {
  for (int i = 0; i < FieldsListBox->count(); ++i)
    if (FieldsListBox->item(i)->text() == text) return i;
  return -1;
}

void TwwFilterDlg::SelectRowQuietly(int row) {
  Quiet q(quiet_);
  FieldsListBox->setCurrentRow(row);
}

void TwwFilterDlg::SetTabQuietly(QTabBar* bar, int index) {
  Quiet q(quiet_);
  bar->setCurrentIndex(index);
  if (bar == FieldTabSet) fieldTab_ = index;
  else rangeTab_ = index;
}

void TwwFilterDlg::ShowPage(int page) {
  SelectNotebook->setCurrentIndex(page);
  SetTabQuietly(ValueRangeTabSet, page);
}

bool TwwFilterDlg::RangePageShown() const { return SelectNotebook->currentIndex() == 1; }

int TwwFilterDlg::FindCriterion(const QString& displayName) const {
  for (size_t i = 0; i < workingList_.size(); ++i)
    if (EqualsAsciiNoCase(workingList_[i].DisplayName, displayName)) return static_cast<int>(i);
  return -1;
}

TFieldType TwwFilterDlg::FieldTypeOf(const QString& displayName) {
  const QString fieldName = owner_.FieldNameFor(displayName);
  if (!fieldName.isEmpty())
    if (TField* f = dataSet_.FindFieldNamed(fieldName)) return f->DataType();
  for (const TwwDBFieldInfo& entry : owner_.FieldCatalogue())
    if (EqualsAsciiNoCase(Tilde(entry.DisplayLabel), Tilde(displayName))) return entry.FieldType;
  for (const QString& line : owner_.SelectedFields()) {
    const qsizetype semi = line.indexOf(u';');
    if (semi < 0) continue;
    if (EqualsAsciiNoCase(Tilde(line.mid(semi + 1)), Tilde(displayName)))
      if (TwwDBFieldInfo* entry = owner_.FindCatalogueEntry(line.left(semi))) return entry->FieldType;
  }
  return ftUnknown;
}

bool TwwFilterDlg::TypeIsValidated(TFieldType t) const {
  switch (t) {
    case ftSmallint: case ftInteger: case ftWord: case ftBoolean: case ftFloat: case ftCurrency:
    case ftDate: case ftDateTime: case ftAutoInc:
      return true;
    case ftTime: return owner_.FilterMethod() == fdByQueryModify;
    default: return false;
  }
}

bool TwwFilterDlg::TypeChecks(TFieldType type, const QString& part) const {
  const FilterLocale& locale = owner_.Locale();
  switch (type) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc:
      return FilterLocale::ParseInteger(part).has_value();
    case ftFloat: case ftCurrency: return locale.ParseFloat(part).has_value();
    case ftDate: return locale.ParseDate(part).has_value();
    case ftTime: return locale.ParseTime(part).has_value();
    case ftDateTime: return locale.ParseDateTime(part).has_value();
    default: return true;
  }
}

QString TwwFilterDlg::ValueEditorText() const {
  return valueEditor_ == FilterValueCombo ? FilterValueCombo->currentText() : FilterValueEdit->text();
}

QString TwwFilterDlg::ReadBound(QWidget* editor, bool lower, TFieldType type) const {
  if (auto* edit = qobject_cast<QLineEdit*>(editor)) return edit->text();
  auto* picker = qobject_cast<QDateTimeEdit*>(editor);
  if (!picker || !PickerHasDate(picker)) return {};
  const FilterLocale& locale = owner_.Locale();
  const QDateTime dt = picker->dateTime();
  const bool midnight = dt.time() == QTime(0, 0);
  if (lower) {
    if (!midnight && type == ftDateTime) return locale.FormatDate(dt.date()) + u' ' + locale.FormatTime(dt.time());
    return locale.FormatDate(dt.date());
  }
  if ((midnight && !picker->displayFormat().contains(locale.TimeSeparator())) || currentField_ < 0)
    return locale.FormatDate(dt.date());
  if (type == ftDateTime) return locale.FormatDate(dt.date()) + u' ' + locale.FormatTime(dt.time());
  return locale.FormatDate(dt.date());
}

void TwwFilterDlg::SetRangeEditor(QWidget* editor, const QString& text) {
  if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
    edit->setText(text);
    return;
  }
  auto* picker = qobject_cast<QDateTimeEdit*>(editor);
  if (!picker) return;
  const FilterLocale& locale = owner_.Locale();
  if (text.isEmpty()) {
    picker->setDateTime(NoDate());
  } else if (const auto dt = locale.ParseDateTime(text)) {
    picker->setDateTime(locale.HasTimePart(text) ? *dt : QDateTime(dt->date(), QTime(0, 0)));
  }
}

void TwwFilterDlg::SetRangeEditorsForType(TFieldType type) {
  const bool pickers = !(owner_.Options() & fdDisableDateTimePicker) && (type == ftDate || type == ftDateTime);
  const QString format = type == ftDateTime ? QStringLiteral("M/d/yyyy h:mm") : QStringLiteral("M/d/yyyy");
  if (pickers) {
    for (QDateTimeEdit* p : {MinDateEdit, MaxDateEdit}) {
      QString f = format;
      f.replace(u'/', owner_.Locale().DateSeparator());
      p->setDisplayFormat(f);
    }
  }
  minEditor_ = pickers ? static_cast<QWidget*>(MinDateEdit) : MinValueEdit;
  maxEditor_ = pickers ? static_cast<QWidget*>(MaxDateEdit) : MaxValueEdit;
  MinDateEdit->setVisible(pickers);
  MaxDateEdit->setVisible(pickers);
  MinValueEdit->setVisible(!pickers);
  MaxValueEdit->setVisible(!pickers);
  StartingRangeLbl->setBuddy(minEditor_);
  EndingRangeLbl->setBuddy(maxEditor_);
}

// ---- the list of fields ---------------------------------------------------------------------------

void TwwFilterDlg::FillFieldList(bool searchedOnly) {
  Quiet q(quiet_);
  FieldsListBox->clear();
  FieldsListBox->setSortingEnabled(FieldOrder->ItemIndex() == 0);
  auto offer = [&](const QString& name) {
    if (searchedOnly && FindCriterion(name) < 0) return;
    const QString shown = Tilde(name);
    if (RowOf(shown) >= 0) return;
    FieldsListBox->addItem(shown);
  };
  const QStringList& selected = owner_.SelectedFields();
  if (!selected.isEmpty()) {
    for (const QString& line : selected) {
      const qsizetype semi = line.indexOf(u';');
      const QString fieldName = semi < 0 ? line : line.left(semi);
      TwwDBFieldInfo* entry = owner_.FindCatalogueEntry(fieldName.trimmed());
      if (!entry) continue;
      if (semi >= 0 && semi + 1 < line.size()) {
        entry->DisplayLabel = line.mid(semi + 1);
        offer(entry->DisplayLabel);
      } else {
        offer(entry->DisplayLabel);
      }
    }
  } else {
    for (const TwwDBFieldInfo& entry : owner_.FieldCatalogue()) {
      if (entry.FieldType == ftBytes || entry.FieldType == ftBlob || entry.FieldType == ftGraphic) continue;
      offer(entry.DisplayLabel);
    }
  }
}

// ---- storing and loading --------------------------------------------------------------------------

bool TwwFilterDlg::SyncFieldEditors(bool loadExtras) {
  if (currentField_ >= 0 && currentField_ < FieldsListBox->count()) {
    const QString name = FieldsListBox->item(currentField_)->text();
    const TFieldType type = FieldTypeOf(name);
    const bool mappedCombo = valueEditor_ == FilterValueCombo && !comboValues_.isEmpty();
    const QString value = ValueEditorText();
    if (!mappedCombo && TypeIsValidated(type) && !ValidateValue(value)) {
      ShowPage(0);
      if (valueEditor_ == FilterValueCombo) FilterValueCombo->lineEdit()->selectAll();
      else FilterValueEdit->selectAll();
      valueEditor_->setFocus();
      SelectRowQuietly(currentField_);
      return false;
    }
    const QString lower = ReadBound(minEditor_, true, type);
    const QString upper = ReadBound(maxEditor_, false, type);
    for (auto [bound, editor] : {std::pair{lower, minEditor_}, std::pair{upper, maxEditor_}}) {
      if (!bound.isEmpty() && !ValidateBound(bound)) {
        ShowPage(1);
        if (auto* edit = qobject_cast<QLineEdit*>(editor)) edit->selectAll();
        editor->setFocus();
        SelectRowQuietly(currentField_);
        return false;
      }
    }
    if (activated_) {
      if (RangePageShown()) {
        StoreCriterion(name, fdMatchRange, Nonmatching->isChecked(), CaseSensitive->isChecked(), upper, lower, QString());
      } else {
        TwwFilterMatchType t = fdMatchAny;
        switch (MatchTypeGroup->ItemIndex()) {
          case miExact: t = fdMatchExact; break;
          case miStart: t = fdMatchStart; break;
          default: t = fdMatchAny; break;
        }
        QString stored = value;
        if (mappedCombo) {
          const int row = FilterValueCombo->findText(value);
          if (row >= 0 && row < comboValues_.size()) stored = comboValues_[row];
        }
        StoreCriterion(name, t, Nonmatching->isChecked(), CaseSensitive->isChecked(), QString(), QString(), stored);
      }
    }
    ClearSearchButton->setEnabled(!workingList_.empty());
  }

  const int row = FieldsListBox->currentRow();
  if (row >= 0) {
    currentField_ = row;
    const QString name = FieldsListBox->item(row)->text();
    const TFieldType type = FieldTypeOf(name);
    SetRangeEditorsForType(type);
    const int found = FindCriterion(name);
    TwwFieldInfo c;
    if (found >= 0) {
      c = workingList_[found];
    } else {
      c.CaseSensitive = (owner_.Options() & fdCaseSensitive) != 0;
      c.MatchType = fdMatchNone;
    }
    CaseSensitive->setChecked(c.CaseSensitive);
    Nonmatching->setChecked(c.NonMatching);
    if (loadExtras && owner_.OnSelectField) {
      QString fieldName = owner_.FieldNameFor(name);
      if (fieldName.isEmpty()) fieldName = name;
      QString mask;
      QStringList choices;
      owner_.OnSelectField(owner_, fieldName, mask, choices);
      pictureMask_ = mask;
      FilterValueCombo->clear();
      comboValues_.clear();
      for (const QString& choice : choices) {
        // "shown<TAB>stored" maps a shown entry to a stored value.
        const qsizetype tab = choice.indexOf(u'\t');
        FilterValueCombo->addItem(tab < 0 ? choice : choice.left(tab));
        if (tab >= 0) comboValues_ << choice.mid(tab + 1);
      }
      if (comboValues_.size() != FilterValueCombo->count()) comboValues_.clear();
    }
    ChooseValueEditor();
    TwwFilterMatchType shownType = c.MatchType;
    if (shownType != fdMatchExact && shownType != fdMatchStart && shownType != fdMatchAny)
      shownType = owner_.DefaultMatchType();
    {
      Quiet q(quiet_);
      const int item = shownType == fdMatchExact ? miExact : shownType == fdMatchStart ? miStart : miAnywhere;
      MatchTypeGroup->SetItemIndex(item < MatchTypeGroup->Count() ? item : miStart);
    }
    ChooseValueEditor();
    auto setValue = [this](const QString& v) {
      if (valueEditor_ == FilterValueCombo) {
        const int at = comboValues_.indexOf(v);
        FilterValueCombo->setEditText(at >= 0 ? FilterValueCombo->itemText(at) : v);
      } else {
        FilterValueEdit->setText(v);
      }
    };
    if (found < 0) {
      FilterValueEdit->clear();
      FilterValueCombo->setEditText(QString());
      SetRangeEditor(minEditor_, QString());
      SetRangeEditor(maxEditor_, QString());
    } else if (c.IsRange()) {
      SetRangeEditor(minEditor_, c.MinValue);
      SetRangeEditor(maxEditor_, c.MaxValue);
      if (loadExtras) {
        FilterValueEdit->clear();
        FilterValueCombo->setEditText(QString());
      }
    } else {
      setValue(c.FilterValue);
      if (loadExtras) {
        SetRangeEditor(minEditor_, QString());
        SetRangeEditor(maxEditor_, QString());
      }
    }
    FieldCriteria->setTitle(name);
    if (owner_.Options() & fdShowValueRangeTab) ValueRangeTabSet->show();
    const bool numberOrDate = TypeIsValidated(type);
    const bool byHook = owner_.FilterMethod() == fdByFilter &&
                        owner_.FilterPropertyOptions().DatasetFilterType == fdUseOnFilter;
    if (dataSet_.IsTable() || !numberOrDate || byHook) {
      if (!owner_.DataSetUsesSQL()) {
        MatchTypeGroup->setEnabled(true);
        CaseSensitive->setEnabled(true);
      } else if (owner_.FilterMethod() == fdByQueryModify && (type == ftBlob || type == ftMemo)) {
        CaseSensitive->setChecked(true);
        CaseSensitive->setEnabled(false);
        MatchTypeGroup->setEnabled(true);
        ValueRangeTabSet->hide();
      } else {
        MatchTypeGroup->setEnabled(true);
        CaseSensitive->setEnabled(true);
      }
    } else {
      Quiet q(quiet_);
      MatchTypeGroup->SetItemIndex(miExact);
      MatchTypeGroup->setEnabled(false);
      CaseSensitive->setEnabled(false);
    }
  }
  return true;
}

void TwwFilterDlg::StoreCriterion(const QString& name, TwwFilterMatchType type, bool nonMatching, bool caseSensitive,
                                  const QString& upper, const QString& lower, const QString& value) {
  const bool range = type == fdMatchRange;
  const int found = FindCriterion(name);
  if (found >= 0) {
    TwwFieldInfo& c = workingList_[found];
    if ((!range && value.isEmpty()) || (range && lower.isEmpty() && upper.isEmpty())) {
      workingList_.erase(workingList_.begin() + found);
      changed_ = true;
      return;
    }
    if (c.MatchType != type) changed_ = true;
    c.MatchType = type;
    if (range) {
      if (c.MinValue != lower || c.MaxValue != upper) changed_ = true;
      c.MinValue = lower;
      c.MaxValue = upper;
    } else {
      if (c.FilterValue != value || c.CaseSensitive != caseSensitive || c.NonMatching != nonMatching) changed_ = true;
      c.FilterValue = value;
      c.CaseSensitive = caseSensitive;
      c.NonMatching = nonMatching;
    }
    return;
  }
  if (range ? (lower.isEmpty() && upper.isEmpty()) : value.isEmpty()) return;
  TwwFieldInfo c;
  c.DisplayName = name;
  c.MatchType = type;
  if (range) {
    c.MinValue = lower;
    c.MaxValue = upper;
  } else {
    c.FilterValue = value;
    c.CaseSensitive = caseSensitive;
    c.NonMatching = nonMatching;
  }
  workingList_.push_back(c);
  changed_ = true;
}

void TwwFilterDlg::ChoosePage() {
  if (FieldsListBox->count() == 0) return;
  if (FieldsListBox->currentRow() < 0) SelectRowQuietly(0);
  const QString name = SelectedText();
  const int found = FindCriterion(name);
  int page = 0;
  if (found >= 0) {
    page = workingList_[found].IsRange() ? 1 : 0;
  } else {
    switch (owner_.DefaultFilterBy()) {
      case fdFilterByRange: page = 1; break;
      case fdFilterByValue: page = 0; break;
      case fdSmartFilter: {
        switch (FieldTypeOf(name)) {
          case ftSmallint: case ftInteger: case ftWord: case ftFloat: case ftCurrency: case ftDate:
          case ftDateTime: case ftAutoInc:
            page = 1;
            break;
          case ftTime: page = owner_.FilterMethod() == fdByQueryModify ? 1 : 0; break;
          default: page = 0; break;
        }
        break;
      }
    }
  }
  SelectNotebook->setCurrentIndex(page);
  if (ValueRangeTabSet->currentIndex() != page) ValueRangeTabSet->setCurrentIndex(page);  // runs its handler
}

void TwwFilterDlg::ChooseValueEditor() {
  QWidget* next = FilterValueEdit;
  const bool anywhere = MatchTypeGroup->Count() > miAnywhere && MatchTypeGroup->ItemIndex() == miAnywhere;
  if (!anywhere) {
    if (FilterValueCombo->count() > 0) next = FilterValueCombo;
    FilterValueEdit->setInputMask(pictureMask_);
  } else {
    FilterValueEdit->setInputMask(QString());
  }
  if (next != valueEditor_) {
    const QString text = ValueEditorText();
    if (next == FilterValueCombo) FilterValueCombo->setEditText(text);
    else FilterValueEdit->setText(text);
    next->show();
    valueEditor_->hide();
    valueEditor_ = next;
  }
  FieldValueLbl->setBuddy(valueEditor_);
}

void TwwFilterDlg::FocusEditor() {
  if (RangePageShown()) {
    minEditor_->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(minEditor_)) edit->selectAll();
    else if (auto* picker = qobject_cast<QDateTimeEdit*>(minEditor_)) picker->selectAll();
  } else {
    valueEditor_->setFocus();
    if (valueEditor_ == FilterValueCombo) FilterValueCombo->lineEdit()->selectAll();
    else FilterValueEdit->selectAll();
  }
}

void TwwFilterDlg::UpdateButtons() {
  const bool valueText = !ValueEditorText().isEmpty();
  const bool minText = !ReadBound(minEditor_, true, ftUnknown).isEmpty();
  const bool maxText = !ReadBound(maxEditor_, false, ftUnknown).isEmpty();
  FilterValueClearButton->setEnabled(valueText);
  MinValueClearButton->setEnabled(minText);
  MaxValueClearButton->setEnabled(maxText);
  ClearSearchButton->setEnabled(!workingList_.empty() || valueText || minText || maxText);
}

bool TwwFilterDlg::ValidateValue(const QString& text) {
  if (text.isEmpty() || currentField_ < 0) return true;
  const TFieldType type = FieldTypeOf(FieldsListBox->item(currentField_)->text());
  const TwwFieldOperators& ops = owner_.FieldOperators();
  QStringList parts;
  if (ops.OrChar().size() == 1) {
    parts = text.split(ops.OrChar()[0]);
  } else if (!ops.OrChar().isEmpty()) {
    parts = text.split(u' ' + ops.OrChar() + u' ', Qt::KeepEmptyParts, Qt::CaseInsensitive);
  } else {
    parts = {text};
  }
  for (const QString& raw : parts) {
    const QString part = TrimBlanksAndTabs(raw);
    if (part.compare(ops.NullChar(), Qt::CaseInsensitive) == 0) continue;
    if (!TypeChecks(type, part)) return false;
  }
  return true;
}

bool TwwFilterDlg::ValidateBound(const QString& text) {
  if (text.isEmpty() || currentField_ < 0 || currentField_ >= FieldsListBox->count()) return true;
  const QString fieldName = owner_.FieldNameFor(FieldsListBox->item(currentField_)->text());
  TField* field = fieldName.isEmpty() ? nullptr : dataSet_.FindFieldNamed(fieldName);
  if (!field) return true;
  return TypeChecks(field->DataType(), TrimBlanksAndTabs(text));
}

// ---- handlers -------------------------------------------------------------------------------------

void TwwFilterDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (shown_) return;
  shown_ = true;
  RunGuarded([&] { FormShow(); });
  // Stores start once the form is up: loading the first field above must not store.
  activated_ = true;
}

void TwwFilterDlg::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) activated_ = true;
}

void TwwFilterDlg::FormShow() {
  auto S = [this](int px) { return Scaled(px, this); };
  const TwwFilterDialogOptions options = owner_.Options();
  const TwwFilterPropertyOptions& props = owner_.FilterPropertyOptions();
  int formWidth = width();
  if (!(options & fdShowOKCancel)) {
    OKButton->move(OKButton->x(), 1000);
    CancelButton->move(CancelButton->x(), 1000);
    formWidth -= OKButton->width() + 8;
  }
  if ((options & fdHidePartialAnywhere) ||
      (owner_.FilterMethod() == fdByFilter && props.DatasetFilterType == fdUseFilterProp && !props.UseLikeOperator)) {
    MatchTypeGroup->RemoveItem(miAnywhere);
    MatchTypeGroup->resize(MatchTypeGroup->width(), MatchTypeGroup->height() - 10);
  }
  if (!(options & fdShowFieldOrder)) FieldOrder->hide();
  if (!(options & fdShowViewSummary)) {
    ViewButton->hide();
    ClearSearchButton->move(ViewButton->pos());
  }
  if (!(options & fdShowValueRangeTab)) ValueRangeTabSet->hide();
  const bool filterText = props.DatasetFilterType == fdUseFilterProp || props.DatasetFilterType == fdUseBothFilterTypes;
  if (!(options & fdShowCaseSensitive) || (filterText && (!props.UseLikeOperator || !props.LikeSupportsUpperKeyword)))
    CaseSensitive->hide();
  const bool caseShows = !CaseSensitive->isHidden();
  if (!(options & fdShowNonMatching)) {
    Nonmatching->hide();
    if (caseShows) Panel1->resize(Panel1->width(), 26);
    else Panel1->hide();
  } else if (caseShows) {
    Panel1->resize(Panel1->width(), 41);
  } else {
    Panel1->resize(Panel1->width(), 26);
    Nonmatching->move(Nonmatching->x(), 5);
  }
  FieldOrder->SetItemIndex(owner_.SortBy() == fdSortByFieldName ? 0 : 1);

  if (workingList_.empty()) {
    const QString defaultField = owner_.DefaultField();
    QString wanted = defaultField;
    if (TField* f = dataSet_.FindFieldNamed(defaultField)) wanted = f->DisplayLabel();
    wanted = Tilde(wanted);
    int row = 0;
    for (int i = 0; i < FieldsListBox->count(); ++i)
      if (EqualsAsciiNoCase(FieldsListBox->item(i)->text(), wanted)) {
        row = i;
        break;
      }
    if (FieldsListBox->count() > 0) SelectRowQuietly(row);
  } else {
    FieldTabSet->setCurrentIndex(1);  // runs its handler, which lists the searched fields
    for (int i = 0; i < FieldsListBox->count(); ++i)
      if (FindCriterion(FieldsListBox->item(i)->text()) >= 0) {
        SelectRowQuietly(i);
        break;
      }
  }
  SyncFieldEditors(true);
  ChoosePage();
  FocusEditor();

  const int dlgHeight = owner_.DlgHeight();
  const bool order = (options & fdShowFieldOrder) != 0;
  FieldsListBox->resize(FieldsListBox->width(), S(dlgHeight - (order ? 107 : 70)));
  const int listBottom = FieldsListBox->geometry().bottom() + 1;
  FieldTabSet->move(FieldTabSet->x(), listBottom - 1);
  int buttonsTop;
  if (order) {
    FieldOrder->move(FieldOrder->x(), FieldTabSet->geometry().bottom() + 1 + 5);
    buttonsTop = FieldOrder->y() + 8;
  } else {
    buttonsTop = listBottom - ClearSearchButton->height();
  }
  buttonsTop = std::max(buttonsTop, S(209));
  ClearSearchButton->move(ClearSearchButton->x(), buttonsTop);
  ViewButton->move(ViewButton->x(), buttonsTop);
  // The height is the window's outer height; the title bar takes 27 of it at 96 dots per inch.
  setFixedSize(formWidth, S(dlgHeight - 27));

  LiftOverrideCursors();
  ApplyIntl();
  setFont(DialogFont());
  FieldOrder->Arrange();
  MatchTypeGroup->Arrange();
  FitCaptions(*this);
  if (owner_.OnInitDialog) owner_.OnInitDialog(*this);
  changed_ = !dataSet_.Active();
}

void TwwFilterDlg::LiftOverrideCursors() {
  // Whoever opened the form may show the hourglass around it; while the person works in the
  // form every control shows its own cursor (an I-beam in the edits), and the hourglass comes
  // back when the form goes.
  while (const QCursor* shown = QApplication::overrideCursor()) {
    liftedCursors_.push_back(*shown);
    QApplication::restoreOverrideCursor();
  }
}

void TwwFilterDlg::PutBackOverrideCursors() {
  for (auto it = liftedCursors_.rbegin(); it != liftedCursors_.rend(); ++it) QApplication::setOverrideCursor(*it);
  liftedCursors_.clear();
}

void TwwFilterDlg::hideEvent(QHideEvent* event) {
  PutBackOverrideCursors();
  QDialog::hideEvent(event);
}

void TwwFilterDlg::done(int result) {
  if (result == QDialog::Accepted) {
    bool ok = false;
    RunGuarded([&] { ok = FormCloseQuery(); });
    if (!ok) return;
  }
  QDialog::done(result);
}

bool TwwFilterDlg::FormCloseQuery() { return SyncFieldEditors(true); }

bool TwwFilterDlg::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && isVisible()) {
    auto* key = static_cast<QKeyEvent*>(event);
    bool consumed = false;
    RunGuarded([&] { consumed = FormKeyDown(key->key(), key->modifiers()); });
    if (consumed) return true;
  }
  return QDialog::eventFilter(watched, event);
}

bool TwwFilterDlg::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
  const bool listFocused = FieldsListBox->hasFocus();
  if (!listFocused) {
    if (key != Qt::Key_PageUp && key != Qt::Key_PageDown && key != Qt::Key_Up && key != Qt::Key_Down) return false;
    const bool upDown = key == Qt::Key_Up || key == Qt::Key_Down;
    if (upDown && (modifiers & Qt::AltModifier)) return false;
    QWidget* focus = QApplication::focusWidget();
    for (QDateTimeEdit* picker : {MinDateEdit, MaxDateEdit})
      if (upDown && focus && (focus == picker || picker->isAncestorOf(focus)) && PickerHasDate(picker)) return false;
    const int count = FieldsListBox->count();
    if (count == 0) return false;
    const int row = FieldsListBox->currentRow();
    const int itemHeight = std::max(1, FieldsListBox->sizeHintForRow(0));
    const int page = std::max(1, FieldsListBox->height() / itemHeight);
    int next = row;
    switch (key) {
      case Qt::Key_Down: next = row + 1; break;
      case Qt::Key_Up: next = row - 1; break;
      case Qt::Key_PageDown: next = row + page; break;
      default: next = row - page; break;
    }
    next = std::clamp(next, 0, count - 1);
    if (next == row) return false;
    SelectRowQuietly(next);
    if (SyncFieldEditors(true)) {
      ChoosePage();
      FocusEditor();
    }
    return true;
  }
  if (key == Qt::Key_Delete && FieldTabSet->currentIndex() == 1) {
    const int found = FindCriterion(SelectedText());
    if (found >= 0) {
      workingList_.erase(workingList_.begin() + found);
      changed_ = true;
    }
    FillFieldList(true);
    currentField_ = -1;
    if (FieldsListBox->count() > 0) SelectRowQuietly(0);
    SyncFieldEditors(true);
    ChoosePage();
    FieldsListBox->setFocus();
    return true;
  }
  return false;
}

void TwwFilterDlg::FieldsListBoxClick() {
  if (SyncFieldEditors(true)) {
    ChoosePage();
    FieldsListBox->setFocus();
  }
}

void TwwFilterDlg::FieldOrderClick() {
  const QString text = SelectedText();
  FillFieldList(FieldTabSet->currentIndex() == 1);
  SelectRowQuietly(RowOf(text));
  FieldsListBox->setFocus();
  currentField_ = FieldsListBox->currentRow();
}

void TwwFilterDlg::FieldTabSetChange(int newTab) {
  const int oldTab = fieldTab_;
  if (!SyncFieldEditors(false)) {
    SetTabQuietly(FieldTabSet, oldTab);
    return;
  }
  if (newTab == 1 && workingList_.empty()) {
    SetTabQuietly(FieldTabSet, oldTab);
    ShowInformation(NoCriteriaText());
    return;
  }
  fieldTab_ = newTab;
  const QString text = SelectedText();
  FillFieldList(newTab == 1);
  SelectRowQuietly(RowOf(text));
  FieldsListBox->setFocus();
  currentField_ = -1;
  ChoosePage();
  SyncFieldEditors(true);
  FieldsListBox->setFocus();
}

void TwwFilterDlg::ValueRangeTabSetChange(int newTab) {
  const int oldTab = rangeTab_;
  SelectNotebook->setCurrentIndex(newTab);
  rangeTab_ = newTab;
  if (!SyncFieldEditors(false)) {
    if (SelectNotebook->currentIndex() != newTab) return;  // the check showed the page with the bad text
    ShowPage(oldTab);
    return;
  }
  FocusEditor();
}

void TwwFilterDlg::FilterValueComboChange() {
  UpdateButtons();
  OKButton->setEnabled(true);
}

void TwwFilterDlg::ClearSearchButtonClick() {
  workingList_.clear();
  changed_ = true;
  FilterValueEdit->clear();
  FilterValueCombo->setEditText(QString());
  SetRangeEditor(minEditor_, QString());
  SetRangeEditor(maxEditor_, QString());
  ClearSearchButton->setEnabled(false);
  if (FieldTabSet->currentIndex() != 0) FieldTabSet->setCurrentIndex(0);  // runs its handler
  // After the tab's handler, which loads the field with the default search type.
  MatchTypeGroup->SetItemIndex(miStart);
}

void TwwFilterDlg::ViewButtonClick() {
  // A value that fails its check keeps the person on it, as OK does.
  if (!SyncFieldEditors(false)) return;
  if (workingList_.empty()) {
    ShowInformation(NoCriteriaText());
    return;
  }
  ShowSummary(owner_, workingList_, this);
  if (ValueRangeTabSet->currentIndex() == 1) minEditor_->setFocus();
  else valueEditor_->setFocus();
}

bool ExecuteSuperSearchForm(TwwFilterDialog& owner, TDataSet& dataSet, TwwFieldInfoList& criteria, bool& changed) {
  TwwFilterDlg form(owner, dataSet);
  form.setWindowTitle(owner.Caption());
  form.FillFieldList(false);
  const bool ok = form.exec() == QDialog::Accepted;
  criteria = form.WorkingList();
  changed = form.Changed();
  return ok;
}

}  // namespace tindrel
