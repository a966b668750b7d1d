// The DXL import into a new database over arbitrary bytes, then the new database walked as the
// program would browse it. A failed import must leave no database file behind.
#include "dxlimport.h"
#include "fuzzinput.h"
#include "platform/error.h"
#include "walkdatabase.h"

#include <QDir>
#include <QFile>
#include <cstddef>
#include <cstdint>

using namespace Qt::StringLiterals;
using namespace quill;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QDir scratch(fuzz::scratchFolder());
    const QString dxl = scratch.filePath(u"input.xml"_s);
    const QString database = scratch.filePath(u"imported.nsf"_s);
    fuzz::writeWholeFile(dxl, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    bool imported = false;
    try {
        component::dxl::importDxl(dxl, database);
        imported = true;
    } catch (const platform::Error&) {
    }
    if (!imported && QFile::exists(database))
        fuzz::propertyFailed("a failed import left its database behind", database);
    if (imported)
        fuzz::walkDatabase(database, scratch.path());
    QFile::remove(database);
    QFile::remove(dxl);
    return 0;
}
