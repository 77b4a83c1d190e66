#pragma once
// The rollback journal beside a table ("<table>.dbf-journal"): makes one change across the
// table's files atomic. See Journal.cpp for the write order.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/engine/ChangeWriter.h"

namespace tindrel::engine {

class File;
class FileSystem;

class Journal : public ChangeWriter {
 public:
  Journal(FileSystem& fs, std::string journalPath);
  static std::string PathFor(const std::string& tablePath) { return tablePath + "-journal"; }

  // Collects the change; nothing reaches a file before Commit.
  void WriteAt(File& file, uint64_t offset, std::string_view bytes) override;
  void Truncate(File& file, uint64_t size) override;
  bool Empty() const { return writes_.empty(); }

  // Steps 1-3 of the write order. On an error the files are rolled back (when that fails too
  // the journal stays, and the next open rolls back) and the error is raised.
  void Commit();
  void Discard() { writes_.clear(); }
  // After Commit raised: whether the journal was already gone, i.e. the change is the files'
  // state and only the final folder sync failed.
  bool Committed() const { return committed_; }

  // A journal left by a crash: a valid rollback journal is rolled back, a valid rename journal
  // (Pack) is rolled forward, a torn one is removed. Returns a line saying what was done, or ""
  // when there was no journal.
  static std::string Recover(FileSystem& fs, const std::string& journalPath);

  // Pack's swap: `renames` (from, to) of files already written and synced. The list is
  // journaled first, so a crash between two renames is completed on the next open.
  static void RenameAll(FileSystem& fs, const std::string& journalPath,
                        const std::vector<std::pair<std::string, std::string>>& renames);

 private:
  struct Write {
    File* file;
    uint64_t offset;
    std::string bytes;
    bool truncate;  // a truncation to `offset`
  };
  void WriteJournal(const std::vector<File*>& files);
  FileSystem& fs_;
  std::string path_;
  std::vector<Write> writes_;
  bool committed_ = false;
};

}  // namespace tindrel::engine
