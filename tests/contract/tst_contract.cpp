// The Domino interfaces as every implementation must keep them: the same tests, on the same databases, against
// the in-memory stand-in of the tests ("fake") and against the component through its registration ("component").

#include "admin.h"
#include "domino/error.h"
#include "domino/loader.h"
#include "domino/richtext.h"
#include "dominoassert.h"
#include "fakedomino.h"
#include "model.h"
#include "platform/registry.h"
#include "store.h"
#include "testsupport/sample_installation.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

using namespace Qt::StringLiterals;
using namespace quill::domino;
namespace admin = quill::component::admin;
namespace component = quill::component;

namespace {

// The installation every backend holds.
const QString kServer = u"QUILLSERVER"_s;
const QString kUser = u"演示用户"_s;
const QString kPassword = u"quill123"_s;
const QString kDatabase = u"业务/合同.nsf"_s; // below the data directory
const QString kNoViews = u"业务/无视图.nsf"_s;
const QString kChanging = u"业务/变动.nsf"_s; // as kDatabase, for the tests that change it
// Documents with Readers and Authors items, and the users and groups they name.
const QString kReaders = u"业务/读者.nsf"_s;
const QString kReader = u"CN=Wang Fang/OU=Sales/O=Quill"_s;
const QString kReaderPassword = u"wang123"_s;
// Wang Fang is in 华东组, which is in 销售部, and in the first of a chain 级1 ⊂ 级2 ⊂ ... ⊂ 级7 ⊂ 级1.
const std::vector<std::pair<QString, QStringList>> kGroups = {{u"华东组"_s, {u"Wang Fang/Sales/Quill"_s}},
                                                              {u"销售部"_s, {u"华东组"_s, u"李雷"_s}},
                                                              {u"级1"_s, {u"*/Sales/Quill"_s, u"级7"_s}},
                                                              {u"级2"_s, {u"级1"_s}},
                                                              {u"级3"_s, {u"级2"_s}},
                                                              {u"级4"_s, {u"级3"_s}},
                                                              {u"级5"_s, {u"级4"_s}},
                                                              {u"级6"_s, {u"级5"_s}},
                                                              {u"级7"_s, {u"级6"_s}}};
// The access list gives 销售部 the role [Admin].
const QString kRoleHolder = u"销售部"_s;
const QString kRole = u"[Admin]"_s;
// Readers and Authors items of each document of the view 全部 (in that order), and who reads it on the server.
struct Restriction
{
    QStringList readers; // no item when empty
    QStringList authors;
    bool readerReads;
    bool userReads;
};
const std::vector<Restriction> kRestrictions = {
    {{}, {}, true, true},
    {{u"CN=Wang Fang/OU=Sales/O=Quill"_s}, {}, true, false},
    {{u"wang fang/sales/QUILL"_s}, {}, true, false},
    {{u"WANG FANG"_s}, {}, true, false},
    {{u"销售部"_s}, {}, true, false},
    {{u"[admin]"_s}, {}, true, false},
    {{u"*/Sales/Quill"_s}, {}, true, false},
    {{u"*"_s}, {}, true, true},
    {{}, {u"李雷"_s}, true, true},
    {{u""_s, u" "_s}, {u"李雷"_s}, true, true},
    {{u"李雷"_s}, {u"Wang Fang/Sales/Quill"_s}, true, false},
    {{u"李雷"_s, u"Wang Fang/Other/Quill"_s, u"Wang"_s}, {}, false, false},
    {{u"级6"_s}, {}, true, false},
    {{u"级7"_s}, {}, false, false},
    {{u"[Other]"_s}, {}, false, false},
};
const QString kRemark = u"客户备注\t重要\n"_s + QString(30, u'好') +
                        u" This remark is long enough to be wrapped at eighty characters by the formatted text of "
                        u"the rich-text item."_s;
// An instant, shown in local time.
const QDateTime kSent(QDate(1976, 3, 3), QTime(0, 30), Qt::UTC);
// Rich-text items whose formatted text is checked: plain text, tabs to spaces, line length, the expected text.
struct Wrapping
{
    QString text;
    bool tabsToSpaces;
    int lineLength;
    QString formatted;
};
const std::vector<Wrapping> kWrappings = {
    {u"a\tb\r\nab\tc"_s, true, 80, u"a       b\nab      c"_s},
    {u"a\tb"_s, false, 80, u"a\tb"_s},
    {u"one "_s + QString(100, u'x') + u" two"_s, true, 80, u"one\n"_s + QString(100, u'x') + u"\ntwo"_s},
    {QStringList(30, u"word"_s).join(u' '), true, 80,
     QStringList(16, u"word"_s).join(u' ') + u'\n' + QStringList(14, u"word"_s).join(u' ')},
    {QString(100, u'字'), true, 80, QString(80, u'字') + u'\n' + QString(20, u'字')},
};

// Rich text kept with its structure, a mail body kept as MIME, and plain text that DXL must escape.
const QByteArray kBodyDxl = "<richtext><pardef id=\"1\" list=\"bullet\"/><par def=\"1\"><run><font style=\"bold\"/>"
                            "甲</run></par><par>乙 &amp; 丙</par></richtext>";
const QByteArray kMail = "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\n邮件正文\r\n";
const QString kSymbols = u"a<b & c>d\x01"
                         u"e\r\n\nf"_s;

// The universal id of the n-th document, in upper case as ids are given out.
QString idOf(int n)
{
    return u"%1"_s.arg(0xABC00 + n, 32, 16, QLatin1Char('0')).toUpper();
}

qint64 at(int year, int month, int day, int hour = 0, int minute = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute)).toMSecsSinceEpoch();
}

admin::ItemToAdd item(const QString& name, int type, const QJsonArray& values,
                      std::vector<admin::FileToAdd> objects = {})
{
    return admin::ItemToAdd{name, type, values, std::move(objects)};
}

// Four documents in creation order: a full one, one with readers and authors, one without items, and one whose
// rich-text items test the formatted text.
std::vector<admin::DocumentToAdd> documents()
{
    using namespace component;
    std::vector<admin::DocumentToAdd> docs(4);
    for (size_t i = 0; i < docs.size(); ++i) {
        docs[i].unid = idOf(int(i) + 1);
        docs[i].created = docs[i].modified = at(2025, 1, 1, 8) + qint64(i) * 60000;
    }
    docs[0].items = {item(u"编号"_s, NumberType, {1}),
                     item(u"名称"_s, TextType, {u"华夏贸易"_s}),
                     item(u"签约"_s, DateTimeType, {double(at(2024, 1, 4, 9, 30))}),
                     item(u"联系人"_s, NamesType, {u"张三"_s, u"李四"_s}),
                     item(u"金额"_s, NumberType, {1234.5}),
                     item(u"备注"_s, RichTextType, {kRemark},
                          {{u"示意图.png"_s, QByteArray("\x89PNG", 4)},
                           {u"说明.txt"_s, u"嵌入的说明文件"_s.toUtf8()},
                           {u"说明.txt"_s, "another object of the same name"}})};
    docs[0].attachments = {{u"合同.txt"_s, u"合同正文：甲方与乙方……\n"_s.toUtf8()},
                           {u"Quote.csv"_s, u"产品,数量,单价\n服务器,2,35000\n"_s.toUtf8()},
                           {u"Readme.TXT"_s, "first"},
                           {u"readme.txt"_s, "second"},
                           {u"合同.txt"_s, "another contract of the same name"}};
    docs[1].items = {item(u"编号"_s, NumberType, {2}),
                     item(u"名称"_s, TextType, {u"东方电子"_s}),
                     item(u"读者"_s, ReadersType, {u"演示用户"_s, u"[Admin]"_s}),
                     item(u"作者"_s, AuthorsType, {u"演示用户"_s}),
                     item(u"备注"_s, RichTextType, {u"没有嵌入对象的RTF域"_s}),
                     item(u"日期"_s, DateTimeType, {storedDate(QDate(1976, 3, 3))}),
                     item(u"时间"_s, DateTimeType, {storedTime(QTime(8, 30)), storedTime(QTime(0, 0))}),
                     item(u"会面"_s, DateTimeType, {storedWallClock(QDate(1976, 3, 3), QTime(8, 30))}),
                     item(u"发出"_s, DateTimeType, {storedInstant(kSent.toMSecsSinceEpoch())}),
                     item(u"正文"_s, RichTextType, {u"甲\n乙 & 丙"_s}),
                     item(u"邮件"_s, RichTextType, {u"邮件正文"_s}),
                     item(u"符号"_s, RichTextType, {kSymbols})};
    docs[1].items[9].dxl = kBodyDxl;
    docs[1].items[10].mime = kMail;
    docs[3].items = {item(u"编号"_s, NumberType, {4})};
    for (size_t i = 0; i < kWrappings.size(); ++i)
        docs[3].items.push_back(item(u"w%1"_s.arg(i), RichTextType, {kWrappings[i].text}));
    return docs;
}

std::vector<admin::ColumnSpec> columns(const QStringList& items)
{
    std::vector<admin::ColumnSpec> list;
    for (const QString& name : items)
        list.push_back({name, name, {}});
    return list;
}

const QStringList kAllColumns = {u"编号"_s, u"名称"_s, u"签约"_s, u"联系人"_s, u"金额"_s, u"没有的域"_s};

// The documents of kReaders: number n (from 1) has the id idOf(100 + n).
std::vector<admin::DocumentToAdd> restrictedDocuments()
{
    std::vector<admin::DocumentToAdd> docs;
    for (const Restriction& restriction : kRestrictions) {
        admin::DocumentToAdd doc;
        doc.unid = idOf(101 + int(docs.size()));
        doc.created = doc.modified = at(2025, 1, 1) + qint64(docs.size()) * 60000;
        doc.items = {item(u"编号"_s, component::NumberType, {double(docs.size() + 1)})};
        if (!restriction.readers.isEmpty())
            doc.items.push_back(
                item(u"读者"_s, component::ReadersType, QJsonArray::fromStringList(restriction.readers)));
        if (!restriction.authors.isEmpty())
            doc.items.push_back(
                item(u"作者"_s, component::AuthorsType, QJsonArray::fromStringList(restriction.authors)));
        docs.push_back(std::move(doc));
    }
    return docs;
}

// What a backend offers the tests: sessions on the installation described above.
class Backend
{
public:
    virtual ~Backend() = default;
    virtual std::unique_ptr<NotesSession> newSession() = 0;
    // The file of a database below the data directory, for a local session.
    virtual QString localPath(const QString& relative) const = 0;
    // As another program would: a document of that id in kChanging, first in every view that shows all.
    virtual void addFirstDocument(const QString& id) = 0;
};

class FakeBackend : public Backend
{
public:
    FakeBackend()
    {
        m_domino.addServer(kServer);
        m_domino.addUser(kUser, kPassword);
        m_domino.addUser(kReader, kReaderPassword);
        for (const auto& [group, members] : kGroups)
            m_domino.addGroup(group, members);
        for (const QString& path : {kDatabase, localPath(kDatabase)})
            fill(m_domino.addDatabase(path), documents());
        for (const QString& path : {kReaders, localPath(kReaders)}) {
            quill::testing::FakeDatabase& db = m_domino.addDatabase(path);
            fill(db, restrictedDocuments());
            db.roles[kRoleHolder] = QStringList{kRole};
        }
        m_domino.addDatabase(kNoViews);
        m_domino.addDatabase(localPath(kNoViews));
        m_changing = &m_domino.addDatabase(localPath(kChanging));
        fill(*m_changing, documents());
    }

    std::unique_ptr<NotesSession> newSession() override { return m_domino.sessionFactory()(); }
    QString localPath(const QString& relative) const override { return u"/data/"_s + relative; }
    void addFirstDocument(const QString& id) override { m_changing->addDocumentFirst().id = id; }

private:
    static void fill(quill::testing::FakeDatabase& db, const std::vector<admin::DocumentToAdd>& written)
    {
        std::vector<quill::testing::FakeColumn> all;
        for (const QString& name : kAllColumns)
            all.push_back({name, name});
        db.addView(u"全部"_s, all);
        db.addView(u"仅编号"_s, {{u"编号"_s, u"编号"_s}});
        db.addEmptyView(u"空视图"_s, {{u"标题"_s, u"Subject"_s}});
        for (const admin::DocumentToAdd& newDocument : written) {
            quill::testing::FakeDocument& doc = db.addDocument();
            doc.id = newDocument.unid;
            for (const admin::ItemToAdd& i : newDocument.items)
                doc.items.push_back(fakeItem(i));
            for (const admin::FileToAdd& file : newDocument.attachments)
                doc.attachment(file.name, file.data);
        }
    }

    static quill::testing::FakeItem fakeItem(const admin::ItemToAdd& written)
    {
        quill::testing::FakeItem item{written.name, written.type, {}, {}, {}};
        if (written.type == component::RichTextType) {
            item.plainText = written.values.first().toString();
            item.dxl = written.dxl;
            item.mime = written.mime;
            for (const admin::FileToAdd& file : written.objects)
                item.embedded.push_back({file.name, file.data});
            return item;
        }
        item.values = component::decodeValues(written.type, component::encodeValues(written.values));
        return item;
    }

    quill::testing::FakeDomino m_domino;
    quill::testing::FakeDatabase* m_changing = nullptr;
};

class ComponentBackend : public Backend
{
public:
    ComponentBackend()
    {
        const QString data = m_dir.filePath(u"data"_s);
        QDir().mkpath(data + u"/业务"_s);
        const QString names = data + u"/names.nsf"_s;
        admin::createDatabase(names, u"Domino目录"_s);
        admin::addServerName(names, kServer);
        admin::addUser(names, kUser, kPassword);
        admin::addUser(names, kReader, kReaderPassword);
        for (const auto& [group, members] : kGroups)
            admin::setGroup(names, group, members);
        for (const QString& path : {localPath(kDatabase), localPath(kChanging)}) {
            admin::createDatabase(path, u"合同"_s);
            admin::addDocuments(path, documents());
            admin::addView(path, {u"全部"_s, columns(kAllColumns), {}, -1, false, {}});
            admin::addView(path, {u"仅编号"_s, columns({u"编号"_s}), {}, -1, false, {}});
            admin::addView(path, {u"空视图"_s, {{u"标题"_s, u"Subject"_s, {}}}, u"Nothing"_s, -1, false, {}});
        }
        admin::createDatabase(localPath(kNoViews), u"没有视图的数据库"_s);
        const QString readers = localPath(kReaders);
        admin::createDatabase(readers, u"读者"_s);
        admin::addDocuments(readers, restrictedDocuments());
        admin::addView(readers, {u"全部"_s, columns(kAllColumns), {}, -1, false, {}});
        admin::addView(readers, {u"仅编号"_s, columns({u"编号"_s}), {}, -1, false, {}});
        admin::addView(readers, {u"空视图"_s, {{u"标题"_s, u"Subject"_s, {}}}, u"Nothing"_s, -1, false, {}});
        admin::setAcl(readers, kRoleHolder, component::Reader, {kRole});
        m_registry = component::testing::registerComponent(m_dir.path(), data);
    }

    std::unique_ptr<NotesSession> newSession() override
    {
        return createRegisteredSession(quill::platform::Registry(m_registry));
    }
    QString localPath(const QString& relative) const override { return m_dir.filePath(u"data/"_s + relative); }
    void addFirstDocument(const QString& id) override
    {
        admin::DocumentToAdd first;
        first.unid = id;
        first.created = at(2024, 12, 31); // views without a sort column show creation order
        admin::addDocuments(localPath(kChanging), {first});
    }

private:
    QTemporaryDir m_dir;
    QString m_registry;
};

QByteArray fileContents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestContract : public QObject
{
    Q_OBJECT

public:
    explicit TestContract(Backend& backend) : m_backend(backend) {}

private:
    std::shared_ptr<NotesDatabase> openLocal(const QString& relative = kDatabase)
    {
        auto session = m_backend.newSession();
        session->InitLocalSession(QString());
        return session->OpenDatabase(QString(), m_backend.localPath(relative), false);
    }
    std::unique_ptr<NotesDocument> first() { return openLocal()->FindView(u"全部"_s)->NthDocument(1); }

    Backend& m_backend;
    QTemporaryDir m_dir;

private slots:
    void sessionsAndLogin()
    {
        auto session = m_backend.newSession();
        QVERIFY_DOMINO_ERROR(session->OpenDatabase(kServer, kDatabase, false), u"InitUserSession"_s);
        QVERIFY_DOMINO_ERROR(session->OpenDatabase(QString(), m_backend.localPath(kDatabase), false),
                             u"会话尚未初始化"_s);
        QVERIFY_DOMINO_ERROR(session->InitUserSession(kUser, u"wrong"_s), u"用户名或密码错误"_s);
        QVERIFY_DOMINO_ERROR(session->InitUserSession(u"nobody"_s, kPassword), u"用户名或密码错误"_s);
        QVERIFY_DOMINO_ERROR(session->OpenDatabase(kServer, kDatabase, false), u"InitUserSession"_s);
        QVERIFY_DOMINO_ERROR(session->pingServer(kServer), u"InitUserSession"_s);

        // User and server names are trimmed and compared without regard to case; "\" separates folders too.
        session->InitUserSession(u" "_s + kUser + u" "_s, kPassword);
        auto db = session->OpenDatabase(u" "_s + kServer.toLower(), u"业务\\合同.nsf"_s, false);
        QCOMPARE(db->FindView(u"全部"_s)->EntryCount(), 4);
        QCOMPARE(session->OpenDatabase(kServer, kDatabase, false)->Views().size(), 3);
        QVERIFY(session->OpenDatabase(kServer, kNoViews, false)->Views().isEmpty());
        QVERIFY_DOMINO_ERROR(session->OpenDatabase(u"OTHERSERVER"_s, kDatabase, false), u"无法连接服务器"_s);
        // A server answers as its databases open: one the installation serves, by any case, trimmed.
        session->pingServer(u" "_s + kServer.toLower() + u" "_s);
        QVERIFY_DOMINO_ERROR(session->pingServer(u"OTHERSERVER"_s), u"无法连接服务器"_s);
        QVERIFY_DOMINO_ERROR(session->pingServer(QString()), u"无法连接服务器"_s);
        QVERIFY_DOMINO_ERROR(session->OpenDatabase(kServer, u"missing.nsf"_s, false), u"找不到数据库"_s);
        // A failed login ends the one before.
        QVERIFY_DOMINO_ERROR(session->InitUserSession(kUser, u"wrong"_s), u"用户名或密码错误"_s);
        QVERIFY_DOMINO_ERROR(session->OpenDatabase(kServer, kDatabase, false), u"InitUserSession"_s);
        QVERIFY_DOMINO_ERROR(session->pingServer(kServer), u"InitUserSession"_s);
        // A signed-in session opens local files too.
        session->InitUserSession(kUser, kPassword);
        QCOMPARE(session->OpenDatabase(QString(), m_backend.localPath(kDatabase), false)->Views().size(), 3);
    }

    void viewsAndColumns()
    {
        auto db = openLocal();
        QCOMPARE(db->Views(), (QStringList{u"全部"_s, u"仅编号"_s, u"空视图"_s}));
        auto view = db->FindView(u"全部"_s);
        QCOMPARE(view->ViewName(), u"全部"_s);
        QCOMPARE(view->ColumnCount(), 6);
        QCOMPARE(view->ColumnNames(), kAllColumns);
        QCOMPARE(view->EntryCount(), 4);
        QCOMPARE(db->FindView(u"仅编号"_s)->ColumnNames(), QStringList{u"编号"_s});
        QCOMPARE(db->FindView(u"空视图"_s)->EntryCount(), 0);
        QVERIFY_DOMINO_ERROR(db->FindView(u"没有这个"_s), u"找不到视图：没有这个"_s);
    }

    void positionsAndWalking()
    {
        auto view = openLocal()->FindView(u"全部"_s);
        for (int position : {1, 2, 3, 4})
            QCOMPARE(view->NthDocument(position)->DocumentId(), idOf(position));
        QVERIFY(view->NextDocument(*view->NthDocument(4)) == nullptr);
        QVERIFY_DOMINO_ERROR(view->NthDocument(5), u"没有第5个文档"_s);
        QVERIFY_DOMINO_ERROR(view->NthDocument(0), u"没有第0个文档"_s);
        QVERIFY_DOMINO_ERROR(openLocal()->FindView(u"空视图"_s)->NthDocument(1), u"没有第1个文档"_s);

        // Walking with NextDocument gives the same documents as NthDocument.
        auto doc = view->NthDocument(1);
        for (int position = 2; position <= 4; ++position) {
            doc = view->NextDocument(*doc);
            QVERIFY(doc);
            QCOMPARE(doc->DocumentId(), view->NthDocument(position)->DocumentId());
        }
        // A document of another view, or one found by its id, cannot be walked here.
        auto db = openLocal();
        QVERIFY_DOMINO_ERROR(view->NextDocument(*db->FindView(u"仅编号"_s)->NthDocument(1)),
                             u"不是从视图全部中取得的"_s);
        QVERIFY_DOMINO_ERROR(view->NextDocument(*db->FindDocumentById(doc->DocumentId())), u"不是从视图全部中取得的"_s);
    }

    void columnValuesAreTyped()
    {
        auto view = openLocal()->FindView(u"全部"_s);
        const ValueList values = view->NthDocument(1)->ColumnValues();
        QCOMPARE(values.size(), size_t(6));
        QCOMPARE(values[0], Value::number(1));
        QCOMPARE(values[1], Value::text(u"华夏贸易"_s));
        QCOMPARE(values[2].kind(), Value::Kind::DateTime);
        QCOMPARE(values[2].asDateTime(), QDateTime(QDate(2024, 1, 4), QTime(9, 30)));
        QCOMPARE(values[3], Value::list({Value::text(u"张三"_s), Value::text(u"李四"_s)}));
        QCOMPARE(values[4], Value::number(1234.5));
        QCOMPARE(values[5], Value::text(QString())); // an item the document lacks

        auto empty = view->NthDocument(3);
        QCOMPARE(empty->ColumnValues(), ValueList(6, Value::text(QString())));
        QVERIFY(empty->Items().isEmpty());
        QVERIFY(!empty->HasAttachments());
    }

    void itemsAndValues()
    {
        auto doc = first();
        QCOMPARE(doc->DocumentId(), idOf(1));
        QCOMPARE(doc->Items(), (QStringList{u"编号"_s, u"名称"_s, u"签约"_s, u"联系人"_s, u"金额"_s, u"备注"_s}));
        QCOMPARE(doc->ItemValue(u"编号"_s), ValueList{Value::number(1)});
        QCOMPARE(doc->ItemValue(u"名称"_s).at(0).kind(), Value::Kind::Text);
        QVERIFY(doc->ItemValue(u"没有的域"_s).empty());
        QCOMPARE(doc->ItemValue(u"备注"_s), ValueList{Value::text(kRemark)}); // rich text: its plain text
        QCOMPARE(doc->ItemByName(u"签约"_s)->ItemType(), NotesItem::DateTime);
        QCOMPARE(doc->ItemByName(u"联系人"_s)->ItemType(), NotesItem::Names);
        QCOMPARE(doc->ItemByName(u"金额"_s)->ItemType(), NotesItem::Number);
        QCOMPARE(doc->ItemByName(u"名称"_s)->ItemType(), NotesItem::Text);
        QCOMPARE(doc->ItemByName(u"备注"_s)->ItemType(), NotesItem::RichText);
        QVERIFY_DOMINO_ERROR(doc->ItemByName(u"没有的域"_s), u"找不到域：没有的域"_s);
        QVERIFY_DOMINO_ERROR(doc->RichTextItemByName(u"名称"_s), u"不是RTF域"_s);
        QVERIFY_DOMINO_ERROR(doc->RichTextItemByName(u"没有的域"_s), u"找不到域：没有的域"_s);

        auto second = openLocal()->FindView(u"全部"_s)->NthDocument(2);
        QCOMPARE(second->ItemByName(u"读者"_s)->ItemType(), NotesItem::Readers);
        QCOMPARE(second->ItemByName(u"作者"_s)->ItemType(), NotesItem::Authors);
        QCOMPARE(second->ItemValue(u"作者"_s), ValueList{Value::text(u"演示用户"_s)});
    }

    void datesAndTimesKeepTheirKind()
    {
        auto doc = openLocal()->FindView(u"全部"_s)->NthDocument(2);
        QCOMPARE(doc->ItemValue(u"日期"_s), ValueList{Value::date(QDate(1976, 3, 3))});
        QCOMPARE(doc->ItemValue(u"时间"_s), (ValueList{Value::time(QTime(8, 30)), Value::time(QTime(0, 0))}));
        const ValueList wallClock = doc->ItemValue(u"会面"_s);
        QCOMPARE(wallClock.at(0).kind(), Value::Kind::DateTime);
        QCOMPARE(ValueToText(wallClock.at(0)), u"1976-3-3 8:30:00"_s);
        QCOMPARE(doc->ItemValue(u"发出"_s), ValueList{Value::dateTime(kSent.toLocalTime())});
        for (const QString& name : {u"日期"_s, u"时间"_s, u"会面"_s, u"发出"_s})
            QCOMPARE(doc->ItemByName(name)->ItemType(), NotesItem::DateTime);
    }

    void documentsById()
    {
        auto db = openLocal();
        const QString id = first()->DocumentId();
        // In any letter case and with blanks around; such a document has no column values.
        auto byId = db->FindDocumentById(u" "_s + id.toLower() + u" "_s);
        QCOMPARE(byId->DocumentId(), id);
        QCOMPARE(byId->ItemValue(u"编号"_s), ValueList{Value::number(1)});
        QVERIFY_DOMINO_ERROR(byId->ColumnValues(), u"不是从视图中取得的"_s);
        QVERIFY_DOMINO_ERROR(db->FindDocumentById(u"0123456789ABCDEF0123456789ABCDEF"_s), u"找不到文档"_s);
    }

    void richTextAndEmbeddedObjects()
    {
        auto doc = first();
        auto item = doc->RichTextItemByName(u"备注"_s);
        const QString text = item->FormattedText(true, 80);
        QVERIFY(!text.contains(u'\t'));
        QVERIFY(text.startsWith(u"客户备注    重要\n"_s));
        for (const QString& line : text.split(u'\n'))
            QVERIFY2(line.size() <= 80, qPrintable(line));
        QCOMPARE(item->FormattedText(false, 0), kRemark);
        QVERIFY(openLocal()
                    ->FindView(u"全部"_s)
                    ->NthDocument(2)
                    ->RichTextItemByName(u"备注"_s)
                    ->EmbeddedObjects()
                    .isEmpty());

        QCOMPARE(item->EmbeddedObjects(), (QStringList{u"示意图.png"_s, u"说明.txt"_s, u"说明.txt"_s}));
        auto object = item->EmbeddedObjectByName(u"说明.txt"_s);
        QCOMPARE(object->Name(), u"说明.txt"_s);
        QCOMPARE(item->EmbeddedObjectByName(u"说明.TXT"_s)->Name(), u"说明.txt"_s);
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

        // By position, each one, also when names repeat.
        item->EmbeddedObjectAt(2)->SaveToFile(target);
        QCOMPARE(fileContents(target), QByteArray("another object of the same name"));
        QCOMPARE(item->EmbeddedObjectAt(0)->Name(), u"示意图.png"_s);
        QVERIFY_DOMINO_ERROR(item->EmbeddedObjectAt(3), u"没有第4个嵌入对象"_s);
        QVERIFY_DOMINO_ERROR(item->EmbeddedObjectAt(-1), u"没有第0个嵌入对象"_s);
    }

    // A renderer takes rich text as DXL, a mail body as its MIME message.
    void richTextAsDxlAndMime()
    {
        auto doc = openLocal()->FindView(u"全部"_s)->NthDocument(2);
        QCOMPARE(doc->RichTextItemByName(u"正文"_s)->ExportDXL(), kBodyDxl);
        QCOMPARE(doc->ItemValue(u"正文"_s), ValueList{Value::text(u"甲\n乙 & 丙"_s)});
        // Without its structure: the plain text as paragraphs, escaped, what XML cannot hold left out.
        QCOMPARE(doc->RichTextItemByName(u"符号"_s)->ExportDXL(),
                 QByteArray("<richtext>\n<par>a&lt;b &amp; c&gt;de</par>\n<par/>\n<par>f</par>\n</richtext>"));
        QCOMPARE(first()->RichTextItemByName(u"备注"_s)->ExportDXL(), plainTextAsDxl(kRemark));
        // A mail: its message whole, and as rich text its plain text.
        const auto mail = doc->GetMIMEEntity(u"邮件"_s);
        QVERIFY(mail);
        QCOMPARE(mail->GetEntityAsText(), kMail);
        QCOMPARE(doc->RichTextItemByName(u"邮件"_s)->ExportDXL(), plainTextAsDxl(u"邮件正文"_s));
        for (const QString& notMime : {u"正文"_s, u"名称"_s, u"没有的域"_s})
            QVERIFY2(!doc->GetMIMEEntity(notMime), qPrintable(notMime));
        // What was handed out stays valid after its document.
        std::unique_ptr<NotesMIMEEntity> kept =
            openLocal()->FindView(u"全部"_s)->NthDocument(2)->GetMIMEEntity(u"邮件"_s);
        QCOMPARE(kept->GetEntityAsText(), kMail);
    }

    void formattedTextWrapping()
    {
        auto doc = openLocal()->FindView(u"全部"_s)->NthDocument(4);
        for (size_t i = 0; i < kWrappings.size(); ++i) {
            const Wrapping& w = kWrappings[i];
            QCOMPARE(doc->RichTextItemByName(u"w%1"_s.arg(i))->FormattedText(w.tabsToSpaces, w.lineLength),
                     w.formatted);
        }
    }

    void attachmentsAndFormula()
    {
        auto session = m_backend.newSession();
        session->InitLocalSession(QString());
        auto view = session->OpenDatabase(QString(), m_backend.localPath(kDatabase), false)->FindView(u"全部"_s);
        auto doc = view->NthDocument(1);
        QVERIFY(doc->HasAttachments());
        QVERIFY(!view->NthDocument(2)->HasAttachments());
        const std::vector<admin::FileToAdd> written = documents().front().attachments;
        ValueList names;
        for (const admin::FileToAdd& file : written)
            names.push_back(Value::text(file.name));
        QCOMPARE(session->EvaluateFormula(u"@AttachmentNames"_s, *doc), names);
        QCOMPARE(session->EvaluateFormula(u" @attachmentnames "_s, *doc), names);
        QVERIFY(session->EvaluateFormula(u"@AttachmentNames"_s, *view->NthDocument(3)).empty());
        QVERIFY_DOMINO_ERROR(session->EvaluateFormula(u"@Now"_s, *doc), u"不支持的公式"_s);

        // A file name matches exactly first, then without regard to case.
        const QString target = m_dir.filePath(u"attachment"_s);
        const auto saved = [&](const QString& name) {
            doc->AttachmentByName(name)->SaveToFile(target);
            return fileContents(target);
        };
        QCOMPARE(saved(u"Quote.csv"_s), u"产品,数量,单价\n服务器,2,35000\n"_s.toUtf8());
        QCOMPARE(saved(u"QUOTE.CSV"_s), u"产品,数量,单价\n服务器,2,35000\n"_s.toUtf8());
        QCOMPARE(saved(u"readme.txt"_s), QByteArray("second"));
        QCOMPARE(saved(u"README.TXT"_s), QByteArray("first"));
        QCOMPARE(saved(u"合同.txt"_s), written.front().data);

        // By position, each one, also when names repeat.
        for (size_t i = 0; i < written.size(); ++i) {
            const std::unique_ptr<NotesEmbeddedObject> object = doc->AttachmentAt(int(i));
            QCOMPARE(object->Name(), written[i].name);
            object->SaveToFile(target);
            QCOMPARE(fileContents(target), written[i].data);
        }
        QVERIFY_DOMINO_ERROR(doc->AttachmentAt(-1), u"没有第0个附件"_s);
        QVERIFY_DOMINO_ERROR(doc->AttachmentAt(int(written.size())), u"没有第6个附件"_s);
        QVERIFY_DOMINO_ERROR(view->NthDocument(2)->AttachmentAt(0), u"没有第1个附件"_s);
        QCOMPARE(doc->AttachmentByName(u"quote.csv"_s)->Name(), u"Quote.csv"_s);
        QVERIFY_DOMINO_ERROR(doc->AttachmentByName(u"没有.doc"_s), u"找不到附件：没有.doc"_s);
        const QString blocker = m_dir.filePath(u"blocker"_s);
        QFile(blocker).open(QIODevice::WriteOnly);
        QVERIFY_DOMINO_ERROR(doc->AttachmentByName(u"合同.txt"_s)->SaveToFile(blocker + u"/合同.txt"_s),
                             blocker + u"/合同.txt"_s);
    }

    void aViewThatDoesNotFollowChangesKeepsItsEntries()
    {
        auto view = openLocal(kChanging)->FindView(u"全部"_s);
        QVERIFY(view->AutoUpdate());
        view->SetAutoUpdate(false);
        QVERIFY(!view->AutoUpdate());
        auto empty = openLocal(kChanging)->FindView(u"空视图"_s);
        empty->SetAutoUpdate(false);
        auto doc = view->NthDocument(2);
        m_backend.addFirstDocument(idOf(9));

        // A new first document moves nothing in it: the walk goes on where it was and ends where it would have.
        QCOMPARE(view->EntryCount(), 4);
        for (int position = 3; position <= 4; ++position) {
            doc = view->NextDocument(*doc);
            QVERIFY(doc);
            QCOMPARE(doc->DocumentId(), idOf(position));
        }
        QVERIFY(view->NextDocument(*doc) == nullptr);
        QCOMPARE(view->NthDocument(1)->DocumentId(), idOf(1));
        QVERIFY_DOMINO_ERROR(view->NthDocument(5), u"没有第5个文档"_s);
        QCOMPARE(empty->EntryCount(), 0);
        QVERIFY_DOMINO_ERROR(empty->NthDocument(1), u"没有第1个文档"_s);
        // Found again, or following changes again, the view shows it first.
        QCOMPARE(openLocal(kChanging)->FindView(u"全部"_s)->EntryCount(), 5);
        view->SetAutoUpdate(true);
        QVERIFY(view->AutoUpdate());
        QCOMPARE(view->NthDocument(1)->DocumentId(), idOf(9));
    }

    void readBatchesNestAndOutliveTheDatabase()
    {
        std::unique_ptr<ReadBatch> outer;
        std::unique_ptr<NotesView> view;
        {
            auto db = openLocal();
            outer = db->beginReadBatch();
            auto inner = db->beginReadBatch();
            view = db->FindView(u"全部"_s);
            QCOMPARE(view->NthDocument(2)->DocumentId(), idOf(2));
            inner.reset();
            QCOMPARE(view->NthDocument(1)->ItemValue(u"名称"_s), ValueList{Value::text(u"华夏贸易"_s)});
        }
        auto doc = view->NthDocument(4);
        outer.reset();
        // What was had in a batch is read on after it.
        QCOMPARE(doc->ItemValue(u"编号"_s), ValueList{Value::number(4)});
        QVERIFY(view->NextDocument(*doc) == nullptr);
    }

    // On a server a document whose Readers items do not name the user (nor its Authors items, then) is not there
    // for the user: not counted, not reached by position, walking or id. A local file shows every document.
    void readersItemsHideDocumentsOnTheServer()
    {
        const struct
        {
            QString user;
            QString password;
            bool Restriction::*reads;
        } users[] = {{kReader, kReaderPassword, &Restriction::readerReads},
                     {kUser, kPassword, &Restriction::userReads},
                     {QString(), QString(), nullptr}};
        for (const auto& u : users) {
            QStringList expected;
            QStringList hidden;
            for (size_t i = 0; i < kRestrictions.size(); ++i)
                (!u.reads || kRestrictions[i].*u.reads ? expected : hidden) << idOf(101 + int(i));
            std::shared_ptr<NotesDatabase> db;
            if (u.user.isEmpty()) {
                db = openLocal(kReaders);
            } else {
                auto session = m_backend.newSession();
                session->InitUserSession(u.user, u.password);
                db = session->OpenDatabase(kServer, kReaders, false);
            }
            auto view = db->FindView(u"全部"_s);
            QCOMPARE(view->EntryCount(), int(expected.size()));
            QStringList byPosition;
            QStringList walked;
            for (int n = 1; n <= view->EntryCount(); ++n)
                byPosition << view->NthDocument(n)->DocumentId();
            for (auto doc = view->NthDocument(1); doc; doc = view->NextDocument(*doc))
                walked << doc->DocumentId();
            QCOMPARE(byPosition, expected);
            QCOMPARE(walked, expected);
            QVERIFY_DOMINO_ERROR(view->NthDocument(int(expected.size()) + 1),
                                 u"没有第%1个文档"_s.arg(expected.size() + 1));
            // Held still, as an export walks it: the same documents.
            view->SetAutoUpdate(false);
            QCOMPARE(view->EntryCount(), int(expected.size()));
            QStringList still;
            for (auto doc = view->NthDocument(1); doc; doc = view->NextDocument(*doc))
                still << doc->DocumentId();
            QCOMPARE(still, expected);
            for (const QString& id : expected)
                QCOMPARE(db->FindDocumentById(id)->DocumentId(), id);
            for (const QString& id : hidden)
                QVERIFY_DOMINO_ERROR(db->FindDocumentById(id), u"找不到文档"_s);
            // A search finds only those too, also by the names in the items that hide the others.
            const auto found = db->FTSearch(u"NOT 没有这个词"_s, 0);
            QStringList ids;
            for (auto doc = found->GetFirstDocument(); doc; doc = found->GetNextDocument(*doc))
                ids << doc->DocumentId();
            QCOMPARE(ids, expected);
            int naming = 0;
            for (size_t i = 0; i < kRestrictions.size(); ++i) {
                const QString names = (kRestrictions[i].readers + kRestrictions[i].authors).join(u' ');
                naming += expected.contains(idOf(101 + int(i))) && names.contains(u"wang"_s, Qt::CaseInsensitive);
            }
            QCOMPARE(db->FTSearch(u"wang"_s, 0)->Count(), naming);
            QCOMPARE(view->FTSearch(u"wang"_s, 0), naming);
        }
    }

    // FTSearch looks in every item's values as text, rich text and attachment names, without regard to case; a field
    // term in the items of a name. Found documents come in the order they were added, as a collection.
    void fullTextSearchOfADatabase()
    {
        auto db = openLocal();
        const struct
        {
            QString query;
            QList<int> found; // document numbers
        } searches[] = {
            {u"华夏"_s, {1}},
            {u"华夏贸易"_s, {1}},
            {u"东方电子"_s, {2}},
            {u"quote.CSV"_s, {1}},
            {u"客户备注"_s, {1}},
            {u"1234.5"_s, {1}},
            {u"\"张三, 李四\""_s, {1}},
            {u"演示用户"_s, {2}},
            {u"1976-3-3"_s, {2}},
            {u"字字字字 \"WORD WORD\""_s, {4}},
            {u"[名称] CONTAINS 东方"_s, {2}},
            {u"FIELD 备注 CONTAINS rtf"_s, {2}},
            {u"[名称] CONTAINS rtf"_s, {}},
            {u"华夏 OR 东方"_s, {1, 2}},
            {u"NOT 华夏"_s, {2, 3, 4}},
            {u"(华夏 OR 东方) NOT 贸易"_s, {2}},
            {u";-- ^ '"_s, {}},
            {u"\"a*b\" \"NEAR(\""_s, {}},
        };
        for (const auto& search : searches) {
            const auto found = db->FTSearch(search.query, 0);
            QStringList ids;
            for (auto doc = found->GetFirstDocument(); doc; doc = found->GetNextDocument(*doc))
                ids << doc->DocumentId();
            QStringList expected;
            for (int n : search.found)
                expected << idOf(n);
            QVERIFY2(ids == expected, qPrintable(search.query + u": "_s + ids.join(u' ')));
            QCOMPARE(found->Count(), int(expected.size()));
        }

        const auto found = db->FTSearch(u"华夏 OR 东方"_s, 0);
        QCOMPARE(found->GetNthDocument(2)->DocumentId(), idOf(2));
        QVERIFY(found->GetNthDocument(0) == nullptr);
        QVERIFY(found->GetNthDocument(3) == nullptr);
        QVERIFY(found->GetNextDocument(*found->GetNthDocument(2)) == nullptr);
        QVERIFY_DOMINO_ERROR(found->GetNthDocument(1)->ColumnValues(), u"不是从视图中取得的"_s);
        QVERIFY_DOMINO_ERROR(found->GetNextDocument(*db->FindView(u"全部"_s)->NthDocument(4)), u"不在搜索结果中"_s);
        QVERIFY(db->FTSearch(u"没有这个词"_s, 0)->GetFirstDocument() == nullptr);
        const auto firstTwo = db->FTSearch(u"NOT 没有这个词"_s, 2);
        QCOMPARE(firstTwo->Count(), 2);
        QCOMPARE(firstTwo->GetNthDocument(2)->DocumentId(), idOf(2));
        QVERIFY_DOMINO_ERROR(db->FTSearch(u"华夏"_s, -1), u"不能为负数"_s);
        // Queries outside the language say what is wrong; none reaches the database as it stands.
        auto view = db->FindView(u"全部"_s);
        for (const QString& query :
             {u"\"合同"_s, u"a*"_s, u"NEAR(x)"_s, u"(a"_s, u"a)"_s, u"AND"_s, u"[名称] 华夏"_s, u""_s, u"a OR"_s}) {
            QVERIFY_DOMINO_ERROR(db->FTSearch(query, 0), u"搜索条件有误"_s);
            QVERIFY_DOMINO_ERROR(view->FTSearch(query, 0), u"搜索条件有误"_s);
        }
    }

    // A view narrowed by FTSearch answers within the documents found, in view order, until Clear; held still, it is
    // searched among the entries it holds.
    void fullTextSearchOfAView()
    {
        auto view = openLocal()->FindView(u"全部"_s);
        QCOMPARE(view->FTSearch(u"华夏 OR 东方 OR 字字"_s, 0), 3);
        QCOMPARE(view->EntryCount(), 3);
        QStringList walked;
        for (auto doc = view->NthDocument(1); doc; doc = view->NextDocument(*doc))
            walked << doc->DocumentId();
        QCOMPARE(walked, (QStringList{idOf(1), idOf(2), idOf(4)}));
        QCOMPARE(view->NthDocument(3)->ColumnValues().at(0), Value::number(4));
        QVERIFY_DOMINO_ERROR(view->NthDocument(4), u"没有第4个文档"_s);
        QCOMPARE(view->FTSearch(u"NOT 华夏"_s, 2), 2); // a new search replaces the last
        QCOMPARE(view->NthDocument(2)->DocumentId(), idOf(3));
        QVERIFY_DOMINO_ERROR(view->FTSearch(u"a*"_s, 0), u"搜索条件有误"_s);
        QCOMPARE(view->EntryCount(), 2); // a refused query changes nothing
        view->Clear();
        QCOMPARE(view->EntryCount(), 4);
        QCOMPARE(view->FTSearch(u"没有这个词"_s, 0), 0);
        QVERIFY_DOMINO_ERROR(view->NthDocument(1), u"没有第1个文档"_s);

        // Held still: the document another program adds meanwhile is not among its entries, nor found.
        const auto ids = [](NotesView& v) {
            QStringList list;
            for (int n = 1; n <= v.EntryCount(); ++n)
                list << v.NthDocument(n)->DocumentId();
            return list;
        };
        auto held = openLocal(kChanging)->FindView(u"全部"_s);
        held->SetAutoUpdate(false);
        const int before = held->EntryCount();
        m_backend.addFirstDocument(idOf(10));
        QCOMPARE(held->FTSearch(u"NOT 华夏"_s, 0), before - 1);
        QVERIFY(!ids(*held).contains(idOf(10)));
        auto live = openLocal(kChanging)->FindView(u"全部"_s);
        QCOMPARE(live->FTSearch(u"NOT 华夏"_s, 0), before);
        QVERIFY(ids(*live).contains(idOf(10)));
        held->Clear();
        QCOMPARE(held->EntryCount(), before);
    }

    void fullTextIndexIsMadeWhenAsked()
    {
        auto db = openLocal(kNoViews);
        QVERIFY(!db->IsFTIndexed());
        db->UpdateFTIndex(false, {});
        QVERIFY(!db->IsFTIndexed());
        qint64 done = -1;
        qint64 total = -1;
        db->UpdateFTIndex(true, [&](qint64 d, qint64 t) {
            done = d;
            total = t;
        });
        QVERIFY(db->IsFTIndexed());
        QCOMPARE(done, total);
        QCOMPARE(db->FTSearch(u"NOT a"_s, 0)->Count(), 0);
    }

    void objectsOutliveTheirParents()
    {
        std::unique_ptr<NotesDocument> doc;
        std::unique_ptr<NotesView> view;
        {
            auto session = m_backend.newSession();
            session->InitLocalSession(QString());
            view = session->OpenDatabase(QString(), m_backend.localPath(kDatabase), false)->FindView(u"全部"_s);
            doc = view->NthDocument(4);
        }
        QCOMPARE(doc->ColumnValues().at(0), Value::number(4));
        QCOMPARE(view->NextDocument(*view->NthDocument(1))->ItemValue(u"编号"_s), ValueList{Value::number(2)});
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    // The backend comes first; the rest is QTest's.
    QStringList args = QCoreApplication::arguments();
    const QString which = args.size() > 1 ? args.takeAt(1) : QString();
    std::unique_ptr<Backend> backend;
    try {
        if (which == u"fake"_s)
            backend = std::make_unique<FakeBackend>();
        else if (which == u"component"_s)
            backend = std::make_unique<ComponentBackend>();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tst_contract: %s\n", e.what());
        return 1;
    }
    if (!backend) {
        std::fprintf(stderr, "usage: tst_contract fake|component [test options]\n");
        return 2;
    }
    TestContract test(*backend);
    return QTest::qExec(&test, args);
}

#include "tst_contract.moc"
