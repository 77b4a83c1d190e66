#include "exchange/MarkdownFileWriter.h"

#include "exchange/MarkdownText.h"

namespace tindrel::exchange {

void WriteMarkdownFile(const Outline& outline, TextSink& out, std::vector<std::string>& notices,
                       const Progress& progress) {
  const std::vector<int> depths = DepthsOf(outline);
  std::string text;
  const size_t count = outline.notes.size();
  for (size_t i = 0; i < count; ++i) {
    const OutlineNote& note = outline.notes[i];
    const std::string title = TitleLine(note.title);
    if (title != note.title)
      notices.push_back(note.place + ": the title \"" + title + "\" holds line breaks, which its heading shows as blanks");
    const int depth = depths[i];
    size_t indent = 0;
    if (depth <= 6) {
      text.append(static_cast<size_t>(depth), '#');
      text += ' ';
    } else {
      const size_t level = static_cast<size_t>(depth - 7);
      text.append(2 * level, ' ');
      text += "- ";
      indent = 2 * level + 2;
    }
    text += title;
    text += '\n';
    if (!note.memo.empty()) {
      text += '\n';
      AppendMemoLines(text, note.memo, indent);
      text += '\n';
    }
    WriteWhenFull(text, out, progress, i + 1, count);
  }
  out.Write(text);
}

}  // namespace tindrel::exchange
