#include "app/ShortCut.h"

namespace tindrel {

namespace {

// The Qt key for a virtual-key code, or 0.
int QtKeyFor(unsigned vk) {
  if (vk >= 0x30 && vk <= 0x39) return Qt::Key_0 + static_cast<int>(vk - 0x30);
  if (vk >= 0x41 && vk <= 0x5A) return Qt::Key_A + static_cast<int>(vk - 0x41);
  if (vk >= 0x70 && vk <= 0x87) return Qt::Key_F1 + static_cast<int>(vk - 0x70);
  switch (vk) {
    case 0x08: return Qt::Key_Backspace;
    case 0x09: return Qt::Key_Tab;
    case 0x0D: return Qt::Key_Return;
    case 0x1B: return Qt::Key_Escape;
    case 0x20: return Qt::Key_Space;
    case 0x21: return Qt::Key_PageUp;
    case 0x22: return Qt::Key_PageDown;
    case 0x23: return Qt::Key_End;
    case 0x24: return Qt::Key_Home;
    case 0x25: return Qt::Key_Left;
    case 0x26: return Qt::Key_Up;
    case 0x27: return Qt::Key_Right;
    case 0x28: return Qt::Key_Down;
    case 0x2D: return Qt::Key_Insert;
    case 0x2E: return Qt::Key_Delete;
    default: return 0;
  }
}

}  // namespace

QKeySequence ShortCutToKeySequence(TShortCut shortCut) {
  const int key = QtKeyFor(shortCut & 0xFFu);
  if (key == 0) return {};
  Qt::KeyboardModifiers modifiers;
  if (shortCut & scShift) modifiers |= Qt::ShiftModifier;
  if (shortCut & scCtrl) modifiers |= Qt::ControlModifier;
  if (shortCut & scAlt) modifiers |= Qt::AltModifier;
  return QKeySequence(QKeyCombination(modifiers, static_cast<Qt::Key>(key)));
}

}  // namespace tindrel
