// A database file of arbitrary bytes, opened and walked through the component.
#include "fuzzinput.h"
#include "walkdatabase.h"

#include <QDir>
#include <QFile>
#include <cstddef>
#include <cstdint>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QDir scratch(quill::fuzz::scratchFolder());
    const QString path = scratch.filePath(u"input.nsf"_s);
    quill::fuzz::writeWholeFile(path, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    quill::fuzz::walkDatabase(path, scratch.path());
    QFile::remove(path);
    return 0;
}
