#include "exchange/OpmlWriter.h"

#include <algorithm>

#include "exchange/Refusal.h"
#include "exchange/Utf8.h"

namespace tindrel::exchange {
namespace {

bool XmlCanCarry(char32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

// The first character XML cannot carry, or 0.
char32_t FirstUncarried(std::string_view text) {
  size_t at = 0;
  char32_t c;
  while (NextChar(text, at, c))
    if (!XmlCanCarry(c)) return c;
  return 0;
}

void AppendEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default: out += c;
    }
  }
}

// Indentation shows the nesting to a person; past this many levels it stays as it is, so a very
// deep outline does not grow by the square of its depth.
size_t Indent(int depth) { return 2 * static_cast<size_t>(std::min(depth + 1, 40)); }

}  // namespace

void WriteOpml(const Outline& outline, std::string_view documentTitle, TextSink& out, const Progress& progress) {
  Refusal refusal("XML cannot carry these characters, so nothing was exported:");
  for (const OutlineNote& note : outline.notes) {
    for (auto [text, what] : {std::pair{&note.title, "title"}, std::pair{&note.memo, "memo"}})
      if (const char32_t c = FirstUncarried(*text))
        refusal.Add(note.place + ": the " + what + " of \"" + note.title + "\" holds the control character " +
                    CodePointName(c));
  }
  refusal.ThrowIfAny();

  const std::vector<int> depths = DepthsOf(outline);
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<opml version=\"2.0\">\n  <head>\n    <title>";
  AppendEscaped(text, documentTitle);
  text += "</title>\n  </head>\n  <body>\n";
  const size_t count = outline.notes.size();
  for (size_t i = 0; i < count; ++i) {
    const OutlineNote& note = outline.notes[i];
    const int depth = depths[i];
    text.append(Indent(depth), ' ');
    text += "<outline text=\"";
    AppendEscaped(text, note.title);
    text += '"';
    if (!note.memo.empty()) {
      text += " _note=\"";
      AppendEscaped(text, note.memo);
      text += '"';
    }
    const int next = i + 1 < count ? depths[i + 1] : 1;
    if (next > depth) {
      text += ">\n";
    } else {
      text += "/>\n";
      for (int d = depth - 1; d >= next; --d) {
        text.append(Indent(d), ' ');
        text += "</outline>\n";
      }
    }
    WriteWhenFull(text, out, progress, i + 1, count);
  }
  text += "  </body>\n</opml>\n";
  out.Write(text);
}

}  // namespace tindrel::exchange
