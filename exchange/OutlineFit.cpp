#include "exchange/OutlineFit.h"

#include "exchange/Refusal.h"
#include "exchange/Utf8.h"
#include "store/engine/CodePage.h"
#include "store/engine/EngineError.h"

namespace tindrel::exchange {
namespace {

// Whether the code page holds the text; when not, what the first character it cannot hold is.
bool Holds(const engine::CodePage& codePage, std::string_view text, std::string* refused) {
  try {
    codePage.Encode(text, "");
    return true;
  } catch (const engine::EngineError&) {
  }
  size_t at = 0;
  while (at < text.size()) {
    const size_t from = at;
    char32_t c;
    if (!NextChar(text, at, c)) {
      *refused = "bytes that are not UTF-8";
      return false;
    }
    try {
      codePage.Encode(text.substr(from, at - from), "");
    } catch (const engine::EngineError&) {
      *refused = "'" + std::string(text.substr(from, at - from)) + "' (" + CodePointName(c) + ")";
      return false;
    }
  }
  return true;
}

// The first line of a title, cut to `width` characters at a word's end where one is near.
std::string CutTitle(std::string_view title, size_t width) {
  std::string_view line = title.substr(0, title.find_first_of("\r\n"));
  size_t chars = 0, at = 0, lastBlank = std::string_view::npos, blankChars = 0;
  while (at < line.size() && chars < width) {
    if (line[at] == ' ') {
      lastBlank = at;
      blankChars = chars;
    }
    char32_t c;
    if (!NextChar(line, at, c)) ++at;
    ++chars;
  }
  const bool fits = at >= line.size();
  // Cut after the last word when the blank before it falls in the second half of what fits; the
  // next character being a blank means the cut ends a word already.
  if (!fits && !(at < line.size() && line[at] == ' ') && lastBlank != std::string_view::npos && blankChars * 2 >= width)
    at = lastBlank;
  std::string kept(line.substr(0, at));
  while (!kept.empty() && kept.back() == ' ') kept.pop_back();
  return kept;
}

size_t CharCount(std::string_view text) {
  size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

}  // namespace

std::vector<std::string> FitOutline(Outline& outline, const engine::CodePage& codePage, size_t titleWidth) {
  const std::string page = codePage.Number() ? "code page " + std::to_string(codePage.Number()) : "ISO 8859-1";
  Refusal refusal("The table's " + page + " cannot hold these characters, so nothing was imported:");
  for (const OutlineNote& note : outline.notes) {
    std::string refused;
    if (!Holds(codePage, note.title, &refused))
      refusal.Add(note.place + ": the title \"" + note.title + "\" holds " + refused);
    if (!Holds(codePage, note.memo, &refused))
      refusal.Add(note.place + ": the memo of \"" + note.title + "\" holds " + refused);
  }
  refusal.ThrowIfAny();

  std::vector<std::string> notices;
  for (OutlineNote& note : outline.notes) {
    const bool lineBreak = note.title.find_first_of("\r\n") != std::string::npos;
    if (!lineBreak && CharCount(note.title) <= titleWidth) continue;
    std::string kept = CutTitle(note.title, titleWidth);
    notices.push_back(note.place + ": the title " +
                      (lineBreak ? std::string("holds a line break") :
                                   "is longer than the " + std::to_string(titleWidth) + " characters a title may have") +
                      "; it is cut to \"" + kept + "\" and kept whole as the first line of the memo");
    const std::string eol = note.memo.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    note.memo = note.memo.empty() ? note.title : note.title + eol + note.memo;
    note.title = std::move(kept);
  }
  return notices;
}

}  // namespace tindrel::exchange
