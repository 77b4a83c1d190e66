// Fuzz target: byte 0 picks the reader, the rest is the text: even, one Markdown file by its
// headings; odd, one note's file of a folder tree. What reads must write and read back to the
// same notes; anything but a clean read or an ExchangeError is a fault.

#include <cstdint>
#include <string_view>

#include "exchange/ExchangeError.h"
#include "exchange/MarkdownFileReader.h"
#include "exchange/MarkdownFileWriter.h"
#include "exchange/MarkdownText.h"
#include "fuzz/FuzzExchangeCheck.h"

using namespace tindrel::exchange;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    const NoteFile note = ParseNoteFile(text, "fuzz");
    const NoteFile back = ParseNoteFile(NoteFileText(note.title, note.memo), "other");
    if (back.title != TitleLine(note.title) || back.memo != note.memo) __builtin_trap();
    return 0;
  }
  Outline outline;
  try {
    outline = ReadMarkdownFile(text, "fuzz");
  } catch (const ExchangeError&) {
    return 0;
  }
  StringSink out;
  std::vector<std::string> notices;
  WriteMarkdownFile(outline, out, notices);
  fuzzing::RequireSameNotes(outline, ReadMarkdownFile(out.Text(), "other"), true);
  return 0;
}
