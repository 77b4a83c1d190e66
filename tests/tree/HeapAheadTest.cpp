// The heap made resident ahead of a large build: what the caller writes into the heap while the
// second thread walks it stays exactly as written, the thread does walk the heap's growth where
// the system allows it, and once it is gone the heap grows in its usual small steps again.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "tree/HeapAhead.h"

namespace tindrel::testing {
namespace {

std::uintptr_t HeapEnd() { return reinterpret_cast<std::uintptr_t>(sbrk(0)); }

// Whether this kernel makes pages resident on request (MADV_POPULATE_WRITE, Linux 5.14).
bool KernelPopulates() {
  const std::size_t size = 1 << 20;
  void* region = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (region == MAP_FAILED) return false;
  const bool populates = madvise(region, size, MADV_POPULATE_WRITE) == 0;
  munmap(region, size);
  return populates;
}

// The byte that block `block` holds at `at`.
char Pattern(std::size_t block, std::size_t at) { return static_cast<char>((block * 131 + at * 7) % 251); }

TEST(HeapAhead, WhatTheCallerWritesStaysAsWrittenWhileTheHeapIsMadeResident) {
  constexpr std::size_t kBlocks = 24000;  // about six steps of the heap's growth
  constexpr std::size_t kBlockSize = 4000;  // below any threshold at which the heap maps a block apart
  std::vector<std::unique_ptr<char[]>> blocks;
  blocks.reserve(kBlocks);
  const std::uintptr_t before = HeapEnd();
  std::size_t resident = 0;
  {
    HeapAhead ahead;
    for (std::size_t b = 0; b < kBlocks; ++b) {
      blocks.push_back(std::make_unique<char[]>(kBlockSize));
      for (std::size_t at = 0; at < kBlockSize; ++at) blocks.back()[at] = Pattern(b, at);
    }
    // The thread may still be on its way through the heap's growth: give it a moment.
    for (int wait = 0; wait < 200 && ahead.Resident() == 0; ++wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    resident = ahead.Resident();
  }
  std::size_t wrong = 0;
  for (std::size_t b = 0; b < kBlocks; ++b)
    for (std::size_t at = 0; at < kBlockSize; ++at) wrong += blocks[b][at] != Pattern(b, at);
  EXPECT_EQ(wrong, 0u);
  // Under an allocator of its own (the sanitizers') the heap does not grow by the break.
  if (KernelPopulates() && HeapEnd() > before) {
    EXPECT_GT(resident, 0u);
  }
}

TEST(HeapAhead, EndsAtOnceWhenTheHeapNeverGrowsAndLeavesTheUsualStepsBehind) {
  { HeapAhead idle; }
  // The next growth of the heap, made by small blocks, is a small step again: with the pad of its
  // lifetime left in place it would be a whole step of HeapAhead's at least.
  const std::uintptr_t before = HeapEnd();
  std::vector<std::unique_ptr<char[]>> blocks;
  while (HeapEnd() == before && blocks.size() < 40000) blocks.push_back(std::make_unique<char[]>(4000));
  // Under an allocator of its own (the sanitizers') the heap does not grow by the break.
  if (HeapEnd() != before) {
    EXPECT_LT(HeapEnd() - before, HeapAhead::kStep / 2);
  }
}

}  // namespace
}  // namespace tindrel::testing
