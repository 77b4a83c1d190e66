// The program entry: the application with its title and error handler, the main window, the
// message loop. No arguments are read.
#include "app/TMainForm.h"
#include "platform/ErrorBox.h"
#include "platform/GuardedApplication.h"

int main(int argc, char** argv) {
  tindrel::GuardedApplication application(argc, argv);
  application.setApplicationName(QString::fromUtf8(tindrel::kApplicationTitle));
  application.setApplicationDisplayName(QString::fromUtf8(tindrel::kApplicationTitle));
  tindrel::InstallDefaultErrorHandler();
  tindrel::TMainForm MainForm;
  MainForm.show();
  return application.exec();
}
