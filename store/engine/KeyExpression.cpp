#include "store/engine/KeyExpression.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tindrel::engine {

struct KeyExpression::Node {
  enum class Kind { Field, Literal, Call, Binary, Not };
  Kind kind = Kind::Literal;
  ValueType type = ValueType::Character;
  int width = 0;
  FieldDesc field;         // Kind::Field
  KeyValue literal;        // Kind::Literal
  std::string op;          // function name (upper case) or operator
  std::vector<std::unique_ptr<Node>> args;
  int intArg1 = 0, intArg2 = 0;  // constant arguments: STR length/decimals, SUBSTR start/length
};

namespace {

using Node = KeyExpression::Node;

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool SameName(std::string_view a, std::string_view b) { return Upper(a) == Upper(b); }

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

struct Token {
  enum class Kind { End, Name, String, Number, Dotted, Symbol } kind = Kind::End;
  std::string text;
};

class Parser {
 public:
  Parser(std::string_view text, const std::vector<FieldDesc>& fields, std::vector<int>& used)
      : text_(text), fields_(fields), used_(used) {
    Next();
  }

  std::unique_ptr<Node> ParseAll() {
    auto node = ParseOr();
    if (node && token_.kind != Token::Kind::End) return Fail("unexpected '" + token_.text + "'");
    return node;
  }

  const std::string& Error() const { return error_; }

 private:
  std::unique_ptr<Node> Fail(std::string why) {
    if (error_.empty()) error_ = std::move(why);
    return nullptr;
  }

  void Next() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    token_ = {};
    if (pos_ >= text_.size()) return;
    char c = text_[pos_];
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      size_t start = pos_;
      while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_')) ++pos_;
      token_ = {Token::Kind::Name, std::string(text_.substr(start, pos_ - start))};
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && pos_ + 1 < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_ + 1])))) {
      size_t start = pos_;
      while (pos_ < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '.')) ++pos_;
      token_ = {Token::Kind::Number, std::string(text_.substr(start, pos_ - start))};
    } else if (c == '\'' || c == '"') {
      size_t end = text_.find(c, pos_ + 1);
      if (end == std::string_view::npos) {
        Fail("unterminated text");
        pos_ = text_.size();
        token_ = {Token::Kind::Symbol, "?"};
        return;
      }
      token_ = {Token::Kind::String, std::string(text_.substr(pos_ + 1, end - pos_ - 1))};
      pos_ = end + 1;
    } else if (c == '.') {
      size_t end = text_.find('.', pos_ + 1);
      if (end == std::string_view::npos) {
        token_ = {Token::Kind::Symbol, "."};
        ++pos_;
        return;
      }
      token_ = {Token::Kind::Dotted, Upper(text_.substr(pos_, end - pos_ + 1))};
      pos_ = end + 1;
    } else {
      static const char* twoChar[] = {"<=", ">=", "<>", "!=", "=="};
      for (const char* sym : twoChar) {
        if (text_.substr(pos_, 2) == sym) {
          token_ = {Token::Kind::Symbol, sym};
          pos_ += 2;
          return;
        }
      }
      token_ = {Token::Kind::Symbol, std::string(1, c)};
      ++pos_;
    }
  }

  bool IsSymbol(const char* s) const { return token_.kind == Token::Kind::Symbol && token_.text == s; }
  bool IsDotted(const char* s) const { return token_.kind == Token::Kind::Dotted && token_.text == s; }

  static std::unique_ptr<Node> MakeBinary(std::string op, std::unique_ptr<Node> a, std::unique_ptr<Node> b,
                                          ValueType type, int width) {
    auto n = std::make_unique<Node>();
    n->kind = Node::Kind::Binary;
    n->op = std::move(op);
    n->type = type;
    n->width = width;
    n->args.push_back(std::move(a));
    n->args.push_back(std::move(b));
    return n;
  }

  std::unique_ptr<Node> ParseOr() {
    auto left = ParseAnd();
    while (left && IsDotted(".OR.")) {
      Next();
      auto right = ParseAnd();
      if (!right) return nullptr;
      if (left->type != ValueType::Logical || right->type != ValueType::Logical) return Fail(".OR. needs logical values");
      left = MakeBinary("OR", std::move(left), std::move(right), ValueType::Logical, 1);
    }
    return left;
  }

  std::unique_ptr<Node> ParseAnd() {
    auto left = ParseNot();
    while (left && IsDotted(".AND.")) {
      Next();
      auto right = ParseNot();
      if (!right) return nullptr;
      if (left->type != ValueType::Logical || right->type != ValueType::Logical) return Fail(".AND. needs logical values");
      left = MakeBinary("AND", std::move(left), std::move(right), ValueType::Logical, 1);
    }
    return left;
  }

  std::unique_ptr<Node> ParseNot() {
    if (IsDotted(".NOT.") || IsSymbol("!")) {
      Next();
      auto arg = ParseNot();
      if (!arg) return nullptr;
      if (arg->type != ValueType::Logical) return Fail(".NOT. needs a logical value");
      auto n = std::make_unique<Node>();
      n->kind = Node::Kind::Not;
      n->type = ValueType::Logical;
      n->width = 1;
      n->args.push_back(std::move(arg));
      return n;
    }
    return ParseComparison();
  }

  std::unique_ptr<Node> ParseComparison() {
    auto left = ParseSum();
    if (!left) return nullptr;
    static const char* ops[] = {"=", "==", "<>", "#", "!=", "<", ">", "<=", ">="};
    for (const char* op : ops) {
      if (IsSymbol(op)) {
        Next();
        auto right = ParseSum();
        if (!right) return nullptr;
        if (left->type != right->type || left->type == ValueType::Logical) return Fail("comparison of different types");
        std::string name = op;
        if (name == "#" || name == "!=") name = "<>";
        return MakeBinary(name, std::move(left), std::move(right), ValueType::Logical, 1);
      }
    }
    return left;
  }

  std::unique_ptr<Node> ParseSum() {
    auto left = ParseProduct();
    while (left && (IsSymbol("+") || IsSymbol("-"))) {
      std::string op = token_.text;
      Next();
      auto right = ParseProduct();
      if (!right) return nullptr;
      if (left->type == ValueType::Character && right->type == ValueType::Character && op == "+") {
        int width = left->width + right->width;
        left = MakeBinary("CONCAT", std::move(left), std::move(right), ValueType::Character, width);
      } else if (left->type == ValueType::Numeric && right->type == ValueType::Numeric) {
        left = MakeBinary(op, std::move(left), std::move(right), ValueType::Numeric, 0);
      } else {
        return Fail("'" + op + "' on these types");
      }
    }
    return left;
  }

  std::unique_ptr<Node> ParseProduct() {
    auto left = ParseUnary();
    while (left && (IsSymbol("*") || IsSymbol("/"))) {
      std::string op = token_.text;
      Next();
      auto right = ParseUnary();
      if (!right) return nullptr;
      if (left->type != ValueType::Numeric || right->type != ValueType::Numeric) return Fail("'" + op + "' needs numbers");
      left = MakeBinary(op, std::move(left), std::move(right), ValueType::Numeric, 0);
    }
    return left;
  }

  std::unique_ptr<Node> ParseUnary() {
    if (IsSymbol("-")) {
      Next();
      auto arg = ParseUnary();
      if (!arg) return nullptr;
      if (arg->type != ValueType::Numeric) return Fail("'-' needs a number");
      auto zero = std::make_unique<Node>();
      zero->type = ValueType::Numeric;
      zero->literal.type = ValueType::Numeric;
      zero->literal.text = "0";
      return MakeBinary("-", std::move(zero), std::move(arg), ValueType::Numeric, 0);
    }
    return ParsePrimary();
  }

  std::unique_ptr<Node> ParsePrimary() {
    if (depth_ > 64) return Fail("expression nested too deeply");
    if (IsSymbol("(")) {
      Next();
      ++depth_;
      auto inner = ParseOr();
      --depth_;
      if (!inner) return nullptr;
      if (!IsSymbol(")")) return Fail("missing ')'");
      Next();
      return inner;
    }
    if (token_.kind == Token::Kind::String) {
      auto n = std::make_unique<Node>();
      n->type = ValueType::Character;
      n->literal.type = ValueType::Character;
      n->literal.text = token_.text;
      n->width = static_cast<int>(token_.text.size());
      Next();
      return n;
    }
    if (token_.kind == Token::Kind::Number) {
      auto n = std::make_unique<Node>();
      n->type = ValueType::Numeric;
      n->literal.type = ValueType::Numeric;
      n->literal.text = token_.text;
      n->literal.number = std::strtod(token_.text.c_str(), nullptr);
      Next();
      return n;
    }
    if (IsDotted(".T.") || IsDotted(".F.") || IsDotted(".Y.") || IsDotted(".N.") || IsDotted(".TRUE.") ||
        IsDotted(".FALSE.")) {
      auto n = std::make_unique<Node>();
      n->type = ValueType::Logical;
      n->width = 1;
      n->literal.type = ValueType::Logical;
      n->literal.logical = token_.text == ".T." || token_.text == ".Y." || token_.text == ".TRUE.";
      Next();
      return n;
    }
    if (token_.kind != Token::Kind::Name) return Fail(token_.kind == Token::Kind::End ? "incomplete expression" : "unexpected '" + token_.text + "'");
    std::string name = token_.text;
    Next();
    if (IsSymbol("(")) return ParseCall(Upper(name));
    return FieldNode(name);
  }

  std::unique_ptr<Node> FieldNode(const std::string& name) {
    for (size_t i = 0; i < fields_.size(); ++i) {
      if (!SameName(fields_[i].name, name)) continue;
      const FieldDesc& f = fields_[i];
      auto n = std::make_unique<Node>();
      n->kind = Node::Kind::Field;
      n->field = f;
      n->width = f.length;
      if (f.IsMemo()) return Fail("memo field " + f.name + " in a key");
      if (f.IsNumeric()) n->type = ValueType::Numeric;
      else if (f.type == 'D') n->type = ValueType::Date;
      else if (f.type == 'L') n->type = ValueType::Logical;
      else n->type = ValueType::Character;
      if (std::find(used_.begin(), used_.end(), static_cast<int>(i)) == used_.end()) used_.push_back(static_cast<int>(i));
      return n;
    }
    return Fail("no field " + name);
  }

  // A numeric literal argument whose value the key width depends on.
  bool ConstantInt(const Node& n, int& out) {
    if (n.kind != Node::Kind::Literal || n.type != ValueType::Numeric) return false;
    double v = n.literal.number;
    if (!(v >= 0 && v <= 255)) return false;
    out = static_cast<int>(v);
    return true;
  }

  std::unique_ptr<Node> ParseCall(const std::string& name) {
    Next();  // '('
    std::vector<std::unique_ptr<Node>> args;
    ++depth_;
    if (!IsSymbol(")")) {
      while (true) {
        auto arg = ParseOr();
        if (!arg) return nullptr;
        args.push_back(std::move(arg));
        if (IsSymbol(",")) {
          Next();
          continue;
        }
        break;
      }
    }
    --depth_;
    if (!IsSymbol(")")) return Fail("missing ')' after " + name);
    Next();

    auto n = std::make_unique<Node>();
    n->kind = Node::Kind::Call;
    n->op = name;
    auto argType = [&](size_t i) { return args[i]->type; };
    auto count = args.size();
    if (name == "UPPER" || name == "LOWER" || name == "TRIM" || name == "RTRIM" || name == "LTRIM" ||
        name == "ALLTRIM") {
      if (count != 1 || argType(0) != ValueType::Character) return Fail(name + "() needs one text");
      n->type = ValueType::Character;
      n->width = args[0]->width;
    } else if (name == "STR") {
      if (count < 1 || count > 3 || argType(0) != ValueType::Numeric) return Fail("STR() needs a number");
      n->intArg1 = 10;
      n->intArg2 = 0;
      if (count >= 2 && !ConstantInt(*args[1], n->intArg1)) return Fail("STR() length must be a constant");
      if (count >= 3 && !ConstantInt(*args[2], n->intArg2)) return Fail("STR() decimals must be a constant");
      if (n->intArg1 < 1 || n->intArg1 > 100) return Fail("STR() length out of range");
      n->type = ValueType::Character;
      n->width = n->intArg1;
    } else if (name == "DTOS") {
      if (count != 1 || argType(0) != ValueType::Date) return Fail("DTOS() needs a date");
      n->type = ValueType::Character;
      n->width = 8;
    } else if (name == "SUBSTR" || name == "LEFT" || name == "RIGHT") {
      bool isSub = name == "SUBSTR";
      if (count < (isSub ? 2u : 2u) || count > (isSub ? 3u : 2u) || argType(0) != ValueType::Character)
        return Fail(name + "() arguments");
      int a = 0, b = 0;
      if (!ConstantInt(*args[1], a)) return Fail(name + "() needs constant numbers");
      if (isSub) {
        if (a < 1) a = 1;
        b = args[0]->width - a + 1;
        if (count == 3 && !ConstantInt(*args[2], b)) return Fail(name + "() needs constant numbers");
        b = std::max(0, std::min(b, args[0]->width - a + 1));
      } else {
        b = std::min(a, args[0]->width);
      }
      n->intArg1 = a;
      n->intArg2 = b;
      n->type = ValueType::Character;
      n->width = isSub ? b : b;
    } else if (name == "VAL") {
      if (count != 1 || argType(0) != ValueType::Character) return Fail("VAL() needs a text");
      n->type = ValueType::Numeric;
    } else if (name == "DELETED") {
      if (count != 0) return Fail("DELETED() takes no arguments");
      n->type = ValueType::Logical;
      n->width = 1;
    } else {
      return Fail("function " + name + "()");
    }
    n->args = std::move(args);
    return n;
  }

  std::string_view text_;
  const std::vector<FieldDesc>& fields_;
  std::vector<int>& used_;
  size_t pos_ = 0;
  Token token_;
  std::string error_;
  int depth_ = 0;
};

std::string FormatStr(double value, int length, int decimals) {
  if (!std::isfinite(value)) return std::string(length, '*');
  char buf[512];
  double scale = std::pow(10.0, decimals);
  double rounded = std::round(value * scale) / scale;
  if (rounded == 0) rounded = 0;  // no "-0"
  int n = std::snprintf(buf, sizeof buf, "%.*f", decimals, rounded);
  if (n < 0 || n > length) {
    // dBASE gives up decimals before it gives up the number.
    if (decimals > 0) {
      n = std::snprintf(buf, sizeof buf, "%.0f", std::round(value));
      if (n >= 0 && n <= length) return std::string(length - n, ' ') + std::string(buf, n);
    }
    return std::string(length, '*');
  }
  return std::string(length - n, ' ') + std::string(buf, n);
}

int CompareText(std::string_view a, std::string_view b) {
  size_t n = std::max(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char ca = i < a.size() ? static_cast<unsigned char>(a[i]) : ' ';
    unsigned char cb = i < b.size() ? static_cast<unsigned char>(b[i]) : ' ';
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return 0;
}

std::string NumberText(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

KeyValue Eval(const Node& n, std::string_view record) {
  KeyValue out;
  out.type = n.type;
  switch (n.kind) {
    case Node::Kind::Literal:
      return n.literal;
    case Node::Kind::Field: {
      std::string raw(n.field.length, ' ');
      if (n.field.offset < record.size()) {
        size_t avail = std::min<size_t>(n.field.length, record.size() - n.field.offset);
        raw.replace(0, avail, record.substr(n.field.offset, avail));
      }
      switch (n.type) {
        case ValueType::Character:
          out.text = std::move(raw);
          break;
        case ValueType::Numeric: {
          std::string_view t = TrimLeft(WithoutPadding(raw));
          out.text = std::string(t);
          out.number = t.empty() ? 0 : std::strtod(out.text.c_str(), nullptr);
          if (!std::isfinite(out.number)) out.number = 0;
          break;
        }
        case ValueType::Date:
          out.number = static_cast<double>(JulianDayFromText(raw));
          out.text = raw;
          break;
        case ValueType::Logical: {
          char c = raw.empty() ? ' ' : raw[0];
          out.logical = c == 'T' || c == 't' || c == 'Y' || c == 'y';
          break;
        }
      }
      return out;
    }
    case Node::Kind::Not:
      out.logical = !Eval(*n.args[0], record).logical;
      return out;
    case Node::Kind::Binary: {
      KeyValue a = Eval(*n.args[0], record);
      if (n.op == "AND" && !a.logical) return out;
      if (n.op == "OR" && a.logical) {
        out.logical = true;
        return out;
      }
      KeyValue b = Eval(*n.args[1], record);
      if (n.op == "AND" || n.op == "OR") {
        out.logical = b.logical;
      } else if (n.op == "CONCAT") {
        out.text = a.text + b.text;
      } else if (n.type == ValueType::Numeric) {
        double v = n.op == "+" ? a.number + b.number
                   : n.op == "-" ? a.number - b.number
                   : n.op == "*" ? a.number * b.number
                                 : (b.number == 0 ? 0 : a.number / b.number);
        out.number = std::isfinite(v) ? v : 0;
        out.text = NumberText(out.number);
      } else {
        // Comparisons. Texts compare as dBASE does with inexact matching: "=" holds when the
        // left text begins with the right one.
        int c;
        if (a.type == ValueType::Character) {
          if (n.op == "=") {
            out.logical = a.text.compare(0, b.text.size(), b.text) == 0 && a.text.size() >= b.text.size();
            return out;
          }
          c = CompareText(a.text, b.text);
        } else {
          c = a.number < b.number ? -1 : a.number > b.number ? 1 : 0;
        }
        const std::string& op = n.op;
        out.logical = op == "=" || op == "==" ? c == 0
                      : op == "<>"            ? c != 0
                      : op == "<"             ? c < 0
                      : op == ">"             ? c > 0
                      : op == "<="            ? c <= 0
                                              : c >= 0;
      }
      return out;
    }
    case Node::Kind::Call: {
      const std::string& f = n.op;
      if (f == "DELETED") {
        out.logical = !record.empty() && record[0] == '*';
        return out;
      }
      KeyValue a = Eval(*n.args[0], record);
      if (f == "UPPER" || f == "LOWER") {
        out.text = std::move(a.text);
        for (char& c : out.text) {
          if (f == "UPPER" && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
          if (f == "LOWER" && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
      } else if (f == "TRIM" || f == "RTRIM") {
        out.text = std::string(WithoutPadding(a.text));
      } else if (f == "LTRIM") {
        out.text = std::string(TrimLeft(a.text));
      } else if (f == "ALLTRIM") {
        out.text = std::string(TrimLeft(WithoutPadding(a.text)));
      } else if (f == "STR") {
        out.text = FormatStr(a.number, n.intArg1, n.intArg2);
      } else if (f == "DTOS") {
        int64_t jdn = static_cast<int64_t>(a.number);
        out.text = jdn == 0 ? std::string(8, ' ') : a.text.substr(0, 8);
      } else if (f == "SUBSTR") {
        size_t start = static_cast<size_t>(n.intArg1 - 1);
        out.text = start < a.text.size() ? a.text.substr(start, static_cast<size_t>(n.intArg2)) : std::string();
      } else if (f == "LEFT") {
        out.text = a.text.substr(0, static_cast<size_t>(n.intArg2));
      } else if (f == "RIGHT") {
        size_t len = std::min(a.text.size(), static_cast<size_t>(n.intArg1));
        out.text = a.text.substr(a.text.size() - len);
      } else if (f == "VAL") {
        std::string t(TrimLeft(WithoutPadding(a.text)));
        out.number = std::strtod(t.c_str(), nullptr);
        if (!std::isfinite(out.number)) out.number = 0;
        out.text = NumberText(out.number);
      }
      return out;
    }
  }
  return out;
}

}  // namespace

KeyExpression::~KeyExpression() = default;

std::unique_ptr<KeyExpression> KeyExpression::Parse(std::string_view text, const std::vector<FieldDesc>& fields,
                                                    std::string* why) {
  std::unique_ptr<KeyExpression> expr(new KeyExpression());
  Parser parser(text, fields, expr->fields_);
  expr->root_ = parser.ParseAll();
  if (!expr->root_) {
    if (why) *why = parser.Error().empty() ? "cannot evaluate" : parser.Error();
    return nullptr;
  }
  return expr;
}

ValueType KeyExpression::Type() const { return root_->type; }
int KeyExpression::Width() const {
  switch (root_->type) {
    case ValueType::Character: return root_->width;
    case ValueType::Numeric: return 12;
    case ValueType::Date: return 8;
    case ValueType::Logical: return 1;
  }
  return 0;
}

KeyValue KeyExpression::Evaluate(std::string_view record) const { return Eval(*root_, record); }

int64_t JulianDayNumber(int year, int month, int day) {
  int64_t a = (14 - month) / 12;
  int64_t y = static_cast<int64_t>(year) + 4800 - a;
  int64_t m = month + 12 * a - 3;
  return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

int64_t JulianDayFromText(std::string_view t) {
  if (t.size() < 8) return 0;
  int v[8];
  for (int i = 0; i < 8; ++i) {
    if (t[i] < '0' || t[i] > '9') return 0;
    v[i] = t[i] - '0';
  }
  int year = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
  int month = v[4] * 10 + v[5];
  int day = v[6] * 10 + v[7];
  static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year == 0 || month < 1 || month > 12 || day < 1 || day > days[month - 1]) return 0;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month == 2 && day == 29 && !leap) return 0;
  return JulianDayNumber(year, month, day);
}

std::string DateKey(double julianDay) {
  double v = julianDay == 0 ? kBlankDateKey : julianDay;
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  std::string key(8, '\0');
  for (int i = 0; i < 8; ++i) key[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
  return key;
}

double DateKeyValue(std::string_view key) {
  uint64_t bits = 0;
  for (size_t i = 0; i < 8 && i < key.size(); ++i) bits |= static_cast<uint64_t>(static_cast<uint8_t>(key[i])) << (8 * i);
  double v;
  std::memcpy(&v, &bits, 8);
  return v;
}

}  // namespace tindrel::engine
