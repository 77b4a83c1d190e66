#include "exchange/CsvWriter.h"

#include <unordered_set>

namespace tindrel::exchange {
namespace {

void AppendField(std::string& out, std::string_view field) {
  if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += field;
    return;
  }
  out += '"';
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

std::string PathStep(std::string_view title) {
  std::string step;
  for (char c : title) {
    if (c == '/' || c == '\\') step += '\\';
    step += c;
  }
  return step;
}

bool OwnIdsHold(const Outline& outline) {
  std::unordered_set<std::string_view> ids;
  for (const OutlineNote& note : outline.notes)
    if (note.id.empty() || !ids.insert(note.id).second) return false;
  return true;
}

}  // namespace

void WriteCsv(const Outline& outline, TextSink& out, const Progress& progress) {
  const bool ownIds = OwnIdsHold(outline);
  const auto idOf = [&](int index) {
    return ownIds ? outline.notes[static_cast<size_t>(index)].id : std::to_string(index + 1);
  };
  // Depth first, the path of a note's parent is the last path made one level up.
  const std::vector<int> depths = DepthsOf(outline);
  std::vector<std::string> pathAt(1);
  std::string text = "ID,Parent,Text,MEMO,Path\r\n";
  const size_t count = outline.notes.size();
  for (size_t i = 0; i < count; ++i) {
    const OutlineNote& note = outline.notes[i];
    const std::string step = PathStep(note.title);
    const size_t depth = static_cast<size_t>(depths[i]);
    if (pathAt.size() <= depth) pathAt.resize(depth + 1);
    pathAt[depth] = depth > 1 ? pathAt[depth - 1] + "/" + step : step;
    AppendField(text, idOf(static_cast<int>(i)));
    text += ',';
    if (note.parent >= 0) AppendField(text, idOf(note.parent));
    text += ',';
    AppendField(text, note.title);
    text += ',';
    AppendField(text, note.memo);
    text += ',';
    AppendField(text, pathAt[depth]);
    text += "\r\n";
    WriteWhenFull(text, out, progress, i + 1, count);
  }
  out.Write(text);
}

}  // namespace tindrel::exchange
