#pragma once
// Conversion between a table's single-byte code page and UTF-8.
//
// The tables are built once per code page (through iconv) into a 256-entry decode table and an
// encode map, so converting a field is a table lookup per byte. Bytes the code page does not map
// decode to the private-use characters U+F700 + byte, and those characters encode back to the
// same byte: text read and written untouched keeps every byte.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tindrel::engine {

class CodePage {
 public:
  // The code page a language driver byte names; 0 when the byte is 0 or unknown.
  static int FromLanguageDriver(uint8_t ldid);
  // The language driver byte this engine writes for a code page; 0 when it has none.
  static uint8_t LanguageDriverFor(int codePage);
  // Whether this engine can convert the code page (single-byte pages glibc knows, and 0).
  static bool IsSupported(int codePage);

  // The shared converter for a code page (0: ISO 8859-1, each byte the character of the same
  // number). Throws EngineError(Unsupported) for a code page that cannot be converted.
  static std::shared_ptr<const CodePage> Get(int codePage);

  int Number() const { return number_; }
  std::string Decode(std::string_view raw) const;
  // The same text as UTF-16, one unit per byte (every byte decodes to one character of the Basic
  // Multilingual Plane): `out` has room for raw.size() units.
  void DecodeUnits(std::string_view raw, char16_t* out) const;
  // Refuses a character the code page cannot hold with EngineError(UnmappableCharacter) naming
  // the character, its U+ code and the field; text that is not UTF-8 gives InvalidValue.
  std::string Encode(std::string_view utf8, std::string_view fieldName) const;

  explicit CodePage(int number);  // use Get()

 private:
  struct Utf8 {
    char bytes[4];
    uint8_t length;
  };
  int number_;
  bool asciiIdentity_ = true;  // bytes below 0x80 are the ASCII characters
  std::array<Utf8, 256> decode_{};
  std::array<char16_t, 256> units_{};
  // Code point -> byte + 1 for the Basic Multilingual Plane (0: not representable).
  std::vector<uint16_t> encode_;
};

}  // namespace tindrel::engine
