// The "Locate Value" form driven the way a person drives it, offscreen: what the first opening
// shows, Enter and Esc, the default-button rules, the failure messages with the form staying
// open, and the choices the component keeps from one opening to the next.

#include "locate/TwwLocateDlg.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "locate/TwwLocateDialog.h"
#include "navigator/TwwIntl.h"
#include "platform/Errors.h"
#include "store/TDataSource.h"
#include "tests/support/LocateTable.h"
#include "tests/support/platform/ScriptedPlatform.h"

namespace tindrel::testing {
namespace {

const std::vector<LocateNote> kNotes = {
    {1, "My NOTES", "first memo", "12.00"},
    {2, "Note", "", ""},
    {3, "Notes", "a pending question", "7.50"},
    {4, "last one", "the end", ""},
};

class TwwLocateDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    table_ = OpenLocateTable(WriteLocateTable(dir_, kNotes));
    source_.SetDataSet(table_.get());
    locate_ = TwwLocateDialog::PlaceOnMainWindow(&window_, &source_);
    SetErrorHandler([this](const std::exception& e) { errors_.push_back(e.what()); });
  }
  void TearDown() override { SetErrorHandler(nullptr); }

  // Executes the component; `act` runs once the form is up and must end by closing it (a form
  // still open afterwards is cancelled and the test fails).
  bool ExecuteWith(const std::function<void(TwwLocateDlg&)>& act) {
    bool acted = false;
    locate_->OnInitDialog = [&](TwwLocateDialog&, TwwLocateDlg& form) {
      QTimer::singleShot(0, &form, [&] {
        form.activateWindow();
        (void)QTest::qWaitForWindowActive(&form);
        acted = true;
        act(form);
        if (form.isVisible()) {
          ADD_FAILURE() << "the form is still open";
          form.reject();
        }
      });
    };
    const bool result = locate_->Execute();
    EXPECT_TRUE(acted) << "the form was never shown";
    return result;
  }

  std::vector<std::string> errors_;
  QTemporaryDir dir_;
  ScriptedPlatform platform_;
  std::unique_ptr<TTable> table_;
  TDataSource source_;
  QObject window_;
  TwwLocateDialog* locate_ = nullptr;
};

QStringList Entries(const QComboBox& combo) {
  QStringList out;
  for (int i = 0; i < combo.count(); ++i) out << combo.itemText(i);
  return out;
}

TEST_F(TwwLocateDlgTest, TheFirstOpeningShowsTheMainWindowSettings) {
  const bool ok = ExecuteWith([&](TwwLocateDlg& form) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Locate Field Value"));
    EXPECT_EQ(Entries(*form.FieldNameComboBox),
              (QStringList{"AMOUNT", "ID", "MEMO", "PARENT", "TEXT"}));
    EXPECT_EQ(form.FieldNameComboBox->currentText(), QStringLiteral("TEXT"));
    EXPECT_TRUE(form.SearchValue->text().isEmpty());
    EXPECT_TRUE(form.PartialMatchAnyBtn->isChecked());
    EXPECT_FALSE(form.CaseSensitiveCheckBox->isChecked());
    EXPECT_TRUE(form.FirstIsDefault());
    EXPECT_FALSE(form.NextIsDefault());
    EXPECT_TRUE(form.FirstButton->isDefault());
    EXPECT_EQ(form.focusWidget(), form.SearchValue);
    EXPECT_EQ(locate_->Form(), &form);

    // Texts and hints from the catalogue.
    EXPECT_EQ(form.FieldValueGroup->title(), QStringLiteral("Field &Value"));
    EXPECT_EQ(form.SearchTypeGroup->title(), QStringLiteral("&Search Type"));
    EXPECT_EQ(form.FieldsGroup->title(), QStringLiteral("&Fields"));
    EXPECT_EQ(form.PartialMatchAnyBtn->text(), QStringLiteral("Partial Match &Anywhere"));
    EXPECT_EQ(form.FirstButton->text(), QStringLiteral("Fi&rst"));
    EXPECT_EQ(form.NextButton->toolTip(), QStringLiteral("Find next match from current record"));
    EXPECT_EQ(form.FieldNameComboBox->toolTip(), QStringLiteral("Select the field to search on"));
    EXPECT_EQ(form.CancelButton->text(), QStringLiteral("Cancel"));
    EXPECT_FALSE(form.font().bold());

    // Cancel: 72 x 27 at 96 dots per inch, beside Next, one pixel inside the fields group.
    const double scale = form.logicalDpiX() / 96.0;
    if (scale == 1.0) {
      EXPECT_EQ(form.CancelButton->geometry(), QRect(132, 209, 72, 27));
      EXPECT_EQ(form.size(), QSize(212, 238));
    }
    QTest::keyClick(form.SearchValue, Qt::Key_Escape);
  });
  EXPECT_FALSE(ok);
  EXPECT_EQ(locate_->Form(), nullptr);
}

TEST_F(TwwLocateDlgTest, EnterInTheValueBoxRunsTheDefaultButton) {
  GoToId(*table_, 4);
  EXPECT_TRUE(ExecuteWith([&](TwwLocateDlg& form) {
    QTest::keyClicks(form.SearchValue, QStringLiteral("note"));
    QTest::keyClick(form.SearchValue, Qt::Key_Return);
  }));
  EXPECT_EQ(CurrentId(*table_), 1);  // First: from the beginning

  // With Next as default button, Enter goes on from the current record.
  locate_->SetDefaultButton(dbFindNext);
  EXPECT_TRUE(ExecuteWith([&](TwwLocateDlg& form) {
    EXPECT_EQ(form.SearchValue->text(), QStringLiteral("note"));
    QTest::keyClick(form.SearchValue, Qt::Key_Enter, Qt::KeypadModifier);
  }));
  EXPECT_EQ(CurrentId(*table_), 2);
  EXPECT_TRUE(platform_.boxes.shown.empty());
}

TEST_F(TwwLocateDlgTest, TheFieldListTakesAndGivesBackTheNextButtonsDefaultMark) {
  // With First as default: after the field list had the focus both are marked, First answers.
  GoToId(*table_, 2);
  EXPECT_TRUE(ExecuteWith([&](TwwLocateDlg& form) {
    form.FieldNameComboBox->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_FALSE(form.NextIsDefault());
    form.SearchValue->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_TRUE(form.FirstIsDefault());
    EXPECT_TRUE(form.NextIsDefault());
    QTest::keyClicks(form.SearchValue, QStringLiteral("notes"));
    QTest::keyClick(form.SearchValue, Qt::Key_Return);
  }));
  EXPECT_EQ(CurrentId(*table_), 1);  // First ran ("My NOTES"), not Next (which finds "Notes")

  // A button with the focus answers Enter itself.
  GoToId(*table_, 1);
  EXPECT_TRUE(ExecuteWith([&](TwwLocateDlg& form) {
    form.NextButton->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    QTest::keyClick(form.NextButton, Qt::Key_Return);
  }));
  EXPECT_EQ(CurrentId(*table_), 3);
}

TEST_F(TwwLocateDlgTest, ChangingTheFieldEmptiesTheValue) {
  QStringList selected;
  locate_->OnSelectField = [&](TwwLocateDialog&, TwwLocateDlg&, const QString& text) { selected << text; };
  const bool ok = ExecuteWith([&](TwwLocateDlg& form) {
    QTest::keyClicks(form.SearchValue, QStringLiteral("abc"));
    form.FieldNameComboBox->setCurrentIndex(form.FieldNameComboBox->findText(QStringLiteral("MEMO")));
    EXPECT_TRUE(form.SearchValue->text().isEmpty());
    EXPECT_EQ(form.focusWidget(), form.SearchValue);
    form.CancelButton->click();
  });
  EXPECT_FALSE(ok);
  EXPECT_EQ(selected, QStringList{QStringLiteral("MEMO")});
}

TEST_F(TwwLocateDlgTest, EnterInTheOpenFieldListChoosesAndGoesToTheValueBox) {
  EXPECT_FALSE(ExecuteWith([&](TwwLocateDlg& form) {
    QTest::keyClicks(form.SearchValue, QStringLiteral("abc"));
    form.FieldNameComboBox->setFocus(Qt::TabFocusReason);
    form.FieldNameComboBox->showPopup();
    QApplication::processEvents();
    QAbstractItemView* list = form.FieldNameComboBox->view();
    ASSERT_TRUE(list->isVisible());
    list->setCurrentIndex(list->model()->index(form.FieldNameComboBox->findText(QStringLiteral("ID")), 0));
    QTest::keyClick(list, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(form.FieldNameComboBox->currentText(), QStringLiteral("ID"));
    EXPECT_TRUE(form.SearchValue->text().isEmpty());
    EXPECT_EQ(form.focusWidget(), form.SearchValue);
    EXPECT_TRUE(form.isVisible());  // Enter in the list runs no search
    form.CancelButton->click();
  }));
  EXPECT_EQ(locate_->SearchField(), QStringLiteral("ID"));
  EXPECT_TRUE(platform_.boxes.shown.empty());
}

TEST_F(TwwLocateDlgTest, CancelKeepsTheChangedChoicesForTheNextOpening) {
  EXPECT_FALSE(ExecuteWith([&](TwwLocateDlg& form) {
    form.FieldNameComboBox->setCurrentIndex(form.FieldNameComboBox->findText(QStringLiteral("MEMO")));
    form.ExactMatchBtn->click();
    form.CaseSensitiveCheckBox->click();
    QTest::keyClicks(form.SearchValue, QStringLiteral("the end"));
    form.CancelButton->click();
  }));
  EXPECT_EQ(locate_->SearchField(), QStringLiteral("MEMO"));
  EXPECT_EQ(locate_->MatchType(), mtExactMatch);
  EXPECT_TRUE(locate_->CaseSensitive());
  EXPECT_EQ(locate_->FieldValue(), QStringLiteral("the end"));
  EXPECT_EQ(CurrentId(*table_), 1);

  EXPECT_TRUE(ExecuteWith([&](TwwLocateDlg& form) {
    EXPECT_EQ(form.FieldNameComboBox->currentText(), QStringLiteral("MEMO"));
    EXPECT_TRUE(form.ExactMatchBtn->isChecked());
    EXPECT_TRUE(form.CaseSensitiveCheckBox->isChecked());
    EXPECT_EQ(form.SearchValue->text(), QStringLiteral("the end"));
    form.FirstButton->click();
  }));
  EXPECT_EQ(CurrentId(*table_), 4);
}

TEST_F(TwwLocateDlgTest, AFailedSearchShowsItsMessageAndKeepsTheFormAndTheRecord) {
  GoToId(*table_, 3);
  EXPECT_FALSE(ExecuteWith([&](TwwLocateDlg& form) {
    QTest::keyClicks(form.SearchValue, QStringLiteral("note"));
    form.NextButton->click();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(CurrentId(*table_), 3);
    form.SearchValue->setText(QStringLiteral("nowhere"));
    form.FirstButton->click();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.SearchValue->text(), QStringLiteral("nowhere"));
    // No field selected: the same message as a failed search.
    form.FieldNameComboBox->setCurrentIndex(-1);
    form.FirstButton->click();
    EXPECT_TRUE(form.isVisible());
    form.CancelButton->click();
  }));
  EXPECT_EQ(CurrentId(*table_), 3);
  ASSERT_EQ(platform_.boxes.shown.size(), 3u);
  EXPECT_EQ(platform_.boxes.shown[0].text, QStringLiteral("No more matches found"));
  EXPECT_EQ(platform_.boxes.shown[0].icon, MessageIcon::Information);
  EXPECT_EQ(platform_.boxes.shown[0].buttons, MessageButtons(mbOK));
  EXPECT_EQ(platform_.boxes.shown[1].text, QStringLiteral("No matches found"));
  EXPECT_EQ(platform_.boxes.shown[2].text, QStringLiteral("No matches found"));
  EXPECT_EQ(locate_->SearchField(), QString());
}

TEST_F(TwwLocateDlgTest, AnErrorDuringASearchGoesToTheErrorBoxAndTheFormStaysOpen) {
  table_->BeforeScroll = [](TDataSet&) { throw std::runtime_error("Table: refused"); };
  EXPECT_FALSE(ExecuteWith([&](TwwLocateDlg& form) {
    QTest::keyClicks(form.SearchValue, QStringLiteral("last"));
    form.FirstButton->click();
    EXPECT_TRUE(form.isVisible());
    form.CancelButton->click();
  }));
  EXPECT_EQ(errors_, std::vector<std::string>{"Table: refused"});
  EXPECT_EQ(CurrentId(*table_), 1);
}

TEST_F(TwwLocateDlgTest, LabelsWithATildeAreListedWithABlankAndMapBack) {
  table_->FieldNamed(QStringLiteral("TEXT")).SetDisplayLabel(QStringLiteral("Note~Title"));
  locate_->SetSortFields(fsSortByFieldNo);
  EXPECT_TRUE(ExecuteWith([&](TwwLocateDlg& form) {
    EXPECT_EQ(Entries(*form.FieldNameComboBox), (QStringList{"ID", "PARENT", "Note Title", "MEMO", "AMOUNT"}));
    EXPECT_EQ(form.FieldNameComboBox->currentText(), QStringLiteral("Note Title"));
    QTest::keyClicks(form.SearchValue, QStringLiteral("LAST"));
    form.FirstButton->click();
  }));
  EXPECT_EQ(CurrentId(*table_), 4);
  EXPECT_EQ(locate_->SearchField(), QStringLiteral("TEXT"));
}

TEST_F(TwwLocateDlgTest, AClosedTableShowsTheErrorBoxAndNoForm) {
  table_->Close();
  bool shown = false;
  locate_->OnInitDialog = [&](TwwLocateDialog&, TwwLocateDlg&) { shown = true; };
  EXPECT_FALSE(locate_->Execute());
  EXPECT_FALSE(shown);
  ASSERT_EQ(platform_.boxes.shown.size(), 1u);
  EXPECT_EQ(platform_.boxes.shown[0].text, QStringLiteral("DataSource does not reference an active DataSet"));
  EXPECT_EQ(platform_.boxes.shown[0].icon, MessageIcon::Error);

  TwwLocateDialog unbound;
  EXPECT_EQ(unbound.GetPrimaryDataSet(), nullptr);
  EXPECT_FALSE(unbound.Execute());
  EXPECT_EQ(platform_.boxes.shown.size(), 2u);
}

TEST_F(TwwLocateDlgTest, TheClassIsRegisteredByName) {
  ASSERT_TRUE(TwwDialogRegistry::IsRegistered(QStringLiteral("TwwLocateDialog")));
  QObject owner;
  TwwCustomDialog* made = TwwDialogRegistry::Create(QStringLiteral("TwwLocateDialog"), &owner);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->parent(), &owner);
  EXPECT_TRUE(made->InheritsClass(QStringLiteral("TwwLocateDialog")));
  EXPECT_TRUE(made->SetDataSourceProperty(&source_));
  EXPECT_EQ(made->GetPrimaryDataSet(), table_.get());
  EXPECT_FALSE(made->SetSearchTableProperty(table_.get()));
  // The component defaults, not the main window's settings.
  auto* locate = qobject_cast<TwwLocateDialog*>(made);
  ASSERT_NE(locate, nullptr);
  EXPECT_EQ(locate->MatchType(), mtPartialMatchStart);
  EXPECT_EQ(locate->DefaultButton(), dbFindNext);
  EXPECT_EQ(locate->SearchField(), QString());
}

}  // namespace
}  // namespace tindrel::testing
