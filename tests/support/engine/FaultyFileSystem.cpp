#include "tests/support/engine/FaultyFileSystem.h"

#include "store/engine/EngineError.h"

namespace tindrel::engine::testing {
namespace {

class FaultyFile : public File {
 public:
  FaultyFile(FaultyFileSystem& fs, std::unique_ptr<File> inner) : fs_(fs), inner_(std::move(inner)) {}
  const std::string& Path() const override { return inner_->Path(); }
  uint64_t Size() override { return inner_->Size(); }
  size_t ReadAt(uint64_t offset, void* buffer, size_t length) override { return inner_->ReadAt(offset, buffer, length); }
  void WriteAt(uint64_t offset, const void* data, size_t length) override {
    if (fs_.Permit("Writing " + Path(), FaultyFileSystem::Call::Write)) inner_->WriteAt(offset, data, length);
  }
  void Truncate(uint64_t size) override {
    if (fs_.Permit("Truncating " + Path())) inner_->Truncate(size);
  }
  void Sync() override {
    if (fs_.Permit("Syncing " + Path(), FaultyFileSystem::Call::Sync)) inner_->Sync();
  }
  bool TryLockExclusive() override { return inner_->TryLockExclusive(); }

 private:
  FaultyFileSystem& fs_;
  std::unique_ptr<File> inner_;
};

}  // namespace

bool FaultyFileSystem::Permit(const std::string& what, Call call) {
  if (crashed_) return false;
  ++calls_;
  if (what.rfind("Syncing", 0) == 0) ++syncs_;
  if (failAt_ == 0 || calls_ < failAt_) return true;
  switch (mode_) {
    case Mode::Crash:
      crashed_ = true;
      return false;
    case Mode::Fail:
      if (calls_ == failAt_) throw EngineError(ResultCode::IoError, what + " failed: injected error");
      return true;
    case Mode::FullDisk:
      if (call == Call::Write || call == Call::Create)
        throw EngineError(ResultCode::IoError, what + " failed: No space left on device");
      return true;
    case Mode::FailingSync:
      if (call == Call::Sync) throw EngineError(ResultCode::IoError, what + " failed: Input/output error");
      return true;
  }
  return true;
}

bool FaultyFileSystem::Exists(const std::string& path) { return inner_.Exists(path); }

std::unique_ptr<File> FaultyFileSystem::Open(const std::string& path, OpenMode mode) {
  // Creating a file changes the disk as well.
  if (mode == OpenMode::CreateReadWrite && !Permit("Creating " + path, Call::Create)) {
    // After the crash nothing new appears on disk; hand out a file whose writes go nowhere.
    if (!inner_.Exists(path)) return std::make_unique<FaultyFile>(*this, inner_.Open("/dev/null", OpenMode::ReadWrite));
    return std::make_unique<FaultyFile>(*this, inner_.Open(path, OpenMode::ReadWrite));
  }
  return std::make_unique<FaultyFile>(*this, inner_.Open(path, mode));
}

bool FaultyFileSystem::IsWritable(const std::string& path) { return inner_.IsWritable(path); }

void FaultyFileSystem::Remove(const std::string& path) {
  if (Permit("Removing " + path)) inner_.Remove(path);
}

void FaultyFileSystem::Rename(const std::string& from, const std::string& to) {
  if (Permit("Renaming " + from)) inner_.Rename(from, to);
}

void FaultyFileSystem::SyncFolderOf(const std::string& path) {
  if (Permit("Syncing the folder of " + path, Call::Sync)) inner_.SyncFolderOf(path);
}

void FaultyFileSystem::CreateFolder(const std::string& path) {
  if (Permit("Creating the folder " + path, Call::Create)) inner_.CreateFolder(path);
}

std::vector<std::string> FaultyFileSystem::ListFolder(const std::string& path) { return inner_.ListFolder(path); }

}  // namespace tindrel::engine::testing
