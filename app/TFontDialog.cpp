#include "app/TFontDialog.h"

#include "platform/Platform.h"

#include <QFontInfo>

namespace tindrel {

bool TFontDialog::Execute(QWidget* parent) {
  // The dialog lists only the families installed here. Started on a family that is not (the
  // settings' "Courier New" on a machine without it), it would show, and hand back, some other
  // family than the one the text is drawn in. So it starts on the family the text is drawn in,
  // and when the person keeps that one, the font keeps the family it had.
  const QString shownFamily = QFontInfo(font_).family();
  QFont start = font_;
  start.setFamily(shownFamily);
  std::optional<QFont> chosen = Platform::Instance().FontDialog().ChooseFont(start, parent);
  if (!chosen) return false;
  QFont font = *chosen;
  if (font.family() == shownFamily) {
    font.setFamily(font_.family());
    font.setStyleHint(font_.styleHint(), font_.styleStrategy());
  }
  font_ = font;
  return true;
}

}  // namespace tindrel
