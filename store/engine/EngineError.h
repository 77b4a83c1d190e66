#pragma once
// Every failure of the engine is an EngineError: a result code, a main text and context lines
// (the file, the record, the field...). The dataset layer shows Message() as it stands.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tindrel::engine {

// Result codes. 0 is success; the values group by category in the high byte, so callers can ask
// for "not found" or "end of records" without knowing every code.
enum class ResultCode : uint16_t {
  Ok = 0x0000,
  // 0x21xx: positioning
  EndOfRecords = 0x2101,    // a read moved past the last record
  BeginOfRecords = 0x2102,  // a read moved before the first record
  RecordNotFound = 0x2103,  // a bookmark or record number that is gone (deleted, out of range)
  KeyNotFound = 0x2104,     // an exact key search that found nothing
  // 0x22xx: files
  FileNotFound = 0x2201,    // the table file is missing
  MemoFileMissing = 0x2202, // the table declares memo fields, its memo file is missing
  IndexFileMissing = 0x2203,// the table declares a production index, its index file is missing
  TableInUse = 0x2204,      // another opener holds the table
  ReadOnlyTable = 0x2205,   // a change on a table opened read-only
  IoError = 0x2206,         // the operating system refused a read, write, sync or rename
  // 0x23xx: damaged files
  TableDamaged = 0x2301,
  MemoDamaged = 0x2302,
  IndexDamaged = 0x2303,
  Unsupported = 0x2304,     // a valid file of a kind this engine does not handle
  // 0x24xx: values
  UnmappableCharacter = 0x2401, // a character the table's code page cannot hold
  ValueTooLong = 0x2402,        // a value wider than its field
  InvalidValue = 0x2403,        // not a number, not a date...
  NoSuchField = 0x2404,
  NoSuchIndex = 0x2405,
  // 0x25xx: calls
  InvalidHandle = 0x2501,   // a call on a closed table or cursor
  InvalidCall = 0x2502,
};

inline constexpr uint16_t CategoryOf(ResultCode code) { return static_cast<uint16_t>(code) & 0xFF00; }

class EngineError : public std::runtime_error {
 public:
  EngineError(ResultCode code, std::string mainText, std::vector<std::string> context = {});

  ResultCode Code() const { return code_; }
  const std::string& MainText() const { return mainText_; }
  const std::vector<std::string>& Context() const { return context_; }
  // The main text, then one line per context entry that is not already present.
  // With no text at all: "Engine error $XXXX".
  std::string Message() const { return what(); }

  bool IsNotFound() const { return code_ == ResultCode::RecordNotFound || code_ == ResultCode::KeyNotFound; }

 private:
  static std::string Compose(ResultCode code, const std::string& main, const std::vector<std::string>& context);
  ResultCode code_;
  std::string mainText_;
  std::vector<std::string> context_;
};

}  // namespace tindrel::engine
