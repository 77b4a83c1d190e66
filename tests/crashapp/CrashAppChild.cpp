// The crash child: the program's real main window, offscreen, on a note table in a temporary
// program folder, changed in a loop the way a person's commands change it: Insert Child and
// Insert (F6, F5) with the title typed into the label editor and Enter, a title changed through
// the label editor (F2), memo text typed and pasted into the memo pane and stored by moving to
// another note or by the Post command (memos grow past several memo blocks to tens of KB), a note
// moved by a drag and drop inside the tree, a leaf or a whole subtree deleted by the Delete
// command (Shift+Del) with the scripted message box answering OK or All, and the Pack command.
//
// Before a command stores anything it writes what the command will store to the pipe; after the
// command returned it writes that the change is done. A subtree delete stores one record at a
// time, so each deleted record is its own change, announced from the table's delete hooks.
// Anything the window does that the change did not ask for (an error box, a second post, a new
// ID other than the highest + 1, a row that cannot be shown) stops the child with a message,
// which fails the trial. The parent kills it at a random moment.
//
// Usage: tindrel-crashapp-child PROGRAM-FOLDER SEED FD

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QString>
#include <QTextCursor>
#include <QTest>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <exception>
#include <random>
#include <set>
#include <stdexcept>
#include <string>

#include "app/TMainForm.h"
#include "app/TSplitter.h"
#include "platform/ErrorBox.h"
#include "store/TDBMemo.h"
#include "store/TField.h"
#include "store/TTable.h"
#include "tests/crashapp/ChangeLog.h"
#include "tests/support/platform/ScriptedPlatform.h"
#include "tree/dbTree.h"

using namespace tindrel;
using namespace tindrel::crashapp;

namespace {

int pipeFd = -1;

void Send(char tag, const Change& c) {
  const std::string frame = EncodeFrame(tag, c);
  size_t done = 0;
  while (done < frame.size()) {
    const ssize_t n = write(pipeFd, frame.data() + done, frame.size() - done);
    if (n <= 0) _exit(4);
    done += static_cast<size_t>(n);
  }
}

// The window did something the change did not ask for.
struct Unexpected : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void Expect(bool ok, const std::string& what) {
  if (!ok) throw Unexpected(what);
}

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string S(const QString& s) { return s.toUtf8().toStdString(); }

// Words the table's code page holds, Greek among them; `lines` puts a line break between some.
std::string Words(std::mt19937& rnd, size_t chars, bool lines) {
  static const char* words[] = {"note", "memo", "block", "σημείωση", "κείμενο", "δέντρο", "crash", "γονέας", "Ωμέγα", "€"};
  std::string s;
  size_t n = 0;
  while (n < chars) {
    const std::string w = words[rnd() % 10];
    if (n) s += lines && rnd() % 12 == 0 ? "\n" : " ";
    s += w;
    for (unsigned char c : w) n += (c & 0xC0) != 0x80;
    n += 1;
  }
  return s;
}

// How many notes lie above `node`.
int Depth(const Model& m, int64_t node) {
  int depth = 0;
  for (auto it = m.find(node); it != m.end() && it->second.parent != 0 && depth < 1000; it = m.find(it->second.parent))
    ++depth;
  return depth;
}

bool IsBelow(const Model& m, int64_t node, int64_t ancestor) {
  for (int64_t p = node; p != 0;) {
    if (p == ancestor) return true;
    auto it = m.find(p);
    if (it == m.end()) return false;
    p = it->second.parent;
  }
  return false;
}

int64_t Pick(std::mt19937& rnd, const Model& m) {
  return std::next(m.begin(), static_cast<long>(rnd() % m.size()))->first;
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size()) s.replace(at, from.size(), to);
  return s;
}

// Presses the keys that type `text`: letters the test keyboard lacks (Greek, the euro sign)
// arrive as key events carrying only their text, as a keyboard layout delivers them.
void Type(QWidget* widget, const QString& text) {
  for (const QChar ch : text) {
    if (ch == u'\n') {
      QTest::keyClick(widget, Qt::Key_Return);
    } else if (ch.unicode() < 0x80) {
      QTest::keyClick(widget, ch.toLatin1());
    } else {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
      QApplication::sendEvent(widget, &press);
      QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
      QApplication::sendEvent(widget, &release);
    }
  }
}

// Counts the posts and deletes the table makes while it lives, chained in front of the handlers
// the window's controls installed; deletes are announced to the pipe one record at a time.
class TableWatch {
 public:
  explicit TableWatch(TTable& table) : table_(table) {
    saved_ = {table.BeforePost, table.AfterPost, table.BeforeDelete, table.AfterDelete};
    table.BeforePost = [this](TDataSet& ds) {
      ++posts;
      if (saved_[0]) saved_[0](ds);
    };
    table.AfterPost = [this](TDataSet& ds) {
      if (saved_[1]) saved_[1](ds);
    };
    table.BeforeDelete = [this](TDataSet& ds) {
      deleting_ = {Kind::Delete, ds.FieldNamed(QStringLiteral("ID")).AsInteger(), 0, {}, {}};
      Send('B', deleting_);
      if (saved_[2]) saved_[2](ds);
    };
    table.AfterDelete = [this](TDataSet& ds) {
      if (saved_[3]) saved_[3](ds);
      Send('D', deleting_);
      deleted.push_back(deleting_.id);
    };
  }
  ~TableWatch() {
    table_.BeforePost = saved_[0];
    table_.AfterPost = saved_[1];
    table_.BeforeDelete = saved_[2];
    table_.AfterDelete = saved_[3];
  }
  TableWatch(const TableWatch&) = delete;
  TableWatch& operator=(const TableWatch&) = delete;

  int posts = 0;
  std::vector<int64_t> deleted;

 private:
  TTable& table_;
  std::array<TDataSet::TDataSetNotifyEvent, 4> saved_;
  Change deleting_;
};

class Person {
 public:
  Person(TMainForm& form, testing::ScriptedPlatform& platform, Model& model, std::mt19937& rnd)
      : form_(form), tree_(*form.DBTreeView), platform_(platform), m_(model), rnd_(rnd) {}

  void InsertNote(bool asChild) {
    // With no note left there is nothing to select, and the new note goes to the top level.
    const int64_t at = m_.empty() ? 0 : Pick(rnd_, m_);
    if (at) Click(at);
    if (at && Depth(m_, at) > 6) asChild = false;
    Change c{Kind::Insert, 0, !at ? 0 : asChild ? at : m_[at].parent, {}, {}};
    tree_.setFocus();
    QTest::keyClick(&tree_, asChild ? Qt::Key_F6 : Qt::Key_F5);
    Expect(form_.Table->State() == DataSetState::Inserting, "the insert key started no new record");
    // The tree names the new note with the highest ID + 1: no note names a missing parent here.
    c.id = form_.Table->FieldNamed(QStringLiteral("ID")).AsInteger();
    const int64_t highest = m_.empty() ? 0 : m_.rbegin()->first;
    Expect(c.id == highest + 1, "the new note's ID " + std::to_string(c.id) + " is not the highest + 1, " +
                                    std::to_string(highest + 1));
    c.title = Title("Note " + std::to_string(c.id));
    QLineEdit* editor = LabelEditor();
    editor->selectAll();
    Type(editor, Q(c.title));
    Expect(S(editor->text()) == c.title, "the label editor holds '" + S(editor->text()) + "'");
    Store(c, 1, [&] { QTest::keyClick(editor, Qt::Key_Return); });
    Expect(tree_.currentItem() && S(tree_.currentItem()->text(0)) == c.title, "the new node does not show its title");
  }

  void EditTitle() {
    const int64_t id = Pick(rnd_, m_);
    Click(id);
    Change c{Kind::Edit, id, 0, {}, m_[id].memo};
    do c.title = Title("Edited " + std::to_string(id));
    while (c.title == m_[id].title);
    tree_.setFocus();
    QTest::keyClick(&tree_, Qt::Key_F2);
    QLineEdit* editor = LabelEditor();
    editor->selectAll();
    Type(editor, Q(c.title));
    Expect(S(editor->text()) == c.title, "the label editor holds '" + S(editor->text()) + "'");
    Store(c, 1, [&] { QTest::keyClick(editor, Qt::Key_Return); });
  }

  void EditMemo() {
    // Half the time the person goes on with the longest memo, so memos reach tens of KB early in
    // the child's life, where the kills land.
    int64_t id = Pick(rnd_, m_);
    if (rnd_() % 2)
      for (const auto& [note, n] : m_)
        if (n.memo.size() > m_[id].memo.size()) id = note;
    Click(id);
    const std::string old = m_[id].memo;
    const std::string shown = Replace(old, "\r\n", "\n");
    Expect(S(form_.Memo->toPlainText()) == shown, "the memo pane does not show note " + std::to_string(id) + "'s memo");
    form_.Memo->setFocus();
    const unsigned how = rnd_() % 10;
    std::string text;
    if (how < 7 && shown.size() < 40000) {
      // Mostly growth past several memo blocks: a few words typed at the end, then a paste.
      form_.Memo->moveCursor(QTextCursor::End);  // a click after the last character
      const std::string typed = "\n" + Words(rnd_, rnd_() % 40, false);
      const std::string pasted = "\n" + Words(rnd_, 600 + rnd_() % 4400, true);
      Type(form_.Memo, Q(typed));
      QApplication::clipboard()->setText(Q(pasted));
      QTest::keyClick(form_.Memo, Qt::Key_V, Qt::ControlModifier);
      text = shown + typed + pasted;
    } else if (how < 9 || shown.empty()) {
      // A short memo typed over the whole old one.
      form_.Memo->selectAll();
      text = "new " + Words(rnd_, rnd_() % 200, true);
      Type(form_.Memo, Q(text));
    } else {
      form_.Memo->selectAll();
      QTest::keyClick(form_.Memo, Qt::Key_Delete);
    }
    Expect(S(form_.Memo->toPlainText()) == text, "the memo pane does not hold what was typed");
    // The pane keeps the line ends the stored memo had.
    Change c{Kind::Edit, id, 0, m_[id].title, old.find("\r\n") != std::string::npos ? Replace(text, "\n", "\r\n") : text};
    if (m_.size() > 1 && rnd_() % 2) {
      int64_t other = id;
      while (other == id) other = Pick(rnd_, m_);
      Store(c, 1, [&] { Click(other); });
    } else {
      Store(c, 1, [&] { form_.MenuDataPost->trigger(); });
    }
  }

  void MoveNote() {
    int64_t id = 0, target = 0;
    for (int tries = 0; tries < 20 && !id; ++tries) {
      id = Pick(rnd_, m_);
      target = rnd_() % 5 == 0 ? 0 : Pick(rnd_, m_);
      // The tree refuses a drop onto the note itself, its own parent or a note below it.
      // Trees as people keep them: no chain of notes so deep that its titles leave the pane.
      if (target == m_[id].parent || IsBelow(m_, target, id) || (target && Depth(m_, target) > 6)) id = 0;
    }
    if (!id) return;
    Click(id);
    std::unique_ptr<QMimeData> data(tree_.CreateDragData());
    QDragEnterEvent enter(QPoint(1, 1), Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree_.viewport(), &enter);
    QPoint at(20, tree_.viewport()->height() - 5);  // empty space below the last row: top level
    if (target) {
      at = ShowRow(Node(target)).topLeft() + QPoint(4, 3);
    }
    Change c{Kind::Move, id, target, {}, {}};
    if (!target && tree_.itemAt(at)) {
      // No empty space left below the rows: the move command itself.
      QDragLeaveEvent leave;
      QApplication::sendEvent(tree_.viewport(), &leave);
      Store(c, 1, [&] { Expect(tree_.MoveNode(Node(id), nullptr, naAdd), "the move was refused"); });
    } else {
      QDragMoveEvent move(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(tree_.viewport(), &move);
      Expect(move.isAccepted(), "the tree refuses to drop note " + std::to_string(id) + " on " + std::to_string(target));
      Store(c, 1, [&] {
        QDropEvent drop(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(tree_.viewport(), &drop);
      });
    }
    TTreeNode* parent = Node(id)->parent();
    Expect(target ? parent == Node(target) : parent == nullptr, "the moved node is not under its new parent");
  }

  void DeleteNote() {
    const int64_t id = Pick(rnd_, m_);
    std::set<int64_t> subtree;
    for (const auto& [note, n] : m_)
      if (IsBelow(m_, note, id)) subtree.insert(note);
    // The table keeps a few notes, so there is always one to select and the IDs stay positive.
    if (m_.size() - subtree.size() < 2) return;
    Click(id);
    // A subtree is answered All once, or OK for every note in it.
    if (subtree.size() > 1 && rnd_() % 2) platform_.boxes.Answer(mbAll);
    std::vector<int64_t> deleted;
    {
      TableWatch watch(*form_.Table);
      tree_.setFocus();
      if (rnd_() % 2)
        QTest::keyClick(&tree_, Qt::Key_Delete, Qt::ShiftModifier);
      else
        form_.MenuDelete->trigger();
      Settle();
      Expect(watch.posts == 0, "deleting posted a record");
      deleted = watch.deleted;
    }
    for (const int64_t gone : deleted) m_.erase(gone);
    Expect(std::set<int64_t>(deleted.begin(), deleted.end()) == subtree && deleted.size() == subtree.size(),
           "deleting note " + std::to_string(id) + " removed " + std::to_string(deleted.size()) + " of its " +
               std::to_string(subtree.size()) + " notes");
    Expect(platform_.boxes.PendingAnswers() == 0, "the delete asked fewer questions than scripted");
    for (const auto& box : platform_.boxes.shown)
      Expect(box.icon == MessageIcon::Confirmation, "a box came up while deleting: " + S(box.text));
    platform_.boxes.shown.clear();
  }

  void Pack() {
    Change c{Kind::Pack, 0, 0, {}, {}};
    Send('B', c);
    form_.MenuPack->trigger();
    Settle();
    Expect(platform_.boxes.shown.size() == 1 && platform_.boxes.shown[0].text == QStringLiteral("Pack Completed"),
           "the pack did not complete" + (platform_.boxes.shown.empty() ? std::string() : ": " + S(platform_.boxes.shown[0].text)));
    platform_.boxes.shown.clear();
    Send('D', c);
  }

 private:
  // Runs `command`, which stores `c` with `posts` posts; announced before, acknowledged after.
  template <typename Command>
  void Store(const Change& c, int posts, Command command) {
    TableWatch watch(*form_.Table);
    Send('B', c);
    command();
    Settle();
    Expect(form_.Table->State() == DataSetState::Browse, "the change was not stored");
    Expect(watch.posts == posts, "the change took " + std::to_string(watch.posts) + " posts");
    for (const auto& box : platform_.boxes.shown) Expect(false, "a box came up: " + S(box.text));
    Send('D', c);
    Apply(m_, c);
  }

  // Lets queued calls run and the window's timers fall due, as time passes between commands.
  void Settle() {
    QApplication::processEvents();
    platform_.clock.Advance(1500);
    QApplication::processEvents();
  }

  TTreeNode* Node(int64_t id) {
    TTreeNode* node = tree_.FindNodeByID(QString::number(id));
    Expect(node != nullptr, "note " + std::to_string(id) + " has no node");
    return node;
  }

  // Opens the note's ancestors and scrolls its row into view; the row's rectangle.
  QRect ShowRow(TTreeNode* node) {
    tree_.MakeVisible(node);
    QApplication::processEvents();  // rows that just opened are laid out first
    tree_.scrollToItem(node);
    QApplication::processEvents();
    const QRect rect = tree_.visualItemRect(node);
    Expect(!rect.isEmpty(), "the row of '" + S(node->text(0)) + "' cannot be shown");
    return rect;
  }

  // A left click on the note's label; the dataset follows the selection. The note that is already
  // selected is not clicked again: a click on its label opens the label editor a moment later.
  void Click(int64_t id) {
    TTreeNode* node = Node(id);
    const QRect rect = ShowRow(node);
    if (tree_.currentItem() != node)
      QTest::mouseClick(tree_.viewport(), Qt::LeftButton, Qt::NoModifier, rect.topLeft() + QPoint(4, rect.height() / 2));
    Settle();
    // An out-of-date tree rebuilds its nodes after the click: look the note up again.
    Expect(tree_.currentItem() == Node(id), "the click did not select note " + std::to_string(id));
    Expect(form_.Table->FieldNamed(QStringLiteral("ID")).AsInteger() == id, "the dataset did not follow the selection");
  }

  // The open label editor. A tree that still has a reload pending opens it once the reload ran.
  QLineEdit* LabelEditor() {
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (!editor) {
      Settle();
      editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    }
    Expect(editor != nullptr, "no label editor opened");
    return editor;
  }

  // A title that fits the 100 characters of the title field, without blanks at its end.
  std::string Title(const std::string& head) {
    QString title = Q(head + " " + Words(rnd_, rnd_() % 60, false)).left(100);
    while (title.endsWith(u' ')) title.chop(1);
    return S(title);
  }

  TMainForm& form_;
  TDBTreeView& tree_;
  testing::ScriptedPlatform& platform_;
  Model& m_;
  std::mt19937& rnd_;
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 4) return 2;
  const QString folder = QString::fromLocal8Bit(argv[1]);
  std::mt19937 rnd(static_cast<uint32_t>(std::stoul(argv[2])));
  pipeFd = std::stoi(argv[3]);
  int step = -1;
  const char* command = "start-up";
  try {
    testing::ScriptedPlatform platform;  // before the window: its status bar takes the clock
    InstallDefaultErrorHandler();
    TMainForm form(folder);
    form.resize(1200, 800);
    form.show();
    form.activateWindow();
    Expect(QTest::qWaitForWindowActive(&form), "the window did not become active");
    // The tree pane dragged wide, so that deep notes show their titles.
    TSplitter& splitter = *form.Splitter;
    const int wide = 760 - splitter.x();
    QTest::mousePress(&splitter, Qt::LeftButton, {}, QPoint(1, 10));
    QMouseEvent drag(QEvent::MouseMove, QPointF(1 + wide, 10), splitter.mapToGlobal(QPointF(1 + wide, 10)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&splitter, &drag);
    QTest::mouseRelease(&splitter, Qt::LeftButton, {}, QPoint(1 + wide, 10));
    QApplication::processEvents();
    Expect(form.DBTreeView->width() > 600, "the tree pane did not widen");
    Expect(form.Table->Active() && platform.boxes.shown.empty(), "the window came up without its table");

    Model m;
    TTable& t = *form.Table;
    for (t.First(); !t.Eof(); t.Next())
      m[t.FieldNamed(QStringLiteral("ID")).AsInteger()] = {t.FieldNamed(QStringLiteral("Parent")).AsInteger(),
                                                           S(t.FieldNamed(QStringLiteral("Text")).AsString()),
                                                           S(t.FieldNamed(QStringLiteral("MEMO")).AsString())};
    Person person(form, platform, m, rnd);
    for (step = 0; step < 2000; ++step) {
      const unsigned r = rnd() % 100;
      if (m.size() < 4 || r < 25) {
        const bool asChild = rnd() % 3 != 0;
        command = asChild ? "insert child" : "insert";
        person.InsertNote(asChild);
      } else if (r < 40) {
        command = "title edit";
        person.EditTitle();
      } else if (r < 62) {
        command = "memo edit";
        person.EditMemo();
      } else if (r < 82) {
        command = "move";
        person.MoveNote();
      } else if (r < 96) {
        command = "delete";
        person.DeleteNote();
      } else {
        command = "pack";
        person.Pack();
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "child, step %d, %s: %s\n", step, command, e.what());
    std::fflush(stderr);
    _exit(3);
  }
  _exit(0);
}
