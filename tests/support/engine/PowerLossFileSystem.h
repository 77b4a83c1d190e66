#pragma once
// A disk in memory for durability tests. Every file is kept twice: as readers see it now (the
// page cache) and as the disk holds it for sure (what was synced), with every write, truncation
// and folder change made since in between. Restart makes the disk a power loss could leave:
// everything synced survives; of what was not, each write is kept, dropped, or torn at a
// 512-byte sector boundary, and each create, rename or unlink of a folder entry is kept or lost,
// chosen at random (or all kept, or all lost, or the folder changes kept and the data lost).
//
// It fails as real disks fail, from the N-th call of a kind on: a full disk (writes fail with
// ENOSPC after writing half their bytes), failing syncs (EIO; the pages the sync could not write
// are dropped, as Linux drops them, while readers still see them; optionally only one sync
// fails and later ones report success for what was dropped), and a power cut (that change and
// every later one fails, and only the disk as it stood counts).

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "store/engine/FileSystem.h"

namespace tindrel::engine::testing {

class PowerLossFileSystem : public FileSystem {
 public:
  PowerLossFileSystem();
  ~PowerLossFileSystem() override;
  PowerLossFileSystem(const PowerLossFileSystem&) = delete;
  PowerLossFileSystem& operator=(const PowerLossFileSystem&) = delete;

  enum class Fault {
    None,
    PowerCut,        // the N-th change does not happen, nor any later one
    DiskFull,        // from the N-th write on
    FailingSyncs,    // from the N-th sync (of a file or a folder) on
    OneFailingSync,  // only the N-th sync fails; later ones succeed, dropped pages and all
  };
  // Sets the fault (N is 1-based) and starts the counts below afresh.
  void Arm(Fault fault, uint64_t n = 0);
  // Calls since the last Arm: changes (writes, truncations, syncs, creates, renames, removals,
  // folder syncs), writes, and syncs of files and folders.
  uint64_t Changes() const { return changes_; }
  uint64_t Writes() const { return writes_; }
  uint64_t Syncs() const { return syncs_; }
  bool PowerLost() const { return powerLost_; }

  enum class Outcome {
    Random,
    KeepEverything,          // a clean shutdown (every write kept, except the pages failed syncs dropped)
    LoseEverythingUnsynced,
    LoseUnsyncedData,        // every folder change kept, every unsynced write and truncation lost
  };
  // The disk after the machine came back: a new file system, all of it synced.
  std::unique_ptr<PowerLossFileSystem> Restart(Outcome outcome, uint64_t seed = 0) const;

  // The paths of the files, as readers see them now.
  std::vector<std::string> Files() const;
  // Puts a file on the disk, synced (set-up).
  void Put(const std::string& path, std::string bytes);
  // A write or truncation that would make a file larger than this fails with ENOSPC.
  void SetFileSizeLimit(uint64_t bytes) { sizeLimit_ = bytes; }

  bool Exists(const std::string& path) override;
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override;
  bool IsWritable(const std::string& path) override;
  void Remove(const std::string& path) override;
  void Rename(const std::string& from, const std::string& to) override;
  void SyncFolderOf(const std::string& path) override;
  // A folder is an entry of its parent like a file: made, and kept or lost by a power loss
  // until the parent is synced; the files in a folder that was lost are lost with it.
  void CreateFolder(const std::string& path) override;
  std::vector<std::string> ListFolder(const std::string& path) override;

 private:
  struct Inode;     // one file's contents, cached and durable
  class OpenFile;   // a handle on an inode
  // Counts one change; raises IoError once the power is off.
  void Change(const std::string& what);
  // Counts a write or a sync; true when the armed fault makes this one fail.
  bool WriteFails();
  bool SyncFails();
  struct FolderChange {
    enum Kind { Link, Rename, Unlink, MakeFolder } kind;
    std::string name, to;
    std::shared_ptr<Inode> inode;
  };
  static void ApplyFolderChange(std::map<std::string, std::shared_ptr<Inode>>& names, std::set<std::string>& folders,
                                const FolderChange& change);

  std::map<std::string, std::shared_ptr<Inode>> names_;         // as readers see them
  std::map<std::string, std::shared_ptr<Inode>> durableNames_;  // as the disk holds them
  std::vector<FolderChange> folderPending_;                     // changes not yet synced
  std::set<std::string> folders_, durableFolders_;              // made by CreateFolder
  std::set<std::string> madeFolders_;                           // every folder ever made
  Fault fault_ = Fault::None;
  uint64_t faultAt_ = 0;
  uint64_t changes_ = 0, writes_ = 0, syncs_ = 0;
  bool powerLost_ = false;
  uint64_t sizeLimit_ = UINT64_MAX;
};

}  // namespace tindrel::engine::testing
