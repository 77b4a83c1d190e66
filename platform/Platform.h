#pragma once
// The services that stand in for the desktop platform: message boxes, the font dialog, timers and
// the tick count, the double-click time, the keyboard state and the user and computer names.
//
// Every part of the program reaches them through Platform::Instance(). The program runs on the Qt
// implementation (QtPlatform); tests install a scripted one with Platform::Install, so message
// boxes, the font dialog and the clock answer without a person. Only this layer calls
// QMessageBox and QFontDialog.

#include <QDateTime>
#include <QFont>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace tindrel {

// ---------------------------------------------------------------------------------------------
// Message boxes

enum class MessageIcon { Information, Warning, Error, Confirmation };

// The buttons a box offers, as a bit set; Show returns the one that was chosen.
enum MessageButton : unsigned {
  mbNone = 0,
  mbOK = 1u << 0,
  mbCancel = 1u << 1,
  mbAll = 1u << 2,
};
using MessageButtons = unsigned;

class MessageBoxService {
 public:
  virtual ~MessageBoxService() = default;
  // Shows a modal box and returns the button chosen. Closing the box without choosing answers
  // Cancel when Cancel is offered, otherwise the first button offered.
  virtual MessageButton Show(const QString& caption, const QString& text, MessageIcon icon,
                             MessageButtons buttons) = 0;
};

// ---------------------------------------------------------------------------------------------
// Font dialog

class FontDialogService {
 public:
  virtual ~FontDialogService() = default;
  // Runs the font dialog starting at `initial`; the chosen font, or nothing when cancelled.
  virtual std::optional<QFont> ChooseFont(const QFont& initial, QWidget* parent = nullptr) = 0;
  // The largest point size the dialog offers.
  virtual int MaxPointSize() const { return 72; }
};

// ---------------------------------------------------------------------------------------------
// Clock and timers

// A repeating timer. The callback runs on the program's one thread; it must not throw (wrap its
// body in RunGuarded). Destroying the timer stops it.
class PlatformTimer {
 public:
  virtual ~PlatformTimer() = default;
  virtual void Start(int intervalMs) = 0;
  virtual void Stop() = 0;
  virtual bool IsActive() const = 0;
  virtual int Interval() const = 0;
};

class ClockService {
 public:
  virtual ~ClockService() = default;
  // Milliseconds since an arbitrary start; 64 bits and monotonic, so it never wraps and
  // differences between two readings are always the elapsed time.
  virtual std::uint64_t TickCount() const = 0;
  // The wall-clock date and time, for the panels that show them.
  virtual QDateTime CurrentDateTime() const = 0;
  virtual std::unique_ptr<PlatformTimer> CreateTimer(std::function<void()> onTimeout) = 0;
  // The longest interval between two clicks that still makes a double click.
  virtual int DoubleClickTime() const = 0;
};

// Milliseconds from `earlier` to `later` of two tick readings; 0 when `later` is not after it.
inline std::uint64_t TicksBetween(std::uint64_t earlier, std::uint64_t later) {
  return later > earlier ? later - earlier : 0;
}

// ---------------------------------------------------------------------------------------------
// Keyboard state

enum class LockKey { CapsLock, NumLock, ScrollLock, Insert };

class KeyboardService {
 public:
  virtual ~KeyboardService() = default;
  // Whether the key's lock (for Insert: overwrite mode) is switched on.
  virtual bool IsToggled(LockKey key) const = 0;
  // Whether the key is being held down.
  virtual bool IsDown(LockKey key) const = 0;
  // A key event the program saw; a press that is not an auto-repeat flips the lock.
  virtual void NoteKeyEvent(LockKey key, bool pressed, bool autoRepeat) = 0;
  // Presses and releases the key once, which flips its lock.
  virtual void PressAndRelease(LockKey key) = 0;
};

// The lock key a Qt key code stands for, or nothing.
std::optional<LockKey> LockKeyFromQtKey(int qtKey);

// ---------------------------------------------------------------------------------------------
// System names

class SystemInfoService {
 public:
  virtual ~SystemInfoService() = default;
  // The logged-on user's name and the computer's name, of any length; empty when unknown.
  virtual QString UserName() const = 0;
  virtual QString ComputerName() const = 0;
};

// ---------------------------------------------------------------------------------------------

class Platform {
 public:
  virtual ~Platform() = default;

  virtual MessageBoxService& MessageBoxes() = 0;
  virtual FontDialogService& FontDialog() = 0;
  virtual ClockService& Clock() = 0;
  virtual KeyboardService& Keyboard() = 0;
  virtual SystemInfoService& SystemInfo() = 0;

  // The installed platform, or the Qt one (created at first use) when none is installed.
  static Platform& Instance();
  // Installs `platform` (not owned; nullptr returns to the Qt one) and returns the one installed
  // before, so a test can put it back.
  static Platform* Install(Platform* platform);
};

}  // namespace tindrel
