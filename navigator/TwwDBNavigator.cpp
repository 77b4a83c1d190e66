#include "navigator/TwwDBNavigator.h"

#include <QMetaObject>
#include <QPainter>
#include <QShowEvent>
#include <qdrawutil.h>

#include <algorithm>

#include "navigator/DialogButtons.h"
#include "navigator/TwwCustomDialog.h"
#include "navigator/TwwNavGlyphs.h"
#include "navigator/TwwSearchDialog.h"
#include "platform/Errors.h"
#include "store/TDataSet.h"
#include "store/TDataSource.h"

namespace tindrel {

// ---------------------------------------------------------------------------------------------
// TwwCustomTransparentPanel

TwwCustomTransparentPanel::TwwCustomTransparentPanel(QWidget* parent) : QWidget(parent) {}

void TwwCustomTransparentPanel::SetTransparent(bool on) {
  transparent_ = on;
  setAttribute(Qt::WA_NoSystemBackground, on);
  update();
}

void TwwCustomTransparentPanel::SetBevelInner(TBevelCut cut) {
  if (cut == bevelInner_) return;
  bevelInner_ = cut;
  BevelsChanged();
  update();
}

void TwwCustomTransparentPanel::SetBevelOuter(TBevelCut cut) {
  if (cut == bevelOuter_) return;
  bevelOuter_ = cut;
  BevelsChanged();
  update();
}

void TwwCustomTransparentPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!transparent_) painter.fillRect(rect(), palette().window());
  QRect r = rect();
  for (TBevelCut cut : {bevelOuter_, bevelInner_}) {
    if (cut == bvNone) continue;
    qDrawShadeRect(&painter, r, palette(), cut == bvLowered, 1, 0);
    r.adjust(1, 1, -1, -1);
  }
}

// ---------------------------------------------------------------------------------------------
// TwwNavDataLink

void TwwNavDataLink::NotifyDataSetChange() { navigator_->UpdateAllButtons(ucDataSetChange); }

void TwwNavDataLink::NotifyEditingChange() { navigator_->UpdateAllButtons(ucEditingChange); }

void TwwNavDataLink::NotifyReadOnlyChange() { navigator_->UpdateAllButtons(ucEditingChange); }

void TwwNavDataLink::NotifyActiveChange() {
  TDataSet* dataSet = DataSet();
  if (dataSet && !dataSet->Active()) navigator_->DropNavBookmarks(dataSet);
  navigator_->UpdateAllButtons(ucActiveChange);
}

// ---------------------------------------------------------------------------------------------
// TwwNavButtons

int TwwNavButtons::Count() const { return static_cast<int>(navigator_->list_.size()); }

TwwNavButton* TwwNavButtons::Buttons(int i) const {
  if (i < 0 || i >= Count()) throw EInvalidOperation("Index of Buttons[] out of range");
  return navigator_->list_[static_cast<size_t>(i)];
}

int TwwNavButtons::VisibleCount() const {
  return static_cast<int>(std::count_if(navigator_->list_.begin(), navigator_->list_.end(),
                                        [](const TwwNavButton* b) { return b->Visible(); }));
}

TwwNavButton* TwwNavButtons::VisibleButtons(int i) const {
  int n = 0;
  if (i >= 0)
    for (TwwNavButton* b : navigator_->list_)
      if (b->Visible() && n++ == i) return b;
  throw EInvalidOperation("Index of VisibleButtons[] out of range");
}

int TwwNavButtons::RetrieveIndex(const TwwNavButton* button) const {
  const auto& list = navigator_->list_;
  const auto it = std::find(list.begin(), list.end(), button);
  if (it == list.end()) throw EInvalidOperation("Button parameter of RetrieveIndex not in Buttons list");
  return static_cast<int>(it - list.begin());
}

void TwwNavButtons::ArrangeButtons() { navigator_->ArrangeButtons(); }

void TwwNavButtons::UpdateAllButtons(TwwUpdateCause cause) {
  // A handler may add or remove buttons; walk a copy.
  const std::vector<TwwNavButton*> list = navigator_->list_;
  for (TwwNavButton* b : list) b->UpdateButtonState(cause);
}

// ---------------------------------------------------------------------------------------------
// TwwDBNavigator

TwwDBNavigator::TwwDBNavigator(QWidget* parent)
    : TwwCustomTransparentPanel(parent), dataLink_(this), buttons_(this) {
  // The search dialog is created by name on the first Search click.
  RegisterSearchDialogClass();
  resize(1, 25);
}

TwwDBNavigator::~TwwDBNavigator() {
  destroying_ = true;
  dataLink_.SetDataSource(nullptr);
  // The buttons are child widgets and go with the navigator; they must not call back.
  for (TwwNavButton* b : list_) b->navigator_ = nullptr;
  list_.clear();
}

TwwDBNavigator* TwwDBNavigator::PlaceOnMainWindow(QWidget* parent, TDataSource* source, TwwCustomDialog* filterDialog,
                                                  TwwCustomDialog* locateDialog) {
  struct Stored {
    const char* name;
    TwwNavButtonStyle style;
    const char* hint;
  };
  static const Stored kButtons[] = {
      {"Post", nbsPost, "Post changes of current record"},
      {"Cancel", nbsCancel, "Cancel changes made to current record"},
      {"Refresh", nbsRefresh, "Refresh the contents of the dataset"},
      {"SaveBookmark", nbsSaveBookmark, "Bookmark current record"},
      {"RestoreBookmark", nbsRestoreBookmark, "Go back to saved bookmark"},
      {"FilterDialog", nbsFilterDialog, "Filter the dataset"},
      {"LocateDialog", nbsLocateDialog, "Locate a specific record"},
      {"SearchDialog", nbsSearchDialog, "Search the dataset"},
  };
  auto* nav = new TwwDBNavigator(parent);
  nav->setObjectName(QStringLiteral("wwDBNavigator1"));
  nav->setCursor(Qt::PointingHandCursor);
  nav->RepeatInterval = {500, 100};
  nav->buttons_.BeginUpdate();
  // 25 x 25 buttons and 200 x 25 for the bar at 96 dots per inch, scaled with the screen's.
  const int side = Scaled(25, parent);
  nav->resize(8 * side, side);
  for (const Stored& s : kButtons) {
    auto* b = new TwwNavButton(nav);
    b->resize(side, side);
    const QString name = QStringLiteral("wwDBNavigator1") + QLatin1String(s.name);
    b->setObjectName(name);
    b->SetCaption(name);
    b->SetHint(QString::fromUtf8(s.hint));
    b->SetStyle(s.style);
    b->SetImageIndex(-1);
    b->SetNumGlyphs(2);
    b->SetSpacing(4);
    b->SetTransparent(false);
    b->DisabledTextColors = {Qt::gray, Qt::white};
    if (s.style == nbsFilterDialog && filterDialog) b->SetDialog(filterDialog);
    if (s.style == nbsLocateDialog && locateDialog) b->SetDialog(locateDialog);
    b->SetEnabled(false);
  }
  nav->SetShowHint(true);
  nav->buttons_.EndUpdate();
  nav->Realign();
  nav->SetDataSource(source);
  return nav;
}

void TwwDBNavigator::SetDataSource(TDataSource* source) {
  dataLink_.SetDataSource(source);
  UpdateAllButtons(ucAll);
}

TDataSet* TwwDBNavigator::GetNavDataSet(bool raise) const {
  TDataSource* source = dataLink_.DataSource();
  if (!source) {
    if (raise) throw EInvalidOperation("Error, DataSource not assigned");
    return nullptr;
  }
  TDataSet* dataSet = source->DataSet();
  if (!dataSet && raise) throw EInvalidOperation("Error, DataSource has no DataSet");
  return dataSet;
}

void TwwDBNavigator::InsertControl(QWidget* control) {
  auto* button = qobject_cast<TwwNavButton*>(control);
  if (!button) throw EInvalidOperation("TwwDBNavigator only accepts controls derived from TwwNavButton");
  button->SetParentControl(this);
}

void TwwDBNavigator::AddButton(TwwNavButton* button) {
  if (std::find(list_.begin(), list_.end(), button) != list_.end()) return;
  list_.push_back(button);
  button->SetFlat(flat_);
  button->SetShowHint(showHint_);
  if (isVisible() && button->Visible()) button->show();
  Realign();
}

void TwwDBNavigator::RemoveButton(TwwNavButton* button) {
  list_.erase(std::remove(list_.begin(), list_.end(), button), list_.end());
  if (!destroying_) Realign();
}

void TwwDBNavigator::MoveButton(TwwNavButton* button, int index) {
  const int from = buttons_.RetrieveIndex(button);
  index = std::clamp(index, 0, static_cast<int>(list_.size()) - 1);
  if (from == index) return;
  list_.erase(list_.begin() + from);
  list_.insert(list_.begin() + index, button);
  Realign();
}

void TwwDBNavigator::SetLayout(TwwNavLayout layout) {
  if (layout == layout_) return;
  layout_ = layout;
  Realign();
}

void TwwDBNavigator::SetAutosizeStyle(TwwNavAutoSizeStyle style) {
  if (style == autosizeStyle_) return;
  autosizeStyle_ = style;
  Realign();
}

void TwwDBNavigator::SetMoveBy(int records) {
  if (records == moveBy_) return;
  moveBy_ = records;
  for (TwwNavButton* b : list_)
    if (b->Style() == nbsPriorPage || b->Style() == nbsNextPage) b->ApplyHint();
}

void TwwDBNavigator::SetFlat(bool on) {
  flat_ = on;
  for (TwwNavButton* b : list_) b->SetFlat(on);
}

void TwwDBNavigator::SetImageList(TwwImageList* list) {
  imageList_ = list;
  for (TwwNavButton* b : list_)
    if (!b->UsesStandardGlyph() && b->ImageIndex() >= 0) b->update();
}

void TwwDBNavigator::SetShowHint(bool on) {
  showHint_ = on;
  for (TwwNavButton* b : list_) b->SetShowHint(on);
}

void TwwDBNavigator::SetEnabled(bool on) {
  enabled_ = on;
  for (TwwNavButton* b : list_) b->SetEnabled(on);
  if (on) UpdateAllButtons(ucAll);
}

void TwwDBNavigator::SetName(const QString& name) {
  const QString old = objectName();
  if (!old.isEmpty())
    for (TwwNavButton* b : list_)
      if (b->objectName().startsWith(old)) b->setObjectName(name + b->objectName().mid(old.size()));
  setObjectName(name);
}

TBookmark TwwDBNavigator::SaveNavBookmark(TDataSet* dataSet) {
  return bookmarks_.Save(dataSet, [this] { UpdateAllButtons(ucAll); });
}

void TwwDBNavigator::ArrangeButtons() {
  if (destroying_ || buttons_.UpdateLock() > 0) return;
  buttons_.BeginUpdate();
  const int b = BevelCount();
  int x = b, y = b;
  bool lineOpen = false;  // a button stands in the current line
  const TwwNavButton* previous = nullptr;
  for (TwwNavButton* button : list_) {
    if (!button->Visible()) continue;
    const int w = button->width(), h = button->height();
    // A new line only after a button in the current one: a break never opens an empty line.
    if (layout_ == nlHorizontal) {
      if (lineOpen && (x + w > width() || button->LineBreak())) {
        x = b;
        y += (previous ? previous : button)->height();
      }
    } else {
      if (lineOpen && (y + h > height() || button->LineBreak())) {
        y = b;
        x += (previous ? previous : button)->width();
      }
    }
    button->move(x, y);
    if (layout_ == nlHorizontal) x += w; else y += h;
    lineOpen = true;
    previous = button;
  }
  buttons_.EndUpdate();
}

void TwwDBNavigator::AutoSizeNavigator() {
  if (autosizeStyle_ == asNone || buttons_.VisibleCount() == 0) return;
  if (autosizeStyle_ == asSizeNavButtons) {
    SizeButtons();
    return;
  }
  const int b = BevelCount();
  int right = 0, bottom = 0;
  for (TwwNavButton* button : list_) {
    if (!button->Visible()) continue;
    right = std::max(right, button->x() + button->width());
    bottom = std::max(bottom, button->y() + button->height());
  }
  if (right + b != width() || bottom + b != height()) {
    resize(right + b, bottom + b);
    updateGeometry();
  }
}

void TwwDBNavigator::SizeButtons() {
  const int b = BevelCount();
  const int w = width() - 2 * b, h = height() - 2 * b;
  // Lines of visible buttons; a LineBreak button opens the next line unless the current one
  // is still empty, so no line is ever empty.
  std::vector<std::vector<TwwNavButton*>> lines(1);
  for (TwwNavButton* button : list_) {
    if (!button->Visible()) continue;
    if (button->LineBreak() && !lines.back().empty()) lines.emplace_back();
    lines.back().push_back(button);
  }
  const int count = static_cast<int>(lines.size());
  const bool horizontal = layout_ == nlHorizontal;
  const int across = horizontal ? h : w;  // the extent the lines share
  const int along = horizontal ? w : h;   // the extent the buttons of one line share
  for (int li = 0; li < count; ++li) {
    const int lineSize = across / count + (li < across % count ? 1 : 0);
    const int n = static_cast<int>(lines[li].size());
    for (int i = 0; i < n; ++i) {
      const int size = along / n + (i < along % n ? 1 : 0);
      TwwNavButton* button = lines[li][i];
      if (horizontal) button->resize(std::max(size, 0), std::max(lineSize, 0));
      else button->resize(std::max(lineSize, 0), std::max(size, 0));
    }
  }
}

void TwwDBNavigator::Realign() {
  if (destroying_ || arranging_ || buttons_.UpdateLock() > 0) return;
  arranging_ = true;
  if (autosizeStyle_ == asSizeNavButtons) {
    AutoSizeNavigator();
    ArrangeButtons();
  } else {
    ArrangeButtons();
    AutoSizeNavigator();
  }
  arranging_ = false;
}

TwwNavButton* TwwDBNavigator::AddDefaultButton(TwwNavButtonStyle style) {
  buttons_.BeginUpdate();
  auto* button = new TwwNavButton(this);
  button->setObjectName(objectName() + StyleShortName(style));
  button->SetFlat(flat_);
  button->SetStyle(style);
  button->SetImageIndex(-1);
  button->SetNumGlyphs(2);
  button->UpdateButtonState(ucAll);
  buttons_.EndUpdate();
  return button;
}

void TwwDBNavigator::CreateDefaultButtons() {
  if (destroying_ || !list_.empty()) return;
  static const TwwNavButtonStyle kDefaults[] = {
      nbsFirst, nbsPriorPage, nbsPrior, nbsNext, nbsNextPage, nbsLast, nbsInsert,
      nbsDelete, nbsEdit, nbsPost, nbsCancel, nbsRefresh, nbsSaveBookmark, nbsRestoreBookmark};
  const bool unsized = width() == 1;
  for (TwwNavButtonStyle style : kDefaults) {
    TwwNavButton* button = AddDefaultButton(style);
    if (unsized) continue;
    ArrangeButtons();
    if (!rect().contains(button->geometry())) {
      if (autosizeStyle_ == asSizeNavigator) {
        if (layout_ == nlHorizontal) resize(width(), button->y() + button->height() + BevelCount());
        else resize(button->x() + button->width() + BevelCount(), height());
      } else {
        AutoSizeNavigator();
      }
    }
  }
  if (unsized) {
    int total = 0;
    for (TwwNavButton* button : list_)
      if (button->Visible()) total += button->width();
    resize(total, list_.front()->height());
    arranging_ = true;
    ArrangeButtons();
    arranging_ = false;
    if (parentWidget()) parentWidget()->repaint();
  } else {
    Realign();
  }
  updateGeometry();
}

void TwwDBNavigator::paintEvent(QPaintEvent* event) {
  TwwCustomTransparentPanel::paintEvent(event);
  if (list_.empty() && !defaultsQueued_ && !destroying_) {
    // Creating and moving children is not done inside a paint; it follows at once.
    defaultsQueued_ = true;
    QMetaObject::invokeMethod(this, [this] { RunGuarded([this] { CreateDefaultButtons(); }); }, Qt::QueuedConnection);
  }
}

void TwwDBNavigator::showEvent(QShowEvent* event) {
  TwwCustomTransparentPanel::showEvent(event);
  if (handleCreated_ || event->spontaneous()) return;
  handleCreated_ = true;
  RunGuarded([this] {
    SetDataSource(DataSource());
    Realign();
  });
}

void TwwDBNavigator::resizeEvent(QResizeEvent* event) {
  TwwCustomTransparentPanel::resizeEvent(event);
  RunGuarded([this] { Realign(); });
}

}  // namespace tindrel
