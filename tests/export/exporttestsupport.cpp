#include "exporttestsupport.h"

#include "platform/gbk.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace quill::testing {

QStringList readLogLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("<missing %1>").arg(path)};
    const QByteArray bytes = file.readAll();
    QStringList lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype end = bytes.indexOf("\r\n", start);
        if (end < 0) {
            lines << QStringLiteral("<no CRLF>") + platform::fromGbk(bytes.mid(start));
            break;
        }
        lines << platform::fromGbk(bytes.mid(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::vector<HostileAttachment> hostileAttachments()
{
    const QString chinese(84, u'长');
    const std::vector<std::pair<QString, QString>> names = {
        {u".."_s, u"_"_s},
        {u"."_s, u"_ (2)"_s},
        {u" "_s, u"_ (3)"_s},
        {u"\t"_s, u"_ (4)"_s},
        {u"dup.txt"_s, u"dup.txt"_s},
        {u"dup.txt"_s, u"dup (2).txt"_s},
        {u"dup\x01.txt"_s, u"dup (3).txt"_s},
        {u"sub/dup.txt"_s, u"dup (4).txt"_s},
        {u"sub\\dup.txt"_s, u"dup (5).txt"_s},
        {u"Case.TXT"_s, u"Case.TXT"_s},
        {u"case.txt"_s, u"case (2).txt"_s},
        {u"CASE.txt"_s, u"CASE (3).txt"_s},
        {QString(296, u'L') + u".bin"_s, QString(251, u'L') + u".bin"_s},
        {chinese, chinese},
        {chinese, chinese.left(83) + u" (2)"_s},
        {u"a.txt"_s, u"a.txt"_s},
        {u"a.txt"_s, u"a (2).txt"_s},
        {u"a (2).txt"_s, u"a (2) (2).txt"_s},
        {u"../../evil.txt"_s, u"evil.txt"_s},
        {u"/etc/passwd"_s, u"passwd"_s},
        {u"x\ny.txt"_s, u"xy.txt"_s},
    };
    std::vector<HostileAttachment> out;
    for (const auto& [name, savedAs] : names) {
        QByteArray contents = "attachment " + QByteArray::number(qsizetype(out.size()) + 1) + '\0' + '\xff';
        contents += name.toUtf8();
        out.push_back({name, contents, savedAs});
    }
    return out;
}

} // namespace quill::testing
