#include "cli/viewreport.h"

#include "cli/commandline.h"
#include "platform/error.h"
#include "platform/outputfolder.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

using namespace Qt::StringLiterals;

namespace quill::cli {

namespace {

QString statusName(ViewReport::Status status)
{
    switch (status) {
    case ViewReport::Status::NotStarted:
        return u"notStarted"_s;
    case ViewReport::Status::Exported:
        return u"exported"_s;
    case ViewReport::Status::NothingToExport:
        return u"nothingToExport"_s;
    case ViewReport::Status::Failed:
        return u"failed"_s;
    case ViewReport::Status::Interrupted:
        return u"interrupted"_s;
    }
    return {};
}

QString count(qint64 n)
{
    return QLocale(QLocale::Chinese, QLocale::China).toString(n);
}

QString secondsText(double seconds)
{
    return QString::number(seconds, 'f', 1) + u"秒"_s;
}

QString lineOf(const ViewReport& r)
{
    QString line = r.where() + u"："_s;
    switch (r.status) {
    case ViewReport::Status::NotStarted:
        return line + u"未开始"_s;
    case ViewReport::Status::Failed:
        return line + u"失败："_s + r.errors.join(u"；"_s);
    case ViewReport::Status::NothingToExport:
        return line + u"没有可导出的文档"_s;
    case ViewReport::Status::Interrupted:
        line += u"已中断，"_s;
        break;
    case ViewReport::Status::Exported:
        break;
    }
    line += count(r.workbooks.size()) + u"个工作簿，"_s + count(r.documents) + u"个文档，"_s + count(r.attachments) +
            u"个附件，"_s + (r.pages > 0 ? count(r.pages) + u"个网页文件，"_s : QString()) + secondsText(r.seconds);
    if (!r.keptWorkbooks.isEmpty())
        line += u"（另有"_s + count(r.keptWorkbooks.size()) + u"个工作簿此前已完成）"_s;
    for (const QString& error : r.errors)
        line += u"\n    "_s + error;
    for (const QString& note : r.notes)
        line += u"\n    "_s + note;
    return line;
}

} // namespace

QString ViewReport::where() const
{
    QString text = u"数据库"_s + database;
    if (!view.isNull())
        text += u" 视图“"_s + view + u"”"_s;
    return text;
}

QJsonObject ViewReport::toJson() const
{
    return {{u"database"_s, database},
            {u"view"_s, view},
            {u"format"_s, format},
            {u"status"_s, statusName(status)},
            {u"workbooks"_s, QJsonArray::fromStringList(workbooks)},
            {u"keptWorkbooks"_s, QJsonArray::fromStringList(keptWorkbooks)},
            {u"documents"_s, documents},
            {u"keptDocuments"_s, keptDocuments},
            {u"attachments"_s, attachments},
            {u"pages"_s, pages},
            {u"unreadValues"_s, unreadValues},
            {u"itemsLeftOut"_s, itemsLeftOut},
            {u"documentsWithItemsLeftOut"_s, documentsWithItemsLeftOut},
            {u"textsSavedWhole"_s, textsSavedWhole},
            {u"bodiesIncomplete"_s, bodiesIncomplete},
            {u"seconds"_s, seconds},
            {u"errors"_s, QJsonArray::fromStringList(errors)},
            {u"notes"_s, QJsonArray::fromStringList(notes)}};
}

int exitStatusOf(const std::vector<ViewReport>& reports)
{
    for (const ViewReport& r : reports)
        if (r.status == ViewReport::Status::Failed || !r.errors.isEmpty())
            return kExitSomeFailed;
    return kExitExported;
}

QString summaryText(const std::vector<ViewReport>& reports, double seconds, bool interrupted)
{
    QString text;
    qint64 workbooks = 0, kept = 0, documents = 0, attachments = 0, pages = 0, failed = 0;
    for (const ViewReport& r : reports) {
        text += lineOf(r) + u'\n';
        workbooks += r.workbooks.size();
        kept += r.keptWorkbooks.size();
        documents += r.documents;
        attachments += r.attachments;
        pages += r.pages;
        failed += r.status == ViewReport::Status::Failed ? 1 : 0;
    }
    text += (interrupted ? u"已中断："_s : u"完成："_s) + count(qint64(reports.size())) + u"个视图"_s;
    if (failed > 0)
        text += u"（"_s + count(failed) + u"个失败）"_s;
    text += u"，写了"_s + count(workbooks) + u"个工作簿"_s;
    if (kept > 0)
        text += u"（另有"_s + count(kept) + u"个此前已完成）"_s;
    text += u"、"_s + count(documents) + u"个文档、"_s + count(attachments) + u"个附件"_s;
    if (pages > 0)
        text += u"、"_s + count(pages) + u"个网页文件"_s;
    text += u"，用时"_s + secondsText(seconds);
    return text;
}

void writeSummaryJson(const QString& path, const std::vector<ViewReport>& reports, double seconds, int exitStatus,
                      const QString& outputFolder)
{
    QJsonArray views;
    for (const ViewReport& r : reports)
        views.append(r.toJson());
    const QJsonObject root{
        {u"output"_s, outputFolder}, {u"exitStatus"_s, exitStatus}, {u"seconds"_s, seconds}, {u"views"_s, views}};
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Indented);
    const auto failed = [&path](const QString& reason) {
        return platform::Error(u"无法写入结果文件"_s + path + u"（"_s + reason + u"）"_s);
    };
    // A pipe or a terminal (/dev/stdout) is written to; a file is replaced whole.
    if (const QFileInfo info(path); info.exists() && !info.isFile()) {
        QFile device(path);
        if (!device.open(QIODevice::WriteOnly) || device.write(bytes) != bytes.size() || !device.flush())
            throw failed(device.errorString());
        return;
    }
    // Whole or not at all, and never through a link planted under its name.
    platform::OutputFolder::writeFileAt(path, [&bytes](QIODevice& file) { return file.write(bytes) == bytes.size(); });
}

} // namespace quill::cli
