#include "store/engine/PosixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "store/engine/EngineError.h"

namespace tindrel::engine {
namespace {

[[noreturn]] void ThrowIo(const std::string& what, const std::string& path, int error) {
  throw EngineError(ResultCode::IoError, what + " " + path + " failed: " + std::strerror(error), {path});
}

std::string FolderOf(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

class PosixFile : public File {
 public:
  PosixFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~PosixFile() override { ::close(fd_); }

  const std::string& Path() const override { return path_; }

  uint64_t Size() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) ThrowIo("Reading the size of", path_, errno);
    return static_cast<uint64_t>(st.st_size);
  }

  size_t ReadAt(uint64_t offset, void* buffer, size_t length) override {
    size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < length) {
      ssize_t n = ::pread(fd_, out + done, length - done, static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        ThrowIo("Reading", path_, errno);
      }
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    return done;
  }

  bool ConcurrentReads() const override { return true; }  // pread keeps no file position

  void WriteAt(uint64_t offset, const void* data, size_t length) override {
    size_t done = 0;
    const auto* in = static_cast<const char*>(data);
    while (done < length) {
      ssize_t n = ::pwrite(fd_, in + done, length - done, static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        ThrowIo("Writing", path_, errno);
      }
      done += static_cast<size_t>(n);
    }
  }

  void Truncate(uint64_t size) override {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) ThrowIo("Truncating", path_, errno);
  }

  void Sync() override {
    if (::fdatasync(fd_) != 0) ThrowIo("Syncing", path_, errno);
  }

  bool TryLockExclusive() override {
    for (;;) {
      if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
      if (errno == EINTR) continue;
      if (errno == EWOULDBLOCK) return false;
      ThrowIo("Locking", path_, errno);
    }
  }

 private:
  std::string path_;
  int fd_;
};

}  // namespace

bool PosixFileSystem::Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::unique_ptr<File> PosixFileSystem::Open(const std::string& path, OpenMode mode) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::ReadOnly: flags |= O_RDONLY; break;
    case OpenMode::ReadWrite: flags |= O_RDWR; break;
    case OpenMode::CreateReadWrite: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
  }
  int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) {
    int error = errno;
    if (error == ENOENT) throw EngineError(ResultCode::FileNotFound, "File not found: " + path, {path});
    ThrowIo("Opening", path, error);
  }
  return std::make_unique<PosixFile>(path, fd);
}

bool PosixFileSystem::IsWritable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  if (::access(path.c_str(), W_OK) != 0) return false;
  return (st.st_mode & S_IWUSR) != 0;
}

void PosixFileSystem::Remove(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) ThrowIo("Removing", path, errno);
}

void PosixFileSystem::Rename(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) ThrowIo("Renaming " + from + " to", to, errno);
  SyncFolderOf(to);
}

void PosixFileSystem::SyncFolderOf(const std::string& path) {
  std::string folder = FolderOf(path);
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) ThrowIo("Opening the folder", folder, errno);
  int rc = ::fsync(fd);
  int error = errno;
  ::close(fd);
  if (rc != 0 && error != EINVAL) ThrowIo("Syncing the folder", folder, error);
}

void PosixFileSystem::CreateFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) != 0) {
    const int error = errno;
    struct stat st {};
    if (error != EEXIST || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) ThrowIo("Making the folder", path, error);
    return;
  }
  SyncFolderOf(path);
}

std::vector<std::string> PosixFileSystem::ListFolder(const std::string& path) {
  DIR* folder = ::opendir(path.c_str());
  if (!folder) {
    const int error = errno;
    if (error == ENOENT) throw EngineError(ResultCode::FileNotFound, "Folder not found: " + path, {path});
    ThrowIo("Reading the folder", path, error);
  }
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  const int error = errno;
  ::closedir(folder);
  if (error != 0) ThrowIo("Reading the folder", path, error);
  return names;
}

FileSystem& FileSystem::Default() {
  static PosixFileSystem instance;
  return instance;
}

}  // namespace tindrel::engine
