#include "navigator/TwwNavButton.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>

#include <cstdlib>

#include "navigator/DialogButtons.h"
#include "navigator/TwwCustomDialog.h"
#include "navigator/TwwDBNavigator.h"
#include "navigator/TwwIntl.h"
#include "navigator/TwwNavGlyphs.h"
#include "platform/ErrorBox.h"
#include "platform/Errors.h"
#include "platform/Platform.h"
#include "store/TDataSet.h"
#include "store/TDataSource.h"

namespace tindrel {

TwwNavButton::TwwNavButton(TwwDBNavigator* navigator) : QAbstractButton(navigator), navigator_(navigator) {
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_Hover);
  resize(25, 25);
  connect(this, &QAbstractButton::clicked, this, [this] { RunGuarded([this] { Click(); }); });
  if (navigator_) navigator_->AddButton(this);
  ApplyStandardGlyph();
  ApplyHint();
}

TwwNavButton::~TwwNavButton() {
  StopRepeat();
  if (navigator_) navigator_->RemoveButton(this);
}

void TwwNavButton::SetParentControl(QWidget* parent) {
  auto* navigator = qobject_cast<TwwDBNavigator*>(parent);
  if (!navigator) {
    Platform::Instance().MessageBoxes().Show(QString::fromUtf8(kApplicationTitle),
                                             QStringLiteral("Parent of TwwNavButton must be TwwDBNavigator"),
                                             MessageIcon::Error, mbOK);
    throw SilentAbort();
  }
  if (navigator == navigator_) return;
  if (navigator_) navigator_->RemoveButton(this);
  navigator_ = navigator;
  setParent(navigator);
  navigator_->AddButton(this);
  UpdateButtonState(ucAll);
}

TwwNavButtons& TwwNavButton::ButtonList() const {
  if (!navigator_) {
    ReportException(EInvalidOperation("Parent propety of TwwNavButton not defined"));
    throw SilentAbort();
  }
  return navigator_->Buttons();
}

void TwwNavButton::SetStyle(TwwNavButtonStyle style) {
  style_ = style;
  if (imageIndex_ == -1) ApplyStandardGlyph();
  ApplyHint();
  UpdateButtonState(ucAll);
  update();
}

void TwwNavButton::SetDialog(TwwCustomDialog* dialog) {
  if (dialog == dialog_.data()) return;
  if (dialog_ && dialog_->parent() == this) delete dialog_.data();
  dialog_ = dialog;
  if (dialog) {
    // "TwwLocateDialog" gives nbsLocateDialog: the class name minus its three-letter prefix.
    if (auto style = StyleFromName(QStringLiteral("nbs") + dialog->ClassName().mid(3))) {
      if (IsDialogStyle(*style)) SetStyle(*style);
    }
  }
  UpdateButtonState(ucAll);
}

int TwwNavButton::Index() const { return ButtonList().RetrieveIndex(this); }

void TwwNavButton::SetIndex(int index) {
  if (index == Index()) return;
  navigator_->MoveButton(this, index);
}

void TwwNavButton::SetLineBreak(bool on) {
  if (on == lineBreak_) return;
  lineBreak_ = on;
  if (navigator_) navigator_->Realign();
}

void TwwNavButton::setVisible(bool visible) {
  // The flag is what the layout reads: a button counts as visible before its navigator is on
  // screen, and Qt shows it with the navigator.
  visible_ = visible;
  QAbstractButton::setVisible(visible);
  if (navigator_) navigator_->Realign();
}

void TwwNavButton::SetEnabled(bool on) {
  enabled_ = on;
  setEnabled(on);
  if (!on) StopRepeat();
}

void TwwNavButton::SetSize(int width, int height) {
  resize(width, height);
  if (navigator_) navigator_->Realign();
}

QString TwwNavButton::DefaultHint() const {
  if (!ownHint_.isEmpty()) return ownHint_;
  if (style_ == nbsCustom) return {};
  const QString* hint = TwwIntl::Instance().Navigator.Hints.FindHint(StyleShortName(style_) + QStringLiteral("Hint"));
  return hint ? *hint : QString();
}

QString TwwNavButton::Hint() const {
  QString hint = DefaultHint();
  // The page hints always speak of the navigator's current MoveBy: the template is kept and
  // formatted anew, so a changed MoveBy never leaves a stale number in the hint.
  if ((style_ == nbsPriorPage || style_ == nbsNextPage) && navigator_)
    hint.replace(QStringLiteral("%d"), QString::number(std::abs(navigator_->MoveBy())));
  return hint;
}

void TwwNavButton::SetHint(const QString& hint) {
  ownHint_ = hint;
  ApplyHint();
}

void TwwNavButton::ApplyHint() {
  const QString hint = Hint();
  setAccessibleDescription(hint);
  setToolTip(showHint_ ? hint : QString());
}

void TwwNavButton::SetShowHint(bool on) {
  showHint_ = on;
  ApplyHint();
}

void TwwNavButton::ApplyStandardGlyph() {
  standardGlyph_ = style_ != nbsCustom;
  glyphBase_ = standardGlyph_ ? 2 * static_cast<int>(style_) : 0;
  if (standardGlyph_) numGlyphs_ = 2;
  update();
}

void TwwNavButton::SetImageIndex(int index) {
  imageIndex_ = index < 0 ? -1 : index;
  if (imageIndex_ == -1) {
    ApplyStandardGlyph();
  } else {
    standardGlyph_ = false;
    glyphBase_ = imageIndex_;
    update();
  }
}

void TwwNavButton::SetNumGlyphs(int count) {
  numGlyphs_ = std::clamp(count, 1, 4);
  update();
}

void TwwNavButton::SetMargin(int margin) { margin_ = margin; update(); }
void TwwNavButton::SetSpacing(int spacing) { spacing_ = spacing; update(); }
void TwwNavButton::SetShowText(bool on) { showText_ = on; update(); }
void TwwNavButton::SetTransparent(bool on) { transparent_ = on; update(); }
void TwwNavButton::SetFlat(bool on) { flat_ = on; update(); }

// ---------------------------------------------------------------------------------------------
// Enabling

void TwwNavButton::UpdateButtonState(TwwUpdateCause cause) {
  const bool before = enabled_;
  if (OnUpdateState && navigator_) OnUpdateState(*navigator_, *this, cause);
  if (cause == ucDataSetChange && OnRowChanged) OnRowChanged(*this);
  if (enabled_ != before || style_ == nbsCustom) return;  // a handler decided
  if (!navigator_) return;
  TDataSet* dataSet = navigator_->GetNavDataSet(false);
  if (!dataSet) {
    SetEnabled(false);
    return;
  }
  const bool common = navigator_->DataLink().Active() && navigator_->Enabled();
  const bool editing = navigator_->DataLink().Editing();
  const bool canModify = dataSet->CanModify();
  bool on = false;
  switch (style_) {
    case nbsFirst:
    case nbsPrior:
    case nbsPriorPage: on = !dataSet->BOF(); break;
    case nbsNext:
    case nbsLast:
    case nbsNextPage: on = !dataSet->Eof(); break;
    case nbsInsert:
    case nbsRefresh: on = canModify; break;
    case nbsDelete: on = canModify && !(dataSet->BOF() && dataSet->Eof()); break;
    case nbsEdit: on = canModify && !editing; break;
    case nbsPost:
    case nbsCancel: on = canModify && editing; break;
    case nbsSaveBookmark: on = true; break;
    case nbsRestoreBookmark: {
      // An editing change does not touch it.
      if (cause == ucEditingChange) return;
      const TBookmark saved = navigator_->FindNavBookmark(dataSet);
      on = saved && dataSet->IsBookmarkLive(saved);
      break;
    }
    case nbsFilterDialog:
    case nbsRecordViewDialog:
    case nbsLocateDialog:
    case nbsSearchDialog: on = !dialog_ || dialog_->GetPrimaryDataSet() != nullptr; break;
    case nbsCustom: return;
  }
  SetEnabled(common && on);
}

// ---------------------------------------------------------------------------------------------
// Clicks

void TwwNavButton::Click() {
  try {
    if (OnClick) OnClick(*this);
    if (style_ == nbsCustom || !navigator_) return;
    TDataSet* dataSet = navigator_->GetNavDataSet(true);
    RunAction(*dataSet);
  } catch (...) {
    StopRepeat();
    throw;
  }
}

void TwwNavButton::RunAction(TDataSet& dataSet) {
  switch (style_) {
    case nbsFirst: dataSet.First(); break;
    case nbsPrior: dataSet.Prior(); break;
    case nbsNext: dataSet.Next(); break;
    case nbsLast: dataSet.Last(); break;
    case nbsInsert: dataSet.Insert(); break;
    case nbsDelete:
      if (navigator_->Options() & noConfirmDelete) {
        const MessageButton answer = Platform::Instance().MessageBoxes().Show(
            QString::fromUtf8(kApplicationTitle), TwwIntl::Instance().Navigator.ConfirmDeleteMessage,
            MessageIcon::Confirmation, mbOK | mbCancel);
        if (answer != mbOK) return;
      }
      dataSet.Delete();
      break;
    case nbsEdit: dataSet.Edit(); break;
    case nbsPost: dataSet.Post(); break;
    case nbsCancel: dataSet.Cancel(); break;
    case nbsRefresh: dataSet.Refresh(); break;
    case nbsPriorPage: dataSet.MoveRecords(-std::abs(navigator_->MoveBy())); break;
    case nbsNextPage: dataSet.MoveRecords(std::abs(navigator_->MoveBy())); break;
    case nbsSaveBookmark: navigator_->SaveNavBookmark(&dataSet); break;
    case nbsRestoreBookmark: {
      const TBookmark saved = navigator_->FindNavBookmark(&dataSet);
      if (!saved) return;
      try {
        dataSet.ReturnToBookmark(saved);
      } catch (const std::exception&) {
        // The record vanished since the button was enabled: nothing to go back to. The
        // bookmarks are forgotten and the button turns off at the next notification.
        navigator_->DropNavBookmarks(navigator_->GetNavDataSet(false));
      }
      break;
    }
    case nbsFilterDialog:
    case nbsRecordViewDialog:
    case nbsLocateDialog:
    case nbsSearchDialog:
      if (TwwCustomDialog* dialog = FindOrCreateDialog(&dataSet)) dialog->Execute();
      break;
    case nbsCustom: break;
  }
}

TwwCustomDialog* TwwNavButton::FindOrCreateDialog(TDataSet* dataSet) {
  if (!IsDialogStyle(style_)) return nullptr;
  if (dialog_) return dialog_.data();
  if (!navigator_) return nullptr;
  // Every dialog a button creates belongs to the navigator (the dataset layer's objects own no
  // components), so it lives as long as the navigator.
  QObject* container = navigator_;
  const QString className = QStringLiteral("Tww") + StyleShortName(style_);
  for (QObject* child : container->children()) {
    auto* dialog = qobject_cast<TwwCustomDialog*>(child);
    if (dialog && dialog->GetPrimaryDataSet() == dataSet && dialog->InheritsClass(className)) {
      dialog_ = dialog;
      return dialog;
    }
  }
  TwwCustomDialog* dialog = TwwDialogRegistry::Create(className, container);
  if (!dialog) return nullptr;
  dialog_ = dialog;
  if (style_ == nbsSearchDialog) dialog->SetSearchTableProperty(navigator_->GetNavDataSet(false));
  else dialog->SetDataSourceProperty(navigator_->DataSource());
  if (OnAfterCreateDialog) OnAfterCreateDialog(*dialog);
  return dialog;
}

// ---------------------------------------------------------------------------------------------
// Auto-repeat

void TwwNavButton::StartRepeat() {
  if (!IsRepeatingStyle(style_) || !navigator_) return;
  repeatTimer_ = Platform::Instance().Clock().CreateTimer([this] { RepeatTick(); });
  repeatTimer_->Start(navigator_->RepeatInterval.InitialDelay);
}

void TwwNavButton::StopRepeat() {
  if (!repeatTimer_) return;
  repeatTimer_->Stop();
  if (!inRepeatTick_) {
    repeatTimer_.reset();
    return;
  }
  // A timer is not destroyed from inside its own tick: it goes once the tick has returned.
  PlatformTimer* dying = repeatTimer_.release();
  QMetaObject::invokeMethod(qApp, [dying] { delete dying; }, Qt::QueuedConnection);
}

void TwwNavButton::RepeatTick() {
  inRepeatTick_ = true;
  // The left button is no longer held on the button.
  if (!isDown()) {
    StopRepeat();
  } else {
    repeatTimer_->Start(navigator_->RepeatInterval.Interval);
    RunGuarded([this] { Click(); });
  }
  inRepeatTick_ = false;
}

void TwwNavButton::mousePressEvent(QMouseEvent* event) {
  QAbstractButton::mousePressEvent(event);
  if (event->button() == Qt::LeftButton && isDown()) StartRepeat();
}

void TwwNavButton::mouseReleaseEvent(QMouseEvent* event) {
  StopRepeat();
  QAbstractButton::mouseReleaseEvent(event);
  update();
}

void TwwNavButton::mouseMoveEvent(QMouseEvent* event) {
  QAbstractButton::mouseMoveEvent(event);
  if (!(event->buttons() & Qt::LeftButton) || !IsRepeatingStyle(style_)) return;
  const bool over = hitButton(event->position().toPoint());
  if (!over && repeatTimer_) StopRepeat();
  else if (over && !repeatTimer_ && isDown()) StartRepeat();
  if (over != hot_) {
    hot_ = over;
    update();
  }
}

void TwwNavButton::mouseDoubleClickEvent(QMouseEvent* event) {
  // No double clicks: a second quick press is an ordinary press.
  mousePressEvent(event);
}

void TwwNavButton::enterEvent(QEnterEvent* event) {
  QAbstractButton::enterEvent(event);
  hot_ = true;
  update();
}

void TwwNavButton::leaveEvent(QEvent* event) {
  QAbstractButton::leaveEvent(event);
  hot_ = false;
  update();
}

// ---------------------------------------------------------------------------------------------
// Drawing

int TwwNavButton::CurrentImage() const {
  if (!standardGlyph_ && imageIndex_ < 0) return -1;
  int image = glyphBase_;
  if (!enabled_) {
    if (numGlyphs_ > 1) image += 1;
  } else if (isDown()) {
    if (numGlyphs_ > 2) image += 2;
  } else if (hot_) {
    if (numGlyphs_ > 3) image += 3;
  }
  return image;
}

void TwwNavButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!transparent_) painter.fillRect(rect(), palette().button());
  const bool pressed = isDown();
  if (flat_) {
    if (hot_ && enabled_) qDrawShadeRect(&painter, rect(), palette(), pressed, 1, 0);
  } else {
    qDrawWinButton(&painter, rect(), palette(), pressed);
  }

  const std::vector<QIcon>* images = nullptr;
  if (standardGlyph_) images = &TwwNavGlyphs::Images();
  else if (navigator_ && navigator_->ImageList()) images = &navigator_->ImageList()->Images;
  const int image = CurrentImage();
  // 18 x 18 at 96 dots per inch; the 2x picture serves scaled screens.
  const QSize glyph(Scaled(18, this), Scaled(18, this));
  QPixmap pixmap;
  if (images && image >= 0 && image < static_cast<int>(images->size()))
    pixmap = (*images)[static_cast<size_t>(image)].pixmap(glyph, painter.device()->devicePixelRatioF());

  const QString caption = showText_ ? text() : QString();
  const int textHeight = caption.isEmpty() ? 0 : fontMetrics().height();
  const int contentHeight = (pixmap.isNull() ? 0 : glyph.height()) + (textHeight ? spacing_ + textHeight : 0);
  QPoint origin = margin_ == -1 ? QPoint((width() - glyph.width()) / 2, (height() - contentHeight) / 2)
                                : QPoint(margin_, margin_);
  if (pressed) origin += flat_ ? QPoint(1, 1) : QPoint(2, 2);
  if (!pixmap.isNull()) painter.drawPixmap(QRect(origin, glyph), pixmap);
  if (!caption.isEmpty()) {
    QRect textRect(0, origin.y() + (pixmap.isNull() ? 0 : glyph.height() + spacing_), width(), textHeight);
    if (pressed) textRect.translate(flat_ ? 1 : 2, 0);
    if (!enabled_) {
      painter.setPen(DisabledTextColors.HighlightColor);
      painter.drawText(textRect.translated(1, 1), Qt::AlignHCenter | Qt::AlignTop, caption);
      painter.setPen(DisabledTextColors.ShadeColor);
    } else {
      painter.setPen(palette().buttonText().color());
    }
    painter.drawText(textRect, Qt::AlignHCenter | Qt::AlignTop, caption);
  }
}

}  // namespace tindrel
