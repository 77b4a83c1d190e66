#pragma once
// Shared helpers of the field-value search and locate tests: a small note table in a temporary
// folder (Greek code page, made by the tests' one table builder), opened through the dataset
// layer, and a link that counts the notifications it receives.

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "store/TDataLink.h"
#include "store/TDataSource.h"
#include "store/TField.h"
#include "store/TTable.h"
#include "tests/support/TableBuilder.h"

namespace tindrel::testing {

struct LocateNote {
  int id;
  std::string text;
  std::string memo;
  std::string amount;  // "" leaves the number blank
};

// ID N(10), PARENT N(10), TEXT C(100), MEMO M, AMOUNT N(8,2); tags on ID and on TEXT; the Greek
// Windows code page. Records are stored in the order given.
inline std::string WriteLocateTable(const QTemporaryDir& dir, const std::vector<LocateNote>& notes) {
  engine::TableSpec spec;
  spec.fields = {{"ID", 'N', 10}, {"PARENT", 'N', 10}, {"TEXT", 'C', 100}, {"MEMO", 'M', 10}, {"AMOUNT", 'N', 8, 2}};
  spec.tags = {{"ID", "ID"}, {"TEXT", "TEXT"}, {"UTEXT", "UPPER(TEXT)"}};
  spec.languageDriver = 0xCB;
  std::vector<std::vector<std::string>> rows;
  for (const LocateNote& n : notes) rows.push_back({std::to_string(n.id), "0", n.text, n.memo, n.amount});
  return WriteTable(dir.filePath(QStringLiteral("Tindrel.dbf")).toStdString(), spec, rows);
}

// The table opened in record order.
inline std::unique_ptr<TTable> OpenLocateTable(const std::string& path) {
  auto table = std::make_unique<TTable>();
  table->SetTableName(QString::fromStdString(path));
  table->Open();
  return table;
}

inline int CurrentId(TTable& table) { return static_cast<int>(table.FieldNamed(QStringLiteral("ID")).AsInteger()); }

// Makes the record with that ID current (walking in the current order).
inline void GoToId(TTable& table, int id) {
  table.First();
  while (!table.Eof() && CurrentId(table) != id) table.Next();
  ASSERT_EQ(CurrentId(table), id);
}

class CountingLink : public TDataLink {
 public:
  int notifications = 0;

 protected:
  void NotifyDataSetChange() override { ++notifications; }
  void NotifyScroll(int) override { ++notifications; }
  void NotifyRecordChange(TField*) override { ++notifications; }
  void NotifyLayoutChange() override { ++notifications; }
};

}  // namespace tindrel::testing
