#pragma once
// Where a writer of one of the formats puts its text: a file (OutputFile) or memory.

#include <string>
#include <string_view>

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

}  // namespace tindrel::exchange
