// The full-text query language and when a document's text matches: the rules every implementation follows.

#include "domino/error.h"
#include "domino/ftsearch.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace quill::domino;

namespace {

// The tree as text: "term", [field]"term", AND(…), OR(…), NOT(…).
QString shown(const FTQuery::Node& node)
{
    using Kind = FTQuery::Node::Kind;
    QStringList children;
    for (const FTQuery::Node& child : node.children)
        children << shown(child);
    switch (node.kind) {
    case Kind::Term:
        return u'"' + QString::fromUtf8(node.term) + u'"';
    case Kind::Field:
        return u'[' + node.field + u"]\""_s + QString::fromUtf8(node.term) + u'"';
    case Kind::And:
        return u"AND("_s + children.join(u' ') + u')';
    case Kind::Or:
        return u"OR("_s + children.join(u' ') + u')';
    case Kind::Not:
        return u"NOT("_s + children.join(u' ') + u')';
    }
    return {};
}

QString parsed(const QString& query)
{
    try {
        return shown(FTQuery::parse(query).root());
    } catch (const DominoError& e) {
        return u"error: "_s + e.message();
    }
}

} // namespace

class TestFTSearch : public QObject
{
    Q_OBJECT
private slots:
    void queries_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("tree"); // or the start of the error message
        const auto row = [](const char* name, const QString& query, const QString& tree) {
            QTest::newRow(name) << query << tree;
        };
        row("terms all", u"合同 北京"_s, u"AND(\"合同\" \"北京\")"_s);
        row("AND before OR", u"合同 AND 北京 OR 协议"_s, u"OR(AND(\"合同\" \"北京\") \"协议\")"_s);
        row("implicit AND before OR", u"合同 OR 北京 协议"_s, u"OR(\"合同\" AND(\"北京\" \"协议\"))"_s);
        row("NOT binds first", u"NOT 草稿 合同"_s, u"AND(NOT(\"草稿\") \"合同\")"_s);
        row("keywords in any case, signs alone", u"合同 not (草稿 | 作废) & 北京"_s,
            u"AND(\"合同\" NOT(OR(\"草稿\" \"作废\")) \"北京\")"_s);
        row("phrase keeps its spaces, folded", u"\"Annual  Report\" ABC"_s, u"AND(\"annual  report\" \"abc\")"_s);
        row("Chinese quotes", u"“年度 报告”"_s, u"\"年度 报告\""_s);
        row("ideographic space separates", u"合同\u3000北京"_s, u"AND(\"合同\" \"北京\")"_s);
        row("field in brackets", u"[Subject] CONTAINS 合同"_s, u"[Subject]\"合同\""_s);
        row("FIELD keyword, phrase", u"field 主题 contains \"A b\""_s, u"[主题]\"a b\""_s);
        row("signs inside a word are text", u"a&b C++ ^ ;-- 'x' ]"_s,
            u"AND(\"a&b\" \"c++\" \"^\" \";--\" \"'x'\" \"]\")"_s);
        row("quoted operators and wildcards are text", u"\"a*b\" \"NEAR\""_s, u"AND(\"a*b\" \"near\")"_s);
        row("parentheses", u"((a OR b)) c"_s, u"AND(OR(\"a\" \"b\") \"c\")"_s);
        row("separator and NUL count as spaces", u"\"a\u001Fb"_s + QChar(u'\0') + u"c\""_s, u"\"a b c\""_s);

        row("empty", u"   "_s, u"搜索条件有误：没有要查找的文字"_s);
        row("open quote", u"合同 \"北京"_s, u"搜索条件有误（第4个字符处）：引号不成对"_s);
        row("empty quotes", u"合同 \"\""_s, u"搜索条件有误（第4个字符处）：引号中没有要查找的文字"_s);
        row("open parenthesis", u"(合同 北京"_s, u"搜索条件有误（第1个字符处）：“(”没有对应的“)”"_s);
        row("closing parenthesis alone", u"合同)"_s, u"搜索条件有误（第3个字符处）：多余的“)”"_s);
        row("empty parentheses", u"a ()"_s, u"搜索条件有误（第3个字符处）：括号中没有搜索条件"_s);
        row("AND first", u"AND 合同"_s, u"搜索条件有误（第1个字符处）：AND前缺少搜索词"_s);
        row("OR last", u"合同 OR"_s, u"搜索条件有误（第4个字符处）：OR后缺少搜索词"_s);
        row("NOT alone", u"NOT"_s, u"搜索条件有误（第1个字符处）：NOT后缺少搜索词"_s);
        row("NOT before a closing parenthesis", u"(a NOT)"_s, u"搜索条件有误（第4个字符处）：NOT后缺少搜索词"_s);
        row("wildcard", u"合同*"_s, u"搜索条件有误（第3个字符处）：不支持通配符“*”"_s);
        row("question mark", u"a b?c"_s, u"搜索条件有误（第4个字符处）：不支持通配符“?”"_s);
        row("NEAR", u"NEAR(x)"_s, u"搜索条件有误（第1个字符处）：不支持运算符NEAR"_s);
        row("paragraph", u"a paragraph b"_s, u"搜索条件有误（第3个字符处）：不支持运算符PARAGRAPH"_s);
        row("field without CONTAINS", u"[主题] 合同"_s, u"搜索条件有误（第6个字符处）：域主题后应为CONTAINS"_s);
        row("field at the end", u"[主题]"_s, u"搜索条件有误（第1个字符处）：域主题后应为CONTAINS"_s);
        row("field compared", u"[金额] = 5"_s, u"搜索条件有误（第6个字符处）：域金额后应为CONTAINS"_s);
        row("open bracket", u"[主题 CONTAINS x"_s, u"搜索条件有误（第1个字符处）：方括号不成对"_s);
        row("empty bracket", u"[ ] CONTAINS x"_s, u"搜索条件有误（第1个字符处）：方括号中没有域名"_s);
        row("CONTAINS first", u"CONTAINS x"_s, u"搜索条件有误（第1个字符处）：CONTAINS前缺少域名"_s);
        row("FIELD without a name", u"FIELD CONTAINS x"_s, u"搜索条件有误（第1个字符处）：FIELD后缺少域名"_s);
        row("CONTAINS without a term", u"[a] CONTAINS OR b"_s, u"搜索条件有误（第5个字符处）：CONTAINS后缺少搜索词"_s);
        row("too deep", QString(21, u'(') + u'a' + QString(21, u')'),
            u"搜索条件有误（第21个字符处）：NOT或括号嵌套超过20层"_s);
        row("NOT too deep", QStringList(21, u"NOT"_s).join(u' ') + u" a"_s,
            u"搜索条件有误（第81个字符处）：NOT或括号嵌套超过20层"_s);
        row("too many terms", QStringList(101, u"a"_s).join(u' '), u"搜索条件有误：搜索词超过100个"_s);
        row("too long", QString(1001, u'a'), u"搜索条件有误：超过1000个字符"_s);
    }

    void queries()
    {
        QFETCH(QString, query);
        QFETCH(QString, tree);
        const QString result = parsed(query);
        if (tree.startsWith(u"搜索条件有误"_s))
            QVERIFY2(result.startsWith(u"error: "_s + tree), qPrintable(result));
        else
            QCOMPARE(result, tree);
    }

    // Terms are found anywhere in a part, never across two parts; case is ignored as QString compares without it; a
    // field's items are asked for only when the whole text holds the term.
    void matching()
    {
        const QByteArray text = searchText({u"合同管理 Straße"_s, u"ΣΊΣΥΦΟΣ"_s, u"报价.CSV"_s});
        int asked = 0;
        const FTQuery::FieldTexts fields = [&](const QString& field) {
            ++asked;
            return field.compare(u"Body"_s, Qt::CaseInsensitive) == 0
                       ? std::vector<QByteArray>{foldForSearch(u"合同管理 Straße"_s).toUtf8()}
                       : std::vector<QByteArray>{};
        };
        const struct
        {
            QString query;
            bool matches;
            int asked;
        } cases[] = {
            {u"管理"_s, true, 0},
            {u"同管理 STRA"_s, true, 0},
            {u"STRAßE"_s, true, 0},
            {u"strasse"_s, false, 0}, // simple folding, as QString compares: ß is not ss
            {u"σίσυφος"_s, true, 0},
            {u"\"straße σί\""_s, false, 0}, // across two parts
            {u"\"e\u001Fσ\""_s, false, 0},
            {u".csv"_s, true, 0},
            {u"[body] CONTAINS 合同"_s, true, 1},
            {u"[报价] CONTAINS 合同"_s, false, 1},
            {u"[body] CONTAINS 没有"_s, false, 0},
            {u"NOT 没有 OR 合同"_s, true, 0},
            {u"合同 NOT (报价 OR 没有)"_s, false, 0},
        };
        for (const auto& c : cases) {
            asked = 0;
            QVERIFY2(FTQuery::parse(c.query).matches(text, fields) == c.matches, qPrintable(c.query));
            QCOMPARE(asked, c.asked);
        }
        // A list shows its elements joined; nulls have no text.
        QCOMPARE(searchItemText({Value::text(u"张三"_s), Value::null(), Value::number(1.5)}), u"张三, 1.5"_s);
    }
};

QTEST_GUILESS_MAIN(TestFTSearch)
#include "test_ftsearch.moc"
