#include "tree/HeapAhead.h"

#include <malloc.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>

namespace tindrel {

namespace {

// The C library's own top pad, in place again when the build is done.
constexpr int kUsualTopPad = 128 * 1024;
// One call of the second thread: short, so that the caller's next growth of the heap never waits
// long for the address space.
constexpr std::uintptr_t kCall = std::uintptr_t{2} << 20;

// Where the heap ends now, asked of the kernel (the C library's own record of it is the caller's).
std::uintptr_t HeapEnd() { return static_cast<std::uintptr_t>(syscall(SYS_brk, 0)); }

}  // namespace

HeapAhead::HeapAhead() {
  const std::uintptr_t from = HeapEnd();
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  if (from == 0 || page == 0 || (page & (page - 1)) != 0) return;
  mallopt(M_TOP_PAD, static_cast<int>(kStep));
  try {
    worker_ = std::thread([this, from = from & ~(page - 1)] { Run(from); });
  } catch (const std::system_error&) {
    mallopt(M_TOP_PAD, kUsualTopPad);
  }
}

HeapAhead::~HeapAhead() {
  if (!worker_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  worker_.join();
  mallopt(M_TOP_PAD, kUsualTopPad);
}

std::size_t HeapAhead::Resident() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return resident_;
}

void HeapAhead::Run(std::uintptr_t from) {
  std::uintptr_t done = from;
  for (;;) {
    const std::uintptr_t heapEnd = HeapEnd();
    if (done >= heapEnd) {
      // Nothing new to make resident: wait for the heap to grow, or for the end.
      std::unique_lock<std::mutex> lock(mutex_);
      if (wake_.wait_for(lock, std::chrono::milliseconds(1), [this] { return stop_; })) return;
      continue;
    }
    // The range lies inside the heap as it was just now; should the heap shrink meanwhile, what
    // is past its end holds nothing (the system places other mappings far from the heap).
    const std::uintptr_t to = std::min(heapEnd, done + kCall);
    if (madvise(reinterpret_cast<void*>(done), to - done, MADV_POPULATE_WRITE) != 0) {
      // Look again if the heap shrank meanwhile; otherwise the pages are not to be had ahead
      // (an older kernel, or no memory: the caller then faults its pages in itself).
      if (errno == ENOMEM && HeapEnd() < to) continue;
      return;
    }
    done = to;
    std::lock_guard<std::mutex> lock(mutex_);
    resident_ = done - from;
    if (stop_) return;
  }
}

}  // namespace tindrel
