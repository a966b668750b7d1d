#include "admin.h"
#include "domino/error.h"
#include "model.h"
#include "richtext/plaintext.h"
#include "richtext/raster.h"
#include "richtextbody.h"
#include "store.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QSysInfo>

using namespace Qt::StringLiterals;

namespace quill::component::admin {
namespace {

// Stable ids, so that a sample made twice names its documents the same.
QString sampleId(const QString& database, int index)
{
    const QByteArray seed = (database + u'/' + QString::number(index)).toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(seed, QCryptographicHash::Md5).toHex()).toUpper();
}

qint64 at(int year, int month, int day, int hour = 0, int minute = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute)).toMSecsSinceEpoch();
}

ItemToAdd text(const QString& name, const QStringList& values, int type = TextType)
{
    QJsonArray array;
    for (const QString& value : values)
        array.append(value);
    return ItemToAdd{name, type, array, {}};
}

ItemToAdd number(const QString& name, double value)
{
    return ItemToAdd{name, NumberType, QJsonArray{value}, {}};
}

ItemToAdd date(const QString& name, QDate date)
{
    return ItemToAdd{name, DateTimeType, QJsonArray{storedDate(date)}, {}};
}

// A date and time as the clock on the wall shows them, the same in every zone.
ItemToAdd wallClock(const QString& name, QDate date, QTime time)
{
    return ItemToAdd{name, DateTimeType, QJsonArray{storedWallClock(date, time)}, {}};
}

ItemToAdd richText(const QString& name, const QString& plain, std::vector<FileToAdd> objects = {})
{
    return ItemToAdd{name, RichTextType, QJsonArray{plain}, std::move(objects)};
}

ColumnSpec itemColumn(const QString& item)
{
    return ColumnSpec{item, item, {}};
}

// The columns of a view that show the items their titles name.
std::vector<ColumnSpec> itemColumns(const QStringList& items)
{
    std::vector<ColumnSpec> columns;
    for (const QString& item : items)
        columns.push_back(itemColumn(item));
    return columns;
}

ViewSpec view(const QString& name, std::vector<ColumnSpec> columns, const QString& form = {}, int sortColumn = -1,
              bool descending = false)
{
    return ViewSpec{name, std::move(columns), form, sortColumn, descending, {}};
}

// A 1x1 PNG picture.
QByteArray tinyPng()
{
    return QByteArray::fromBase64(
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==");
}

void makeCrm(const QString& path)
{
    const QString db = u"crm"_s;
    createDatabase(path, u"客户关系管理"_s);
    static const QStringList cities = {u"北京"_s, u"上海"_s, u"广州"_s, u"深圳"_s, u"杭州"_s};
    static const QStringList names = {u"华夏贸易"_s, u"东方电子"_s, u"长城机械"_s, u"海天食品"_s,
                                      u"星河软件"_s, u"金桥物流"_s, u"青松建材"_s};
    std::vector<DocumentToAdd> docs;
    for (int i = 1; i <= 250; ++i) {
        DocumentToAdd doc;
        doc.unid = sampleId(db, i);
        doc.created = at(2025, 1, 1, 8) + qint64(i) * 60000;
        doc.modified = doc.created + 86400000;
        doc.items.push_back(text(u"Form"_s, {u"Customer"_s}));
        doc.items.push_back(number(u"客户编号"_s, i));
        doc.items.push_back(text(u"客户名称"_s, {names[i % names.size()] + QString::number(i) + u"有限公司"_s}));
        doc.items.push_back(text(u"城市"_s, {cities[i % cities.size()]}));
        const QDate signedOn = QDate(2024, 1, 1).addDays(i);
        doc.items.push_back(i % 2 ? wallClock(u"签约日期"_s, signedOn, QTime(9, 30)) : date(u"签约日期"_s, signedOn));
        doc.items.push_back(
            text(u"联系人"_s, i % 3 == 0 ? QStringList{u"张三"_s, u"李四"_s} : QStringList{u"王五"_s}, NamesType));
        doc.items.push_back(number(u"金额"_s, i * 1234.5));
        docs.push_back(std::move(doc));
    }
    // The first customer carries two attachments and a rich-text item with three embedded objects.
    DocumentToAdd& first = docs.front();
    first.attachments = {{u"合同.txt"_s, u"合同正文：甲方与乙方……\n"_s.toUtf8()},
                         {u"报价单.csv"_s, u"产品,数量,单价\n服务器,2,35000\n"_s.toUtf8()}};
    first.items.push_back(richText(u"备注"_s,
                                   u"客户备注\t重要\n"_s + QString(30, u'好') + u" "_s +
                                       u"This remark is long enough to be wrapped at eighty characters by the "
                                       u"formatted text of the rich-text item."_s,
                                   {{u"示意图.png"_s, tinyPng()},
                                    {u"说明.txt"_s, u"嵌入的说明文件"_s.toUtf8()},
                                    {u"明细.csv"_s, u"a,b\n1,2\n"_s.toUtf8()}}));
    // Documents that only some users read on the server: by name and role, by role alone, by a group.
    DocumentToAdd& second = docs[1];
    second.items.push_back(text(u"读者"_s, {u"演示用户"_s, u"[Admin]"_s}, ReadersType));
    second.items.push_back(text(u"作者"_s, {u"演示用户"_s}, AuthorsType));
    second.items.push_back(richText(u"备注"_s, u"没有嵌入对象的RTF域"_s));
    docs[2].items.push_back(text(u"读者"_s, {u"[Admin]"_s}, ReadersType));
    docs[3].items.push_back(text(u"读者"_s, {u"销售部"_s}, ReadersType));
    // A document without items, seen only by the view that selects every document.
    DocumentToAdd empty;
    empty.unid = sampleId(db, 0);
    empty.created = at(2025, 6, 1, 12);
    docs.push_back(std::move(empty));
    addDocuments(path, docs);

    addView(path, view(u"全部"_s,
                       itemColumns({u"客户编号"_s, u"客户名称"_s, u"城市"_s, u"签约日期"_s, u"联系人"_s, u"金额"_s}),
                       u"Customer"_s, 0));
    addView(path, view(u"按城市"_s, itemColumns({u"城市"_s, u"客户名称"_s}), u"Customer"_s, 0, true));
    addView(path, view(u"所有文档"_s, {{u"创建时间"_s, {}, u"@Created"_s},
                                       {u"文档编号"_s, {}, u"@DocumentUniqueID"_s},
                                       itemColumn(u"客户名称"_s)}));
    addView(path, view(u"空视图"_s, {{u"标题"_s, u"Subject"_s, {}}}, u"Nothing"_s));
    setAcl(path, u"销售部"_s, Editor, {u"[Admin]"_s});
}

void makeContracts(const QString& path)
{
    const QString db = u"contracts"_s;
    createDatabase(path, u"合同管理"_s);
    static const QStringList owners = {u"赵敏"_s, u"钱进"_s, u"孙丽"_s, u"周杰"_s};
    std::vector<DocumentToAdd> docs;
    docs.reserve(4500);
    for (int i = 1; i <= 4500; ++i) {
        DocumentToAdd doc;
        doc.unid = sampleId(db, i);
        doc.created = at(2023, 3, 1, 9) + qint64(i) * 3600000;
        doc.modified = doc.created;
        doc.items = {text(u"Form"_s, {u"Contract"_s}),
                     number(u"合同编号"_s, i),
                     text(u"合同名称"_s, {u"采购合同第"_s + QString::number(i) + u"号"_s}),
                     wallClock(u"签订日期"_s, QDate(2023, 3, 1).addDays((9 + i) / 24), QTime((9 + i) % 24, 0)),
                     number(u"金额"_s, (i * 7919) % 100000 / 100.0),
                     text(u"负责人"_s, {owners[i % owners.size()]})};
        docs.push_back(std::move(doc));
    }
    addDocuments(path, docs);
    addView(path,
            view(u"合同列表"_s, itemColumns({u"合同编号"_s, u"合同名称"_s, u"签订日期"_s, u"金额"_s, u"负责人"_s}),
                 u"Contract"_s, 0));
    addView(path, view(u"按金额"_s, itemColumns({u"金额"_s, u"合同名称"_s}), {}, 0, true));
}

// A small bar chart, for the pictures of the rich text and of the mail.
QByteArray chartPng(quint32 colour)
{
    richtext::Raster raster;
    raster.width = 60;
    raster.height = 36;
    raster.pixels.fill(0xffffffff, qsizetype(raster.width) * raster.height);
    const int bars[] = {12, 26, 18, 32, 22};
    for (int bar = 0; bar < 5; ++bar) {
        for (int y = raster.height - bars[bar]; y < raster.height; ++y) {
            for (int x = 4 + bar * 11; x < 12 + bar * 11; ++x)
                raster.pixels[qsizetype(y) * raster.width + x] = colour;
        }
    }
    return richtext::encodePng(raster);
}

// A memo whose body shows what rich text holds: a heading, runs, lists, a table, a picture, links, a rule and a
// section.
ItemToAdd richMemo(const QString& name, const QString& linkedId)
{
    const QByteArray dxl =
        "<richtext>\n"
        "<pardef id='1'/>\n<pardef id='2' align='center' spaceafter='1.5'/>\n"
        "<pardef id='3' leftmargin='1.25in' list='bullet'/>\n"
        "<pardef id='4' leftmargin='1.25in' list='number'/>\n"
        "<par def='2'><run><font size='14pt' style='bold' color='#1f4e79'/>第一季度工作安排</run></par>\n"
        "<par def='1'>各部门：本季度的工作安排如下，请<run><font style='bold'/>按时完成</run>，"
        "<run><font color='red'/>逾期</run>请说明原因。</par>\n"
        "<par def='3'>整理客户资料</par>\n<par>更新合同台账</par>\n"
        "<par def='4'>一月：准备</par>\n<par>二月：执行</par>\n<par>三月：总结</par>\n"
        "<table widthtype='fixedleft'><tablecolumn width='1.5in'/><tablecolumn width='1in'/>"
        "<tablerow><tablecell bgcolor='#dde8f4'><par def='1'><run><font style='bold'/>部门</run></par>"
        "</tablecell><tablecell bgcolor='#dde8f4'><par def='1'><run><font style='bold'/>人数</run>"
        "</par></tablecell></tablerow>\n"
        "<tablerow><tablecell><par def='1'>财务部</par></tablecell><tablecell><par def='1'>12</par>"
        "</tablecell></tablerow>\n"
        "<tablerow><tablecell><par def='1'>销售部</par></tablecell><tablecell><par def='1'>30</par>"
        "</tablecell></tablerow></table>\n"
        "<par def='1'>各月完成情况：<picture width='60px' height='36px' alttext='完成情况'><png>" +
        chartPng(0xff2e75b6).toBase64() +
        "</png></picture></par>\n"
        "<par def='1'>详见<urllink href='https://www.example.cn/plan'>公司计划页面</urllink>和"
        "<doclink document='" +
        linkedId.toLatin1() +
        "' description='第2份备忘录'>会议通知</doclink>。</par>\n"
        "<par def='1'><horizrule/></par>\n"
        "<section expanded='true'><sectiontitle pardef='1'><text>附注</text></sectiontitle>\n"
        "<par def='1'>本安排由办公室拟定。</par></section>\n"
        "</richtext>";
    ItemToAdd item{name, RichTextType, QJsonArray{richtext::richTextPlainText(dxl).text}, {}};
    item.dxl = dxl;
    return item;
}

// A mail kept as MIME, as an import of a Notes mail keeps it: HTML with a picture it shows by cid:, and an
// attachment; its From and To as the text items an import makes of them.
void makeMail(DocumentToAdd& doc, const QString& bodyName)
{
    const QByteArray agenda = u"会议议程\n1. 季度总结\n2. 下季度计划\n"_s.toUtf8();
    const QByteArray message =
        "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"mixed\"\r\n\r\n"
        "--mixed\r\nContent-Type: multipart/related; boundary=\"related\"\r\n\r\n"
        "--related\r\nContent-Type: text/html; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
        u"<html><body><p>各位同事：</p><p>季度总结会定于<b>周五下午三点</b>在三楼会议室召开，"
        "议程见附件。</p><p><img src=\"cid:chart@quill.example\" alt=\"完成情况\"></p>"
        "<p>办公室</p></body></html>"_s.toUtf8()
            .toBase64(QByteArray::Base64Encoding) +
        "\r\n--related\r\nContent-Type: image/png\r\nContent-ID: <chart@quill.example>\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n" +
        chartPng(0xffc55a11).toBase64() +
        "\r\n--related--\r\n\r\n--mixed\r\nContent-Type: text/plain; charset=UTF-8\r\n"
        "Content-Disposition: attachment; filename*=UTF-8''%E4%BC%9A%E8%AE%AE%E8%AE%AE%E7%A8%8B.txt\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n" +
        agenda.toBase64() + "\r\n--mixed--\r\n";
    const DecodedMail mail = decodeMail(message);
    for (ItemToAdd& item : doc.items) {
        if (item.name == bodyName) {
            item.values = QJsonArray{mail.plainText};
            item.mime = message;
        }
    }
    doc.items.push_back(text(u"From"_s, {u"办公室 <office@quill.example>"_s}));
    doc.items.push_back(text(u"To"_s, {u"全体员工 <all@quill.example>"_s}));
    for (const auto& [name, bytes] : mail.attachments)
        doc.attachments.push_back(FileToAdd{name, bytes});
}

void makeArchive(const QString& path)
{
    const QString db = u"archive"_s;
    createDatabase(path, u"2025年归档"_s);
    std::vector<DocumentToAdd> docs;
    for (int i = 1; i <= 100; ++i) {
        DocumentToAdd doc;
        doc.unid = sampleId(db, i);
        doc.created = at(2025, 2, 1) + qint64(i) * 86400000;
        doc.items = {text(u"Form"_s, {u"Memo"_s}), text(u"Subject"_s, {u"归档备忘录"_s + QString::number(i)}),
                     richText(u"正文"_s, u"第"_s + QString::number(i) + u"份备忘录的正文。"_s),
                     date(u"日期"_s, QDate(2025, 2, 1).addDays(i))};
        if (i % 10 == 0)
            doc.attachments = {{u"附件"_s + QString::number(i) + u".txt"_s, QByteArray(1000 + i, 'x')}};
        docs.push_back(std::move(doc));
    }
    // The first two show a body as it was written: rich text, and a mail.
    docs[0].items[2] = richMemo(u"正文"_s, docs[1].unid);
    makeMail(docs[1], u"正文"_s);
    addDocuments(path, docs);
    addView(path, view(u"归档文档"_s,
                       {{u"主题"_s, u"Subject"_s, {}}, itemColumn(u"日期"_s), {u"修改时间"_s, {}, u"@Modified"_s}}));
}

void makeSmall(const QString& path, const QString& title, const QString& viewName, int count)
{
    createDatabase(path, title);
    std::vector<DocumentToAdd> docs;
    for (int i = 1; i <= count; ++i) {
        DocumentToAdd doc;
        doc.unid = sampleId(title, i);
        doc.created = at(2025, 5, 1) + qint64(i) * 60000;
        doc.items = {text(u"Subject"_s, {title + QString::number(i)})};
        docs.push_back(std::move(doc));
    }
    addDocuments(path, docs);
    addView(path, view(viewName, {{u"主题"_s, u"Subject"_s, {}}}));
}

} // namespace

SampleInfo sampleInfo(const QString& dataDir)
{
    return SampleInfo{
        QDir(dataDir).absolutePath(), u"QUILLSERVER"_s, u"演示用户"_s, u"quill123"_s, u"访客"_s, u"guest123"_s};
}

SampleInfo makeSample(const QString& dataDir)
{
    QDir root(dataDir);
    if (root.exists(u"names.nsf"_s))
        throw domino::DominoError(u"目录中已有示例数据："_s + dataDir);
    for (const QString& folder : {u"业务/归档"_s, u"空文件夹"_s, u".hidden"_s, u"限制"_s}) {
        if (!root.mkpath(folder))
            throw domino::DominoError(u"无法创建文件夹："_s + root.filePath(folder));
    }
    const SampleInfo info = sampleInfo(dataDir);
    const QString names = root.filePath(u"names.nsf"_s);
    createDatabase(names, u"Domino目录"_s);
    addServerName(names, info.serverName);
    // The connect dialog offers the host name as server name at first.
    const QString host = QSysInfo::machineHostName();
    if (!host.isEmpty())
        addServerName(names, host);
    addUser(names, info.userName, info.password);
    addUser(names, info.guestName, info.guestPassword);
    setGroup(names, u"华东销售"_s, {info.userName});
    setGroup(names, u"销售部"_s, {u"华东销售"_s});

    makeCrm(root.filePath(u"crm.nsf"_s));
    makeContracts(root.filePath(u"业务/合同管理.nsf"_s));
    makeArchive(root.filePath(u"业务/归档/2025归档.nsf"_s));
    createDatabase(root.filePath(u"业务/无视图.nsf"_s), u"没有视图的数据库"_s);
    makeSmall(root.filePath(u".hidden/secret.nsf"_s), u"隐藏数据库"_s, u"全部"_s, 3);
    const QString restricted = root.filePath(u"限制/机密.nsf"_s);
    makeSmall(restricted, u"机密文件"_s, u"机密文档"_s, 5);
    setAcl(restricted, u"-Default-"_s, NoAccess);
    setAcl(restricted, info.userName, Manager);
    return info;
}

} // namespace quill::component::admin
