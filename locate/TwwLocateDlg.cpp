#include "locate/TwwLocateDlg.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QTimer>

#include <algorithm>
#include <vector>

#include "locate/TwwLocateDialog.h"
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

void Place(QWidget* w, int left, int top, int width, int height) {
  w->setGeometry(Scaled(left, w), Scaled(top, w), Scaled(width, w), Scaled(height, w));
}

template <typename W>
W* Make(QWidget* parent, const char* name) {
  auto* w = new W(parent);
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

bool IsListedType(TFieldType type) { return type != ftBlob && type != ftGraphic && type != ftBytes; }

}  // namespace

TwwLocateDlg::TwwLocateDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("wwLocateDlg"));
  setWindowTitle(QStringLiteral("Locate Value"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(Scaled(212, this), Scaled(238, this));
  setFont(DialogFont());
  QPalette palette = this->palette();
  palette.setColor(QPalette::WindowText, Qt::black);
  setPalette(palette);

  // Creation order is the tab order inside each parent.
  FieldValueGroup = Make<QGroupBox>(this, "FieldValueGroup");
  Place(FieldValueGroup, 4, 4, 201, 45);
  SearchValue = Make<QLineEdit>(FieldValueGroup, "SearchValue");
  Place(SearchValue, 12, 17, 181, 20);

  SearchTypeGroup = Make<QGroupBox>(this, "SearchTypeGroup");
  Place(SearchTypeGroup, 4, 52, 201, 101);
  CaseSensitiveCheckBox = Make<QCheckBox>(SearchTypeGroup, "CaseSensitiveCheckBox");
  Place(CaseSensitiveCheckBox, 12, 16, 181, 21);
  ExactMatchBtn = Make<QRadioButton>(SearchTypeGroup, "ExactMatchBtn");
  Place(ExactMatchBtn, 12, 44, 181, 17);
  PartialMatchStartBtn = Make<QRadioButton>(SearchTypeGroup, "PartialMatchStartBtn");
  Place(PartialMatchStartBtn, 12, 64, 185, 13);
  PartialMatchAnyBtn = Make<QRadioButton>(SearchTypeGroup, "PartialMatchAnyBtn");
  Place(PartialMatchAnyBtn, 12, 80, 185, 17);
  Panel1 = Make<QFrame>(SearchTypeGroup, "Panel1");
  Panel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  Place(Panel1, 1, 38, 201, 2);
  PartialMatchStartBtn->setChecked(true);

  FieldsGroup = Make<QGroupBox>(this, "FieldsGroup");
  Place(FieldsGroup, 4, 156, 201, 49);
  FieldNameComboBox = Make<QComboBox>(FieldsGroup, "FieldNameComboBox");
  FieldNameComboBox->setEditable(false);
  Place(FieldNameComboBox, 12, 20, 181, 21);

  FirstButton = Make<QPushButton>(this, "FirstButton");
  Place(FirstButton, 4, 209, 57, 27);
  NextButton = Make<QPushButton>(this, "NextButton");
  Place(NextButton, 60, 209, 57, 27);
  for (QPushButton* b : {FirstButton, NextButton}) b->setAutoDefault(false);

  CancelButton = MakeDialogButton(this, TwwButtonKind::bkCancel, 72, 27);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));
  CancelButton->move(FieldsGroup->x() + FieldsGroup->width() - CancelButton->width() - 1, NextButton->y());

  // Tab order of the form: value group, search type group, fields group, First, Next, Cancel;
  // inside the search type group: check box, Exact, Start, Anywhere.
  setTabOrder(SearchValue, CaseSensitiveCheckBox);
  setTabOrder(CaseSensitiveCheckBox, ExactMatchBtn);
  setTabOrder(ExactMatchBtn, PartialMatchStartBtn);
  setTabOrder(PartialMatchStartBtn, PartialMatchAnyBtn);
  setTabOrder(PartialMatchAnyBtn, FieldNameComboBox);
  setTabOrder(FieldNameComboBox, FirstButton);
  setTabOrder(FirstButton, NextButton);
  setTabOrder(NextButton, CancelButton);

  for (QWidget* w : std::initializer_list<QWidget*>{SearchValue, CaseSensitiveCheckBox, ExactMatchBtn,
                                                    PartialMatchStartBtn, PartialMatchAnyBtn, FieldNameComboBox,
                                                    FirstButton, NextButton})
    w->setAttribute(Qt::WA_AlwaysShowToolTips, true);

  ApplyCatalogueTexts();
  SetDefaultButtons(false, true);

  connect(FirstButton, &QPushButton::clicked, this, [this] { RunGuarded([&] { FindFirst(); }); });
  connect(NextButton, &QPushButton::clicked, this, [this] { RunGuarded([&] { FindNextBtnClick(); }); });
  connect(FieldNameComboBox, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int) {
    if (!filling_) RunGuarded([&] { FieldNameComboBoxChange(); });
  });
  FieldNameComboBox->installEventFilter(this);
  FieldNameComboBox->view()->installEventFilter(this);
  SearchValue->setFocus();
}

TwwLocateDlg::~TwwLocateDlg() = default;

void TwwLocateDlg::ApplyCatalogueTexts() {
  const TwwIntl& intl = TwwIntl::Instance();
  const TwwLocateDialogIntl& t = intl.LocateDialog;
  FieldValueGroup->setTitle(t.FieldValueLabel);
  SearchTypeGroup->setTitle(t.SearchTypeLabel);
  CaseSensitiveCheckBox->setText(t.CaseSensitiveLabel);
  ExactMatchBtn->setText(t.MatchExactLabel);
  PartialMatchStartBtn->setText(t.MatchStartLabel);
  PartialMatchAnyBtn->setText(t.MatchAnyLabel);
  FieldsGroup->setTitle(t.FieldsLabel);
  FirstButton->setText(t.BtnFirst);
  NextButton->setText(t.BtnNext);
  CancelButton->setText(t.BtnCancel);
  SearchValue->setToolTip(t.FieldValueHint);
  CaseSensitiveCheckBox->setToolTip(t.CaseSensitiveHint);
  ExactMatchBtn->setToolTip(t.MatchExactHint);
  PartialMatchStartBtn->setToolTip(t.MatchStartHint);
  PartialMatchAnyBtn->setToolTip(t.MatchAnyHint);
  FirstButton->setToolTip(t.BtnFirstHint);
  NextButton->setToolTip(t.BtnNextHint);
  FieldNameComboBox->setToolTip(t.FieldNameHint);
  setFont(DialogFont());
}

QString TwwLocateDlg::ListText(const QString& displayLabel) {
  QString text = displayLabel;
  text.replace(u'~', u' ');
  return text;
}

void TwwLocateDlg::FillFieldList() {
  filling_ = true;
  FieldNameComboBox->clear();
  std::vector<QString> entries;
  if (LocateDataSet) {
    const bool visibleOnly = LocateOwner && LocateOwner->FieldSelection() == fsVisibleFields;
    for (const auto& field : LocateDataSet->Fields()) {
      if (!IsListedType(field->DataType())) continue;
      if (visibleOnly && !field->Visible()) continue;
      entries.push_back(ListText(field->DisplayLabel()));
    }
  }
  if (!LocateOwner || LocateOwner->SortFields() != fsSortByFieldNo)
    std::stable_sort(entries.begin(), entries.end(),
                     [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
  for (const QString& e : entries) FieldNameComboBox->addItem(e);
  FieldNameComboBox->setCurrentIndex(-1);
  filling_ = false;
}

bool TwwLocateDlg::SelectField(const QString& fieldName) {
  filling_ = true;
  int index = -1;
  if (TField* field = LocateDataSet ? LocateDataSet->FindFieldNamed(fieldName) : nullptr)
    index = FieldNameComboBox->findText(ListText(field->DisplayLabel()), Qt::MatchExactly);
  FieldNameComboBox->setCurrentIndex(index);
  filling_ = false;
  return index >= 0;
}

QString TwwLocateDlg::FieldNameOfLabel(const QString& label) const {
  if (!LocateDataSet || label.isEmpty()) return {};
  for (int pass = 0; pass < 2; ++pass) {
    for (const auto& field : LocateDataSet->Fields()) {
      if ((field->FieldKind() == fkData) != (pass == 0)) continue;
      if (ListText(field->DisplayLabel()) == label) return field->FieldName();
    }
  }
  return {};
}

void TwwLocateDlg::SetDefaultButtons(bool first, bool next) {
  firstDefault_ = first;
  nextDefault_ = next;
  ShowDefaultMark();
}

void TwwLocateDlg::ShowDefaultMark() {
  // Qt draws one default button per dialog: the one that answers Enter.
  FirstButton->setDefault(firstDefault_);
  NextButton->setDefault(!firstDefault_ && nextDefault_);
}

TwwLocateMatchType TwwLocateDlg::SelectedMatchType() const {
  if (ExactMatchBtn->isChecked()) return mtExactMatch;
  if (PartialMatchStartBtn->isChecked()) return mtPartialMatchStart;
  return mtPartialMatchAny;
}

bool TwwLocateDlg::SearchRequest(bool fromBeginning) {
  const TwwLocateMatchType matchType = SelectedMatchType();
  const QString fieldName = FieldNameOfLabel(FieldNameComboBox->currentText());
  bool found = false;
  if (!fieldName.isEmpty() && LocateDataSet)
    found = FindFieldValue(fromBeginning, *LocateDataSet, fieldName, SearchValue->text(), matchType, CaseFlag());
  if (found) {
    done(QDialog::Accepted);
    return true;
  }
  const TwwUserMessagesIntl& messages = TwwIntl::Instance().UserMessages;
  Platform::Instance().MessageBoxes().Show(QString::fromUtf8(kApplicationTitle),
                                           fromBeginning ? messages.LocateNoMatches : messages.LocateNoMoreMatches,
                                           MessageIcon::Information, mbOK);
  return false;
}

void TwwLocateDlg::FindFirst() { SearchRequest(true); }

void TwwLocateDlg::FindNextBtnClick() { SearchRequest(false); }

void TwwLocateDlg::FieldNameComboBoxChange() {
  SearchValue->clear();
  if (!FieldNameComboBox->view()->isVisible()) SearchValue->setFocus();
  if (LocateOwner && LocateOwner->OnSelectField) LocateOwner->OnSelectField(*LocateOwner, *this, FieldNameComboBox->currentText());
}

void TwwLocateDlg::FieldNameComboBoxEnter() { SetDefaultButtons(firstDefault_, false); }

void TwwLocateDlg::FieldNameComboBoxExit() { SetDefaultButtons(firstDefault_, true); }

void TwwLocateDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  RunGuarded([&] {
    ApplyCatalogueTexts();
    FitCaptions(*this);
    if (LocateOwner) {
      LocateOwner->form_ = this;
      if (LocateOwner->OnInitDialog) LocateOwner->OnInitDialog(*LocateOwner, *this);
    }
  });
}

void TwwLocateDlg::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier)) {
    QDialog::keyPressEvent(event);
    return;
  }
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button->isEnabled()) {
      button->click();
    } else if (firstDefault_ && FirstButton->isEnabled()) {
      FirstButton->click();
    } else if (nextDefault_ && NextButton->isEnabled()) {
      NextButton->click();
    }
    event->accept();
    return;
  }
  if (key == Qt::Key_Escape) {
    CancelButton->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool TwwLocateDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FieldNameComboBox) {
    if (event->type() == QEvent::FocusIn) {
      FieldNameComboBoxEnter();
    } else if (event->type() == QEvent::FocusOut &&
               static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
      FieldNameComboBoxExit();
    }
  } else if (watched == FieldNameComboBox->view() && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      // Enter in the open list closes it (the list does that itself) and goes to the value box.
      QTimer::singleShot(0, this, [this] { SearchValue->setFocus(); });
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace tindrel
