#include "store/CodePageFold.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <map>
#include <mutex>
#include <utility>

#include "store/engine/CodePage.h"
#include "store/engine/EngineError.h"

namespace tindrel {

namespace {

std::atomic<bool> bytePath{true};

}  // namespace

void SetMemoBytePath(bool on) { bytePath = on; }
bool MemoBytePath() { return bytePath; }

std::shared_ptr<const CodePageFold> CodePageFold::Get(int codePage, const QString& foldKey, const Upper& upper) {
  static std::mutex mutex;
  static std::map<std::pair<int, QString>, std::shared_ptr<const CodePageFold>> cache;
  std::lock_guard<std::mutex> lock(mutex);
  auto& slot = cache[{codePage, upper ? foldKey : QString()}];
  if (!slot) {
    try {
      slot = std::make_shared<const CodePageFold>(codePage, upper);
    } catch (const engine::EngineError&) {
      return nullptr;
    }
  }
  return slot;
}

CodePageFold::CodePageFold(int codePage, const Upper& upper) {
  const std::shared_ptr<const engine::CodePage> page = engine::CodePage::Get(codePage);
  std::array<QString, 256> texts;
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    QString text = QString::fromStdString(page->Decode(std::string_view(&byte, 1)));
    if (upper) text = upper(text);
    texts[b] = text;
    undecided_[b] = text.size() != 1;
    if (undecided_[b]) undecidedBytes_ += byte;
    else folded_[b] = text.front();
  }
  for (int b = 0; b < 256; ++b) {
    canonical_[b] = static_cast<uint8_t>(b);
    if (undecided_[b]) continue;
    for (int first = 0; first < b; ++first)
      if (!undecided_[first] && folded_[first] == folded_[b]) {
        canonical_[b] = static_cast<uint8_t>(first);
        break;
      }
    if (canonical_[b] != b) identity_ = false;
  }
  // The characters a byte folds to when they are more than one: each the canonical byte of a
  // byte that folds to it alone, or else a byte value no canonical byte uses.
  std::array<bool, 256> used{};
  for (int b = 0; b < 256; ++b)
    if (!undecided_[b]) used[canonical_[b]] = true;
  int nextFree = 0;
  for (int b = 0; b < 256; ++b) {
    if (!undecided_[b]) continue;
    std::string ids;
    bool ok = !texts[b].isEmpty();
    for (QChar c : texts[b]) {
      std::optional<uint8_t> id = Id(c);
      if (!id) {
        while (nextFree < 256 && used[nextFree]) ++nextFree;
        if (nextFree == 256) {
          ok = false;
          break;
        }
        used[nextFree] = true;
        extraIds_.push_back({c, static_cast<uint8_t>(nextFree)});
        id = static_cast<uint8_t>(nextFree);
      }
      ids += static_cast<char>(*id);
    }
    expressible_[b] = ok;
    if (ok) expansion_[b] = ids;
    else allExpressible_ = false;
  }
  // An expanded text is compared as canonical bytes already, by plain byte comparison; the
  // bytes that fold to more than one character never reach the comparisons unexpanded, so they
  // do not make the fold less of an identity.
}

std::optional<uint8_t> CodePageFold::Id(QChar c) const {
  for (int b = 0; b < 256; ++b)
    if (!undecided_[b] && folded_[b] == c) return canonical_[b];
  for (const auto& [ch, id] : extraIds_)
    if (ch == c) return id;
  return std::nullopt;
}

std::optional<CodePageFold::Needle> CodePageFold::Pattern(const QString& folded) const {
  Needle needle;
  needle.bytes.reserve(static_cast<size_t>(folded.size()));
  for (QChar c : folded) {
    const std::optional<uint8_t> id = Id(c);
    if (!id) return std::nullopt;
    needle.bytes += static_cast<char>(*id);
  }
  // Horspool's shifts by stored byte: the shift of the canonical byte it folds to.
  const size_t m = needle.bytes.size();
  if (m > UINT32_MAX) return std::nullopt;
  needle.shift.fill(static_cast<uint32_t>(m));
  for (size_t i = 0; i + 1 < m; ++i) {
    const auto p = static_cast<unsigned char>(needle.bytes[i]);
    for (int b = 0; b < 256; ++b)
      if (!undecided_[b] && canonical_[b] == p) needle.shift[b] = static_cast<uint32_t>(m - 1 - i);
  }
  const auto ends = [&](unsigned char wanted, std::array<uint8_t, Needle::kEnds>& set, int& count) {
    for (int b = 0; b < 256; ++b) {
      if (undecided_[b] || canonical_[b] != wanted) continue;
      if (count == Needle::kEnds) {
        count = Needle::kEnds + 1;
        return;
      }
      set[static_cast<size_t>(count++)] = static_cast<uint8_t>(b);
    }
    for (int k = count; k < Needle::kEnds && count > 0; ++k) set[static_cast<size_t>(k)] = set[0];
  };
  if (m > 0) {
    ends(static_cast<unsigned char>(needle.bytes.front()), needle.firstBytes, needle.firstCount);
    ends(static_cast<unsigned char>(needle.bytes.back()), needle.lastBytes, needle.lastCount);
  }
  return needle;
}

std::optional<bool> CodePageFold::Matches(std::string_view bytes, const Needle& pattern, Test test) const {
  if (Plain(bytes)) {
    switch (test) {
      case Test::Equals: return Equals(bytes, pattern);
      case Test::StartsWith: return StartsWith(bytes, pattern);
      case Test::Contains: return Contains(bytes, pattern);
    }
    return false;
  }
  if (!Expresses(bytes)) return std::nullopt;
  const std::string& p = pattern.bytes;
  const size_t m = p.size();
  // Every byte stands for at least one character, so only the first m bytes can take part in
  // a match at the start, and a text of more than m bytes is never equal to the pattern.
  thread_local std::string expanded;
  switch (test) {
    case Test::Equals:
      if (bytes.size() > m) return false;
      Expand(bytes, expanded);
      return expanded == p;
    case Test::StartsWith:
      Expand(bytes.substr(0, m), expanded);
      return std::string_view(expanded).substr(0, m) == p;
    case Test::Contains: {
      if (m == 0) return true;
      // A match lies inside a stretch of bytes that fold to one character each (searched as
      // it stands), or covers a byte that folds to more: the first such byte it covers is at
      // most m - 1 bytes after its start, so the m - 1 bytes on either side of that byte,
      // expanded, hold it.
      // The next place of each such byte, found by memchr and kept until it is passed.
      std::array<size_t, 256> next{};
      auto nextUndecided = [&](size_t from) {
        size_t best = bytes.size();
        for (size_t k = 0; k < undecidedBytes_.size(); ++k) {
          if (next[k] < from || (from == 0 && next[k] == 0)) {
            const void* hit =
                from < bytes.size() ? std::memchr(bytes.data() + from, undecidedBytes_[k], bytes.size() - from) : nullptr;
            next[k] = hit ? static_cast<size_t>(static_cast<const char*>(hit) - bytes.data()) : bytes.size();
          }
          best = std::min(best, next[k]);
        }
        return best;
      };
      size_t from = 0;
      for (size_t at = nextUndecided(0); at < bytes.size(); at = nextUndecided(at + 1)) {
        if (Contains(bytes.substr(from, at - from), pattern)) return true;
        const size_t begin = at >= m - 1 ? at - (m - 1) : 0;
        Expand(bytes.substr(begin, std::min(bytes.size(), at + m) - begin), expanded);
        if (memmem(expanded.data(), expanded.size(), p.data(), m)) return true;
        from = at + 1;
      }
      return Contains(bytes.substr(from), pattern);
    }
  }
  return false;
}

void CodePageFold::Expand(std::string_view bytes, std::string& out) const {
  out.clear();
  for (unsigned char c : bytes) {
    if (undecided_[c]) out += expansion_[c];
    else out += static_cast<char>(canonical_[c]);
  }
}

bool CodePageFold::Expresses(std::string_view bytes) const {
  if (allExpressible_ || Plain(bytes)) return true;
  for (unsigned char c : bytes)
    if (undecided_[c] && !expressible_[c]) return false;
  return true;
}

bool CodePageFold::Plain(std::string_view bytes) const {
  if (undecidedBytes_.empty() || bytes.empty()) return true;
  if (undecidedBytes_.size() <= 4) {
    for (char b : undecidedBytes_)
      if (std::memchr(bytes.data(), b, bytes.size())) return false;
    return true;
  }
  for (unsigned char c : bytes)
    if (undecided_[c]) return false;
  return true;
}

bool CodePageFold::StartsWith(std::string_view bytes, const Needle& pattern) const {
  const std::string& p = pattern.bytes;
  if (bytes.size() < p.size()) return false;
  if (p.empty()) return true;
  if (identity_) return std::memcmp(bytes.data(), p.data(), p.size()) == 0;
  for (size_t i = 0; i < p.size(); ++i)
    if (canonical_[static_cast<unsigned char>(bytes[i])] != static_cast<unsigned char>(p[i])) return false;
  return true;
}

bool CodePageFold::Equals(std::string_view bytes, const Needle& pattern) const {
  return bytes.size() == pattern.bytes.size() && StartsWith(bytes, pattern);
}

bool CodePageFold::Contains(std::string_view bytes, const Needle& pattern) const {
  const size_t m = pattern.bytes.size();
  if (m == 0) return true;
  if (bytes.size() < m) return false;
  // Stretches without a byte of many characters hold canonical bytes of single characters
  // only: a pattern end that no such byte folds to never occurs in them.
  if (pattern.firstCount == 0 || pattern.lastCount == 0) return false;
  if (pattern.firstCount > Needle::kEnds || pattern.lastCount > Needle::kEnds) return ContainsByShifts(bytes, pattern);
  const auto* text = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  size_t at = 0;
#if defined(__SSE2__)
  // Sixteen places at a time: a place is a candidate when its byte folds to the pattern's first
  // byte and the byte m - 1 later to its last; only candidates are compared whole. The cost
  // does not depend on the pattern's length, where the shifts of a short pattern are short.
  __m128i first[Needle::kEnds], last[Needle::kEnds];
  for (size_t k = 0; k < Needle::kEnds; ++k) {
    first[k] = _mm_set1_epi8(static_cast<char>(pattern.firstBytes[k]));
    last[k] = _mm_set1_epi8(static_cast<char>(pattern.lastBytes[k]));
  }
  for (; at + (m - 1) + 16 <= n; at += 16) {
    const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
    const __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at + m - 1));
    __m128i startHit = _mm_cmpeq_epi8(starts, first[0]);
    __m128i endHit = _mm_cmpeq_epi8(ends, last[0]);
    for (size_t k = 1; k < Needle::kEnds; ++k) {
      startHit = _mm_or_si128(startHit, _mm_cmpeq_epi8(starts, first[k]));
      endHit = _mm_or_si128(endHit, _mm_cmpeq_epi8(ends, last[k]));
    }
    for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(startHit, endHit))); mask != 0;
         mask &= mask - 1)
      if (MiddleMatches(text + at + static_cast<size_t>(__builtin_ctz(mask)), pattern)) return true;
  }
#endif
  const auto p = reinterpret_cast<const unsigned char*>(pattern.bytes.data());
  for (; at + m <= n; ++at)
    if (canonical_[text[at]] == p[0] && canonical_[text[at + m - 1]] == p[m - 1] && MiddleMatches(text + at, pattern))
      return true;
  return false;
}

bool CodePageFold::MiddleMatches(const unsigned char* text, const Needle& pattern) const {
  const auto p = reinterpret_cast<const unsigned char*>(pattern.bytes.data());
  for (size_t i = 1; i + 1 < pattern.bytes.size(); ++i)
    if (canonical_[text[i]] != p[i]) return false;
  return true;
}

bool CodePageFold::ContainsByShifts(std::string_view bytes, const Needle& pattern) const {
  const size_t m = pattern.bytes.size();
  if (identity_) return memmem(bytes.data(), bytes.size(), pattern.bytes.data(), m) != nullptr;
  // Horspool's search over canonical bytes: the text is never folded as a whole, and most of
  // its bytes are skipped.
  const auto* text = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* pat = reinterpret_cast<const unsigned char*>(pattern.bytes.data());
  const unsigned char last = pat[m - 1];
  const size_t end = bytes.size() - m;
  for (size_t at = 0; at <= end;) {
    const unsigned char c = text[at + m - 1];
    if (canonical_[c] == last) {
      size_t i = 0;
      while (i + 1 < m && canonical_[text[at + i]] == pat[i]) ++i;
      if (i + 1 == m) return true;
    }
    at += pattern.shift[c];
  }
  return false;
}

}  // namespace tindrel
