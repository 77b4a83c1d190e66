#pragma once
// One record as the engine hands it out and takes it back.

#include <cstdint>
#include <map>
#include <string>

namespace tindrel::engine {

struct Record {
  std::string bytes;   // the raw record (record length bytes); bytes[0] is the deletion flag
  uint32_t recno = 0;  // 1-based record number; 0 for a record not yet stored
  // New memo contents by field index, raw bytes in the table's code page. Written to the memo
  // file, in the same atomic change, when the record is stored.
  std::map<int, std::string> pendingMemos;

  bool IsDeleted() const { return !bytes.empty() && bytes[0] == '*'; }
};

}  // namespace tindrel::engine
