#pragma once
// Every read, write, sync, rename and lock of the engine passes through this interface, so tests
// can put a failing or "crashing" file system underneath (fail or stop at the N-th call).

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tindrel::engine {

// One open file. Methods throw EngineError(IoError, ...) naming the file on failure.
class File {
 public:
  virtual ~File() = default;
  virtual const std::string& Path() const = 0;
  virtual uint64_t Size() = 0;
  // Reads up to `length` bytes at `offset`; returns the count read (short at the end of the file).
  virtual size_t ReadAt(uint64_t offset, void* buffer, size_t length) = 0;
  // Whether ReadAt may run on several threads at once; a long scan then reads on two.
  virtual bool ConcurrentReads() const { return false; }
  virtual void WriteAt(uint64_t offset, const void* data, size_t length) = 0;
  virtual void Truncate(uint64_t size) = 0;
  virtual void Sync() = 0;  // data reaches the disk (fdatasync)
  // Takes an exclusive lock that every other opener sees, in this process or another.
  // Returns false when another opener holds it.
  virtual bool TryLockExclusive() = 0;
};

enum class OpenMode { ReadOnly, ReadWrite, CreateReadWrite /* create or truncate */ };

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual bool Exists(const std::string& path) = 0;
  // Throws EngineError: FileNotFound when missing, IoError otherwise.
  virtual std::unique_ptr<File> Open(const std::string& path, OpenMode mode) = 0;
  // Whether the file could be opened for writing (permissions, read-only file system).
  virtual bool IsWritable(const std::string& path) = 0;
  virtual void Remove(const std::string& path) = 0;
  // Atomic replacement of `to` by `from` (rename), then the folder is synced.
  virtual void Rename(const std::string& from, const std::string& to) = 0;
  virtual void SyncFolderOf(const std::string& path) = 0;
  // Makes the folder `path` (its parent must exist) and syncs the parent, so the folder survives
  // a power loss; a folder that exists already is left as it is.
  virtual void CreateFolder(const std::string& path) = 0;
  // The names (not paths) of the files and folders in `path`, in no particular order.
  virtual std::vector<std::string> ListFolder(const std::string& path) = 0;

  // The file system of the machine.
  static FileSystem& Default();
};

}  // namespace tindrel::engine
