#include "exchange/MarkdownFileReader.h"

#include "exchange/ExchangeError.h"
#include "exchange/MarkdownText.h"
#include "exchange/Utf8.h"

namespace tindrel::exchange {
namespace {

// The level of an ATX heading line (1-6), or 0.
size_t HeadingLevel(std::string_view line) {
  size_t n = 0;
  while (n < line.size() && n < 7 && line[n] == '#') ++n;
  if (n == 0 || n > 6) return 0;
  return n == line.size() || line[n] == ' ' ? n : 0;
}

bool IsFence(std::string_view line) {
  size_t n = 0;
  while (n < line.size() && n < 3 && line[n] == ' ') ++n;
  line.remove_prefix(n);
  return line.substr(0, 3) == "```" || line.substr(0, 3) == "~~~";
}

bool HasText(std::string_view text) { return text.find_first_not_of(" \t\r\n") != std::string_view::npos; }

}  // namespace

Outline ReadMarkdownFile(std::string_view document, std::string_view fallbackTitle, const Progress& progress) {
  const std::string_view doc = WithoutByteOrderMark(document);
  if (const size_t bad = FindInvalidUtf8(doc); bad != std::string_view::npos)
    throw ExchangeError(DescribePosition(doc, bad) + ": these bytes are not UTF-8 text (only UTF-8 files can be read)");
  const size_t firstBreak = doc.find('\n');
  // The file's own line break: the blank line after a heading and the break before the next
  // one are made of it.
  const std::string_view eol =
      firstBreak != std::string_view::npos && firstBreak > 0 && doc[firstBreak - 1] == '\r' ? "\r\n" : "\n";

  Outline outline;
  struct Open {
    size_t level;
    int note;
  };
  std::vector<Open> open;
  int current = -1;
  size_t indent = 0;
  size_t bodyFrom = 0;
  size_t line = 0;
  const auto finish = [&](size_t to) {
    std::string_view body = doc.substr(bodyFrom, to - bodyFrom);
    if (current < 0 && !HasText(body)) return;
    if (body.substr(0, eol.size()) == eol) body.remove_prefix(eol.size());
    if (body.size() >= eol.size() && body.substr(body.size() - eol.size()) == eol) body.remove_suffix(eol.size());
    if (current < 0) {
      outline.notices.push_back("lines 1-" + std::to_string(line - 1) +
                                ": the text before the first heading is kept as the note \"" +
                                std::string(fallbackTitle) + "\"");
      OutlineNote preamble;
      preamble.title = fallbackTitle;
      preamble.memo = MemoFromLines(body, 0);
      preamble.place = "line 1";
      outline.notes.push_back(std::move(preamble));
      return;
    }
    outline.notes[static_cast<size_t>(current)].memo = MemoFromLines(body, indent);
  };

  bool fence = false;
  size_t reported = 0;
  for (size_t at = 0; at < doc.size();) {
    ++line;
    size_t end = doc.find('\n', at);
    const size_t next = end == std::string_view::npos ? doc.size() : end + 1;
    if (end == std::string_view::npos) end = doc.size();
    std::string_view text = doc.substr(at, end - at);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    const size_t lineStart = at;
    at = next;
    if (fence || IsFence(text)) {
      fence = fence ? !IsFence(text) : true;
      continue;
    }
    size_t level = HeadingLevel(text);
    std::string_view title;
    size_t itemIndent = 0;
    if (level > 0) {
      title = text.substr(std::min(text.size(), level + 1));
    } else if (!open.empty() && open.back().level >= 6) {
      size_t blanks = 0;
      while (blanks < text.size() && text[blanks] == ' ') ++blanks;
      const std::string_view rest = text.substr(blanks);
      const size_t itemLevel = 7 + blanks / 2;
      if (blanks % 2 == 0 && (rest.substr(0, 2) == "- " || rest == "-") && itemLevel <= open.back().level + 1) {
        level = itemLevel;
        title = rest.substr(std::min<size_t>(rest.size(), 2));
        itemIndent = blanks + 2;
      }
    }
    if (level == 0) continue;
    finish(lineStart);
    while (!open.empty() && open.back().level >= level) open.pop_back();
    OutlineNote note;
    note.title = title;
    note.parent = open.empty() ? -1 : open.back().note;
    note.place = "line " + std::to_string(line);
    current = static_cast<int>(outline.notes.size());
    outline.notes.push_back(std::move(note));
    open.push_back({level, current});
    indent = itemIndent;
    bodyFrom = next;
    if (at - reported >= (1u << 20)) {
      reported = at;
      Report(progress, "Reading the notes", at, doc.size());
    }
  }
  ++line;
  finish(doc.size());
  return outline;
}

}  // namespace tindrel::exchange
