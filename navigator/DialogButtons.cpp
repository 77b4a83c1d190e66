#include "navigator/DialogButtons.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>

#include "navigator/TwwIntl.h"
#include "platform/Errors.h"

namespace tindrel {

namespace {

const char* const kModalResultProperty = "tindrelModalResult";

QIcon GlyphOf(TwwButtonKind kind) {
  return QApplication::style()->standardIcon(kind == TwwButtonKind::bkOK ? QStyle::SP_DialogOkButton
                                                                          : QStyle::SP_DialogCancelButton);
}

// The dialog buttons' font: the dialogs' face at 8 points in the window-text colour, with the
// catalogue's dialog font style.
void ApplyButtonFont(QPushButton* button) {
  QFont font = button->font();
  font.setFamily(QStringLiteral("MS Sans Serif"));
  font.setPointSize(8);
  ApplyFontStyles(font, TwwIntl::Instance().DialogFontStyle);
  button->setFont(font);
  QPalette palette = button->palette();
  palette.setColor(QPalette::ButtonText, palette.color(QPalette::WindowText));
  button->setPalette(palette);
}

}  // namespace

TwwGlyphButton::TwwGlyphButton(TwwButtonKind kind, QWidget* parent) : QPushButton(parent), kind_(kind) {
  setIcon(GlyphOf(kind));
}

QSize TwwGlyphButton::sizeHint() const { return QSize(Scaled(77, this), Scaled(27, this)); }

void TwwGlyphButton::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  const QString caption = option.text;
  const QIcon glyph = option.icon;
  option.text.clear();
  option.icon = QIcon();
  painter.drawControl(QStyle::CE_PushButton, option);

  const QRect area = rect();
  const QSize glyphSize = iconSize();
  const int glyphLeft = Margin();
  const QRect glyphRect(glyphLeft, (area.height() - glyphSize.height()) / 2, glyphSize.width(), glyphSize.height());
  if (!glyph.isNull())
    glyph.paint(&painter, glyphRect, Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
  const int textLeft = glyph.isNull() ? 0 : glyphRect.right() + 1;
  const QRect textRect(textLeft, 0, area.width() - textLeft, area.height());
  painter.drawItemText(textRect, Qt::AlignCenter | Qt::TextShowMnemonic, palette(), isEnabled(), caption,
                       QPalette::ButtonText);
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = area.adjusted(4, 4, -4, -4);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
  }
}

double ScreenScale(const QWidget* widget) {
  QScreen* screen = widget && widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
  const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
  return dpi > 0 ? dpi / 96.0 : 1.0;
}

int Scaled(int pixelsAt96, const QWidget* widget) {
  return static_cast<int>(pixelsAt96 * ScreenScale(widget) + 0.5);
}

QPushButton* MakeDialogButton(QDialog* dialog, TwwButtonKind kind, int width96, int height96) {
  const TwwIntl& intl = TwwIntl::Instance();
  QPushButton* button =
      intl.OKCancelBitmapped ? new TwwGlyphButton(kind, dialog) : new QPushButton(dialog);
  button->setText(kind == TwwButtonKind::bkOK ? intl.BtnOKCaption : intl.BtnCancelCaption);
  button->setObjectName(kind == TwwButtonKind::bkOK ? QStringLiteral("OKButton") : QStringLiteral("CancelButton"));
  ApplyButtonFont(button);
  button->setFixedSize(Scaled(width96, dialog), Scaled(height96, dialog));
  const int result = kind == TwwButtonKind::bkOK ? QDialog::Accepted : QDialog::Rejected;
  button->setProperty(kModalResultProperty, result);
  if (kind == TwwButtonKind::bkOK) {
    button->setDefault(true);
  } else {
    button->setAutoDefault(false);
  }
  QObject::connect(button, &QPushButton::clicked, dialog, [dialog, result] {
    RunGuarded([&] { dialog->done(result); });
  });
  return button;
}

int ModalResultOf(const QPushButton* button) {
  const QVariant v = button ? button->property(kModalResultProperty) : QVariant();
  return v.isValid() ? v.toInt() : -1;
}

}  // namespace tindrel
