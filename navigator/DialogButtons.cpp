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

// The dialog buttons' font: the dialogs' face in the window-text colour.
void ApplyButtonFont(QPushButton* button) {
  button->setFont(DialogFont());
  QPalette palette = button->palette();
  palette.setColor(QPalette::ButtonText, palette.color(QPalette::WindowText));
  button->setPalette(palette);
}

}  // namespace

TwwGlyphButton::TwwGlyphButton(TwwButtonKind kind, QWidget* parent) : QPushButton(parent), kind_(kind) {
  setIcon(GlyphOf(kind));
}

QSize TwwGlyphButton::sizeHint() const { return QSize(Scaled(77, this), Scaled(27, this)); }

QRect TwwGlyphButton::GlyphRect() const {
  const QSize glyphSize = iconSize();
  return QRect(Margin(), (height() - glyphSize.height()) / 2, glyphSize.width(), glyphSize.height());
}

QRect TwwGlyphButton::CaptionRect() const {
  const int textLeft = icon().isNull() ? 0 : GlyphRect().right() + 1;
  return QRect(textLeft, 0, width() - textLeft, height());
}

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
  if (!glyph.isNull())
    glyph.paint(&painter, GlyphRect(), Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
  painter.drawItemText(CaptionRect(), Qt::AlignCenter | Qt::TextShowMnemonic, palette(), isEnabled(), caption,
                       QPalette::ButtonText);
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = area.adjusted(4, 4, -4, -4);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
  }
}

QFont DialogFont() {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(8);
  ApplyFontStyles(font, TwwIntl::Instance().DialogFontStyle);
  return font;
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

TOkCancelRow MakeOkCancelRow(QDialog* dialog) {
  TOkCancelRow row{new QHBoxLayout, MakeDialogButton(dialog, TwwButtonKind::bkOK),
                   MakeDialogButton(dialog, TwwButtonKind::bkCancel)};
  row.layout->addStretch(1);
  row.layout->addWidget(row.ok);
  row.layout->addWidget(row.cancel);
  return row;
}

int ModalResultOf(const QPushButton* button) {
  const QVariant v = button ? button->property(kModalResultProperty) : QVariant();
  return v.isValid() ? v.toInt() : -1;
}

}  // namespace tindrel
