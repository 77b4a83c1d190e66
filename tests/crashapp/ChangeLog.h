#pragma once
// The messages the crash child writes to its pipe, and the note model both sides keep.
//
// Before a change starts the child writes a Begin frame with everything the change will store
// (the note's ID, parent, title and memo, or only the ID for a delete); when the dataset call
// has returned it writes a Done frame. A frame cut short by the kill is dropped by the reader:
// a cut Begin means the change never started.

#include <cstdint>
#include <cstring>
#include <map>
#include <string>

namespace tindrel::crashapp {

enum class Kind : uint8_t { Insert = 1, Edit = 2, Move = 3, Delete = 4, Pack = 5 };

struct Change {
  Kind kind = Kind::Insert;
  int64_t id = 0;
  int64_t parent = 0;  // Insert and Move
  std::string title;   // Insert and Edit
  std::string memo;    // Insert and Edit
};

struct NoteState {
  int64_t parent = 0;
  std::string title;
  std::string memo;
  bool operator==(const NoteState&) const = default;
};
using Model = std::map<int64_t, NoteState>;

inline void Apply(Model& m, const Change& c) {
  switch (c.kind) {
    case Kind::Insert: m[c.id] = {c.parent, c.title, c.memo}; break;
    case Kind::Edit: m[c.id].title = c.title; m[c.id].memo = c.memo; break;
    case Kind::Move: m[c.id].parent = c.parent; break;
    case Kind::Delete: m.erase(c.id); break;
    case Kind::Pack: break;
  }
}

// Frame: tag ('B' or 'D'), kind, id, parent, title length, memo length, title, memo.
inline std::string EncodeFrame(char tag, const Change& c) {
  std::string out(1 + 1 + 8 + 8 + 4 + 4, '\0');
  char* p = out.data();
  *p++ = tag;
  *p++ = static_cast<char>(c.kind);
  std::memcpy(p, &c.id, 8), p += 8;
  std::memcpy(p, &c.parent, 8), p += 8;
  const uint32_t tl = tag == 'B' ? static_cast<uint32_t>(c.title.size()) : 0;
  const uint32_t ml = tag == 'B' ? static_cast<uint32_t>(c.memo.size()) : 0;
  std::memcpy(p, &tl, 4), p += 4;
  std::memcpy(p, &ml, 4);
  if (tag == 'B') out += c.title + c.memo;
  return out;
}

// Takes one whole frame off the front of `buffer`; false when it holds only part of one.
inline bool DecodeFrame(std::string& buffer, char& tag, Change& c) {
  constexpr size_t head = 26;
  if (buffer.size() < head) return false;
  uint32_t tl = 0, ml = 0;
  std::memcpy(&tl, buffer.data() + 18, 4);
  std::memcpy(&ml, buffer.data() + 22, 4);
  if (buffer.size() < head + tl + ml) return false;
  tag = buffer[0];
  c.kind = static_cast<Kind>(buffer[1]);
  std::memcpy(&c.id, buffer.data() + 2, 8);
  std::memcpy(&c.parent, buffer.data() + 10, 8);
  c.title = buffer.substr(head, tl);
  c.memo = buffer.substr(head + tl, ml);
  buffer.erase(0, head + tl + ml);
  return true;
}

}  // namespace tindrel::crashapp
