#include "app/TFontDialog.h"

#include "platform/Platform.h"

namespace tindrel {

bool TFontDialog::Execute(QWidget* parent) {
  std::optional<QFont> chosen = Platform::Instance().FontDialog().ChooseFont(font_, parent);
  if (!chosen) return false;
  font_ = *chosen;
  return true;
}

}  // namespace tindrel
