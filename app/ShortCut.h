#pragma once
// Menu shortcuts stored as one 16-bit value: the low byte is the key's virtual-key code, the bits
// 0x2000, 0x4000 and 0x8000 add Shift, Ctrl and Alt. The command table keeps the values in this
// form; the menus hand Qt the key sequence they stand for.

#include <QKeySequence>

#include <cstdint>

namespace tindrel {

using TShortCut = std::uint16_t;

inline constexpr TShortCut scShift = 0x2000;
inline constexpr TShortCut scCtrl = 0x4000;
inline constexpr TShortCut scAlt = 0x8000;

// The key sequence of a stored shortcut; empty for 0 or a key code this program does not use.
QKeySequence ShortCutToKeySequence(TShortCut shortCut);

}  // namespace tindrel
