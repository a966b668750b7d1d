// The batch exporter's manifest (quillmere-export.json): any bytes are read or refused with a message,
// never a crash; one that is read takes a new record, which then reads back as complete for its
// workbook, and writing the same record again gives the same bytes. Every entry the file names is
// checked as a workbook of the output folder would be.
//
// Input: the file's bytes.
#include "cli/exportmanifest.h"
#include "fuzzinput.h"
#include "platform/error.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstddef>
#include <cstdint>

using namespace Qt::StringLiterals;
using namespace quill;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString folder = QDir(fuzz::scratchFolder()).filePath(u"out"_s);
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    fuzz::writeWholeFile(QDir(folder).filePath(QString::fromUtf16(cli::ExportManifest::kFileName)), content);
    fuzz::writeWholeFile(QDir(folder).filePath(u"book.xls"_s), "workbook");

    cli::ExportManifest manifest(folder);
    try {
        manifest.load();
        manifest.openFolder();
        for (const QJsonValue& value : QJsonDocument::fromJson(content).object().value(u"workbooks"_s).toArray()) {
            cli::ManifestEntry wanted;
            wanted.file = value.toObject().value(u"file"_s).toString();
            manifest.check(wanted, nullptr);
        }
    } catch (const platform::Error&) {
        return 0;
    }

    cli::ManifestEntry entry;
    entry.file = u"book.xls"_s;
    entry.database = u"数据库.nsf"_s;
    entry.view = u"视图"_s;
    entry.start = 1;
    entry.viewDocuments = 3;
    entry.sheetDocuments = 65535;
    entry.documents = 3;
    entry.complete = true;
    const QString path = manifest.path();
    try {
        manifest.measure(entry);
        manifest.record(entry);
    } catch (const platform::Error& e) {
        fuzz::propertyFailed("a record could not be written", e.message());
    }
    const QByteArray written = fuzz::readWholeFile(path);
    cli::ExportManifest again(folder);
    try {
        again.load();
        again.openFolder();
        cli::ManifestEntry kept;
        if (again.check(entry, &kept) != cli::WorkbookState::Complete || kept.documents != entry.documents)
            fuzz::propertyFailed("the record does not read back as complete", QString::fromUtf8(written));
        again.record(entry);
    } catch (const platform::Error& e) {
        fuzz::propertyFailed("a manifest written here cannot be read", e.message());
    }
    if (fuzz::readWholeFile(path) != written)
        fuzz::propertyFailed("the same record written again changed the file", QString::fromUtf8(written));
    return 0;
}
