#pragma once
// Shared helpers of the locate tests: a small note table written by the real engine in a
// temporary folder (Greek code page), opened through the dataset layer, and a link that counts
// the notifications it receives.

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "store/TDataLink.h"
#include "store/TDataSource.h"
#include "store/TField.h"
#include "store/TTable.h"
#include "store/engine/Table.h"

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
  const std::string path = dir.filePath(QStringLiteral("Tindrel.dbf")).toStdString();
  engine::TableSpec spec;
  spec.fields = {{"ID", 'N', 10}, {"PARENT", 'N', 10}, {"TEXT", 'C', 100}, {"MEMO", 'M', 10}, {"AMOUNT", 'N', 8, 2}};
  spec.tags = {{"ID", "ID"}, {"TEXT", "TEXT"}, {"UTEXT", "UPPER(TEXT)"}};
  spec.languageDriver = 0xCB;
  engine::Table::Create(path, spec);
  auto table = engine::Table::Open(path);
  for (const LocateNote& n : notes) {
    engine::Record r = table->BlankRecord();
    table->SetText(r, 0, std::to_string(n.id));
    table->SetText(r, 1, "0");
    table->SetText(r, 2, n.text);
    if (!n.memo.empty()) table->SetText(r, 3, n.memo);
    if (!n.amount.empty()) table->SetText(r, 4, n.amount);
    table->Append(r);
  }
  return path;
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
