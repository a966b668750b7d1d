#include "domino/ftsearch.h"

#include "domino/error.h"

#include <cstring>
#include <optional>

using namespace Qt::StringLiterals;

namespace quill::domino {

QString foldForSearch(QStringView text)
{
    QString folded = text.toString().toCaseFolded();
    folded.replace(kSearchSeparator, u' ');
    // SQLite's trigram tokenizer ends a text at its first NUL.
    folded.replace(QChar(u'\0'), u' ');
    return folded;
}

QString searchItemText(const ValueList& values)
{
    QStringList parts;
    for (const Value& value : values) {
        if (!value.isNull())
            parts << ValueToText(value);
    }
    return parts.join(u", "_s);
}

QByteArray searchText(const QStringList& parts)
{
    QString text;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            text += kSearchSeparator;
        text += foldForSearch(parts[i]);
    }
    return text.toUtf8();
}

namespace {

struct Token
{
    enum Kind
    {
        Word,
        Phrase,
        Open,
        Close,
        FieldName,
        End
    };
    Kind kind = End;
    QString text;
    qsizetype position = 0; // of its first character, from 0
};

bool isQuote(QChar c)
{
    return c == u'"' || c == u'“' || c == u'”';
}

// A word ends at a space or at a sign of the language.
bool endsWord(QChar c)
{
    return c.isSpace() || c == u'(' || c == u')' || c == u'[' || isQuote(c);
}

[[noreturn]] void refuse(const QString& detail, qsizetype position = -1)
{
    throw DominoError(u"搜索条件有误"_s +
                      (position >= 0 ? u"（第"_s + QString::number(position + 1) + u"个字符处）"_s : QString()) +
                      u"："_s + detail);
}

std::vector<Token> tokenize(const QString& query)
{
    std::vector<Token> tokens;
    qsizetype i = 0;
    while (i < query.size()) {
        const QChar c = query[i];
        if (c.isSpace()) {
            ++i;
        } else if (c == u'(' || c == u')') {
            tokens.push_back({c == u'(' ? Token::Open : Token::Close, QString(c), i});
            ++i;
        } else if (isQuote(c)) {
            qsizetype end = i + 1;
            while (end < query.size() && !isQuote(query[end]))
                ++end;
            if (end == query.size())
                refuse(u"引号不成对"_s, i);
            if (end == i + 1)
                refuse(u"引号中没有要查找的文字"_s, i);
            tokens.push_back({Token::Phrase, query.mid(i + 1, end - i - 1), i});
            i = end + 1;
        } else if (c == u'[') {
            const qsizetype end = query.indexOf(u']', i + 1);
            if (end < 0)
                refuse(u"方括号不成对"_s, i);
            const QString name = query.mid(i + 1, end - i - 1).trimmed();
            if (name.isEmpty())
                refuse(u"方括号中没有域名"_s, i);
            tokens.push_back({Token::FieldName, name, i});
            i = end + 1;
        } else {
            qsizetype end = i;
            while (end < query.size() && !endsWord(query[end]))
                ++end;
            tokens.push_back({Token::Word, query.mid(i, end - i), i});
            i = end;
        }
    }
    tokens.push_back({Token::End, QString(), query.size()});
    return tokens;
}

enum class Keyword
{
    None,
    And,
    Or,
    Not,
    Field,
    Contains,
    Unsupported
};

Keyword keywordOf(const Token& token)
{
    if (token.kind != Token::Word)
        return Keyword::None;
    const QString& w = token.text;
    const auto is = [&](const char16_t* name) { return w.compare(QStringView(name), Qt::CaseInsensitive) == 0; };
    if (is(u"AND") || w == u"&"_s)
        return Keyword::And;
    if (is(u"OR") || w == u"|"_s)
        return Keyword::Or;
    if (is(u"NOT") || w == u"!"_s)
        return Keyword::Not;
    if (is(u"FIELD"))
        return Keyword::Field;
    if (is(u"CONTAINS"))
        return Keyword::Contains;
    for (const char16_t* name : {u"NEAR", u"SENTENCE", u"PARAGRAPH", u"ACCRUE", u"TERMWEIGHT", u"EXACTCASE"}) {
        if (is(name))
            return Keyword::Unsupported;
    }
    return Keyword::None;
}

class Parser
{
public:
    explicit Parser(const QString& query) : m_tokens(tokenize(query)) {}

    FTQuery::Node parse()
    {
        if (peek().kind == Token::End)
            refuse(u"没有要查找的文字"_s);
        FTQuery::Node root = parseOr(0);
        if (peek().kind == Token::Close)
            refuse(u"多余的“)”"_s, peek().position);
        if (peek().kind != Token::End)
            refuse(u"无法理解“"_s + peek().text + u"”"_s, peek().position);
        return root;
    }

private:
    const Token& peek() const { return m_tokens[m_at]; }
    const Token& take() { return m_tokens[m_at++]; }

    bool startsOperand() const
    {
        const Token& t = peek();
        if (t.kind == Token::Phrase || t.kind == Token::Open || t.kind == Token::FieldName)
            return true;
        if (t.kind != Token::Word)
            return false;
        const Keyword k = keywordOf(t);
        return k == Keyword::None || k == Keyword::Not || k == Keyword::Field || k == Keyword::Unsupported ||
               k == Keyword::Contains;
    }

    // After an operator: what must follow it.
    void needOperand(const Token& op)
    {
        if (!startsOperand())
            refuse(op.text + u"后缺少搜索词"_s, op.position);
    }

    static FTQuery::Node combine(FTQuery::Node::Kind kind, std::vector<FTQuery::Node> parts)
    {
        if (parts.size() == 1)
            return std::move(parts.front());
        FTQuery::Node node;
        node.kind = kind;
        for (FTQuery::Node& part : parts) {
            if (part.kind == kind) {
                for (FTQuery::Node& child : part.children)
                    node.children.push_back(std::move(child));
            } else {
                node.children.push_back(std::move(part));
            }
        }
        return node;
    }

    FTQuery::Node parseOr(int depth)
    {
        std::vector<FTQuery::Node> parts{parseAnd(depth)};
        while (keywordOf(peek()) == Keyword::Or) {
            const Token& op = take();
            needOperand(op);
            parts.push_back(parseAnd(depth));
        }
        return combine(FTQuery::Node::Kind::Or, std::move(parts));
    }

    FTQuery::Node parseAnd(int depth)
    {
        if (keywordOf(peek()) == Keyword::And || keywordOf(peek()) == Keyword::Or)
            refuse(peek().text + u"前缺少搜索词"_s, peek().position);
        std::vector<FTQuery::Node> parts{parseUnary(depth)};
        for (;;) {
            if (keywordOf(peek()) == Keyword::And) {
                const Token& op = take();
                needOperand(op);
            } else if (!startsOperand()) {
                break;
            }
            parts.push_back(parseUnary(depth));
        }
        return combine(FTQuery::Node::Kind::And, std::move(parts));
    }

    FTQuery::Node parseUnary(int depth)
    {
        if (keywordOf(peek()) != Keyword::Not)
            return parsePrimary(depth);
        const Token& op = take();
        if (depth >= FTQuery::kMaxDepth)
            refuse(u"NOT或括号嵌套超过"_s + QString::number(FTQuery::kMaxDepth) + u"层"_s, op.position);
        needOperand(op);
        FTQuery::Node node;
        node.kind = FTQuery::Node::Kind::Not;
        node.children.push_back(parseUnary(depth + 1));
        return node;
    }

    FTQuery::Node parsePrimary(int depth)
    {
        const Token& t = take();
        switch (t.kind) {
        case Token::Open: {
            if (depth >= FTQuery::kMaxDepth)
                refuse(u"NOT或括号嵌套超过"_s + QString::number(FTQuery::kMaxDepth) + u"层"_s, t.position);
            if (peek().kind == Token::Close)
                refuse(u"括号中没有搜索条件"_s, t.position);
            if (peek().kind == Token::End)
                refuse(u"“(”没有对应的“)”"_s, t.position);
            FTQuery::Node inner = parseOr(depth + 1);
            if (peek().kind != Token::Close)
                refuse(u"“(”没有对应的“)”"_s, t.position);
            take();
            return inner;
        }
        case Token::Phrase:
            return term(t.text);
        case Token::FieldName:
            return field(t.text, t);
        case Token::Word:
            break;
        case Token::Close:
            refuse(u"多余的“)”"_s, t.position);
        case Token::End:
            refuse(u"缺少搜索词"_s, t.position);
        }
        switch (keywordOf(t)) {
        case Keyword::Field: {
            const Token& name = take();
            if (name.kind != Token::Word || keywordOf(name) != Keyword::None)
                refuse(u"FIELD后缺少域名"_s, t.position);
            return field(name.text, t);
        }
        case Keyword::Contains:
            refuse(u"CONTAINS前缺少域名，应写作 [域名] CONTAINS 词"_s, t.position);
        case Keyword::Unsupported:
            refuse(u"不支持运算符"_s + t.text.toUpper() + u"，要查找这个词请把它放在引号中"_s, t.position);
        default:
            break;
        }
        for (const QChar wildcard : {u'*', u'?'}) {
            if (const qsizetype at = t.text.indexOf(wildcard); at >= 0)
                refuse(u"不支持通配符“"_s + wildcard + u"”，要查找这个字符请把它放在引号中"_s, t.position + at);
        }
        return term(t.text);
    }

    FTQuery::Node field(const QString& name, const Token& start)
    {
        const Token& op = take();
        if (keywordOf(op) != Keyword::Contains)
            refuse(u"域"_s + name + u"后应为CONTAINS，应写作 [域名] CONTAINS 词"_s,
                   op.kind == Token::End ? start.position : op.position);
        const Token& value = take();
        if (value.kind != Token::Phrase && (value.kind != Token::Word || keywordOf(value) != Keyword::None))
            refuse(u"CONTAINS后缺少搜索词"_s, op.position);
        FTQuery::Node node = term(value.text);
        node.kind = FTQuery::Node::Kind::Field;
        node.field = name;
        return node;
    }

    FTQuery::Node term(const QString& text)
    {
        if (++m_terms > FTQuery::kMaxTerms)
            refuse(u"搜索词超过"_s + QString::number(FTQuery::kMaxTerms) + u"个"_s);
        FTQuery::Node node;
        node.term = foldForSearch(text).toUtf8();
        return node;
    }

    std::vector<Token> m_tokens;
    size_t m_at = 0;
    int m_terms = 0;
};

bool holds(QByteArrayView text, const QByteArray& term)
{
    return !text.isEmpty() &&
           ::memmem(text.data(), size_t(text.size()), term.constData(), size_t(term.size())) != nullptr;
}

bool evaluate(const FTQuery::Node& node, QByteArrayView text, const FTQuery::FieldTexts& fieldTexts)
{
    using Kind = FTQuery::Node::Kind;
    switch (node.kind) {
    case Kind::Term:
        return holds(text, node.term);
    case Kind::Field:
        if (!holds(text, node.term))
            return false;
        for (const QByteArray& item : fieldTexts(node.field)) {
            if (holds(item, node.term))
                return true;
        }
        return false;
    case Kind::And:
        for (const FTQuery::Node& child : node.children) {
            if (!evaluate(child, text, fieldTexts))
                return false;
        }
        return true;
    case Kind::Or:
        for (const FTQuery::Node& child : node.children) {
            if (evaluate(child, text, fieldTexts))
                return true;
        }
        return false;
    case Kind::Not:
        return !evaluate(node.children.front(), text, fieldTexts);
    }
    return false;
}

} // namespace

FTQuery FTQuery::parse(const QString& query)
{
    if (query.size() > kMaxLength)
        refuse(u"超过"_s + QString::number(kMaxLength) + u"个字符"_s);
    FTQuery parsed;
    parsed.m_root = Parser(query).parse();
    return parsed;
}

bool FTQuery::matches(QByteArrayView text, const FieldTexts& fieldTexts) const
{
    return evaluate(m_root, text, fieldTexts);
}

} // namespace quill::domino
