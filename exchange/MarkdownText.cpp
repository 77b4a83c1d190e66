#include "exchange/MarkdownText.h"

#include "exchange/Utf8.h"

namespace tindrel::exchange {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Whether, after `backslashes` leading backslashes, the line reads as structure.
bool LooksLikeStructure(std::string_view line, size_t backslashes) {
  std::string_view rest = line.substr(backslashes);
  while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
  return !rest.empty() && (rest.front() == '#' || rest.front() == '-' || rest.substr(0, 3) == "```" ||
                           rest.substr(0, 3) == "~~~");
}

size_t LeadingBackslashes(std::string_view line) {
  size_t n = 0;
  while (n < line.size() && line[n] == '\\') ++n;
  return n;
}

}  // namespace

std::string TitleLine(std::string_view title) {
  std::string line(title);
  for (char& c : line)
    if (c == '\r' || c == '\n') c = ' ';
  return line;
}

void AppendMemoLines(std::string& out, std::string_view memo, size_t indent) {
  size_t start = 0;
  for (;;) {
    const size_t end = memo.find('\n', start);
    const std::string_view line = memo.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    out.append(indent, ' ');
    if (LooksLikeStructure(line, LeadingBackslashes(line))) out += '\\';
    out += line;
    if (end == std::string_view::npos) return;
    out += '\n';
    start = end + 1;
  }
}

std::string MemoFromLines(std::string_view lines, size_t indent) {
  std::string memo;
  memo.reserve(lines.size());
  size_t start = 0;
  for (;;) {
    const size_t end = lines.find('\n', start);
    std::string_view line = lines.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    for (size_t n = 0; n < indent && !line.empty() && line.front() == ' '; ++n) line.remove_prefix(1);
    const size_t backslashes = LeadingBackslashes(line);
    if (backslashes > 0 && LooksLikeStructure(line, backslashes)) line.remove_prefix(1);
    memo += line;
    if (end == std::string_view::npos) return memo;
    memo += '\n';
    start = end + 1;
  }
}

std::string NoteFileText(std::string_view title, std::string_view memo) {
  std::string text = "# " + TitleLine(title) + "\n";
  if (!memo.empty()) {
    text += '\n';
    text += memo;
  }
  return text;
}

NoteFile ParseNoteFile(std::string_view text, std::string_view fallbackTitle) {
  text = WithoutByteOrderMark(text);
  if (text.substr(0, 2) != "# " && text != "#" && text.substr(0, 2) != "#\n" && text.substr(0, 3) != "#\r\n")
    return {std::string(fallbackTitle), std::string(text)};
  const size_t end = text.find('\n');
  std::string_view heading = text.substr(0, end);
  const bool crlf = !heading.empty() && heading.back() == '\r';
  if (crlf) heading.remove_suffix(1);
  NoteFile note{std::string(heading.substr(heading.size() > 1 ? 2 : 1)), {}};
  if (end == std::string_view::npos) return note;
  std::string_view rest = text.substr(end + 1);
  const std::string_view blank = crlf ? "\r\n" : "\n";
  if (rest.substr(0, blank.size()) == blank) rest.remove_prefix(blank.size());
  note.memo = rest;
  return note;
}

}  // namespace tindrel::exchange
