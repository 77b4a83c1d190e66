#pragma once
// Marks records of a benchmark's note table deleted without a change per record: marking tens of
// thousands one change at a time would take as many syncs. The flags are set in the file
// directly and the index is rebuilt, which is the state the deletes would leave.

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "store/engine/Table.h"

namespace tindrel::bench {

// Marks deleted every record whose number `deleted` answers true for.
inline void MarkDeleted(const std::string& path, const std::function<bool(uint32_t recno)>& deleted) {
  auto t = engine::Table::Open(path);
  const uint32_t recordLength = t->RecordLength();
  const uint32_t count = t->RecordCount();
  t.reset();
  FILE* f = std::fopen(path.c_str(), "r+b");
  unsigned char head[12];
  if (!f || std::fread(head, 1, sizeof head, f) != sizeof head) std::abort();
  const uint32_t headerLength = head[8] | head[9] << 8;
  for (uint32_t recno = 1; recno <= count; ++recno) {
    if (!deleted(recno)) continue;
    std::fseek(f, static_cast<long>(headerLength + uint64_t{recno - 1} * recordLength), SEEK_SET);
    std::fputc('*', f);
  }
  std::fclose(f);
  engine::Table::Open(path)->Reindex();
}

// Half of the records deleted, for the benchmarks of pack.
inline void MarkEverySecondRecordDeleted(const std::string& path) {
  MarkDeleted(path, [](uint32_t recno) { return recno % 2 == 0; });
}

}  // namespace tindrel::bench
