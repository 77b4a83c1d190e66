#pragma once
// The journal beside a table ("<table>.dbf-journal"): makes every change atomic across the
// table's files and durable with one sync. See Journal.cpp for the write order.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/engine/ChangeWriter.h"
#include "store/engine/FileSystem.h"

namespace tindrel::engine {

class Journal : public ChangeWriter {
 public:
  Journal(FileSystem& fs, std::string journalPath);
  ~Journal() override;
  static std::string PathFor(const std::string& tablePath) { return tablePath + "-journal"; }

  // Collects the change; nothing reaches a file before Commit.
  void WriteAt(File& file, uint64_t offset, std::string_view bytes) override;
  void Truncate(File& file, uint64_t size) override;
  bool Empty() const { return writes_.empty(); }

  // Steps 1 and 2 of the write order (and 3 when the journal has grown past its limit). On an
  // error before the commit point nothing changed and the error is raised, Committed() false.
  // An error after it (the files could not be written, not even on a second try) is raised
  // with Committed() true: the change stands in the journal and the next open completes it.
  void Commit();
  void Discard() { writes_.clear(); }
  bool Committed() const { return committed_; }
  // Whether a failure left the journal in a state this table cannot vouch for: the table
  // should stop changing and be reopened (the open completes or drops what is there).
  bool InDoubt() const { return inDoubt_; }

  // Step 3: the files the journal's records touched are synced and the journal cut to nothing.
  // The files must still be open.
  void Checkpoint();
  // Checkpoint, then the journal file is removed. Before a pack and when the table closes.
  void Close();

  // A journal left by a crash: the complete records of a journal are applied again, a valid
  // rename journal (Pack) is rolled forward, a torn one is removed. Returns a line saying what
  // was done, or "" when there was nothing to do.
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
  std::string BuildRecord(const std::vector<File*>& files) const;
  void Apply();
  FileSystem& fs_;
  std::string path_;
  std::vector<Write> writes_;
  std::unique_ptr<File> log_;     // the journal file, open from the first change on
  uint64_t logEnd_ = 0;           // where the next record goes
  std::vector<File*> touched_;    // files written since the last checkpoint
  bool committed_ = false;
  bool inDoubt_ = false;
};

}  // namespace tindrel::engine
