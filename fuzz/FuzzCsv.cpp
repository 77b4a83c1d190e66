// Fuzz target: a whole CSV file. What reads must write and read back to the same notes, in the
// same tree; anything but a clean read or an ExchangeError is a fault.

#include <cstdint>
#include <string_view>

#include "exchange/CsvReader.h"
#include "exchange/CsvWriter.h"
#include "exchange/ExchangeError.h"
#include "fuzz/FuzzExchangeCheck.h"

using namespace tindrel::exchange;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view document(reinterpret_cast<const char*>(data), size);
  Outline outline;
  try {
    outline = ReadCsv(document);
  } catch (const ExchangeError&) {
    return 0;
  }
  StringSink out;
  WriteCsv(outline, out);
  fuzzing::RequireSameNotes(outline, ReadCsv(out.Text()), false);
  return 0;
}
