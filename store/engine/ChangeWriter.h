#pragma once
// All bytes a change writes into the table's files go through the change's writer. The writer
// records every write and truncation of the change in the table's journal before any of them
// reaches a file, so that a crash at any moment leaves either the old or the new state. The
// write order of a change is documented in Journal.cpp.

#include <cstdint>
#include <string_view>

namespace tindrel::engine {

class File;

class ChangeWriter {
 public:
  virtual ~ChangeWriter() = default;
  // Writes `bytes` at `offset`; a write past the end grows the file.
  virtual void WriteAt(File& file, uint64_t offset, std::string_view bytes) = 0;
  virtual void Truncate(File& file, uint64_t size) = 0;
};

}  // namespace tindrel::engine
