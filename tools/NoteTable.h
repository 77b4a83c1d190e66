#pragma once
// The note table as this program keeps it: its layout, the starter notes, generated notes, and
// the fast writer that makes a whole table in one go (used by `tindrel-table create`, the
// benchmarks and the tests).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "store/engine/Table.h"

namespace tindrel::tools {

// One note before it is stored. Text is UTF-8; parent 0 means top level (a blank Parent).
struct Note {
  int64_t id = 0;
  int64_t parent = 0;
  std::string title;
  std::string memo;
};

// ID N(10,0) and Parent N(10,0): a number field makes the ID tag order numeric, and ten digits
// hold every identifier the tree's 64-bit counter can reach before the field would overflow
// (which it then refuses). Text C(100): a title is one line, and 100 characters in a
// single-byte code page keep the key of a title tag well inside an index key's 100-byte limit.
// MEMO M: the body. Language driver 0xCB (Windows Greek, cp1253): it holds every monotonic
// Greek letter with its accents and the Western punctuation people type (quotes, dashes, the
// euro sign); cp737 lacks most of that.
engine::TableSpec NoteTableSpec();

inline constexpr const char* kNoteTableName = "Tindrel.dbf";
std::string NoteTablePath(const std::string& folder);

// The few starter notes, in English and Greek, that explain how the program is used.
std::vector<Note> WelcomeNotes();

// `count` notes in a random tree, the same for the same seed: identifiers 1..count in shuffled
// record order, every parent stored before its children, titles and memos in English and Greek,
// memos from 0 bytes to 64 KiB with most of them small.
std::vector<Note> RandomNotes(uint32_t count, uint64_t seed);

// Hands out notes one at a time into `next`; false when there are no more.
using NoteSource = std::function<bool(Note& next)>;

// The notes of RandomNotes(count, seed), one at a time, so that a table of a million of them is
// made without holding them all.
class RandomNoteSource {
 public:
  RandomNoteSource(uint32_t count, uint64_t seed);
  bool Next(Note& note);

 private:
  uint64_t state_;
  std::vector<int64_t> ids_;
  size_t next_ = 0;
};

// Writes a new note table FOLDER/Tindrel.dbf with its memo file and production index holding
// `notes` in this order. Refuses (EngineError InvalidCall) when any of the three files exists.
// The records and memos are written straight into the files the engine created, synced once,
// and the index is then built by the engine's Reindex, so a large table costs a few syncs
// instead of one per note. All of it happens in the folder FOLDER/Tindrel.dbf-create; the
// finished files are then renamed into place together, so a crash leaves either no table or
// the whole one (a create interrupted during the renames is completed by the next create).
// `progress` (may be empty) is told the notes written so far. The files
// pass through `fs` (null: the machine's); the work folder is made on the machine's.
void CreateNoteTable(const std::string& folder, const std::vector<Note>& notes,
                     const std::function<void(uint32_t done, uint32_t total)>& progress = {},
                     engine::FileSystem* fs = nullptr);
// The same with the `total` notes that `next` hands out, held one at a time.
void CreateNoteTable(const std::string& folder, uint32_t total, const NoteSource& next,
                     const std::function<void(uint32_t done, uint32_t total)>& progress = {},
                     engine::FileSystem* fs = nullptr);

}  // namespace tindrel::tools
