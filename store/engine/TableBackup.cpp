#include "store/engine/TableBackup.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

#include "store/engine/EngineError.h"
#include "store/engine/Journal.h"

namespace tindrel::engine {
namespace {

constexpr const char* kPartialSuffix = "-partial";
constexpr size_t kCopyChunk = size_t(4) << 20;

struct KindName {
  BackupKind kind;
  const char* suffix;  // behind the time in the name
  const char* text;
};
constexpr KindName kKinds[] = {
    {BackupKind::Manual, "", "made on request"},
    {BackupKind::AtClose, "-at-close", "made at close"},
    {BackupKind::BeforePack, "-before-pack", "made before a pack"},
    {BackupKind::BeforeRestore, "-before-restore", "the notes before a restore"},
};

const KindName& NameOf(BackupKind kind) {
  for (const KindName& k : kKinds)
    if (k.kind == kind) return k;
  return kKinds[0];
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string FileName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithoutExtension(const std::string& name) {
  const auto dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

bool EndsWithNoCase(const std::string& s, const std::string& end) {
  if (s.size() < end.size()) return false;
  return std::equal(end.begin(), end.end(), s.end() - end.size(),
                    [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b)); });
}

FileSystem& Or(FileSystem* fs) { return fs ? *fs : FileSystem::Default(); }

std::string FolderFor(const std::string& tablePath, const std::string& folder) {
  return folder.empty() ? BackupFolderOf(tablePath) : folder;
}

std::string StampText(const BackupTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d-%02d-%02d-%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  return text;
}

// Reads "<base>-YYYY-MM-DD-HH-MM-SS[-N][<kind suffix>]" (without the extension).
bool ParseName(const std::string& name, const std::string& base, BackupInfo& info) {
  if (name.size() < base.size() + 20 || name.compare(0, base.size(), base) != 0 || name[base.size()] != '-') return false;
  const std::string stamp = name.substr(base.size() + 1, 19);
  BackupTime& t = info.time;
  char end = 0;
  if (std::sscanf(stamp.c_str(), "%4d-%2d-%2d-%2d-%2d-%2d%c", &t.year, &t.month, &t.day, &t.hour, &t.minute, &t.second,
                  &end) != 6 ||
      StampText(t) != stamp)
    return false;
  std::string rest = name.substr(base.size() + 20);
  info.sequence = 1;
  if (rest.size() >= 2 && rest[0] == '-' && std::isdigit(static_cast<unsigned char>(rest[1]))) {
    size_t digits = 1;
    while (digits < rest.size() && std::isdigit(static_cast<unsigned char>(rest[digits]))) ++digits;
    if (digits > 6) return false;
    info.sequence = std::stoi(rest.substr(1, digits - 1));
    rest = rest.substr(digits);
  }
  for (const KindName& k : kKinds)
    if (rest == k.suffix) {
      info.kind = k.kind;
      return true;
    }
  return false;
}

// The backups of the table in the folder, without their note counts, newest first.
std::vector<BackupInfo> FindBackups(FileSystem& fs, const std::string& tablePath, const std::string& folder) {
  std::vector<BackupInfo> found;
  if (!fs.Exists(folder)) return found;
  const std::string base = WithoutExtension(FileName(tablePath));
  for (const std::string& name : fs.ListFolder(folder)) {
    if (!EndsWithNoCase(name, ".dbf")) continue;
    BackupInfo info;
    if (!ParseName(WithoutExtension(name), base, info)) continue;
    info.path = folder + "/" + name;
    found.push_back(std::move(info));
  }
  std::sort(found.begin(), found.end(), [](const BackupInfo& a, const BackupInfo& b) {
    if (a.time != b.time) return a.time > b.time;
    return a.sequence > b.sequence;
  });
  return found;
}

// The files of a backup or a table beside its table file: the table, memo file and index that exist.
std::vector<std::string> ExistingFiles(FileSystem& fs, const std::string& tablePath) {
  std::vector<std::string> files;
  for (const std::string& path : {tablePath, Table::CompanionOf(tablePath, ".dbt", &fs), Table::CompanionOf(tablePath, ".mdx", &fs)})
    if (fs.Exists(path)) files.push_back(path);
  return files;
}

// Leftovers of an interrupted backup of this table: partial copies, and memo files or indexes
// whose table file never arrived.
void RemoveLeftovers(FileSystem& fs, const std::string& tablePath, const std::string& folder) {
  const std::string base = WithoutExtension(FileName(tablePath)) + "-";
  for (const std::string& name : fs.ListFolder(folder)) {
    if (name.compare(0, base.size(), base) != 0) continue;
    const std::string path = folder + "/" + name;
    if (name.ends_with(kPartialSuffix)) {
      fs.Remove(path);
      continue;
    }
    if (!EndsWithNoCase(name, ".dbt") && !EndsWithNoCase(name, ".mdx")) continue;
    const std::string stem = folder + "/" + WithoutExtension(name);
    if (!fs.Exists(stem + ".dbf") && !fs.Exists(stem + ".DBF")) fs.Remove(path);
  }
}

EngineError Refusal(const std::string& backupPath, const std::string& why) {
  return EngineError(ResultCode::InvalidCall, "The backup " + backupPath + " cannot be restored: " + why +
                                                  "; nothing was changed",
                     {"File: " + backupPath});
}

// A free name for a new backup of the table in `folder` (made when missing, its leftovers removed).
std::string NewBackupPath(FileSystem& fs, const std::string& tablePath, const std::string& folder, BackupKind kind,
                          const BackupTime& when) {
  fs.CreateFolder(folder);
  RemoveLeftovers(fs, tablePath, folder);
  const std::string stem = folder + "/" + WithoutExtension(FileName(tablePath)) + "-" + StampText(when);
  const std::string suffix = NameOf(kind).suffix;
  std::string target = stem + suffix + ".dbf";
  for (int n = 2; !ExistingFiles(fs, target).empty(); ++n) target = stem + "-" + std::to_string(n) + suffix + ".dbf";
  return target;
}

void CopyFile(FileSystem& fs, File& from, const std::string& to) {
  auto out = fs.Open(to, OpenMode::CreateReadWrite);
  const uint64_t size = from.Size();
  std::string chunk(static_cast<size_t>(std::min<uint64_t>(size, kCopyChunk)), '\0');
  for (uint64_t at = 0; at < size;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk.size(), size - at));
    const size_t got = from.ReadAt(at, chunk.data(), want);
    if (got != want)
      throw EngineError(ResultCode::IoError, "Reading " + from.Path() + " ended early while copying it", {"File: " + from.Path()});
    out->WriteAt(at, chunk.data(), got);
    at += got;
  }
  out->Sync();
}

}  // namespace

const char* BackupKindText(BackupKind kind) { return NameOf(kind).text; }

std::string BackupFolderOf(const std::string& tablePath) { return FolderOf(tablePath) + "/Backups"; }

void CopyFilesWhole(FileSystem& fs, const std::vector<std::pair<File*, std::string>>& copies) {
  try {
    for (const auto& [file, target] : copies) CopyFile(fs, *file, target + kPartialSuffix);
    // The table last: once it is in place, so is the rest of the backup.
    for (size_t i = copies.size(); i-- > 0;) fs.Rename(copies[i].second + kPartialSuffix, copies[i].second);
  } catch (...) {
    // A rename that failed may have happened all the same. The table first: without it, what
    // is left is no backup.
    for (const auto& [file, target] : copies)
      for (const std::string& path : {target, target + kPartialSuffix})
        try { fs.Remove(path); } catch (...) {}
    throw;
  }
}

std::string BackUpTable(Table& table, BackupKind kind, const BackupTime& when, const std::string& folder,
                        FileSystem* fsp) {
  FileSystem& fs = Or(fsp);
  const std::string target = NewBackupPath(fs, table.Path(), FolderFor(table.Path(), folder), kind, when);
  table.Backup(target);
  return target;
}

std::vector<BackupInfo> ListBackups(const std::string& tablePath, const std::string& folder, FileSystem* fsp) {
  FileSystem& fs = Or(fsp);
  std::vector<BackupInfo> backups = FindBackups(fs, tablePath, FolderFor(tablePath, folder));
  for (BackupInfo& info : backups) {
    try {
      OpenOptions options;
      options.exclusive = false;
      options.readOnly = true;
      options.fileSystem = &fs;
      auto backup = Table::Open(info.path, options);
      for (uint32_t r = 1; r <= backup->RecordCount(); ++r) info.notes += !backup->ReadRecord(r).IsDeleted();
    } catch (const EngineError& e) {
      info.problem = e.MainText();
    }
  }
  return backups;
}

std::vector<std::string> PruneBackups(const std::string& tablePath, BackupKind kind, int keep, const std::string& folder,
                                      FileSystem* fsp) {
  FileSystem& fs = Or(fsp);
  std::vector<std::string> removed;
  int seen = 0;
  for (const BackupInfo& info : FindBackups(fs, tablePath, FolderFor(tablePath, folder))) {
    if (info.kind != kind || ++seen <= keep) continue;
    // The table file first: without it the rest no longer counts as a backup.
    for (const std::string& file : ExistingFiles(fs, info.path)) fs.Remove(file);
    removed.push_back(info.path);
  }
  return removed;
}

RestoreResult RestoreTable(const std::string& tablePath, const std::string& backupPath, const BackupTime& when,
                           FileSystem* fsp) {
  FileSystem& fs = Or(fsp);
  RestoreResult result;

  // 1.
  if (FileName(backupPath) == FileName(tablePath) && FolderOf(backupPath) == FolderOf(tablePath))
    throw Refusal(backupPath, "it is the table itself");
  std::vector<std::string> backupFiles;
  {
    OpenOptions options;
    options.exclusive = false;
    options.readOnly = true;
    options.fileSystem = &fs;
    std::unique_ptr<Table> backup;
    try {
      backup = Table::Open(backupPath, options);
    } catch (const EngineError& e) {
      throw Refusal(backupPath, e.MainText());
    }
    if (const auto problems = backup->Check(); !problems.empty()) throw Refusal(backupPath, problems.front());
    backupFiles = backup->FilePaths();
  }
  const std::string memoPath = Table::CompanionOf(tablePath, ".dbt", &fs);
  const std::string indexPath = Table::CompanionOf(tablePath, ".mdx", &fs);
  std::vector<std::string> targets{tablePath};
  for (const std::string& file : std::vector<std::string>(backupFiles.begin() + 1, backupFiles.end()))
    targets.push_back(EndsWithNoCase(file, ".dbt") ? memoPath : indexPath);
  for (const auto& [path, what] : {std::pair{memoPath, "memo file"}, std::pair{indexPath, "index"}})
    if (fs.Exists(path) && std::find(targets.begin(), targets.end(), path) == targets.end())
      throw Refusal(backupPath, std::string("it has no ") + what + ", and the table's " + path + " would be left beside it");

  // 2.
  const std::string journalPath = Journal::PathFor(tablePath);
  auto lockTable = [&]() -> std::unique_ptr<File> {
    if (!fs.Exists(tablePath)) return nullptr;
    if (!fs.IsWritable(tablePath) || !fs.IsWritable(FolderOf(tablePath)))
      throw EngineError(ResultCode::ReadOnlyTable, "The files of " + tablePath + " cannot be written; nothing was changed",
                        {"File: " + tablePath});
    auto lock = fs.Open(tablePath, OpenMode::ReadWrite);
    if (!lock->TryLockExclusive())
      throw EngineError(ResultCode::TableInUse,
                        "The table " + tablePath + " is in use by another program; close it there and restore again",
                        {"File: " + tablePath});
    return lock;
  };
  std::unique_ptr<File> lock = lockTable();

  // 3. A completed pack or restore may have renamed a new table file into place: the lock goes
  // with the file that is there now.
  if (std::string done = Journal::Recover(fs, journalPath); !done.empty()) {
    result.notices.push_back(done);
    lock.reset();
    lock = lockTable();
  }

  // 4.
  const std::vector<std::string> current = ExistingFiles(fs, tablePath);
  if (!current.empty() && current.front() == tablePath) {
    const std::string target = NewBackupPath(fs, tablePath, BackupFolderOf(tablePath), BackupKind::BeforeRestore, when);
    std::vector<std::unique_ptr<File>> open;
    std::vector<std::pair<File*, std::string>> copies;
    for (const std::string& file : current) {
      open.push_back(fs.Open(file, OpenMode::ReadOnly));
      copies.emplace_back(open.back().get(), WithoutExtension(target) + file.substr(file.rfind('.')));
    }
    CopyFilesWhole(fs, copies);
    result.keptAs = target;
  }

  // 5.
  std::vector<std::pair<std::string, std::string>> renames;
  try {
    for (size_t i = 0; i < backupFiles.size(); ++i) {
      auto from = fs.Open(backupFiles[i], OpenMode::ReadOnly);
      const std::string temp = targets[i] + Journal::kRestoreSuffix;
      CopyFile(fs, *from, temp);
      renames.emplace_back(temp, targets[i]);
    }
  } catch (...) {
    for (const auto& [temp, target] : renames) try { fs.Remove(temp); } catch (...) {}
    try { fs.Remove(targets[renames.size()] + Journal::kRestoreSuffix); } catch (...) {}
    throw;
  }
  // 6. The table's own file goes last: its rename completes the swap.
  std::rotate(renames.begin(), renames.begin() + 1, renames.end());
  Journal::RenameAll(fs, journalPath, renames);
  return result;
}

}  // namespace tindrel::engine
