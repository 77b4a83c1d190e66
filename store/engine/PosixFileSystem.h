#pragma once
// The machine's file system: pread/pwrite, fdatasync, rename with a folder sync, and an
// exclusive flock that a second opener sees, in this process (flock locks belong to the open
// file description) as well as in another one.

#include "store/engine/FileSystem.h"

namespace tindrel::engine {

class PosixFileSystem : public FileSystem {
 public:
  bool Exists(const std::string& path) override;
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override;
  // A file counts as writable only when the system lets us write it AND its owner write bit is
  // set. The second test keeps a file that was made read-only (chmod a-w) read-only for root too,
  // who passes every access() test.
  bool IsWritable(const std::string& path) override;
  void Remove(const std::string& path) override;
  void Rename(const std::string& from, const std::string& to) override;
  void SyncFolderOf(const std::string& path) override;
  void CreateFolder(const std::string& path) override;
  std::vector<std::string> ListFolder(const std::string& path) override;
};

}  // namespace tindrel::engine
