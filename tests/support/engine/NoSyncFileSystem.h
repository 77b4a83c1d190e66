#pragma once
// The real file system with every sync skipped. Tests and benchmarks make their tables through it:
// making a table is set-up, not what is tested, and a table of 100,000 notes then takes seconds
// instead of one sync per note.

#include <memory>
#include <string>

#include "store/engine/FileSystem.h"
#include "store/engine/PosixFileSystem.h"

namespace tindrel::testing {

class NoSyncFileSystem : public engine::FileSystem {
 public:
  bool Exists(const std::string& path) override { return real_.Exists(path); }
  std::unique_ptr<engine::File> Open(const std::string& path, engine::OpenMode mode) override {
    return std::make_unique<NoSyncFile>(real_.Open(path, mode));
  }
  bool IsWritable(const std::string& path) override { return real_.IsWritable(path); }
  void Remove(const std::string& path) override { real_.Remove(path); }
  void Rename(const std::string& from, const std::string& to) override { real_.Rename(from, to); }
  void SyncFolderOf(const std::string&) override {}
  void CreateFolder(const std::string& path) override { real_.CreateFolder(path); }
  std::vector<std::string> ListFolder(const std::string& path) override { return real_.ListFolder(path); }

 private:
  class NoSyncFile : public engine::File {
   public:
    explicit NoSyncFile(std::unique_ptr<engine::File> file) : file_(std::move(file)) {}
    const std::string& Path() const override { return file_->Path(); }
    uint64_t Size() override { return file_->Size(); }
    size_t ReadAt(uint64_t offset, void* buffer, size_t length) override { return file_->ReadAt(offset, buffer, length); }
    void WriteAt(uint64_t offset, const void* data, size_t length) override { file_->WriteAt(offset, data, length); }
    void Truncate(uint64_t size) override { file_->Truncate(size); }
    void Sync() override {}
    bool TryLockExclusive() override { return file_->TryLockExclusive(); }

   private:
    std::unique_ptr<engine::File> file_;
  };
  engine::PosixFileSystem real_;
};

}  // namespace tindrel::testing
