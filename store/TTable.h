#pragma once
// The note table: a dataset over one dBASE table of the engine, opened by path and exclusively.
// Its record order is chosen by IndexFieldNames or IndexName; a table the engine can only read
// opens read-only. Text passes through the table's code page.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/TDataSet.h"
#include "store/engine/EngineError.h"

namespace tindrel {

namespace engine {
struct Record;
class FileSystem;
}

class TTable : public TDataSet {
 public:
  explicit TTable(const QString& name = QStringLiteral("Table"));
  ~TTable() override;

  const QString& TableName() const { return tableName_; }
  void SetTableName(const QString& path);  // only while closed
  bool Exclusive() const { return true; }
  // Opens read-only even when the files could be written.
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool on);  // only while closed
  bool CanModify() const override;
  // Why the table takes no changes, one sentence ("" while it takes them, and while closed): its
  // files cannot be written, it was opened read-only, or a change failed.
  QString ReadOnlyReason() const;
  // A change failed part-way: until the table is opened again it takes no changes, and that
  // opening completes the change from the journal (or drops it when it never got that far).
  bool InDoubt() const;
  // What the engine reported when it opened the table, one line each: a change completed from
  // its journal, an incomplete journal dropped, an interrupted pack finished, findings about
  // the files.
  const QStringList& OpenWarnings() const { return openWarnings_; }
  // The file system the engine opens the table through (null: the machine's); while closed.
  void SetFileSystem(engine::FileSystem* fileSystem) { fileSystem_ = fileSystem; }

  // Record order. Setting either settles edits and keeps the current record current.
  const QString& IndexFieldNames() const { return indexFieldNames_; }
  void SetIndexFieldNames(const QString& names);  // "No index for fields '%s'"
  const QString& IndexName() const { return indexName_; }
  void SetIndexName(const QString& name);
  const QString& MasterFields() const { return masterFields_; }
  // The table's maintained indexes, as last refreshed.
  const std::vector<TIndexDef>& IndexDefs() const { return indexDefs_; }
  void UpdateIndexDefs();
  // The active index: its number of fields and each field in key order (none in record order).
  int IndexFieldCount() const;
  TField* IndexField(int i) const;

  // Removes the deleted records for good and rebuilds the indexes, on the open table. A pending
  // edit is settled first; bookmarks taken before are no longer live afterwards.
  void PackTable();

  // The engine beneath (null while closed).
  engine::Table* EngineTable() const { return engineTable_.get(); }
  // The engine cursor. A caller that moves it directly makes the dataset place it again before
  // its next own move; RefetchWindow makes the cursor's record current.
  engine::Cursor* EngineCursor();
  // Reads the cursor's next record into `buffer` (no lock is taken; the filter applies). Ok, or
  // EndOfRecords when there is none.
  engine::ResultCode ReadNextRecord(engine::Record& buffer);
  // Copies field `fieldNo` (1-based) out of a record buffer: its bytes as stored (the engine's
  // native value, in the table's code page) and whether it is blank. False for a bad number.
  bool CopyField(const engine::Record& buffer, int fieldNo, std::string& native, bool& blank) const;
  // The same field as text (code page converted, as a TField reads it).
  QString BufferFieldText(const engine::Record& buffer, int fieldNo) const;

  // The table-changed callback on this table's cursor (empty: removed), the refresh check that
  // delivers it, and the forced re-read of the cursor.
  void RegisterTableChanged(std::function<void()> callback);
  void CheckRefresh();
  engine::ResultCode ForceReread();

  bool IsTable() const override { return true; }
  bool IsEngineDataSet() const override { return true; }
  bool HasProperty(const QString& name) const override;

 protected:
  void InternalOpen() override;
  void InternalClose() override;

 private:
  int TagForFields(const QString& names) const;
  void SelectOrder(int tag);

  QString tableName_ = QStringLiteral("TINDREL.dbf");
  bool readOnly_ = false;
  engine::FileSystem* fileSystem_ = nullptr;
  QString indexFieldNames_;
  QString indexName_;
  QString masterFields_;
  std::vector<TIndexDef> indexDefs_;
  QStringList openWarnings_;
  std::unique_ptr<engine::Table> engineTable_;
  std::unique_ptr<engine::Cursor> engineCursor_;
  std::function<void()> tableChanged_;
};

}  // namespace tindrel
