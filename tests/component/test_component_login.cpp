// A login answers in the same time whether the user name exists or not. Counted, not timed: this program
// stands in for libsodium's password functions (the component finds them here first) and passes each call on.

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

using namespace Qt::StringLiterals;

namespace {

int g_hashesMade = 0;
QList<QByteArray> g_hashesChecked;

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

private:
    QTemporaryDir m_dir;
    quill::component::testing::SampleInstallation m_sample;
};

QTEST_GUILESS_MAIN(TestComponentLogin)
#include "test_component_login.moc"
