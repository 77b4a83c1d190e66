// The main window on real note tables in a temporary program folder, offscreen, with the scripted
// platform answering message boxes and the font dialog.

#include "app/ShortCut.h"
#include "app/SettingsKeys.h"
#include "app/TMainForm.h"
#include "app/TSplitter.h"
#include "navigator/TwwDBNavigator.h"
#include "platform/ErrorBox.h"
#include "statusbar/TfcStatusBar.h"
#include "store/TDBMemo.h"
#include "store/TField.h"
#include "store/TTable.h"
#include "store/engine/Table.h"
#include "tests/support/TreeLines.h"
#include "tests/support/platform/ScriptedPlatform.h"
#include "tools/NoteTable.h"
#include "tree/dbTree.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace tindrel {
namespace {

using testing::ScriptedPlatform;

const char kClosedMessage[] = "Table: Cannot perform this operation on a closed dataset.";

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    InstallDefaultErrorHandler();
  }

  QString Folder() const { return dir_.path() + QLatin1Char('/'); }
  QString SettingsPath() const { return Folder() + QStringLiteral("TindrelII.ini"); }

  void MakeTable(const std::vector<tools::Note>& notes = ThreeNotes()) {
    tools::CreateNoteTable(dir_.path().toStdString(), notes);
  }

  static std::vector<tools::Note> ThreeNotes() {
    return {{1, 0, "Alpha", "alpha body"}, {2, 1, "Beta", "beta body"}, {3, 0, "Gamma", "gamma body"}};
  }

  std::unique_ptr<TMainForm> Start() { return std::make_unique<TMainForm>(Folder()); }

  // Shows the window and makes it the active one, so its shortcuts work.
  static void ShowActive(TMainForm& form) {
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  }

  void WriteSettings(const QByteArray& content) {
    QFile file(SettingsPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
  }

  std::string Settings() const {
    QFile file(SettingsPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
  }

  // Types `text` into `widget` as key presses that carry the characters (any script).
  static void Type(QWidget* widget, const QString& text) {
    for (QChar c : text) {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QApplication::sendEvent(widget, &press);
      QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QApplication::sendEvent(widget, &release);
    }
  }

  // The tree's labels, depth first, children indented by two blanks.
  static QStringList TreeLines(const TCustomTreeViewEx& tree) { return testing::TreeLines(tree); }

  // The memo's font as designed: "Courier New" 10 pt, drawn by a fixed-pitch substitute where it
  // is not installed.
  static QFont DesignMemoFont() {
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSize(10);
    return font;
  }

  std::vector<QString> BoxTexts() const {
    std::vector<QString> texts;
    for (const auto& box : platform_.boxes.shown) texts.push_back(box.text);
    return texts;
  }

  // Declared first: the window's status bar takes its timers from the installed platform.
  ScriptedPlatform platform_;
  QTemporaryDir dir_;
};

const std::string kFirstRunSettings =
    "[InterFace]\nStayOnTop=0\nFontName=Courier New\nFontSize=10\nMemoWordWrap=0\n"
    "\n[TreeView]\nMouseMoveSelect=0\nFontName=MS Sans Serif\nFontSize=10\n";

TEST_F(MainFormTest, NoTableAndNoSettingsShowOneErrorAndComeUpClosedWithTheDefaults) {
  auto form = Start();
  ASSERT_EQ(platform_.boxes.shown.size(), 1u);
  const auto& box = platform_.boxes.shown[0];
  EXPECT_EQ(box.caption, "Tindrel II");
  EXPECT_EQ(box.icon, MessageIcon::Error);
  EXPECT_EQ(box.buttons, mbOK);
  EXPECT_FALSE(box.text.isEmpty());

  form->show();
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->windowTitle(), "Tindrel II  - (Desktop Edition)");
  EXPECT_FALSE(form->Table->Active());
  EXPECT_EQ(form->Table->TableName(), Folder() + "Tindrel.dbf");
  EXPECT_TRUE(form->Memo->toPlainText().isEmpty());
  EXPECT_TRUE(form->Memo->isReadOnly());
  EXPECT_EQ(form->Memo->font().family(), "Courier New");
  EXPECT_EQ(form->Memo->font().pointSize(), 10);
  EXPECT_EQ(form->TreeFont().family(), "MS Sans Serif");
  EXPECT_EQ(form->TreeFont().pointSize(), 10);
  EXPECT_FALSE(QFile::exists(SettingsPath())) << "reading the settings never creates the file";

  EXPECT_TRUE(form->close());
  EXPECT_EQ(Settings(), kFirstRunSettings);
}

TEST_F(MainFormTest, DatasetCommandsOnTheClosedTableReportTheClosedDataset) {
  auto form = Start();
  platform_.boxes.shown.clear();
  for (QAction* command : {form->MenuFirst, form->MenuPrior, form->MenuNext, form->MenuLast, form->MenuDataInsert,
                           form->MenuDataAppend, form->MenuDataEdit, form->MenuDataDelete, form->MenuDataRefresh}) {
    command->trigger();
    ASSERT_EQ(platform_.boxes.shown.size(), 1u) << command->objectName().toStdString();
    EXPECT_EQ(platform_.boxes.shown[0].text, kClosedMessage) << command->objectName().toStdString();
    platform_.boxes.shown.clear();
  }
  form->MenuDataPost->trigger();
  ASSERT_EQ(platform_.boxes.shown.size(), 1u);
  EXPECT_EQ(platform_.boxes.shown[0].text, "Table: Dataset not in edit or insert mode.");
  platform_.boxes.shown.clear();
  form->MenuDataCancel->trigger();
  EXPECT_TRUE(platform_.boxes.shown.empty()) << "Cancel outside an edit does nothing";

  form->MenuPack->trigger();
  ASSERT_EQ(platform_.boxes.shown.size(), 1u);
  EXPECT_EQ(platform_.boxes.shown[0].icon, MessageIcon::Error) << "no \"Pack Completed\" for a closed table";
}

TEST_F(MainFormTest, DatasetCommandsInAStateThatForbidsThemReportTheDatasetError) {
  MakeTable({});
  auto form = Start();
  ASSERT_TRUE(form->Table->Active());
  form->MenuDataPost->trigger();
  form->MenuDataCancel->trigger();
  form->MenuDataDelete->trigger();
  EXPECT_EQ(BoxTexts(), std::vector<QString>({"Table: Dataset not in edit or insert mode.",
                                              "Table: Cannot perform this operation on an empty dataset."}));
  EXPECT_EQ(form->Table->State(), DataSetState::Browse);
}

TEST_F(MainFormTest, DatasetInsertIsTakenOverByTheTree) {
  MakeTable();
  auto form = Start();
  form->MenuLast->trigger();
  form->MenuDataInsert->trigger();
  EXPECT_TRUE(platform_.boxes.shown.empty());
  EXPECT_EQ(form->Table->State(), DataSetState::Inserting);
  EXPECT_EQ(form->DBTreeView->topLevelItemCount(), 3) << "a new node beside the selected top-level note";
  EXPECT_FALSE(form->Table->FieldNamed("ID").AsString().isEmpty());
}

TEST_F(MainFormTest, ASecondCopyReportsTheTableInUseAndLeavesTheFirstWorking) {
  MakeTable();
  auto first = Start();
  ASSERT_TRUE(platform_.boxes.shown.empty());
  ASSERT_TRUE(first->Table->Active());

  auto second = Start();
  ASSERT_EQ(platform_.boxes.shown.size(), 1u);
  EXPECT_TRUE(platform_.boxes.shown[0].text.contains("in use")) << platform_.boxes.shown[0].text.toStdString();
  EXPECT_FALSE(second->Table->Active());
  EXPECT_TRUE(second->Memo->toPlainText().isEmpty());
  EXPECT_EQ(second->DBTreeView->topLevelItemCount(), 0);
  EXPECT_EQ(first->DBTreeView->topLevelItemCount(), 2);

  first->MenuLast->trigger();
  EXPECT_EQ(first->Table->FieldNamed("TEXT").AsString(), "Gamma");
  EXPECT_EQ(platform_.boxes.shown.size(), 1u);
}

TEST_F(MainFormTest, TheTableAndSettingsComeFromTheProgramFolderNotTheWorkingFolder) {
  MakeTable();
  QTemporaryDir elsewhere;
  ASSERT_TRUE(elsewhere.isValid());
  tools::CreateNoteTable(elsewhere.path().toStdString(), {{1, 0, "Elsewhere", ""}});
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));

  {
    auto form = Start();
    EXPECT_TRUE(platform_.boxes.shown.empty());
    ASSERT_TRUE(form->Table->Active());
    EXPECT_EQ(form->Table->FieldNamed("TEXT").AsString(), "Alpha");
    EXPECT_TRUE(form->close());
  }
  EXPECT_TRUE(QFile::exists(SettingsPath()));
  EXPECT_FALSE(QFile::exists(elsewhere.filePath("TindrelII.ini")));

  // Without a folder given, the window takes the running executable's folder.
  TMainForm plain;
  EXPECT_EQ(plain.ProgramFolder(), QCoreApplication::applicationDirPath() + "/");
  EXPECT_EQ(plain.Table->TableName(), QCoreApplication::applicationDirPath() + "/Tindrel.dbf");
  ASSERT_TRUE(QDir::setCurrent(previous));
}

TEST_F(MainFormTest, ASettingsFileThatCannotBeWrittenKeepsTheWindowOpenUntilItCan) {
  MakeTable();
  auto form = Start();
  form->show();
  // A folder in the settings file's place makes every write fail, even for root.
  ASSERT_TRUE(QDir().mkdir(SettingsPath()));

  for (int attempt = 0; attempt < 2; ++attempt) {
    platform_.boxes.shown.clear();
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    ASSERT_EQ(platform_.boxes.shown.size(), 1u);
    EXPECT_EQ(platform_.boxes.shown[0].text, "Unable to write to " + SettingsPath() + ".");
    EXPECT_EQ(platform_.boxes.shown[0].caption, "Tindrel II");
  }

  ASSERT_TRUE(QDir().rmdir(SettingsPath()));
  EXPECT_TRUE(form->close());
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(Settings(), kFirstRunSettings);
}

TEST_F(MainFormTest, TogglesAndFontsMakeTheRoundTripThroughTheSettingsFile) {
  WriteSettings(
      "[interface]\nStayOnTop=1\nfontname=Liberation Mono\nFontSize=0x0C\nMemoWordWrap=1\n"
      "[TREEVIEW]\nMouseMoveSelect=1\nFontName=DejaVu Sans\nFontSize=9\n");
  {
    auto form = Start();
    EXPECT_TRUE(form->MenuStayOnTop->isChecked());
    EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form->Memo->font().family(), "Liberation Mono");
    EXPECT_EQ(form->Memo->font().pointSize(), 12);
    EXPECT_TRUE(form->MenuMemoWordWrap->isChecked());
    EXPECT_TRUE(form->PopUpMemoWordWrap->isChecked());
    EXPECT_TRUE(form->Memo->WordWrap());
    EXPECT_TRUE(form->MenuMouseMoveSelect->isChecked());
    EXPECT_EQ(form->TreeOptions(), 0x127F);
    EXPECT_EQ(form->TreeFont().family(), "DejaVu Sans");
    EXPECT_EQ(form->TreeFont().pointSize(), 9);
    EXPECT_TRUE(form->close());
  }
  EXPECT_EQ(Settings(),
            std::string("[interface]\nStayOnTop=1\nFontName=Liberation Mono\nFontSize=12\nMemoWordWrap=1\n"
            "[TREEVIEW]\nMouseMoveSelect=1\nFontName=DejaVu Sans\nFontSize=9\n"));

  WriteSettings("[InterFace]\nStayOnTop=yes\nMemoWordWrap=true\n[TreeView]\nMouseMoveSelect=0x0\n");
  auto form = Start();
  EXPECT_FALSE(form->MenuStayOnTop->isChecked()) << "\"yes\" is not a number and reads as false";
  EXPECT_FALSE(form->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(form->MenuMemoWordWrap->isChecked());
  EXPECT_FALSE(form->Memo->WordWrap());
  EXPECT_FALSE(form->MenuMouseMoveSelect->isChecked());
  EXPECT_EQ(form->TreeOptions(), 0x107F);
}

TEST_F(MainFormTest, StoredFontSizesAlwaysGiveAUsableSize) {
  struct Case {
    const char* stored;
    int points;
  };
  const Case cases[] = {{"0", 10},  {"-4", 10}, {"0x7FFFFFFF", 10}, {"73", 10}, {"abc", 10},
                        {"0x", 10}, {"1", 1},   {"72", 72},         {"0x0C", 12}};
  for (const Case& c : cases) {
    WriteSettings(QByteArray("[InterFace]\nFontSize=") + c.stored + "\n[TreeView]\nFontSize=" + c.stored + "\n");
    auto form = Start();
    EXPECT_EQ(form->Memo->font().pointSize(), c.points) << c.stored;
    EXPECT_EQ(form->TreeFont().pointSize(), c.points) << c.stored;
  }
}

TEST_F(MainFormTest, CtrlWTwiceInTheMemoReturnsToBothScrollBarsWithThePopUpTickFollowing) {
  MakeTable();
  auto form = Start();
  ShowActive(*form);
  form->Memo->setFocus();

  QTest::keyClick(form->Memo, Qt::Key_W, Qt::ControlModifier);
  EXPECT_TRUE(form->MenuMemoWordWrap->isChecked());
  EXPECT_TRUE(form->PopUpMemoWordWrap->isChecked());
  EXPECT_TRUE(form->Memo->WordWrap());
  EXPECT_EQ(form->Memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(form->Memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

  QTest::keyClick(form->Memo, Qt::Key_W, Qt::ControlModifier);
  EXPECT_FALSE(form->MenuMemoWordWrap->isChecked());
  EXPECT_FALSE(form->PopUpMemoWordWrap->isChecked());
  EXPECT_FALSE(form->Memo->WordWrap());
  EXPECT_EQ(form->Memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(form->Memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(form->Memo->toPlainText(), "alpha body") << "the keys went to the command, not into the text";

  // The pop-up item reads the main item's tick: with it set, a click clears both.
  form->MenuMemoWordWrap->trigger();
  ASSERT_TRUE(form->MenuMemoWordWrap->isChecked());
  form->PopUpMemoWordWrap->trigger();
  EXPECT_FALSE(form->MenuMemoWordWrap->isChecked());
  EXPECT_FALSE(form->PopUpMemoWordWrap->isChecked());
  EXPECT_FALSE(form->Memo->WordWrap());
}

TEST_F(MainFormTest, ShortcutsThatTheMemoWouldTakeRunTheCommands) {
  MakeTable();
  auto form = Start();
  ShowActive(*form);
  form->Memo->setFocus();
  QTest::keyClick(form->Memo, Qt::Key_F1);
  ASSERT_EQ(platform_.boxes.shown.size(), 1u);
  EXPECT_EQ(platform_.boxes.shown[0].caption, "Information");
  EXPECT_EQ(platform_.boxes.shown[0].text, TMainForm::AboutText());
  EXPECT_EQ(platform_.boxes.shown[0].icon, MessageIcon::Information);
  EXPECT_EQ(platform_.boxes.shown[0].buttons, mbOK);

  QTest::keyClick(form->Memo, Qt::Key_X, Qt::AltModifier);
  EXPECT_FALSE(form->isVisible()) << "Alt+X exits";
}

TEST_F(MainFormTest, F7AndF8InTheMemoOpenTheLocateAndFilterDialogsOnTheNoteTable) {
  MakeTable();
  auto form = Start();
  ShowActive(*form);
  for (auto [key, title] : {std::pair{Qt::Key_F7, "Locate Field Value"}, std::pair{Qt::Key_F8, "Filter Tindrels"}}) {
    ShowActive(*form);
    form->Memo->setFocus();
    // Closes the dialog as soon as it is up (the dialog may run events before it shows).
    QString shownTitle;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
      if (QWidget* dialog = QApplication::activeModalWidget()) {
        shownTitle = dialog->windowTitle();
        dialog->close();
      }
    });
    closer.start(10);
    QTest::keyClick(form->Memo, key);
    closer.stop();
    EXPECT_EQ(shownTitle, title) << title;
    EXPECT_TRUE(platform_.boxes.shown.empty());
  }
  // The filter dialog was cancelled; the tree was rebuilt and shows every note still.
  EXPECT_EQ(TreeLines(*form->DBTreeView), QStringList({"Alpha", "  Beta", "Gamma"}));
}

TEST_F(MainFormTest, ClosingStoresTheMemoTypingThatWasNotPosted) {
  MakeTable();
  {
    auto form = Start();
    ShowActive(*form);
    form->Memo->setFocus();
    form->Memo->moveCursor(QTextCursor::End);
    QTest::keyClicks(form->Memo, " and more");
    ASSERT_EQ(form->Table->State(), DataSetState::Editing);
    EXPECT_TRUE(form->close());
  }
  auto again = Start();
  ASSERT_TRUE(again->Table->Active());
  again->MenuFirst->trigger();
  EXPECT_EQ(again->Memo->toPlainText(), "alpha body and more");
}

TEST_F(MainFormTest, ClosingStoresANewNoteWhoseTitleIsStillBeingTyped) {
  MakeTable();
  {
    auto form = Start();
    ShowActive(*form);
    form->DBTreeView->setFocus();
    QTest::keyClick(form->DBTreeView, Qt::Key_F5);
    ASSERT_EQ(form->Table->State(), DataSetState::Inserting);
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, form->DBTreeView) << "the new node's label is open for typing";
    QTest::keyClicks(editor, "Delta");
    EXPECT_TRUE(form->close());
  }
  auto again = Start();
  EXPECT_TRUE(TreeLines(*again->DBTreeView).contains("Delta")) << TreeLines(*again->DBTreeView).join('|').toStdString();
  EXPECT_EQ(again->Table->RecordCount(), 4u);
}

TEST_F(MainFormTest, AnEditThatCannotBeStoredAsksBeforeClosingAndCanBeKept) {
  MakeTable();
  auto form = Start();
  ShowActive(*form);
  form->Memo->setFocus();
  form->Memo->moveCursor(QTextCursor::End);
  // The table's code page holds Greek and Western letters, not these.
  Type(form->Memo, QString::fromUtf8(" \u4e2d\u6587"));
  ASSERT_EQ(form->Table->State(), DataSetState::Editing);

  platform_.boxes.Answer(mbOK);      // the error
  platform_.boxes.Answer(mbCancel);  // "close anyway?"
  EXPECT_FALSE(form->close());
  ASSERT_EQ(platform_.boxes.shown.size(), 2u);
  EXPECT_EQ(platform_.boxes.shown[0].icon, MessageIcon::Error);
  EXPECT_EQ(platform_.boxes.shown[1].text, TMainForm::CloseAnywayText());
  EXPECT_EQ(platform_.boxes.shown[1].buttons, mbOK | mbCancel);
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->Table->State(), DataSetState::Editing);
  EXPECT_TRUE(form->Memo->toPlainText().endsWith(QString::fromUtf8("\u4e2d\u6587")));
  EXPECT_FALSE(QFile::exists(SettingsPath()));

  platform_.boxes.Answer(mbOK);
  platform_.boxes.Answer(mbOK);  // close anyway
  EXPECT_TRUE(form->close());
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(QFile::exists(SettingsPath()));
  form.reset();
  auto again = Start();
  EXPECT_EQ(again->Memo->toPlainText(), "alpha body");
}

TEST_F(MainFormTest, PackStoresThePendingTypingThenRemovesTheDeletedRecords) {
  MakeTable();
  auto form = Start();
  form->MenuLast->trigger();
  form->MenuDataDelete->trigger();  // Gamma
  form->MenuFirst->trigger();
  ShowActive(*form);
  form->Memo->setFocus();
  form->Memo->moveCursor(QTextCursor::End);
  QTest::keyClicks(form->Memo, "!");
  const qint64 before = QFileInfo(Folder() + "Tindrel.dbf").size();

  platform_.boxes.shown.clear();
  form->MenuPack->trigger();
  ASSERT_EQ(platform_.boxes.shown.size(), 1u);
  EXPECT_EQ(platform_.boxes.shown[0].caption, "Information");
  EXPECT_EQ(platform_.boxes.shown[0].text, "Pack Completed");
  EXPECT_EQ(platform_.boxes.shown[0].icon, MessageIcon::Information);
  EXPECT_LT(QFileInfo(Folder() + "Tindrel.dbf").size(), before);
  EXPECT_EQ(form->Table->RecordCount(), 2u);
  form->MenuFirst->trigger();
  EXPECT_EQ(form->Memo->toPlainText(), "alpha body!");
  form->MenuNext->trigger();
  EXPECT_EQ(form->Memo->toPlainText(), "beta body");
}

TEST_F(MainFormTest, FontCommandsApplyAConfirmedFontAndKeepTheOldOneOnCancel) {
  auto form = Start();
  // The dialog starts on the family each font is drawn in ("Courier New", or its substitute).
  const QString memoShown = QFontInfo(form->Memo->font()).family();
  const QString treeShown = QFontInfo(form->TreeFont()).family();
  QFont chosen(QStringLiteral("DejaVu Serif"));
  chosen.setPointSize(14);
  platform_.fonts.Choose(chosen);
  form->MenuMemoFont->trigger();
  ASSERT_EQ(platform_.fonts.initial_fonts.size(), 1u);
  EXPECT_EQ(platform_.fonts.initial_fonts[0].family(), memoShown);
  EXPECT_EQ(form->Memo->font().family(), "DejaVu Serif");
  EXPECT_EQ(form->Memo->font().pointSize(), 14);

  platform_.fonts.Cancel();
  form->PopUpMemoFont->trigger();
  EXPECT_EQ(form->Memo->font().family(), "DejaVu Serif");
  EXPECT_EQ(form->Memo->font().pointSize(), 14);

  // Another family than the one the tree is drawn in (choosing that one keeps "MS Sans Serif").
  QFont treeChoice(QStringLiteral("DejaVu Serif"));
  treeChoice.setPointSize(7);
  platform_.fonts.Choose(treeChoice);
  form->PopUpTreeFont->trigger();
  ASSERT_EQ(platform_.fonts.initial_fonts.size(), 3u);
  EXPECT_EQ(platform_.fonts.initial_fonts[2].family(), treeShown);
  EXPECT_EQ(form->DBTreeView->font().family(), "DejaVu Serif");
  EXPECT_EQ(form->DBTreeView->font().pointSize(), 7);

  form->MenuStayOnTop->trigger();
  EXPECT_TRUE(form->MenuStayOnTop->isChecked());
  EXPECT_TRUE(form->close());
  EXPECT_EQ(Settings(),
            "[InterFace]\nStayOnTop=1\nFontName=DejaVu Serif\nFontSize=14\nMemoWordWrap=0\n"
            "\n[TreeView]\nMouseMoveSelect=0\nFontName=DejaVu Serif\nFontSize=7\n");
}

// The font dialog offers only installed families and takes any typed size. Changing only the
// size keeps the family the text had, installed or not; another family chosen is taken; the size
// is held to what the settings file keeps, and the next start reads back what was applied.
struct FontChoiceCase {
  const char* name;
  bool memo;                  // the memo's font command, else the tree's
  const char* storedFamily;   // the settings file's FontName
  const char* chosenFamily;   // null: the family the dialog started on
  int chosenPoints;
  const char* family;         // applied, saved and read back
  int points;
};

class FontChoice : public MainFormTest, public ::testing::WithParamInterface<FontChoiceCase> {};

TEST_P(FontChoice, KeepsTheFamilyUnlessAnotherIsChosenAndAUsableSize) {
  const FontChoiceCase& c = GetParam();
  const QString section = c.memo ? QStringLiteral("InterFace") : QStringLiteral("TreeView");
  WriteSettings(("[" + section + "]\nFontName=" + QString::fromUtf8(c.storedFamily) + "\n").toUtf8());
  platform_.fonts.ChooseFrom([&c](const QFont& initial) {
    // As the dialog hands it back: one of its listed families (the starting font's when it is
    // installed, else the application's), with the person's size.
    QString family = initial.family();
    if (!QFontDatabase::families().contains(family)) family = QFont().family();
    QFont chosen(c.chosenFamily ? QString::fromUtf8(c.chosenFamily) : family);
    chosen.setPointSize(c.chosenPoints);
    return chosen;
  });
  auto font = [&c](TMainForm& form) { return c.memo ? form.Memo->font() : form.TreeFont(); };
  {
    auto form = Start();
    (c.memo ? form->MenuMemoFont : form->MenuTreeFont)->trigger();
    ASSERT_EQ(platform_.fonts.initial_fonts.size(), 1u);
    EXPECT_EQ(font(*form).family(), c.family);
    EXPECT_EQ(font(*form).pointSize(), c.points);
    if (c.memo && !c.chosenFamily) {
      EXPECT_EQ(QFontInfo(font(*form)).fixedPitch(), QFontInfo(DesignMemoFont()).fixedPitch())
          << "the memo keeps a fixed-pitch substitute";
    }
    EXPECT_TRUE(form->close());
  }
  const std::string saved = Settings();
  const size_t begin = saved.find("[" + section.toStdString() + "]");
  ASSERT_NE(begin, std::string::npos) << saved;
  const std::string written = saved.substr(begin, saved.find('[', begin + 1) - begin);
  EXPECT_NE(written.find("\nFontName=" + std::string(c.family) + "\n"), std::string::npos) << saved;
  EXPECT_NE(written.find("\nFontSize=" + std::to_string(c.points) + "\n"), std::string::npos) << saved;
  auto again = Start();
  EXPECT_EQ(font(*again).family(), c.family);
  EXPECT_EQ(font(*again).pointSize(), c.points);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FontChoice,
    ::testing::Values(
        FontChoiceCase{"MemoSizeOnlyKeepsAFamilyNotInstalled", true, "Courier New", nullptr, 14, "Courier New", 14},
        FontChoiceCase{"MemoSizeOnlyKeepsAnUnknownFamily", true, "No Such Family", nullptr, 12, "No Such Family", 12},
        FontChoiceCase{"TreeSizeOnlyKeepsItsFamily", false, "MS Sans Serif", nullptr, 11, "MS Sans Serif", 11},
        FontChoiceCase{"AnotherFamilyIsTaken", true, "Courier New", "DejaVu Serif", 9, "DejaVu Serif", 9},
        FontChoiceCase{"ASizeAboveTheLargestIsHeldThere", true, "Courier New", nullptr, 96, "Courier New", 72},
        FontChoiceCase{"TheLargestSizeIsKept", false, "MS Sans Serif", "DejaVu Serif", 72, "DejaVu Serif", 72}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainFormTest, MenusCarryTheirNamesCaptionsShortcutsAndStates) {
  auto form = Start();
  struct Item {
    const char* name;
    const char* caption;
    TShortCut shortCut;
    bool enabled;
    bool checkable;
  };
  const Item items[] = {
      {"MenuBackup", "Backup", 0, true, false},
      {"MenuRestore", "Restore", 0, true, false},
      {"MenuImport", "Import", 0, true, false},
      {"MenuImportFromMarkdownFolders", "Markdown Folders...", 0, true, false},
      {"MenuImportFromMarkdownFile", "Markdown File...", 0, true, false},
      {"MenuImportFromOPML", "OPML...", 0, true, false},
      {"MenuImportFromCSV", "CSV...", 0, true, false},
      {"MenuExport", "Export", 0, true, false},
      {"MenuExportToAscii", "Markdown Folders...", 0, true, false},
      {"MenuExportToMarkdownFile", "Markdown File...", 0, true, false},
      {"MenuExportToOPML", "OPML...", 0, true, false},
      {"MenuExportToCVS", "CSV...", 0, true, false},
      {"MenuExportToOracle", "Oracle Table", 0, false, false},
      {"MenuExportToSQLScript", "SQL Script...", 0, true, false},
      {"MenuExportToAccess", "Microsoft Access", 0, false, false},
      {"MenuPack", "Pack", 0, true, false},
      {"Fonts1", "Fonts...", 0, true, false},
      {"MenuMemoFont", "Memo", 49229, true, false},
      {"MenuStayOnTop", "StayOnTop", 49235, true, true},
      {"MenuMemoWordWrap", "Memo WordWrap", 16471, true, true},
      {"MenuExit", "Exit", 32856, true, false},
      {"MenuRecallDeleted", "Recall Deleted...", 49234, true, false},
      {"MenuFirst", "First", 0, true, false},
      {"MenuPrior", "Prior", 0, true, false},
      {"MenuNext", "Next", 0, true, false},
      {"MenuLast", "Last", 0, true, false},
      {"MenuDataInsert", "Insert", 0, true, false},
      {"MenuDataAppend", "Append", 0, true, false},
      {"MenuDataEdit", "Edit", 0, true, false},
      {"MenuDataPost", "Post", 0, true, false},
      {"MenuDataDelete", "Delete", 0, true, false},
      {"MenuDataCancel", "Cancel", 0, true, false},
      {"MenuDataRefresh", "Refresh", 0, true, false},
      {"MenuLocate", "Locate", 118, true, false},
      {"MenuFilter", "Filter", 119, true, false},
      {"MenuMouseMoveSelect", "Mouse Move Select", 16461, true, true},
      {"MenuAbout", "About", 112, true, false},
      {"PopUpMemoFont", "Memo Font", 0, true, false},
      {"PopUpMemoWordWrap", "Memo WordWrap", 0, true, true},
  };
  for (const Item& item : items) {
    auto* action = form->findChild<QAction*>(QString::fromUtf8(item.name));
    ASSERT_NE(action, nullptr) << item.name;
    EXPECT_EQ(action->text(), QString::fromUtf8(item.caption)) << item.name;
    EXPECT_EQ(action->shortcut(), ShortCutToKeySequence(item.shortCut)) << item.name;
    EXPECT_EQ(action->isEnabled(), item.enabled) << item.name;
    EXPECT_EQ(action->isCheckable(), item.checkable) << item.name;
    EXPECT_FALSE(action->isChecked()) << item.name;
  }
  QStringList bar;
  for (QAction* top : form->MainMenu->actions()) bar << top->text();
  EXPECT_EQ(bar, QStringList({"File", "Edit", "Dataset", "Search", "Tree", "Help"}));
  QStringList popUp;
  for (QAction* item : form->PopupMenu->actions()) popUp << item->objectName();
  EXPECT_EQ(popUp, QStringList({"PopUpInsert", "PopUpInsertChild", "PopUpLine1", "PopUpDelete", "PopUpLine2",
                                "PopUpTreeFont", "PopUpMemoFont", "PopUpLine3", "PopUpMemoWordWrap"}));
  for (QAction* item : form->PopupMenu->actions()) EXPECT_TRUE(item->shortcut().isEmpty());
}

TEST(FontPointsTest, PointsComeFromThePointSizeOrThePixelHeightAtTheScreensResolution) {
  QFont points;
  points.setPointSizeF(10.5);
  EXPECT_EQ(FontPoints(points, 96), 11);
  QFont pixels;
  pixels.setPixelSize(16);
  EXPECT_EQ(FontPoints(pixels, 96), 12);
  EXPECT_EQ(FontPoints(pixels, 144), 8);
}

TEST(ShortCutTest, StoredValuesGiveTheirKeys) {
  struct Case {
    TShortCut stored;
    QKeySequence keys;
  };
  const Case cases[] = {
      {49236, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_T)}, {49229, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_M)},
      {16471, QKeySequence(Qt::CTRL | Qt::Key_W)},            {32856, QKeySequence(Qt::ALT | Qt::Key_X)},
      {116, QKeySequence(Qt::Key_F5)},                        {123, QKeySequence(Qt::Key_F12)},
      {8238, QKeySequence(Qt::SHIFT | Qt::Key_Delete)},       {0, QKeySequence()},
  };
  for (const Case& c : cases) EXPECT_EQ(ShortCutToKeySequence(c.stored), c.keys) << c.stored;
}

TEST_F(MainFormTest, TheLayoutKeepsItsSizesAndTheMemoTakesTheRest) {
  MakeTable();
  auto form = Start();
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  EXPECT_EQ(form->size(), QSize(form->Scaled(597), form->Scaled(401)));
  const QRect screen = form->screen()->availableGeometry();
  EXPECT_LE((form->frameGeometry().center() - screen.center()).manhattanLength(), 1) << "centred when first shown";
  EXPECT_EQ(form->Bevel->height(), form->Scaled(2));
  EXPECT_EQ(form->ToolBar1->height(), form->Scaled(27));
  EXPECT_EQ(form->ToolBar1->y(), form->Bevel->geometry().bottom() + 1);
  EXPECT_EQ(form->wwDBNavigator1->size(), QSize(form->Scaled(200), form->Scaled(25)));
  EXPECT_EQ(form->wwDBNavigator1->parentWidget(), form->ToolBar1);
  EXPECT_LE(form->wwDBNavigator1->x(), form->Scaled(2)) << "the navigator sits at the tool bar's left";
  EXPECT_TRUE(form->ToolBar1->rect().contains(form->wwDBNavigator1->geometry()));
  EXPECT_EQ(form->fcStatusBar1->height(), form->Scaled(20));
  EXPECT_EQ(form->fcStatusBar1->geometry().bottom(), form->centralWidget()->height() - 1);
  ASSERT_EQ(form->fcStatusBar1->Panels().Count(), 2);
  EXPECT_EQ(form->fcStatusBar1->Panels()[0]->Text(), "Version 1.0.1");
  EXPECT_EQ(form->fcStatusBar1->Panels()[0]->PixelWidth(), form->Scaled(80));
  EXPECT_TRUE(form->fcStatusBar1->Panels()[1]->Text().isEmpty());

  EXPECT_EQ(QRect(form->DBTreeView->mapTo(form->centralWidget(), QPoint()), form->DBTreeView->size()), QRect(0, form->ToolBar1->geometry().bottom() + 1, form->Scaled(161),
                                                 form->fcStatusBar1->y() - form->ToolBar1->geometry().bottom() - 1));
  EXPECT_EQ(form->Splitter->x(), form->Scaled(161));
  EXPECT_EQ(form->MemoPanel->x(), form->Scaled(161) + form->Scaled(3));

  const int memoWidth = form->MemoPanel->width();
  form->resize(form->width() + 100, form->height() + 50);
  QApplication::processEvents();
  EXPECT_EQ(form->MemoPanel->width(), memoWidth + 100);
  EXPECT_EQ(form->DBTreeView->width(), form->Scaled(161)) << "the tree keeps its width until the splitter moves";
  EXPECT_EQ(form->MemoPanel->geometry().right(), form->centralWidget()->width() - 1);
  EXPECT_EQ(form->fcStatusBar1->height(), form->Scaled(20));
}

TEST(SplitterTest, TheWidthStaysInsideItsRulesAndSnapsClosed) {
  struct Case {
    int requested, available, expected;
  };
  const Case cases[] = {{161, 500, 161}, {31, 500, 31},  {30, 500, 0},   {12, 500, 0},
                        {-5, 500, 0},    {470, 500, 470}, {490, 500, 470}, {100, 50, 0}};
  for (const Case& c : cases)
    EXPECT_EQ(TSplitter::ResizedWidth(c.requested, c.available, 30), c.expected) << c.requested << " of " << c.available;
}

TEST_F(MainFormTest, DraggingTheSplitterResizesTheTreeAndSnapsItClosed) {
  MakeTable();
  auto form = Start();
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  TSplitter* splitter = form->Splitter;
  auto dragTo = [&](int treeWidth) {
    const int before = form->DBTreeView->isVisible() ? form->DBTreeView->width() : 0;
    QTest::mousePress(splitter, Qt::LeftButton, {}, QPoint(1, 10));
    EXPECT_TRUE(splitter->Dragging());
    QMouseEvent move(QEvent::MouseMove, QPointF(1 + treeWidth - splitter->x(), 10),
                     splitter->mapToGlobal(QPointF(1 + treeWidth - splitter->x(), 10)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(splitter, &move);
    QApplication::processEvents();
    EXPECT_EQ(form->DBTreeView->isVisible() ? form->DBTreeView->width() : 0, before)
        << "the tree keeps its width while the button is held";
    QTest::mouseRelease(splitter, Qt::LeftButton, {}, QPoint(1 + treeWidth - splitter->x(), 10));
    EXPECT_FALSE(splitter->Dragging());
    QApplication::processEvents();
  };
  const int row = form->DBTreeView->width() + splitter->width() + form->MemoPanel->width();

  dragTo(250);
  EXPECT_EQ(form->DBTreeView->width(), 250);
  EXPECT_EQ(form->MemoPanel->x(), 250 + splitter->width());
  dragTo(row);
  EXPECT_EQ(form->DBTreeView->width(), row - splitter->width() - form->Scaled(30));
  dragTo(form->Scaled(30));
  EXPECT_FALSE(form->DBTreeView->isVisible());
  EXPECT_EQ(splitter->x(), 0);
  dragTo(120);
  EXPECT_TRUE(form->DBTreeView->isVisible());
  EXPECT_EQ(form->DBTreeView->width(), 120);
}

TEST_F(MainFormTest, TheTreeShowsTheTableAndFollowsTheCommands) {
  MakeTable();
  auto form = Start();
  EXPECT_EQ(TreeLines(*form->DBTreeView), QStringList({"Alpha", "  Beta", "Gamma"}));
  EXPECT_EQ(form->DBTreeView->Options(), 4223);
  form->MenuMouseMoveSelect->trigger();
  EXPECT_EQ(form->DBTreeView->Options(), 4735);
  EXPECT_TRUE(form->MenuMouseMoveSelect->isChecked());
  form->MenuMouseMoveSelect->trigger();
  EXPECT_EQ(form->DBTreeView->Options(), 4223);

  form->MenuCollapseAll->trigger();
  EXPECT_FALSE(form->DBTreeView->topLevelItem(0)->isExpanded());
  form->MenuExpandAll->trigger();
  EXPECT_TRUE(form->DBTreeView->topLevelItem(0)->isExpanded());

  // Pack rebuilds the tree from the packed table: the same notes as before.
  form->MenuPack->trigger();
  EXPECT_EQ(BoxTexts(), std::vector<QString>({"Pack Completed"}));
  EXPECT_EQ(TreeLines(*form->DBTreeView), QStringList({"Alpha", "  Beta", "Gamma"}));
}

TEST_F(MainFormTest, StayOnTopKeepsTheWindowShownWithItsTreeAndMemo) {
  MakeTable();
  auto form = Start();
  form->show();
  form->MenuNext->trigger();
  form->DBTreeView->collapseAll();
  const QStringList lines = TreeLines(*form->DBTreeView);
  for (bool onTop : {true, false}) {
    form->MenuStayOnTop->trigger();
    EXPECT_EQ(form->MenuStayOnTop->isChecked(), onTop);
    EXPECT_EQ(bool(form->windowFlags() & Qt::WindowStaysOnTopHint), onTop);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(TreeLines(*form->DBTreeView), lines);
    EXPECT_EQ(form->DBTreeView->currentItem()->text(0), "Beta");
    EXPECT_EQ(form->Memo->toPlainText(), "beta body");
  }
}

TEST_F(MainFormTest, NoTableLeavesTheTreeEmpty) {
  auto form = Start();
  EXPECT_EQ(form->DBTreeView->topLevelItemCount(), 0);
  platform_.boxes.shown.clear();
  form->MenuRebuildTree->trigger();
  form->MenuExpandAll->trigger();
  EXPECT_EQ(form->DBTreeView->topLevelItemCount(), 0);
}

TEST_F(MainFormTest, ShiftDelInTheMemoAsksAndDeletesTheSelectedNote) {
  MakeTable();
  auto form = Start();
  ShowActive(*form);
  form->MenuLast->trigger();
  ASSERT_EQ(form->DBTreeView->currentItem()->text(0), "Gamma");
  form->Memo->setFocus();
  platform_.boxes.Answer(mbOK);
  QTest::keyClick(form->Memo, Qt::Key_Delete, Qt::ShiftModifier);
  ASSERT_EQ(platform_.boxes.shown.size(), 1u);
  EXPECT_EQ(platform_.boxes.shown[0].icon, MessageIcon::Confirmation);
  EXPECT_EQ(TreeLines(*form->DBTreeView), QStringList({"Alpha", "  Beta"}));
  EXPECT_EQ(form->Table->RecordCount(), 2u);
  EXPECT_EQ(form->Memo->toPlainText(), form->Table->FieldNamed("MEMO").AsString());
}

TEST_F(MainFormTest, F6InTheTreeInsertsAChildNote) {
  MakeTable();
  auto form = Start();
  ShowActive(*form);
  form->DBTreeView->setFocus();
  form->MenuFirst->trigger();
  ASSERT_EQ(form->DBTreeView->currentItem()->text(0), "Alpha");
  QTest::keyClick(form->DBTreeView, Qt::Key_F6);
  EXPECT_EQ(form->Table->State(), DataSetState::Inserting);
  EXPECT_EQ(form->Table->FieldNamed("PARENT").AsString(), "1");
  EXPECT_EQ(form->DBTreeView->topLevelItem(0)->childCount(), 2);
  EXPECT_TRUE(platform_.boxes.shown.empty());
}

TEST_F(MainFormTest, EveryControlHasAnAccessibleName) {
  MakeTable();
  auto form = Start();
  form->show();
  for (QWidget* widget : form->findChildren<QWidget*>()) {
    if (widget->objectName().isEmpty() || widget->objectName().startsWith("qt_")) continue;
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    ASSERT_NE(accessible, nullptr) << widget->objectName().toStdString();
    EXPECT_FALSE(accessible->text(QAccessible::Name).trimmed().isEmpty()) << widget->objectName().toStdString();
  }
  for (QAction* action : form->findChildren<QAction*>()) {
    if (!action->isSeparator() && !action->objectName().isEmpty()) {
      EXPECT_FALSE(action->text().isEmpty()) << action->objectName().toStdString();
    }
  }
}

}  // namespace
}  // namespace tindrel
