// Edit > Recall Deleted... on real note tables in a temporary program folder: the window's list
// of deleted subtrees, Enter recalling the chosen one into its place in the tree, what the window
// says (also when a note had to take a new ID, and when nothing can be recalled), and the menu
// item with its shortcut.

#include "app/TMainForm.h"
#include "app/TRecallForm.h"
#include "store/TDBMemo.h"
#include "store/TField.h"
#include "store/TTable.h"
#include "store/engine/Table.h"
#include "tests/support/MainFormOverNotes.h"
#include "tests/support/ModalDriver.h"
#include "tree/dbTree.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace tindrel {
namespace {

using testing::DriveModals;

class RecallFormTest : public testing::MainFormOverNotes {
 protected:
  void SetUp() override {
    // Home holds Kitchen and Garden; Garden holds Roses, which holds Red; Attic at the top.
    OpenOn({{1, 0, "Home", "the house"},
            {2, 1, "Kitchen", "pots"},
            {3, 1, "Garden", "soil\r\nand sun"},
            {4, 3, "Roses", "ρόδα"},
            {5, 4, "Red", "red one"},
            {6, 0, "Attic", "boxes"}});
    if (HasFatalFailure()) return;
    form_->show();
    form_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  }

  TTreeNode* Node(const QString& title) const {
    const auto found = form_->DBTreeView->findItems(title, Qt::MatchExactly | Qt::MatchRecursive);
    return found.size() == 1 ? static_cast<TTreeNode*>(found.first()) : nullptr;
  }

  // Shift+Del on the note, answering All.
  void DeleteWithAll(const QString& title) {
    ASSERT_NE(Node(title), nullptr) << title.toStdString();
    form_->DBTreeView->setCurrentItem(Node(title));
    form_->DBTreeView->setFocus();
    platform_.boxes.Answer(mbAll);
    QTest::keyClick(form_->DBTreeView, Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_EQ(Node(title), nullptr);
  }

  // Ctrl+Alt+R from the tree; `act` handles the recall window, which is then closed.
  void InRecallWindow(const std::function<void(TRecallForm&)>& act) {
    bool seen = false;
    DriveModals(
        [&] {
          form_->DBTreeView->setFocus();
          QTest::keyClick(form_->DBTreeView, Qt::Key_R, Qt::ControlModifier | Qt::AltModifier);
        },
        [&](QWidget& window) {
          auto* recall = qobject_cast<TRecallForm*>(&window);
          if (!recall) return false;
          seen = true;
          act(*recall);
          return true;
        });
    ASSERT_TRUE(seen) << "Ctrl+Alt+R opened no recall window";
  }

  static QStringList Row(const TRecallForm& window, int row) {
    QStringList cells;
    const QTreeWidgetItem* item = window.List->topLevelItem(row);
    for (int c = 0; item && c < window.List->columnCount(); ++c) cells << item->text(c);
    return cells;
  }

  QStringList TreeLines() const {
    QStringList lines;
    std::function<void(TTreeNode*, int)> walk = [&](TTreeNode* node, int depth) {
      lines << QString(depth * 2, QLatin1Char(' ')) + node->text(0);
      for (int i = 0; i < node->childCount(); ++i) walk(node->child(i), depth + 1);
    };
    for (int i = 0; i < form_->DBTreeView->topLevelItemCount(); ++i) walk(form_->DBTreeView->topLevelItem(i), 0);
    return lines;
  }

};

TEST_F(RecallFormTest, TheItemFollowsDeleteInTheEditMenuWithAShortcutNoOtherCommandHas) {
  const auto items = form_->MenuEdit->actions();
  const int del = static_cast<int>(items.indexOf(form_->MenuDelete));
  ASSERT_GE(del, 0);
  ASSERT_LT(del + 1, items.size());
  EXPECT_EQ(items[del + 1], form_->MenuRecallDeleted);
  EXPECT_EQ(form_->MenuRecallDeleted->text(), "Recall Deleted...");
  EXPECT_EQ(form_->MenuRecallDeleted->objectName(), "MenuRecallDeleted");
  EXPECT_EQ(form_->MenuRecallDeleted->shortcut(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_R));
  for (const QAction* action : form_->findChildren<QAction*>()) {
    if (action != form_->MenuRecallDeleted) {
      EXPECT_NE(action->shortcut(), form_->MenuRecallDeleted->shortcut()) << action->objectName().toStdString();
    }
  }
}

TEST_F(RecallFormTest, EnterRecallsTheDeletedSubtreeIntoItsPlaceAndSelectsIt) {
  const QStringList before = TreeLines();
  DeleteWithAll(QStringLiteral("Roses"));
  DeleteWithAll(QStringLiteral("Attic"));
  InRecallWindow([&](TRecallForm& window) {
    ASSERT_EQ(window.List->topLevelItemCount(), 2);
    EXPECT_EQ(Row(window, 0), (QStringList{"Attic", "(top level)", "1", "boxes"}));
    EXPECT_EQ(Row(window, 1), (QStringList{"Roses", "Home / Garden", "2", "ρόδα"}));
    EXPECT_EQ(window.List->currentItem(), window.List->topLevelItem(0)) << "the newest is chosen";
    EXPECT_EQ(window.focusWidget(), window.List) << "the keyboard starts in the list";
    QTest::keyClick(window.List, Qt::Key_Down);
    QTest::keyClick(window.List, Qt::Key_Return);
    EXPECT_EQ(window.StatusLabel->text(), "Recalled 2 notes: \u201CRoses\u201D is back below \u201CHome / Garden\u201D.");
    EXPECT_EQ(Node(QStringLiteral("Roses"))->parent(), Node(QStringLiteral("Garden")));
    EXPECT_EQ(form_->DBTreeView->currentItem(), Node(QStringLiteral("Roses")));
    EXPECT_EQ(form_->Memo->toPlainText(), "ρόδα");
    ASSERT_EQ(window.List->topLevelItemCount(), 1) << "the list shows what is left";
    EXPECT_EQ(Row(window, 0)[0], "Attic");
    EXPECT_TRUE(window.isVisible()) << "the window stays for more recalls";
  });
  EXPECT_EQ(form_->Table->FieldNamed(QStringLiteral("Text")).AsString(), "Roses");
  QStringList expected = before;
  expected.removeAll(QStringLiteral("Attic"));
  EXPECT_EQ(TreeLines(), expected);
  EXPECT_TRUE(form_->Table->EngineTable()->Check().empty());
}

TEST_F(RecallFormTest, TheWindowSaysWhenANoteTookANewIdAndWhenNothingIsLeft) {
  DeleteWithAll(QStringLiteral("Attic"));
  // A new note takes the free ID 6 of the deleted Attic.
  form_->DBTreeView->setCurrentItem(Node(QStringLiteral("Home")));
  form_->DBTreeView->setFocus();
  QTest::keyClick(form_->DBTreeView, Qt::Key_F5);
  QWidget* editor = QApplication::focusWidget();
  ASSERT_NE(editor, form_->DBTreeView) << "the new node's label is open for typing";
  QTest::keyClicks(editor, "Cellar");
  QTest::keyClick(editor, Qt::Key_Return);
  ASSERT_EQ(form_->Table->FieldNamed(QStringLiteral("ID")).AsString(), "6");
  InRecallWindow([&](TRecallForm& window) {
    QTest::keyClick(window.List, Qt::Key_Return);
    EXPECT_EQ(window.StatusLabel->text(),
              "Recalled 1 note: \u201CAttic\u201D is back at the top level. \u201CAttic\u201D has the new ID 7, because "
              "another note has its ID 6 now. Nothing more can be recalled.");
    EXPECT_EQ(window.List->topLevelItemCount(), 0);
    EXPECT_FALSE(window.RecallButton->isEnabled());
    EXPECT_EQ(window.focusWidget(), window.CloseButton);
  });
  EXPECT_EQ(form_->Table->FieldNamed(QStringLiteral("ID")).AsString(), "7");
  EXPECT_EQ(form_->Memo->toPlainText(), "boxes");
  std::set<QString> ids;
  form_->Table->First();
  for (; !form_->Table->Eof(); form_->Table->Next())
    EXPECT_TRUE(ids.insert(form_->Table->FieldNamed(QStringLiteral("ID")).AsString()).second) << "two notes share an ID";
}

TEST_F(RecallFormTest, WithNothingDeletedTheWindowSaysSoAndEscapeClosesIt) {
  InRecallWindow([&](TRecallForm& window) {
    EXPECT_EQ(window.List->topLevelItemCount(), 0);
    EXPECT_EQ(window.StatusLabel->text(), TRecallForm::NothingText());
    EXPECT_FALSE(window.RecallButton->isEnabled());
    EXPECT_FALSE(window.List->accessibleName().isEmpty());
    EXPECT_FALSE(window.accessibleName().isEmpty());
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
  });
}

}  // namespace
}  // namespace tindrel
