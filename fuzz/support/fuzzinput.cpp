#include "fuzzinput.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace quill::fuzz {

bool splitFields(const uint8_t* data, size_t size, int count, QStringList* fields, QByteArray* tail)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    fields->clear();
    qsizetype pos = 0;
    for (int i = 0; i < count; ++i) {
        const qsizetype end = input.indexOf('\0', pos);
        if (end < 0)
            return false;
        fields->append(QString::fromUtf8(input.sliced(pos, end - pos)));
        pos = end + 1;
    }
    *tail = input.sliced(pos);
    return true;
}

const QString& scratchFolder()
{
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/quill-fuzz-XXXXXX"));
    if (!folder.isValid())
        propertyFailed("no scratch folder", folder.errorString());
    static const QString path = folder.path();
    return path;
}

QByteArray readWholeFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeWholeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        propertyFailed("cannot write a scratch file", path);
}

void propertyFailed(const char* what, const QString& detail)
{
    std::fprintf(stderr, "PROPERTY FAILED: %s\n%s\n", what, detail.toUtf8().constData());
    std::abort();
}

} // namespace quill::fuzz
