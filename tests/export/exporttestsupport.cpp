#include "exporttestsupport.h"

#include "platform/gbk.h"

#include <QTest>

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

} // namespace quill::testing
