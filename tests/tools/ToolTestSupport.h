#pragma once
// What the table tool's tests share: a temporary folder, file helpers, and running the tool.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/Fixtures.h"
#include "tests/tools/RunProcess.h"

namespace tindrel::test {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tindrel-tools-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

using tindrel::testing::CopyFixture;
using tindrel::testing::FixtureFile;

#ifdef TINDREL_TABLE_TOOL
inline ProcessResult RunTool(std::vector<std::string> args) {
  args.insert(args.begin(), TINDREL_TABLE_TOOL);
  return RunProcess(args);
}
#endif

}  // namespace tindrel::test
