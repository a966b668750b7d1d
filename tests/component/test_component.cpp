// The component as the program reaches it, through the registration and the loader, on the sample installation.

#include "domino/error.h"
#include "domino/loader.h"
#include "dominoassert.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "testsupport/sample_installation.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quill::domino;
using quill::component::testing::SampleInstallation;

class TestComponent : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<NotesSession> newSession()
    {
        return createRegisteredSession(quill::platform::Registry(quill::platform::registryFilePath()));
    }

    std::shared_ptr<NotesDatabase> openLocal(const QString& relative)
    {
        auto session = newSession();
        session->InitLocalSession(QString());
        return session->OpenDatabase(QString(), m_sample.dataDir + u'/' + relative, false);
    }

    QTemporaryDir m_dir;
    SampleInstallation m_sample;

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
        // The server-path checks put a link into the data directory.
        m_sample = quill::component::testing::makeSampleInstallation(m_dir.path(),
                                                                     quill::component::testing::SampleUse::PrivateCopy);
    }

    // What the tests of the other layers rely on (sample_installation.h), and what only the component does: views
    // that select by form and sort, formula columns, access lists and the data directory's bounds. What every
    // implementation of the interfaces does is tested in tests/contract.
    void sampleAsDescribed()
    {
        auto db = openLocal(u"crm.nsf"_s);
        QCOMPARE(db->Views(), (QStringList{u"全部"_s, u"按城市"_s, u"所有文档"_s, u"空视图"_s}));
        auto all = db->FindView(u"全部"_s);
        QCOMPARE(all->ColumnCount(), 6);
        QCOMPARE(all->ColumnNames().first(), u"客户编号"_s);
        QCOMPARE(all->EntryCount(), 250);
        QCOMPARE(db->FindView(u"所有文档"_s)->EntryCount(), 251);
        QCOMPARE(db->FindView(u"空视图"_s)->EntryCount(), 0);
        QVERIFY(openLocal(u"业务/无视图.nsf"_s)->Views().isEmpty());
        for (int position : {1, 2, 125, 249, 250})
            QCOMPARE(all->NthDocument(position)->ColumnValues().at(0), Value::number(position));
        const ValueList third = all->NthDocument(3)->ColumnValues();
        QCOMPARE(third[3].asDateTime().date(), QDate(2024, 1, 4));
        QCOMPARE(third[4], Value::list({Value::text(u"张三"_s), Value::text(u"李四"_s)}));
        QCOMPARE(third[5], Value::number(3 * 1234.5));

        auto first = all->NthDocument(1);
        QCOMPARE(first->Items(), (QStringList{u"Form"_s, u"客户编号"_s, u"客户名称"_s, u"城市"_s, u"签约日期"_s,
                                              u"联系人"_s, u"金额"_s, u"备注"_s}));
        QVERIFY(first->ItemValue(u"备注"_s).at(0).asText().startsWith(u"客户备注\t重要\n"_s));
        QCOMPARE(first->RichTextItemByName(u"备注"_s)->EmbeddedObjects(),
                 (QStringList{u"示意图.png"_s, u"说明.txt"_s, u"明细.csv"_s}));
        QCOMPARE(first->ItemByName(u"签约日期"_s)->ItemType(), NotesItem::DateTime);
        QCOMPARE(all->NthDocument(2)->ItemByName(u"读者"_s)->ItemType(), NotesItem::Readers);

        auto contracts = openLocal(u"业务/合同管理.nsf"_s);
        QCOMPARE(contracts->Views().size(), 2);
        QCOMPARE(contracts->FindView(u"合同列表"_s)->NthDocument(4500)->ColumnValues().at(0), Value::number(4500));
        auto archive = openLocal(u"业务/归档/2025归档.nsf"_s)->FindView(u"归档文档"_s);
        QCOMPARE(archive->EntryCount(), 100);
        const QByteArray memo = archive->NthDocument(1)->RichTextItemByName(u"正文"_s)->ExportDXL();
        for (const char* construct : {"bullet", "<table", "<png>", "<urllink", "<doclink"})
            QVERIFY2(memo.contains(construct), construct);
        auto mail = archive->NthDocument(2);
        QVERIFY(mail->GetMIMEEntity(u"正文"_s)->GetEntityAsText().contains("Content-ID: <chart@quill.example>"));
        QCOMPARE(mail->AttachmentAt(0)->Name(), u"会议议程.txt"_s);
    }

    void sortOrdersAndFormulaColumns()
    {
        auto db = openLocal(u"crm.nsf"_s);
        auto byCity = db->FindView(u"按城市"_s);
        QString previous;
        for (auto doc = byCity->NthDocument(1); doc; doc = byCity->NextDocument(*doc)) {
            const QString city = doc->ColumnValues().at(0).asText();
            QVERIFY(previous.isEmpty() || previous.compare(city) >= 0);
            previous = city;
        }
        // @Created, @DocumentUniqueID, and an item the document lacks.
        auto all = db->FindView(u"所有文档"_s);
        const QDateTime first = all->NthDocument(1)->ColumnValues().at(0).asDateTime();
        const QDateTime second = all->NthDocument(2)->ColumnValues().at(0).asDateTime();
        QCOMPARE(first.secsTo(second), 60);
        auto emptyDoc = all->NthDocument(251);
        const ValueList values = emptyDoc->ColumnValues();
        QCOMPARE(values[1], Value::text(emptyDoc->DocumentId()));
        QCOMPARE(values[2], Value::text(QString()));
    }

    void serverPathsStayInsideTheDataDirectory()
    {
        auto session = newSession();
        session->InitUserSession(m_sample.userName, m_sample.password);
        // A database outside the data directory that each escape would reach.
        const QString outside = m_dir.filePath(u"outside.nsf"_s);
        QVERIFY(QFile::copy(m_sample.dataDir + u"/crm.nsf"_s, outside));
        QVERIFY(QFile::link(m_dir.path(), m_sample.dataDir + u"/link"_s));
        for (const QString& path : {u"..\\outside.nsf"_s, u"业务/../../outside.nsf"_s, outside, u"link/outside.nsf"_s})
            QVERIFY_DOMINO_ERROR(session->OpenDatabase(m_sample.serverName, path, false), u"拒绝访问"_s);
        QVERIFY(QFile::remove(m_sample.dataDir + u"/link"_s));
    }

    void accessListRefusesOnServerOnly()
    {
        auto guest = newSession();
        guest->InitUserSession(m_sample.guestName, m_sample.guestPassword);
        QVERIFY_DOMINO_ERROR(guest->OpenDatabase(m_sample.serverName, u"限制/机密.nsf"_s, false), u"无权访问"_s);
        QCOMPARE(guest->OpenDatabase(m_sample.serverName, u"crm.nsf"_s, false)->Views().size(), 4);
        QCOMPARE(guest->OpenDatabase(QString(), m_sample.dataDir + u"/限制/机密.nsf"_s, false)->Views().size(), 1);

        auto manager = newSession();
        manager->InitUserSession(m_sample.userName, m_sample.password);
        QCOMPARE(manager->OpenDatabase(m_sample.serverName, u"限制/机密.nsf"_s, false)->Views(),
                 QStringList{u"机密文档"_s});
    }

    // The Readers items of crm.nsf's second to fourth customers name userName, the role [Admin] that the access
    // list gives the group 销售部, and 销售部, which holds the group that holds userName. The guest reads none.
    void readersItemsOnTheSample()
    {
        const struct
        {
            QString user;
            QString password;
            int count;
            QList<int> numbers; // of the first five documents
        } cases[] = {{m_sample.userName, m_sample.password, 250, {1, 2, 3, 4, 5}},
                     {m_sample.guestName, m_sample.guestPassword, 247, {1, 5, 6, 7, 8}}};
        for (const auto& c : cases) {
            auto session = newSession();
            session->InitUserSession(c.user, c.password);
            auto db = session->OpenDatabase(m_sample.serverName, u"crm.nsf"_s, false);
            auto all = db->FindView(u"全部"_s);
            QCOMPARE(all->EntryCount(), c.count);
            QCOMPARE(db->FindView(u"所有文档"_s)->EntryCount(), c.count + 1);
            QList<int> numbers;
            for (auto doc = all->NthDocument(1); numbers.size() < 5; doc = all->NextDocument(*doc))
                numbers << int(doc->ColumnValues().at(0).asNumber());
            QCOMPARE(numbers, c.numbers);
        }
        QCOMPARE(openLocal(u"crm.nsf"_s)->FindView(u"按城市"_s)->EntryCount(), 250);
    }
};

QTEST_GUILESS_MAIN(TestComponent)
#include "test_component.moc"
