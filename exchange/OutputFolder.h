#pragma once
// A folder tree that appears whole or not at all: it is written under a temporary name beside
// the target, then the file system is synced and the tree renamed to the target at Commit. A
// failure or a cancel before that removes the temporary tree and leaves the target as it was.
//
// Files and folders are made relative to their folder's descriptor, so however deep the tree
// goes no path grows past the system's limit.

#include <string>
#include <string_view>

namespace tindrel::exchange {

class OutputFolder {
 public:
  // Refuses (ExchangeError) a target that is a file or a folder that is not empty.
  explicit OutputFolder(std::string path);
  ~OutputFolder();
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  int Root() const { return root_; }
  // A new file `name` in the folder `folder` holding `text`; `shown` names it in errors.
  void WriteFile(int folder, const std::string& name, std::string_view text, const std::string& shown);
  // A new folder `name` in `folder`, opened: the descriptor is the caller's to close.
  int MakeFolder(int folder, const std::string& name, const std::string& shown);
  void Commit();

 private:
  std::string path_;
  std::string parent_;
  std::string tempName_;
  int parentFd_ = -1;
  int root_ = -1;
  bool committed_ = false;
};

// Removes `name` in `folder` with everything below it, without recursion; errors are ignored.
void RemoveTree(int folder, const std::string& name);

}  // namespace tindrel::exchange
