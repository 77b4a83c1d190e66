#pragma once
// A file system for crash and error tests: it passes every call to the machine's file system
// and counts the calls that change something on disk (create, write, truncate, sync, rename,
// remove, folder sync). From the N-th such call on it fails or "crashes", as the mode says.

#include <cstdint>
#include <memory>
#include <string>

#include "store/engine/FileSystem.h"

namespace tindrel::engine::testing {

class FaultyFileSystem : public FileSystem {
 public:
  enum class Mode {
    Fail,         // call N throws IoError; the calls after it go through
    Crash,        // call N and every later one do nothing, as if the power went off there
    FullDisk,     // from call N on, every write and every creation of a file fails: no space left
    FailingSync,  // from call N on, every sync of a file or a folder fails with an I/O error
  };
  enum class Call { Create, Write, Sync, Other };
  // failAt 0: never; otherwise the 1-based number of the call that fails or crashes. The calls
  // go to `inner` (null: the machine's file system).
  explicit FaultyFileSystem(uint64_t failAt = 0, Mode mode = Mode::Crash, FileSystem* inner = nullptr)
      : failAt_(failAt), mode_(mode), inner_(inner ? *inner : FileSystem::Default()) {}

  void Arm(uint64_t failAt, Mode mode) {
    failAt_ = failAt;
    mode_ = mode;
    calls_ = 0;
    syncs_ = 0;
    crashed_ = false;
  }
  uint64_t Calls() const { return calls_; }
  // The syncs of files and folders among the calls.
  uint64_t Syncs() const { return syncs_; }
  bool Crashed() const { return crashed_; }

  // Counts one changing call; returns false when the call must not happen.
  bool Permit(const std::string& what, Call call = Call::Other);

  bool Exists(const std::string& path) override;
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override;
  bool IsWritable(const std::string& path) override;
  void Remove(const std::string& path) override;
  void Rename(const std::string& from, const std::string& to) override;
  void SyncFolderOf(const std::string& path) override;
  void CreateFolder(const std::string& path) override;
  std::vector<std::string> ListFolder(const std::string& path) override;

 private:
  uint64_t failAt_;
  Mode mode_;
  FileSystem& inner_;
  uint64_t calls_ = 0;
  uint64_t syncs_ = 0;
  bool crashed_ = false;
};

}  // namespace tindrel::engine::testing
