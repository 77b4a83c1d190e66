#include "platform/ErrorBox.h"
#include "platform/Errors.h"
#include "platform/Platform.h"
#include "platform/QtPlatform.h"
#include "tests/support/platform/ScriptedPlatform.h"

#include <QApplication>
#include <QFontDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace tindrel {
namespace {

using testing::ScriptedPlatform;

TEST(ErrorBoxText, AppendsAStopOnlyAfterACharacterThatSortsAfterTheStop) {
  struct Case {
    const char* message;
    const char* shown;
  } cases[] = {
      {"Disk full", "Disk full."},
      {"Done.", "Done."},
      {"Why?", "Why?."},           // '?' sorts after '.'
      {"Stop!", "Stop!"},          // '!' sorts before '.'
      {"(none)", "(none)"},        // ')' sorts before '.'
      {"a-", "a-"},
      {"path/", "path/."},         // '/' is the first character after '.'
      {"Version 2", "Version 2."},
      {"trailing ", "trailing "},
      {"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ErrorBoxText(QString::fromUtf8(c.message)), QString::fromUtf8(c.shown)) << c.message;
  EXPECT_EQ(ErrorBoxText(QString::fromUtf8("Σφάλμα")), QString::fromUtf8("Σφάλμα."));
}

class DefaultErrorHandler : public ::testing::Test {
 protected:
  void SetUp() override { InstallDefaultErrorHandler(); }
  void TearDown() override { SetErrorHandler(nullptr); }
  ScriptedPlatform platform;
};

TEST_F(DefaultErrorHandler, ShowsTheStopBoxCaptionedWithTheTitleAndSkipsSilentAborts) {
  EXPECT_FALSE(RunGuarded([] { throw std::runtime_error("Table: Cannot perform this operation on a closed dataset"); }));
  EXPECT_FALSE(RunGuarded([] { throw SilentAbort(); }));
  EXPECT_FALSE(RunGuarded([] { throw 42; }));

  ASSERT_EQ(platform.boxes.shown.size(), 2u);
  const auto& box = platform.boxes.shown[0];
  EXPECT_EQ(box.caption, "Tindrel II");
  EXPECT_EQ(box.text, "Table: Cannot perform this operation on a closed dataset.");
  EXPECT_EQ(box.icon, MessageIcon::Error);
  EXPECT_EQ(box.buttons, MessageButtons(mbOK));
  EXPECT_EQ(platform.boxes.shown[1].text, "Unknown error.");
}

TEST(ScriptedMessageBoxes, AnswersFromTheScriptInOrderThenOK) {
  ScriptedPlatform platform;
  platform.boxes.Answer(mbAll);
  platform.boxes.Answer(mbCancel);
  auto& boxes = Platform::Instance().MessageBoxes();
  const MessageButtons question = mbOK | mbCancel | mbAll;
  EXPECT_EQ(boxes.Show("Confirm", "Delete?", MessageIcon::Confirmation, question), mbAll);
  EXPECT_EQ(boxes.Show("Confirm", "Delete?", MessageIcon::Confirmation, question), mbCancel);
  EXPECT_EQ(boxes.Show("Confirm", "Delete?", MessageIcon::Confirmation, question), mbOK);
  EXPECT_EQ(boxes.Show("Confirm", "Only cancel", MessageIcon::Warning, mbCancel), mbCancel);
  ASSERT_EQ(platform.boxes.shown.size(), 4u);
  EXPECT_EQ(platform.boxes.shown[1].answer, mbCancel);
  EXPECT_EQ(platform.boxes.shown[3].text, "Only cancel");
}

TEST(PlatformInstance, InstallReturnsThePreviousAndNullReturnsToQt) {
  Platform& qt = Platform::Instance();
  EXPECT_NE(dynamic_cast<QtPlatform*>(&qt), nullptr);
  {
    ScriptedPlatform outer;
    {
      ScriptedPlatform inner;
      EXPECT_EQ(&Platform::Instance(), &inner);
    }
    EXPECT_EQ(&Platform::Instance(), &outer);
  }
  EXPECT_EQ(&Platform::Instance(), &qt);
}

// Clicks the button with `text` in the modal message box as soon as it shows.
void ClickWhenShown(const QString& text, QMessageBox::Icon* seenIcon) {
  QTimer::singleShot(0, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    *seenIcon = box->icon();
    if (text.isEmpty()) {
      QTest::keyClick(box, Qt::Key_Escape);
      return;
    }
    for (QAbstractButton* button : box->buttons())
      if (button->text() == text) return button->click();
    ADD_FAILURE() << "no button " << text.toStdString();
    box->reject();
  });
}

TEST(QtMessageBoxes, ReturnsTheButtonClickedAndCancelOnEscape) {
  QtMessageBoxes boxes;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  ClickWhenShown("&All", &icon);
  EXPECT_EQ(boxes.Show("Confirm", "Delete?", MessageIcon::Confirmation, mbOK | mbCancel | mbAll), mbAll);
  EXPECT_EQ(icon, QMessageBox::Question);

  ClickWhenShown(QString(), &icon);
  EXPECT_EQ(boxes.Show("Confirm", "Delete?", MessageIcon::Warning, mbOK | mbCancel), mbCancel);
  EXPECT_EQ(icon, QMessageBox::Warning);

  ClickWhenShown(QString(), &icon);
  EXPECT_EQ(boxes.Show("Tindrel II", "Failed.", MessageIcon::Error, mbOK), mbOK);
  EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST(QtFontDialog, GivesTheChosenFontOrNothingWhenCancelled) {
  QtFontDialog dialog;
  QFont initial("DejaVu Sans", 11);
  QTimer::singleShot(0, [] {
    auto* box = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    QFont chosen = box->currentFont();
    chosen.setPointSize(14);
    box->setCurrentFont(chosen);
    box->accept();
  });
  const auto chosen = dialog.ChooseFont(initial, nullptr);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(chosen->pointSize(), 14);

  QTimer::singleShot(0, [] {
    if (auto* box = QApplication::activeModalWidget()) static_cast<QDialog*>(box)->reject();
  });
  EXPECT_FALSE(dialog.ChooseFont(initial, nullptr).has_value());
}

TEST(ScriptedFontDialog, AnswersFromTheScriptAndRecordsTheStartingFont) {
  ScriptedPlatform platform;
  platform.fonts.Choose(QFont("Courier New", 12));
  auto& fonts = Platform::Instance().FontDialog();
  EXPECT_EQ(fonts.ChooseFont(QFont("MS Sans Serif", 8))->family(), "Courier New");
  EXPECT_FALSE(fonts.ChooseFont(QFont("MS Sans Serif", 8)).has_value());
  ASSERT_EQ(platform.fonts.initial_fonts.size(), 2u);
  EXPECT_EQ(platform.fonts.initial_fonts[0].pointSize(), 8);
}

TEST(TestClock, FiresTimersInTimeOrderAndTicksNeverWrap) {
  ScriptedPlatform platform;
  auto& clock = Platform::Instance().Clock();
  std::vector<std::pair<char, std::uint64_t>> fired;
  auto fast = clock.CreateTimer([&] { fired.push_back({'f', clock.TickCount()}); });
  auto slow = clock.CreateTimer([&] { fired.push_back({'s', clock.TickCount()}); });
  fast->Start(100);
  slow->Start(250);
  platform.clock.Advance(300);
  std::vector<std::pair<char, std::uint64_t>> expected{{'f', 100}, {'f', 200}, {'s', 250}, {'f', 300}};
  EXPECT_EQ(fired, expected);

  fast->Stop();
  slow.reset();
  fired.clear();
  platform.clock.Advance(1000);
  EXPECT_TRUE(fired.empty());

  // Past the point where a 32-bit millisecond counter wraps, differences stay right.
  platform.clock.SetTickCount(0xFFFFFF00ull);
  const std::uint64_t before = clock.TickCount();
  platform.clock.Advance(0x200);
  EXPECT_EQ(TicksBetween(before, clock.TickCount()), 0x200u);
  EXPECT_EQ(TicksBetween(clock.TickCount(), before), 0u);
}

TEST(TestClock, WallClockMovesWithTheTicks) {
  ScriptedPlatform platform;
  platform.clock.SetDateTime(QDateTime(QDate(2024, 3, 9), QTime(23, 59, 59)));
  platform.clock.Advance(1500);
  EXPECT_EQ(Platform::Instance().Clock().CurrentDateTime(),
            QDateTime(QDate(2024, 3, 10), QTime(0, 0, 0, 500)));
}

TEST(QtClock, TimerRunsOnTheEventLoopAndReportsThrowsInsteadOfUnwinding) {
  std::vector<std::string> reported;
  SetErrorHandler([&](const std::exception& e) { reported.push_back(e.what()); });
  QtClock clock;
  int fired = 0;
  auto timer = clock.CreateTimer([&] {
    ++fired;
    throw std::runtime_error("tick failed");
  });
  const std::uint64_t start = clock.TickCount();
  timer->Start(5);
  EXPECT_TRUE(timer->IsActive());
  QTRY_VERIFY_WITH_TIMEOUT(fired >= 2, 5000);
  timer->Stop();
  EXPECT_GE(clock.TickCount(), start + 5);
  EXPECT_GE(reported.size(), 2u);
  EXPECT_EQ(reported.front(), "tick failed");
  EXPECT_GT(clock.DoubleClickTime(), 0);
  SetErrorHandler(nullptr);
}

TEST(QtKeyboard, PressesFlipTheLockAutoRepeatDoesNot) {
  QtKeyboard keyboard;
  for (LockKey key : {LockKey::CapsLock, LockKey::NumLock, LockKey::ScrollLock, LockKey::Insert}) {
    const bool initially = keyboard.IsToggled(key);
    keyboard.NoteKeyEvent(key, true, false);
    EXPECT_TRUE(keyboard.IsDown(key));
    EXPECT_NE(keyboard.IsToggled(key), initially);
    keyboard.NoteKeyEvent(key, true, true);
    EXPECT_NE(keyboard.IsToggled(key), initially);
    keyboard.NoteKeyEvent(key, false, false);
    EXPECT_FALSE(keyboard.IsDown(key));
    keyboard.PressAndRelease(key);
    EXPECT_EQ(keyboard.IsToggled(key), initially);
  }
  EXPECT_EQ(LockKeyFromQtKey(Qt::Key_CapsLock), LockKey::CapsLock);
  EXPECT_EQ(LockKeyFromQtKey(Qt::Key_Insert), LockKey::Insert);
  EXPECT_EQ(LockKeyFromQtKey(Qt::Key_A), std::nullopt);
}

TEST(QtSystemInfo, NamesTheUserAndTheComputer) {
  QtSystemInfo info;
  EXPECT_FALSE(info.UserName().isEmpty());
  EXPECT_FALSE(info.ComputerName().isEmpty());
}

}  // namespace
}  // namespace tindrel
