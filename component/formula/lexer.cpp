#include "formula.h"
#include "syntax.h"

using namespace Qt::StringLiterals;

namespace quill::component::formula {
namespace {

// Longest first; the permuted forms (*=, *+, ...) are read so that the parser can name them.
const char16_t* const kOperators[] = {
    u"*<>", u"*<=", u"*>=", u":=", u"!=", u"<>", u"><", u"=!", u"<=", u">=", u"*+",
    u"*-",  u"**",  u"*/",  u"*=", u"*<", u"*>", u":",  u"+",  u"-",  u"*",  u"/",
    u"=",   u"<",   u">",   u"&",  u"|",  u"!",  u"(",  u")",  u";",  u"[",  u"]",
};

bool startsName(QChar c)
{
    return c.isLetter() || c == u'_' || c == u'$';
}

bool continuesName(QChar c)
{
    return startsName(c) || c.isDigit();
}

[[noreturn]] void fail(const QString& what, qsizetype position)
{
    throw FormulaError(u"公式第"_s + QString::number(position + 1) + u"个字符处"_s + what);
}

class Lexer
{
public:
    explicit Lexer(const QString& text) : m_text(text) {}

    std::vector<Token> run()
    {
        std::vector<Token> tokens;
        while (true) {
            while (m_at < m_text.size() && m_text[m_at].isSpace())
                ++m_at;
            if (m_at == m_text.size())
                break;
            tokens.push_back(next());
        }
        tokens.push_back(Token{Token::Type::End, {}, 0, m_text.size()});
        return tokens;
    }

private:
    Token next()
    {
        const qsizetype start = m_at;
        const QChar c = m_text[m_at];
        if (c == u'"' || c == u'{')
            return Token{Token::Type::Text, text(), 0, start};
        if (c.isDigit() || (c == u'.' && m_at + 1 < m_text.size() && m_text[m_at + 1].isDigit()))
            return number();
        if (c == u'@') {
            ++m_at;
            if (m_at == m_text.size() || !startsName(m_text[m_at]))
                fail(u"的“@”后缺少函数名"_s, start);
            return Token{Token::Type::Function, name(), 0, start};
        }
        if (startsName(c))
            return Token{Token::Type::Name, name(), 0, start};
        for (const char16_t* op : kOperators) {
            const QStringView view(op);
            if (QStringView(m_text).mid(m_at).startsWith(view)) {
                m_at += view.size();
                return Token{Token::Type::Operator, view.toString(), 0, start};
            }
        }
        fail(u"的“"_s + c + u"”无法识别"_s, start);
    }

    // "..." with \ escaping the next character, or {...}.
    QString text()
    {
        const qsizetype start = m_at;
        const QChar close = m_text[m_at] == u'"' ? u'"' : u'}';
        QString value;
        for (++m_at; m_at < m_text.size(); ++m_at) {
            const QChar c = m_text[m_at];
            if (c == close) {
                ++m_at;
                return value;
            }
            if (c == u'\\' && close == u'"' && m_at + 1 < m_text.size())
                ++m_at;
            value += m_text[m_at];
        }
        fail(u"开始的文本常量没有结束"_s, start);
    }

    Token number()
    {
        const qsizetype start = m_at;
        while (m_at < m_text.size() && (m_text[m_at].isDigit() || m_text[m_at] == u'.'))
            ++m_at;
        if (m_at < m_text.size() && (m_text[m_at] == u'E' || m_text[m_at] == u'e')) {
            qsizetype at = m_at + 1;
            if (at < m_text.size() && (m_text[at] == u'+' || m_text[at] == u'-'))
                ++at;
            if (at < m_text.size() && m_text[at].isDigit()) {
                m_at = at;
                while (m_at < m_text.size() && m_text[m_at].isDigit())
                    ++m_at;
            }
        }
        bool ok = false;
        const double value = QStringView(m_text).mid(start, m_at - start).toDouble(&ok);
        if (!ok)
            fail(u"的数字无效："_s + m_text.mid(start, m_at - start), start);
        return Token{Token::Type::Number, m_text.mid(start, m_at - start), value, start};
    }

    QString name()
    {
        const qsizetype start = m_at;
        while (m_at < m_text.size() && continuesName(m_text[m_at]))
            ++m_at;
        return m_text.mid(start, m_at - start);
    }

    const QString& m_text;
    qsizetype m_at = 0;
};

} // namespace

FormulaError::~FormulaError() = default;

std::vector<Token> tokenize(const QString& formula)
{
    return Lexer(formula).run();
}

} // namespace quill::component::formula
