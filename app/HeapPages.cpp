#include "app/HeapPages.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace tindrel {

namespace {

constexpr const char* kVariable = "GLIBC_TUNABLES";
// Transparent huge pages for the heap: taken where the kernel offers them, ignored elsewhere.
constexpr const char* kHeapPages = "glibc.malloc.hugetlb=1";

}  // namespace

std::string TunablesWithHeapPages(const char* current) {
  if (!current || !*current) return kHeapPages;
  if (std::strstr(current, "glibc.malloc.hugetlb") != nullptr) return {};
  return std::string(current) + ':' + kHeapPages;
}

void RestartWithHeapPages(char** argv) {
  const char* before = std::getenv(kVariable);
  const std::string tunables = TunablesWithHeapPages(before);
  if (tunables.empty() || !argv || !argv[0]) return;
  const std::string kept = before ? before : "";
  if (setenv(kVariable, tunables.c_str(), 1) != 0) return;
  execv("/proc/self/exe", argv);
  // Not started again (no /proc, say): the program goes on with ordinary pages, as it was.
  if (before) setenv(kVariable, kept.c_str(), 1);
  else unsetenv(kVariable);
}

}  // namespace tindrel
