// Fuzz target: a .dbf file of arbitrary bytes is opened and every record and field read. Any
// outcome but an EngineError or a clean read is a fault (crash, hang, other exception).

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "store/engine/Cursor.h"
#include "store/engine/EngineError.h"
#include "store/engine/Table.h"

namespace {

const std::string& Folder() {
  static const std::string folder = [] {
    std::string pattern = "/tmp/tindrel-fuzz-dbf-XXXXXX";
    return std::string(::mkdtemp(pattern.data()));
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tindrel::engine;
  const std::string path = Folder() + "/f.dbf";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  try {
    OpenOptions options;
    options.readOnly = true;
    options.tolerateBadIndex = true;
    auto table = Table::Open(path, options);
    auto cursor = table->OpenCursor();
    Record record;
    uint32_t seen = 0;
    while (cursor->Next(record) == ResultCode::Ok && seen++ < 100000)
      for (int f = 0; f < static_cast<int>(table->Fields().size()); ++f) {
        table->GetText(record, f);
        table->IsBlank(record, f);
      }
    table->Check();
  } catch (const EngineError&) {
  }
  return 0;
}
