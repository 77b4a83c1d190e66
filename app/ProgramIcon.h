#pragma once
// The program's icon: a note page with a small tree of notes on it. The window carries it, and
// the build draws it into the PNG files of the desktop entry's icon theme, so both are the same
// picture.

#include <QIcon>
#include <QImage>

namespace tindrel {

// The sizes of the desktop's icon theme (hicolor), in pixels a side.
inline constexpr int kProgramIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// The icon `side` pixels square, on a transparent ground.
QImage ProgramIconImage(int side);
// The icon at every size of kProgramIconSizes.
QIcon ProgramIcon();

}  // namespace tindrel
