// The filter dialog component over a real note table: Execute and applying the filter, the
// "Super Search" form driven offscreen, and the summary rows.
//
// The main window's F8 command runs Execute and then rebuilds the tree from the table; these
// tests check the component's part, the table and what it passes, which the tree is built from.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

#include "filter/TwwFilterDialog.h"
#include "filter/TwwFilterDialogView.h"
#include "filter/TwwFilterDlg.h"
#include "navigator/DialogButtons.h"
#include "store/TDataSource.h"
#include "store/TTable.h"
#include "tests/filter/FilterNotes.h"
#include "tests/store/StoreFixture.h"
#include "tests/support/platform/ScriptedPlatform.h"

namespace tindrel {
namespace {

using testing::Ids;
using testing::Note;
using testing::RecordedErrors;
using testing::WriteNoteTable;
using testing::WriteTable;

const std::vector<Note>& kNotes = testing::kFilterNotes;

class FilterDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    table.SetTableName(QString::fromStdString(WriteNoteTable(dir, kNotes, true, 10)));
    table.Open();
    source.SetDataSet(&table);
    ConfigureNoteFilterDialog(filter, &source);
  }

  // Runs Execute; `script` works the open form and must close it (OK or Cancel). A form the
  // script leaves open is cancelled, and `leftOpen` tells.
  bool Run(const std::function<void(TwwFilterDlg&)>& script) {
    leftOpen = false;
    QTimer::singleShot(0, [&] {
      auto* dlg = qobject_cast<TwwFilterDlg*>(QApplication::activeModalWidget());
      ASSERT_NE(dlg, nullptr);
      QApplication::setActiveWindow(dlg);
      script(*dlg);
      if (dlg->isVisible()) {
        leftOpen = true;
        dlg->reject();
      }
    });
    return filter.Execute();
  }

  static void Type(TwwFilterDlg& dlg, const QString& text) {
    dlg.FilterValueEdit->setFocus();
    dlg.FilterValueEdit->selectAll();
    QTest::keyClicks(dlg.FilterValueEdit, text);
  }
  static void Ok(TwwFilterDlg& dlg) { dlg.OKButton->click(); }

  void FilterBy(const char* value) {
    ASSERT_TRUE(Run([&](TwwFilterDlg& dlg) {
      Type(dlg, QString::fromUtf8(value));
      Ok(dlg);
    }));
  }

  testing::ScriptedPlatform platform;
  QTemporaryDir dir;
  TTable table;
  TDataSource source;
  TwwFilterDialog filter;
  bool leftOpen = false;
};

TEST_F(FilterDialogTest, FirstOpeningShowsTheTextFieldAnywhereAndOkDisabled) {
  const bool result = Run([](TwwFilterDlg& dlg) {
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Filter Tindrels"));
    ASSERT_EQ(dlg.FieldsListBox->count(), 1);
    EXPECT_EQ(dlg.FieldsListBox->item(0)->text(), QStringLiteral("TEXT"));
    EXPECT_EQ(dlg.FieldsListBox->currentRow(), 0);
    EXPECT_EQ(dlg.FieldTabSet->currentIndex(), 0);
    EXPECT_EQ(dlg.FieldTabSet->tabText(0), QStringLiteral("&All"));
    EXPECT_EQ(dlg.SelectNotebook->currentIndex(), 0);
    EXPECT_EQ(dlg.FieldCriteria->title(), QStringLiteral("TEXT"));
    EXPECT_EQ(dlg.MatchTypeGroup->ItemIndex(), TwwFilterDlg::miAnywhere);
    EXPECT_EQ(dlg.MatchTypeGroup->Item(TwwFilterDlg::miAnywhere)->text(), QStringLiteral("Partial Match Any&where"));
    EXPECT_FALSE(dlg.CaseSensitive->isChecked());
    EXPECT_FALSE(dlg.CaseSensitive->isHidden());
    EXPECT_TRUE(dlg.Nonmatching->isHidden());
    EXPECT_FALSE(dlg.OKButton->isEnabled());
    EXPECT_FALSE(dlg.ClearSearchButton->isEnabled());
    EXPECT_EQ(dlg.ClearSearchButton->text(), QStringLiteral("&New Search"));
    EXPECT_EQ(dlg.ViewButton->text(), QStringLiteral("View Su&mmary"));
    // Enter does nothing while OK is disabled.
    QTest::keyClick(dlg.FilterValueEdit, Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible());
    dlg.CancelButton->click();
  });
  EXPECT_FALSE(result);
  EXPECT_FALSE(leftOpen);
  EXPECT_FALSE(table.Filtered());
}

TEST_F(FilterDialogTest, TypingAValueAndOkStoresItAndNarrowsTheTable) {
  FilterBy("red");
  ASSERT_EQ(filter.FieldInfo().size(), 1u);
  EXPECT_EQ(filter.FieldInfo()[0].FilterValue, QStringLiteral("red"));
  EXPECT_EQ(filter.FieldInfo()[0].MatchType, fdMatchAny);
  EXPECT_EQ(filter.FieldInfo()[0].FieldName, QStringLiteral("TEXT"));
  EXPECT_TRUE(table.Filtered());
  EXPECT_EQ(Ids(table), (QStringList{"1", "3"}));  // "Red fox" and "Bordered"
}

TEST_F(FilterDialogTest, OkWithoutChangeWhileFilteredInstallsNothingAgain) {
  FilterBy("red");
  bool markerRan = false;
  auto hook = table.OnFilterRecord();
  table.SetOnFilterRecord([&, hook](TDataSet& ds, bool& accept) {
    markerRan = true;
    hook(ds, accept);
  });
  markerRan = false;
  EXPECT_TRUE(Run([](TwwFilterDlg& dlg) {
    EXPECT_EQ(dlg.FieldTabSet->currentIndex(), 1);  // opens on the searched fields
    EXPECT_EQ(dlg.FilterValueEdit->text(), QStringLiteral("red"));
    EXPECT_TRUE(dlg.OKButton->isEnabled());  // loading the stored criterion counts as a change
    Ok(dlg);
  }));
  EXPECT_EQ(Ids(table), (QStringList{"1", "3"}));
  EXPECT_TRUE(markerRan);  // the hook in place was left alone
}

TEST_F(FilterDialogTest, ClearingTheOnlyCriterionSwitchesFilteringOff) {
  FilterBy("red");
  EXPECT_TRUE(Run([](TwwFilterDlg& dlg) {
    dlg.FilterValueEdit->clear();
    Ok(dlg);
  }));
  EXPECT_TRUE(filter.FieldInfo().empty());
  EXPECT_FALSE(table.Filtered());
  EXPECT_EQ(Ids(table).size(), 5);
}

TEST_F(FilterDialogTest, CancelKeepsCriteriaAndFilter) {
  FilterBy("red");
  EXPECT_FALSE(Run([](TwwFilterDlg& dlg) {
    Type(dlg, QStringLiteral("whale"));
    QTest::keyClick(dlg.FilterValueEdit, Qt::Key_Escape);
  }));
  EXPECT_FALSE(leftOpen);
  EXPECT_EQ(filter.FieldInfo()[0].FilterValue, QStringLiteral("red"));
  EXPECT_EQ(Ids(table), (QStringList{"1", "3"}));
}

TEST_F(FilterDialogTest, SwitchingValueAndRangeDropsTheOtherKind) {
  FilterBy("red");
  EXPECT_TRUE(Run([](TwwFilterDlg& dlg) {
    dlg.ValueRangeTabSet->setCurrentIndex(1);  // "By &Range" with empty bounds
    EXPECT_EQ(dlg.SelectNotebook->currentIndex(), 1);
    EXPECT_TRUE(dlg.WorkingList().empty());
    EXPECT_TRUE(dlg.FilterValueEdit->text().isEmpty());
    QTest::keyClicks(dlg.MinValueEdit, "A");
    dlg.ValueRangeTabSet->setCurrentIndex(0);
    Ok(dlg);
  }));
  EXPECT_TRUE(filter.FieldInfo().empty());
  EXPECT_FALSE(table.Filtered());
}

TEST_F(FilterDialogTest, RangeWithUpperBoundAdmitsWhatBeginsWithIt) {
  EXPECT_TRUE(Run([](TwwFilterDlg& dlg) {
    dlg.ValueRangeTabSet->setCurrentIndex(1);
    QTest::keyClicks(dlg.MinValueEdit, "B");
    QTest::keyClicks(dlg.MaxValueEdit, "M");
    Ok(dlg);
  }));
  ASSERT_EQ(filter.FieldInfo().size(), 1u);
  EXPECT_EQ(filter.FieldInfo()[0].MatchType, fdMatchRange);
  EXPECT_EQ(Ids(table), (QStringList{"2", "3", "4"}));
}

TEST_F(FilterDialogTest, NewSearchEmptiesTheListAndOkSwitchesFilteringOff) {
  FilterBy("red");
  EXPECT_TRUE(Run([](TwwFilterDlg& dlg) {
    ASSERT_TRUE(dlg.ClearSearchButton->isEnabled());
    dlg.ClearSearchButton->click();
    EXPECT_TRUE(dlg.WorkingList().empty());
    EXPECT_EQ(dlg.FieldTabSet->currentIndex(), 0);
    EXPECT_EQ(dlg.MatchTypeGroup->ItemIndex(), TwwFilterDlg::miStart);
    EXPECT_FALSE(dlg.ClearSearchButton->isEnabled());
    Ok(dlg);
  }));
  EXPECT_FALSE(table.Filtered());
  EXPECT_EQ(Ids(table).size(), 5);
}

TEST_F(FilterDialogTest, SearchedTabWithoutCriteriaIsRefusedWithAMessage) {
  EXPECT_FALSE(Run([](TwwFilterDlg& dlg) {
    dlg.FieldTabSet->setCurrentIndex(1);
    EXPECT_EQ(dlg.FieldTabSet->currentIndex(), 0);
    dlg.ViewButton->click();
    dlg.CancelButton->click();
  }));
  ASSERT_EQ(platform.boxes.shown.size(), 2u);
  for (const auto& box : platform.boxes.shown) {
    EXPECT_EQ(box.text, QStringLiteral("You have not selected any search criteria"));
    EXPECT_EQ(box.icon, MessageIcon::Information);
  }
}

class TwoFieldDialogTest : public FilterDialogTest {
 protected:
  void SetUp() override {
    FilterDialogTest::SetUp();
    filter.SetSelectedFields({QStringLiteral("TEXT"), QStringLiteral("PARENT;Parent note")});
  }
};

TEST_F(TwoFieldDialogTest, UpAndDownInTheEditorMoveThroughTheFieldsButNotWithAlt) {
  EXPECT_FALSE(Run([](TwwFilterDlg& dlg) {
    ASSERT_EQ(dlg.FieldsListBox->count(), 2);
    EXPECT_EQ(dlg.FieldsListBox->item(1)->text(), QStringLiteral("Parent note"));
    dlg.FilterValueEdit->setFocus();
    QTest::keyClick(dlg.FilterValueEdit, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(dlg.FieldsListBox->currentRow(), 0);
    QTest::keyClick(dlg.FilterValueEdit, Qt::Key_Down);
    EXPECT_EQ(dlg.FieldsListBox->currentRow(), 1);
    EXPECT_EQ(dlg.FieldCriteria->title(), QStringLiteral("Parent note"));
    QTest::keyClick(dlg.FilterValueEdit, Qt::Key_Down);  // never past the last entry
    EXPECT_EQ(dlg.FieldsListBox->currentRow(), 1);
    QTest::keyClick(dlg.FilterValueEdit, Qt::Key_Up);
    EXPECT_EQ(dlg.FieldsListBox->currentRow(), 0);
    // A click in the list loads the clicked field.
    const QRect second = dlg.FieldsListBox->visualItemRect(dlg.FieldsListBox->item(1));
    QTest::mouseClick(dlg.FieldsListBox->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(dlg.FieldsListBox->currentRow(), 1);
    EXPECT_EQ(dlg.CurrentFieldIndex(), 1);
    EXPECT_EQ(dlg.FieldCriteria->title(), QStringLiteral("Parent note"));
    dlg.CancelButton->click();
  }));
}

TEST_F(TwoFieldDialogTest, FieldOrderSortsTheListAndKeepsTheSelection) {
  filter.SetSelectedFields({QStringLiteral("TEXT"), QStringLiteral("PARENT;Parent note"), QStringLiteral("ID")});
  auto entries = [](TwwFilterDlg& dlg) {
    QStringList out;
    for (int i = 0; i < dlg.FieldsListBox->count(); ++i) out << dlg.FieldsListBox->item(i)->text();
    return out;
  };
  EXPECT_FALSE(Run([&](TwwFilterDlg& dlg) {
    EXPECT_EQ(dlg.FieldOrder->ItemIndex(), 1);  // fdSortByFieldNo: "&Logical"
    EXPECT_EQ(entries(dlg), (QStringList{"TEXT", "Parent note", "ID"}));
    dlg.FieldOrder->Item(0)->click();  // "Alpha&betic"
    EXPECT_EQ(entries(dlg), (QStringList{"ID", "Parent note", "TEXT"}));
    EXPECT_EQ(dlg.FieldsListBox->currentItem()->text(), QStringLiteral("TEXT"));
    EXPECT_EQ(dlg.CurrentFieldIndex(), 2);
    dlg.CancelButton->click();
  }));
}

TEST_F(TwoFieldDialogTest, CriteriaOnBothFieldsMustHoldAndDeleteOnSearchedRemovesOne) {
  EXPECT_TRUE(Run([](TwwFilterDlg& dlg) {
    Type(dlg, QStringLiteral("o"));
    QTest::keyClick(dlg.FilterValueEdit, Qt::Key_Down);
    dlg.MatchTypeGroup->SetItemIndex(TwwFilterDlg::miExact);
    Type(dlg, QStringLiteral("2"));
    Ok(dlg);
  }));
  ASSERT_EQ(filter.FieldInfo().size(), 2u);
  EXPECT_EQ(filter.FieldInfo()[1].FieldName, QStringLiteral("PARENT"));
  EXPECT_EQ(Ids(table), QStringList{"4"});  // "Mouse" under 2; note 5 has no "o"

  EXPECT_TRUE(Run([](TwwFilterDlg& dlg) {
    ASSERT_EQ(dlg.FieldTabSet->currentIndex(), 1);
    ASSERT_EQ(dlg.FieldsListBox->count(), 2);
    dlg.FieldsListBox->setFocus();
    ASSERT_TRUE(dlg.FieldsListBox->hasFocus());
    QTest::keyClick(dlg.FieldsListBox, Qt::Key_Delete);
    ASSERT_EQ(dlg.WorkingList().size(), 1u);
    EXPECT_EQ(dlg.WorkingList()[0].DisplayName, QStringLiteral("Parent note"));
    ASSERT_EQ(dlg.FieldsListBox->count(), 1);
    EXPECT_EQ(dlg.FieldsListBox->currentRow(), 0);
    EXPECT_EQ(dlg.FilterValueEdit->text(), QStringLiteral("2"));
    Ok(dlg);
  }));
  EXPECT_EQ(Ids(table), (QStringList{"4", "5"}));
}

TEST_F(FilterDialogTest, ExecuteRefusesWithoutADataSetOrAnOpenTable) {
  TwwFilterDialog unbound;
  EXPECT_FALSE(unbound.Execute());
  EXPECT_TRUE(platform.boxes.shown.empty());
  table.Close();
  EXPECT_FALSE(filter.Execute());
  ASSERT_EQ(platform.boxes.shown.size(), 1u);
  EXPECT_EQ(platform.boxes.shown[0].text,
            QStringLiteral("Dataset must be active to perform local filtering (FilterMethod=fdByFilter)."));
  EXPECT_EQ(platform.boxes.shown[0].icon, MessageIcon::Error);
}

TEST_F(FilterDialogTest, PropertyRulesAndTheirWarnings) {
  filter.SetFilterMethod(fdByQueryModify);
  EXPECT_EQ(filter.FilterMethod(), fdByFilter);
  filter.SetDlgHeight(200);
  EXPECT_EQ(filter.DlgHeight(), 267);
  filter.SetDlgHeight(300);
  EXPECT_EQ(filter.DlgHeight(), 300);
  filter.FieldOperators().SetAndChar(QStringLiteral("  OR\t"));
  EXPECT_EQ(filter.FieldOperators().AndChar(), QStringLiteral("OR"));
  ASSERT_EQ(platform.boxes.shown.size(), 2u);
  EXPECT_EQ(platform.boxes.shown[0].text,
            QStringLiteral("Invalid FilterMethod for Dataset. \rOnly fdByFilter is supported for this type of Dataset"));
  EXPECT_EQ(platform.boxes.shown[1].text, QStringLiteral("Operators do not have a unique value."));
  // Equal words (case counts) warn once more at Execute, and the dialog still opens.
  filter.FieldOperators().SetAndChar(QStringLiteral("or"));
  platform.boxes.shown.clear();
  EXPECT_FALSE(Run([](TwwFilterDlg& dlg) { dlg.CancelButton->click(); }));
  ASSERT_EQ(platform.boxes.shown.size(), 1u);
  EXPECT_EQ(platform.boxes.shown[0].text, QStringLiteral("And and Or Operators have the same value."));
}

TEST_F(FilterDialogTest, ClosingTheTableForgetsTheCriteria) {
  FilterBy("red");
  table.Close();
  EXPECT_TRUE(filter.FieldInfo().empty());
  table.Open();
  EXPECT_TRUE(table.Filtered());
  EXPECT_EQ(Ids(table).size(), 5);
}

TEST_F(FilterDialogTest, AcceptFilterRecordEventCanDecideAlone) {
  filter.OnAcceptFilterRecord = [](TwwFilterDialog&, TDataSet& ds, bool& accept, bool& defaultFiltering) {
    if (ds.FieldNamed("ID").AsString() == "2") {
      accept = true;
      defaultFiltering = false;
    }
  };
  FilterBy("red");
  EXPECT_EQ(Ids(table), (QStringList{"1", "2", "3"}));
}

TEST_F(FilterDialogTest, OptionsShapeTheForm) {
  filter.SetOptions(fdShowOKCancel | fdShowNonMatching | fdHidePartialAnywhere | fdCaseSensitive);
  filter.SetDlgHeight(300);
  bool initFired = false;
  filter.OnInitDialog = [&](TwwFilterDlg&) { initFired = true; };
  EXPECT_FALSE(Run([](TwwFilterDlg& dlg) {
    EXPECT_TRUE(dlg.FieldOrder->isHidden());
    EXPECT_TRUE(dlg.ViewButton->isHidden());
    EXPECT_EQ(dlg.ClearSearchButton->x(), dlg.ViewButton->x());
    EXPECT_TRUE(dlg.ValueRangeTabSet->isHidden());
    EXPECT_TRUE(dlg.CaseSensitive->isHidden());
    EXPECT_FALSE(dlg.Nonmatching->isHidden());
    EXPECT_EQ(dlg.Nonmatching->y(), 5);
    EXPECT_EQ(dlg.MatchTypeGroup->Count(), 2);
    // Without the anywhere item the default search type falls back to the beginning.
    EXPECT_EQ(dlg.MatchTypeGroup->ItemIndex(), TwwFilterDlg::miStart);
    EXPECT_TRUE(dlg.CaseSensitive->isChecked());  // fdCaseSensitive: a new field starts case-sensitive
    EXPECT_EQ(dlg.FieldsListBox->height(), Scaled(300 - 70, &dlg));
    dlg.CancelButton->click();
  }));
  EXPECT_TRUE(initFired);
}

TEST_F(FilterDialogTest, SelectFieldChoicesFillTheDropDown) {
  filter.SetDefaultMatchType(fdMatchExact);
  QString asked;
  filter.OnSelectField = [&](TwwFilterDialog&, const QString& field, QString&, QStringList& choices) {
    asked = field;
    choices << QStringLiteral("Fox\tRed fox") << QStringLiteral("Whale\tBlue whale");
  };
  EXPECT_TRUE(Run([](TwwFilterDlg& dlg) {
    ASSERT_EQ(dlg.ValueEditor(), dlg.FilterValueCombo);
    EXPECT_FALSE(dlg.FilterValueCombo->isHidden());
    EXPECT_TRUE(dlg.FilterValueEdit->isHidden());
    dlg.FilterValueCombo->setCurrentIndex(1);
    Ok(dlg);
  }));
  EXPECT_EQ(asked, QStringLiteral("TEXT"));
  ASSERT_EQ(filter.FieldInfo().size(), 1u);
  EXPECT_EQ(filter.FieldInfo()[0].FilterValue, QStringLiteral("Blue whale"));  // the stored value
  EXPECT_EQ(Ids(table), QStringList{"2"});
}

TEST_F(FilterDialogTest, DestroyingTheComponentTakesOnlyItsOwnHookAway) {
  {
    TwwFilterDialog other;
    other.SetDataSource(&source);
    TwwFieldInfo c;
    c.DisplayName = QStringLiteral("TEXT");
    c.MatchType = fdMatchAny;
    c.FilterValue = QStringLiteral("whale");
    other.ApplyCriteria({c});
    EXPECT_EQ(Ids(table), QStringList{"2"});
  }
  EXPECT_FALSE(static_cast<bool>(table.OnFilterRecord()));
  EXPECT_EQ(Ids(table).size(), 5);
  table.SetOnFilterRecord([](TDataSet&, bool&) {});
  { TwwFilterDialog bystander; bystander.SetDataSource(&source); }
  EXPECT_TRUE(static_cast<bool>(table.OnFilterRecord()));
}

TEST(FilterDialogErrors, AConversionErrorInTheRecordTestIsShownOncePerPass) {
  testing::ScriptedPlatform platform;
  RecordedErrors errors;
  QTemporaryDir dir;
  const std::string path = dir.filePath(QStringLiteral("typed.dbf")).toStdString();
  engine::TableSpec spec;
  spec.fields = {{"QTY", 'N', 5}};
  WriteTable(path, spec, {{"1"}, {"2"}, {"3"}});
  TTable table;
  table.SetTableName(QString::fromStdString(path));
  table.Open();
  TDataSource source;
  source.SetDataSet(&table);
  TwwFilterDialog filter;
  filter.SetDataSource(&source);
  TwwFieldInfo c;
  c.DisplayName = QStringLiteral("QTY");
  c.MatchType = fdMatchExact;
  c.FilterValue = QStringLiteral("abc");
  filter.ApplyCriteria({c});
  EXPECT_EQ(errors.shown.size(), 1u);
  EXPECT_EQ(table.RecordCount(), 3u);  // the records pass, as Accept stood
}

// The dialog over a table whose only field is the number field QTY, on the value page.
class NumberFieldDialogTest : public FilterDialogTest {
 protected:
  void SetUp() override {
    FilterDialogTest::SetUp();
    const std::string path = dir.filePath(QStringLiteral("typed.dbf")).toStdString();
    engine::TableSpec spec;
    spec.fields = {{"QTY", 'N', 5}};
    WriteTable(path, spec, {{"1"}, {"2"}, {"3"}});
    typed.SetTableName(QString::fromStdString(path));
    typed.Open();
    typedSource.SetDataSet(&typed);
    filter.SetDataSource(&typedSource);
    filter.SetSelectedFields({});
    filter.SetDefaultField(QStringLiteral("QTY"));
    filter.SetDefaultFilterBy(fdFilterByValue);
  }
  void TearDown() override { filter.SetDataSource(nullptr); }

  TTable typed;
  TDataSource typedSource;
};

TEST_F(NumberFieldDialogTest, NumberValuesAreCheckedBeforeTheyAreStored) {
  EXPECT_TRUE(Run([](TwwFilterDlg& dlg) {
    for (const char* good : {"1 or 2", "null", "-5", "1 OR null"}) EXPECT_TRUE(dlg.ValidateValue(good)) << good;
    for (const char* bad : {"1 and 2", "abc", "-", "1.5"}) EXPECT_FALSE(dlg.ValidateValue(bad)) << bad;
    Type(dlg, QStringLiteral("abc"));
    Ok(dlg);
    EXPECT_TRUE(dlg.isVisible());  // closing is refused
    EXPECT_EQ(dlg.FilterValueEdit->selectedText(), QStringLiteral("abc"));
    Type(dlg, QStringLiteral("1 or 2"));
    Ok(dlg);
  }));
  ASSERT_EQ(filter.FieldInfo().size(), 1u);
  EXPECT_EQ(filter.FieldInfo()[0].FilterValue, QStringLiteral("1 or 2"));
}

TEST_F(NumberFieldDialogTest, ViewSummaryWithAValueThatFailsItsCheckKeepsThePersonOnIt) {
  ASSERT_TRUE(Run([](TwwFilterDlg& dlg) {
    Type(dlg, QStringLiteral("1"));
    Ok(dlg);
  }));
  bool summaryShown = false;
  EXPECT_FALSE(Run([&](TwwFilterDlg& dlg) {
    Type(dlg, QStringLiteral("abc"));
    QTimer::singleShot(0, [&] {
      if (auto* view = qobject_cast<TwwFilterDialogView*>(QApplication::activeModalWidget())) {
        summaryShown = true;
        view->reject();
      }
    });
    dlg.ViewButton->click();
    QApplication::processEvents();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.SelectNotebook->currentIndex(), 0);
    EXPECT_EQ(dlg.FilterValueEdit->selectedText(), QStringLiteral("abc"));
    EXPECT_EQ(QApplication::focusWidget(), dlg.FilterValueEdit);
    dlg.CancelButton->click();
  }));
  EXPECT_FALSE(summaryShown);  // it would have shown the criterion "1", not what the box holds
  EXPECT_TRUE(platform.boxes.shown.empty());
  ASSERT_EQ(filter.FieldInfo().size(), 1u);
  EXPECT_EQ(filter.FieldInfo()[0].FilterValue, QStringLiteral("1"));
}

TEST_F(FilterDialogTest, TheFormShowsNormalCursorsAndTheWaitCursorOnlyWhileTheFilterIsApplied) {
  std::vector<int> cursorsWhileApplying;
  filter.OnAcceptFilterRecord = [&](TwwFilterDialog&, TDataSet&, bool&, bool&) {
    const QCursor* shown = QApplication::overrideCursor();
    cursorsWhileApplying.push_back(shown ? shown->shape() : -1);
  };
  EXPECT_TRUE(Run([](TwwFilterDlg& dlg) {
    // No cursor is forced on the application: the edits show their I-beam.
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(dlg.FilterValueEdit->cursor().shape(), Qt::IBeamCursor);
    Type(dlg, QStringLiteral("red"));
    Ok(dlg);
  }));
  ASSERT_FALSE(cursorsWhileApplying.empty());
  for (int shape : cursorsWhileApplying) EXPECT_EQ(shape, Qt::WaitCursor);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(Run([](TwwFilterDlg& dlg) {
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    dlg.CancelButton->click();
  }));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(FilterDialogTest, DateFieldsOpenOnTheRangePageWithDatePickers) {
  const std::string path = dir.filePath(QStringLiteral("dated.dbf")).toStdString();
  engine::TableSpec spec;
  spec.fields = {{"DUE", 'D', 8}};
  WriteTable(path, spec, {{"20240301"}, {"20240615"}, {"20241231"}});
  TTable dated;
  dated.SetTableName(QString::fromStdString(path));
  dated.Open();
  TDataSource datedSource;
  datedSource.SetDataSet(&dated);
  filter.SetDataSource(&datedSource);
  filter.SetSelectedFields({});
  filter.SetDefaultField(QStringLiteral("DUE"));
  EXPECT_TRUE(Run([](TwwFilterDlg& dlg) {
    EXPECT_EQ(dlg.SelectNotebook->currentIndex(), 1);
    EXPECT_EQ(dlg.ValueRangeTabSet->currentIndex(), 1);
    EXPECT_FALSE(dlg.MinDateEdit->isHidden());
    EXPECT_TRUE(dlg.MinValueEdit->isHidden());
    dlg.MinDateEdit->setDateTime(QDateTime(QDate(2024, 6, 1), QTime(0, 0)));
    EXPECT_TRUE(dlg.MinValueClearButton->isEnabled());
    Ok(dlg);
  }));
  ASSERT_EQ(filter.FieldInfo().size(), 1u);
  EXPECT_EQ(filter.FieldInfo()[0].MatchType, fdMatchRange);
  EXPECT_EQ(filter.FieldInfo()[0].MinValue, filter.Locale().FormatDate(QDate(2024, 6, 1)));
  EXPECT_TRUE(filter.FieldInfo()[0].MaxValue.isEmpty());
  EXPECT_EQ(dated.RecordCount(), 2u);
}

TEST_F(FilterDialogTest, SummaryRowsShowFieldSearchTypeAndValue) {
  TwwFieldInfo c;
  c.DisplayName = QStringLiteral("TEXT");
  c.MatchType = fdMatchAny;
  c.FilterValue = QStringLiteral("red or blue");
  EXPECT_EQ(SummaryRow(filter, c), (QStringList{"TEXT", "Partial Match Anywhere", "red or blue"}));
  c.NonMatching = true;
  EXPECT_EQ(SummaryRow(filter, c)[2], QStringLiteral("NOT (red or blue)"));
  c.FilterValue = QStringLiteral("red");
  EXPECT_EQ(SummaryRow(filter, c)[2], QStringLiteral("NOT red"));
  c.MatchType = fdMatchStart;
  EXPECT_EQ(SummaryRow(filter, c)[1], QStringLiteral("Partial Match at Beginning"));
  TwwFieldInfo r;
  r.DisplayName = QStringLiteral("TEXT");
  r.MatchType = fdMatchRange;
  r.MaxValue = QStringLiteral("M");
  EXPECT_EQ(SummaryRow(filter, r), (QStringList{"TEXT", "By Range", "<=M"}));
  r.MinValue = QStringLiteral("A");
  EXPECT_EQ(SummaryRow(filter, r)[2], QStringLiteral(">=A, <=M"));
}

TEST_F(FilterDialogTest, ViewSummaryShowsTheWorkingListAndEscReturnsToTheForm) {
  int rows = -1;
  QStringList headings;
  EXPECT_FALSE(Run([&](TwwFilterDlg& dlg) {
    Type(dlg, QStringLiteral("red or blue"));
    QTimer::singleShot(0, [&] {
      auto* view = qobject_cast<TwwFilterDialogView*>(QApplication::activeModalWidget());
      ASSERT_NE(view, nullptr);
      EXPECT_EQ(view->windowTitle(), QStringLiteral("Show Search Summary"));
      rows = view->StringGrid1->rowCount();
      for (int i = 0; i < 3; ++i) headings << view->StringGrid1->horizontalHeaderItem(i)->text();
      if (rows > 0) {
        EXPECT_EQ(view->StringGrid1->item(0, 2)->text(), QStringLiteral("red or blue"));
      }
      QTest::keyClick(view, Qt::Key_Escape);
    });
    dlg.ViewButton->click();
    EXPECT_TRUE(dlg.isVisible());
    dlg.CancelButton->click();
  }));
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(headings, (QStringList{"Field", "Search Type", "Value"}));
}

}  // namespace
}  // namespace tindrel
