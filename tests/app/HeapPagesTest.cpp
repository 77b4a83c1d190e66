// The program starts itself once more with large heap pages asked for: the setting it makes, and
// a real start again of this test program, which must come back once, with its arguments, its
// process and the person's own settings kept.

#include "app/HeapPages.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace tindrel {
namespace {

TEST(HeapPages, TheSettingIsAddedToThePersonsOwnOnce) {
  struct Case {
    const char* current;
    const char* wanted;
  } cases[] = {
      {nullptr, "glibc.malloc.hugetlb=1"},
      {"", "glibc.malloc.hugetlb=1"},
      {"glibc.malloc.check=3", "glibc.malloc.check=3:glibc.malloc.hugetlb=1"},
      {"glibc.malloc.hugetlb=1", ""},                       // started again already
      {"glibc.malloc.hugetlb=0", ""},                       // the person's choice stands
      {"glibc.malloc.check=3:glibc.malloc.hugetlb=2", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(TunablesWithHeapPages(c.current), c.wanted) << (c.current ? c.current : "unset");
}

// Run only as the started-again program: writes what it was started with, then asks to start
// again once more, which must return at once.
TEST(HeapPages, Probe) {
  const char* report = std::getenv("TINDREL_HEAP_PAGES_PROBE");
  if (!report) GTEST_SKIP() << "run by RestartsOnceWithTheSettingTheArgumentsAndTheProcess";
  char* again[] = {const_cast<char*>("probe"), nullptr};
  RestartWithHeapPages(again);
  std::ofstream out(report, std::ios::app);
  out << getpid() << ' ' << std::getenv("GLIBC_TUNABLES") << '\n';
}

TEST(HeapPages, RestartsOnceWithTheSettingTheArgumentsAndTheProcess) {
  char folder[] = "/tmp/heap-pages-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string report = std::string(folder) + "/report";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setenv("TINDREL_HEAP_PAGES_PROBE", report.c_str(), 1);
    setenv("GLIBC_TUNABLES", "glibc.malloc.check=0", 1);
    char self[] = "HeapPagesTest";
    char filter[] = "--gtest_filter=HeapPages.Probe";
    char* argv[] = {self, filter, nullptr};
    RestartWithHeapPages(argv);
    _exit(99);  // not started again
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "99: the program did not start again";
  std::ifstream in(report);
  std::stringstream lines;
  lines << in.rdbuf();
  // One line: the probe ran once, in the same process, with the person's setting kept.
  EXPECT_EQ(lines.str(), std::to_string(child) + " glibc.malloc.check=0:glibc.malloc.hugetlb=1\n");
  std::remove(report.c_str());
  rmdir(folder);
}

}  // namespace
}  // namespace tindrel
