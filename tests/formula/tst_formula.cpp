// The formula language the component evaluates: values on one document, what fails on it, what is refused.

#include "formula/formula.h"

#include <QTest>

using namespace Qt::StringLiterals;
using quill::component::formula::Formula;
using quill::component::formula::FormulaError;
using quill::domino::Value;
using quill::domino::ValueList;

namespace {

class Memo : public quill::component::formula::Document
{
public:
    std::optional<ValueList> item(const QString& name) const override
    {
        for (const auto& [itemName, values] : m_items) {
            if (itemName.compare(name, Qt::CaseInsensitive) == 0)
                return values;
        }
        return std::nullopt;
    }
    ValueList authors() const override { return {Value::text(u"CN=Jane Roe/O=Acme"_s)}; }
    QDateTime created() const override { return QDateTime(QDate(2024, 1, 2), QTime(8, 0)); }
    QDateTime modified() const override { return QDateTime(QDate(2024, 1, 3), QTime(9, 15)); }
    QString universalId() const override { return u"0123456789ABCDEF0123456789ABCDEF"_s; }
    qint64 length() const override { return 4321; }
    qint64 position() const override { return 17; }

private:
    const std::vector<std::pair<QString, ValueList>> m_items = {
        {u"Subject"_s, {Value::text(u"  Quarterly  report  "_s)}},
        {u"Status"_s, {Value::text(u"Draft"_s)}},
        {u"Amount"_s, {Value::number(1234.5)}},
        {u"Count"_s, {Value::number(3)}},
        {u"Tags"_s, {Value::text(u"a"_s), Value::text(u"b"_s), Value::text(u"c"_s)}},
        {u"From"_s, {Value::text(u"CN=John Doe/OU=Sales/O=Acme"_s)}},
        {u"Due"_s, {Value::dateTime(QDateTime(QDate(2024, 3, 5), QTime(14, 30)))}},
        {u"Born"_s, {Value::date(QDate(1976, 3, 3))}},
        {u"At"_s, {Value::time(QTime(8, 30))}},
    };
};

// What a column shows: the elements' texts joined, "" when the formula fails on the document.
QString shown(const QString& text)
{
    QStringList parts;
    try {
        for (const Value& value : Formula::parse(text).evaluate(Memo()))
            parts << quill::domino::ValueToText(value);
    } catch (const FormulaError&) {
        return u"<error>"_s;
    }
    return parts.join(u", "_s);
}

} // namespace

class TestFormula : public QObject
{
    Q_OBJECT

private slots:
    void values_data()
    {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QString>("expected");
        const std::pair<const char16_t*, const char16_t*> rows[] = {
            {u"Subject", u"  Quarterly  report  "},
            {u"subject", u"  Quarterly  report  "},
            {u"Missing", u""},
            {u"\"a\" + {b} + \"\\\"q\\\"\"", u"ab\"q\""},
            {u"1 + 2 * 3", u"7"},
            {u"(1 + 2) * 3", u"9"},
            {u"Amount / 2 - .25", u"617"},
            {u"-Count + 1.5E1", u"12"},
            {u"Tags + \"!\"", u"a!, b!, c!"},
            {u"Tags : \"d\"", u"a, b, c, d"},
            {u"\"x\" : \"y\" + \"1\" : \"2\"", u"x1, y2"},
            {u"Count + 1 : 2", u"4, 5"},
            {u"Tags = \"b\"", u"1"},
            {u"Tags = \"z\"", u"0"},
            {u"Status = \"draft\"", u"1"},
            {u"Status != \"Draft\"", u"0"},
            {u"\"apple\" < \"Banana\"", u"1"},
            {u"Amount > 1000 & Count < 3", u"0"},
            {u"Amount > 1000 | Count < 3", u"1"},
            {u"! Count = 4", u"1"},
            {u"@If(Count > 5; \"many\"; Count > 2; \"some\"; \"few\")", u"some"},
            {u"@If(Status = \"Final\"; 1; 0)", u"0"},
            {u"@Text(Amount)", u"1234.5"},
            {u"@Text(Count) + \"个\"", u"3个"},
            {u"@Text(@Date(2024; 3; 5))", u"2024-3-5"},
            {u"@Name([CN]; From)", u"John Doe"},
            {u"@Name([Abbreviate]; From)", u"John Doe/Sales/Acme"},
            {u"@name([cn]; \"Jane\")", u"Jane"},
            {u"@Name([CN]; @Author)", u"Jane Roe"},
            {u"@Left(Status; 3) + @Right(Status; 2)", u"Draft"},
            {u"@Left(\"a-b-c\"; \"-\") + \"|\" + @Right(\"a-b-c\"; \"-\")", u"a|b-c"},
            {u"@Left(Status; \"x\")", u""},
            {u"@Trim(Subject)", u"Quarterly report"},
            {u"@Trim(\"\" : \" x \")", u"x"},
            {u"@UpperCase(Status) + @LowerCase(\"AB\")", u"DRAFTab"},
            {u"@Year(Due) * 10000 + @Month(Due) * 100 + @Day(Due)", u"20240305"},
            {u"@Date(Due)", u"2024-3-5"},
            // A date without a time and a time without a date keep their kind.
            {u"@Year(Born) : @Month(Born) : @Day(Born) : @Day(At)", u"1976, 3, 3, -1"},
            {u"@Text(Born) + \" \" + @Text(At) + \" \" + @Text(At + 60)", u"1976-3-3 8:30:00 8:31:00"},
            {u"@Date(Born) = Born & Born < @Date(1980; 1; 1)", u"1"},
            {u"@Day(@Date(2024; 2; 29; 10; 0; 0))", u"29"},
            {u"Due + 86400", u"2024-3-6 14:30:00"},
            {u"@Date(2024; 3; 6) - @Date(2024; 3; 5)", u"86400"},
            {u"@Created", u"2024-1-2 8:00:00"},
            {u"@Modified > @Created & @Created < Due", u"1"},
            {u"@DocNumber + \"/\" + @DocNumber(\"\")", u"17/17"},
            {u"@DocLength", u"4321"},
            {u"@DocumentUniqueID", u"0123456789ABCDEF0123456789ABCDEF"},
            {u"@IsAvailable(status) : @IsAvailable(Nothing) : @IsUnavailable(Nothing)", u"1, 0, 1"},
            {u"@All", u"1"},
            {u"x := Count * 2; X := x + 1; REM {a comment}; x", u"7"},
            {u"SELECT Status = \"Draft\";", u"1"},
            // Wrong types, a division by zero, an impossible date: the formula fails on the document.
            {u"Status + 1", u"<error>"},
            {u"1 / 0", u"<error>"},
            {u"@UpperCase(Count)", u"<error>"},
            {u"@Date(2024; 2; 30)", u"<error>"},
            {u"Tags : 1", u"<error>"},
        };
        for (const auto& [formula, expected] : rows)
            QTest::newRow(qPrintable(QString::fromUtf16(formula)))
                << QString::fromUtf16(formula) << QString::fromUtf16(expected);
    }

    void values()
    {
        QFETCH(QString, formula);
        QFETCH(QString, expected);
        QCOMPARE(shown(formula), expected);
    }

    void refused_data()
    {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QString>("reason");
        const std::pair<QString, const char16_t*> rows[] = {
            {u"@Length(Subject)"_s, u"@Length"},
            {u"@Name([O]; From)"_s, u"[CN]"},
            {u"[CN]"_s, u"@Name"},
            {u"FIELD x := 1"_s, u"FIELD"},
            {u"Tags[1]"_s, u"下标"},
            {u"Tags *= \"a\""_s, u"*="},
            {u"@If(1; 2; 3; 4)"_s, u"奇数"},
            {u"@Date(1; 2)"_s, u"@Date"},
            {u"@IsAvailable(\"x\")"_s, u"域名"},
            {u"(1 + 2"_s, u"“)”"},
            {u"\"open"_s, u"没有结束"},
            {u"1 +"_s, u"不完整"},
            {u"a b"_s, u"“;”"},
            {u"x := 1"_s, u"没有给出值"},
            {u"a # b"_s, u"“#”"},
            {QString(200, u'(') + u'1' + QString(200, u')'), u"嵌套过深"},
            {QString(1000, u'-') + u'1', u"嵌套过深"},
            {u'1' + QStringList(1000, u"+ 1"_s).join(u' '), u"公式过长"},
        };
        for (const auto& [formula, reason] : rows)
            QTest::newRow(qPrintable(formula.left(20))) << formula << QString::fromUtf16(reason);
    }

    void refused()
    {
        QFETCH(QString, formula);
        QFETCH(QString, reason);
        try {
            Formula::parse(formula);
            QFAIL("parsed");
        } catch (const FormulaError& e) {
            QVERIFY2(e.message().contains(reason), qPrintable(e.message()));
        }
    }

    void valuesThatWouldGrowWithoutEnd()
    {
        QCOMPARE(shown(u'1' + QStringList(999, u"+ 1"_s).join(u' ')), u"1000"_s);
        QString formula = u"x := \"ab\""_s;
        for (int i = 0; i < 30; ++i)
            formula += u"; x := x + x"_s;
        QCOMPARE(shown(formula + u"; x"_s), u"<error>"_s);
        QString list = u"x := \"a\""_s;
        for (int i = 0; i < 20; ++i)
            list += u"; x := x : x"_s;
        QCOMPARE(shown(list + u"; x"_s), u"<error>"_s);
    }

    void selectionsAndShapes()
    {
        const Memo memo;
        QVERIFY(Formula::parse(u"SELECT @All"_s).selectsAll());
        QVERIFY(Formula::parse(u"SELECT Status = \"DRAFT\" | Form = \"B\""_s).selects(memo));
        QVERIFY(!Formula::parse(u"SELECT Count > 5"_s).selects(memo));
        QVERIFY(!Formula::parse(u"SELECT Status"_s).selects(memo)); // text is no truth value
        QVERIFY(!Formula::parse(u"SELECT Status + 1"_s).selects(memo));
        QCOMPARE(Formula::parse(u"SELECT Form = \"Memo\""_s).selectedForm(), u"Memo"_s);
        QCOMPARE(Formula::parse(u"{合同} = form"_s).selectedForm(), u"合同"_s);
        QVERIFY(!Formula::parse(u"Form = \"A\" | Form = \"B\""_s).selectedForm());
        QCOMPARE(Formula::parse(u" 客户编号 ;"_s).itemName(), u"客户编号"_s);
        QVERIFY(!Formula::parse(u"@DocNumber"_s).itemName());
        QVERIFY(!Formula::parse(u"SELECT Subject"_s).itemName());
    }
};

QTEST_GUILESS_MAIN(TestFormula)
#include "tst_formula.moc"
