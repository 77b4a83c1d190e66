#include "platform/Errors.h"
#include "statusbar/TfcStatusBar.h"
#include "tests/support/platform/ScriptedPlatform.h"

#include <QAccessible>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSizeGrip>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <map>

namespace tindrel {
namespace {

using testing::ScriptedPlatform;

// A shown bar (offscreen) whose panel draws are counted by panel name.
class StatusBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bar = std::make_unique<TfcStatusBar>();
    bar->OnDrawPanel = [this](TfcStatusBar*, TfcStatusPanel* panel, const QRect&) { ++draws[panel->Name()]; };
  }
  void Show(int width) {
    bar->resize(width, TfcStatusBar::kDefaultHeight);
    bar->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(bar.get()));
    QCoreApplication::processEvents();
  }
  TfcStatusPanel* AddPanel(const QString& width, const QString& text = QString(),
                           TfcStatusPanelStyle style = psTextOnly) {
    TfcStatusPanel* panel = bar->Panels().Add();
    panel->SetWidth(width);
    panel->SetText(text);
    panel->SetStyle(style);
    return panel;
  }

  ScriptedPlatform platform;
  std::unique_ptr<TfcStatusBar> bar;
  std::map<QString, int> draws;
};

TEST_F(StatusBarTest, LayoutGivesFixedWidthsFirstThenSharesAndTheLastReachesTheEnd) {
  struct Case {
    const char* name;
    int bar_width;
    std::vector<QString> widths;
    std::vector<int> pixels;
  } cases[] = {
      {"fixed then percent", 300, {"100", "50%"}, {100, 100}},
      {"two shares of one remainder", 300, {"100", "50%", "25%"}, {100, 100, 50}},
      {"share before fixed", 300, {"50%", "100"}, {100, 100}},
      {"narrower than the first panel", 60, {"80", "50"}, {60, 0}},
      {"nothing left for the share", 100, {"100", "50%"}, {100, 0}},
      {"zero width", 300, {"0", "100"}, {0, 100}},
  };
  for (const auto& c : cases) {
    bar = std::make_unique<TfcStatusBar>();
    for (const QString& width : c.widths) AddPanel(width);
    Show(c.bar_width);
    std::vector<int> pixels;
    for (int i = 0; i < bar->Panels().Count(); ++i) pixels.push_back(bar->Panels()[i]->PixelWidth());
    EXPECT_EQ(pixels, c.pixels) << c.name;
    const QRect last = bar->PanelRect(bar->Panels().Count() - 1);
    EXPECT_EQ(last.right(), c.bar_width - 1) << c.name;
  }
  // 300 pixels, 100 and 50%: the second part runs from 100 to the right end.
  EXPECT_EQ(bar->PanelRect(0), QRect(0, 0, 0, 20));
  bar = std::make_unique<TfcStatusBar>();
  AddPanel("100");
  AddPanel("50%");
  Show(300);
  EXPECT_EQ(bar->PanelRect(0), QRect(0, 0, 100, 20));
  EXPECT_EQ(bar->PanelRect(1), QRect(100, 0, 200, 20));
}

TEST_F(StatusBarTest, MainWindowBarKeepsTheVersionPanelAndWidensOnlyTheSecond) {
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addStretch();
  auto* status = new TfcStatusBar(&window);
  layout->addWidget(status);
  TfcStatusPanel* version = status->Panels().Add();
  version->SetText("Version 1.0.1");
  version->SetWidth("80");
  TfcStatusPanel* rest = status->Panels().Add();
  EXPECT_EQ(version->Name(), "Panel0");
  EXPECT_EQ(rest->Name(), "Panel1");
  EXPECT_EQ(rest->Width(), "50");
  window.resize(597, 300);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  EXPECT_EQ(status->height(), 20);
  EXPECT_EQ(status->PanelRect(0), QRect(0, 0, 80, 20));
  EXPECT_EQ(status->PanelRect(1), QRect(80, 0, 517, 20));
  ASSERT_TRUE(status->IsGripShown());
  auto* grip = status->findChild<QSizeGrip*>();
  ASSERT_NE(grip, nullptr);
  EXPECT_TRUE(grip->isVisible());
  EXPECT_EQ(grip->geometry().right(), 596);

  window.resize(800, 300);
  QCoreApplication::processEvents();
  EXPECT_EQ(status->PanelRect(0).width(), 80);
  EXPECT_EQ(status->PanelRect(1), QRect(80, 0, 720, 20));

  window.resize(50, 300);
  QCoreApplication::processEvents();
  EXPECT_EQ(status->PanelRect(0).width(), status->width());

  window.setFixedSize(400, 300);
  QCoreApplication::processEvents();
  EXPECT_FALSE(status->IsGripShown());
  EXPECT_FALSE(grip->isVisible());
}

TEST_F(StatusBarTest, InvalidWidthIsRefusedAndTheOldOneStays) {
  TfcStatusPanel* panel = AddPanel("80");
  const std::string message =
      "Width must be a valid, positive integer, or must be an integer followed by a \"%\" sign.";
  for (const char* bad : {"", "abc", "-5", "5.5", "%", "50 %", " 50", "50%%", "99999999999", "0x10"}) {
    try {
      panel->SetWidth(bad);
      ADD_FAILURE() << "accepted " << bad;
    } catch (const EInvalidOperation& e) {
      EXPECT_EQ(e.what(), message) << bad;
    }
    EXPECT_EQ(panel->Width(), "80") << bad;
  }
  for (const char* good : {"0", "50", "50%", "150%"}) {
    EXPECT_NO_THROW(panel->SetWidth(good));
    EXPECT_EQ(panel->Width(), good);
  }
}

TEST_F(StatusBarTest, NamesAreUniqueAndNewPanelsTakeTheSmallestFreeNumber) {
  AddPanel("10");
  TfcStatusPanel* second = AddPanel("10");
  TfcStatusPanel* third = AddPanel("10");
  try {
    third->SetName("panel0");
    ADD_FAILURE() << "duplicate accepted";
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "A panel named panel0 already exists.");
  }
  EXPECT_EQ(third->Name(), "Panel2");
  EXPECT_NO_THROW(third->SetName("Panel2"));
  second->SetName("Clock");
  EXPECT_EQ(bar->Panels().Add()->Name(), "Panel1");
  bar->Panels().Delete(0);
  EXPECT_EQ(bar->Panels().Add()->Name(), "Panel0");
}

TEST_F(StatusBarTest, ChangedTextIsReportedAndRepaintedAtOnce) {
  TfcStatusPanel* first = AddPanel("80", "Version 1.0.1");
  TfcStatusPanel* second = AddPanel("50");
  std::vector<QString> changes;
  second->OnTextChanged = [&](TfcStatusPanel*, const QString& text) { changes.push_back(text); };
  Show(300);
  EXPECT_EQ(first->DrawnText(), "Version 1.0.1");
  draws.clear();

  second->SetText("Saved");
  EXPECT_EQ(changes, std::vector<QString>{"Saved"});
  EXPECT_EQ(draws["Panel1"], 1);
  EXPECT_EQ(draws["Panel0"], 0);
  EXPECT_EQ(second->DrawnText(), "Saved");

  second->SetText("Saved");
  EXPECT_EQ(changes.size(), 1u);
  EXPECT_EQ(draws["Panel1"], 1);

  // A text changed while drawing is reported too.
  second->OnDrawText = [](TfcStatusPanel*, QString& text, bool&) { text = text.toUpper(); };
  second->SetText("done");
  EXPECT_EQ(second->DrawnText(), "DONE");
  EXPECT_EQ(changes, (std::vector<QString>{"Saved", "done", "DONE"}));
}

TEST_F(StatusBarTest, TimePanelsFollowTheClockAndRepaintOnlyOnChange) {
  QLocale::setDefault(QLocale::c());
  platform.clock.SetDateTime(QDateTime(QDate(2024, 5, 31), QTime(23, 59, 58)));
  TfcStatusPanel* time = AddPanel("100", QString(), psTime);
  TfcStatusPanel* date = AddPanel("100", QString(), psDate);
  Show(300);
  EXPECT_EQ(platform.clock.ActiveTimers(), 1u);
  const QString first_time = time->DrawnText();
  const QString first_date = date->DrawnText();
  EXPECT_TRUE(first_time.contains("23:59:58")) << first_time.toStdString();
  draws.clear();

  platform.clock.Advance(1000);
  EXPECT_EQ(draws["Panel0"], 1);
  EXPECT_EQ(draws["Panel1"], 0);
  EXPECT_TRUE(time->DrawnText().contains("23:59:59"));
  EXPECT_EQ(date->DrawnText(), first_date);

  platform.clock.Advance(1000);  // midnight: the date changes too
  EXPECT_EQ(draws["Panel0"], 2);
  EXPECT_EQ(draws["Panel1"], 1);
  EXPECT_NE(date->DrawnText(), first_date);

  platform.clock.Advance(500);
  EXPECT_EQ(draws["Panel0"], 2);

  time->SetStyle(psTextOnly);
  EXPECT_EQ(platform.clock.ActiveTimers(), 1u);
  date->SetStyle(psTextOnly);
  EXPECT_EQ(platform.clock.ActiveTimers(), 0u);
  QLocale::setDefault(QLocale::system());
}

TEST_F(StatusBarTest, HintPanelShowsTheStatusTipUnderTheMouse) {
  TfcStatusPanel* hint = AddPanel("200", QString(), psHint);
  Show(300);
  QStatusTipEvent tip("Moves to the first note");
  QCoreApplication::sendEvent(bar.get(), &tip);
  platform.clock.Advance(TfcStatusBar::kHintInterval);
  EXPECT_EQ(hint->Text(), "Moves to the first note");
  EXPECT_EQ(hint->DrawnText(), "Moves to the first note");
}

TEST_F(StatusBarTest, LockKeyEventRepaintsTheKeyPanelAtOnceFromGreyedToNormal) {
  TfcStatusPanel* caps = AddPanel("60", QString(), psCapsLock);
  AddPanel("60", QString(), psNumLock);
  std::vector<bool> states;
  bar->OnDrawKeyboardState = [&](TfcStatusBar*, TfcStatusPanel*, bool on, const QRect&, QString& text) {
    if (text == "Caps") states.push_back(on);
  };
  // The key goes to a child that ignores it, so it is offered to the parents too.
  QWidget window;
  auto* child = new QWidget(&window);
  child->setFocusPolicy(Qt::StrongFocus);
  window.show();
  Show(300);
  ASSERT_EQ(states, std::vector<bool>{false});
  EXPECT_EQ(caps->DrawnText(), "Caps");
  draws.clear();

  QTest::keyPress(child, Qt::Key_CapsLock);
  EXPECT_EQ(platform.keyboard.key_events, 1);
  EXPECT_EQ(draws["Panel0"], 1);
  EXPECT_EQ(draws["Panel1"], 0);
  EXPECT_EQ(states.back(), true);
  QTest::keyRelease(child, Qt::Key_CapsLock);
  EXPECT_EQ(platform.keyboard.key_events, 2);
  EXPECT_EQ(states.back(), true);  // the lock stays on after the release

  QTest::keyClick(child, Qt::Key_CapsLock);
  EXPECT_EQ(states.back(), false);

  bar->StatusBarText().SetCapsLock("CAP");
  QCoreApplication::processEvents();
  EXPECT_EQ(caps->DrawnText(), "CAP");
}

TEST_F(StatusBarTest, DoubleClickOnAKeyPanelTogglesTheKey) {
  AddPanel("60", QString(), psScrollLock);
  AddPanel("60", QString(), psTextOnly);
  Show(300);
  QTest::mouseDClick(bar.get(), Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mouseDClick(bar.get(), Qt::LeftButton, {}, QPoint(100, 10));
  EXPECT_EQ(platform.keyboard.pressed_keys, std::vector<LockKey>{LockKey::ScrollLock});
  EXPECT_TRUE(platform.keyboard.IsToggled(LockKey::ScrollLock));
}

TEST_F(StatusBarTest, ClickGoesToThePanelFirstThenTheBar) {
  TfcStatusPanel* first = AddPanel("100");
  first->SetHint("First panel");
  AddPanel("50%");
  Show(300);
  std::vector<QString> calls;
  first->OnClick = [&](TfcStatusPanel* p) { calls.push_back(p->Name()); };
  bar->OnClick = [&](TfcStatusBar*) { calls.push_back("bar"); };
  QTest::mouseClick(bar.get(), Qt::LeftButton, {}, QPoint(20, 10));
  QTest::mouseClick(bar.get(), Qt::LeftButton, {}, QPoint(150, 10));
  EXPECT_EQ(calls, (std::vector<QString>{"Panel0", "bar", "bar"}));
  QTest::mouseMove(bar.get(), QPoint(30, 10));
  EXPECT_EQ(bar->toolTip(), "First panel");
}

TEST_F(StatusBarTest, MoreThan128PanelsAreAllLaidOutAndDrawnOnce) {
  for (int i = 0; i < 129; ++i) AddPanel("5");
  Show(800);
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
  ASSERT_EQ(draws.size(), 129u);
  for (const auto& [name, count] : draws) EXPECT_EQ(count, 1) << name.toStdString();
  EXPECT_EQ(bar->PanelRect(128).left(), 128 * 5);
}

TEST_F(StatusBarTest, UserAndComputerNamesShowInFullWhateverTheirLength) {
  platform.system.user_name = QString(300, QLatin1Char('u'));
  platform.system.computer_name = "a-computer-name-longer-than-twenty-five";
  TfcStatusPanel* user = AddPanel("100", QString(), psUserName);
  TfcStatusPanel* host = AddPanel("100", QString(), psComputerName);
  Show(300);
  EXPECT_EQ(user->DrawnText(), QString(300, QLatin1Char('u')));
  EXPECT_EQ(host->DrawnText(), "a-computer-name-longer-than-twenty-five");
}

TEST_F(StatusBarTest, ControlPanelHoldsItsControlRightOfTheTextAndTakesItFromOthers) {
  TfcStatusPanel* first = AddPanel("150", "Find:", psControl);
  TfcStatusPanel* second = AddPanel("150", QString(), psControl);
  auto* edit = new QLineEdit;
  first->SetComponent(edit);
  Show(300);
  EXPECT_EQ(edit->parentWidget(), bar.get());
  EXPECT_TRUE(edit->isVisible());
  EXPECT_GT(edit->geometry().left(), 2 + QFontMetrics(first->Font()).horizontalAdvance("Find:"));
  EXPECT_LE(edit->geometry().right(), 149);

  second->SetComponent(edit);
  EXPECT_EQ(first->Component(), nullptr);
  EXPECT_GE(edit->geometry().left(), 150);
}

TEST_F(StatusBarTest, AccessibleTreeHasOneChildPerPanelNamedByItsText) {
  TfcStatusPanel* version = AddPanel("80", "Version 1.0.1");
  TfcStatusPanel* caps = AddPanel("50", QString(), psCapsLock);
  Show(300);
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(bar.get());
  ASSERT_NE(iface, nullptr);
  EXPECT_EQ(iface->role(), QAccessible::StatusBar);
  ASSERT_EQ(iface->childCount(), 2);
  QAccessibleInterface* first = iface->child(0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->text(QAccessible::Name), "Version 1.0.1");
  EXPECT_EQ(iface->child(1)->text(QAccessible::Name), "Caps");
  EXPECT_EQ(iface->indexOfChild(iface->child(1)), 1);
  EXPECT_EQ(first->parent(), iface);

  version->SetText("Version 2");
  EXPECT_EQ(iface->child(0)->text(QAccessible::Name), "Version 2");

  bar->Panels().Delete(1);
  (void)caps;
  EXPECT_EQ(iface->childCount(), 1);
  bar->SetSimplePanel(true);
  bar->SetSimpleText("Packing...");
  EXPECT_EQ(iface->childCount(), 0);
  EXPECT_EQ(iface->text(QAccessible::Name), "Packing...");
}

TEST_F(StatusBarTest, AFailingDrawHookIsReportedNotThrownThroughQt) {
  std::vector<std::string> reported;
  SetErrorHandler([&](const std::exception& e) { reported.push_back(e.what()); });
  AddPanel("80", "x");
  bar->OnDrawPanel = [](TfcStatusBar*, TfcStatusPanel*, const QRect&) { throw std::runtime_error("draw failed"); };
  Show(300);
  EXPECT_FALSE(reported.empty());
  EXPECT_EQ(reported.front(), "draw failed");
  SetErrorHandler(nullptr);
}

}  // namespace
}  // namespace tindrel

namespace tindrel {
namespace {

TEST_F(StatusBarTest, CaretPanelWatchesAnEditorThatStaysInItsOwnWindow) {
  QWidget window;
  auto* editor = new QPlainTextEdit(&window);
  editor->setPlainText("first line\nsecond line");
  window.show();
  TfcStatusPanel* caret = AddPanel("120", QString(), psRichEditStatus);
  caret->SetComponent(editor);
  Show(300);
  EXPECT_EQ(editor->parentWidget(), &window);
  EXPECT_TRUE(editor->isVisible());
  EXPECT_EQ(caret->DrawnText(), "Ln: 1, Col: 1");
  draws.clear();

  QTextCursor cursor = editor->textCursor();
  cursor.movePosition(QTextCursor::Down);
  cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 2);
  editor->setTextCursor(cursor);
  platform.clock.Advance(TfcStatusBar::kRichEditInterval);
  EXPECT_EQ(caret->DrawnText(), "Ln: 2, Col: 3");
  platform.clock.Advance(TfcStatusBar::kRichEditInterval * 5);
  EXPECT_EQ(draws["Panel0"], 1);
}

TEST_F(StatusBarTest, GlyphPanelDrawsItsImageThenTheText) {
  QPixmap red(10, 10);
  red.fill(Qt::red);
  bar->SetImages({red});
  TfcStatusPanel* glyph = AddPanel("100", "Saved", psGlyph);
  glyph->SetColor(Qt::white);
  Show(300);
  const QImage shot = bar->grab().toImage();
  EXPECT_EQ(shot.pixelColor(1 + 5, 10), QColor(Qt::red));
  EXPECT_EQ(glyph->DrawnText(), "Saved");
}

}  // namespace
}  // namespace tindrel
