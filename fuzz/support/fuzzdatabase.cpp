#include "fuzzdatabase.h"

#include "admin.h"
#include "model.h"

#include <QFile>
#include <sqlite3.h>

using namespace Qt::StringLiterals;
using namespace quill::component;
using namespace quill::component::admin;

namespace quill::fuzz {
namespace {

constexpr qint64 kDay = 86400000;
constexpr qint64 kJan2025 = 1735689600000;

ItemToAdd item(const QString& name, int type, const QJsonArray& values, std::vector<FileToAdd> objects = {})
{
    return ItemToAdd{name, type, values, std::move(objects)};
}

DocumentToAdd document(int n, const QString& form)
{
    DocumentToAdd doc;
    doc.unid = u"%1"_s.arg(n, 32, 16, QChar(u'0')).toUpper();
    doc.created = kJan2025 + n * kDay;
    doc.modified = doc.created + 3600000;
    doc.items.push_back(item(u"Form"_s, TextType, {form}));
    doc.items.push_back(item(u"编号"_s, NumberType, {n, n * 0.5}));
    doc.items.push_back(item(u"标题"_s, TextType, {u"第%1号"_s.arg(n)}));
    return doc;
}

void makeMixed(const QString& path)
{
    createDatabase(path, u"模糊测试"_s);
    std::vector<DocumentToAdd> docs;
    for (int n = 1; n <= 4; ++n)
        docs.push_back(document(n, n % 2 ? u"Memo"_s : u"Other"_s));
    DocumentToAdd& first = docs.front();
    first.items.push_back(item(u"日期"_s, DateTimeType, {double(kJan2025), double(kJan2025 + kDay / 3)}));
    first.items.push_back(item(u"联系人"_s, NamesType, {u"张三"_s, u"李四"_s}));
    first.items.push_back(item(u"读者"_s, ReadersType, {u"[Admin]"_s}));
    first.items.push_back(item(u"作者"_s, AuthorsType, {u"王五"_s}));
    first.items.push_back(item(u"正文"_s, RichTextType, {u"第一行\t制表\n第二行"_s},
                               {{u"图.png"_s, "\x89PNG\r\n"_ba}, {u"说明.txt"_s, "abc"_ba}}));
    first.items.back().dxl = "<richtext><par>第一行<tab/>制表<break/>第二行</par></richtext>";
    first.items.push_back(item(u"邮件"_s, RichTextType, {u"邮件正文"_s}));
    first.items.back().mime = "Content-Type: text/plain; charset=UTF-8\r\n\r\n邮件正文";
    first.attachments = {{u"a.txt"_s, "attached"_ba}, {u"b.bin"_s, QByteArray(3, '\0')}};
    addDocuments(path, docs);
    addView(path, ViewSpec{u"全部"_s, {{u"编号"_s, u"编号"_s, {}}, {u"标题"_s, u"标题"_s, {}}}, {}, 0, false, {}});
    addView(
        path,
        ViewSpec{
            u"备忘"_s, {{u"日期"_s, u"日期"_s, {}}, {u"联系人"_s, u"联系人"_s, {}}}, u"Memo"_s, 1, true, {u"memo"_s}});
    addView(path, ViewSpec{u"公式"_s,
                           {{u"创建"_s, {}, u"@Created"_s},
                            {u"修改"_s, {}, u"@Modified"_s},
                            {u"编号"_s, {}, u"@DocumentUniqueID"_s},
                            {u"空"_s, {}, {}}},
                           {},
                           -1,
                           false,
                           {}});
}

void makeAliased(const QString& path)
{
    createDatabase(path, u"别名"_s);
    addDocuments(path, {document(7, u"A"_s), document(8, u"A"_s)});
    addView(path, ViewSpec{u"视图|别名"_s, {{u"标题"_s, u"标题"_s, {}}}, u"A"_s, 0, true, {u"v1"_s, u"v2"_s}});
}

void shrink(const QString& path)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK)
        sqlite3_exec(db, "PRAGMA page_size = 512; VACUUM;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

} // namespace

void makeFuzzDatabase(const QString& path, int variant)
{
    QFile::remove(path);
    if (variant == 0)
        makeMixed(path);
    else if (variant == 1)
        createDatabase(path, u"空"_s);
    else
        makeAliased(path);
    shrink(path);
}

} // namespace quill::fuzz
