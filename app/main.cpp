// The program entry: the heap's large pages (the program starts itself once more for them), the
// application with its title and error handler, the main window, the message loop. No arguments
// are read.
#include "app/HeapPages.h"
#include "app/ProgramName.h"
#include "app/SessionEnd.h"
#include "app/TMainForm.h"
#include "platform/ErrorBox.h"
#include "platform/GuardedApplication.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Whether Qt can find somewhere to show the window: a desktop session, or a platform chosen on
// purpose (offscreen, a virtual server...). Without one Qt would stop with a terse message.
bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (!HasDisplay()) {
    std::fprintf(stderr,
                 "Tindrel II is a desktop program and needs a graphical session, but no display was found.\n"
                 "Start it from a terminal of your desktop, or under a virtual display:\n"
                 "  xvfb-run -a %s\n",
                 argc > 0 ? argv[0] : "tindrel");
    return 1;
  }
  tindrel::RestartWithHeapPages(argv);
  tindrel::GuardedApplication application(argc, argv);
  tindrel::NameProgram(application);
  tindrel::InstallDefaultErrorHandler();
  tindrel::TMainForm MainForm;
  // A SIGTERM, a logout or a shutdown keeps the typing and the settings as a close does.
  tindrel::SessionEnd sessionEnd(MainForm);
  MainForm.show();
  return application.exec();
}
