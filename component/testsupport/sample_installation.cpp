#include "testsupport/sample_installation.h"

#include "admin.h"
#include "platform/error.h"
#include "platform/paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace quill::component::testing {
namespace {

bool copyFolder(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    if (!QDir().mkpath(to))
        return false;
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        const QString target = to + entry.filePath().mid(from.size());
        if (entry.isDir() ? !QDir().mkpath(target) : !QFile::copy(entry.filePath(), target))
            return false;
    }
    return true;
}

} // namespace

QString componentLibraryPath()
{
    return QString::fromUtf8(QUILL_COMPONENT_PATH);
}

QString adminToolPath()
{
    return QString::fromUtf8(QUILL_ADMIN_TOOL_PATH);
}

QString registerComponent(const QString& dir, const QString& dataDir)
{
    if (!QStandardPaths::isTestModeEnabled())
        throw platform::Error(u"registerComponent needs QStandardPaths test mode"_s);
    const QString home = QDir(dir).filePath(u"home"_s);
    if (!QDir().mkpath(home) || !qputenv("HOME", QFile::encodeName(home)))
        throw platform::Error(u"Unable to make the test home "_s + home);
    admin::InstallOptions options;
    options.registryFile = platform::registryFilePath();
    options.libraryPath = componentLibraryPath();
    options.dominoPath = QFileInfo(options.libraryPath).absolutePath();
    options.dataPath = dataDir;
    admin::install(options);
    return options.registryFile;
}

SampleInstallation makeSampleInstallation(const QString& dir, SampleUse use)
{
    const QString shared = QString::fromUtf8(QUILL_SHARED_SAMPLE);
    const QString own = QDir(dir).filePath(u"data"_s);
    const bool made = QFileInfo::exists(shared + u"/names.nsf"_s);
    QString dataDir = made && use == SampleUse::Shared ? shared : own;
    if (made && use == SampleUse::PrivateCopy && !copyFolder(shared, own))
        throw platform::Error(u"Unable to copy the sample to "_s + own);
    const admin::SampleInfo info = made ? admin::sampleInfo(dataDir) : admin::makeSample(dataDir);

    SampleInstallation result;
    result.registryPath = registerComponent(dir, info.dataDir);
    result.dataDir = info.dataDir;
    result.libraryPath = componentLibraryPath();
    result.dominoPath = QFileInfo(result.libraryPath).absolutePath();
    result.serverName = info.serverName;
    result.userName = info.userName;
    result.password = info.password;
    result.guestName = info.guestName;
    result.guestPassword = info.guestPassword;
    return result;
}

} // namespace quill::component::testing
