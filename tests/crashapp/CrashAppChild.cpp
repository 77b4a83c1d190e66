// The crash child: the program's dataset layer on a real note table, changing it in a loop the
// way the tree and the memo pane do (insert with Append and field writes, title and memo edits,
// a move as a write of Parent, delete, pack), each through Post or the dataset call that stores
// it. Before a change it writes what the change will store to the pipe, after the call returned
// it writes that the change is done. The parent kills it at a random moment.
//
// Usage: tindrel-crashapp-child TABLE SEED FD

#include <QCoreApplication>
#include <QString>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <random>
#include <string>
#include <vector>

#include "store/TField.h"
#include "store/TTable.h"
#include "tests/crashapp/ChangeLog.h"

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

std::string Words(std::mt19937& rnd, size_t chars, bool lines) {
  static const char* words[] = {"note", "memo", "block", "σημείωση", "κείμενο", "δέντρο", "crash", "γονέας", "Ωμέγα", "€"};
  std::string s;
  size_t n = 0;
  while (n < chars) {
    const std::string w = words[rnd() % 10];
    if (n) s += lines && rnd() % 12 == 0 ? "\r\n" : " ";
    s += w;
    for (unsigned char c : w) n += (c & 0xC0) != 0x80;
    n += 1;
  }
  return s;
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

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

void Locate(TTable& t, int64_t id) {
  if (!t.LocateByValues(QStringLiteral("ID"), {QString::number(id)}))
    throw std::runtime_error("note " + std::to_string(id) + " not found");
}

void WriteParent(TTable& t, int64_t parent) {
  TField& f = t.FieldNamed(QStringLiteral("Parent"));
  if (parent == 0) {
    f.Clear();
  } else {
    f.SetAsString(QString::number(parent));
  }
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 4) return 2;
  const QString path = QString::fromLocal8Bit(argv[1]);
  std::mt19937 rnd(static_cast<uint32_t>(std::stoul(argv[2])));
  pipeFd = std::stoi(argv[3]);
  try {
    TTable t;
    t.SetTableName(path);
    t.SetIndexFieldNames(QStringLiteral("ID"));
    t.Open();
    Model m;
    int64_t nextId = 1;
    for (t.First(); !t.Eof(); t.Next()) {
      const int64_t id = t.FieldNamed(QStringLiteral("ID")).AsInteger();
      m[id] = {t.FieldNamed(QStringLiteral("Parent")).AsInteger(), t.FieldNamed(QStringLiteral("Text")).AsString().toStdString(),
               t.FieldNamed(QStringLiteral("MEMO")).AsString().toStdString()};
      nextId = std::max(nextId, id + 1);
    }
    for (int step = 0; step < 2000; ++step) {
      const unsigned r = rnd() % 100;
      Change c;
      if (m.size() < 4 || r < 25) {
        c.kind = Kind::Insert;
        c.id = nextId++;
        c.parent = m.empty() || rnd() % 4 == 0 ? 0 : Pick(rnd, m);
        c.title = "Note " + std::to_string(c.id) + " " + Words(rnd, rnd() % 60, false);
        c.memo = rnd() % 5 == 0 ? std::string() : Words(rnd, rnd() % 1500, true);
      } else if (r < 62) {
        c.kind = Kind::Edit;
        c.id = Pick(rnd, m);
        const NoteState& n = m[c.id];
        c.title = rnd() % 3 == 0 ? n.title : "Edited " + std::to_string(c.id) + " " + Words(rnd, rnd() % 70, false);
        const unsigned how = rnd() % 10;
        // Mostly growth past several memo blocks; sometimes a short memo again, or none.
        c.memo = how < 7 && n.memo.size() < 24000 ? n.memo + "\r\n" + Words(rnd, 400 + rnd() % 1600, true)
                 : how < 9                        ? Words(rnd, rnd() % 200, true)
                                                  : std::string();
      } else if (r < 82) {
        c.kind = Kind::Move;
        c.id = Pick(rnd, m);
        c.parent = rnd() % 4 == 0 ? 0 : Pick(rnd, m);
        if (IsBelow(m, c.parent, c.id)) c.parent = 0;  // never under itself
      } else if (r < 96) {
        c.kind = Kind::Delete;
        c.id = Pick(rnd, m);
        // A note with children is moved out of the way first, as its own change.
        for (auto& [id, n] : m)
          if (n.parent == c.id) {
            Change move{Kind::Move, id, 0, {}, {}};
            Send('B', move);
            Locate(t, id);
            t.Edit();
            WriteParent(t, 0);
            t.Post();
            Send('D', move);
            n.parent = 0;
          }
      } else {
        c.kind = Kind::Pack;
      }
      while (!c.title.empty() && c.title.back() == ' ') c.title.pop_back();

      Send('B', c);
      switch (c.kind) {
        case Kind::Insert:
          t.Append();
          t.FieldNamed(QStringLiteral("ID")).SetAsString(QString::number(c.id));
          WriteParent(t, c.parent);
          t.FieldNamed(QStringLiteral("Text")).SetAsString(Q(c.title));
          t.FieldNamed(QStringLiteral("MEMO")).SetAsString(Q(c.memo));
          t.Post();
          break;
        case Kind::Edit:
          Locate(t, c.id);
          t.Edit();
          t.FieldNamed(QStringLiteral("Text")).SetAsString(Q(c.title));
          t.FieldNamed(QStringLiteral("MEMO")).SetAsString(Q(c.memo));
          t.Post();
          break;
        case Kind::Move:
          Locate(t, c.id);
          t.Edit();
          WriteParent(t, c.parent);
          t.Post();
          break;
        case Kind::Delete:
          Locate(t, c.id);
          t.Delete();
          break;
        case Kind::Pack:
          t.PackTable();
          break;
      }
      Send('D', c);
      Apply(m, c);
    }
    t.Close();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "child: %s\n", e.what());
    return 3;
  }
  return 0;
}
