#include "store/FilterExpression.h"

#include <vector>

namespace tindrel {

namespace {

enum class Tok { End, Name, Text, Number, Op, LParen, RParen };

struct Token {
  Tok kind = Tok::End;
  QString text;  // name, literal text, number text or operator
  int position = 0;
};

bool IsNameChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'.'; }

std::vector<Token> Tokenize(const QString& s) {
  std::vector<Token> out;
  int i = 0;
  const int n = s.size();
  while (i < n) {
    const QChar c = s[i];
    if (c.isSpace()) { ++i; continue; }
    Token t;
    t.position = i + 1;
    if (c == u'(' || c == u')') {
      t.kind = c == u'(' ? Tok::LParen : Tok::RParen;
      ++i;
    } else if (c == u'\'' || c == u'"') {
      // A quote inside the text is written twice.
      const QChar q = c;
      ++i;
      bool closed = false;
      while (i < n) {
        if (s[i] == q) {
          if (i + 1 < n && s[i + 1] == q) { t.text += q; i += 2; continue; }
          ++i;
          closed = true;
          break;
        }
        t.text += s[i++];
      }
      if (!closed) throw FilterExpression::Error(QStringLiteral("Unterminated text in filter expression at position %1").arg(t.position));
      t.kind = Tok::Text;
    } else if (c == u'[') {
      const int close = s.indexOf(u']', i + 1);
      if (close < 0) throw FilterExpression::Error(QStringLiteral("Missing ] in filter expression at position %1").arg(t.position));
      t.kind = Tok::Name;
      t.text = s.mid(i + 1, close - i - 1);
      i = close + 1;
    } else if (c.isDigit() || ((c == u'-' || c == u'+' || c == u'.') && i + 1 < n && (s[i + 1].isDigit() || s[i + 1] == u'.'))) {
      int j = i + 1;
      while (j < n && (s[j].isDigit() || s[j] == u'.')) ++j;
      if (j < n && (s[j] == u'e' || s[j] == u'E')) {
        int k = j + 1;
        if (k < n && (s[k] == u'+' || s[k] == u'-')) ++k;
        if (k < n && s[k].isDigit()) {
          j = k;
          while (j < n && s[j].isDigit()) ++j;
        }
      }
      if (j < n && IsNameChar(s[j])) throw FilterExpression::Error(QStringLiteral("Invalid number in filter expression at position %1").arg(t.position));
      t.kind = Tok::Number;
      t.text = s.mid(i, j - i);
      i = j;
    } else if (IsNameChar(c)) {
      int j = i;
      while (j < n && IsNameChar(s[j])) ++j;
      t.kind = Tok::Name;
      t.text = s.mid(i, j - i);
      i = j;
    } else if (c == u'=' ) {
      t.kind = Tok::Op; t.text = QStringLiteral("="); ++i;
    } else if (c == u'<' || c == u'>' || c == u'!') {
      t.kind = Tok::Op;
      if (i + 1 < n && (s[i + 1] == u'=' || (c == u'<' && s[i + 1] == u'>'))) {
        t.text = s.mid(i, 2);
        i += 2;
      } else if (c == u'!') {
        throw FilterExpression::Error(QStringLiteral("Unexpected '!' in filter expression at position %1").arg(t.position));
      } else {
        t.text = QString(c);
        ++i;
      }
      if (t.text == QStringLiteral("!=")) t.text = QStringLiteral("<>");
    } else {
      throw FilterExpression::Error(QStringLiteral("Unexpected '%1' in filter expression at position %2").arg(c).arg(t.position));
    }
    out.push_back(std::move(t));
  }
  Token end;
  end.position = n + 1;
  out.push_back(end);
  return out;
}

bool IsKeyword(const Token& t, const char* word) {
  return t.kind == Tok::Name && t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

}  // namespace

struct FilterExpression::Node {
  enum class Kind { And, Or, Not, Compare, IsNull };
  struct Operand {
    enum class Kind { Field, Text, Number } kind = Kind::Text;
    int field = -1;
    QString text;
    double number = 0;
  };
  Kind kind = Kind::Compare;
  std::unique_ptr<Node> left, right;  // And, Or: both; Not: left
  Operand a, b;                       // Compare: a op b; IsNull: a
  QString op;
  bool negated = false;               // IsNull: "is not null"
};

namespace {

using Node = FilterExpression::Node;

class Parser {
 public:
  Parser(std::vector<Token> tokens, const FilterExpression::FieldResolver& resolve)
      : tokens_(std::move(tokens)), resolve_(resolve) {}

  std::unique_ptr<Node> ParseAll() {
    auto node = ParseOr();
    if (Peek().kind != Tok::End) Fail(QStringLiteral("Unexpected '%1'").arg(Describe(Peek())));
    return node;
  }

 private:
  const Token& Peek() const { return tokens_[pos_]; }
  Token Take() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }

  [[noreturn]] void Fail(const QString& what) const {
    throw FilterExpression::Error(QStringLiteral("%1 in filter expression at position %2").arg(what).arg(Peek().position));
  }
  static QString Describe(const Token& t) {
    switch (t.kind) {
      case Tok::End: return QStringLiteral("end");
      case Tok::LParen: return QStringLiteral("(");
      case Tok::RParen: return QStringLiteral(")");
      default: return t.text;
    }
  }

  std::unique_ptr<Node> ParseOr() {
    auto left = ParseAnd();
    while (IsKeyword(Peek(), "or")) {
      Take();
      auto node = std::make_unique<Node>();
      node->kind = Node::Kind::Or;
      node->left = std::move(left);
      node->right = ParseAnd();
      left = std::move(node);
    }
    return left;
  }
  std::unique_ptr<Node> ParseAnd() {
    auto left = ParseNot();
    while (IsKeyword(Peek(), "and")) {
      Take();
      auto node = std::make_unique<Node>();
      node->kind = Node::Kind::And;
      node->left = std::move(left);
      node->right = ParseNot();
      left = std::move(node);
    }
    return left;
  }
  std::unique_ptr<Node> ParseNot() {
    if (IsKeyword(Peek(), "not")) {
      Take();
      auto node = std::make_unique<Node>();
      node->kind = Node::Kind::Not;
      node->left = ParseNot();
      return node;
    }
    return ParsePrimary();
  }
  std::unique_ptr<Node> ParsePrimary() {
    if (Peek().kind == Tok::LParen) {
      Take();
      auto node = ParseOr();
      if (Peek().kind != Tok::RParen) Fail(QStringLiteral("Missing )"));
      Take();
      return node;
    }
    auto node = std::make_unique<Node>();
    node->a = ParseOperand();
    if (IsKeyword(Peek(), "is")) {
      Take();
      if (node->a.kind != Node::Operand::Kind::Field) Fail(QStringLiteral("'is null' needs a field"));
      node->kind = Node::Kind::IsNull;
      if (IsKeyword(Peek(), "not")) { Take(); node->negated = true; }
      if (!IsKeyword(Peek(), "null")) Fail(QStringLiteral("Expected null"));
      Take();
      return node;
    }
    if (Peek().kind != Tok::Op) Fail(QStringLiteral("Expected a comparison, found '%1'").arg(Describe(Peek())));
    node->kind = Node::Kind::Compare;
    node->op = Take().text;
    node->b = ParseOperand();
    return node;
  }
  Node::Operand ParseOperand() {
    const Token& t = Peek();
    Node::Operand o;
    if (t.kind == Tok::Text) {
      o.kind = Node::Operand::Kind::Text;
      o.text = t.text;
    } else if (t.kind == Tok::Number) {
      bool ok = false;
      o.number = t.text.toDouble(&ok);
      if (!ok) Fail(QStringLiteral("Invalid number '%1'").arg(t.text));
      o.kind = Node::Operand::Kind::Number;
      o.text = t.text;
    } else if (t.kind == Tok::Name && !IsKeyword(t, "and") && !IsKeyword(t, "or") && !IsKeyword(t, "not") &&
               !IsKeyword(t, "is") && !IsKeyword(t, "null")) {
      o.kind = Node::Operand::Kind::Field;
      o.text = t.text;
      o.field = resolve_ ? resolve_(t.text) : 0;
      if (o.field < 0) throw FilterExpression::Error(QStringLiteral("Field '%1' not found").arg(t.text));
    } else {
      Fail(QStringLiteral("Expected a field, a text or a number, found '%1'").arg(Describe(t)));
    }
    Take();
    return o;
  }

  std::vector<Token> tokens_;
  size_t pos_ = 0;
  const FilterExpression::FieldResolver& resolve_;
};

struct Value {
  bool isNull = false;
  bool isNumeric = false;  // a number field or a number literal
  bool isLiteral = false;
  QString text;
};

Value Fetch(const Node::Operand& o, const FilterExpression::FieldReader& read) {
  Value v;
  switch (o.kind) {
    case Node::Operand::Kind::Field: {
      FilterExpression::FieldValue f = read(o.field);
      v.isNull = f.isNull;
      v.isNumeric = f.isNumeric;
      v.text = f.text;
      break;
    }
    case Node::Operand::Kind::Text:
      v.isLiteral = true;
      v.text = o.text;
      break;
    case Node::Operand::Kind::Number:
      v.isLiteral = true;
      v.isNumeric = true;
      v.text = o.text;
      break;
  }
  return v;
}

bool Holds(const QString& op, int order) {
  if (op == u"=") return order == 0;
  if (op == u"<>") return order != 0;
  if (op == u"<") return order < 0;
  if (op == u">") return order > 0;
  if (op == u"<=") return order <= 0;
  return order >= 0;  // ">="
}

bool Compare(const Node& node, const FilterExpression::FieldReader& read, TFilterOptions options) {
  Value a = Fetch(node.a, read);
  Value b = Fetch(node.b, read);
  // Numbers are compared as numbers when one side is a number and the other reads as one.
  if (a.isNumeric || b.isNumeric) {
    bool okA = false, okB = false;
    const double x = a.text.trimmed().toDouble(&okA);
    const double y = b.text.trimmed().toDouble(&okB);
    if (okA && okB && !a.isNull && !b.isNull) return Holds(node.op, x < y ? -1 : (x > y ? 1 : 0));
    if ((a.isNumeric && !a.isLiteral && a.isNull) || (b.isNumeric && !b.isLiteral && b.isNull)) return node.op == u"<>";
  }
  const Qt::CaseSensitivity cs = (options & foCaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;
  if ((node.op == u"=" || node.op == u"<>") && b.isLiteral && !b.isNumeric && !(options & foNoPartialCompare) &&
      b.text.endsWith(u'*')) {
    const bool match = a.text.startsWith(b.text.left(b.text.size() - 1), cs);
    return node.op == u"=" ? match : !match;
  }
  return Holds(node.op, QString::compare(a.text, b.text, cs));
}

bool Eval(const Node& node, const FilterExpression::FieldReader& read, TFilterOptions options) {
  switch (node.kind) {
    case Node::Kind::And: return Eval(*node.left, read, options) && Eval(*node.right, read, options);
    case Node::Kind::Or: return Eval(*node.left, read, options) || Eval(*node.right, read, options);
    case Node::Kind::Not: return !Eval(*node.left, read, options);
    case Node::Kind::IsNull: return read(node.a.field).isNull != node.negated;
    case Node::Kind::Compare: return Compare(node, read, options);
  }
  return false;
}

}  // namespace

FilterExpression::FilterExpression(std::unique_ptr<Node> root) : root_(std::move(root)) {}
FilterExpression::~FilterExpression() = default;

std::unique_ptr<FilterExpression> FilterExpression::Parse(const QString& text, const FieldResolver& resolve) {
  if (text.trimmed().isEmpty()) return nullptr;
  Parser parser(Tokenize(text), resolve);
  return std::unique_ptr<FilterExpression>(new FilterExpression(parser.ParseAll()));
}

bool FilterExpression::Evaluate(const FieldReader& read, TFilterOptions options) const {
  return Eval(*root_, read, options);
}

}  // namespace tindrel
