#include "app/ProgramName.h"

#include "platform/ErrorBox.h"

#include <QGuiApplication>

namespace tindrel {

void NameProgram(QGuiApplication& application) {
  application.setApplicationName(QString::fromUtf8(kApplicationTitle));
  // On X11 the window's class is the application name; the desktop groups the window with the
  // entry scripts/desktop-entry.sh installs by it.
  application.setDesktopFileName(QString::fromUtf8(kDesktopEntryName));
}

}  // namespace tindrel
