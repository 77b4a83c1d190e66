#pragma once
// One glyph button of the navigator bar. Its style fixes its glyph, its default hint, the rule
// that enables it and what a click does; a button of a dialog style executes a dialog component.
// Buttons of the moving styles repeat while held: the first repeat after the navigator's
// RepeatInterval.InitialDelay, then every Interval, and one more click on release over the
// button; leaving the button stops the repeat and coming back restarts it.
//
// The hint is the button's tool tip (when ShowHint is on) and always its accessible
// description, so a screen reader reads it with the enabled state and can press the button.

#include <QAbstractButton>
#include <QColor>
#include <QPointer>

#include <functional>
#include <memory>

#include "navigator/TwwCustomDialog.h"
#include "navigator/TwwNavTypes.h"

namespace tindrel {

class PlatformTimer;
class TDataSet;
class TwwCustomDialog;
class TwwDBNavigator;
class TwwNavButton;
class TwwNavButtons;

using TwwUpdateStateEvent = std::function<void(TwwDBNavigator& navigator, TwwNavButton& button, TwwUpdateCause cause)>;
using TwwNotifyEvent = std::function<void(TwwNavButton& sender)>;
using TwwCustomDialogEvent = std::function<void(TwwCustomDialog& dialog)>;

struct TwwDisabledTextColors {
  QColor ShadeColor = Qt::gray;
  QColor HighlightColor = Qt::white;
};

class TwwNavButton : public QAbstractButton {
  Q_OBJECT
 public:
  // A button inside `navigator`, appended at the end of its list, 25 x 25 pixels.
  explicit TwwNavButton(TwwDBNavigator* navigator);
  ~TwwNavButton() override;

  TwwDBNavigator* Navigator() const { return navigator_; }
  // Moves the button into another control. Anything but a navigator shows the error box
  // "Parent of TwwNavButton must be TwwDBNavigator" and aborts silently.
  void SetParentControl(QWidget* parent);
  // The navigator's button list; without a navigator the error "Parent propety of TwwNavButton
  // not defined" is reported and the operation aborts silently.
  TwwNavButtons& ButtonList() const;

  TwwNavButtonStyle Style() const { return style_; }
  void SetStyle(TwwNavButtonStyle style);
  TwwCustomDialog* Dialog() const { return dialog_.data(); }
  void SetDialog(TwwCustomDialog* dialog);
  int Index() const;
  void SetIndex(int index);
  bool LineBreak() const { return lineBreak_; }
  void SetLineBreak(bool on);
  bool Visible() const { return visible_; }
  void SetVisible(bool on) { setVisible(on); }
  void setVisible(bool visible) override;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);
  // The button's own size; the navigator re-arranges around it.
  void SetSize(int width, int height);

  // The hint: the button's own text when one was set, else the catalogue's hint of the style;
  // the page styles show the navigator's MoveBy in place of "%d".
  QString Hint() const;
  void SetHint(const QString& hint);
  QString DefaultHint() const;
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool on);
  QString Caption() const { return text(); }
  void SetCaption(const QString& caption) { setText(caption); }

  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int index);
  int NumGlyphs() const { return numGlyphs_; }
  void SetNumGlyphs(int count);
  int Margin() const { return margin_; }
  void SetMargin(int margin);
  int Spacing() const { return spacing_; }
  void SetSpacing(int spacing);
  bool ShowText() const { return showText_; }
  void SetShowText(bool on);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);
  bool Flat() const { return flat_; }
  void SetFlat(bool on);
  TwwDisabledTextColors DisabledTextColors;

  TwwUpdateStateEvent OnUpdateState;
  TwwNotifyEvent OnRowChanged;
  TwwCustomDialogEvent OnAfterCreateDialog;
  // The ordinary click handler, run before the style's action.
  TwwNotifyEvent OnClick;

  // Re-evaluates whether the button is enabled.
  void UpdateButtonState(TwwUpdateCause cause);
  // The click: OnClick, then the style's action. Errors stop the auto-repeat and propagate.
  void Click();
  // The dialog of a dialog style: the button's own, one found among the container's
  // components, or a new one; none for the other styles.
  TwwCustomDialog* FindOrCreateDialog(TDataSet* dataSet);

  // Which image a paint would draw now, as an index into ImageSource(): -1 for none.
  int CurrentImage() const;
  // Whether the button draws from the standard glyph list (else the navigator's ImageList).
  bool UsesStandardGlyph() const { return standardGlyph_; }
  bool RepeatRunning() const { return repeatTimer_ != nullptr; }

  QSize sizeHint() const override { return size(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  friend class TwwDBNavigator;
  void ApplyHint();
  void ApplyStandardGlyph();
  void StartRepeat();
  void StopRepeat();
  void RepeatTick();
  void RunAction(TDataSet& dataSet);

  TwwDBNavigator* navigator_ = nullptr;
  TwwNavButtonStyle style_ = nbsFirst;
  QPointer<TwwCustomDialog> dialog_;
  bool lineBreak_ = false;
  bool visible_ = true;
  bool enabled_ = true;
  QString ownHint_;
  bool showHint_ = false;
  int imageIndex_ = -1;
  bool standardGlyph_ = false;
  int glyphBase_ = 0;
  int numGlyphs_ = 1;
  int margin_ = -1;
  int spacing_ = 4;
  bool showText_ = false;
  bool transparent_ = true;
  bool flat_ = false;
  bool hot_ = false;
  std::unique_ptr<PlatformTimer> repeatTimer_;
  bool inRepeatTick_ = false;
};

}  // namespace tindrel
