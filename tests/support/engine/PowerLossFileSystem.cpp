#include "tests/support/engine/PowerLossFileSystem.h"

#include <random>

#include "store/engine/EngineError.h"

namespace tindrel::engine::testing {
namespace {

constexpr uint64_t kSector = 512;

std::string FolderOf(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

[[noreturn]] void Fail(const std::string& what, const std::string& why) {
  throw EngineError(ResultCode::IoError, what + " failed: " + why);
}

void WriteInto(std::string& contents, uint64_t offset, std::string_view bytes) {
  if (contents.size() < offset + bytes.size()) contents.resize(offset + bytes.size(), '\0');
  contents.replace(offset, bytes.size(), bytes);
}

}  // namespace

struct PowerLossFileSystem::Inode {
  struct Pending {
    bool truncate;
    uint64_t offset;  // the write's offset, or the truncation's size
    std::string bytes;
  };
  std::string cache;
  std::string durable;
  std::vector<Pending> pending;  // since the last sync, in order
  const void* lockHolder = nullptr;

  void ApplyTo(std::string& contents, const Pending& p) const {
    if (p.truncate) contents.resize(p.offset, '\0');
    else WriteInto(contents, p.offset, p.bytes);
  }
};

class PowerLossFileSystem::OpenFile : public File {
 public:
  OpenFile(PowerLossFileSystem& fs, std::string path, std::shared_ptr<Inode> inode, bool writable)
      : fs_(fs), path_(std::move(path)), inode_(std::move(inode)), writable_(writable) {}
  ~OpenFile() override {
    if (inode_->lockHolder == this) inode_->lockHolder = nullptr;
  }

  const std::string& Path() const override { return path_; }
  uint64_t Size() override { return inode_->cache.size(); }
  size_t ReadAt(uint64_t offset, void* buffer, size_t length) override {
    if (offset >= inode_->cache.size()) return 0;
    const size_t n = std::min<uint64_t>(length, inode_->cache.size() - offset);
    inode_->cache.copy(static_cast<char*>(buffer), n, offset);
    return n;
  }
  void WriteAt(uint64_t offset, const void* data, size_t length) override {
    const std::string what = "Writing " + path_;
    CheckWritable(what);
    fs_.Change(what);
    if (length > fs_.sizeLimit_ || offset > fs_.sizeLimit_ - length) Fail(what, "No space left on device");
    std::string_view bytes(static_cast<const char*>(data), length);
    const bool fails = fs_.WriteFails();
    if (fails) bytes = bytes.substr(0, length / 2);
    WriteInto(inode_->cache, offset, bytes);
    inode_->pending.push_back({false, offset, std::string(bytes)});
    if (fails) Fail(what, "No space left on device");
  }
  void Truncate(uint64_t size) override {
    const std::string what = "Truncating " + path_;
    CheckWritable(what);
    fs_.Change(what);
    if (size > fs_.sizeLimit_) Fail(what, "No space left on device");
    inode_->cache.resize(size, '\0');
    inode_->pending.push_back({true, size, {}});
  }
  void Sync() override {
    const std::string what = "Syncing " + path_;
    fs_.Change(what);
    if (fs_.SyncFails()) {
      // The pages the sync could not write are dropped: they stay in the cache until the
      // machine stops, but never reach the disk.
      inode_->pending.clear();
      Fail(what, "Input/output error");
    }
    for (const auto& p : inode_->pending) inode_->ApplyTo(inode_->durable, p);
    inode_->pending.clear();
  }
  bool TryLockExclusive() override {
    if (inode_->lockHolder && inode_->lockHolder != this) return false;
    inode_->lockHolder = this;
    return true;
  }

 private:
  void CheckWritable(const std::string& what) const {
    if (!writable_) Fail(what, "Bad file descriptor");
  }
  PowerLossFileSystem& fs_;
  std::string path_;
  std::shared_ptr<Inode> inode_;
  bool writable_;
};

PowerLossFileSystem::PowerLossFileSystem() = default;
PowerLossFileSystem::~PowerLossFileSystem() = default;

void PowerLossFileSystem::Arm(Fault fault, uint64_t n) {
  fault_ = fault;
  faultAt_ = n;
  changes_ = writes_ = syncs_ = 0;
}

void PowerLossFileSystem::Change(const std::string& what) {
  if (!powerLost_) {
    ++changes_;
    powerLost_ = fault_ == Fault::PowerCut && changes_ >= faultAt_;
  }
  if (powerLost_) Fail(what, "the power is off");
}

bool PowerLossFileSystem::WriteFails() { return ++writes_ >= faultAt_ && fault_ == Fault::DiskFull; }

bool PowerLossFileSystem::SyncFails() {
  ++syncs_;
  return (fault_ == Fault::FailingSyncs && syncs_ >= faultAt_) || (fault_ == Fault::OneFailingSync && syncs_ == faultAt_);
}

bool PowerLossFileSystem::Exists(const std::string& path) { return names_.count(path) != 0 || folders_.count(path) != 0; }

std::unique_ptr<File> PowerLossFileSystem::Open(const std::string& path, OpenMode mode) {
  auto found = names_.find(path);
  if (mode != OpenMode::CreateReadWrite) {
    if (found == names_.end()) throw EngineError(ResultCode::FileNotFound, "File not found: " + path, {path});
    return std::make_unique<OpenFile>(*this, path, found->second, mode == OpenMode::ReadWrite);
  }
  Change("Creating " + path);
  if (found != names_.end()) {
    found->second->cache.clear();
    found->second->pending.push_back({true, 0, {}});
    return std::make_unique<OpenFile>(*this, path, found->second, true);
  }
  auto inode = std::make_shared<Inode>();
  names_[path] = inode;
  folderPending_.push_back({FolderChange::Link, path, {}, inode});
  return std::make_unique<OpenFile>(*this, path, inode, true);
}

bool PowerLossFileSystem::IsWritable(const std::string&) { return true; }

void PowerLossFileSystem::Remove(const std::string& path) {
  Change("Removing " + path);
  if (names_.erase(path)) folderPending_.push_back({FolderChange::Unlink, path, {}, nullptr});
}

void PowerLossFileSystem::Rename(const std::string& from, const std::string& to) {
  const std::string what = "Renaming " + from + " to " + to;
  Change(what);
  auto found = names_.find(from);
  if (found == names_.end()) Fail(what, "No such file or directory");
  auto inode = found->second;
  names_.erase(found);
  names_[to] = inode;
  folderPending_.push_back({FolderChange::Rename, from, to, nullptr});
  SyncFolderOf(to);
}

void PowerLossFileSystem::SyncFolderOf(const std::string& path) {
  const std::string what = "Syncing the folder of " + path;
  Change(what);
  if (SyncFails()) Fail(what, "Input/output error");
  const std::string folder = FolderOf(path);
  std::vector<FolderChange> others;
  for (auto& change : folderPending_) {
    if (FolderOf(change.name) == folder) ApplyFolderChange(durableNames_, durableFolders_, change);
    else others.push_back(std::move(change));
  }
  folderPending_ = std::move(others);
}

void PowerLossFileSystem::CreateFolder(const std::string& path) {
  if (folders_.count(path)) return;
  Change("Making the folder " + path);
  folders_.insert(path);
  madeFolders_.insert(path);
  folderPending_.push_back({FolderChange::MakeFolder, path, {}, nullptr});
  SyncFolderOf(path);
}

std::vector<std::string> PowerLossFileSystem::ListFolder(const std::string& path) {
  const std::string prefix = path + "/";
  std::vector<std::string> found;
  for (const auto& [name, inode] : names_)
    if (FolderOf(name) == prefix) found.push_back(name.substr(prefix.size()));
  for (const std::string& folder : folders_)
    if (FolderOf(folder) == prefix) found.push_back(folder.substr(prefix.size()));
  if (found.empty() && !folders_.count(path))
    throw EngineError(ResultCode::FileNotFound, "Folder not found: " + path, {path});
  return found;
}

void PowerLossFileSystem::ApplyFolderChange(std::map<std::string, std::shared_ptr<Inode>>& names,
                                            std::set<std::string>& folders, const FolderChange& change) {
  switch (change.kind) {
    case FolderChange::MakeFolder: folders.insert(change.name); break;
    case FolderChange::Link: names[change.name] = change.inode; break;
    case FolderChange::Unlink: names.erase(change.name); break;
    case FolderChange::Rename: {
      auto found = names.find(change.name);
      if (found == names.end()) break;  // its create was lost: there was nothing to rename
      auto inode = found->second;
      names.erase(found);
      names[change.to] = inode;
      break;
    }
  }
}

std::unique_ptr<PowerLossFileSystem> PowerLossFileSystem::Restart(Outcome outcome, uint64_t seed) const {
  std::mt19937_64 random(seed);
  // 0: kept, 1: lost, 2: torn (writes only).
  auto choose = [&](bool folderChange, int kinds) -> int {
    switch (outcome) {
      case Outcome::KeepEverything: return 0;
      case Outcome::LoseEverythingUnsynced: return 1;
      case Outcome::LoseUnsyncedData: return folderChange ? 0 : 1;
      case Outcome::Random: break;
    }
    return static_cast<int>(random() % kinds);
  };
  std::map<std::string, std::shared_ptr<Inode>> names = durableNames_;
  std::set<std::string> folders = durableFolders_;
  for (const auto& change : folderPending_)
    if (choose(true, 2) == 0) ApplyFolderChange(names, folders, change);
  // What lay in a folder whose making was lost is gone with it.
  auto lost = [&](const std::string& path) {
    for (std::string folder = FolderOf(path); folder.size() > 1; folder = FolderOf(folder.substr(0, folder.size() - 1))) {
      const std::string name = folder.substr(0, folder.size() - 1);
      if (madeFolders_.count(name) && !folders.count(name)) return true;
    }
    return false;
  };
  std::erase_if(names, [&](const auto& entry) { return lost(entry.first); });
  std::erase_if(folders, [&](const std::string& folder) { return lost(folder); });

  auto disk = std::make_unique<PowerLossFileSystem>();
  std::map<const Inode*, std::shared_ptr<Inode>> made;
  for (const auto& [path, inode] : names) {
    auto& copy = made[inode.get()];
    if (!copy) {
      copy = std::make_shared<Inode>();
      std::string contents = inode->durable;
      for (const auto& p : inode->pending) {
        const int choice = choose(false, p.truncate ? 2 : 3);
        if (choice == 0) {
          inode->ApplyTo(contents, p);
        } else if (choice == 2) {
          // Torn: the write stops, or starts, at a sector boundary inside it.
          const uint64_t end = p.offset + p.bytes.size();
          const uint64_t first = (p.offset / kSector + 1) * kSector;
          if (first >= end) continue;
          const uint64_t cut = first + kSector * (random() % ((end - 1 - first) / kSector + 1));
          const uint64_t split = cut - p.offset;
          if (random() % 2) WriteInto(contents, p.offset, std::string_view(p.bytes).substr(0, split));
          else WriteInto(contents, cut, std::string_view(p.bytes).substr(split));
        }
      }
      copy->cache = copy->durable = std::move(contents);
    }
    disk->names_[path] = copy;
  }
  disk->durableNames_ = disk->names_;
  disk->folders_ = disk->durableFolders_ = folders;
  disk->madeFolders_ = madeFolders_;
  disk->sizeLimit_ = sizeLimit_;
  return disk;
}

std::vector<std::string> PowerLossFileSystem::Files() const {
  std::vector<std::string> paths;
  for (const auto& [path, inode] : names_) paths.push_back(path);
  return paths;
}

void PowerLossFileSystem::Put(const std::string& path, std::string bytes) {
  auto inode = std::make_shared<Inode>();
  inode->cache = inode->durable = std::move(bytes);
  names_[path] = durableNames_[path] = inode;
}

}  // namespace tindrel::engine::testing
