#pragma once
// A field of a dBASE table as its descriptor stores it.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

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

// A stored value without the blanks and zero bytes that pad it on the right. Wide fields hold
// mostly padding: it goes eight blanks at a time first.
inline std::string_view WithoutPadding(std::string_view raw) {
  while (raw.size() >= 8 && std::memcmp(raw.data() + raw.size() - 8, "        ", 8) == 0) raw.remove_suffix(8);
  while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\0')) raw.remove_suffix(1);
  return raw;
}

}  // namespace tindrel::engine
