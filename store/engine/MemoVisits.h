#pragma once

#include <cstdint>

namespace tindrel::engine {

// How a scan over many memos may call its visitor: one memo after the other in the order of the
// memo file, or from two threads at once, each reading its half of the file. SideBySide is for
// a visitor that is safe to call so (each call writes only what belongs to its own memo); the
// scan still reads on one thread where the file cannot read on two, or the stretch is short.
enum class MemoVisits : std::uint8_t { InFileOrder, SideBySide };

}  // namespace tindrel::engine
