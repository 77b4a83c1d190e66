// A person's sessions with the whole program: the real main window, offscreen, on a fresh copy of
// the starter table in a temporary program folder, driven by key presses, mouse clicks and drags
// through the tree's own drop handling, with the scripted platform answering the message boxes.
// Each journey ends by reading the table files back with the engine's own check and comparing
// every stored record with what the session should have left behind.

#include "app/TExchangeForm.h"
#include "app/TMainForm.h"
#include "app/TProgressWindow.h"
#include "app/TRecallForm.h"
#include "filter/TwwFilterDlg.h"
#include "locate/TwwLocateDlg.h"
#include "platform/ErrorBox.h"
#include "store/TDBMemo.h"
#include "store/TField.h"
#include "store/TTable.h"
#include "store/engine/Table.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/QStringPrinting.h"
#include "tests/support/platform/ScriptedPlatform.h"
#include "tests/tools/RunProcess.h"
#include "tools/NoteTable.h"
#include "tree/dbTree.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QKeyEvent>
#include <QMimeData>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QLabel>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>

namespace tindrel {
namespace {

using testing::ScriptedPlatform;

// One stored note as the engine reads it back.
struct StoredNote {
  std::string parent;
  std::string title;
  std::string memo;
  bool operator==(const StoredNote&) const = default;
};
using StoredNotes = std::map<std::string, StoredNote>;  // by ID

std::ostream& operator<<(std::ostream& out, const StoredNote& note) {
  return out << "{parent " << note.parent << ", \"" << note.title << "\", \"" << note.memo << "\"}";
}

class Journey : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    InstallDefaultErrorHandler();
    tools::CreateNoteTable(dir_.path().toStdString(), tools::WelcomeNotes());
  }

  QString Folder() const { return dir_.path() + QLatin1Char('/'); }

  // Starts the program and makes its window the active one, so its shortcuts work.
  std::unique_ptr<TMainForm> Start() {
    auto form = std::make_unique<TMainForm>(Folder());
    form->show();
    Activate(*form);
    return form;
  }

  // Makes the window the active one again, as it is when the person comes back to it after a
  // dialog: the window's shortcuts work only then.
  static void Activate(TMainForm& form) {
    form.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
  }

  // The starter notes as the table holds them before anything is changed.
  static StoredNotes StarterNotes() {
    StoredNotes notes;
    for (const tools::Note& note : tools::WelcomeNotes())
      notes[std::to_string(note.id)] = {note.parent ? std::to_string(note.parent) : std::string(), note.title,
                                        note.memo};
    return notes;
  }

  // Reads the closed table's files with the engine: the check must find nothing, and every
  // record that is not marked deleted is returned. `deleted` receives the number of marked ones.
  StoredNotes ReadBack(uint32_t* deleted = nullptr) const {
    auto table = engine::Table::Open(tools::NoteTablePath(dir_.path().toStdString()));
    EXPECT_EQ(table->Check(), std::vector<std::string>());
    const int id = table->FieldIndex("ID"), parent = table->FieldIndex("PARENT");
    const int text = table->FieldIndex("TEXT"), memo = table->FieldIndex("MEMO");
    StoredNotes notes;
    uint32_t marked = 0;
    for (uint32_t recno = 1; recno <= table->RecordCount(); ++recno) {
      const engine::Record record = table->ReadRecord(recno);
      if (record.IsDeleted()) {
        ++marked;
        continue;
      }
      const std::string key = table->GetText(record, id);
      EXPECT_EQ(notes.count(key), 0u) << "two records carry the ID " << key;
      notes[key] = {table->GetText(record, parent), table->GetText(record, text), table->ReadMemo(record, memo)};
    }
    if (deleted) *deleted = marked;
    return notes;
  }

  static TTreeNode* Node(TMainForm& form, const QString& title) {
    const auto found = form.DBTreeView->findItems(title, Qt::MatchExactly | Qt::MatchRecursive);
    EXPECT_EQ(found.size(), 1) << title.toStdString();
    return found.isEmpty() ? nullptr : found.first();
  }

  // A left click on the note's label, as the mouse gives it.
  static void Click(TMainForm& form, const QString& title) {
    TTreeNode* node = Node(form, title);
    ASSERT_NE(node, nullptr);
    form.DBTreeView->scrollToItem(node);
    QTest::mouseClick(form.DBTreeView->viewport(), Qt::LeftButton, Qt::NoModifier,
                      form.DBTreeView->visualItemRect(node).center());
    ASSERT_EQ(form.DBTreeView->currentItem(), node);
  }

  // F5 or F6 in the tree, the title typed into the label editor, Enter.
  static void AddNote(TMainForm& form, Qt::Key key, const QString& title) {
    form.DBTreeView->setFocus();
    QTest::keyClick(form.DBTreeView, key);
    ASSERT_EQ(form.Table->State(), DataSetState::Inserting);
    QWidget* editor = QApplication::focusWidget();
    ASSERT_TRUE(qobject_cast<QLineEdit*>(editor)) << "the new note's label is open for typing";
    QTest::keyClicks(editor, title);
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();  // the editor hands its text over through a queued call
    ASSERT_FALSE(form.DBTreeView->IsEditingLabel()) << "Enter closes the label editor";
    ASSERT_EQ(form.Table->State(), DataSetState::Browse) << "Enter stores the new note";
    ASSERT_EQ(form.DBTreeView->currentItem()->text(0), title);
  }

  // Drags the note `moved` with the mouse and drops it on the note `target`, through the drag
  // events Qt delivers to the tree.
  static void Drag(TMainForm& form, const QString& moved, const QString& target) {
    Click(form, moved);
    TDBTreeView& tree = *form.DBTreeView;
    std::unique_ptr<QMimeData> data(tree.CreateDragData());
    QDragEnterEvent enter(QPoint(1, 1), Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree.viewport(), &enter);
    TTreeNode* onto = Node(form, target);
    tree.scrollToItem(onto);
    const QPoint at = tree.visualItemRect(onto).topLeft() + QPoint(4, 3);
    QDragMoveEvent move(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree.viewport(), &move);
    ASSERT_TRUE(move.isAccepted()) << "the tree takes the drop on " << target.toStdString();
    QDropEvent drop(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree.viewport(), &drop);
  }

  // Presses `key` in the memo and, once the modal form it opens is up, lets `act` work in it.
  // Fails when no form came up.
  template <typename Dialog>
  static void InDialog(TMainForm& form, Qt::Key key, const std::function<void(Dialog&)>& act,
                       Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    bool seen = false;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
      auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
      if (!dialog || seen || !dialog->isVisible()) return;
      seen = true;
      act(*dialog);
      if (dialog->isVisible()) dialog->reject();  // never leave the session stuck in a dialog
    });
    driver.start(10);
    Activate(form);
    form.Memo->setFocus();
    QTest::keyClick(form.Memo, key, modifiers);
    driver.stop();
    ASSERT_TRUE(seen) << "no form opened for the key";
  }

  static QString CurrentTitle(TMainForm& form) {
    return form.DBTreeView->currentItem() ? form.DBTreeView->currentItem()->text(0) : QString();
  }

  // Every title in the tree, depth first, one a line, children indented by two blanks.
  static std::string TreeLines(const TCustomTreeViewEx& tree) {
    QStringList lines;
    std::function<void(TTreeNode*, int)> walk = [&](TTreeNode* node, int depth) {
      lines << QString(depth * 2, QLatin1Char(' ')) + node->text(0);
      for (int i = 0; i < node->childCount(); ++i) walk(node->child(i), depth + 1);
    };
    for (int i = 0; i < tree.topLevelItemCount(); ++i) walk(tree.topLevelItem(i), 0);
    return lines.join(QLatin1Char('\n')).toStdString();
  }

  // The item at the end of a path of menus from the menu bar, each step found by its name among
  // the items of the one before and enabled, as a person opening them finds it.
  static QAction* MenuItem(TMainForm& form, const QStringList& path) {
    QList<QAction*> items = form.MainMenu->actions();
    QAction* found = nullptr;
    for (const QString& name : path) {
      found = nullptr;
      for (QAction* item : items)
        if (item->objectName() == name) found = item;
      EXPECT_NE(found, nullptr) << name.toStdString();
      if (!found) return nullptr;
      EXPECT_TRUE(found->isEnabled()) << name.toStdString();
      items = found->menu() ? found->menu()->actions() : QList<QAction*>();
    }
    return found;
  }

  // Runs a menu item of File > Settings > Database > Import or Export: the path typed into its
  // window, the selected note chosen or not, OK; then `whileRunning` gets the progress window.
  static void Exchange(TMainForm& form, const QString& submenu, const QString& item, const QString& path,
                       bool selectedNote, const std::function<void(TProgressWindow&)>& whileRunning = {}) {
    QAction* action = MenuItem(form, {"MenuFile", "MenuSettings", "MenuDatabase", submenu, item});
    ASSERT_NE(action, nullptr);
    const int handled = testing::DriveModals([&] { action->trigger(); }, [&](QWidget& window) {
      auto* asked = qobject_cast<TExchangeForm*>(&window);
      if (!asked) return false;
      asked->PathEdit->clear();
      QTest::keyClicks(asked->PathEdit, path);
      QTest::mouseClick(selectedNote ? asked->SelectedButton : asked->AllButton, Qt::LeftButton);
      if (whileRunning)
        QTimer::singleShot(0, [&] {
          if (auto* progress = qobject_cast<TProgressWindow*>(QApplication::activeModalWidget())) whileRunning(*progress);
        });
      QTest::keyClick(asked->PathEdit, Qt::Key_Return);
      return true;
    });
    ASSERT_EQ(handled, 1) << "the window that asks where came up once";
  }

  std::string ReadFile(const QString& name) const {
    std::ifstream in((Folder() + name).toStdString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // Declared first: the window's status bar takes its timers from the installed platform.
  ScriptedPlatform platform_;
  QTemporaryDir dir_;
};

const QString kWelcome = QStringLiteral("Welcome to Tindrel II");
const QString kMoving = QStringLiteral("Moving notes: drag and drop");
const QString kPack = QStringLiteral("Pack removes deleted notes for good");
const QString kGreek = QString::fromUtf8("Καλώς ήρθατε στο Tindrel II");

TEST_F(Journey, ADayWithTheStarterNotesIsAllThereTheNextMorning) {
  StoredNotes expected = StarterNotes();
  std::string shoppingId, errandsId;
  std::string treeAtClose;
  {
    auto form = Start();
    ASSERT_TRUE(form->Table->Active());
    ASSERT_TRUE(platform_.boxes.shown.empty());

    // A child note under the welcome note, with a body typed into the memo.
    Click(*form, kWelcome);
    AddNote(*form, Qt::Key_F6, "Shopping");
    shoppingId = form->Table->FieldNamed("ID").AsString().toStdString();
    EXPECT_EQ(form->Table->FieldNamed("PARENT").AsString(), "1");
    form->Memo->setFocus();
    QTest::keyClicks(form->Memo, "milk, bread");
    EXPECT_EQ(form->Table->State(), DataSetState::Editing);
    Click(*form, kPack);
    EXPECT_EQ(form->Table->State(), DataSetState::Browse) << "moving to another note stores the memo";
    Click(*form, "Shopping");
    EXPECT_EQ(form->Memo->toPlainText(), "milk, bread");
    expected[shoppingId] = {"1", "Shopping", "milk, bread"};

    // A note beside it.
    AddNote(*form, Qt::Key_F5, "Errands");
    errandsId = form->Table->FieldNamed("ID").AsString().toStdString();
    EXPECT_NE(errandsId, shoppingId);
    expected[errandsId] = {"1", "Errands", ""};

    // The moving-notes note goes under Shopping, by the mouse.
    Drag(*form, kMoving, "Shopping");
    ASSERT_EQ(Node(*form, kMoving)->parent(), Node(*form, "Shopping"));
    expected["3"].parent = shoppingId;

    // The Greek note and its four children go, with one All.
    const std::string treeWithGreek = TreeLines(*form->DBTreeView);
    Click(*form, kGreek);
    const QString greekMemo = form->Memo->toPlainText();
    auto deleteGreek = [&] {
      platform_.boxes.shown.clear();
      platform_.boxes.Answer(mbAll);
      form->DBTreeView->setFocus();
      QTest::keyClick(form->DBTreeView, Qt::Key_Delete, Qt::ShiftModifier);
    };
    deleteGreek();
    ASSERT_EQ(platform_.boxes.shown.size(), 1u) << "All answers for the whole subtree";
    EXPECT_EQ(platform_.boxes.shown[0].icon, MessageIcon::Confirmation);
    EXPECT_TRUE(platform_.boxes.shown[0].buttons & mbAll);
    EXPECT_TRUE(form->DBTreeView->findItems(kGreek, Qt::MatchExactly | Qt::MatchRecursive).isEmpty());

    // That was a mistake: Recall Deleted (Ctrl+Alt+R), Enter, and the subtree is back in its
    // place, selected, its memo shown.
    InDialog<TRecallForm>(
        *form, Qt::Key_R,
        [&](TRecallForm& window) {
          ASSERT_EQ(window.List->topLevelItemCount(), 1);
          EXPECT_EQ(window.List->topLevelItem(0)->text(0), kGreek);
          EXPECT_EQ(window.List->topLevelItem(0)->text(2), "5");
          QTest::keyClick(window.List, Qt::Key_Return);
          EXPECT_TRUE(window.StatusLabel->text().startsWith("Recalled 5 notes")) << window.StatusLabel->text().toStdString();
        },
        Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(TreeLines(*form->DBTreeView), treeWithGreek);
    EXPECT_EQ(CurrentTitle(*form), kGreek);
    EXPECT_EQ(form->Memo->toPlainText(), greekMemo);
    EXPECT_EQ(form->Table->RecordCount(), expected.size());

    // And away again, for good this time.
    Click(*form, kGreek);
    deleteGreek();
    EXPECT_TRUE(form->DBTreeView->findItems(kGreek, Qt::MatchExactly | Qt::MatchRecursive).isEmpty());
    for (const char* id : {"8", "9", "10", "11", "12"}) expected.erase(id);
    EXPECT_EQ(form->Table->RecordCount(), expected.size());

    // F7: a word of a title finds its note.
    Click(*form, kWelcome);
    InDialog<TwwLocateDlg>(*form, Qt::Key_F7, [](TwwLocateDlg& dialog) {
      QTest::keyClicks(dialog.SearchValue, "Pack");
      QTest::mouseClick(dialog.FirstButton, Qt::LeftButton);
    });
    EXPECT_EQ(form->Table->FieldNamed("ID").AsString(), "7");
    EXPECT_EQ(CurrentTitle(*form), kPack);
    EXPECT_EQ(form->Memo->toPlainText(), QString::fromStdString(expected["7"].memo).replace("\r\n", "\n"));

    // F8: only the notes whose title has the word; F8 again and Clear brings every note back.
    const std::string fullTree = TreeLines(*form->DBTreeView);
    InDialog<TwwFilterDlg>(*form, Qt::Key_F8, [](TwwFilterDlg& dialog) {
      QTest::keyClicks(dialog.FilterValueEdit, "Errands");
      QTest::mouseClick(dialog.OKButton, Qt::LeftButton);
    });
    EXPECT_TRUE(form->Table->Filtered());
    EXPECT_EQ(form->Table->RecordCount(), 1u);
    EXPECT_EQ(TreeLines(*form->DBTreeView), "Errands");
    InDialog<TwwFilterDlg>(*form, Qt::Key_F8, [](TwwFilterDlg& dialog) {
      QTest::mouseClick(dialog.ClearSearchButton, Qt::LeftButton);
      QTest::mouseClick(dialog.OKButton, Qt::LeftButton);
    });
    EXPECT_EQ(TreeLines(*form->DBTreeView), fullTree);
    EXPECT_EQ(form->Table->RecordCount(), expected.size());

    // Long lines wrap from now on.
    Activate(*form);
    form->Memo->setFocus();
    QTest::keyClick(form->Memo, Qt::Key_W, Qt::ControlModifier);
    ASSERT_TRUE(form->MenuMemoWordWrap->isChecked());

    // Pack, then close.
    platform_.boxes.shown.clear();
    form->MenuPack->trigger();
    ASSERT_EQ(platform_.boxes.shown.size(), 1u);
    EXPECT_EQ(platform_.boxes.shown[0].text, "Pack Completed");
    EXPECT_EQ(TreeLines(*form->DBTreeView), fullTree);
    treeAtClose = fullTree;
    EXPECT_TRUE(form->close());
  }

  uint32_t deleted = 0;
  EXPECT_EQ(ReadBack(&deleted), expected);
  EXPECT_EQ(deleted, 0u) << "the pack removed the deleted notes from the file";

  // The next morning: the same tree, the same memo, the same settings.
  platform_.boxes.shown.clear();
  {
    auto form = Start();
    EXPECT_TRUE(platform_.boxes.shown.empty());
    EXPECT_EQ(TreeLines(*form->DBTreeView), treeAtClose);
    EXPECT_EQ(Node(*form, kMoving)->parent(), Node(*form, "Shopping"));
    Click(*form, "Shopping");
    EXPECT_EQ(form->Memo->toPlainText(), "milk, bread");
    EXPECT_TRUE(form->MenuMemoWordWrap->isChecked());
    EXPECT_EQ(form->Memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_TRUE(form->close());
  }
  EXPECT_EQ(ReadBack(), expected) << "looking changes nothing";
}

TEST_F(Journey, ChangingTheMindEverywhereLeavesTheTableAsItWas) {
  const StoredNotes starter = StarterNotes();
  std::string treeAtStart;
  {
    auto form = Start();
    treeAtStart = TreeLines(*form->DBTreeView);

    // A new note given up with Escape before anything was typed.
    Click(*form, kWelcome);
    form->DBTreeView->setFocus();
    QTest::keyClick(form->DBTreeView, Qt::Key_F6);
    ASSERT_EQ(form->Table->State(), DataSetState::Inserting);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QApplication::processEvents();
    Click(*form, kPack);
    EXPECT_EQ(form->Table->State(), DataSetState::Browse);
    EXPECT_EQ(TreeLines(*form->DBTreeView), treeAtStart) << "the untouched new note is gone";

    // Deleting the Greek subtree, answered Cancel at the first question.
    Click(*form, kGreek);
    platform_.boxes.Answer(mbCancel);
    form->DBTreeView->setFocus();
    QTest::keyClick(form->DBTreeView, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(platform_.boxes.shown.size(), 1u);
    EXPECT_EQ(TreeLines(*form->DBTreeView), treeAtStart);
    EXPECT_EQ(form->Table->RecordCount(), starter.size());

    // A search for a word no title has: a message, and the current note stays.
    const QString before = CurrentTitle(*form);
    platform_.boxes.shown.clear();
    InDialog<TwwLocateDlg>(*form, Qt::Key_F7, [](TwwLocateDlg& dialog) {
      QTest::keyClicks(dialog.SearchValue, "nowhere");
      QTest::mouseClick(dialog.FirstButton, Qt::LeftButton);
      EXPECT_TRUE(dialog.isVisible()) << "a failed search leaves the form open";
      QTest::mouseClick(dialog.CancelButton, Qt::LeftButton);
    });
    EXPECT_EQ(platform_.boxes.shown.size(), 1u) << "the failed search says so";
    EXPECT_EQ(CurrentTitle(*form), before);

    // A filter typed and then cancelled filters nothing.
    InDialog<TwwFilterDlg>(*form, Qt::Key_F8, [](TwwFilterDlg& dialog) {
      QTest::keyClicks(dialog.FilterValueEdit, "Welcome");
      QTest::mouseClick(dialog.CancelButton, Qt::LeftButton);
    });
    EXPECT_FALSE(form->Table->Filtered());
    EXPECT_EQ(TreeLines(*form->DBTreeView), treeAtStart);

    // Memo typing taken back before moving on.
    Click(*form, kWelcome);
    form->Memo->setFocus();
    QTest::keyClicks(form->Memo, "scratch");
    ASSERT_EQ(form->Table->State(), DataSetState::Editing);
    form->MenuDataCancel->trigger();
    EXPECT_EQ(form->Table->State(), DataSetState::Browse);
    EXPECT_EQ(form->Memo->toPlainText(), QString::fromStdString(starter.at("1").memo).replace("\r\n", "\n"));
    EXPECT_TRUE(form->close());
  }
  uint32_t deleted = 0;
  EXPECT_EQ(ReadBack(&deleted), starter);
  EXPECT_EQ(deleted, 0u) << "the given-up new note left no record behind";

  auto form = Start();
  EXPECT_EQ(TreeLines(*form->DBTreeView), treeAtStart);
  EXPECT_FALSE(form->MenuMemoWordWrap->isChecked());
}

TEST_F(Journey, NotesGoOutAndComeBackThroughTheMenus) {
  StoredNotes expected = StarterNotes();
  std::string gardenId;
  {
    auto form = Start();
    Click(*form, kWelcome);
    AddNote(*form, Qt::Key_F6, "Garden plan");
    gardenId = form->Table->FieldNamed("ID").AsString().toStdString();
    form->Memo->setFocus();
    for (QChar c : QString::fromUtf8("roses, τριαντάφυλλα")) {  // key presses that carry Greek letters
      QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QApplication::sendEvent(form->Memo, &press);
    }
    expected[gardenId] = {"1", "Garden plan", "roses, τριαντάφυλλα"};

    // Every note out as a Markdown folder tree, with the memo still being typed.
    Exchange(*form, "MenuExport", "MenuExportToAscii", Folder() + "vault", false);
    ASSERT_FALSE(platform_.boxes.shown.empty());
    EXPECT_EQ(platform_.boxes.shown.back().text, "Exported 13 notes to " + Folder() + "vault.");
    EXPECT_EQ(ReadFile("vault/Welcome to Tindrel II/Garden plan.md"), "# Garden plan\n\nroses, τριαντάφυλλα");
    EXPECT_TRUE(std::filesystem::exists((Folder() + "vault/" + kGreek + "/Αναζήτηση_ F7 εντοπισμός, F8 φίλτρο.md").toStdString()));

    // The Greek note and the four below it out as OPML, and back in below the new note.
    Click(*form, kGreek);
    Exchange(*form, "MenuExport", "MenuExportToOPML", Folder() + "greek.opml", true);
    EXPECT_EQ(platform_.boxes.shown.back().text, "Exported 5 notes to " + Folder() + "greek.opml.");
    Click(*form, "Garden plan");
    Exchange(*form, "MenuImport", "MenuImportFromOPML", Folder() + "greek.opml", true);
    EXPECT_EQ(platform_.boxes.shown.back().text,
              "Imported 5 notes from " + Folder() + "greek.opml below \u201CGarden plan\u201D.");
    const auto copies = form->DBTreeView->findItems(kGreek, Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(copies.size(), 2);
    EXPECT_EQ(CurrentTitle(*form), kGreek);
    EXPECT_EQ(form->DBTreeView->currentItem()->parent(), Node(*form, "Garden plan"));
    EXPECT_EQ(form->DBTreeView->currentItem()->childCount(), 4);
    const uint64_t copyId = std::stoull(gardenId) + 1;
    expected[std::to_string(copyId)] = {gardenId, expected["8"].title, expected["8"].memo};
    // The children come in the tree's order of the original, by title.
    const char* byTitle[] = {"11", "10", "9", "12"};
    for (int i = 0; i < 4; ++i)
      expected[std::to_string(copyId + 1 + i)] = {std::to_string(copyId), expected[byTitle[i]].title,
                                                  expected[byTitle[i]].memo};

    // The whole folder tree once more at the top level, cancelled while it runs: nothing changes.
    const std::string treeBefore = TreeLines(*form->DBTreeView);
    const size_t boxes = platform_.boxes.shown.size();
    Exchange(*form, "MenuImport", "MenuImportFromMarkdownFolders", Folder() + "vault", false,
             [](TProgressWindow& progress) { QTest::keyClick(&progress, Qt::Key_Escape); });
    EXPECT_EQ(platform_.boxes.shown.size(), boxes) << "a cancel shows nothing";
    EXPECT_EQ(TreeLines(*form->DBTreeView), treeBefore);
    EXPECT_EQ(form->Table->RecordCount(), expected.size());
    EXPECT_TRUE(form->close());
  }
  EXPECT_EQ(ReadBack(), expected);
}

// A note table another program wrote: Perl XBase's dBASE III table with ID N(10), PARENT N(10),
// TEXT C(64) and MEMO M, and no index. The program refuses it and names the table tool's
// command; adopt finds the four fields and makes the index; the program then opens it, a note
// is added, and python3-dbfread reads the table back with the new note in it.
TEST_F(Journey, ATableAnotherProgramWroteIsAdoptedOpenedAndReadBackByAThirdOne) {
  const char* perl = "/usr/bin/perl";
  const char* python = "/usr/bin/python3";
  if (test::RunProcess({perl, "-MXBase", "-e", "1"}).status != 0) GTEST_SKIP() << "libdbd-xbase-perl is not installed";
  if (test::RunProcess({python, "-c", "import dbfread"}).status != 0) GTEST_SKIP() << "python3-dbfread is not installed";
  const std::string folder = dir_.path().toStdString();
  const std::string table = tools::NoteTablePath(folder);
  for (const char* ext : {".dbf", ".dbt", ".mdx"}) std::filesystem::remove(folder + "/Tindrel" + ext);
  const test::ProcessResult written = test::RunProcess(
      {perl, "-e",
       "use XBase;\n"
       "my $t = XBase->create(name => shift, field_names => [qw(ID PARENT TEXT MEMO)],\n"
       "  field_types => [qw(N N C M)], field_lengths => [10, 10, 64, 10], field_decimals => [0, 0, undef, undef])\n"
       "  or die XBase->errstr;\n"
       "$t->set_record(0, 1, undef, 'Garden', 'Sow in spring') or die $t->errstr;\n"
       "$t->set_record(1, 2, 1, 'Roses', \"Prune in March\\r\\nFeed in May\") or die $t->errstr;\n"
       "$t->set_record(2, 3, undef, 'Kitchen', undef) or die $t->errstr;\n"
       "$t->close;\n",
       table});
  ASSERT_EQ(written.status, 0) << written.err;
  ASSERT_FALSE(std::filesystem::exists(folder + "/Tindrel.mdx"));

  {
    auto form = Start();
    ASSERT_EQ(platform_.boxes.shown.size(), 1u);
    EXPECT_TRUE(platform_.boxes.shown[0].text.startsWith("Table: No index for fields 'ID'\n"));
    EXPECT_TRUE(platform_.boxes.shown[0].text.contains(" index ")) << platform_.boxes.shown[0].text.toStdString();
    EXPECT_FALSE(form->Table->Active());
  }
  const test::ProcessResult adopted = test::RunProcess({TINDREL_TABLE_TOOL, "adopt", table});
  ASSERT_EQ(adopted.status, 0) << adopted.out << adopted.err;
  for (const std::string line : {"ID      field ID N(10): serves", "Parent  field PARENT N(10): serves",
                                 "Text    field TEXT C(64): serves", "MEMO    field MEMO M: serves",
                                 "can serve as a note table"})
    EXPECT_NE(adopted.out.find(table + ": " + line + "\n"), std::string::npos) << line << "\n" << adopted.out;
  const test::ProcessResult checked = test::RunProcess({TINDREL_TABLE_TOOL, "check", table});
  EXPECT_EQ(checked.status, 0) << checked.out;

  platform_.boxes.shown.clear();
  std::string shoppingId;
  {
    auto form = Start();
    ASSERT_TRUE(platform_.boxes.shown.empty()) << platform_.boxes.shown[0].text.toStdString();
    ASSERT_TRUE(form->Table->Active());
    EXPECT_EQ(TreeLines(*form->DBTreeView), "Garden\n  Roses\nKitchen");
    Click(*form, "Roses");
    EXPECT_EQ(form->Memo->toPlainText(), "Prune in March\nFeed in May");

    Click(*form, "Garden");
    AddNote(*form, Qt::Key_F6, "Shopping");
    shoppingId = form->Table->FieldNamed("ID").AsString().toStdString();
    EXPECT_EQ(shoppingId, "4");
    form->Memo->setFocus();
    QTest::keyClicks(form->Memo, "seeds, twine");
    Click(*form, "Kitchen");
    EXPECT_EQ(form->Table->State(), DataSetState::Browse);

    // A title as long as the 64-character field holds, and no longer.
    form->DBTreeView->setFocus();
    QTest::keyClick(form->DBTreeView, Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, QString(70, QLatin1Char('k')));
    EXPECT_EQ(editor->text(), QString(64, QLatin1Char('k')));
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_TRUE(form->close());
  }
  StoredNotes expected = {{"1", {"", "Garden", "Sow in spring"}},
                          {"2", {"1", "Roses", "Prune in March\r\nFeed in May"}},
                          {"3", {"", std::string(64, 'k'), ""}},
                          {shoppingId, {"1", "Shopping", "seeds, twine"}}};
  EXPECT_EQ(ReadBack(), expected);

  const test::ProcessResult read = test::RunProcess(
      {python, "-c",
       "import sys, dbfread\n"
       "for r in dbfread.DBF(sys.argv[1]):\n"
       "    print(repr((r['ID'], r['PARENT'], r['TEXT'], r['MEMO'])))\n",
       table});
  ASSERT_EQ(read.status, 0) << read.err;
  EXPECT_EQ(read.out,
            "(1, None, 'Garden', 'Sow in spring')\n"
            "(2, 1, 'Roses', 'Prune in March\\r\\nFeed in May')\n"
            "(3, None, '" + std::string(64, 'k') + "', None)\n"
            "(4, 1, 'Shopping', 'seeds, twine')\n");
}

}  // namespace
}  // namespace tindrel
