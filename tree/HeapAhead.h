#pragma once
// HeapAhead: while the caller fills a large amount of fresh memory (the build of a large tree: a
// string, a snapshot and a node for every note), a second thread makes the pages the heap
// grows into resident before the caller reaches them. The kernel clears every page it hands out
// for the first time, and on a virtual machine the host often has to back it first: done on the
// caller's thread, that is a third of such a build. Done ahead on the other core, the caller finds
// its pages ready.
//
// For as long as it lives, the C library grows its heap in steps of kStep at least (its top pad),
// so that there is room past the caller's allocations for the second thread to work in; the
// thread makes each step resident as it comes. Making a page resident does not change what it
// holds, so the caller's allocations may land there at any moment. At most one step is left over
// when it ends. Where the system cannot make pages resident ahead (an older kernel, no thread to
// be had), nothing happens and the caller faults its pages in as before.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

namespace tindrel {

class HeapAhead {
 public:
  // Large enough that the thread keeps ahead of a caller allocating as fast as a build does;
  // small enough that the large blocks of the build still get memory of their own.
  static constexpr std::size_t kStep = std::size_t{16} << 20;

  HeapAhead();
  ~HeapAhead();
  HeapAhead(const HeapAhead&) = delete;
  HeapAhead& operator=(const HeapAhead&) = delete;

  // How many bytes of the heap's growth the second thread has made resident so far.
  std::size_t Resident() const;

 private:
  void Run(std::uintptr_t from);

  std::thread worker_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::size_t resident_ = 0;
};

}  // namespace tindrel
