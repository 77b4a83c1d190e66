#pragma once
// The real-world table corpus kept in tests/fixtures/dbase: the tables it holds, the files each
// table has, and helpers that hand a test a corpus file or a private copy of a table. A file that
// is missing from the corpus fails the test at once with its name, so no test ever goes on with
// an empty or absent file and reports something misleading about it.

#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace tindrel::testing {

struct FixtureTable {
  const char* base;
  std::vector<const char*> extensions;  // the table's own files in the corpus
};

// Every table of the corpus with the files it ships. czech and rooms declare a production index
// that their authors never shipped; that is part of what the corpus shows.
inline const std::vector<FixtureTable>& FixtureTables() {
  static const std::vector<FixtureTable> tables = {
      {"baustein", {".dbf", ".dbt", ".mdx"}}, {"bik_swif", {".dbf"}},
      {"changelog", {".dbf", ".dbt", ".mdx"}}, {"czech", {".dbf"}},
      {"dbase_83", {".dbf", ".dbt"}},          {"dbase_8b", {".dbf", ".dbt"}},
      {"less_than_actual", {".dbf"}},          {"provincias_es", {".dbf"}},
      {"pyacfl", {".dbf"}},                    {"rooms", {".dbf"}},
      {"siprom", {".dbf", ".dbt", ".mdx"}},    {"symlist", {".dbf", ".mdx"}},
      {"test", {".dbf", ".mdx"}},              {"xbtest", {".dbf", ".dbt"}},
      {"xbtypes", {".dbf"}},
  };
  return tables;
}

inline std::string FixtureDir() { return TINDREL_FIXTURES_DIR; }

// The path of a corpus file ("baustein.dbt", "test.mdx-keys.txt"); throws, naming the file, when
// the corpus does not hold it.
inline std::string FixtureFile(const std::string& name) {
  const std::string path = FixtureDir() + "/" + name;
  if (!std::filesystem::is_regular_file(path))
    throw std::runtime_error("fixture file missing: " + path + " (the corpus in tests/fixtures/dbase is incomplete)");
  return path;
}

inline const FixtureTable& FixtureTableNamed(const std::string& base) {
  for (const FixtureTable& t : FixtureTables())
    if (base == t.base) return t;
  throw std::runtime_error("no fixture table named " + base);
}

// Copies a corpus table (every file it ships) into `dir`, writable by its owner, so that nothing a
// test does can touch the corpus. Returns the path of the copied .dbf.
inline std::string CopyFixture(const std::string& base, const std::string& dir) {
  for (const char* ext : FixtureTableNamed(base).extensions) {
    const std::string to = dir + "/" + base + ext;
    std::filesystem::copy_file(FixtureFile(base + ext), to, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(to, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  }
  return dir + "/" + base + ".dbf";
}

// Takes every write bit off the copied table's files, as a table on a read-only medium or in a
// folder of another user has them.
inline void MakeReadOnly(const std::string& base, const std::string& dir) {
  for (const char* ext : FixtureTableNamed(base).extensions)
    std::filesystem::permissions(dir + "/" + base + ext, std::filesystem::perms::owner_read |
                                                             std::filesystem::perms::group_read |
                                                             std::filesystem::perms::others_read);
}

// Whether any write bit of the file is set: the test that root's access checks would not make.
inline bool HasWriteBits(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) != 0 || (info.st_mode & 0222) != 0;
}

}  // namespace tindrel::testing
