#include "platform/ErrorBox.h"

#include "platform/Errors.h"
#include "platform/Platform.h"

namespace tindrel {

QString ErrorBoxText(const QString& message) {
  if (!message.isEmpty() && message.back() > QLatin1Char('.')) return message + QLatin1Char('.');
  return message;
}

void ShowErrorBox(const QString& message) {
  Platform::Instance().MessageBoxes().Show(QString::fromLatin1(kApplicationTitle),
                                           ErrorBoxText(message), MessageIcon::Error, mbOK);
}

void InstallDefaultErrorHandler() {
  SetErrorHandler([](const std::exception& error) { ShowErrorBox(QString::fromUtf8(error.what())); });
}

}  // namespace tindrel
