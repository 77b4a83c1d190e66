#pragma once
// The names the desktop knows the program by: the application's name "Tindrel II", which is also
// its window class (the desktop entry's StartupWMClass), and the desktop entry "tindrel". No
// display name is set: the desktop would append it to every window title, and the titles are
// exactly the program's own ("Tindrel II  - (Desktop Edition)", "Information"...).

class QGuiApplication;

namespace tindrel {

inline constexpr const char* kDesktopEntryName = "tindrel";

void NameProgram(QGuiApplication& application);

}  // namespace tindrel
