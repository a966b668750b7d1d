// bench_dxl COUNT [SAMPLE]: repeats the documents of a DXL sample with fresh universal ids into a file of
// COUNT documents in /tmp, imports it into a new database and prints documents and megabytes per second
// and the process's peak resident memory. A sample given is named in the figures (the rich-text and mail
// samples: rich text kept as DXL, mail bodies assembled and decoded).
// bench_dxl --attachment MB: the same for one document with one attachment of MB megabytes.

#include "dxlimport.h"
#include "platform/error.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

qint64 peakRssKiB()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Streams the big file out piece by piece, so that making it does not count towards the import's memory.
bool generate(const QString& samplePath, const QString& target, qint64 count)
{
    QFile source(samplePath);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = source.readAll();
    static const QRegularExpression documentElement(u"<document[\\s>].*?</document>"_s,
                                                    QRegularExpression::DotMatchesEverythingOption);
    const QString all = QString::fromUtf8(text);
    QStringList documents;
    qsizetype first = -1, last = -1;
    for (auto it = documentElement.globalMatch(all); it.hasNext();) {
        const auto match = it.next();
        documents << match.captured(0);
        if (first < 0)
            first = match.capturedStart(0);
        last = match.capturedEnd(0);
    }
    if (documents.isEmpty())
        return false;
    static const QRegularExpression unid(u"unid='[0-9A-Fa-f]{32}'|unid=\"[0-9A-Fa-f]{32}\""_s);
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    out.write(all.left(first).toUtf8());
    for (qint64 i = 0; i < count; ++i) {
        QString doc = documents[int(i % documents.size())];
        doc.replace(unid, u"unid='"_s + QStringLiteral("%1").arg(i + 1, 32, 16, QLatin1Char('0')).toUpper() + u"'"_s);
        out.write(doc.toUtf8());
        out.write("\n");
    }
    out.write(all.mid(last).toUtf8());
    return out.error() == QFileDevice::NoError;
}

// One document whose attachment holds megabytes of bytes, written out in pieces of whole base64 groups.
bool generateAttachment(const QString& target, qint64 megabytes)
{
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    out.write("<?xml version='1.0' encoding='utf-8'?>\n<database xmlns='http://www.lotus.com/dxl' title='bench'>\n"
              "<document form='F'><noteinfo unid='0000000000000000000000000000000A'/>"
              "<item name='$FILE'><object><file name='big.bin'><filedata>\n");
    QByteArray piece(3 * 1024 * 64, Qt::Uninitialized);
    for (qint64 written = 0; written < megabytes * 1024 * 1024; written += piece.size()) {
        for (qsizetype i = 0; i < piece.size(); ++i)
            piece[i] = char((written + i) * 31 >> 2);
        out.write(piece.toBase64());
        out.write("\n");
    }
    out.write("</filedata></file></object></item></document>\n</database>\n");
    return out.error() == QFileDevice::NoError;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool attachment = args.value(1) == u"--attachment"_s;
    const qint64 count = args.value(attachment ? 2 : 1, attachment ? u"50"_s : u"100000"_s).toLongLong();
    const bool ownSample = !attachment && args.size() > 2;
    const QString samplePath = args.value(2, QStringLiteral(QUILL_DXL_SAMPLES) + u"/plomino/test_100docs.xml"_s);
    const QString sampleName = ownSample ? QFileInfo(samplePath).completeBaseName() : QString();
    const QString name = u"/tmp/quill-dxl-bench-"_s + (attachment ? u"attachment-"_s : QString()) +
                         (ownSample ? sampleName + u'-' : QString()) + QString::number(count);
    const QString file = name + u".xml"_s;
    const QString db = name + u".nsf"_s;
    if (!QFileInfo::exists(file) &&
        !(attachment ? generateAttachment(file, count) : generate(samplePath, file, count))) {
        std::fprintf(stderr, "cannot generate %s from %s\n", qPrintable(file), qPrintable(samplePath));
        return 1;
    }
    QFile::remove(db);
    const qint64 rssBefore = peakRssKiB();
    QElapsedTimer timer;
    timer.start();
    try {
        const auto report = quill::component::dxl::importDxl(file, db);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        const double megabytes = double(QFileInfo(file).size()) / 1e6;
        if (attachment)
            std::printf("attachment %lld bytes  ", static_cast<long long>(report.attachmentBytes));
        std::printf("documents %lld  file %.1f MB  time %.2f s  %.0f documents/s  %.1f MB/s  peak RSS %lld KiB "
                    "(%lld KiB before the import)\n",
                    static_cast<long long>(report.documents), megabytes, seconds, double(report.documents) / seconds,
                    megabytes / seconds, static_cast<long long>(peakRssKiB()), static_cast<long long>(rssBefore));
        const QByteArray run =
            ((attachment ? u"DXL import of one %1 MB attachment"_s : u"DXL import of %1 documents"_s).arg(count) +
             (ownSample ? u" ("_s + sampleName + u".xml)"_s : QString()))
                .toUtf8();
        if (!attachment)
            std::printf("figure\tQuillmere\t%s: documents per second\t%.0f\n", run.constData(),
                        double(report.documents) / seconds);
        std::printf("figure\tQuillmere\t%s: MB per second\t%.1f\n", run.constData(), megabytes / seconds);
        std::printf("figure\tQuillmere\t%s: peak memory, MiB\t%.0f\n", run.constData(), double(peakRssKiB()) / 1024);
    } catch (const quill::platform::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    QFile::remove(db);
    return 0;
}
