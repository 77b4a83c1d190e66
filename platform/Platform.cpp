#include "platform/Platform.h"

#include "platform/QtPlatform.h"

#include <Qt>

namespace tindrel {

namespace {
Platform*& InstalledPlatform() {
  static Platform* installed = nullptr;
  return installed;
}
}  // namespace

Platform& Platform::Instance() {
  if (Platform* installed = InstalledPlatform()) return *installed;
  static QtPlatform qt_platform;
  return qt_platform;
}

Platform* Platform::Install(Platform* platform) {
  Platform* previous = InstalledPlatform();
  InstalledPlatform() = platform;
  return previous;
}

std::optional<LockKey> LockKeyFromQtKey(int qtKey) {
  switch (qtKey) {
    case Qt::Key_CapsLock: return LockKey::CapsLock;
    case Qt::Key_NumLock: return LockKey::NumLock;
    case Qt::Key_ScrollLock: return LockKey::ScrollLock;
    case Qt::Key_Insert: return LockKey::Insert;
    default: return std::nullopt;
  }
}

}  // namespace tindrel
