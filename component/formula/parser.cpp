#include "formula.h"
#include "syntax.h"

using namespace Qt::StringLiterals;

namespace quill::component::formula {
namespace {

// The parser, the evaluator and the tree's destruction recurse once per level of nesting, and once per operator
// of a chain such as a + b + c: deeper nesting and longer formulas are refused.
constexpr int kMaxDepth = 100;
constexpr size_t kMaxTokens = 2000;

// Precedence from loosest to tightest: & |, !, comparisons, + -, * /, unary + -, the list operator :.
const QStringList kLevels[] = {
    {u"&"_s, u"|"_s},
    {u"="_s, u"!="_s, u"<>"_s, u"><"_s, u"=!"_s, u"<"_s, u">"_s, u"<="_s, u">="_s},
    {u"+"_s, u"-"_s},
    {u"*"_s, u"/"_s},
};

class Parser
{
public:
    explicit Parser(const QString& text) : m_tokens(tokenize(text))
    {
        if (m_tokens.size() > kMaxTokens)
            throw FormulaError(u"公式过长（超过"_s + QString::number(kMaxTokens) + u"个词）"_s);
    }

    Program run()
    {
        Program program;
        bool hasValue = false;
        while (!at(Token::Type::End)) {
            if (atOperator(u";"_s)) {
                ++m_at;
                continue;
            }
            if (auto statement = this->statement()) {
                hasValue = hasValue || statement->kind != Statement::Kind::Assignment;
                program.statements.push_back(std::move(*statement));
            }
            if (at(Token::Type::Operator) && token().text.size() > 1 && token().text.startsWith(u'*'))
                fail(u"使用了排列运算符“"_s + token().text + u"”，本组件不支持"_s);
            if (!at(Token::Type::End) && !atOperator(u";"_s))
                fail(u"缺少“;”"_s);
        }
        if (!hasValue)
            throw FormulaError(u"公式没有给出值"_s);
        return program;
    }

private:
    const Token& token() const { return m_tokens[m_at]; }
    bool at(Token::Type type) const { return token().type == type; }
    bool atOperator(const QString& op) const { return at(Token::Type::Operator) && token().text == op; }
    bool atKeyword(const QString& word) const
    {
        return at(Token::Type::Name) && token().text.compare(word, Qt::CaseInsensitive) == 0;
    }

    [[noreturn]] void fail(const QString& what) const
    {
        if (at(Token::Type::End))
            throw FormulaError(u"公式不完整："_s + what);
        throw FormulaError(u"公式第"_s + QString::number(token().position + 1) + u"个字符处"_s + what);
    }

    void expect(const QString& op)
    {
        if (!atOperator(op))
            fail(u"缺少“"_s + op + u"”"_s);
        ++m_at;
    }

    // nullopt for REM, which is only a comment.
    std::optional<Statement> statement()
    {
        if (atKeyword(u"REM"_s)) {
            ++m_at;
            if (!at(Token::Type::Text))
                fail(u"REM后应为文本常量"_s);
            ++m_at;
            return std::nullopt;
        }
        for (const QString& word : {u"FIELD"_s, u"DEFAULT"_s, u"ENVIRONMENT"_s}) {
            if (atKeyword(word))
                throw FormulaError(u"不支持"_s + word.toUpper() + u"语句"_s);
        }
        Statement statement;
        if (atKeyword(u"SELECT"_s)) {
            ++m_at;
            statement.kind = Statement::Kind::Select;
        } else if (at(Token::Type::Name) && m_tokens[m_at + 1].type == Token::Type::Operator &&
                   m_tokens[m_at + 1].text == u":="_s) {
            statement.kind = Statement::Kind::Assignment;
            statement.variable = token().text;
            m_at += 2;
        }
        statement.expression = value(expression(0));
        return statement;
    }

    QString take()
    {
        const QString op = token().text;
        ++m_at;
        return op;
    }

    void checkDepth(int depth) const
    {
        if (depth > kMaxDepth)
            fail(u"嵌套过深"_s);
    }

    Node expression(int depth)
    {
        checkDepth(depth);
        return operation(0, depth);
    }

    // The binary operators of one level and tighter; ! stands between the first two levels, unary + and -
    // below the last.
    Node operation(size_t level, int depth)
    {
        const auto operand = [&] {
            if (level == 0)
                return negation(depth);
            return level + 1 < std::size(kLevels) ? operation(level + 1, depth) : sign(depth);
        };
        Node left = operand();
        while (at(Token::Type::Operator) && kLevels[level].contains(token().text)) {
            const QString op = take();
            left = binary(op, std::move(left), operand());
        }
        return left;
    }

    Node negation(int depth)
    {
        if (!atOperator(u"!"_s))
            return operation(1, depth);
        checkDepth(depth);
        const QString op = take();
        return unary(op, negation(depth + 1));
    }

    Node sign(int depth)
    {
        if (!atOperator(u"-"_s) && !atOperator(u"+"_s))
            return list(depth);
        checkDepth(depth);
        const QString op = take();
        return unary(op, sign(depth + 1));
    }

    Node list(int depth)
    {
        Node left = primary(depth);
        while (atOperator(u":"_s)) {
            const QString op = take();
            left = binary(op, std::move(left), primary(depth));
        }
        if (atOperator(u"["_s))
            fail(u"使用了列表下标，本组件不支持"_s);
        return left;
    }

    static Node binary(const QString& op, Node left, Node right)
    {
        Node node{Node::Type::Binary, op, {}, nullptr, {}};
        node.children.push_back(value(std::move(left)));
        node.children.push_back(value(std::move(right)));
        return node;
    }

    static Node unary(const QString& op, Node operand)
    {
        Node node{Node::Type::Unary, op, {}, nullptr, {}};
        node.children.push_back(value(std::move(operand)));
        return node;
    }

    // A keyword such as [CN] is no value: only the @functions that take one read it.
    static Node value(Node node)
    {
        if (node.type == Node::Type::Keyword)
            throw FormulaError(u"关键字["_s + node.name + u"]只能作为@Name的参数"_s);
        return node;
    }

    Node primary(int depth);
    Node call(int depth);
    Node keyword();

    std::vector<Token> m_tokens;
    size_t m_at = 0;
};

Node Parser::primary(int depth)
{
    const Token& t = token();
    switch (t.type) {
    case Token::Type::Number:
        ++m_at;
        return Node{Node::Type::Literal, {}, domino::Value::number(t.number), nullptr, {}};
    case Token::Type::Text:
        ++m_at;
        return Node{Node::Type::Literal, {}, domino::Value::text(t.text), nullptr, {}};
    case Token::Type::Name:
        if (atKeyword(u"SELECT"_s) || atKeyword(u"REM"_s) || atKeyword(u"FIELD"_s))
            fail(u"的关键字"_s + t.text + u"只能出现在语句开头"_s);
        ++m_at;
        return Node{Node::Type::Name, t.text, {}, nullptr, {}};
    case Token::Type::Function:
        return call(depth);
    case Token::Type::Operator:
        if (t.text == u"("_s) {
            ++m_at;
            Node inner = expression(depth + 1);
            expect(u")"_s);
            return inner;
        }
        if (t.text == u"["_s)
            return keyword();
        fail(u"不应出现“"_s + t.text + u"”"_s);
    case Token::Type::End:
        break;
    }
    fail(u"缺少值"_s);
}

Node Parser::call(int depth)
{
    const Token& t = token();
    const Function* function = findFunction(t.text);
    if (!function)
        throw FormulaError(u"不支持的函数@"_s + t.text);
    ++m_at;
    Node node{Node::Type::Call, u"@"_s + QString::fromUtf16(function->name), {}, function, {}};
    if (atOperator(u"("_s)) {
        ++m_at;
        while (!atOperator(u")"_s)) {
            node.children.push_back(expression(depth + 1));
            if (!atOperator(u";"_s))
                break;
            ++m_at;
        }
        expect(u")"_s);
    }
    const int count = int(node.children.size());
    if (count < function->minArguments || (function->maxArguments >= 0 && count > function->maxArguments))
        throw FormulaError(node.name + u"的参数个数不对："_s + QString::number(count) + u"个"_s);
    for (size_t i = 0; i < node.children.size(); ++i) {
        // @Name([CN]; ...) is the one place for a keyword.
        if (i > 0 || QStringView(function->name) != u"Name")
            node.children[i] = value(std::move(node.children[i]));
    }
    if (function->check)
        function->check(node);
    return node;
}

// [CN], [Abbreviate]: a keyword given to an @function.
Node Parser::keyword()
{
    ++m_at;
    if (!at(Token::Type::Name) || m_tokens[m_at + 1].type != Token::Type::Operator || m_tokens[m_at + 1].text != u"]"_s)
        fail(u"的“[”之后应为关键字和“]”（日期常量与列表下标本组件不支持）"_s);
    Node node{Node::Type::Keyword, token().text, {}, nullptr, {}};
    m_at += 2;
    return node;
}

} // namespace

Program parseProgram(const QString& formula)
{
    return Parser(formula).run();
}

} // namespace quill::component::formula
