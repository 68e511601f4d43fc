#include "Filter.h"

#include "DataSet.h"
#include "DbError.h"

#include <algorithm>
#include <vector>

namespace fw {

struct FilterExpr::Node {
    enum class Op { Or, And, Eq, Ne, Lt, Gt, Le, Ge };
    struct Operand {
        QString name;                 // a field, when not empty
        const Field* field = nullptr;
        Value literal;
        bool text = false;            // a quoted literal
    };
    Op op = Op::Eq;
    // The terms of "or" and "and", side by side: a long chain stays one level deep.
    std::vector<std::unique_ptr<Node>> terms;
    Operand a, b;
};

namespace {

using Node = FilterExpr::Node;
using Op = Node::Op;

struct Token {
    enum Kind { End, Name, Number, Text, Oper, LParen, RParen } kind = End;
    QString text;
};

class Parser {
public:
    explicit Parser(const QString& s) : s_(s) { advance(); }

    std::unique_ptr<Node> parseAll()
    {
        auto n = parseOr();
        if (tok_.kind != Token::End) fail();
        return n;
    }

private:
    [[noreturn]] void fail() const
    {
        throw InternalError(QString("Invalid filter expression: %1").arg(s_));
    }

    bool keyword(const char* k) const
    {
        return tok_.kind == Token::Name && tok_.text.compare(QLatin1String(k), Qt::CaseInsensitive) == 0;
    }

    std::unique_ptr<Node> parseOr() { return parseChain(Op::Or); }

    // Terms joined by "or" (of "and" chains) or by "and" (of primaries).
    std::unique_ptr<Node> parseChain(Op op)
    {
        const char* word = op == Op::Or ? "or" : "and";
        auto term = [&] { return op == Op::Or ? parseChain(Op::And) : parsePrimary(); };
        auto n = term();
        if (!keyword(word)) return n;
        auto chain = std::make_unique<Node>();
        chain->op = op;
        chain->terms.push_back(std::move(n));
        while (keyword(word)) {
            advance();
            chain->terms.push_back(term());
        }
        return chain;
    }

    std::unique_ptr<Node> parsePrimary()
    {
        if (tok_.kind == Token::LParen) {
            // Each level costs stack in parsing, binding, evaluating and freeing.
            if (++depth_ > MaxDepth)
                throw Error(QString("Слишком много вложенных скобок в фильтре (больше %1): %2")
                                .arg(MaxDepth).arg(s_.left(200)));
            advance();
            auto n = parseOr();
            if (tok_.kind != Token::RParen) fail();
            advance();
            --depth_;
            return n;
        }
        auto n = std::make_unique<Node>();
        n->a = operand();
        if (tok_.kind != Token::Oper) fail();
        const QString o = tok_.text;
        n->op = o == "=" ? Op::Eq : (o == "<>" || o == "!=") ? Op::Ne : o == "<" ? Op::Lt
              : o == ">" ? Op::Gt : o == "<=" ? Op::Le : Op::Ge;
        advance();
        n->b = operand();
        if (n->a.name.isEmpty() && n->b.name.isEmpty()) fail();
        return n;
    }

    Node::Operand operand()
    {
        Node::Operand x;
        switch (tok_.kind) {
        case Token::Name:
            if (keyword("and") || keyword("or")) fail();
            x.name = tok_.text;
            break;
        case Token::Number: {
            const QString t = tok_.text;
            if (!t.contains('.')) {
                bool ok = false;
                const qlonglong v = t.toLongLong(&ok);
                if (ok) { x.literal = Value(v); break; }
            }
            const auto c = Currency::parse(t);
            if (!c) fail();
            x.literal = Value(*c);
            break;
        }
        case Token::Text:
            x.literal = Value(tok_.text);
            x.text = true;
            break;
        default:
            fail();
        }
        advance();
        return x;
    }

    void advance()
    {
        const int n = int(s_.size());
        while (pos_ < n && s_[pos_].isSpace()) ++pos_;
        tok_ = Token{};
        if (pos_ >= n) return;
        const QChar c = s_[pos_];
        if (c == '(') { tok_.kind = Token::LParen; ++pos_; return; }
        if (c == ')') { tok_.kind = Token::RParen; ++pos_; return; }
        if (c == '\'' || c == '"') {
            QString out;
            int i = pos_ + 1;
            for (;;) {
                if (i >= n) fail();
                if (s_[i] == c) {
                    if (i + 1 < n && s_[i + 1] == c) { out += c; i += 2; continue; }
                    break;
                }
                out += s_[i++];
            }
            tok_ = {Token::Text, out};
            pos_ = i + 1;
            return;
        }
        if (c == '[') {
            const int j = s_.indexOf(']', pos_);
            if (j < 0) fail();
            tok_ = {Token::Name, s_.mid(pos_ + 1, j - pos_ - 1).trimmed()};
            pos_ = j + 1;
            return;
        }
        // A minus sign belongs to a number when no operand stands before it.
        const bool signedNumber = c == '-' && pos_ + 1 < n && s_[pos_ + 1].isDigit();
        if (c.isDigit() || signedNumber) {
            int i = pos_ + (signedNumber ? 1 : 0);
            while (i < n && (s_[i].isDigit() || s_[i] == '.')) ++i;
            tok_ = {Token::Number, s_.mid(pos_, i - pos_)};
            pos_ = i;
            return;
        }
        if (c.isLetter() || c == '_') {
            int i = pos_;
            while (i < n && (s_[i].isLetterOrNumber() || s_[i] == '_' || s_[i] == '$')) ++i;
            tok_ = {Token::Name, s_.mid(pos_, i - pos_)};
            pos_ = i;
            return;
        }
        for (const char* op : {"<>", "<=", ">=", "!=", "=", "<", ">"}) {
            const QLatin1String o(op);
            if (QStringView(s_).mid(pos_).startsWith(o)) {
                tok_ = {Token::Oper, QString(o)};
                pos_ += int(o.size());
                return;
            }
        }
        fail();
    }

    static constexpr int MaxDepth = 100;
    const QString& s_;
    int pos_ = 0;
    int depth_ = 0;
    Token tok_;
};

void bindNode(Node& n, const std::function<const Field*(const QString&)>& resolve)
{
    if (n.op == Op::Or || n.op == Op::And) {
        for (const auto& t : n.terms) bindNode(*t, resolve);
        return;
    }
    if (!n.a.name.isEmpty()) n.a.field = resolve(n.a.name);
    if (!n.b.name.isEmpty()) n.b.field = resolve(n.b.name);
}

bool textual(const Node::Operand& x)
{
    if (x.field) return x.field->type() == FieldType::String || x.field->type() == FieldType::Memo;
    return x.text;
}

bool numeric(const Node::Operand& x)
{
    if (x.field) return x.field->isNumeric();
    return !x.text;
}

bool holds(Op op, int c)
{
    switch (op) {
    case Op::Eq: return c == 0;
    case Op::Ne: return c != 0;
    case Op::Lt: return c < 0;
    case Op::Gt: return c > 0;
    case Op::Le: return c <= 0;
    case Op::Ge: return c >= 0;
    default: return false;
    }
}

template <typename T> int order(const T& x, const T& y) { return x < y ? -1 : (y < x ? 1 : 0); }

bool compare(Op op, const Node::Operand& xa, const Value& a, const Node::Operand& xb, const Value& b)
{
    const bool anyText = textual(xa) || textual(xb);
    if (a.isNull() || b.isNull()) {
        if (anyText) return holds(op, QString::compare(a.asString(), b.asString()));
        if (a.isNull() && b.isNull()) return holds(op, 0);
        return op == Op::Ne;
    }
    try {
        if (numeric(xa) || numeric(xb)) {
            if (a.type() == Value::Type::Double || b.type() == Value::Type::Double)
                return holds(op, order(a.asDouble(), b.asDouble()));
            return holds(op, order(a.asCurrency(), b.asCurrency()));
        }
        const bool dateA = a.type() == Value::Type::DateTime, dateB = b.type() == Value::Type::DateTime;
        if (dateA || dateB) {
            const QDateTime da = a.asDateTime(), db = b.asDateTime();
            if (da.isValid() && db.isValid()) return holds(op, order(da, db));
        }
    } catch (const ConvertError&) {
        // A text that is no number or date compares as text.
    }
    return holds(op, QString::compare(a.asString(), b.asString()));
}

bool evalNode(const Node& n, const std::function<Value(const Field&)>& valueOf)
{
    switch (n.op) {
    case Op::Or:
        return std::any_of(n.terms.begin(), n.terms.end(), [&](const auto& t) { return evalNode(*t, valueOf); });
    case Op::And:
        return std::all_of(n.terms.begin(), n.terms.end(), [&](const auto& t) { return evalNode(*t, valueOf); });
    default: break;
    }
    const Value a = n.a.field ? valueOf(*n.a.field) : n.a.literal;
    const Value b = n.b.field ? valueOf(*n.b.field) : n.b.literal;
    return compare(n.op, n.a, a, n.b, b);
}

} // namespace

FilterExpr::~FilterExpr() = default;

std::shared_ptr<FilterExpr> FilterExpr::parse(const QString& text)
{
    if (text.trimmed().isEmpty()) return nullptr;
    std::shared_ptr<FilterExpr> e(new FilterExpr);
    e->root_ = Parser(text).parseAll();
    return e;
}

void FilterExpr::bind(const std::function<const Field*(const QString&)>& resolve)
{
    bindNode(*root_, resolve);
}

bool FilterExpr::evaluate(const std::function<Value(const Field&)>& valueOf) const
{
    return evalNode(*root_, valueOf);
}

} // namespace fw
