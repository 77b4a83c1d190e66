#pragma once
// A field of a dBASE table as its descriptor stores it.

#include <cstdint>
#include <string>

namespace tindrel::engine {

struct FieldDesc {
  std::string name;   // as stored (cut at the first NUL), compared without regard to case
  char type = 'C';    // C N F D L M B G, or another letter read as raw bytes
  uint16_t length = 0;
  uint8_t decimals = 0;
  uint32_t offset = 0;  // offset inside the record; 0 is the deletion flag
  bool indexFlag = false;  // descriptor byte 31: a production tag keys on exactly this field

  bool IsMemo() const { return type == 'M' || type == 'B' || type == 'G'; }
  bool IsNumeric() const { return type == 'N' || type == 'F'; }
};

}  // namespace tindrel::engine
