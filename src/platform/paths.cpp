#include "platform/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace quill::platform {
namespace {

QString xdgFolder(const char* variable, const QString& fallbackBelowHome)
{
    // Test mode redirects the standard locations; honour it for the state folder too.
    if (QStandardPaths::isTestModeEnabled()) {
        const auto base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        return QDir(base).filePath(QString::fromLatin1(variable).toLower());
    }
    const QByteArray value = qgetenv(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(QString::fromLocal8Bit(value)))
        return QString::fromLocal8Bit(value);
    return QDir::home().filePath(fallbackBelowHome);
}

QString withSlash(QString folder)
{
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

QString configFolder()
{
    return QDir(xdgFolder("XDG_CONFIG_HOME", u".config"_s)).filePath(u"quillmere"_s);
}

QString installedComponentFolder(const QString& executableFolder)
{
    return QDir::cleanPath(QDir(executableFolder).filePath(QStringLiteral(QUILL_BIN_TO_COMPONENT)));
}

} // namespace

QString applicationFolder()
{
    return withSlash(QCoreApplication::applicationDirPath());
}

bool isInstalledTree(const QString& executableFolder)
{
    return !executableFolder.isEmpty() && QFileInfo(installedComponentFolder(executableFolder)).isDir();
}

QString componentFolder(const QString& executableFolder)
{
    return withSlash(isInstalledTree(executableFolder) ? installedComponentFolder(executableFolder) : executableFolder);
}

QString settingsFolder(const QString& executableFolder)
{
    if (!isInstalledTree(executableFolder))
        return withSlash(executableFolder);
    const QString folder = configFolder();
    QDir().mkpath(folder);
    return withSlash(folder);
}

QString userGuidePath(const QString& executableFolder)
{
    if (isInstalledTree(executableFolder))
        return QDir::cleanPath(QDir(executableFolder).filePath(QStringLiteral(QUILL_BIN_TO_DOC)) +
                               u"/user-guide.html"_s);
    return withSlash(executableFolder) + u"docs/用户手册.md"_s;
}

QString registryFilePath()
{
    return QDir(configFolder()).filePath(u"registry.reg"_s);
}

QString logFolder()
{
    QString dir = QDir(xdgFolder("XDG_STATE_HOME", u".local/state"_s)).filePath(u"quillmere"_s);
    QDir().mkpath(dir);
    return dir + u'/';
}

} // namespace quill::platform
