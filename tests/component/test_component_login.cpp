// A login answers in the same time whether the user name exists or not, and repeated failures to one name wait
// longer and longer. Counted, not timed: this program stands in for libsodium's password functions (the
// component finds them here first) and passes each call on, and for nanosleep, which it only records.

#include "domino/error.h"
#include "domino/loader.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "testsupport/sample_installation.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <dlfcn.h>
#include <sodium.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

int g_hashesMade = 0;
QList<QByteArray> g_hashesChecked;
std::vector<qint64> g_waits; // milliseconds, as asked of nanosleep

template <typename Fn> Fn real(const char* name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

// The parameters of a stored hash: "$argon2id$v=19$m=65536,t=2,p=1$" without salt and digest.
QByteArray parameters(const QByteArray& hash)
{
    return hash.left(hash.lastIndexOf('$', hash.lastIndexOf('$') - 1) + 1);
}

} // namespace

extern "C" {
int crypto_pwhash_str(char out[crypto_pwhash_STRBYTES], const char* const passwd, unsigned long long passwdlen,
                      unsigned long long opslimit, size_t memlimit)
{
    ++g_hashesMade;
    using Fn = int (*)(char*, const char*, unsigned long long, unsigned long long, size_t);
    return real<Fn>("crypto_pwhash_str")(out, passwd, passwdlen, opslimit, memlimit);
}

int nanosleep(const timespec* requested, timespec* remaining)
{
    g_waits.push_back(qint64(requested->tv_sec) * 1000 + requested->tv_nsec / 1000000);
    if (remaining)
        *remaining = {};
    return 0;
}

int crypto_pwhash_str_verify(const char* str, const char* const passwd, unsigned long long passwdlen)
{
    g_hashesChecked << QByteArray(str);
    using Fn = int (*)(const char*, const char*, unsigned long long);
    return real<Fn>("crypto_pwhash_str_verify")(str, passwd, passwdlen);
}
}

class TestComponentLogin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_sample = quill::component::testing::makeSampleInstallation(m_dir.path());
        // The program itself needs libsodium: the calls above pass on to it.
        QVERIFY(sodium_init() >= 0);
    }

    void unknownNamesCostWhatKnownOnesDo()
    {
        using quill::domino::DominoError;
        const auto session = [] {
            return quill::domino::createRegisteredSession(
                quill::platform::Registry(quill::platform::registryFilePath()));
        };
        const QList<std::pair<QString, QString>> logins = {
            {m_sample.userName, u"wrong"_s},
            {u"没有这个用户"_s, u"wrong"_s},
            {u"nobody"_s, m_sample.password},
            {m_sample.userName, m_sample.password},
        };
        int failed = 0;
        for (const auto& [user, password] : logins) {
            try {
                session()->InitUserSession(user, password);
            } catch (const DominoError&) {
                ++failed;
            }
        }
        QCOMPARE(failed, 3);
        // Every login ran the password check once, known name or not, against a hash of the same kind.
        QCOMPARE(g_hashesChecked.size(), logins.size());
        for (const QByteArray& hash : std::as_const(g_hashesChecked))
            QCOMPARE(parameters(hash), parameters(g_hashesChecked.first()));
        QVERIFY2(parameters(g_hashesChecked.first()).startsWith("$argon2id$"), g_hashesChecked.first().constData());
        // The hash for unknown names was made once, not at every login.
        QCOMPARE(g_hashesChecked[1], g_hashesChecked[2]);
        QVERIFY(g_hashesMade <= 1);
    }

    void repeatedFailuresWaitLongerUntilASuccess()
    {
        using quill::domino::DominoError;
        const QString user = m_sample.userName;
        const QString right = m_sample.password;
        struct Attempt
        {
            QString name;
            QString password;
            qint64 wait; // asked before the check, milliseconds; 0: none
        };
        const QList<Attempt> attempts = {{user, u"w1"_s, 0},
                                         {user, u"w2"_s, 0},
                                         {user, u"w3"_s, 0},
                                         {user, u"w4"_s, 1000},
                                         {user, u"w5"_s, 2000},
                                         // The right password waits as well, then forgets the failures.
                                         {user, right, 4000},
                                         {user, u"w6"_s, 0},
                                         // An unknown name counts alike, without regard to case, and alone.
                                         {u"stranger"_s, u"w"_s, 0},
                                         {u"STRANGER"_s, u"w"_s, 0},
                                         {u"Stranger"_s, u"w"_s, 0},
                                         {u"someone"_s, u"w"_s, 0},
                                         {u"stranger"_s, u"w"_s, 1000},
                                         {u"stranger"_s, u"w"_s, 2000},
                                         {u"stranger"_s, u"w"_s, 4000},
                                         {u"stranger"_s, u"w"_s, 8000},
                                         {u"stranger"_s, u"w"_s, 16000},
                                         {u"stranger"_s, u"w"_s, 30000},
                                         {u"stranger"_s, u"w"_s, 30000},
                                         {user, u"w7"_s, 0}};
        g_hashesChecked.clear();
        for (const Attempt& a : attempts) {
            g_waits.clear();
            bool signedIn = true;
            try {
                quill::domino::createRegisteredSession(quill::platform::Registry(quill::platform::registryFilePath()))
                    ->InitUserSession(a.name, a.password);
            } catch (const DominoError&) {
                signedIn = false;
            }
            QCOMPARE(signedIn, a.password == right);
            QVERIFY2(g_waits == (a.wait ? std::vector<qint64>{a.wait} : std::vector<qint64>()),
                     qPrintable(a.name + u' ' + a.password));
        }
        // The wait never stands in for the check: one per attempt.
        QCOMPARE(g_hashesChecked.size(), attempts.size());
    }

private:
    QTemporaryDir m_dir;
    quill::component::testing::SampleInstallation m_sample;
};

QTEST_GUILESS_MAIN(TestComponentLogin)
#include "test_component_login.moc"
