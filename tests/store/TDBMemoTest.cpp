// The memo pane on a real note table, offscreen: typing starts an edit, Escape reloads, moving
// away stores the text, a read-only table keeps the control read-only, a failed read is shown
// but never written back, and what is written back differs from the stored memo only where the
// person changed it.

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTimer>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <functional>

#include "StoreFixture.h"
#include "store/TDBMemo.h"
#include "store/engine/CodePage.h"

namespace tindrel::testing {
namespace {

class MemoTest : public ::testing::Test {
 protected:
  void Open(bool readOnly = false) {
    path = WriteNoteTable(dir, {{"1", "", "One", "first note"}, {"2", "", "Two", "second"}});
    OpenPath(readOnly);
  }
  void OpenPath(bool readOnly = false) {
    table.SetTableName(QString::fromStdString(path));
    table.SetIndexFieldNames("ID");
    table.SetReadOnly(readOnly);
    source.SetDataSet(&table);
    memo.SetDataSource(&source);
    memo.SetDataField("MEMO");
    table.Open();
    RecordHooks(table, log);
  }
  // A table with ID and TEXT but no memo field, at `path`.
  void MakeTableWithoutMemo() {
    path = dir.filePath("NoMemo.dbf").toStdString();
    engine::TableSpec spec;
    spec.fields = {{"ID", 'C', 10}, {"TEXT", 'C', 20}};
    spec.tags = {{"ID", "ID"}};
    engine::Table::Create(path, spec);
  }
  std::string StoredMemo(uint32_t recno) {
    engine::Table* et = table.EngineTable();
    return et->ReadMemo(et->ReadRecord(recno), 3);
  }

  QTemporaryDir dir;
  std::string path;
  TTable table;
  TDataSource source;
  QWidget window;
  TDBMemo memo{&window};
  Log log;
};

TEST_F(MemoTest, ShowsTheCurrentNoteReadOnlyWhileBrowsing) {
  Open();
  EXPECT_EQ(memo.toPlainText(), "first note");
  EXPECT_TRUE(memo.isReadOnly());
  EXPECT_TRUE(memo.Loaded());
  EXPECT_EQ(memo.accessibleName(), "Memo");
  table.Next();
  EXPECT_EQ(memo.toPlainText(), "second");
  table.Close();
  EXPECT_EQ(memo.toPlainText(), "");
  EXPECT_FALSE(memo.Loaded());
}

TEST_F(MemoTest, TypingStartsAnEditAndNothingElse) {
  Open();
  QTest::keyClicks(&memo, "x");
  EXPECT_EQ(table.State(), DataSetState::Editing);
  EXPECT_EQ(log, (Log{"BeforeEdit", "AfterEdit"}));
  EXPECT_EQ(memo.toPlainText(), "xfirst note");
  EXPECT_FALSE(memo.isReadOnly());
  EXPECT_EQ(StoredMemo(1), "first note");
}

TEST_F(MemoTest, EditingKeysStartAnEditBeforeTheKeyIsTaken) {
  struct Key { Qt::Key key; Qt::KeyboardModifiers mods; };
  for (Key k : {Key{Qt::Key_Backspace, Qt::NoModifier}, Key{Qt::Key_Return, Qt::NoModifier},
                Key{Qt::Key_Delete, Qt::NoModifier}, Key{Qt::Key_X, Qt::ControlModifier},
                Key{Qt::Key_J, Qt::ControlModifier}}) {
    if (!table.Active()) Open();
    table.Cancel();
    memo.selectAll();
    QTest::keyClick(&memo, k.key, k.mods);
    EXPECT_EQ(table.State(), DataSetState::Editing) << k.key;
    EXPECT_NE(memo.toPlainText(), "first note") << k.key;
    memo.LoadMemo();
  }
  table.Cancel();
  log.clear();
  QTest::keyClick(&memo, Qt::Key_Down);  // moving the caret changes nothing
  EXPECT_EQ(table.State(), DataSetState::Browse);
  EXPECT_TRUE(log.empty());
}

TEST_F(MemoTest, EscapeRestoresTheStoredText) {
  Open();
  QTest::keyClicks(&memo, "abc");
  QTest::keyClick(&memo, Qt::Key_Escape);
  EXPECT_EQ(memo.toPlainText(), "first note");
  table.Next();
  table.First();
  EXPECT_EQ(StoredMemo(1), "first note");
}

TEST_F(MemoTest, SelectingAnotherRecordStoresTheTypedText) {
  Open();
  QTest::keyClicks(&memo, "typed ");
  table.Next();
  EXPECT_EQ(memo.toPlainText(), "second");
  EXPECT_EQ(StoredMemo(1), "typed first note");
  table.First();
  EXPECT_EQ(memo.toPlainText(), "typed first note");
}

TEST_F(MemoTest, CancelDropsTheTyping) {
  Open();
  QTest::keyClicks(&memo, "typed ");
  table.Cancel();
  EXPECT_EQ(memo.toPlainText(), "first note");
  EXPECT_TRUE(memo.isReadOnly());
}

TEST_F(MemoTest, ReadOnlyTableKeepsTheMemoReadOnly) {
  Open(/*readOnly=*/true);
  QTest::keyClicks(&memo, "x");
  QTest::keyClick(&memo, Qt::Key_Backspace);
  EXPECT_EQ(table.State(), DataSetState::Browse);
  EXPECT_TRUE(memo.isReadOnly());
  EXPECT_EQ(memo.toPlainText(), "first note");
}

TEST_F(MemoTest, ChangingAnotherFieldDoesNotReloadTheMemo) {
  Open();
  QTest::keyClicks(&memo, "x");
  table.FieldNamed("Text").SetAsString("renamed");
  EXPECT_EQ(memo.toPlainText(), "xfirst note");
  table.Post();
  EXPECT_EQ(StoredMemo(1), "xfirst note");
}

TEST_F(MemoTest, LeavingTheControlCollectsTheEditIntoTheField) {
  Open();
  QLineEdit other(&window);
  auto* layout = new QVBoxLayout(&window);
  layout->addWidget(&memo);
  layout->addWidget(&other);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  memo.setFocus();
  QTest::keyClicks(&memo, "z");
  other.setFocus();
  QApplication::processEvents();
  ASSERT_FALSE(memo.hasFocus());
  EXPECT_EQ(table.State(), DataSetState::Editing);
  EXPECT_TRUE(table.Modified());
  EXPECT_EQ(table.FieldNamed("MEMO").AsString(), "zfirst note");
}

TEST_F(MemoTest, AWriteThatFailsOnLeavingIsReportedAndTakesTheFocusBack) {
  Open();
  QLineEdit other(&window);
  auto* layout = new QVBoxLayout(&window);
  layout->addWidget(&memo);
  layout->addWidget(&other);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  memo.setFocus();
  QTest::keyClicks(&memo, "z");
  table.FieldNamed("MEMO").SetReadOnly(true);
  RecordedErrors errors;
  other.setFocus();
  QApplication::processEvents();
  EXPECT_EQ(errors.shown, (std::vector<std::string>{"Table: Field 'MEMO' cannot be modified"}));
  EXPECT_TRUE(memo.hasFocus());
  EXPECT_EQ(memo.toPlainText(), "zfirst note");
}

TEST_F(MemoTest, PasteStartsAnEdit) {
  Open();
  QApplication::clipboard()->setText("pasted ");
  if (QApplication::clipboard()->text() != "pasted ") GTEST_SKIP() << "no clipboard on this platform";
  QTest::keyClick(&memo, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(table.State(), DataSetState::Editing);
  EXPECT_EQ(memo.toPlainText(), "pasted first note");
}

TEST_F(MemoTest, MissingMemoFieldIsReportedWithTheControlsName) {
  MakeTableWithoutMemo();
  EXPECT_EQ(ErrorOf([&] { OpenPath(); }), "Memo: Field 'MEMO' not found");
  EXPECT_FALSE(memo.Loaded());
}

TEST_F(MemoTest, OpeningWithoutTheMemoFieldStillCompletesTheOpenForEveryLink) {
  MakeTableWithoutMemo();
  // Told after the memo: visual links hear the news last attached first.
  RecordingLink later(log, "later", true);
  later.SetDataSource(&source);
  int stateChanges = 0;
  source.OnStateChange = [&](TDataSource&) { ++stateChanges; };
  RecordHooks(table, log);
  table.SetTableName(QString::fromStdString(path));
  table.SetIndexFieldNames("ID");
  source.SetDataSet(&table);
  memo.SetDataSource(&source);
  memo.SetDataField("MEMO");
  log.clear();
  EXPECT_EQ(ErrorOf([&] { table.Open(); }), "Memo: Field 'MEMO' not found");
  EXPECT_TRUE(table.Active());
  EXPECT_EQ(table.State(), DataSetState::Browse);
  EXPECT_EQ(log, (Log{"BeforeOpen", "later:ActiveChange", "AfterOpen"}));
  EXPECT_EQ(stateChanges, 1);
  EXPECT_FALSE(memo.Loaded());
  EXPECT_TRUE(memo.isReadOnly());
  table.Close();
  EXPECT_FALSE(table.Active());
  EXPECT_EQ(log.back(), "AfterClose");
}

// The right-click menu, opened on the memo and handed to `choose` (which may trigger one of its
// items) while it shows; it is closed after.
void RightClick(TDBMemo& memo, const std::function<void(QMenu&)>& choose) {
  bool shown = false;
  QTimer driver;
  QObject::connect(&driver, &QTimer::timeout, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu || shown) return;
    shown = true;
    choose(*menu);
    menu->close();
  });
  driver.start(5);
  QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(4, 4), memo.viewport()->mapToGlobal(QPoint(4, 4)));
  QApplication::sendEvent(memo.viewport(), &click);
  driver.stop();
  ASSERT_TRUE(shown) << "no menu came up";
}

QAction* Item(QMenu& menu, const char* name) {
  for (QAction* action : menu.actions())
    if (action->objectName() == QLatin1String(name)) return action;
  return nullptr;
}

TEST_F(MemoTest, ARightClickChangesNothingUntilAnItemThatChangesTheTextIsChosen) {
  struct Case {
    const char* item;  // null: the menu is closed without a choice
    bool edits;
    const char* stored;
  };
  for (const Case& c : {Case{nullptr, false, "first note"}, Case{"select-all", false, "first note"},
                        Case{"edit-copy", false, "first note"}, Case{"edit-delete", true, " note"}}) {
    SCOPED_TRACE(c.item ? c.item : "closed");
    if (!table.Active()) Open();
    table.First();
    if (memo.toPlainText() != "first note") {
      table.Edit();
      table.FieldNamed("MEMO").SetAsString("first note");
      table.Post();
    }
    QTextCursor selection = memo.textCursor();
    selection.setPosition(0);
    selection.setPosition(5, QTextCursor::KeepAnchor);  // "first"
    memo.setTextCursor(selection);
    log.clear();
    RightClick(memo, [&](QMenu& menu) {
      EXPECT_EQ(table.State(), DataSetState::Browse) << "the menu is open";
      QAction* deleteItem = Item(menu, "edit-delete");
      ASSERT_NE(deleteItem, nullptr) << "the menu offers the editing items of the changeable note";
      EXPECT_TRUE(deleteItem->isEnabled());
      if (!c.item) return;
      QAction* chosen = Item(menu, c.item);
      ASSERT_NE(chosen, nullptr);
      chosen->trigger();
    });
    EXPECT_EQ(table.State(), c.edits ? DataSetState::Editing : DataSetState::Browse);
    table.Next();
    const bool posted = std::find(log.begin(), log.end(), "BeforePost") != log.end();
    EXPECT_EQ(posted, c.edits);
    EXPECT_EQ(StoredMemo(1), c.stored);
  }
}

TEST_F(MemoTest, TypingThatIsTakenBackStoresNothing) {
  Open();
  memo.moveCursor(QTextCursor::End);
  QTest::keyClicks(&memo, "x");
  QTest::keyClick(&memo, Qt::Key_Backspace);
  ASSERT_EQ(table.State(), DataSetState::Editing);
  log.clear();
  table.Next();
  EXPECT_EQ(std::find(log.begin(), log.end(), "BeforePost"), log.end()) << "an unchanged note was stored";
  EXPECT_NE(std::find(log.begin(), log.end(), "BeforeCancel"), log.end());
}

TEST_F(MemoTest, KeepsTheStoredLineEndings) {
  path = WriteNoteTable(dir, {{"1", "", "One", "line one\r\nline two"}, {"2", "", "Two", "a\nb"}});
  OpenPath();
  EXPECT_EQ(memo.toPlainText(), "line one\nline two");
  QTest::keyClicks(&memo, "x");
  table.Next();
  EXPECT_EQ(StoredMemo(1), "xline one\r\nline two");
  QTest::keyClicks(&memo, "y");
  table.First();
  EXPECT_EQ(StoredMemo(2), "ya\nb");
}

// The text control shows every kind of line end as a line break and a non-breaking space as a
// space; the rest of the memo must come back byte for byte, whatever the person did elsewhere.
TEST(MemoWriteBack, ChangesOnlyWhatThePersonChanged) {
  struct CodePage {
    int number;
    std::string extra;  // a letter of the code page and a byte it does not map, at every memo's end
  };
  const CodePage codePages[] = {{1253, "\u03bb\uf7aa"}, {1252, "\u00e9\uf781"}};
  enum class How { Typing, Paste };
  struct Case {
    const char* name;
    std::string stored;
    QString before;  // the new text goes in front of the first place the control shows this ("": the extra)
    QString inserted;
    std::string expected;
  };
  const Case cases[] = {
      {"a non-breaking space elsewhere", "price\u00a0100 and more", "more", "new ", "price\u00a0100 and new more"},
      {"a lone carriage return", "one\rtwo\nthree", "three", "x", "one\rtwo\nxthree"},
      {"line feeds beside CR LF", "one\r\ntwo\nthree", "three", "x", "one\r\ntwo\nxthree"},
      {"a break splits a CR LF line", "one\r\ntwo\nthree", "ne", "\n", "o\r\nne\r\ntwo\nthree"},
      {"a break splits an LF line", "one\r\ntwo\nthree", "wo", "\n", "one\r\nt\nwo\nthree"},
      {"a break in the last line takes the line end before it", "one\r\ntwo", "", "\nend", "one\r\ntwo\r\nend"},
      {"a non-breaking space put in", "a b", "b", "x\u00a0y ", "a x\u00a0y b"},
      {"a lone carriage return put in", "one\r\ntwo", "two", "p\rq ", "one\r\np\r\nq two"},
  };
  for (const CodePage& cp : codePages) {
    for (const Case& c : cases) {
      for (How how : {How::Typing, How::Paste}) {
        SCOPED_TRACE(std::string(c.name) + ", code page " + std::to_string(cp.number) +
                     (how == How::Typing ? ", typed" : ", pasted"));
        if (how == How::Typing && c.inserted.contains(u'\r')) continue;  // no key types a lone CR
        QTemporaryDir dir;
        NoteTableShape shape;
        shape.languageDriver = engine::CodePage::LanguageDriverFor(cp.number);
        ASSERT_NE(shape.languageDriver, 0);
        const std::string path =
            WriteNoteTable(dir.path().toStdString(), {{"1", "", "One", c.stored + cp.extra}, {"2", "", "Two", "other"}},
                           shape);
        NoSyncFileSystem fs;  // what is stored matters here, not when it reaches the disk
        TTable table;
        TDataSource source;
        TDBMemo memo;
        table.SetFileSystem(&fs);
        table.SetTableName(QString::fromStdString(path));
        table.SetIndexFieldNames("ID");
        source.SetDataSet(&table);
        memo.SetDataSource(&source);
        memo.SetDataField("MEMO");
        table.Open();

        const qsizetype at = c.before.isEmpty() ? memo.toPlainText().size() - 2 : memo.toPlainText().indexOf(c.before);
        ASSERT_GE(at, 0);
        QTextCursor caret = memo.textCursor();
        caret.setPosition(static_cast<int>(at));
        memo.setTextCursor(caret);
        if (how == How::Paste) {
          QApplication::clipboard()->setText(c.inserted);
          if (QApplication::clipboard()->text() != c.inserted) GTEST_SKIP() << "no clipboard on this platform";
          QTest::keyClick(&memo, Qt::Key_V, Qt::ControlModifier);
        } else {
          for (QChar ch : c.inserted) {
            if (ch == u'\n') {
              QTest::keyClick(&memo, Qt::Key_Return);
              continue;
            }
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(&memo, &press);
          }
        }
        table.Next();  // moving away stores the memo
        engine::Table* et = table.EngineTable();
        EXPECT_EQ(et->ReadMemo(et->ReadRecord(1), 3), c.expected + cp.extra);
      }
    }
  }
}

}  // namespace
}  // namespace tindrel::testing
