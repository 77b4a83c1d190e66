#pragma once
// Comparing stored text in its single-byte code page, without decoding it.
//
// Each byte of a single-byte code page decodes to one character wherever it stands. When the
// upper-casing the comparison uses is applied character by character (no context, as Unicode's
// full mapping outside a few languages), the folded text of stored bytes is the concatenation of
// each byte's folded character(s). So a table of 256 entries, made once per code page and fold,
// turns every byte into the smallest byte that folds to the same character, and a folded search
// text into the same canonical bytes: two texts are equal after folding exactly when their
// canonical bytes are. A byte that folds to more than one character ("ß" gives "SS", "ΐ" three
// characters) stands for the canonical bytes of each of them; characters that no byte folds to
// alone (a combining accent) get byte values no canonical byte uses. A text holding such a byte
// is expanded before it is compared; one the fold cannot express (no byte value left) is left
// to the decoding comparison.

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tindrel {

class CodePageFold {
 public:
  using Upper = std::function<QString(const QString&)>;

  // The fold of a table's code page (engine numbering, 0: ISO 8859-1). `upper` is the
  // upper-casing of a case-insensitive comparison, empty for a case-sensitive one; `foldKey`
  // names it (the same key must mean the same function), so a fold is built once per code page
  // and key. Null for a code page the engine cannot convert.
  static std::shared_ptr<const CodePageFold> Get(int codePage, const QString& foldKey, const Upper& upper);

  // An already folded search text in canonical bytes, with its shift table for Contains.
  struct Needle {
    std::string bytes;
    std::array<uint32_t, 256> shift{};  // by stored byte
    // The stored bytes that fold to the first and to the last byte of the pattern, for the
    // vector search: kEnds at most (the rest of each array repeats its first byte); a count of
    // kEnds + 1 means more, and Contains searches by the shift table alone.
    static constexpr int kEnds = 4;
    std::array<uint8_t, kEnds> firstBytes{}, lastBytes{};
    int firstCount = 0, lastCount = 0;
  };
  // nullopt when no stored text the fold decides can hold the text (a character that no byte
  // folds to).
  std::optional<Needle> Pattern(const QString& folded) const;

  // The comparisons of stored bytes with a canonical pattern; nullopt when the fold cannot
  // decide them (a byte whose folded characters it cannot express). An empty pattern starts
  // every text and occurs in every text; callers apply their own rule for it.
  enum class Test { Equals, StartsWith, Contains };
  // Whether Matches decides for these bytes.
  bool Expresses(std::string_view bytes) const;
  std::optional<bool> Matches(std::string_view bytes, const Needle& pattern, Test test) const;

  explicit CodePageFold(int codePage, const Upper& upper);  // use Get()

 private:
  bool identity_ = true;  // no byte changes: the comparisons are plain byte comparisons
  std::array<uint8_t, 256> canonical_{};
  bool Plain(std::string_view bytes) const;  // no byte folds to more than one character
  void Expand(std::string_view bytes, std::string& out) const;  // canonical bytes, expansions included
  std::optional<uint8_t> Id(QChar c) const;  // the canonical byte of a folded character
  bool Equals(std::string_view bytes, const Needle& pattern) const;
  bool StartsWith(std::string_view bytes, const Needle& pattern) const;
  bool Contains(std::string_view bytes, const Needle& pattern) const;
  bool ContainsByShifts(std::string_view bytes, const Needle& pattern) const;
  // The pattern's bytes between its first and its last, compared at `text`.
  bool MiddleMatches(const unsigned char* text, const Needle& pattern) const;

  std::array<bool, 256> undecided_{};  // folds to more than one character
  std::string undecidedBytes_;
  std::array<QChar, 256> folded_{};
  std::array<std::string, 256> expansion_;  // an undecided byte's canonical bytes
  std::array<bool, 256> expressible_{};     // an undecided byte whose expansion exists
  bool allExpressible_ = true;
  std::vector<std::pair<QChar, uint8_t>> extraIds_;  // characters only expansions hold
};

// Whether memo comparisons take the byte path where it decides (on by default). Tests and
// benchmarks switch it off to run the decoding comparison that the byte path must agree with.
void SetMemoBytePath(bool on);
bool MemoBytePath();

}  // namespace tindrel
