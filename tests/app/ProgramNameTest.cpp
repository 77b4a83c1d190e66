// The names the program gives the application: the window class the desktop entry expects, and
// no display name, which the desktop would append to every window title.

#include "app/ProgramName.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

namespace tindrel {
namespace {

TEST(ProgramName, TheWindowClassIsTheEntrysAndNoTitleGetsASuffix) {
  NameProgram(*qApp);
  EXPECT_EQ(QGuiApplication::applicationName(), "Tindrel II") << "the desktop entry's StartupWMClass";
  EXPECT_EQ(QGuiApplication::desktopFileName(), "tindrel");
  // A display name set on purpose would stay when the application's name changes; unset, it
  // follows the name, and window titles are shown exactly as the program sets them.
  QGuiApplication::setApplicationName(QStringLiteral("probe"));
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), "probe") << "a display name is set";
  NameProgram(*qApp);
}

}  // namespace
}  // namespace tindrel
