#pragma once
// One panel of a TfcStatusBar, and the ordered collection of them.

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

#include <QtGui/qaccessible.h>

#include <functional>
#include <memory>
#include <vector>

class QMenu;
class QWidget;

namespace tindrel {

class TfcStatusBar;

enum TfcStatusPanelStyle {
  psTextOnly,
  psControl,
  psOverWrite,
  psCapsLock,
  psNumLock,
  psDateTime,
  psDate,
  psTime,
  psGlyph,
  psRichEditStatus,
  psHint,
  psUserName,
  psComputerName,
  psScrollLock,
};

enum TfcStatusPanelBevel { pbNone, pbLowered, pbRaised };

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TfcVAlignment { vaTop, vaVCenter, vaBottom };

// How a panel's text is placed. Only plain text is drawn.
struct TfcCaptionText {
  TAlignment Alignment = taLeftJustify;
  TfcVAlignment VAlignment = vaVCenter;
  bool WordWrap = false;
};

class TfcStatusPanel {
 public:
  ~TfcStatusPanel();
  TfcStatusPanel(const TfcStatusPanel&) = delete;
  TfcStatusPanel& operator=(const TfcStatusPanel&) = delete;

  TfcStatusBar* StatusBar() const { return bar_; }
  int Index() const;

  const QString& Name() const { return name_; }
  // Raises EInvalidOperation "A panel named %s already exists." when another panel of the bar
  // has the name (names compare without regard to case); the old name stays.
  void SetName(const QString& name);

  const QString& Text() const { return text_; }
  // A changed text is stored, reported through OnTextChanged and repainted at once.
  void SetText(const QString& text);

  const QString& Width() const { return width_; }
  // A whole number of pixels, or a whole number followed by "%" (a share of what the fixed
  // panels leave). Anything else raises EInvalidOperation and the old width stays.
  void SetWidth(const QString& width);

  TfcStatusPanelStyle Style() const { return style_; }
  void SetStyle(TfcStatusPanelStyle style);

  TfcStatusPanelBevel Bevel() const { return bevel_; }
  void SetBevel(TfcStatusPanelBevel bevel);
  const QColor& Color() const { return color_; }
  void SetColor(const QColor& color);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  const QFont& Font() const { return font_; }
  void SetFont(const QFont& font);
  const TfcCaptionText& TextOptions() const { return text_options_; }
  void SetTextOptions(const TfcCaptionText& options);
  int Indent() const { return indent_; }
  void SetIndent(int indent);
  int Margin() const { return margin_; }
  void SetMargin(int margin);
  int ImageIndex() const { return image_index_; }
  void SetImageIndex(int index);
  QWidget* Component() const { return component_; }
  // The control shown inside a psControl panel (it moves into the bar and leaves any other
  // panel), or the text editor whose caret a psRichEditStatus panel shows.
  void SetComponent(QWidget* component);
  const QString& Hint() const { return hint_; }
  void SetHint(const QString& hint) { hint_ = hint; }
  QMenu* PopupMenu() const { return popup_menu_; }
  void SetPopupMenu(QMenu* menu) { popup_menu_ = menu; }
  int Tag = 0;

  // The width the last layout gave the panel, in pixels.
  int PixelWidth() const { return pixel_width_; }
  // What the panel shows now, by its style (before OnDrawText).
  QString DisplayText() const;
  // The text the panel showed when it was last drawn.
  const QString& DrawnText() const { return drawn_text_; }

  std::function<void(TfcStatusPanel*)> OnClick;
  std::function<void(TfcStatusPanel*)> OnDblClick;
  std::function<void(TfcStatusPanel*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnMouseDown;
  std::function<void(TfcStatusPanel*, Qt::KeyboardModifiers, int x, int y)> OnMouseMove;
  std::function<void(TfcStatusPanel*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnMouseUp;
  // May change the text and the enabled flag before the panel is drawn.
  std::function<void(TfcStatusPanel*, QString& text, bool& enabled)> OnDrawText;
  std::function<void(TfcStatusPanel* sender, const QString& text)> OnTextChanged;

 private:
  friend class TfcStatusBar;
  friend class TfcStatusPanels;
  friend class TfcStatusBarAccessible;
  TfcStatusPanel(TfcStatusBar* bar, QString name);

  TfcStatusBar* bar_;
  QString name_;
  QString text_;
  QString width_ = QStringLiteral("50");
  TfcStatusPanelStyle style_ = psTextOnly;
  TfcStatusPanelBevel bevel_ = pbLowered;
  QColor color_;
  bool enabled_ = true;
  QFont font_;
  TfcCaptionText text_options_;
  int indent_ = 0;
  int margin_ = 0;
  int image_index_ = 0;
  QWidget* component_ = nullptr;
  QString hint_;
  QMenu* popup_menu_ = nullptr;

  int pixel_width_ = 0;
  QString drawn_text_;
  QAccessible::Id accessible_id_ = 0;
};

class TfcStatusPanels {
 public:
  explicit TfcStatusPanels(TfcStatusBar* bar) : bar_(bar) {}

  // Adds a panel at the end, named "Panel" and the smallest number no other panel uses.
  TfcStatusPanel* Add();
  int Count() const { return static_cast<int>(items_.size()); }
  TfcStatusPanel* Items(int index) const { return items_.at(static_cast<std::size_t>(index)).get(); }
  TfcStatusPanel* operator[](int index) const { return Items(index); }
  int IndexOf(const TfcStatusPanel* panel) const;
  TfcStatusPanel* FindPanel(const QString& name) const;
  void Delete(int index);
  void Clear();

 private:
  TfcStatusBar* bar_;
  std::vector<std::unique_ptr<TfcStatusPanel>> items_;
};

}  // namespace tindrel
