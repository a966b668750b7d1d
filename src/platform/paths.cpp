#include "platform/paths.h"

#include <QCoreApplication>
#include <QDir>
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

} // namespace

QString applicationFolder()
{
    QString dir = QCoreApplication::applicationDirPath();
    if (!dir.endsWith(u'/'))
        dir += u'/';
    return dir;
}

QString registryFilePath()
{
    return QDir(xdgFolder("XDG_CONFIG_HOME", u".config"_s)).filePath(u"quillmere/registry.reg"_s);
}

QString logFolder()
{
    QString dir = QDir(xdgFolder("XDG_STATE_HOME", u".local/state"_s)).filePath(u"quillmere"_s);
    QDir().mkpath(dir);
    return dir + u'/';
}

} // namespace quill::platform
