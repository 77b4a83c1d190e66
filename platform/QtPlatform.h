#pragma once
// The Qt implementation of the platform services: what the program runs on.

#include "platform/Platform.h"

#include <array>

namespace tindrel {

class QtMessageBoxes : public MessageBoxService {
 public:
  MessageButton Show(const QString& caption, const QString& text, MessageIcon icon,
                     MessageButtons buttons) override;
};

class QtFontDialog : public FontDialogService {
 public:
  std::optional<QFont> ChooseFont(const QFont& initial, QWidget* parent) override;
};

class QtClock : public ClockService {
 public:
  QtClock();
  std::uint64_t TickCount() const override;
  QDateTime CurrentDateTime() const override;
  std::unique_ptr<PlatformTimer> CreateTimer(std::function<void()> onTimeout) override;
  int DoubleClickTime() const override;

 private:
  std::int64_t start_ns_;
};

// Qt tells key events but not whether a lock is on, so the locks are followed from the key
// events the program sees, starting from the keyboard lights where the system exposes them.
class QtKeyboard : public KeyboardService {
 public:
  QtKeyboard();
  bool IsToggled(LockKey key) const override;
  bool IsDown(LockKey key) const override;
  void NoteKeyEvent(LockKey key, bool pressed, bool autoRepeat) override;
  void PressAndRelease(LockKey key) override;

 private:
  std::array<bool, 4> toggled_{};
  std::array<bool, 4> down_{};
};

class QtSystemInfo : public SystemInfoService {
 public:
  QString UserName() const override;
  QString ComputerName() const override;
};

class QtPlatform : public Platform {
 public:
  MessageBoxService& MessageBoxes() override { return message_boxes_; }
  FontDialogService& FontDialog() override { return font_dialog_; }
  ClockService& Clock() override { return clock_; }
  KeyboardService& Keyboard() override { return keyboard_; }
  SystemInfoService& SystemInfo() override { return system_info_; }

 private:
  QtMessageBoxes message_boxes_;
  QtFontDialog font_dialog_;
  QtClock clock_;
  QtKeyboard keyboard_;
  QtSystemInfo system_info_;
};

}  // namespace tindrel
