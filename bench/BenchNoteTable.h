#pragma once
// The 100,000-note table that the dataset-level benchmarks share: written once per benchmark
// program by the table tool's fast writer (records and memos in one go, the index built once),
// then opened in the main window's order.

#include <QTemporaryDir>
#include <memory>
#include <string>

#include "store/TTable.h"
#include "tools/NoteTable.h"

namespace tindrel::bench {

inline constexpr int kNotes = 100000;

class NoteTable {
 public:
  static NoteTable& Get() {
    static NoteTable instance;
    return instance;
  }
  TTable& Table() { return *table_; }

 private:
  NoteTable() {
    const std::string folder = dir_.path().toStdString();
    tools::CreateNoteTable(folder, tools::RandomNotes(kNotes, 1));
    table_ = std::make_unique<TTable>();
    table_->SetTableName(QString::fromStdString(tools::NoteTablePath(folder)));
    table_->SetIndexFieldNames("ID");
    table_->Open();
  }
  QTemporaryDir dir_;
  std::unique_ptr<TTable> table_;
};

}  // namespace tindrel::bench
