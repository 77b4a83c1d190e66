#include "exchange/MarkdownFolderReader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <unordered_map>

#include "exchange/ExchangeError.h"
#include "exchange/MarkdownText.h"
#include "exchange/OutputFile.h"
#include "exchange/TextFold.h"
#include "exchange/Utf8.h"

namespace tindrel::exchange {
namespace {

struct Entry {
  std::string stem;  // the note's name
  std::string file;  // "<stem>.md", or "" for a folder without a file
  bool folder = false;
};

// The stem of a Markdown file's name, or "" when the name is not one.
std::string MarkdownStem(const std::string& name) {
  for (std::string_view extension : {".md", ".markdown"}) {
    if (name.size() > extension.size() &&
        Folded(std::string_view(name).substr(name.size() - extension.size())) == extension)
      return name.substr(0, name.size() - extension.size());
  }
  return {};
}

class Walker {
 public:
  Walker(const std::string& folder, const Progress& progress) : progress_(progress) {
    root_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root_ < 0)
      throw ExchangeError(errno == ENOTDIR ? folder + " is not a folder" : SystemFailure("read the folder", folder));
  }
  ~Walker() {
    for (const Level& level : levels_) ::close(level.fd);
  }

  Outline Run() {
    Enter(root_, "", -1);
    root_ = -1;  // closed with its level
    while (!levels_.empty()) {
      Level& level = levels_.back();
      if (level.next == level.entries.size()) {
        ::close(level.fd);
        levels_.pop_back();
        continue;
      }
      const Entry entry = level.entries[level.next++];
      const int fd = level.fd;
      const std::string shown = level.shown;
      OutlineNote note;
      note.parent = level.parent;
      if (entry.file.empty()) {
        note.title = entry.stem;
        note.place = shown + entry.stem + "/";
      } else {
        note.place = shown + entry.file;
        const std::string text = ReadWholeFileAt(fd, entry.file, note.place);
        if (const size_t bad = FindInvalidUtf8(text); bad != std::string::npos)
          throw ExchangeError(note.place + " is not UTF-8 text (" + DescribePosition(text, bad) + ")");
        NoteFile parsed = ParseNoteFile(text, entry.stem);
        note.title = std::move(parsed.title);
        note.memo = std::move(parsed.memo);
      }
      const int index = static_cast<int>(outline_.notes.size());
      outline_.notes.push_back(std::move(note));
      if (outline_.notes.size() % 256 == 0) Report(progress_, "Reading the notes", outline_.notes.size(), 0);
      if (entry.folder) {
        const std::string folderShown = shown + entry.stem + "/";
        const int child = ::openat(fd, entry.stem.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (child < 0) throw ExchangeError(SystemFailure("read the folder", folderShown));
        Enter(child, folderShown, index);
      }
    }
    return std::move(outline_);
  }

 private:
  struct Level {
    int fd;
    std::string shown;
    int parent;
    std::vector<Entry> entries;
    size_t next = 0;
  };

  // Lists a folder's notes in order and makes it the level being read; takes `fd`.
  void Enter(int fd, const std::string& shown, int parent) {
    struct stat self{};
    if (::fstat(fd, &self) != 0 || !visited_.insert({self.st_dev, self.st_ino}).second) {
      outline_.notices.push_back(shown + ": the folder leads back to a folder already read; what it holds is passed over");
      ::close(fd);
      return;
    }
    levels_.push_back({fd, shown, parent, {}});
    const int listing = ::dup(fd);
    DIR* dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (!dir) {
      if (listing >= 0) ::close(listing);
      throw ExchangeError(SystemFailure("read the folder", shown.empty() ? std::string(".") : shown));
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
    ::closedir(dir);

    std::vector<std::string> order;
    std::vector<std::pair<std::string, std::string>> files;  // (stem, file name)
    std::set<std::string> stems;
    std::set<std::string> folders;
    for (const std::string& name : names) {
      if (name == "." || name == "..") continue;
      if (name == kOrderFileName) {
        const std::string listed = ReadWholeFileAt(fd, name, shown + name);
        for (size_t at = 0; at < listed.size();) {
          size_t end = listed.find('\n', at);
          if (end == std::string::npos) end = listed.size();
          std::string line = listed.substr(at, end - at);
          if (!line.empty() && line.back() == '\r') line.pop_back();
          if (!line.empty()) order.push_back(std::move(line));
          at = end + 1;
        }
        continue;
      }
      if (name[0] == '.') continue;
      struct stat info{};
      if (::fstatat(fd, name.c_str(), &info, 0) != 0) throw ExchangeError(SystemFailure("read", shown + name));
      if (S_ISDIR(info.st_mode)) {
        folders.insert(name);
      } else if (const std::string stem = MarkdownStem(name); S_ISREG(info.st_mode) && !stem.empty()) {
        files.emplace_back(stem, name);
        stems.insert(stem);
      } else {
        outline_.notices.push_back(shown + name + ": not a Markdown file; passed over");
      }
    }
    std::vector<Entry>& entries = levels_.back().entries;
    // A folder belongs to the first file of its name; "A.md" and "A.markdown" are two notes.
    std::sort(files.begin(), files.end());
    std::set<std::string> paired;
    for (const auto& [stem, file] : files)
      entries.push_back({stem, file, folders.count(stem) > 0 && paired.insert(stem).second});
    for (const std::string& folder : folders)
      if (!stems.count(folder)) entries.push_back({folder, "", true});

    std::unordered_map<std::string, size_t> listedAt;
    for (size_t i = 0; i < order.size(); ++i) listedAt.emplace(order[i], i);
    const auto rank = [&](const Entry& e) {
      const auto byFile = listedAt.find(e.file.empty() ? e.stem : e.file);
      return byFile == listedAt.end() ? order.size() : byFile->second;
    };
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
      const size_t ra = rank(a), rb = rank(b);
      if (ra != rb) return ra < rb;
      return CompareNatural(a.stem, b.stem) < 0;
    });
  }

  const Progress& progress_;
  int root_ = -1;
  std::vector<Level> levels_;
  std::set<std::pair<dev_t, ino_t>> visited_;
  Outline outline_;
};

}  // namespace

Outline ReadMarkdownFolder(const std::string& folder, const Progress& progress) {
  return Walker(folder, progress).Run();
}

}  // namespace tindrel::exchange
