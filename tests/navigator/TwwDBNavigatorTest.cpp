// The navigator bar over a real note table: enabling by table state, clicks, the Delete
// question, bookmarks, auto-repeat on the test clock, hints and their accessible form, the
// dialog buttons, layout and glyphs.

#include "navigator/TwwDBNavigator.h"

#include <QAccessible>
#include <QApplication>
#include <QMainWindow>
#include <QToolBar>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "filter/TwwFilterDialog.h"
#include "locate/TwwLocateDialog.h"
#include "navigator/TwwIntl.h"
#include "navigator/TwwNavGlyphs.h"
#include "navigator/TwwSearchDialog.h"
#include "platform/Errors.h"
#include "store/TDBMemo.h"
#include "tests/navigator/NavigatorFixture.h"
#include "tests/support/platform/ScriptedPlatform.h"

namespace tindrel {
namespace {

using testing::NavTable;
using testing::Notes;
using testing::ScriptedPlatform;

// Collects what reaches the application's error handler.
struct RecordedErrors {
  RecordedErrors() {
    SetErrorHandler([this](const std::exception& e) { texts.push_back(e.what()); });
  }
  ~RecordedErrors() { SetErrorHandler(nullptr); }
  std::vector<std::string> texts;
};

// The main window's bar over a note table, with its filter and locate dialog components.
struct MainBar {
  explicit MainBar(int notes = 5) : data(Notes(notes)) {
    filter.SetDataSource(&data.source);
    locate.SetDataSource(&data.source);
    nav = TwwDBNavigator::PlaceOnMainWindow(&window, &data.source, &filter, &locate);
  }
  TwwNavButton* Button(int i) { return nav->Buttons().Buttons(i); }
  std::vector<bool> Enabled() {
    std::vector<bool> on;
    for (int i = 0; i < nav->Buttons().Count(); ++i) on.push_back(Button(i)->Enabled());
    return on;
  }

  ScriptedPlatform platform;
  NavTable data;
  QWidget window;
  TwwFilterDialog filter;
  TwwLocateDialog locate;
  TwwDBNavigator* nav = nullptr;
};

enum { kPost, kCancel, kRefresh, kSave, kRestore, kFilter, kLocate, kSearch };

TEST(TwwDBNavigator, MainWindowBarHasTheStoredButtonsInOneRow) {
  MainBar bar;
  ASSERT_EQ(bar.nav->Buttons().Count(), 8);
  EXPECT_EQ(bar.nav->objectName(), "wwDBNavigator1");
  EXPECT_EQ(bar.nav->size(), QSize(200, 25));
  EXPECT_TRUE(bar.nav->ShowHint());
  EXPECT_EQ(bar.nav->RepeatInterval.InitialDelay, 500);
  EXPECT_EQ(bar.nav->RepeatInterval.Interval, 100);
  const char* names[] = {"Post", "Cancel", "Refresh", "SaveBookmark", "RestoreBookmark",
                         "FilterDialog", "LocateDialog", "SearchDialog"};
  const TwwNavButtonStyle styles[] = {nbsPost, nbsCancel, nbsRefresh, nbsSaveBookmark, nbsRestoreBookmark,
                                      nbsFilterDialog, nbsLocateDialog, nbsSearchDialog};
  for (int i = 0; i < 8; ++i) {
    TwwNavButton* b = bar.Button(i);
    EXPECT_EQ(b->objectName(), QStringLiteral("wwDBNavigator1") + QLatin1String(names[i]));
    EXPECT_EQ(b->Caption(), b->objectName());
    EXPECT_EQ(b->Style(), styles[i]);
    EXPECT_EQ(b->geometry(), QRect(25 * i, 0, 25, 25)) << i;
    EXPECT_EQ(b->ImageIndex(), -1);
    EXPECT_EQ(b->NumGlyphs(), 2);
  }
  EXPECT_EQ(bar.Button(kFilter)->Dialog(), &bar.filter);
  EXPECT_EQ(bar.Button(kLocate)->Dialog(), &bar.locate);
  EXPECT_EQ(bar.Button(kSearch)->Dialog(), nullptr);
  EXPECT_EQ(bar.Button(kPost)->toolTip(), "Post changes of current record");
}

TEST(TwwDBNavigator, TheMainWindowBarKeepsItsSizeAtTheLeftOfATopToolBar) {
  MainBar bar;
  QMainWindow main;
  QToolBar* toolBar = main.addToolBar(QStringLiteral("ToolBar1"));
  toolBar->setMovable(false);
  toolBar->addWidget(bar.nav);
  main.resize(640, 400);
  main.show();
  EXPECT_EQ(bar.nav->size(), QSize(200, 25));
  EXPECT_LT(bar.nav->mapTo(toolBar, QPoint(0, 0)).x(), 12);
  EXPECT_TRUE(bar.Button(kRefresh)->isVisible());
  EXPECT_TRUE(bar.Button(kRefresh)->Enabled());
  EXPECT_EQ(bar.Button(kSearch)->cursor().shape(), Qt::PointingHandCursor);
}

TEST(TwwDBNavigator, ButtonsFollowTheTableStateClosedBrowsingEditing) {
  MainBar bar;
  //                                Post   Cancel Refr.  Save   Restore Filter Locate Search
  const std::vector<bool> browsing{false, false, true, true, false, true, true, true};
  const std::vector<bool> editing{true, true, true, true, false, true, true, true};
  const std::vector<bool> closed(8, false);
  EXPECT_EQ(bar.Enabled(), browsing);

  bar.data.table.Edit();
  EXPECT_EQ(bar.Enabled(), editing);
  bar.data.table.Post();
  EXPECT_EQ(bar.Enabled(), browsing);
  bar.data.table.Insert();
  EXPECT_EQ(bar.Enabled(), editing);
  bar.Button(kCancel)->Click();
  EXPECT_EQ(bar.data.table.State(), DataSetState::Browse);
  EXPECT_EQ(bar.Enabled(), browsing);

  bar.data.table.Close();
  EXPECT_EQ(bar.Enabled(), closed);
  bar.data.table.Open();
  EXPECT_EQ(bar.Enabled(), browsing);

  // A navigator switched off turns every button off; on again, they follow the table.
  bar.nav->SetEnabled(false);
  EXPECT_EQ(bar.Enabled(), closed);
  bar.nav->SetEnabled(true);
  EXPECT_EQ(bar.Enabled(), browsing);
}

TEST(TwwDBNavigator, TypingIntoTheMemoEnablesPostAndCancelAndPostStoresIt) {
  MainBar bar;
  TDBMemo memo(&bar.window);
  memo.SetDataSource(&bar.data.source);
  memo.SetDataField(QStringLiteral("MEMO"));
  bar.window.show();
  memo.setFocus();
  bar.data.GoToId(2);
  QTest::keyClicks(&memo, QStringLiteral("hello"));
  EXPECT_EQ(bar.data.table.State(), DataSetState::Editing);
  EXPECT_TRUE(bar.Button(kPost)->Enabled());
  EXPECT_TRUE(bar.Button(kCancel)->Enabled());

  bar.Button(kPost)->Click();
  EXPECT_EQ(bar.data.table.State(), DataSetState::Browse);
  EXPECT_FALSE(bar.Button(kPost)->Enabled());
  EXPECT_FALSE(bar.Button(kCancel)->Enabled());
  EXPECT_EQ(bar.data.table.FieldNamed(QStringLiteral("MEMO")).AsString(), "hello");
}

TEST(TwwDBNavigator, BookmarkSaveMoveRestoreReplaceDeleteCloseAndPack) {
  MainBar bar;
  TwwNavButton* save = bar.Button(kSave);
  TwwNavButton* restore = bar.Button(kRestore);
  auto& data = bar.data;

  // Save on A, move, restore: A again; a second restore keeps A. Saving enables Restore at once.
  data.GoToId(2);
  save->Click();
  EXPECT_TRUE(restore->Enabled());
  data.GoToId(4);
  restore->Click();
  EXPECT_EQ(data.CurrentId(), 2);
  restore->Click();
  EXPECT_EQ(data.CurrentId(), 2);

  // Save on A, then on B: restore goes to B; the store keeps one entry for the table.
  data.GoToId(3);
  save->Click();
  data.GoToId(5);
  restore->Click();
  EXPECT_EQ(data.CurrentId(), 3);
  EXPECT_EQ(bar.nav->Bookmarks().Entries().size(), 1u);

  // Save on A, delete A, move: Restore is off and a restore finds nothing.
  data.GoToId(4);
  save->Click();
  data.table.Delete();
  data.table.First();
  EXPECT_FALSE(restore->Enabled());
  EXPECT_FALSE(bar.nav->FindNavBookmark(&data.table));
  restore->Click();
  EXPECT_EQ(data.CurrentId(), 1);

  // Save, close and reopen: nothing is saved any more.
  data.GoToId(2);
  save->Click();
  data.table.Close();
  EXPECT_TRUE(bar.nav->Bookmarks().Entries().empty());
  data.table.Open();
  EXPECT_FALSE(restore->Enabled());
  EXPECT_FALSE(bar.nav->FindNavBookmark(&data.table));

  // A pack renumbers the records: a bookmark taken before it no longer counts as live.
  data.GoToId(5);
  save->Click();
  ASSERT_TRUE(restore->Enabled());
  data.table.PackTable();
  data.table.First();
  EXPECT_FALSE(restore->Enabled());
  EXPECT_FALSE(bar.nav->FindNavBookmark(&data.table));

  // Saving on a record not yet stored saves nothing that can be restored.
  data.table.Insert();
  save->Click();
  data.table.Cancel();
  EXPECT_FALSE(restore->Enabled());
}

TEST(TwwDBNavigator, DeleteAsksFirstWhenTheOptionIsSet) {
  ScriptedPlatform platform;
  NavTable data(Notes(3));
  TwwDBNavigator nav;
  TwwNavButton del(&nav);
  del.SetStyle(nbsDelete);
  nav.SetDataSource(&data.source);

  platform.boxes.Answer(mbCancel);
  del.Click();
  ASSERT_EQ(platform.boxes.shown.size(), 1u);
  EXPECT_EQ(platform.boxes.shown[0].text, "Delete record?");
  EXPECT_EQ(platform.boxes.shown[0].buttons, mbOK | mbCancel);
  EXPECT_EQ(data.table.RecordCount(), 3u);

  platform.boxes.Answer(mbOK);
  del.Click();
  EXPECT_EQ(data.table.RecordCount(), 2u);

  nav.SetOptions(0);
  del.Click();
  EXPECT_EQ(platform.boxes.shown.size(), 2u);
  EXPECT_EQ(data.table.RecordCount(), 1u);
}

// Sends a mouse event with the left button held (or released) at `pos` of the button.
void Mouse(QWidget* w, QEvent::Type type, QPoint pos) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent event(type, pos, w->mapToGlobal(pos), Qt::LeftButton, held, Qt::NoModifier);
  QApplication::sendEvent(w, &event);
}

TEST(TwwDBNavigator, HoldingNextRepeatsAfterTheDelayThenEveryIntervalAndOnceOnRelease) {
  ScriptedPlatform platform;
  NavTable data(Notes(40));
  QWidget window;
  TwwDBNavigator nav(&window);
  TwwNavButton next(&nav);
  next.SetStyle(nbsNext);
  nav.SetDataSource(&data.source);
  window.show();
  data.table.First();

  const QPoint inside(10, 10), outside(60, 10);
  Mouse(&next, QEvent::MouseButtonPress, inside);
  platform.clock.Advance(499);
  EXPECT_EQ(data.CurrentId(), 1);
  platform.clock.Advance(1);  // 500 ms: the first repeat
  EXPECT_EQ(data.CurrentId(), 2);
  platform.clock.Advance(500);  // then every 100 ms
  EXPECT_EQ(data.CurrentId(), 7);

  // Leaving the button stops the repeat; coming back restarts it with the initial delay.
  Mouse(&next, QEvent::MouseMove, outside);
  EXPECT_FALSE(next.RepeatRunning());
  platform.clock.Advance(1000);
  EXPECT_EQ(data.CurrentId(), 7);
  Mouse(&next, QEvent::MouseMove, inside);
  platform.clock.Advance(499);
  EXPECT_EQ(data.CurrentId(), 7);
  platform.clock.Advance(101);
  EXPECT_EQ(data.CurrentId(), 9);

  // Release over the button: the timer goes first, then the ordinary click moves once more.
  Mouse(&next, QEvent::MouseButtonRelease, inside);
  EXPECT_EQ(data.CurrentId(), 10);
  EXPECT_EQ(platform.clock.ActiveTimers(), 0u);
  platform.clock.Advance(1000);
  EXPECT_EQ(data.CurrentId(), 10);
}

TEST(TwwDBNavigator, HoldingNextToTheEndStopsTheRepeatWhenTheButtonTurnsOff) {
  ScriptedPlatform platform;
  NavTable data(Notes(40));
  QWidget window;
  TwwDBNavigator nav(&window);
  TwwNavButton next(&nav);
  next.SetStyle(nbsNext);
  nav.SetDataSource(&data.source);
  window.show();
  data.GoToId(38);
  Mouse(&next, QEvent::MouseButtonPress, QPoint(5, 5));
  platform.clock.Advance(700);
  EXPECT_EQ(data.CurrentId(), 40);
  platform.clock.Advance(100);  // a step past the end sets EOF, which turns the button off
  EXPECT_TRUE(data.table.Eof());
  EXPECT_FALSE(next.Enabled());
  EXPECT_FALSE(next.RepeatRunning());
  EXPECT_EQ(platform.clock.ActiveTimers(), 0u);
  QCoreApplication::processEvents();  // the stopped timer goes once its tick has returned
  Mouse(&next, QEvent::MouseButtonRelease, QPoint(5, 5));
  EXPECT_EQ(data.CurrentId(), 40);
}

TEST(TwwDBNavigator, AFailingClickStopsTheRepeatAndReachesTheErrorHandler) {
  ScriptedPlatform platform;
  RecordedErrors errors;
  NavTable data(Notes(5));
  QWidget window;
  TwwDBNavigator nav(&window);
  TwwNavButton next(&nav);
  next.SetStyle(nbsNext);
  nav.SetDataSource(&data.source);
  window.show();
  data.table.BeforeScroll = [](TDataSet&) { throw std::runtime_error("Table: refused"); };

  Mouse(&next, QEvent::MouseButtonPress, QPoint(5, 5));
  platform.clock.Advance(500);
  EXPECT_FALSE(next.RepeatRunning());
  ASSERT_EQ(errors.texts.size(), 1u);
  EXPECT_EQ(errors.texts[0], "Table: refused");
  QCoreApplication::processEvents();  // the timer stopped in its own tick goes once the tick has returned
  Mouse(&next, QEvent::MouseButtonRelease, QPoint(5, 5));
  data.table.BeforeScroll = nullptr;
}

TEST(TwwDBNavigator, PageButtonsMoveByTheAbsoluteMoveByAndTheirHintsSayHowFar) {
  ScriptedPlatform platform;
  NavTable data(Notes(40));
  TwwDBNavigator nav;
  TwwNavButton prior(&nav), next(&nav);
  prior.SetStyle(nbsPriorPage);
  next.SetStyle(nbsNextPage);
  nav.SetDataSource(&data.source);
  EXPECT_EQ(next.Hint(), "Move forward 10 records");
  EXPECT_EQ(prior.Hint(), "Move backward 10 records");

  data.GoToId(30);
  nav.SetMoveBy(-10);
  prior.Click();
  EXPECT_EQ(data.CurrentId(), 20);
  next.Click();
  EXPECT_EQ(data.CurrentId(), 30);

  // The hint follows every change of MoveBy, not only the first one.
  nav.SetMoveBy(20);
  EXPECT_EQ(next.Hint(), "Move forward 20 records");
  nav.SetMoveBy(5);
  EXPECT_EQ(next.Hint(), "Move forward 5 records");
  EXPECT_EQ(next.accessibleDescription(), "Move forward 5 records");
  next.SetHint(QStringLiteral("Jump ahead"));
  nav.SetMoveBy(7);
  EXPECT_EQ(next.Hint(), "Jump ahead");
}

TEST(TwwDBNavigator, EveryStyleTakesItsCatalogueHintAndEnablingRule) {
  ScriptedPlatform platform;
  NavTable data(Notes(3));
  TwwDBNavigator nav;
  nav.SetDataSource(&data.source);
  struct Case {
    TwwNavButtonStyle style;
    const char* hint;
    bool onFirstRecord;
  };
  const Case cases[] = {
      {nbsFirst, "Move to first record", false},      {nbsPrior, "Move to prior record", false},
      {nbsNext, "Move to next record", true},         {nbsLast, "Move to last record", true},
      {nbsInsert, "Insert new record", true},         {nbsDelete, "Delete current record", true},
      {nbsEdit, "Edit current record", true},         {nbsPost, "Post changes of current record", false},
      {nbsCancel, "Cancel changes made to current record", false},
      {nbsRefresh, "Refresh the contents of the dataset", true},
      {nbsSaveBookmark, "Bookmark current record", true}, {nbsRestoreBookmark, "Go back to saved bookmark", false},
      {nbsFilterDialog, "Filter the dataset", true},  {nbsRecordViewDialog, "View current record", true},
      {nbsLocateDialog, "Locate a specific record", true}, {nbsSearchDialog, "Search the dataset", true},
  };
  for (const Case& c : cases) {
    auto* b = new TwwNavButton(&nav);
    b->SetStyle(c.style);
    EXPECT_EQ(b->Hint(), c.hint) << StyleName(c.style).toStdString();
  }
  data.table.First();
  for (int i = 0; i < nav.Buttons().Count(); ++i)
    EXPECT_EQ(nav.Buttons().Buttons(i)->Enabled(), cases[i].onFirstRecord) << StyleName(cases[i].style).toStdString();

  // A custom button is never touched by the navigator.
  TwwNavButton custom(&nav);
  custom.SetStyle(nbsCustom);
  custom.SetEnabled(false);
  nav.UpdateAllButtons(ucAll);
  EXPECT_FALSE(custom.Enabled());
  EXPECT_TRUE(custom.Hint().isEmpty());
}

TEST(TwwDBNavigator, OnUpdateStateHasTheLastWordAndADialogWithoutDataSetDisablesItsButton) {
  MainBar bar;
  TwwNavButton* refresh = bar.Button(kRefresh);
  std::vector<TwwUpdateCause> causes;
  refresh->OnUpdateState = [&](TwwDBNavigator&, TwwNavButton& b, TwwUpdateCause cause) {
    causes.push_back(cause);
    b.SetEnabled(!b.Enabled());
  };
  const bool before = refresh->Enabled();
  bar.data.table.Next();
  EXPECT_NE(refresh->Enabled(), before);
  EXPECT_EQ(causes.back(), ucDataSetChange);
  bar.data.table.Edit();
  EXPECT_EQ(causes.back(), ucEditingChange);
  bar.data.table.Cancel();

  // The locate dialog loses its data source: its button goes off while the table is open.
  bar.locate.SetDataSource(nullptr);
  bar.nav->UpdateAllButtons(ucAll);
  EXPECT_FALSE(bar.Button(kLocate)->Enabled());
  EXPECT_TRUE(bar.Button(kFilter)->Enabled());
  refresh->OnUpdateState = nullptr;  // `causes` goes before the bar's table closes
}

TEST(TwwDBNavigator, TheFirstSearchClickCreatesOneSearchDialogOwnedByTheNavigator) {
  MainBar bar;
  std::vector<TwwCustomDialog*> created;
  bar.Button(kSearch)->OnAfterCreateDialog = [&](TwwCustomDialog& d) { created.push_back(&d); };
  auto closeWindow = [] {
    QTimer::singleShot(0, [] {
      if (QWidget* w = QApplication::activeModalWidget()) w->close();
    });
  };
  closeWindow();
  bar.Button(kSearch)->Click();
  closeWindow();
  bar.Button(kSearch)->Click();

  ASSERT_EQ(created.size(), 1u);
  auto* search = qobject_cast<TwwSearchDialog*>(bar.Button(kSearch)->Dialog());
  ASSERT_NE(search, nullptr);
  EXPECT_EQ(search, created[0]);
  EXPECT_EQ(search->parent(), bar.nav);
  EXPECT_EQ(search->SearchTable(), &bar.data.table);
  EXPECT_EQ(bar.nav->findChildren<TwwSearchDialog*>().size(), 1);

  // A second button of the style finds the existing dialog among the navigator's components.
  TwwNavButton other(bar.nav);
  other.SetStyle(nbsSearchDialog);
  EXPECT_EQ(other.FindOrCreateDialog(&bar.data.table), search);
  EXPECT_EQ(bar.nav->findChildren<TwwSearchDialog*>().size(), 1);

  // Giving a button a dialog sets the style named after the dialog's class.
  TwwNavButton third(bar.nav);
  third.SetDialog(&bar.locate);
  EXPECT_EQ(third.Style(), nbsLocateDialog);
  // A destroyed dialog is forgotten by its button.
  delete search;
  EXPECT_EQ(bar.Button(kSearch)->Dialog(), nullptr);
}

TEST(TwwDBNavigator, ButtonsCarryTheirHintAndStateForScreenReadersAndCanBePressed) {
  MainBar bar;
  bar.window.show();
  TwwNavButton* save = bar.Button(kSave);
  TwwNavButton* post = bar.Button(kPost);
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(save);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->text(QAccessible::Description), "Bookmark current record");
  EXPECT_FALSE(a->state().disabled);
  QAccessibleInterface* p = QAccessible::queryAccessibleInterface(post);
  EXPECT_TRUE(p->state().disabled);
  ASSERT_NE(a->actionInterface(), nullptr);
  EXPECT_TRUE(a->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));

  bar.data.GoToId(3);
  a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  QTRY_VERIFY(bar.Button(kRestore)->Enabled());
  EXPECT_EQ(bar.nav->FindNavBookmark(&bar.data.table).recno, 3u);
}

TEST(TwwDBNavigator, ListAndParentFailuresHaveTheirTexts) {
  ScriptedPlatform platform;
  RecordedErrors errors;
  TwwDBNavigator nav;
  TwwNavButton button(&nav);
  auto message = [](auto&& f) {
    try {
      f();
    } catch (const std::exception& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message([&] { nav.Buttons().Buttons(1); }), "Index of Buttons[] out of range");
  button.SetVisible(false);
  EXPECT_EQ(message([&] { nav.Buttons().VisibleButtons(0); }), "Index of VisibleButtons[] out of range");
  QWidget plain;
  EXPECT_EQ(message([&] { nav.InsertControl(&plain); }), "TwwDBNavigator only accepts controls derived from TwwNavButton");
  EXPECT_EQ(message([&] { nav.GetNavDataSet(true); }), "Error, DataSource not assigned");
  EXPECT_EQ(nav.GetNavDataSet(false), nullptr);
  EXPECT_EQ(message([&] { button.Click(); }), "Error, DataSource not assigned");

  TwwNavButton orphan(nullptr);
  EXPECT_EQ(message([&] { nav.Buttons().RetrieveIndex(&orphan); }), "Button parameter of RetrieveIndex not in Buttons list");
  EXPECT_THROW(orphan.Index(), SilentAbort);
  ASSERT_EQ(errors.texts.size(), 1u);
  EXPECT_EQ(errors.texts[0], "Parent propety of TwwNavButton not defined");

  EXPECT_THROW(button.SetParentControl(&plain), SilentAbort);
  ASSERT_EQ(platform.boxes.shown.size(), 1u);
  EXPECT_EQ(platform.boxes.shown[0].text, "Parent of TwwNavButton must be TwwDBNavigator");
  EXPECT_EQ(button.Navigator(), &nav);
}

TEST(TwwDBNavigator, RenamingTheNavigatorRenamesItsButtons) {
  MainBar bar;
  bar.nav->SetName(QStringLiteral("Bar"));
  EXPECT_EQ(bar.Button(kPost)->objectName(), "BarPost");
  EXPECT_EQ(bar.Button(kSearch)->objectName(), "BarSearchDialog");
}

// ---------------------------------------------------------------------------------------------
// Layout

struct Row {
  explicit Row(int count) {
    for (int i = 0; i < count; ++i) buttons.push_back(new TwwNavButton(&nav));
    nav.resize(200, 25);
    nav.Realign();
  }
  std::vector<int> Xs() const {
    std::vector<int> xs;
    for (auto* b : buttons) xs.push_back(b->x());
    return xs;
  }
  TwwDBNavigator nav;
  std::vector<TwwNavButton*> buttons;
};

TEST(TwwDBNavigatorLayout, EightButtonsHideOneAndALineBreak) {
  Row row(8);
  EXPECT_EQ(row.Xs(), (std::vector<int>{0, 25, 50, 75, 100, 125, 150, 175}));
  EXPECT_EQ(row.nav.size(), QSize(200, 25));

  row.buttons[3]->SetVisible(false);
  EXPECT_EQ(row.nav.size(), QSize(175, 25));
  EXPECT_EQ(row.buttons[4]->pos(), QPoint(75, 0));
  EXPECT_EQ(row.buttons[7]->pos(), QPoint(150, 0));
  EXPECT_EQ(row.nav.Buttons().VisibleCount(), 7);
  EXPECT_EQ(row.nav.Buttons().VisibleButtons(3), row.buttons[4]);
  row.nav.resize(200, 25);
  row.buttons[3]->SetVisible(true);
  EXPECT_EQ(row.nav.size(), QSize(200, 25));

  row.buttons[4]->SetLineBreak(true);
  EXPECT_EQ(row.nav.size(), QSize(100, 50));
  for (int i = 4; i < 8; ++i) EXPECT_EQ(row.buttons[i]->pos(), QPoint(25 * (i - 4), 25)) << i;

  // Moving a button in the list moves it on screen.
  row.buttons[4]->SetLineBreak(false);
  row.nav.resize(200, 25);
  row.buttons[7]->SetIndex(0);
  EXPECT_EQ(row.buttons[7]->pos(), QPoint(0, 0));
  EXPECT_EQ(row.buttons[0]->pos(), QPoint(25, 0));
  EXPECT_EQ(row.nav.Buttons().RetrieveIndex(row.buttons[7]), 0);
}

TEST(TwwDBNavigatorLayout, AButtonHiddenAndShownAgainBeforeTheNavigatorIsOnScreenAppearsWithIt) {
  QWidget window;
  TwwDBNavigator nav(&window);
  nav.SetAutosizeStyle(asNone);
  nav.resize(100, 25);
  TwwNavButton a(&nav), b(&nav);
  b.SetVisible(false);
  b.SetVisible(true);
  window.show();
  EXPECT_TRUE(b.isVisible());
  EXPECT_EQ(b.pos(), QPoint(25, 0));
  a.SetVisible(false);
  EXPECT_FALSE(a.isVisible());
  EXPECT_EQ(b.pos(), QPoint(0, 0));
}

TEST(TwwDBNavigatorLayout, SizeNavButtonsGivesTheRemainderToTheFirstButtons) {
  Row row(8);
  row.nav.SetAutosizeStyle(asSizeNavButtons);
  row.nav.resize(203, 25);
  row.nav.Realign();
  std::vector<int> widths;
  for (auto* b : row.buttons) widths.push_back(b->width());
  EXPECT_EQ(widths, (std::vector<int>{26, 26, 26, 25, 25, 25, 25, 25}));
  EXPECT_EQ(row.Xs(), (std::vector<int>{0, 26, 52, 78, 103, 128, 153, 178}));

  // Two lines share the height, the first line one pixel more.
  row.buttons[4]->SetLineBreak(true);
  row.nav.resize(100, 51);
  row.nav.Realign();
  EXPECT_EQ(row.buttons[0]->size(), QSize(25, 26));
  EXPECT_EQ(row.buttons[4]->geometry(), QRect(0, 26, 25, 25));

  // A line break on the first visible button opens no empty line.
  row.buttons[4]->SetLineBreak(false);
  row.buttons[0]->SetLineBreak(true);
  row.nav.resize(200, 25);
  row.nav.Realign();
  for (auto* b : row.buttons) EXPECT_EQ(b->geometry().size(), QSize(25, 25));
  EXPECT_EQ(row.buttons[0]->pos(), QPoint(0, 0));
}

TEST(TwwDBNavigatorLayout, BevelsAndVerticalLayout) {
  Row row(3);
  row.nav.resize(200, 25);
  row.nav.SetBevelOuter(bvRaised);
  EXPECT_EQ(row.nav.size(), QSize(77, 27));
  EXPECT_EQ(row.buttons[0]->pos(), QPoint(1, 1));
  row.nav.SetBevelOuter(bvNone);
  row.nav.resize(25, 200);
  row.nav.SetLayout(nlVertical);
  EXPECT_EQ(row.buttons[2]->pos(), QPoint(0, 50));
  EXPECT_EQ(row.nav.size(), QSize(25, 75));
}

TEST(TwwDBNavigatorLayout, ANavigatorWithoutButtonsMakesTheRecordButtons) {
  ScriptedPlatform platform;
  QWidget window;
  TwwDBNavigator nav(&window);
  nav.setObjectName(QStringLiteral("Nav"));
  window.show();
  QTRY_COMPARE(nav.Buttons().Count(), 14);
  const TwwNavButtonStyle expected[] = {nbsFirst, nbsPriorPage, nbsPrior, nbsNext, nbsNextPage, nbsLast, nbsInsert,
                                        nbsDelete, nbsEdit, nbsPost, nbsCancel, nbsRefresh, nbsSaveBookmark,
                                        nbsRestoreBookmark};
  for (int i = 0; i < 14; ++i) {
    EXPECT_EQ(nav.Buttons().Buttons(i)->Style(), expected[i]);
    EXPECT_TRUE(nav.Buttons().Buttons(i)->Flat());
    EXPECT_FALSE(nav.Buttons().Buttons(i)->Enabled());  // no data source
  }
  EXPECT_EQ(nav.size(), QSize(14 * 25, 25));
  EXPECT_EQ(nav.Buttons().Buttons(13)->pos(), QPoint(13 * 25, 0));
  EXPECT_EQ(nav.Buttons().Buttons(1)->Hint(), "Move backward 10 records");
}

// ---------------------------------------------------------------------------------------------
// Glyphs

TEST(TwwNavGlyphs, ThirtySixResourcesAt1xAnd2xPickedByState) {
  const auto& images = TwwNavGlyphs::Images();
  ASSERT_EQ(images.size(), 36u);
  EXPECT_EQ(GlyphResourceName(nbsSaveBookmark, true), "WW_DBN_SAVEBOOKMARK_ENABLED");
  EXPECT_EQ(GlyphResourceName(nbsSearchDialog, false), "WW_DBN_SEARCHDIALOG_DISABLED");
  for (int s = 0; s < kGlyphStyleCount; ++s) {
    for (bool enabled : {true, false}) {
      const auto style = static_cast<TwwNavButtonStyle>(s);
      QImage one(GlyphResourcePath(style, enabled));
      QImage two(GlyphResourcePath(style, enabled).replace(QStringLiteral(".png"), QStringLiteral("@2x.png")));
      EXPECT_EQ(one.size(), QSize(18, 18)) << GlyphResourceName(style, enabled).toStdString();
      EXPECT_EQ(two.size(), QSize(36, 36)) << GlyphResourceName(style, enabled).toStdString();
    }
    // The enabled and the disabled glyph differ, and so do neighbouring styles.
    EXPECT_NE(QImage(GlyphResourcePath(static_cast<TwwNavButtonStyle>(s), true)),
              QImage(GlyphResourcePath(static_cast<TwwNavButtonStyle>(s), false)));
  }
  EXPECT_EQ(images[3].pixmap(QSize(18, 18), 2.0).size(), QSize(36, 36));

  ScriptedPlatform platform;
  TwwDBNavigator nav;
  TwwNavButton b(&nav);
  b.SetStyle(nbsLast);
  b.SetEnabled(true);
  EXPECT_EQ(b.CurrentImage(), 6);
  b.SetEnabled(false);
  EXPECT_EQ(b.CurrentImage(), 7);

  // An image-list glyph with one image per button shows it in every state.
  TwwImageList list;
  list.Images = {images[0]};
  nav.SetImageList(&list);
  b.SetImageIndex(0);
  b.SetNumGlyphs(1);
  EXPECT_EQ(b.ImageIndex(), 0);
  EXPECT_EQ(b.CurrentImage(), 0);
  b.SetEnabled(true);
  EXPECT_EQ(b.CurrentImage(), 0);
  b.SetImageIndex(-1);
  EXPECT_EQ(b.ImageIndex(), -1);
  EXPECT_EQ(b.CurrentImage(), 6);
}

}  // namespace
}  // namespace tindrel
