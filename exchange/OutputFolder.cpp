#include "exchange/OutputFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "exchange/ExchangeError.h"
#include "exchange/OutputFile.h"

namespace tindrel::exchange {
namespace {

bool IsEmptyFolder(const std::string& path) {
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return false;
  bool empty = true;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") {
      empty = false;
      break;
    }
  }
  ::closedir(dir);
  return empty;
}

}  // namespace

OutputFolder::OutputFolder(std::string path) : path_(std::move(path)) {
  while (path_.size() > 1 && path_.back() == '/') path_.pop_back();
  struct stat existing{};
  if (::stat(path_.c_str(), &existing) == 0) {
    if (!S_ISDIR(existing.st_mode)) throw ExchangeError(path_ + " is a file; choose a new or empty folder");
    if (!IsEmptyFolder(path_)) throw ExchangeError("The folder " + path_ + " is not empty; choose a new or empty folder");
  }
  const auto slash = path_.rfind('/');
  parent_ = slash == std::string::npos ? "." : slash == 0 ? "/" : path_.substr(0, slash);
  const std::string base = slash == std::string::npos ? path_ : path_.substr(slash + 1);
  std::string temp = parent_ + "/." + base + ".partial-XXXXXX";
  if (!::mkdtemp(temp.data())) throw ExchangeError(SystemFailure("create a folder in", parent_));
  tempName_ = temp.substr(temp.rfind('/') + 1);
  parentFd_ = ::open(parent_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  root_ = parentFd_ < 0 ? -1 : ::openat(parentFd_, tempName_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root_ < 0) {
    const std::string failure = SystemFailure("open the folder", temp);
    if (parentFd_ >= 0) ::close(parentFd_);
    ::rmdir(temp.c_str());
    throw ExchangeError(failure);
  }
}

OutputFolder::~OutputFolder() {
  if (root_ >= 0) ::close(root_);
  if (!committed_) RemoveTree(parentFd_, tempName_);
  ::close(parentFd_);
}

void OutputFolder::WriteFile(int folder, const std::string& name, std::string_view text, const std::string& shown) {
  const int fd = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) throw ExchangeError(SystemFailure("create", shown));
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      const std::string failure = SystemFailure("write", shown);
      ::close(fd);
      throw ExchangeError(failure);
    }
    done += static_cast<size_t>(n);
  }
  if (::close(fd) != 0) throw ExchangeError(SystemFailure("write", shown));
}

int OutputFolder::MakeFolder(int folder, const std::string& name, const std::string& shown) {
  if (::mkdirat(folder, name.c_str(), 0755) != 0) throw ExchangeError(SystemFailure("create the folder", shown));
  const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw ExchangeError(SystemFailure("open the folder", shown));
  return fd;
}

void OutputFolder::Commit() {
  // One sync of the file system instead of one per file: the whole tree is on the disk before
  // its name appears.
  if (::syncfs(root_) != 0) throw ExchangeError(SystemFailure("write", path_));
  if (::renameat(parentFd_, tempName_.c_str(), AT_FDCWD, path_.c_str()) != 0)
    throw ExchangeError(SystemFailure("write", path_));
  committed_ = true;
  ::fsync(parentFd_);
}

void RemoveTree(int folder, const std::string& name) {
  struct Open {
    int fd;
    DIR* dir;
    int parent;
    std::string name;
  };
  std::vector<Open> stack;
  const auto enter = [&](int parent, const std::string& entry) {
    const int fd = ::openat(parent, entry.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
      if (fd >= 0) ::close(fd);
      ::unlinkat(parent, entry.c_str(), 0);
      return;
    }
    stack.push_back({fd, dir, parent, entry});
  };
  enter(folder, name);
  while (!stack.empty()) {
    Open& top = stack.back();
    const dirent* entry = ::readdir(top.dir);
    if (!entry) {
      const int parent = top.parent;
      const std::string done = top.name;
      ::closedir(top.dir);
      stack.pop_back();
      ::unlinkat(parent, done.c_str(), AT_REMOVEDIR);
      continue;
    }
    const std::string_view child = entry->d_name;
    if (child == "." || child == "..") continue;
    const int fd = top.fd;
    if (entry->d_type == DT_DIR) enter(fd, std::string(child));
    else if (::unlinkat(fd, entry->d_name, 0) != 0 && errno == EISDIR) enter(fd, std::string(child));
  }
}

}  // namespace tindrel::exchange
