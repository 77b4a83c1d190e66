// Export and import from the main window's menus, on real note tables in a temporary program
// folder: the window that asks where and what, the question before a file is replaced, the
// progress window's Cancel, the summary, and the tree showing the imported notes.

#include "app/TExchangeCommands.h"
#include "app/TExchangeForm.h"
#include "app/TMainForm.h"
#include "app/TProgressWindow.h"
#include "store/TDBMemo.h"
#include "store/TField.h"
#include "store/TTable.h"
#include "tests/support/MainFormOverNotes.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/TreeLines.h"
#include "tree/dbTree.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>

namespace tindrel {
namespace {

using testing::DriveModals;

std::string Read(const QString& path) {
  std::ifstream in(QFile::encodeName(path).toStdString(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const QString& path, const std::string& bytes) {
  std::ofstream out(QFile::encodeName(path).toStdString(), std::ios::binary | std::ios::trunc);
  out << bytes;
}

class ExchangeCommandsTest : public testing::MainFormOverNotes {
 protected:
  void SetUp() override {
    OpenOn({{1, 0, "Alpha", "alpha body"}, {2, 1, "Beta", "beta body"}, {3, 0, "Gamma", "gamma body"}});
  }

  QString File(const char* name) const { return dir_.path() + QLatin1Char('/') + QLatin1String(name); }

  void Select(const QString& title) {
    const auto found = form_->DBTreeView->findItems(title, Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1) << title.toStdString();
    form_->DBTreeView->setCurrentItem(found.first());
    ASSERT_EQ(form_->Table->FieldNamed(QStringLiteral("Text")).AsString(), title);
  }

  // Triggers the menu item and fills its window: the path, the choice of the selected note, OK.
  // `whileRunning` then handles the progress window, when given.
  void Run(QAction* item, const QString& path, bool selectedNote,
           const std::function<void(TProgressWindow&)>& whileRunning = {}) {
    ASSERT_TRUE(item->isEnabled());
    bool filled = false;
    DriveModals([&] { item->trigger(); },
                [&](QWidget& window) {
                  if (auto* form = qobject_cast<TExchangeForm*>(&window)) {
                    form->PathEdit->setText(path);
                    (selectedNote ? form->SelectedButton : form->AllButton)->click();
                    filled = true;
                    if (whileRunning)
                      QTimer::singleShot(0, [&] {
                        if (auto* progress = qobject_cast<TProgressWindow*>(QApplication::activeModalWidget()))
                          whileRunning(*progress);
                      });
                    form->OkButton->click();
                    return true;
                  }
                  return false;
                });
    ASSERT_TRUE(filled) << "no window asked where";
  }

  QStringList Tree() const { return testing::TreeLines(*form_->DBTreeView); }

  QString LastBox() const { return platform_.boxes.shown.empty() ? QString() : platform_.boxes.shown.back().text; }

};

TEST_F(ExchangeCommandsTest, ExportWritesTheChosenNotesWithTheTypingNotYetStored) {
  Select(QStringLiteral("Gamma"));
  form_->Memo->setFocus();
  form_->Memo->moveCursor(QTextCursor::End);
  QTest::keyClicks(form_->Memo, " typed");
  Run(form_->MenuExportToCVS, File("all.csv"), false);
  EXPECT_EQ(Read(File("all.csv")),
            "ID,Parent,Text,MEMO,Path\r\n1,,Alpha,alpha body,Alpha\r\n2,1,Beta,beta body,Alpha/Beta\r\n"
            "3,,Gamma,gamma body typed,Gamma\r\n");
  EXPECT_EQ(LastBox(), "Exported 3 notes to " + File("all.csv") + ".");

  Select(QStringLiteral("Alpha"));
  Run(form_->MenuExportToMarkdownFile, File("alpha.md"), true);
  EXPECT_EQ(Read(File("alpha.md")), "# Alpha\n\nalpha body\n## Beta\n\nbeta body\n");
  EXPECT_EQ(LastBox(), "Exported 2 notes to " + File("alpha.md") + ".");
}

TEST_F(ExchangeCommandsTest, AnExistingFileIsReplacedOnlyAfterTheQuestion) {
  Write(File("notes.opml"), "mine");
  platform_.boxes.Answer(mbCancel);
  Run(form_->MenuExportToOPML, File("notes.opml"), false);
  EXPECT_EQ(Read(File("notes.opml")), "mine");
  ASSERT_EQ(platform_.boxes.shown.size(), 1u);
  EXPECT_EQ(platform_.boxes.shown[0].text, File("notes.opml") + " exists already. Replace it?");
  EXPECT_EQ(platform_.boxes.shown[0].buttons, mbOK | mbCancel);

  platform_.boxes.Answer(mbOK);
  Run(form_->MenuExportToOPML, File("notes.opml"), false);
  EXPECT_EQ(Read(File("notes.opml")).substr(0, 38), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
}

TEST_F(ExchangeCommandsTest, ImportedNotesAppearBelowTheSelectedNoteWithTheFirstSelected) {
  Write(File("in.opml"),
        "<opml version=\"2.0\"><body><outline text=\"Imported\" _note=\"from outside\">"
        "<outline text=\"Inner\"/></outline></body></opml>");
  Select(QStringLiteral("Gamma"));
  Run(form_->MenuImportFromOPML, File("in.opml"), true);
  EXPECT_EQ(Tree(), QStringList({"Alpha", "  Beta", "Gamma", "  Imported", "    Inner"}));
  EXPECT_EQ(form_->DBTreeView->currentItem()->text(0), "Imported");
  EXPECT_EQ(form_->Memo->toPlainText(), "from outside");
  EXPECT_EQ(LastBox(), "Imported 2 notes from " + File("in.opml") + " below \u201CGamma\u201D.");

  Run(form_->MenuImportFromOPML, File("in.opml"), false);
  EXPECT_EQ(Tree(), QStringList({"Alpha", "  Beta", "Gamma", "  Imported", "    Inner", "Imported", "  Inner"}));
  EXPECT_EQ(form_->Table->FieldNamed(QStringLiteral("ID")).AsString(), "6");
}

TEST_F(ExchangeCommandsTest, ACancelledImportLeavesTheTableAsItWas) {
  std::string csv = "ID,Parent,Text,MEMO\r\n";
  for (int i = 1; i <= 3000; ++i) csv += std::to_string(i) + ",," + "note " + std::to_string(i) + ",memo\r\n";
  Write(File("many.csv"), csv);
  const std::string before = Read(File("Tindrel.dbf")) + Read(File("Tindrel.dbt"));
  platform_.boxes.shown.clear();
  bool cancelled = false;
  Run(form_->MenuImportFromCSV, File("many.csv"), false, [&](TProgressWindow& progress) {
    QTest::mouseClick(progress.CancelButton, Qt::LeftButton);
    cancelled = true;
  });
  EXPECT_TRUE(cancelled);
  EXPECT_TRUE(platform_.boxes.shown.empty()) << LastBox().toStdString();
  EXPECT_EQ(Tree(), QStringList({"Alpha", "  Beta", "Gamma"}));
  EXPECT_EQ(form_->Table->RecordCount(), 3u);
  form_.reset();
  EXPECT_EQ(Read(File("Tindrel.dbf")) + Read(File("Tindrel.dbt")), before);
}

TEST_F(ExchangeCommandsTest, BadInputIsShownWithItsPlaceAndChangesNothing) {
  Write(File("broken.csv"), "ID,Parent,Text\r\n1,,\"open\r\n");
  Run(form_->MenuImportFromCSV, File("broken.csv"), false);
  ASSERT_EQ(platform_.boxes.shown.size(), 1u);
  EXPECT_EQ(platform_.boxes.shown[0].caption, "Tindrel II");
  EXPECT_EQ(platform_.boxes.shown[0].text, "line 2, column 4: the quoted field that begins here is not closed.");
  EXPECT_EQ(form_->Table->RecordCount(), 3u);

  Write(File("long.csv"),
        "ID,Parent,Text\r\n1,,\"A title much too long for the hundred characters of the Text field, so it is cut at "
        "the last word that fits\"\r\n");
  Run(form_->MenuImportFromCSV, File("long.csv"), false);
  EXPECT_EQ(LastBox(), "Imported 1 note from " + File("long.csv") +
                           " at the top level.\n\n"
                           "line 2: the title is longer than the 100 characters a title may have; it is cut to \""
                           "A title much too long for the hundred characters of the Text field, so it is cut at the "
                           "last word\" and kept whole as the first line of the memo");
}

}  // namespace
}  // namespace tindrel
