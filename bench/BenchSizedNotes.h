#pragma once
// Generated note tables at several sizes for the search benchmarks (`tindrel-table create
// --notes N --seed 1` writes the same), each made once per benchmark program on first use and
// opened in the main window's order. The million-note table (about 1 GB of memo) is made only
// when TINDREL_BENCH_MILLION=1 is in the environment.

#include <QTemporaryDir>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "store/TTable.h"
#include "tools/NoteTable.h"

namespace tindrel::bench {

inline bool MillionNotesWanted() {
  const char* million = std::getenv("TINDREL_BENCH_MILLION");
  return million && std::string(million) == "1";
}

class SizedNoteTables {
 public:
  static TTable& Get(int notes) {
    static std::map<int, std::unique_ptr<SizedNoteTables>> tables;
    auto& slot = tables[notes];
    if (!slot) slot.reset(new SizedNoteTables(notes));
    return *slot->table_;
  }

 private:
  explicit SizedNoteTables(int notes) {
    const std::string folder = dir_.path().toStdString();
    tools::CreateNoteTable(folder, tools::RandomNotes(static_cast<uint32_t>(notes), 1));
    table_ = std::make_unique<TTable>();
    table_->SetTableName(QString::fromStdString(tools::NoteTablePath(folder)));
    table_->SetIndexFieldNames("ID");
    table_->Open();
  }
  QTemporaryDir dir_;
  std::unique_ptr<TTable> table_;
};

}  // namespace tindrel::bench
