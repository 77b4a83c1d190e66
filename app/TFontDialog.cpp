#include "app/TFontDialog.h"

#include "app/SettingsKeys.h"
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
  // The dialog takes any size that is typed; the settings file keeps 1 to kMaxFontSize points.
  if (font.pointSizeF() > settings::kMaxFontSize) font.setPointSize(settings::kMaxFontSize);
  else if (font.pointSizeF() > 0 && font.pointSizeF() < 1) font.setPointSize(1);
  font_ = font;
  return true;
}

}  // namespace tindrel
