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
  // A journal grown past this is checkpointed after the change that grew it.
  static constexpr uint64_t kDefaultCheckpointBytes = uint64_t(8) << 20;

  Journal(FileSystem& fs, std::string journalPath, uint64_t checkpointBytes = kDefaultCheckpointBytes);
  ~Journal() override;
  static std::string PathFor(const std::string& tablePath) { return tablePath + "-journal"; }
  // Where Recover keeps a damaged journal (the first of these names that is free).
  static std::string DamagedPathFor(const std::string& tablePath) { return PathFor(tablePath) + "-damaged"; }

  // Collects the change; nothing reaches a file before Commit.
  void WriteAt(File& file, uint64_t offset, std::string_view bytes) override;
  void Truncate(File& file, uint64_t size) override;
  bool Empty() const { return writes_.empty(); }

  // Steps 1 and 2 of the write order (and 3 when the journal has grown past its limit). On an
  // error before the commit point the change is not stored and the error is raised with
  // Committed() false. An error after it (the files could not be written, not even on a second
  // try) is raised with Committed() true: the change stands in the journal and the next open
  // completes it. A failed checkpoint after a stored change raises nothing; it leaves the
  // journal in doubt.
  void Commit();
  void Discard() { writes_.clear(); }
  bool Committed() const { return committed_; }
  // A write or sync failed in a way that leaves the files, or the journal itself, behind what
  // the journal holds: from then on nothing truncates or removes the journal, so that the next
  // open completes every stored change from it. The table takes no more changes until then.
  bool InDoubt() const { return inDoubt_; }

  // Step 3: the files the journal's records touched are synced and the journal cut to nothing.
  // The files must still be open. A failure puts the journal in doubt and is raised.
  void Checkpoint();
  // Step 3, then step 4 (the journal file is removed). Before a pack and when the table closes.
  // In doubt, the journal file is only closed and stays as it is.
  void Close();

  // A journal left by a crash: the complete records of a journal are applied again, a valid
  // rename journal (Pack) is rolled forward, a torn one is removed, a damaged one is kept under
  // DamagedPathFor's name. Returns a sentence saying what was done, or "" when there was
  // nothing to do.
  static std::string Recover(FileSystem& fs, const std::string& journalPath);

  // The temporary names of the new files of a pack and of a restore: the file's name with this behind.
  static constexpr const char* kPackSuffix = "-pack";
  static constexpr const char* kRestoreSuffix = "-restore";
  // Pack's and restore's swap: `renames` (from, to) of files already written and synced, each
  // `from` being its `to` with kPackSuffix or kRestoreSuffix behind. The list is journaled first, so a crash between two renames
  // is completed on the next open.
  static void RenameAll(FileSystem& fs, const std::string& journalPath,
                        const std::vector<std::pair<std::string, std::string>>& renames);

  // One journal record as it is stored: magic, body length, body, checksum.
  static std::string FrameRecord(std::string_view body);

 private:
  struct Write {
    File* file;
    uint64_t offset;
    std::string bytes;
    bool truncate;  // a truncation to `offset`
  };
  std::string BuildRecord(const std::vector<File*>& files) const;
  void Append(const std::string& record);
  void Apply();
  FileSystem& fs_;
  std::string path_;
  uint64_t checkpointBytes_;
  std::vector<Write> writes_;
  std::unique_ptr<File> log_;     // the journal file, open from the first change on
  bool nameDurable_ = false;      // its folder was synced since it was created
  uint64_t logEnd_ = 0;           // the journal file's size: where the next record goes
  std::vector<File*> touched_;    // files written since the last checkpoint
  bool committed_ = false;
  bool inDoubt_ = false;
};

}  // namespace tindrel::engine
