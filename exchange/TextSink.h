#pragma once
// Where a writer of one of the formats puts its text: a file (OutputFile) or memory.

#include <cstdint>
#include <string>
#include <string_view>

#include "exchange/Progress.h"

namespace tindrel::exchange {

class TextSink {
 public:
  virtual ~TextSink() = default;
  virtual void Write(std::string_view text) = 0;
};

class StringSink : public TextSink {
 public:
  void Write(std::string_view text) override { text_ += text; }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

// A writer's text goes out a megabyte at a time: hands `text` to `out` once it has grown that
// large, and tells `progress` how many of the notes are written.
inline void WriteWhenFull(std::string& text, TextSink& out, const Progress& progress, uint64_t done, uint64_t total) {
  if (text.size() < (1u << 20)) return;
  out.Write(text);
  text.clear();
  Report(progress, "Writing the notes", done, total);
}

}  // namespace tindrel::exchange
