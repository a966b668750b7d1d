// The component as the program reaches it: through the registration and the loader.

#include "domino/error.h"
#include "domino/loader.h"
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

#define QVERIFY_DOMINO_ERROR(expression, fragment)                                                                     \
    do {                                                                                                               \
        try {                                                                                                          \
            expression;                                                                                                \
            QFAIL("no DominoError from " #expression);                                                                 \
        } catch (const DominoError& e) {                                                                               \
            if (!e.message().contains(fragment))                                                                       \
                QFAIL(qPrintable(u"unexpected message: "_s + e.message()));                                            \
        }                                                                                                              \
    } while (false)

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

    static QByteArray fileContents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }

    QTemporaryDir m_dir;
    SampleInstallation m_sample;

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
        m_sample = quill::component::testing::makeSampleInstallation(m_dir.path());
    }

    void viewsAndColumns()
    {
        auto db = openLocal(u"crm.nsf"_s);
        QCOMPARE(db->Views(), (QStringList{u"全部"_s, u"按城市"_s, u"所有文档"_s, u"空视图"_s}));
        auto view = db->FindView(u"全部"_s);
        QCOMPARE(view->ViewName(), u"全部"_s);
        QCOMPARE(view->ColumnCount(), 6);
        QCOMPARE(view->ColumnNames().first(), u"客户编号"_s);
        QCOMPARE(view->EntryCount(), 250);
        QCOMPARE(db->FindView(u"所有文档"_s)->EntryCount(), 251);
        QCOMPARE(db->FindView(u"空视图"_s)->EntryCount(), 0);
        QVERIFY_DOMINO_ERROR(db->FindView(u"没有这个"_s), u"找不到视图：没有这个"_s);
        QVERIFY(openLocal(u"业务/无视图.nsf"_s)->Views().isEmpty());
    }

    void positionsAtStartMiddleEndAndPast()
    {
        auto view = openLocal(u"crm.nsf"_s)->FindView(u"全部"_s);
        for (int position : {1, 2, 125, 249, 250}) {
            auto doc = view->NthDocument(position);
            QCOMPARE(doc->ColumnValues().at(0), Value::number(position));
        }
        auto last = view->NthDocument(250);
        QVERIFY(view->NextDocument(*last) == nullptr);
        QVERIFY_DOMINO_ERROR(view->NthDocument(251), u"没有第251个文档"_s);
        QVERIFY_DOMINO_ERROR(view->NthDocument(0), u"没有第0个文档"_s);
        QVERIFY_DOMINO_ERROR(openLocal(u"crm.nsf"_s)->FindView(u"空视图"_s)->NthDocument(1), u"没有第1个文档"_s);

        // Walking with NextDocument gives the same documents as NthDocument.
        auto doc = view->NthDocument(120);
        for (int position = 121; position <= 130; ++position) {
            doc = view->NextDocument(*doc);
            QVERIFY(doc);
            QCOMPARE(doc->DocumentId(), view->NthDocument(position)->DocumentId());
        }
        // A document of another view cannot be walked here.
        auto other = openLocal(u"crm.nsf"_s)->FindView(u"按城市"_s)->NthDocument(1);
        QVERIFY_DOMINO_ERROR(view->NextDocument(*other), u"不是从视图全部中取得的"_s);
    }

    void sortOrders()
    {
        auto db = openLocal(u"crm.nsf"_s);
        auto byCity = db->FindView(u"按城市"_s);
        QString previous;
        for (auto doc = byCity->NthDocument(1); doc; doc = byCity->NextDocument(*doc)) {
            const QString city = doc->ColumnValues().at(0).asText();
            QVERIFY(previous.isEmpty() || previous.compare(city) >= 0);
            previous = city;
        }
        auto all = db->FindView(u"所有文档"_s);
        const QDateTime first = all->NthDocument(1)->ColumnValues().at(0).asDateTime();
        const QDateTime second = all->NthDocument(2)->ColumnValues().at(0).asDateTime();
        QCOMPARE(first.secsTo(second), 60);
    }

    void columnValuesAreTyped()
    {
        auto db = openLocal(u"crm.nsf"_s);
        const ValueList third = db->FindView(u"全部"_s)->NthDocument(3)->ColumnValues();
        QCOMPARE(third.size(), size_t(6));
        QCOMPARE(third[1].kind(), Value::Kind::Text);
        QCOMPARE(third[3].kind(), Value::Kind::DateTime);
        QCOMPARE(third[3].asDateTime().date(), QDate(2024, 1, 4));
        QCOMPARE(third[4], Value::list({Value::text(u"张三"_s), Value::text(u"李四"_s)}));
        QCOMPARE(third[5], Value::number(3 * 1234.5));

        // Formula columns, and a column whose item the document lacks.
        auto all = db->FindView(u"所有文档"_s);
        auto emptyDoc = all->NthDocument(251);
        const ValueList values = emptyDoc->ColumnValues();
        QCOMPARE(values[1], Value::text(emptyDoc->DocumentId()));
        QCOMPARE(values[2], Value::text(QString()));
        QVERIFY(emptyDoc->Items().isEmpty());
        QVERIFY(!emptyDoc->HasAttachments());
    }

    void documentItemsAndValues()
    {
        auto db = openLocal(u"crm.nsf"_s);
        auto doc = db->FindView(u"全部"_s)->NthDocument(1);
        QCOMPARE(doc->DocumentId().size(), 32);
        QCOMPARE(doc->DocumentId(), doc->DocumentId().toUpper());
        QCOMPARE(doc->Items(), (QStringList{u"Form"_s, u"客户编号"_s, u"客户名称"_s, u"城市"_s, u"签约日期"_s,
                                            u"联系人"_s, u"金额"_s, u"备注"_s}));
        QCOMPARE(doc->ItemValue(u"客户编号"_s), ValueList{Value::number(1)});
        QCOMPARE(doc->ItemValue(u"城市"_s).at(0).kind(), Value::Kind::Text);
        QVERIFY(doc->ItemValue(u"没有的域"_s).empty());
        QCOMPARE(doc->ItemByName(u"签约日期"_s)->ItemType(), NotesItem::DateTime);
        QCOMPARE(doc->ItemByName(u"联系人"_s)->ItemType(), NotesItem::Names);
        QCOMPARE(doc->ItemByName(u"备注"_s)->ItemType(), NotesItem::RichText);
        QVERIFY_DOMINO_ERROR(doc->ItemByName(u"没有的域"_s), u"找不到域：没有的域"_s);
        QVERIFY_DOMINO_ERROR(doc->RichTextItemByName(u"城市"_s), u"不是RTF域"_s);

        const ValueList remark = doc->ItemValue(u"备注"_s);
        QCOMPARE(remark.size(), size_t(1));
        QVERIFY(remark[0].asText().startsWith(u"客户备注\t重要\n"_s));

        auto second = db->FindView(u"全部"_s)->NthDocument(2);
        QCOMPARE(second->ItemByName(u"读者"_s)->ItemType(), NotesItem::Readers);
        QCOMPARE(second->ItemValue(u"作者"_s), ValueList{Value::text(u"演示用户"_s)});

        // By id, in any letter case; such a document has no column values.
        auto byId = db->FindDocumentById(doc->DocumentId().toLower());
        QCOMPARE(byId->DocumentId(), doc->DocumentId());
        QVERIFY_DOMINO_ERROR(byId->ColumnValues(), u"不是从视图中取得的"_s);
        QVERIFY_DOMINO_ERROR(db->FindDocumentById(u"0123456789ABCDEF0123456789ABCDEF"_s), u"找不到文档"_s);
    }

    void richTextFormattingAndEmbeddedObjects()
    {
        auto doc = openLocal(u"crm.nsf"_s)->FindView(u"全部"_s)->NthDocument(1);
        auto item = doc->RichTextItemByName(u"备注"_s);
        const QString text = item->FormattedText(true, 80);
        QVERIFY(!text.contains(u'\t'));
        QVERIFY(text.startsWith(u"客户备注    重要\n"_s));
        for (const QString& line : text.split(u'\n'))
            QVERIFY2(line.size() <= 80, qPrintable(line));
        QCOMPARE(item->FormattedText(false, 0), doc->ItemValue(u"备注"_s).at(0).asText());

        QCOMPARE(item->EmbeddedObjects(), (QStringList{u"示意图.png"_s, u"说明.txt"_s, u"明细.csv"_s}));
        auto object = item->EmbeddedObjectByName(u"说明.txt"_s);
        QCOMPARE(object->Name(), u"说明.txt"_s);
        const QString target = m_dir.filePath(u"saved.txt"_s);
        {
            QFile existing(target);
            QVERIFY(existing.open(QIODevice::WriteOnly));
            existing.write(QByteArray(5000, 'z')); // replaced completely, not overwritten in place
        }
        object->SaveToFile(target);
        QCOMPARE(fileContents(target), u"嵌入的说明文件"_s.toUtf8());
        QVERIFY_DOMINO_ERROR(item->EmbeddedObjectByName(u"无.png"_s), u"找不到嵌入对象：无.png"_s);
        QVERIFY_DOMINO_ERROR(object->SaveToFile(u"/nonexistent-dir/x.txt"_s), u"/nonexistent-dir/x.txt"_s);
    }

    void attachmentsAndFormula()
    {
        auto session = newSession();
        session->InitLocalSession(QString());
        auto db = session->OpenDatabase(QString(), m_sample.dataDir + u"/crm.nsf"_s, false);
        auto doc = db->FindView(u"全部"_s)->NthDocument(1);
        QVERIFY(doc->HasAttachments());
        QVERIFY(!db->FindView(u"全部"_s)->NthDocument(2)->HasAttachments());
        QCOMPARE(session->EvaluateFormula(u"@AttachmentNames"_s, *doc),
                 (ValueList{Value::text(u"合同.txt"_s), Value::text(u"报价单.csv"_s)}));
        QVERIFY_DOMINO_ERROR(session->EvaluateFormula(u"@Now"_s, *doc), u"不支持的公式"_s);

        const QString target = m_dir.filePath(u"报价单.csv"_s);
        doc->AttachmentByName(u"报价单.csv"_s)->SaveToFile(target);
        QCOMPARE(fileContents(target), u"产品,数量,单价\n服务器,2,35000\n"_s.toUtf8());
        QVERIFY_DOMINO_ERROR(doc->AttachmentByName(u"没有.doc"_s), u"找不到附件：没有.doc"_s);
        const QString blocker = m_dir.filePath(u"blocker"_s);
        QFile(blocker).open(QIODevice::WriteOnly);
        QVERIFY_DOMINO_ERROR(doc->AttachmentByName(u"合同.txt"_s)->SaveToFile(blocker + u"/合同.txt"_s),
                             blocker + u"/合同.txt"_s);
    }

    void objectsOutliveTheirParents()
    {
        std::unique_ptr<NotesDocument> doc;
        {
            auto view = openLocal(u"业务/合同管理.nsf"_s)->FindView(u"合同列表"_s);
            QCOMPARE(view->EntryCount(), 4500);
            doc = view->NthDocument(4500);
        }
        QCOMPARE(doc->ColumnValues().at(0), Value::number(4500));
    }

    void serverLogin()
    {
        auto session = newSession();
        QVERIFY_DOMINO_ERROR(session->OpenDatabase(m_sample.serverName, u"crm.nsf"_s, false), u"InitUserSession"_s);
        QVERIFY_DOMINO_ERROR(session->OpenDatabase(QString(), m_sample.dataDir + u"/crm.nsf"_s, false),
                             u"会话尚未初始化"_s);
        QVERIFY_DOMINO_ERROR(session->InitUserSession(m_sample.userName, u"wrong"_s), u"用户名或密码错误"_s);
        QVERIFY_DOMINO_ERROR(session->InitUserSession(u"nobody"_s, m_sample.password), u"用户名或密码错误"_s);
        QVERIFY_DOMINO_ERROR(session->OpenDatabase(m_sample.serverName, u"crm.nsf"_s, false), u"InitUserSession"_s);

        session->InitUserSession(m_sample.userName, m_sample.password);
        auto db = session->OpenDatabase(m_sample.serverName.toLower(), u"业务\\归档\\2025归档.nsf"_s, false);
        QCOMPARE(db->FindView(u"归档文档"_s)->EntryCount(), 100);
        QCOMPARE(session->OpenDatabase(m_sample.serverName, u"业务/合同管理.nsf"_s, false)->Views().size(), 2);
        QVERIFY_DOMINO_ERROR(session->OpenDatabase(u"OTHERSERVER"_s, u"crm.nsf"_s, false),
                             u"无法连接服务器OTHERSERVER"_s);
        QVERIFY_DOMINO_ERROR(session->OpenDatabase(m_sample.serverName, u"missing.nsf"_s, false), u"找不到数据库"_s);
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
};

QTEST_GUILESS_MAIN(TestComponent)
#include "test_component.moc"
