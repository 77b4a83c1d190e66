// The search dialog over a real note table, driven from inside its modal window: the typing
// pause on the test clock, key orders, Search By, the grid following and moving the table,
// and the ways the window closes.

#include "navigator/TwwSearchDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QHeaderView>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

#include "navigator/TwwLookupDlg.h"
#include "tests/navigator/NavigatorFixture.h"
#include "tests/support/platform/ScriptedPlatform.h"

namespace tindrel {
namespace {

using testing::NavTable;
using testing::ScriptedPlatform;

// Stored out of every order, so no search succeeds by reading the file from the top.
const std::vector<testing::NavNote> kNotes = {
    {120, "Zeta"}, {12, "apple"}, {3, "Apricot"}, {1, "banana"}, {25, "Cherry"}, {121, "apply"}, {2, "Date"}};

struct SearchFixture {
  explicit SearchFixture(const std::vector<engine::MdxIndex::TagSpec>& extraTags = {}) : data(kNotes, extraTags) {
    search.SetSearchTable(&data.table);
    search.OnInitDialog = [this](TwwLookupDlg&) { ++inits; };
  }
  // Runs the window; `inside` acts on it while it is open and must close it.
  bool Run(const std::function<void(TwwLookupDlg&)>& inside) {
    QTimer::singleShot(0, [this, inside] {
      TwwLookupDlg* form = search.Form();
      ASSERT_NE(form, nullptr);
      inside(*form);
      if (search.Form() && search.Form()->isVisible()) search.Form()->reject();  // a failed step still ends
    });
    return search.Execute();
  }
  void Type(TwwLookupDlg& form, const QString& keys, int pauseMs) {
    for (QChar c : keys) {
      QTest::keyClick(form.wwIncrementalSearch1, c.toLatin1());
      platform.clock.Advance(pauseMs);
    }
  }
  static QStringList Headers(TwwLookupDlg& form) {
    QStringList titles;
    auto* model = form.wwDBGrid1->model();
    for (int c = 0; c < model->columnCount(); ++c) titles << model->headerData(c, Qt::Horizontal).toString();
    return titles;
  }

  ScriptedPlatform platform;
  NavTable data;
  TwwSearchDialog search;
  int inits = 0;
};

TEST(TwwSearchDialog, ABurstOfTypingRunsOneSearchAfterThePauseAndBackspaceToEmptyGoesToTheFirst) {
  SearchFixture f;
  f.data.table.SetIndexName(QStringLiteral("TEXT"));
  f.data.GoToId(25);
  std::vector<bool> searches;
  const bool ok = f.Run([&](TwwLookupDlg& form) {
    EXPECT_EQ(form.windowTitle(), "Search");
    EXPECT_EQ(form.wwIncrementalSearch1->SearchField, "TEXT");
    form.wwIncrementalSearch1->OnAfterSearch = [&](TwwIncrementalSearch&, bool found) { searches.push_back(found); };
    f.Type(form, QStringLiteral("app"), 30);
    EXPECT_TRUE(searches.empty());
    f.platform.clock.Advance(69);  // 99 ms after the last key
    EXPECT_TRUE(searches.empty());
    f.platform.clock.Advance(1);
    ASSERT_EQ(searches, std::vector<bool>{true});
    EXPECT_EQ(f.data.CurrentText(), "apple");
    EXPECT_EQ(form.wwDBGrid1->currentIndex().row(), 4);  // Apricot Cherry Date Zeta apple ...

    f.Type(form, QStringLiteral("x"), 100);
    EXPECT_EQ(searches.back(), false);
    EXPECT_EQ(f.data.CurrentText(), "apple");
    for (int i = 0; i < 4; ++i) {
      QTest::keyClick(form.wwIncrementalSearch1, Qt::Key_Backspace);
      f.platform.clock.Advance(20);
    }
    f.platform.clock.Advance(100);
    EXPECT_EQ(searches.size(), 3u);
    EXPECT_EQ(f.data.CurrentText(), "Apricot");
    QTest::keyClick(&form, Qt::Key_Escape);
  });
  EXPECT_FALSE(ok);
  EXPECT_EQ(f.inits, 1);
  EXPECT_EQ(f.data.CurrentText(), "Apricot");  // Cancel keeps the record reached
}

TEST(TwwSearchDialog, TwelveInIdOrderFindsTwelveAndAPendingSearchRunsWhenEnterCloses) {
  SearchFixture f;
  const bool ok = f.Run([&](TwwLookupDlg& form) {
    EXPECT_EQ(SearchFixture::Headers(form).front(), "ID");
    f.Type(form, QStringLiteral("12"), 10);
    f.platform.clock.Advance(100);
    EXPECT_EQ(f.data.CurrentId(), 12);
    EXPECT_EQ(form.wwDBGrid1->model()->index(form.wwDBGrid1->currentIndex().row(), 0).data().toString(), "12");
    f.Type(form, QStringLiteral("0"), 0);
    QTest::keyClick(form.wwIncrementalSearch1, Qt::Key_Return);
  });
  EXPECT_TRUE(ok);
  EXPECT_EQ(f.data.CurrentId(), 120);
}

TEST(TwwSearchDialog, ClearingTheBoxOnTheNumericIdGoesToTheFirstRecord) {
  SearchFixture f;
  f.data.GoToId(25);
  std::vector<bool> searches;
  f.Run([&](TwwLookupDlg& form) {
    ASSERT_EQ(f.data.table.FieldNamed(QStringLiteral("ID")).DataType(), ftFloat);
    form.wwIncrementalSearch1->OnAfterSearch = [&](TwwIncrementalSearch&, bool found) { searches.push_back(found); };
    f.Type(form, QStringLiteral("3"), 100);
    EXPECT_EQ(f.data.CurrentId(), 3);
    QTest::keyClick(form.wwIncrementalSearch1, Qt::Key_Backspace);
    f.platform.clock.Advance(100);
    EXPECT_EQ(f.data.CurrentId(), 1);
    EXPECT_EQ(searches, (std::vector<bool>{true, false}));  // an empty text matches only an empty ID
    form.reject();
  });
}

TEST(TwwSearchDialog, PastingAndCuttingSearchAfterThePauseLikeTyping) {
  SearchFixture f;
  f.data.table.SetIndexName(QStringLiteral("TEXT"));
  f.data.GoToId(120);
  f.Run([&](TwwLookupDlg& form) {
    QApplication::clipboard()->setText(QStringLiteral("Ch"));
    form.wwIncrementalSearch1->setFocus();
    // With Ctrl held a desktop's key events carry control characters, not the letters.
    QTest::sendKeyEvent(QTest::Click, form.wwIncrementalSearch1, Qt::Key_V, QString(QChar(0x16)), Qt::ControlModifier);
    EXPECT_EQ(form.wwIncrementalSearch1->text(), "Ch");
    f.platform.clock.Advance(100);
    EXPECT_EQ(f.data.CurrentText(), "Cherry");
    form.wwIncrementalSearch1->selectAll();
    QTest::sendKeyEvent(QTest::Click, form.wwIncrementalSearch1, Qt::Key_X, QString(QChar(0x18)), Qt::ControlModifier);
    EXPECT_TRUE(form.wwIncrementalSearch1->text().isEmpty());
    f.platform.clock.Advance(100);
    EXPECT_EQ(f.data.CurrentText(), "Apricot");  // the first in TEXT order
    form.reject();
  });
}

TEST(TwwSearchDialog, EnterAndEscInTheSearchByListReturnToTheBoxAndKeepTheWindowOpen) {
  SearchFixture f;
  f.Run([&](TwwLookupDlg& form) {
    struct Step {
      const char* what;
      bool droppedDown;
      Qt::Key key;
    };
    const Step steps[] = {{"Enter, closed", false, Qt::Key_Return},
                          {"Esc, closed", false, Qt::Key_Escape},
                          {"Enter, dropped down", true, Qt::Key_Return},
                          {"Esc, dropped down", true, Qt::Key_Escape}};
    for (const Step& step : steps) {
      SCOPED_TRACE(step.what);
      QApplication::setActiveWindow(&form);
      form.SearchByCombo->setFocus();
      ASSERT_EQ(form.focusWidget(), form.SearchByCombo);
      if (step.droppedDown) {
        form.SearchByCombo->showPopup();
        ASSERT_TRUE(form.SearchByCombo->DroppedDown());
        QTest::keyClick(form.SearchByCombo->view(), step.key);
      } else {
        QTest::keyClick(form.SearchByCombo, step.key);
      }
      QApplication::processEvents();
      EXPECT_TRUE(form.isVisible());
      EXPECT_FALSE(form.SearchByCombo->DroppedDown());
      EXPECT_FALSE(form.SearchByCombo->view()->isVisible());
      EXPECT_EQ(form.focusWidget(), form.wwIncrementalSearch1);
    }
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_EQ(f.data.table.IndexName(), "ID");  // Enter in the drop-down chose its entry
    form.reject();
  });
}

TEST(TwwSearchDialog, ArrowAndPageKeysInTheBoxMoveTheGridAndTheTableAndCancelKeepsIt) {
  SearchFixture f;
  f.data.table.First();
  const bool ok = f.Run([&](TwwLookupDlg& form) {
    form.wwIncrementalSearch1->setFocus();
    QTest::keyClick(form.wwIncrementalSearch1, Qt::Key_Down);
    QTest::keyClick(form.wwIncrementalSearch1, Qt::Key_Down);
    EXPECT_EQ(f.data.CurrentId(), 3);  // 1 2 3 12 25 120 121
    QTest::keyClick(form.wwIncrementalSearch1, Qt::Key_Up);
    EXPECT_EQ(f.data.CurrentId(), 2);
    QTest::keyClick(form.wwIncrementalSearch1, Qt::Key_PageDown);
    EXPECT_EQ(f.data.CurrentId(), 121);
    EXPECT_TRUE(form.wwIncrementalSearch1->text().isEmpty());
    // The table moved elsewhere: the grid follows.
    f.data.GoToId(25);
    EXPECT_EQ(form.wwDBGrid1->currentIndex().row(), 4);
    QTest::keyClick(&form, Qt::Key_Escape);
  });
  EXPECT_FALSE(ok);
  EXPECT_EQ(f.data.CurrentId(), 25);
}

TEST(TwwSearchDialog, ADoubleClickOnARowClosesWithOkOnThatRecord) {
  SearchFixture f;
  const bool ok = f.Run([&](TwwLookupDlg& form) {
    QTableView* grid = form.wwDBGrid1;
    const QRect row = grid->visualRect(grid->model()->index(3, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, row.center());
  });
  EXPECT_TRUE(ok);
  EXPECT_EQ(f.data.CurrentId(), 12);
}

TEST(TwwSearchDialog, SearchByListsTheIndexesAndChoosingOneReordersTheTableForGood) {
  SearchFixture f;
  int sortChanges = 0;
  f.search.OnSortChange = [&](TwwLookupDlg&) { ++sortChanges; };
  f.Run([&](TwwLookupDlg& form) {
    QStringList entries;
    for (int i = 0; i < form.SearchByCombo->count(); ++i) entries << form.SearchByCombo->itemText(i);
    EXPECT_EQ(entries, (QStringList{"ID", "TEXT", "TEXT - Desc"}));
    EXPECT_EQ(form.SearchByCombo->currentText(), "ID");
    EXPECT_TRUE(form.SortByLabel->isVisible());
    // A picture of the window for a person to look at, beside the navigator's.
    QDir().mkpath(QStringLiteral(TINDREL_PICTURE_DIR));
    form.grab().save(QStringLiteral(TINDREL_PICTURE_DIR "/search-window.png"));
    EXPECT_GE(form.OKBtn->x(), form.wwDBGrid1->x());
    EXPECT_LE(form.CancelBtn->geometry().right(), form.width());
    EXPECT_GT(form.OKBtn->y(), form.SearchByCombo->geometry().bottom());

    f.Type(form, QStringLiteral("2"), 100);
    EXPECT_EQ(f.data.CurrentId(), 2);
    emit form.SearchByCombo->activated(1);
    EXPECT_EQ(f.data.table.IndexName(), "TEXT");
    EXPECT_TRUE(form.wwIncrementalSearch1->text().isEmpty());
    EXPECT_EQ(f.data.CurrentId(), 2);  // the current record stays current
    EXPECT_EQ(SearchFixture::Headers(form).front(), "TEXT");
    EXPECT_EQ(form.wwIncrementalSearch1->SearchField, "TEXT");
    EXPECT_EQ(form.wwDBGrid1->model()->index(0, 0).data().toString(), "Apricot");
    f.Type(form, QStringLiteral("Ch"), 100);
    EXPECT_EQ(f.data.CurrentText(), "Cherry");

    emit form.SearchByCombo->activated(2);
    EXPECT_EQ(f.data.table.IndexName(), "DTEXT");
    EXPECT_EQ(form.wwDBGrid1->model()->index(0, 0).data().toString(), "banana");

    // While the list is dropped down the window stays open.
    form.SearchByCombo->showPopup();
    form.reject();
    EXPECT_TRUE(form.isVisible());
    form.SearchByCombo->hidePopup();
    form.reject();
  });
  EXPECT_EQ(sortChanges, 2);
  EXPECT_EQ(f.data.table.IndexName(), "DTEXT");
  EXPECT_EQ(f.search.ColumnOrder().front(), "TEXT");

  // The next window opens in that order, with the key column still first.
  f.Run([&](TwwLookupDlg& form) {
    EXPECT_EQ(SearchFixture::Headers(form).front(), "TEXT");
    EXPECT_EQ(form.SearchByCombo->currentText(), "TEXT - Desc");
    form.reject();
  });
}

TEST(TwwSearchDialog, WithoutATableOrWithAClosedOneNoWindowOpens) {
  ScriptedPlatform platform;
  TwwSearchDialog search;
  EXPECT_FALSE(search.Execute());
  ASSERT_EQ(platform.boxes.shown.size(), 1u);
  EXPECT_EQ(platform.boxes.shown[0].text, "You must define a searchTable.");
  EXPECT_EQ(platform.boxes.shown[0].icon, MessageIcon::Warning);

  NavTable data(kNotes);
  data.table.Close();
  search.SetSearchTable(&data.table);
  EXPECT_FALSE(search.Execute());
  ASSERT_EQ(platform.boxes.shown.size(), 2u);
  EXPECT_EQ(platform.boxes.shown[1].text, "DataSet for this component must be active.");
  EXPECT_EQ(search.GetPrimaryDataSet(), &data.table);
}

TEST(TwwSearchDialog, AnExpressionIndexGoesToTheNearestKeyAndIsTheCaseInsensitiveChoiceForItsField) {
  SearchFixture f(std::vector<engine::MdxIndex::TagSpec>{{"UTEXT", "UPPER(TEXT)"}});
  f.data.table.SetIndexName(QStringLiteral("UTEXT"));
  std::vector<bool> searches;
  f.Run([&](TwwLookupDlg& form) {
    form.wwIncrementalSearch1->OnAfterSearch = [&](TwwIncrementalSearch&, bool found) { searches.push_back(found); };
    EXPECT_EQ(form.SearchByCombo->currentText(), "TEXT");
    f.Type(form, QStringLiteral("APR"), 100);
    EXPECT_EQ(f.data.CurrentText(), "Apricot");
    f.Type(form, QStringLiteral("X"), 100);
    EXPECT_EQ(searches, (std::vector<bool>{true, true, true, false}));
    // The TEXT entry stands for both text indexes; choosing it takes the case-insensitive one.
    f.data.table.SetIndexName(QStringLiteral("ID"));
    emit form.SearchByCombo->activated(1);
    EXPECT_EQ(f.data.table.IndexName(), "UTEXT");
    form.reject();
  });
}

TEST(TwwSearchDialog, InRecordOrderTheLocateSearchFindsTheStartOfTheFirstField) {
  SearchFixture f;
  f.data.table.SetIndexFieldNames(QString());
  f.Run([&](TwwLookupDlg& form) {
    EXPECT_EQ(form.wwIncrementalSearch1->SearchField, "ID");
    f.Type(form, QStringLiteral("2"), 100);
    EXPECT_EQ(f.data.CurrentId(), 25);  // the first in the file whose ID begins with 2
    form.reject();
  });
}

}  // namespace
}  // namespace tindrel
