#pragma once
// A table with half of its records deleted, for the benchmarks of pack.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "store/engine/Table.h"

namespace tindrel::bench {

// Marks every second record of the closed table `dbf` deleted and rebuilds its index. Marking
// half the records deleted one change at a time would take a sync for each; the flags are set in
// the file directly and the index is rebuilt, which is the same state.
inline void MarkEverySecondRecordDeleted(const std::string& dbf) {
  uint32_t recordLength = 0;
  uint32_t count = 0;
  {
    auto t = engine::Table::Open(dbf);
    recordLength = t->RecordLength();
    count = t->RecordCount();
  }
  FILE* f = std::fopen(dbf.c_str(), "r+b");
  if (!f) std::abort();
  unsigned char head[12];
  if (std::fread(head, 1, sizeof head, f) != sizeof head) std::abort();
  const uint32_t headerLength = head[8] | head[9] << 8;
  for (uint32_t recno = 2; recno <= count; recno += 2) {
    std::fseek(f, static_cast<long>(headerLength + uint64_t{recno - 1} * recordLength), SEEK_SET);
    std::fputc('*', f);
  }
  std::fclose(f);
  engine::Table::Open(dbf)->Reindex();
}

}  // namespace tindrel::bench
