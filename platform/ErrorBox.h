#pragma once
// The default error handler: every error that reaches it is shown in one message box captioned
// with the application's title, with the stop icon and an OK button.

#include <QString>

namespace tindrel {

inline constexpr const char* kApplicationTitle = "Tindrel II";

// The text the error box shows for `message`: a "." is appended when the last character sorts
// after "." (so "Disk full" gets one, "Done." and "Why?" keep theirs as they are).
QString ErrorBoxText(const QString& message);

// Shows `message` in the error box through the platform's message boxes.
void ShowErrorBox(const QString& message);

// Installs the error box as the handler of platform/Errors.h. Silent aborts stay unshown.
void InstallDefaultErrorHandler();

}  // namespace tindrel
