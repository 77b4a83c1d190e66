#include "exchange/MarkdownFolderWriter.h"

#include <unistd.h>

#include <unordered_set>

#include "exchange/MarkdownText.h"
#include "exchange/OutputFolder.h"
#include "exchange/SafeFileName.h"
#include "exchange/TextFold.h"

namespace tindrel::exchange {

std::vector<std::string> SiblingFileNames(const Outline& outline, const std::vector<int>& siblings) {
  // A note takes both its name (its folder) and its name with ".md" (its file): a title ending
  // in ".md" must not take the file of a sibling without it.
  std::unordered_set<std::string> taken;
  std::vector<std::string> names;
  names.reserve(siblings.size());
  for (int index : siblings) {
    const std::string base = SafeFileName(outline.notes[static_cast<size_t>(index)].title);
    std::string name = base;
    for (int n = 2; taken.count(Folded(name)) || taken.count(Folded(name + ".md")); ++n)
      name = base + " (" + std::to_string(n) + ")";
    taken.insert(Folded(name));
    taken.insert(Folded(name + ".md"));
    names.push_back(std::move(name));
  }
  return names;
}

void WriteMarkdownFolder(const Outline& outline, const std::string& folder, std::vector<std::string>& notices,
                         const Progress& progress) {
  OutputFolder out(folder);
  const std::vector<std::vector<int>> children = ChildrenOf(outline);
  struct Level {
    int fd;
    std::string shown;  // the folder's path inside the tree, "" or ending in "/"
    const std::vector<int>* notes;
    std::vector<std::string> names;
    size_t next = 0;
  };
  std::vector<Level> levels;
  const auto enter = [&](int fd, std::string shown, const std::vector<int>& notes) {
    levels.push_back(Level{fd, std::move(shown), &notes, SiblingFileNames(outline, notes)});
    std::string order;
    for (const std::string& name : levels.back().names) order += name + ".md\n";
    out.WriteFile(fd, kOrderFileName, order, levels.back().shown + kOrderFileName);
  };
  struct CloseLevels {
    std::vector<Level>& levels;
    int root;
    ~CloseLevels() {
      for (const Level& level : levels)
        if (level.fd != root) ::close(level.fd);
    }
  } closer{levels, out.Root()};

  enter(out.Root(), "", children.back());
  size_t written = 0;
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next == level.notes->size()) {
      if (level.fd != out.Root()) ::close(level.fd);
      levels.pop_back();
      continue;
    }
    const int index = (*level.notes)[level.next];
    const std::string name = level.names[level.next++];
    const OutlineNote& note = outline.notes[static_cast<size_t>(index)];
    const std::string shown = level.shown + name;
    if (TitleLine(note.title) != note.title)
      notices.push_back(note.place + ": the title \"" + TitleLine(note.title) +
                        "\" holds line breaks, which its heading in " + shown + ".md shows as blanks");
    out.WriteFile(level.fd, name + ".md", NoteFileText(note.title, note.memo), shown + ".md");
    if (!children[static_cast<size_t>(index)].empty()) {
      const int fd = out.MakeFolder(level.fd, name, shown);
      enter(fd, shown + "/", children[static_cast<size_t>(index)]);
    }
    if (++written % 256 == 0) Report(progress, "Writing the notes", written, outline.notes.size());
  }
  out.Commit();
}

}  // namespace tindrel::exchange
