#pragma once
// A table's records as lines a test compares: the deletion flag, then every field's text after
// a "|" each, one line a record in record order.

#include <string>
#include <vector>

#include "store/engine/Table.h"

namespace tindrel::engine::testing {

inline std::vector<std::string> RecordLines(const Table& t) {
  std::vector<std::string> lines;
  for (uint32_t r = 1; r <= t.RecordCount(); ++r) {
    Record rec = t.ReadRecord(r);
    std::string line(1, rec.bytes[0]);
    for (int f = 0; f < static_cast<int>(t.Fields().size()); ++f) line += "|" + t.GetText(rec, f);
    lines.push_back(line);
  }
  return lines;
}

}  // namespace tindrel::engine::testing
