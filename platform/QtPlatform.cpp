#include "platform/QtPlatform.h"

#include "platform/Errors.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSysInfo>
#include <QTimer>

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

namespace tindrel {

namespace {
std::size_t Index(LockKey key) { return static_cast<std::size_t>(key); }
}  // namespace

// ---------------------------------------------------------------------------------------------

MessageButton QtMessageBoxes::Show(const QString& caption, const QString& text, MessageIcon icon,
                                   MessageButtons buttons) {
  QMessageBox::Icon qt_icon = QMessageBox::Information;
  switch (icon) {
    case MessageIcon::Information: qt_icon = QMessageBox::Information; break;
    case MessageIcon::Warning: qt_icon = QMessageBox::Warning; break;
    case MessageIcon::Error: qt_icon = QMessageBox::Critical; break;
    case MessageIcon::Confirmation: qt_icon = QMessageBox::Question; break;
  }
  if ((buttons & (mbOK | mbCancel | mbAll)) == 0) buttons = mbOK;

  QMessageBox box(qt_icon, caption, text, QMessageBox::NoButton, QApplication::activeWindow());
  QAbstractButton* ok = nullptr;
  QAbstractButton* cancel = nullptr;
  QAbstractButton* all = nullptr;
  if (buttons & mbOK) ok = box.addButton(QMessageBox::Ok);
  if (buttons & mbCancel) cancel = box.addButton(QMessageBox::Cancel);
  if (buttons & mbAll) all = box.addButton(QStringLiteral("&All"), QMessageBox::YesRole);
  QAbstractButton* first = ok ? ok : (cancel ? cancel : all);
  box.setDefaultButton(qobject_cast<QPushButton*>(first));
  box.setEscapeButton(cancel ? cancel : first);
  box.exec();

  QAbstractButton* chosen = box.clickedButton();
  if (!chosen) chosen = cancel ? cancel : first;
  if (chosen == ok) return mbOK;
  if (chosen == cancel) return mbCancel;
  return mbAll;
}

std::optional<QFont> QtFontDialog::ChooseFont(const QFont& initial, QWidget* parent) {
  bool accepted = false;
  QFont chosen = QFontDialog::getFont(&accepted, initial, parent ? parent : QApplication::activeWindow());
  if (!accepted) return std::nullopt;
  return chosen;
}

// ---------------------------------------------------------------------------------------------

namespace {
class QtTimer : public PlatformTimer {
 public:
  explicit QtTimer(std::function<void()> onTimeout) {
    QObject::connect(&timer_, &QTimer::timeout, [callback = std::move(onTimeout)] {
      RunGuarded([&] { callback(); });
    });
  }
  void Start(int intervalMs) override { timer_.start(intervalMs); }
  void Stop() override { timer_.stop(); }
  bool IsActive() const override { return timer_.isActive(); }
  int Interval() const override { return timer_.interval(); }

 private:
  QTimer timer_;
};

std::int64_t MonotonicNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

QtClock::QtClock() : start_ns_(MonotonicNanoseconds()) {}

std::uint64_t QtClock::TickCount() const {
  return static_cast<std::uint64_t>((MonotonicNanoseconds() - start_ns_) / 1000000);
}

QDateTime QtClock::CurrentDateTime() const { return QDateTime::currentDateTime(); }

std::unique_ptr<PlatformTimer> QtClock::CreateTimer(std::function<void()> onTimeout) {
  return std::make_unique<QtTimer>(std::move(onTimeout));
}

int QtClock::DoubleClickTime() const {
  if (qApp) return QApplication::doubleClickInterval();
  return 400;
}

// ---------------------------------------------------------------------------------------------

namespace {
// Whether any keyboard light whose name ends in `suffix` is lit (Linux exposes them under
// /sys/class/leds, for example "input3::capslock"). Unknown counts as off.
bool KeyboardLightOn(const QString& suffix) {
  const QDir leds(QStringLiteral("/sys/class/leds"));
  if (!leds.exists()) return false;
  const auto entries = leds.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  for (const QString& entry : entries) {
    if (!entry.endsWith(suffix)) continue;
    QFile brightness(leds.filePath(entry + QStringLiteral("/brightness")));
    if (!brightness.open(QIODevice::ReadOnly)) continue;
    const QByteArray value = brightness.read(32).trimmed();
    if (!value.isEmpty() && value != "0") return true;
  }
  return false;
}
}  // namespace

QtKeyboard::QtKeyboard() {
  toggled_[Index(LockKey::CapsLock)] = KeyboardLightOn(QStringLiteral("::capslock"));
  toggled_[Index(LockKey::NumLock)] = KeyboardLightOn(QStringLiteral("::numlock"));
  toggled_[Index(LockKey::ScrollLock)] = KeyboardLightOn(QStringLiteral("::scrolllock"));
}

bool QtKeyboard::IsToggled(LockKey key) const { return toggled_[Index(key)]; }
bool QtKeyboard::IsDown(LockKey key) const { return down_[Index(key)]; }

void QtKeyboard::NoteKeyEvent(LockKey key, bool pressed, bool autoRepeat) {
  if (pressed && !autoRepeat) toggled_[Index(key)] = !toggled_[Index(key)];
  down_[Index(key)] = pressed;
}

void QtKeyboard::PressAndRelease(LockKey key) {
  NoteKeyEvent(key, true, false);
  NoteKeyEvent(key, false, false);
}

// ---------------------------------------------------------------------------------------------

QString QtSystemInfo::UserName() const {
  // The password database entry needs a buffer whose size the system only hints at: grow it
  // until the entry fits (bounded, so a broken database cannot make it grow for ever).
  long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::size_t size = hint > 0 ? static_cast<std::size_t>(hint) : 1024;
  constexpr std::size_t kLargest = 1u << 20;
  while (size <= kLargest) {
    std::vector<char> buffer(size);
    passwd entry{};
    passwd* found = nullptr;
    const int rc = getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found);
    if (rc == ERANGE) {
      size *= 2;
      continue;
    }
    if (rc == 0 && found && found->pw_name) return QString::fromLocal8Bit(found->pw_name);
    break;
  }
  return QString();
}

QString QtSystemInfo::ComputerName() const { return QSysInfo::machineHostName(); }

}  // namespace tindrel
