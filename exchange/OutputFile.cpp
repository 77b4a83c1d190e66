#include "exchange/OutputFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "exchange/ExchangeError.h"

namespace tindrel::exchange {
namespace {

constexpr size_t kBufferBytes = 1 << 20;

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void WriteAll(int fd, std::string_view bytes, const std::function<void()>& fail) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail();
    }
    done += static_cast<size_t>(n);
  }
}

}  // namespace

std::string SystemFailure(const std::string& what, const std::string& path) {
  return "Cannot " + what + " " + path + ": " + std::strerror(errno);
}

OutputFile::OutputFile(std::string path, bool replace) : path_(std::move(path)) {
  struct stat existing{};
  if (::stat(path_.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) throw ExchangeError(path_ + " is a folder; choose a file name");
    if (!replace) throw ExchangeError(path_ + " exists already; choose another name");
  }
  temp_ = path_ + ".partial-XXXXXX";
  fd_ = ::mkstemp(temp_.data());
  if (fd_ < 0) throw ExchangeError(SystemFailure("create a file in", FolderOf(path_)));
  ::fchmod(fd_, 0644);
  buffer_.reserve(kBufferBytes);
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_) ::unlink(temp_.c_str());
}

void OutputFile::Fail(const std::string& what) const { throw ExchangeError(SystemFailure(what, path_)); }

void OutputFile::Write(std::string_view text) {
  buffer_ += text;
  if (buffer_.size() >= kBufferBytes) Flush();
}

void OutputFile::Flush() {
  WriteAll(fd_, buffer_, [&] { Fail("write"); });
  buffer_.clear();
}

void OutputFile::Commit() {
  Flush();
  if (::fsync(fd_) != 0) Fail("write");
  if (::close(fd_) != 0) {
    fd_ = -1;
    Fail("write");
  }
  fd_ = -1;
  if (::rename(temp_.c_str(), path_.c_str()) != 0) Fail("write");
  committed_ = true;
  const int folder = ::open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
}

std::string ReadWholeFileAt(int folder, const std::string& name, const std::string& shown) {
  const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw ExchangeError(SystemFailure("read", shown));
  struct stat info{};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    throw ExchangeError(shown + " is a folder, not a file");
  }
  std::string bytes;
  if (info.st_size > 0) bytes.reserve(static_cast<size_t>(info.st_size));
  char chunk[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      const std::string failure = SystemFailure("read", shown);
      ::close(fd);
      throw ExchangeError(failure);
    }
    if (n == 0) break;
    bytes.append(chunk, static_cast<size_t>(n));
  }
  ::close(fd);
  return bytes;
}

std::string ReadWholeFile(const std::string& path) { return ReadWholeFileAt(AT_FDCWD, path, path); }

std::string StemOf(const std::string& path) {
  std::string_view trimmed(path);
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.remove_suffix(1);
  const auto slash = trimmed.rfind('/');
  std::string name(slash == std::string::npos ? trimmed : trimmed.substr(slash + 1));
  const auto dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace tindrel::exchange
