#pragma once
// The scripted platform for tests: message boxes and the font dialog answer from a script and
// record what was shown, the clock moves only when the test advances it (and fires the timers
// that fall due on the way), the keyboard and the system names are whatever the test sets.
//
// Constructing a ScriptedPlatform installs it; destroying it puts the previous platform back.

#include "platform/Platform.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tindrel::testing {

struct ShownBox {
  QString caption;
  QString text;
  MessageIcon icon;
  MessageButtons buttons;
  MessageButton answer;
};

class ScriptedMessageBoxes : public MessageBoxService {
 public:
  // The answers the next boxes give, in order. An unscripted box answers OK when it offers OK,
  // otherwise its first button.
  void Answer(MessageButton button) { answers_.push_back(button); }

  MessageButton Show(const QString& caption, const QString& text, MessageIcon icon,
                     MessageButtons buttons) override {
    MessageButton answer = mbNone;
    if (!answers_.empty()) {
      answer = answers_.front();
      answers_.pop_front();
    } else if (buttons & mbOK) {
      answer = mbOK;
    } else if (buttons & mbCancel) {
      answer = mbCancel;
    } else {
      answer = mbAll;
    }
    shown.push_back({caption, text, icon, buttons, answer});
    return answer;
  }

  std::size_t PendingAnswers() const { return answers_.size(); }

  std::vector<ShownBox> shown;

 private:
  std::deque<MessageButton> answers_;
};

class ScriptedFontDialog : public FontDialogService {
 public:
  using Answer = std::function<std::optional<QFont>(const QFont& initial)>;
  void Choose(const QFont& font) {
    answers_.push_back([font](const QFont&) { return font; });
  }
  void Cancel() {
    answers_.push_back([](const QFont&) { return std::nullopt; });
  }
  // The answer made from the font the dialog started on, as a person changing only some of it.
  void ChooseFrom(Answer answer) { answers_.push_back(std::move(answer)); }

  // An unscripted run cancels.
  std::optional<QFont> ChooseFont(const QFont& initial, QWidget*) override {
    initial_fonts.push_back(initial);
    if (answers_.empty()) return std::nullopt;
    Answer answer = std::move(answers_.front());
    answers_.pop_front();
    return answer(initial);
  }

  std::vector<QFont> initial_fonts;

 private:
  std::deque<Answer> answers_;
};

class TestClock : public ClockService {
 public:
  TestClock() : state_(std::make_shared<State>()) {
    state_->wall = QDateTime(QDate(2000, 1, 1), QTime(12, 0, 0));
  }

  std::uint64_t TickCount() const override { return state_->tick; }
  QDateTime CurrentDateTime() const override { return state_->wall; }
  int DoubleClickTime() const override { return double_click_time; }

  void SetTickCount(std::uint64_t tick) { state_->tick = tick; }
  void SetDateTime(const QDateTime& wall) { state_->wall = wall; }

  // Moves time forward by `ms`, firing every timer that falls due on the way, in time order.
  void Advance(std::uint64_t ms) {
    const std::uint64_t target = state_->tick + ms;
    for (;;) {
      TimerImpl* next = nullptr;
      for (TimerImpl* timer : state_->timers)
        if (timer->active && timer->due <= target && (!next || timer->due < next->due)) next = timer;
      if (!next) break;
      MoveTo(next->due);
      next->due += next->interval;
      auto callback = next->callback;  // the callback may destroy its timer
      callback();
    }
    MoveTo(target);
  }

  std::unique_ptr<PlatformTimer> CreateTimer(std::function<void()> onTimeout) override {
    return std::make_unique<TimerImpl>(state_, std::move(onTimeout));
  }

  std::size_t ActiveTimers() const {
    return std::count_if(state_->timers.begin(), state_->timers.end(),
                         [](const TimerImpl* t) { return t->active; });
  }

  int double_click_time = 500;

 private:
  struct TimerImpl;
  struct State {
    std::uint64_t tick = 0;
    QDateTime wall;
    std::vector<TimerImpl*> timers;
  };

  struct TimerImpl : PlatformTimer {
    TimerImpl(std::shared_ptr<State> state, std::function<void()> cb)
        : state(std::move(state)), callback(std::move(cb)) {
      this->state->timers.push_back(this);
    }
    ~TimerImpl() override {
      auto& timers = state->timers;
      timers.erase(std::remove(timers.begin(), timers.end(), this), timers.end());
    }
    void Start(int intervalMs) override {
      interval = intervalMs > 0 ? static_cast<std::uint64_t>(intervalMs) : 1;
      due = state->tick + interval;
      active = true;
    }
    void Stop() override { active = false; }
    bool IsActive() const override { return active; }
    int Interval() const override { return static_cast<int>(interval); }

    std::shared_ptr<State> state;
    std::function<void()> callback;
    std::uint64_t interval = 0;
    std::uint64_t due = 0;
    bool active = false;
  };

  void MoveTo(std::uint64_t tick) {
    state_->wall = state_->wall.addMSecs(static_cast<qint64>(tick - state_->tick));
    state_->tick = tick;
  }

  std::shared_ptr<State> state_;
};

class ScriptedKeyboard : public KeyboardService {
 public:
  void SetToggled(LockKey key, bool on) { toggled_[Index(key)] = on; }
  void SetDown(LockKey key, bool down) { down_[Index(key)] = down; }

  bool IsToggled(LockKey key) const override { return toggled_[Index(key)]; }
  bool IsDown(LockKey key) const override { return down_[Index(key)]; }
  void NoteKeyEvent(LockKey key, bool pressed, bool autoRepeat) override {
    if (pressed && !autoRepeat) toggled_[Index(key)] = !toggled_[Index(key)];
    down_[Index(key)] = pressed;
    ++key_events;
  }
  void PressAndRelease(LockKey key) override {
    toggled_[Index(key)] = !toggled_[Index(key)];
    pressed_keys.push_back(key);
  }

  int key_events = 0;
  std::vector<LockKey> pressed_keys;

 private:
  static std::size_t Index(LockKey key) { return static_cast<std::size_t>(key); }
  std::array<bool, 4> toggled_{};
  std::array<bool, 4> down_{};
};

class ScriptedSystemInfo : public SystemInfoService {
 public:
  QString UserName() const override { return user_name; }
  QString ComputerName() const override { return computer_name; }

  QString user_name = QStringLiteral("tester");
  QString computer_name = QStringLiteral("testhost");
};

class ScriptedPlatform : public Platform {
 public:
  ScriptedPlatform() : previous_(Platform::Install(this)) {}
  ~ScriptedPlatform() override { Platform::Install(previous_); }
  ScriptedPlatform(const ScriptedPlatform&) = delete;
  ScriptedPlatform& operator=(const ScriptedPlatform&) = delete;

  MessageBoxService& MessageBoxes() override { return boxes; }
  FontDialogService& FontDialog() override { return fonts; }
  ClockService& Clock() override { return clock; }
  KeyboardService& Keyboard() override { return keyboard; }
  SystemInfoService& SystemInfo() override { return system; }

  ScriptedMessageBoxes boxes;
  ScriptedFontDialog fonts;
  TestClock clock;
  ScriptedKeyboard keyboard;
  ScriptedSystemInfo system;

 private:
  Platform* previous_;
};

}  // namespace tindrel::testing
