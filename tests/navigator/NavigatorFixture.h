#pragma once
// Shared helpers of the navigator tests: a small note table in a temporary folder, made by the
// tests' one table builder (ID N(10), PARENT N(10), TEXT C(40), MEMO M; tags ID, TEXT and a
// descending DTEXT on TEXT), opened through the dataset layer in ID order, with a data source.

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "store/TDataSource.h"
#include "store/TField.h"
#include "store/TTable.h"
#include "store/engine/MdxIndex.h"
#include "tests/support/TableBuilder.h"

namespace tindrel::testing {

struct NavNote {
  int id;
  std::string text;
};

inline std::string WriteNavTable(const QTemporaryDir& dir, const std::vector<NavNote>& notes,
                                 const std::vector<engine::MdxIndex::TagSpec>& extraTags = {}) {
  engine::TableSpec spec;
  spec.fields = {{"ID", 'N', 10}, {"PARENT", 'N', 10}, {"TEXT", 'C', 40}, {"MEMO", 'M', 10}};
  spec.tags = {{"ID", "ID"}, {"TEXT", "TEXT"}, {"DTEXT", "TEXT", true}};
  spec.tags.insert(spec.tags.end(), extraTags.begin(), extraTags.end());
  std::vector<std::vector<std::string>> rows;
  for (const NavNote& n : notes) rows.push_back({std::to_string(n.id), "0", n.text});
  return WriteTable(dir.filePath(QStringLiteral("Tindrel.dbf")).toStdString(), spec, rows);
}

// A note table in ID order behind a data source, as the main window has it.
struct NavTable {
  explicit NavTable(const std::vector<NavNote>& notes, const std::vector<engine::MdxIndex::TagSpec>& extraTags = {}) {
    path = WriteNavTable(dir, notes, extraTags);
    table.SetTableName(QString::fromStdString(path));
    table.SetIndexFieldNames(QStringLiteral("ID"));
    source.SetDataSet(&table);
    table.Open();
  }
  ~NavTable() {
    table.Close();
    source.SetDataSet(nullptr);
  }
  int CurrentId() { return static_cast<int>(table.FieldNamed(QStringLiteral("ID")).AsInteger()); }
  QString CurrentText() { return table.FieldNamed(QStringLiteral("TEXT")).AsString(); }
  void GoToId(int id) {
    table.First();
    while (!table.Eof() && CurrentId() != id) table.Next();
    ASSERT_EQ(CurrentId(), id);
  }

  QTemporaryDir dir;
  std::string path;
  TTable table;
  TDataSource source;
};

inline std::vector<NavNote> Notes(int count) {
  std::vector<NavNote> notes;
  for (int i = 1; i <= count; ++i) notes.push_back({i, "Note " + std::to_string(i)});
  return notes;
}

}  // namespace tindrel::testing
