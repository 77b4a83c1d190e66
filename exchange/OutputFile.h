#pragma once
// A file that appears whole or not at all. The text goes to a temporary file beside the target;
// Commit syncs it and renames it over the target, so a reader never sees half a file and a
// failure or a cancel leaves the target as it was. Not committed, the temporary file is removed.

#include <string>
#include <string_view>

#include "exchange/TextSink.h"

namespace tindrel::exchange {

class OutputFile : public TextSink {
 public:
  // `replace` false: refuses (ExchangeError) when `path` exists.
  OutputFile(std::string path, bool replace);
  ~OutputFile() override;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void Write(std::string_view text) override;
  void Commit();

 private:
  void Flush();
  [[noreturn]] void Fail(const std::string& what) const;
  std::string path_;
  std::string temp_;
  int fd_ = -1;
  std::string buffer_;
  bool committed_ = false;
};

// The whole content of a file; ExchangeError naming the file when it cannot be read.
std::string ReadWholeFile(const std::string& path);
// The same for `name` in the open folder `folder`; `shown` names it in the error.
std::string ReadWholeFileAt(int folder, const std::string& name, const std::string& shown);

// The file's name without its folder and without its last extension.
std::string StemOf(const std::string& path);

// "Cannot <what> <path>: <the system's reason>", from errno.
std::string SystemFailure(const std::string& what, const std::string& path);

}  // namespace tindrel::exchange
