#include "exchange/OpmlReader.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "exchange/ExchangeError.h"
#include "exchange/Utf8.h"

namespace tindrel::exchange {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || static_cast<unsigned char>(c) >= 0x80;
}
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }
bool XmlAllows(char32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

// The value of a digit of a character reference; -1 when it is none.
int DigitValue(char d, bool hex) {
  if (d >= '0' && d <= '9') return d - '0';
  if (hex && d >= 'a' && d <= 'f') return d - 'a' + 10;
  if (hex && d >= 'A' && d <= 'F') return d - 'A' + 10;
  return -1;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return out;
}

class Parser {
 public:
  Parser(std::string_view document, const Progress& progress) : doc_(document), progress_(progress) {}

  Outline Run() {
    CheckCharacters();
    if (StartsWith("<?xml") && pos_ + 5 < doc_.size() && IsBlank(doc_[pos_ + 5])) XmlDeclaration();
    size_t reported = 0;
    while (pos_ < doc_.size()) {
      if (doc_[pos_] != '<') Text();
      else if (StartsWith("<!--")) Skip("-->", "the comment is not closed");
      else if (StartsWith("<?")) Skip("?>", "the processing instruction is not closed");
      else if (StartsWith("<![CDATA[")) {
        if (frames_.empty()) Fail(pos_, "a CDATA section outside the document's element");
        Skip("]]>", "the CDATA section is not closed");
      } else if (StartsWith("<!DOCTYPE")) Doctype();
      else if (StartsWith("</")) EndTag();
      else if (StartsWith("<!")) Fail(pos_, "this markup is not XML");
      else StartTag();
      if (pos_ - reported >= (1u << 20)) {
        reported = pos_;
        Report(progress_, "Reading the notes", pos_, doc_.size());
      }
    }
    if (!frames_.empty())
      Fail(doc_.size(), "the document ends before <" + std::string(frames_.back().name) + "> opened at line " +
                            std::to_string(frames_.back().line) + " is closed");
    if (!rootSeen_) Fail(doc_.size(), "the document holds no element");
    return std::move(outline_);
  }

 private:
  enum class Kind { Other, Opml, Body, Note };
  struct Frame {
    std::string_view name;
    Kind kind;
    int note;
    size_t line;
  };

  [[noreturn]] void Fail(size_t at, const std::string& what) const {
    throw ExchangeError(DescribePosition(doc_, at) + ": " + what);
  }
  bool StartsWith(std::string_view s) const { return doc_.compare(pos_, s.size(), s) == 0; }
  bool AtEnd() const { return pos_ >= doc_.size(); }
  bool SkipBlanks() {
    const size_t from = pos_;
    while (!AtEnd() && IsBlank(doc_[pos_])) ++pos_;
    return pos_ > from;
  }

  // Lines of the notes' places: positions only move forward, so counting is linear.
  size_t LineAt(size_t offset) {
    line_ += static_cast<size_t>(std::count(doc_.begin() + static_cast<std::ptrdiff_t>(lineCounted_),
                                            doc_.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
    lineCounted_ = offset;
    return line_;
  }

  // Bytes that are no UTF-8, and characters XML does not allow anywhere.
  void CheckCharacters() {
    if (const size_t bad = FindInvalidUtf8(doc_); bad != std::string_view::npos)
      Fail(bad, "these bytes are not UTF-8 text (only UTF-8 OPML files can be read)");
    for (size_t i = 0; i < doc_.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(doc_[i]);
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
        Fail(i, "the control character " + CodePointName(c) + " is not allowed in XML");
      if (c == 0xEF && i + 2 < doc_.size() && static_cast<unsigned char>(doc_[i + 1]) == 0xBF &&
          (static_cast<unsigned char>(doc_[i + 2]) & 0xFE) == 0xBE)
        Fail(i, "the character " + CodePointName(0xFFFE + (doc_[i + 2] & 1)) + " is not allowed in XML");
    }
  }

  std::string_view Name() {
    if (AtEnd() || !IsNameStart(doc_[pos_])) Fail(pos_, "a name was expected here");
    const size_t from = pos_;
    while (!AtEnd() && IsNameChar(doc_[pos_])) ++pos_;
    return doc_.substr(from, pos_ - from);
  }

  void Expect(char c, const char* what) {
    if (AtEnd() || doc_[pos_] != c) Fail(pos_, what);
    ++pos_;
  }

  void Skip(std::string_view end, const char* unclosed) {
    const size_t found = doc_.find(end, pos_ + 2);
    if (found == std::string_view::npos) Fail(pos_, unclosed);
    pos_ = found + end.size();
  }

  // A reference at '&': appends the character it stands for.
  void Reference(std::string& out) {
    const size_t at = pos_;
    const size_t semicolon = doc_.find(';', pos_);
    if (semicolon == std::string_view::npos || semicolon - pos_ > 12)
      Fail(at, "'&' must begin a reference such as &amp; or &#10;");
    const std::string_view body = doc_.substr(pos_ + 1, semicolon - pos_ - 1);
    pos_ = semicolon + 1;
    if (!body.empty() && body[0] == '#') {
      const bool hex = body.size() > 1 && body[1] == 'x';
      const std::string_view digits = body.substr(hex ? 2 : 1);
      char32_t value = 0;
      bool ok = !digits.empty();
      for (char d : digits) {
        const int v = DigitValue(d, hex);
        if (v < 0 || value > 0x10FFFF) {
          ok = false;
          break;
        }
        value = value * (hex ? 16 : 10) + static_cast<char32_t>(v);
      }
      if (!ok || !XmlAllows(value)) Fail(at, "the reference &" + std::string(body) + "; names no character XML allows");
      AppendUtf8(out, value);
      return;
    }
    static const std::pair<std::string_view, char> kNamed[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"apos", '\''}, {"quot", '"'}};
    for (const auto& [name, c] : kNamed) {
      if (body == name) {
        out += c;
        return;
      }
    }
    Fail(at, "the entity &" + std::string(body) + "; is not one of XML's own (&lt; &gt; &amp; &apos; &quot;)");
  }

  // A quoted value; blanks, tabs and line breaks become blanks, as XML reads attribute values.
  std::string AttributeValue() {
    const size_t start = pos_;
    if (AtEnd() || (doc_[pos_] != '"' && doc_[pos_] != '\'')) Fail(pos_, "a quoted value was expected here");
    const char quote = doc_[pos_++];
    std::string value;
    for (;;) {
      const size_t run = pos_;
      while (!AtEnd() && doc_[pos_] != quote && doc_[pos_] != '&' && doc_[pos_] != '<' && doc_[pos_] != '\t' &&
             doc_[pos_] != '\n' && doc_[pos_] != '\r')
        ++pos_;
      value.append(doc_.substr(run, pos_ - run));
      if (AtEnd()) Fail(start, "the attribute value is not closed");
      const char c = doc_[pos_];
      if (c == quote) {
        ++pos_;
        return value;
      }
      if (c == '<') Fail(pos_, "'<' is not allowed in an attribute value (write &lt;)");
      if (c == '&') {
        Reference(value);
        continue;
      }
      value += ' ';
      ++pos_;
      if (c == '\r' && !AtEnd() && doc_[pos_] == '\n') ++pos_;
    }
  }

  void XmlDeclaration() {
    const size_t start = pos_;
    const size_t end = doc_.find("?>", pos_);
    if (end == std::string_view::npos) Fail(start, "the XML declaration is not closed");
    pos_ += 5;
    while (SkipBlanks(), pos_ < end) {
      const std::string_view name = Name();
      SkipBlanks();
      Expect('=', "'=' was expected after the name");
      SkipBlanks();
      const std::string value = AttributeValue();
      if (name == "encoding") {
        const std::string encoding = Lower(value);
        if (encoding != "utf-8" && encoding != "utf8" && encoding != "us-ascii")
          Fail(start, "the document declares the encoding " + value + "; only UTF-8 OPML files can be read");
      }
    }
    pos_ = end + 2;
  }

  void Doctype() {
    if (rootSeen_) Fail(pos_, "a document type declaration after the document's element");
    const size_t start = pos_;
    int brackets = 0;
    char quote = 0;
    for (pos_ += 9; !AtEnd(); ++pos_) {
      const char c = doc_[pos_];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '[') {
        ++brackets;
      } else if (c == ']') {
        --brackets;
      } else if (c == '>' && brackets <= 0) {
        ++pos_;
        return;
      }
    }
    Fail(start, "the document type declaration is not closed");
  }

  void Text() {
    const size_t start = pos_;
    while (!AtEnd() && doc_[pos_] != '<') {
      const char c = doc_[pos_];
      if (c == '&') {
        scratch_.clear();
        Reference(scratch_);
        if (frames_.empty()) Fail(start, "text outside the document's element");
        continue;
      }
      if (frames_.empty() && !IsBlank(c)) Fail(pos_, "text outside the document's element");
      if (c == ']' && StartsWith("]]>")) Fail(pos_, "']]>' is not allowed in text");
      ++pos_;
    }
  }

  void StartTag() {
    const size_t start = pos_++;
    const std::string_view name = Name();
    std::vector<std::pair<std::string_view, std::string>> attributes;
    bool empty = false;
    for (;;) {
      const bool blank = SkipBlanks();
      if (AtEnd()) Fail(start, "the tag <" + std::string(name) + "> is not closed");
      if (StartsWith("/>")) {
        pos_ += 2;
        empty = true;
        break;
      }
      if (doc_[pos_] == '>') {
        ++pos_;
        break;
      }
      if (!blank) Fail(pos_, "a blank was expected before the attribute");
      const size_t at = pos_;
      const std::string_view attribute = Name();
      SkipBlanks();
      Expect('=', "'=' was expected after the attribute's name");
      SkipBlanks();
      std::string value = AttributeValue();
      for (const auto& [seen, ignored] : attributes)
        if (seen == attribute) Fail(at, "the attribute " + std::string(attribute) + " appears twice");
      attributes.emplace_back(attribute, std::move(value));
    }

    Kind kind = Kind::Other;
    int note = -1;
    if (frames_.empty()) {
      if (rootSeen_) Fail(start, "a second element <" + std::string(name) + "> after the document's element");
      rootSeen_ = true;
      if (name != "opml")
        Fail(start, "this is not an OPML document: its outermost element is <" + std::string(name) + ">, not <opml>");
      kind = Kind::Opml;
    } else {
      const Frame& parent = frames_.back();
      if (name == "body" && parent.kind == Kind::Opml) {
        kind = Kind::Body;
      } else if (name == "outline" && (parent.kind == Kind::Body || parent.kind == Kind::Note)) {
        kind = Kind::Note;
        OutlineNote added;
        added.parent = parent.kind == Kind::Note ? parent.note : -1;
        added.place = "line " + std::to_string(LineAt(start));
        for (auto& [attribute, value] : attributes) {
          if (attribute == "text") added.title = std::move(value);
          else if (attribute == "_note") added.memo = std::move(value);
        }
        note = static_cast<int>(outline_.notes.size());
        outline_.notes.push_back(std::move(added));
      }
    }
    if (!empty) frames_.push_back({name, kind, note, LineAt(start)});
  }

  void EndTag() {
    const size_t start = pos_;
    pos_ += 2;
    const std::string_view name = Name();
    SkipBlanks();
    Expect('>', "'>' was expected to close the end tag");
    if (frames_.empty()) Fail(start, "the end tag </" + std::string(name) + "> closes no element");
    const Frame& open = frames_.back();
    if (open.name != name)
      Fail(start, "</" + std::string(name) + "> does not close <" + std::string(open.name) + ">, opened at line " +
                      std::to_string(open.line));
    frames_.pop_back();
  }

  std::string_view doc_;
  const Progress& progress_;
  size_t pos_ = 0;
  size_t line_ = 1;
  size_t lineCounted_ = 0;
  bool rootSeen_ = false;
  std::vector<Frame> frames_;
  std::string scratch_;
  Outline outline_;
};

}  // namespace

Outline ReadOpml(std::string_view document, const Progress& progress) {
  if (document.substr(0, 2) == "\xFE\xFF" || document.substr(0, 2) == "\xFF\xFE")
    throw ExchangeError("line 1, column 1: the document is UTF-16 text; only UTF-8 OPML files can be read");
  return Parser(WithoutByteOrderMark(document), progress).Run();
}

}  // namespace tindrel::exchange
