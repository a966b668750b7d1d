#include "domino/databasehandle.h"
#include "domino/error.h"
#include "domino/lazysession.h"
#include "domino/value.h"
#include "fakedomino.h"

#include <QRandomGenerator>
#include <QTest>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

Q_DECLARE_METATYPE(quill::domino::Value)

using namespace Qt::StringLiterals;
using namespace quill::domino;

class TestValue : public QObject
{
    Q_OBJECT
private slots:
    void valueToText_data()
    {
        QTest::addColumn<Value>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("text unchanged") << Value::text(u" 合同 A "_s) << u" 合同 A "_s;
        QTest::newRow("empty") << Value() << QString();
        QTest::newRow("whole number") << Value::number(3) << u"3"_s;
        QTest::newRow("negative whole") << Value::number(-7) << u"-7"_s;
        QTest::newRow("tenth") << Value::number(0.1) << u"0.1"_s;
        QTest::newRow("third") << Value::number(1.0 / 3) << u"0.333333333333333"_s;
        QTest::newRow("two thirds rounds") << Value::number(2.0 / 3) << u"0.666666666666667"_s;
        QTest::newRow("1E20") << Value::number(1e20) << u"1E20"_s;
        QTest::newRow("15 integer digits stay fixed") << Value::number(123456789012345.0) << u"123456789012345"_s;
        QTest::newRow("16 integer digits go scientific")
            << Value::number(1234567890123456.0) << u"1.23456789012346E15"_s;
        QTest::newRow("rounding carries into scientific") << Value::number(999999999999999.9) << u"1E15"_s;
        QTest::newRow("1E-5 still fixed") << Value::number(0.00001) << u"0.00001"_s;
        QTest::newRow("1E-6 scientific") << Value::number(0.000001) << u"1E-6"_s;
        QTest::newRow("small with digits") << Value::number(-1.5e-7) << u"-1.5E-7"_s;
        QTest::newRow("big double") << Value::number(123456789012345678.0) << u"1.23456789012346E17"_s;
        QTest::newRow("big integer in decimal") << Value::integer(123456789012345678LL) << u"123456789012345678"_s;
        QTest::newRow("zero") << Value::number(0.0) << u"0"_s;
        QTest::newRow("midnight drops the time")
            << Value::dateTime(QDateTime(QDate(2026, 12, 8), QTime(0, 0, 0))) << u"2026-12-8"_s;
        QTest::newRow("date with time") << Value::dateTime(QDateTime(QDate(2026, 12, 8), QTime(4, 24, 34)))
                                        << u"2026-12-8 4:24:34"_s;
        QTest::newRow("one second past midnight")
            << Value::dateTime(QDateTime(QDate(2026, 1, 31), QTime(0, 0, 1))) << u"2026-1-31 0:00:01"_s;
        QTest::newRow("date only") << Value::date(QDate(1976, 3, 3)) << u"1976-3-3"_s;
        QTest::newRow("time only") << Value::time(QTime(8, 30, 0, 520)) << u"8:30:00"_s;
        QTest::newRow("time only at midnight keeps its time") << Value::time(QTime(0, 0)) << u"0:00:00"_s;
        QTest::newRow("afternoon time") << Value::time(QTime(23, 5, 9)) << u"23:05:09"_s;
        QTest::newRow("invalid date-time") << Value::dateTime(QDateTime()) << QString();
        QTest::newRow("list joined") << Value::list({Value::text(u"甲"_s), Value::number(2.5)}) << u"甲, 2.5"_s;
    }
    void numbersAsPrintfRoundsThem()
    {
        // Numbers are rounded to 15 digits with to_chars, which must give what printf's "%.14e" gives.
        QRandomGenerator random(17);
        for (int i = 0; i < 200000; ++i) {
            // Any bit pattern, and amounts of up to three decimals.
            double value = double(random.bounded(1000000000)) / 1000;
            if (i % 2 == 0) {
                const quint64 bits = random.generate64();
                std::memcpy(&value, &bits, sizeof value);
            }
            if (!std::isfinite(value))
                continue;
            char expected[64];
            char actual[64];
            std::snprintf(expected, sizeof expected, "%.14e", value);
            *std::to_chars(actual, actual + sizeof actual - 1, value, std::chars_format::scientific, 14).ptr = 0;
            QCOMPARE(QByteArray(actual), QByteArray(expected));
        }
    }
    void valueToText()
    {
        QFETCH(Value, value);
        QFETCH(QString, text);
        QCOMPARE(ValueToText(value), text);
    }

    // Wall-clock fields survive every zone, those a clock change skips there among them.
    void wallClockKeepsItsFields_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QTime>("time");
        QTest::newRow("New York, spring forward") << "America/New_York"_ba << QDate(2024, 3, 10) << QTime(2, 30);
        QTest::newRow("Shanghai, 1986 summer time") << "Asia/Shanghai"_ba << QDate(1986, 5, 4) << QTime(2, 30);
        QTest::newRow("Shanghai, midnight skipped in 1940") << "Asia/Shanghai"_ba << QDate(1940, 6, 1) << QTime(0, 0);
        QTest::newRow("UTC") << "UTC"_ba << QDate(1976, 3, 3) << QTime(8, 30);
    }
    void wallClockKeepsItsFields()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDate, date);
        QFETCH(QTime, time);
        const bool wasSet = qEnvironmentVariableIsSet("TZ");
        const QByteArray before = qgetenv("TZ");
        qputenv("TZ", zone);
        tzset();
        const QDateTime value = wallClockDateTime(date, time);
        if (wasSet)
            qputenv("TZ", before);
        else
            qunsetenv("TZ");
        tzset();
        QVERIFY(value.isValid());
        QCOMPARE(value.date(), date);
        QCOMPARE(value.time(), time);
    }

    void nullHasNoText()
    {
        QVERIFY_THROWS_EXCEPTION(DominoError, ValueToText(Value::null()));
        QVERIFY_THROWS_EXCEPTION(DominoError, ValueToText(Value::list({Value::text(u"a"_s), Value::null()})));
    }

    void sessionReachesNothingUntilUsed()
    {
        quill::testing::FakeDomino fake;
        fake.addDatabase(u"/data/a.nsf"_s).addView(u"全部"_s);
        LazySession session(fake.sessionFactory());
        QCOMPARE(fake.sessionsCreated(), 0);
        QVERIFY(!session.isConnected());

        session.InitLocalSession(QString());
        QCOMPARE(fake.sessionsCreated(), 1);
        auto db = session.OpenDatabase(QString(), u"/data/a.nsf"_s, false);
        QCOMPARE(fake.sessionsCreated(), 1);
        QCOMPARE(db->Views(), QStringList{u"全部"_s});

        // Dropping the link makes the next operation start from a fresh session.
        session.disconnect();
        session.InitLocalSession(QString());
        QCOMPARE(fake.sessionsCreated(), 2);
    }

    void unboundDatabaseFailsClearly()
    {
        DatabaseHandle database;
        QVERIFY_THROWS_EXCEPTION(DominoError, database.Views());
        LazySession noComponent(nullptr);
        QVERIFY_THROWS_EXCEPTION(DominoError, noComponent.InitLocalSession(QString()));
    }
};

QTEST_GUILESS_MAIN(TestValue)
#include "test_value.moc"
