// Fuzz target: a whole OPML document. What reads must write and read back to the same notes;
// anything but a clean read or an ExchangeError is a fault.

#include <cstdint>
#include <string_view>

#include "exchange/ExchangeError.h"
#include "exchange/OpmlReader.h"
#include "exchange/OpmlWriter.h"
#include "fuzz/FuzzExchangeCheck.h"

using namespace tindrel::exchange;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view document(reinterpret_cast<const char*>(data), size);
  Outline outline;
  try {
    outline = ReadOpml(document);
  } catch (const ExchangeError&) {
    return 0;
  }
  StringSink out;
  WriteOpml(outline, "fuzz", out);  // XML's own characters only came in: nothing to refuse
  fuzzing::RequireSameNotes(outline, ReadOpml(out.Text()), false);
  return 0;
}
