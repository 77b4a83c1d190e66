// Feeds arbitrary bytes to the production index as a file: opening must either succeed or
// throw EngineError, never crash, hang or allocate without bound. An index that opens is walked
// in every tag, searched, checked, and (when its tags can be maintained) changed: one record
// inserted, updated and removed, and a tag added, so the maintenance code meets trees other
// programs could have written.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "store/engine/ChangeWriter.h"
#include "store/engine/EngineError.h"
#include "store/engine/FileSystem.h"
#include "store/engine/MdxIndex.h"
#include "store/engine/PosixFileSystem.h"

using namespace tindrel::engine;

namespace {

class Direct : public ChangeWriter {
 public:
  void WriteAt(File& file, uint64_t offset, std::string_view bytes) override {
    if (offset > (64u << 20)) std::abort();  // a write far past any sane file is a bug
    file.WriteAt(offset, bytes.data(), bytes.size());
  }
  void Truncate(File& file, uint64_t size) override { file.Truncate(size); }
};

const std::vector<FieldDesc>& Fields() {
  static const std::vector<FieldDesc> fields = {
      {"ID", 'N', 10, 0, 1, true}, {"NAME", 'C', 12, 0, 11, false}, {"BORN", 'D', 8, 0, 23, false}};
  return fields;
}

std::string Path() {
  static std::string path = [] {
    char name[] = "/tmp/fuzz-mdx-XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    return std::string(name);
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  static PosixFileSystem fs;
  std::string path = Path();
  {
    auto file = fs.Open(path, OpenMode::CreateReadWrite);
    file->WriteAt(0, data, size);
  }
  try {
    auto file = fs.Open(path, OpenMode::ReadWrite);
    auto index = MdxIndex::Open(*file, Fields());
    const std::string record = " 1234567890ALPHA       20000101";
    const std::string other = " -42       BETA        19991231";
    std::vector<std::string_view> records = {record, other};
    bool maintainable = true;
    for (int tag = 0; tag < static_cast<int>(index->Tags().size()); ++tag) {
      size_t count = index->EntryCount(tag);
      uint64_t sum = 0;
      for (size_t p = 0; p < count; ++p) sum += index->EntryAt(tag, p).recno;
      if (count > 0) {
        const IndexEntry& middle = index->EntryAt(tag, count / 2);
        if (index->LowerBound(tag, middle.key) > count) std::abort();
        if (index->Find(tag, middle.key, middle.recno) > count) std::abort();
      }
      maintainable = maintainable && index->Tags()[tag].maintainable;
      (void)sum;
    }
    index->Check(records);
    if (maintainable && !index->Tags().empty()) {
      Direct writer;
      uint32_t recno = 0x7FFFFFF0;
      index->InsertRecord(recno, record, writer);
      index->UpdateRecord(recno, record, other, writer);
      index->RemoveRecord(recno, other, writer);
      for (int tag = 0; tag < static_cast<int>(index->Tags().size()); ++tag) {
        if (index->Find(tag, index->MakeKey(tag, other), recno) != index->EntryCount(tag)) std::abort();
      }
      // What was written must read back.
      try {
        auto again = MdxIndex::Open(*file, Fields());
        for (int tag = 0; tag < static_cast<int>(again->Tags().size()); ++tag) {
          if (again->EntryCount(tag) != index->EntryCount(tag)) std::abort();
        }
      } catch (const EngineError&) {
        std::abort();
      }
      // A tag added to an index from elsewhere: every tag rebuilt, the tag table relinked, and
      // the file reads back with one tag more.
      const size_t tags = index->Tags().size();
      try {
        index->AddTag({"FUZZADDED", "NAME"}, records, writer);
      } catch (const EngineError& e) {
        if (e.Code() != ResultCode::InvalidCall) std::abort();
      }
      if (index->Tags().size() == tags + 1) {
        try {
          auto again = MdxIndex::Open(*file, Fields());
          if (again->Tags().size() != tags + 1 || again->FindTag("FUZZADDED") != static_cast<int>(tags)) std::abort();
          if (!again->Check(records).empty()) std::abort();
        } catch (const EngineError&) {
          std::abort();
        }
      }
    }
  } catch (const EngineError&) {
  }
  return 0;
}
