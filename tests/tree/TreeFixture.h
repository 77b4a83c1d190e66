#pragma once
// Shared helpers of the tree tests: a note table written by the real engine in a temporary
// folder, and a window holding the real tree view and memo over it, shown offscreen, with the
// scripted platform (message boxes, clock) installed before any widget is made.

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "store/TDBMemo.h"
#include "store/TDataSource.h"
#include "store/TField.h"
#include "store/TTable.h"
#include "tests/support/platform/ScriptedPlatform.h"
#include "tests/support/TableBuilder.h"
#include "tree/dbTree.h"

namespace tindrel::testing {

// Records what the default error handler would show.
class RecordedErrors {
 public:
  RecordedErrors() {
    SetErrorHandler([this](const std::exception& e) { shown.push_back(e.what()); });
  }
  ~RecordedErrors() { SetErrorHandler(nullptr); }
  std::vector<std::string> shown;
};

// A table whose class says it is not an engine dataset: the tree gets no change registration.
class PlainTable : public TTable {
 public:
  bool IsEngineDataSet() const override { return false; }
};

struct TreeWindow {
  explicit TreeWindow(const std::vector<Note>& notes, bool numericId = false, uint16_t textWidth = 40,
                      bool plainTable = false, uint16_t idWidth = 10, uint8_t languageDriver = 0)
      : table(plainTable ? std::make_unique<PlainTable>() : std::make_unique<TTable>()) {
    path = WriteNoteTable(dir.path().toStdString(), notes, {numericId, idWidth, textWidth, true, languageDriver});
    table->SetTableName(QString::fromStdString(path));
    table->SetIndexFieldNames(QStringLiteral("ID"));
    source.SetDataSet(table.get());
    window.resize(400, 600);
    auto* layout = new QVBoxLayout(&window);
    tree = new TDBTreeView(&window);
    memo = new TDBMemo(&window);
    layout->addWidget(tree, 3);
    layout->addWidget(memo, 1);
    memo->SetDataSource(&source);
    memo->SetDataField(QStringLiteral("MEMO"));
    // Every full rebuild clears the control's model once.
    QObject::connect(tree->model(), &QAbstractItemModel::modelReset, [this] { ++rebuilds; });
  }

  // The main window's settings, then the source, then open, then show with the tree focused.
  void Open(TDBTreeOptions options = kMainWindowTreeOptions, TSortType sort = stBoth, const QString& rootId = {}) {
    tree->ApplyMainWindowSettings();
    tree->SetRootID(rootId);
    tree->SetSortType(sort);
    tree->SetOptions(options);
    tree->SetDataSource(&source);
    table->Open();
    Show();
  }

  void Show() {
    window.show();
    QApplication::setActiveWindow(&window);
    tree->setFocus();
    QApplication::processEvents();
  }

  TField& Field(const char* name) { return table->FieldNamed(QString::fromUtf8(name)); }
  QString Current() { return Field("ID").AsString(); }
  QString SelectedID() { return NodeID(tree->currentItem()); }
  TTreeNode* Node(const char* id) { return tree->FindNodeByID(QString::fromUtf8(id)); }

  // The tree as text: "text(child,child),text" in display order.
  std::string Shape() const {
    std::string out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
      if (i) out += ",";
      Put(tree->topLevelItem(i), out);
    }
    return out;
  }
  static void Put(const TTreeNode* node, std::string& out) {
    out += node->text(0).toStdString();
    if (node->childCount() == 0) return;
    out += "(";
    for (int i = 0; i < node->childCount(); ++i) {
      if (i) out += ",";
      Put(node->child(i), out);
    }
    out += ")";
  }

  void Click(TTreeNode* node) {
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(node).center());
  }

  // Reads the stored records of the table through a second look at the engine file: id -> text.
  std::vector<std::string> StoredIds() {
    std::vector<std::string> ids;
    table->SuspendNotifications();
    auto bm = table->TakeBookmark();
    table->First();
    while (!table->Eof()) {
      ids.push_back(Field("ID").AsString().toStdString());
      table->Next();
    }
    if (bm) table->ReturnToBookmark(bm);
    table->ResumeNotifications();
    return ids;
  }

  ScriptedPlatform platform;  // first in, last out: the view's timers come from it
  QTemporaryDir dir;
  std::string path;
  std::unique_ptr<TTable> table;
  TDataSource source;
  QWidget window;
  TDBTreeView* tree = nullptr;
  TDBMemo* memo = nullptr;
  int rebuilds = 0;
};

}  // namespace tindrel::testing
